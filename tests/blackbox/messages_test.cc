// messages_test.cc: messages as mail programs write them, from a file and from a pipe.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "blackbox/driver.h"

using namespace blackbox;

TEST(Messages, IdentityAndBytesFromFileAndPipe) {
  const std::string login_user = "USER=" + blackbox::login_name();
  const struct {
    const char* file;
    strings from_file;  // identity when the message is a regular file
  } cases[] = {
      {"mua.eml", {"QMAILSHOST=example.org", "QMAILSUSER=jane"}},
      {"cron-from-root.eml", {"QMAILSUSER=root"}},
      {"script-no-from.eml", {login_user}},
      {"folded.eml", {"QMAILSHOST=lists.example.org", "QMAILSUSER=list-owner"}},
      {"crlf.eml", {"QMAILSHOST=example.org", "QMAILSUSER=jane"}},
  };
  for (const auto& c : cases) {
    for (auto kind : {input_kind::file, input_kind::pipe}) {
      SCOPED_TRACE(std::string(c.file) + (kind == input_kind::file ? " as a file" : " as a pipe"));
      sandbox box(stubs::all);
      run_options o;
      o.argv = {"sendmail", "-oi", "-t", "--", "extra@example.net"};
      o.env = {"PATH=/usr/bin:/bin", "HOME=/root"};
      o.input = kind;
      o.stdin_bytes = read_file(std::string(MESSAGES_DIR) + "/" + c.file);
      ASSERT_FALSE(o.stdin_bytes.empty());
      auto rec = run_to(box, o).rec;
      ASSERT_TRUE(rec.ran);
      EXPECT_EQ((strings{"bin/qmail-inject", "-H", "--", "extra@example.net"}), rec.argv);
      strings expected = {"PATH=/usr/bin:/bin", "HOME=/root"};
      const strings& identity = kind == input_kind::file ? c.from_file : strings{login_user};
      expected.insert(expected.end(), identity.begin(), identity.end());
      EXPECT_EQ(expected, rec.env);
      // The injector gets the lines with LF ends alone (none of the messages holds another CR).
      std::string lf = o.stdin_bytes;
      for (size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
      EXPECT_EQ(lf, rec.input);
    }
  }
}
