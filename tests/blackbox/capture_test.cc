// capture_test.cc: the header of a seekable message is read, and the injector still gets it all.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "blackbox/driver.h"

using namespace blackbox;

static const strings IDENTITY = {"QMAILSHOST", "QMAILSUSER", "USER"};

TEST(Capture, InjectorReadsExactlyTheMessageFromItsStart) {
  const std::string long_line = "X-Long: " + std::string(9000, 'l') + "\n";
  std::string many_fields;
  for (int i = 0; i < 300; ++i) many_fields += "X-Field-" + std::to_string(i) + ": value\n";
  const struct {
    const char* name;
    input_kind input;
    std::string before;  // bytes in the file before the message (its offset)
    std::string message;
    strings identity;
  } cases[] = {
      {"plain file", input_kind::file, "", "From: a@b.example\n\nbody\n", {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
      {"file at an offset", input_kind::file, "From: wrong@x.example\n\nearlier message\n",
       "From: a@b.example\n\nbody\n", {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
      {"pipe", input_kind::pipe, "", "From: a@b.example\n\nbody\n", {"USER=LOGIN"}},
      {"empty file", input_kind::file, "", "", {"USER=LOGIN"}},
      {"CRLF line ends", input_kind::file, "", "From: a@b.example\r\nSubject: x\r\n\r\nbody\r\n",
       {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
      {"header over 4096 bytes", input_kind::file, "",
       many_fields + "From: a@b.example\n\n" + std::string(10000, 'b'),
       {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
      {"one header line over 4096 bytes", input_kind::file, "",
       long_line + "From: a@b.example\n\nbody\n", {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
      {"header only", input_kind::file, "", "Subject: x\nFrom: a@b.example\n",
       {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
      {"last header line without newline", input_kind::file, "", "From: a@b.example",
       {"QMAILSHOST=b.example", "QMAILSUSER=a"}},
      {"no header, no final newline", input_kind::file, "", "just text", {"USER=LOGIN"}},
      {"body after the empty line is not header", input_kind::file, "",
       "Subject: x\n\nFrom: a@b.example\n", {"USER=LOGIN"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(stubs::all);
    auto rec = run_to(box, {.argv = {"postlet", "rcpt"},
                            .input = c.input,
                            .stdin_bytes = c.before + c.message,
                            .stdin_offset = static_cast<long long>(c.before.size())}).rec;
    ASSERT_TRUE(rec.ran);
    EXPECT_EQ(c.message, rec.input);
    strings identity = blackbox::only(rec.env, IDENTITY);
    // Without a From field the login name of the caller is the identity.
    strings expected = c.identity;
    if (expected == strings{"USER=LOGIN"}) expected = {"USER=" + blackbox::login_name()};
    EXPECT_EQ(expected, identity);
  }
}

TEST(Capture, DevNullAndClosedInputReadNothing) {
  for (auto kind : {input_kind::dev_null, input_kind::closed}) {
    sandbox box(stubs::all);
    const run_options o = {.argv = {"postlet", "rcpt"}, .env = {"USER=joe"}, .input = kind};
    EXPECT_TRUE(run_to(box, o).rec.ran);
  }
}

TEST(Capture, ReadErrorIsFatal) {
  sandbox box(stubs::all);
  run_options o;
  o.argv = {"postlet", "rcpt"};
  o.env = {"USER=joe"};
  o.input = input_kind::path;
  o.stdin_path = box.home + "/bin";  // a directory: seekable, but read fails
  auto r = run(box, o);
  EXPECT_EQ(111, r.status);
  EXPECT_EQ("postlet: fatal: read(config): is a directory\n", r.err);
  EXPECT_FALSE(read_record(box, "qmail-inject").ran);
}
