// smtp_test.cc: an SMTP session on standard input through "postlet -bs" to the real qmail-smtpd,
// what it queues, and the connection variables it works with.
#include <gtest/gtest.h>
#include <signal.h>

#include "blackbox/driver.h"
#include "downstream/downstream.h"

using namespace blackbox;

namespace {

// A message of more than the home's 1000 bytes of control/databytes with a dot line: as sent,
// with CR LF and the dot doubled, or as queued.
std::string big_body(bool sent) {
  const char* line_end = sent ? "\r\n" : "\n";
  std::string body = std::string("one") + line_end + (sent ? ".." : ".") + "dot" + line_end;
  for (int i = 0; i < 30; ++i)
    body += std::string(40, 'x') + line_end;
  return body;
}

std::string session(const strings& recipients, const std::string& body) {
  std::string s = "HELO client.example\r\nMAIL FROM:<ann@example.com>\r\n";
  for (const auto& r : recipients)
    s += "RCPT TO:<" + r + ">\r\n";
  return s + "DATA\r\nSubject: Hi\r\n\r\n" + body + ".\r\nQUIT\r\n";
}

// The three-digit codes of the server's replies, separated by blanks.
std::string reply_codes(const std::string& out) {
  std::string codes;
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    if (!codes.empty()) codes += ' ';
    codes.append(out, start, 3);
  }
  return codes;
}

const strings EIGHT = {"RELAYCLIENT",  "DATABYTES",   "PROTO",         "TCPLOCALIP",
                       "TCPLOCALHOST", "TCPREMOTEIP", "TCPREMOTEHOST", "TCPREMOTEINFO"};

}  // namespace

TEST(Downstream, SmtpSessionThroughTheRealServer) {
  REQUIRE_DOWNSTREAM();
  const strings caller = {"PROTO=TCP", "TCPLOCALHOST=mx.example.net", "TCPLOCALIP=192.0.2.1",
                          "TCPREMOTEHOST=relay.example", "TCPREMOTEIP=192.0.2.7"};
  const struct {
    const char* name;
    strings env;  // the caller's environment, exactly
    std::string input;
    std::string replies;
    std::string sender;
    strings recipients;
    std::string received;  // the start of the Received line the server writes
    std::string body;
    strings seen;  // the connection variables qmail-smtpd had, sorted
    std::vector<int> ignored_signals = {};  // the caller's
  } cases[] = {
      // RELAYCLIENT lets the off-site recipient through, DATABYTES lifts the size limit.
      {"postlet's connection variables", {"PATH=/usr/bin:/bin"},
       session({"joe@example.org", "bob@example.net"}, big_body(true)),
       "220 250 250 250 250 354 250 221", "ann@example.com", {"joe@example.org", "bob@example.net"},
       "Received: from localhost (HELO client.example) (postlet-bs@127.0.0.1)\n"
       "  by localhost with SMTP; ",
       big_body(false),
       {"DATABYTES=0", "PROTO=TCP", "RELAYCLIENT=", "TCPLOCALHOST=localhost",
        "TCPLOCALIP=127.0.0.1", "TCPREMOTEHOST=localhost", "TCPREMOTEINFO=postlet-bs",
        "TCPREMOTEIP=127.0.0.1"}},
      // With PROTO the caller's own variables count, and only they.
      {"the caller's variables", caller,
       session({"joe@example.org", "bob@example.net"}, "short\r\n"),
       "220 250 250 553 250 354 250 221", "ann@example.com", {"bob@example.net"},
       "Received: from relay.example (HELO client.example) (192.0.2.7)\n"
       "  by mx.example.net with SMTP; ",
       "short\n", caller},
      // Ignored, SIGCHLD would keep qmail-smtpd from waiting for qmail-queue.
      {"postlet's connection variables, SIGCHLD ignored", {"PATH=/usr/bin:/bin"},
       session({"joe@example.org"}, "short\r\n"), "220 250 250 250 354 250 221",
       "ann@example.com", {"joe@example.org"},
       "Received: from localhost (HELO client.example) (postlet-bs@127.0.0.1)\n", "short\n",
       {"DATABYTES=0", "PROTO=TCP", "RELAYCLIENT=", "TCPLOCALHOST=localhost",
        "TCPLOCALIP=127.0.0.1", "TCPREMOTEHOST=localhost", "TCPREMOTEINFO=postlet-bs",
        "TCPREMOTEIP=127.0.0.1"},
       {SIGCHLD}},
      {"the caller's variables and a large message", caller,
       session({"bob@example.net"}, big_body(true)), "220 250 250 250 354 552 221", "", {},
       "", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box;
    downstream::install_programs(box);
    auto r = run(box, {.argv = {"postlet", "-bs"},
                       .env = downstream::with_recorder(box, c.env),
                       .stdin_bytes = c.input,
                       .ignored_signals = c.ignored_signals});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(c.replies, reply_codes(r.out)) << r.out;
    auto q = downstream::read_queue(box);
    EXPECT_EQ(!c.sender.empty(), q.queued);
    // qmail-smtpd starts qmail-queue at DATA, for a message it then refuses too.
    EXPECT_EQ(1, q.runs);
    EXPECT_EQ(c.sender, q.sender);
    EXPECT_EQ(c.recipients, q.recipients);
    EXPECT_EQ(c.received, q.message.substr(0, c.received.size()));
    EXPECT_EQ(c.body, downstream::body_of(q.message));
    EXPECT_EQ(c.seen, blackbox::only(q.env, EIGHT));
  }
}
