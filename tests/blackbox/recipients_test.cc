// recipients_test.cc: recipient arguments reduced to plain addresses, seen through --address-debug.
#include <gtest/gtest.h>

#include "blackbox/driver.h"

using namespace blackbox;

TEST(Recipients, ArgumentsBecomeAddresses) {
  const struct {
    strings arguments;
    strings recipients;
  } cases[] = {
      {{"Joe <joe>"}, {"joe"}},
      {{"ann, joe"}, {"ann", "joe"}},
      {{"staff: ann, joe;"}, {"ann", "joe"}},
      {{"Joe Doe"}, {"Joe Doe"}},
      {{"(comment only)"}, {}},
      {{"joe <>"}, {}},
      {{""}, {}},
      {{}, {}},
      {{"\"a b\"@c", "<a,b>"}, {"a b@c", "a,b"}},
      {{"a,,b", "x@[127.0.0.1]"}, {"a", "b", "x@[127.0.0.1]"}},
      {{"Ann <ann@example.org>, Bob (work) <bob@example.org>"}, {"ann@example.org", "bob@example.org"}},
      {{"a..b", "\"open"}, {"a..b", "\"open"}},
      {{"--", "-t", "-fjoe"}, {"-t", "-fjoe"}},
  };
  sandbox box;
  for (const auto& c : cases) {
    std::string trace;
    for (const auto& a : c.arguments) trace += "[" + a + "]";
    SCOPED_TRACE(trace);
    run_options o;
    o.argv = {"postlet", "--address-debug"};
    o.argv.insert(o.argv.end(), c.arguments.begin(), c.arguments.end());
    o.env = {"USER=joe"};
    auto r = run(box, o);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    std::string expected = "bin/qmail-inject\n-a\n--\n";
    for (const auto& a : c.recipients) expected += a + "\n";
    EXPECT_EQ(expected, r.out);
  }
}

TEST(Recipients, ArgumentsThatLookLikeOptionsStayRecipients) {
  sandbox box(stubs::all);
  auto rec = run_to(box, {.argv = {"postlet", "-f", "me@example.org", "--", "-bs", "--help", "-I"},
                          .env = {"USER=joe"}}).rec;
  ASSERT_TRUE(rec.ran);
  EXPECT_EQ((strings{"bin/qmail-inject", "-a", "-f", "me@example.org", "--", "-bs", "--help",
                     "-I"}),
            rec.argv);
  EXPECT_FALSE(read_record(box, "qmail-smtpd").ran);
}

TEST(Recipients, NoAddressIsRefusedBeforeTheMessageIsRead) {
  const strings cases[] = {
      {},
      {""},
      {"undisclosed-recipients:;"},
      {"joe <>"},
      {"(comment only)", ""},
      {"-f", "a@b"},
      {"-f", "<>", "--"},
      {"-bm", "-i", "--", ""},
  };
  sandbox box(stubs::all);
  for (const auto& arguments : cases) {
    std::string trace;
    for (const auto& a : arguments) trace += "[" + a + "]";
    SCOPED_TRACE(trace);
    run_options o;
    o.argv = {"sendmail"};
    o.argv.insert(o.argv.end(), arguments.begin(), arguments.end());
    o.env = {"USER=joe"};
    // Seekable, but a read fails: a header capture would end with status 111.
    o.input = blackbox::input_kind::path;
    o.stdin_path = box.home + "/bin";
    auto r = run(box, o);
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("sendmail: no recipients. give addresses as arguments or use -t.\n", r.err);
    EXPECT_EQ("", r.out);
  }
  EXPECT_FALSE(read_record(box, "qmail-inject").ran);
}

TEST(Recipients, ManyRecipientsInOrder) {
  sandbox box;
  run_options o;
  o.argv = {"postlet", "--address-debug"};
  std::string expected = "bin/qmail-inject\n-a\n--\n";
  for (int i = 0; i < 2000; ++i) {
    std::string n = std::to_string(i);
    o.argv.push_back(std::string("User ").append(n).append(" <u").append(n).append("@example.org>"));
    expected.append("u").append(n).append("@example.org\n");
  }
  o.env = {"USER=joe"};
  auto r = run(box, o);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(expected, r.out);
}
