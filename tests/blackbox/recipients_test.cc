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

// -t without an address argument: refused exactly when qmail-inject would queue for no one, and
// the caller's file is left where it stood.
TEST(Recipients, DashTRefusesAHeaderThatNamesNoOne) {
  const std::string decoy = "To: eve@decoy.example\n\ndecoy\n";
  const struct {
    const char* name;
    input_kind input;
    std::string message;
    bool refused;
    strings env = {};
  } cases[] = {
      {"no recipient field, a pipe", input_kind::pipe, "Subject: s\n\nbody\n", true},
      {"its bytes kept, a pipe", input_kind::pipe, "Subject: s\r\n\r\nbody\r\n", true,
       {"POSTLET_KEEP_CRLF=1"}},
      {"CR LF lines, a file", input_kind::file, "Subject: s\r\n\r\nbody\r\n", true},
      {"LF lines, a file", input_kind::file, "Subject: s\n\nbody\n", true},
      {"an empty group", input_kind::pipe, "To: ;\n\nbody\n", true},
      {"the empty address", input_kind::file, "To: <>\nCc: @, <@>\n\nbody\n", true},
      {"To only, beside a Resent- field", input_kind::pipe, "To: a@b\nResent-Date: x\n\nb\n", true},
      {"To folded onto a TAB line", input_kind::pipe, "To:\n\tjoe@example.org\n\nbody\n", false},
      {"to with a blank before the colon", input_kind::file, "to : joe@example.org\n\nb\n", false},
      {"a From that qmail-inject cannot parse", input_kind::pipe, "From: \"\n\nbody\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(stubs::all);
    strings env = c.env;
    env.push_back("USER=joe");
    const bool file = c.input == input_kind::file;
    auto r = run(box, {.argv = {"postlet", "-t"},
                       .env = env,
                       .input = c.input,
                       .stdin_bytes = (file ? decoy : "") + c.message,
                       .stdin_offset = file ? static_cast<long long>(decoy.size()) : 0});
    EXPECT_EQ(c.refused ? 2 : 0, r.status);
    EXPECT_EQ(c.refused ? "postlet: no recipients. the header names no To:, Cc: or Bcc: address.\n"
                        : "",
              r.err);
    EXPECT_EQ(!c.refused, read_record(box, "qmail-inject").ran);
    if (file && c.refused) {
      EXPECT_EQ(static_cast<long long>(decoy.size()), r.input_offset);
    }
  }
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
