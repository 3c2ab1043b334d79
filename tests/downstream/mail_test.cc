// mail_test.cc: what a qmail host queues when postlet runs its real qmail-inject. Each row is
// one call: the caller's arguments, environment and standard input, and the mail that results.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>

#include "blackbox/driver.h"
#include "downstream/downstream.h"

using namespace blackbox;

namespace {

// How the message reaches descriptor 0. A file at an offset has a decoy message before it,
// which neither postlet nor qmail-inject may read.
enum class input { pipe, file, offset };
const std::string DECOY = "From: Eve <eve@decoy.example>\nTo: eve@decoy.example\n\ndecoy\n";

// queued: qmail-queue got the mail; printed: qmail-inject -n wrote it to standard output, and
// the sender is that of its Return-Path line; refused: nothing was queued or printed.
enum class outcome { queued, printed, refused };

struct mail_case {
  const char* name;
  strings args;  // after argv[0]
  strings env;   // the caller's environment, exactly
  input in;
  std::string message;
  int status;          // postlet's exit status
  outcome result;
  std::string sender;  // the envelope sender
  strings recipients;  // the envelope recipients, in order
  std::string from;    // the From: line of the queued message
  std::string body;    // the bytes after the header
  std::vector<int> ignored_signals = {};  // the caller's, as exec hands them on
};

const std::string PLAIN = "Subject: Hi\n\nBody\n";
const std::string ANN = "From: Ann <ann@example.com>\nSubject: Hi\n\nBody\n";
// As PHP 8's mail() writes it.
const std::string PHP = "To: joe@example.org\r\nSubject: Greetings\r\nFrom: Ann <ann@example.com>\r\n"
                        "\r\nBody\r\nline 2\r\n";

}  // namespace

TEST(Downstream, MailAQmailHostQueues) {
  REQUIRE_DOWNSTREAM();
  const std::string login = blackbox::login_name();
  if (login.empty()) GTEST_SKIP() << "the real user id has no login name";
  const std::string me = login + "@example.net";
  const strings daemon = {"PATH=/usr/bin:/bin"};
  const strings ann = {"HOME=/home/ann", "USER=ann"};
  const mail_case cases[] = {
      // qmail-inject writes the parentheses of a quoted display name with backslashes.
      {"cron",
       {"-FCronDaemon", "-i", "-B8BITMIME", "-oem", "root"},
       {"HOME=/root", "LOGNAME=root", "PATH=/usr/bin:/bin", "SHELL=/bin/sh"},
       input::pipe,
       "From: \"(Cron Daemon)\" <root>\nTo: root\nSubject: Cron <root@box> date\n\nok\n",
       0, outcome::queued, "root@example.net", {"root@example.net"},
       "From: \"\\(Cron Daemon\\)\" <root@example.net>", "ok\n"},
      // PHP 8 ends every line with CR LF; the queued message has LF alone, the header whole.
      {"PHP -t -i, no -f", {"-t", "-i"}, daemon, input::pipe, PHP, 0, outcome::queued, me,
       {"joe@example.org"}, "From: Ann <ann@example.com>", "Body\nline 2\n"},
      // A caller that ignores SIGCHLD: qmail-inject still waits for qmail-queue, and says 0.
      {"PHP -t -i, SIGCHLD ignored", {"-t", "-i"}, daemon, input::pipe, PHP, 0, outcome::queued,
       me, {"joe@example.org"}, "From: Ann <ann@example.com>", "Body\nline 2\n",
       {SIGCHLD, SIGPIPE}},
      {"from a file, SIGCHLD ignored", {"joe@example.org"}, daemon, input::file, ANN, 0,
       outcome::queued, "ann@example.com", {"joe@example.org"}, "From: Ann <ann@example.com>",
       "Body\n", {SIGCHLD}},
      {"PHP -t -i -f", {"-t", "-i", "-fbounce@example.com"}, daemon, input::pipe, PHP, 0,
       outcome::queued, "bounce@example.com", {"joe@example.org"}, "From: Ann <ann@example.com>",
       "Body\nline 2\n"},
      {"PHP from a file", {"-t", "-i"}, daemon, input::file, PHP, 0, outcome::queued,
       "ann@example.com", {"joe@example.org"}, "From: Ann <ann@example.com>", "Body\nline 2\n"},
      // Kept as they came, qmail-inject takes the CR LF line for the first line of the body and
      // puts its own empty line before it.
      {"PHP with POSTLET_KEEP_CRLF", {"-t", "-i"}, {"PATH=/usr/bin:/bin", "POSTLET_KEEP_CRLF=1"},
       input::pipe, PHP, 0, outcome::queued, me, {"joe@example.org"},
       "From: Ann <ann@example.com>", "\r\nBody\r\nline 2\r\n"},
      {"-t, no recipient in the header", {"-t", "-i"}, daemon, input::pipe, PLAIN, 2,
       outcome::refused, "", {}, "", ""},
      {"-t, only Bcc", {"-t"}, daemon, input::pipe, "Bcc: carol@example.com\nSubject: Hi\n\nBody\n",
       0, outcome::queued, me, {"carol@example.com"}, "From: " + me, "Body\n"},
      // A Resent- field makes qmail-inject send to the Resent- recipients alone.
      {"-t, only Resent-To", {"-t"}, daemon, input::pipe,
       "To: joe@example.org\nResent-To: bob@example.net\n\nBody\n", 0, outcome::queued, me,
       {"bob@example.net"}, "", "Body\n"},
      // qmail-inject's header ends at the first line that is no field: what follows is body,
      // and names no sender.
      {"a body line before From", {"joe@example.org"}, daemon, input::file,
       " x\nFrom: evil@attacker.example\n\nbody\n", 0, outcome::queued, me, {"joe@example.org"},
       "From: " + me, " x\nFrom: evil@attacker.example\n\nbody\n"},
      {"a field name with a control byte", {"joe@example.org"}, daemon, input::file,
       "X-Bad\001: 1\nFrom: evil@attacker.example\n\nbody\n", 0, outcome::queued, me,
       {"joe@example.org"}, "From: " + me, "X-Bad\001: 1\nFrom: evil@attacker.example\n\nbody\n"},
      // The capture's bound cuts the From line: a cut address names no sender.
      {"a From line cut by the capture", {"joe@example.org"}, daemon, input::file,
       "From: a@" + std::string(1 << 20, 'd') + ".example\n\nBody\n", 0, outcome::queued, me,
       {"joe@example.org"}, "From: a@" + std::string(1 << 20, 'd') + ".example", "Body\n"},
      // An address no environment entry can hold names no sender: the login name does, and the
      // From field still stands in the message.
      {"a 200 KiB From address", {"joe@example.org"}, daemon, input::file,
       "From: " + std::string(200 << 10, 'u') + "@example.com\n\nBody\n", 0, outcome::queued, me,
       {"joe@example.org"},
       "From: " + std::string(200 << 10, 'u') + "@example.com", "Body\n"},
      // USER names the caller, so the From field of mutt's file is not the identity.
      {"mutt", {"-oem", "-oi", "--", "Joe <joe@example.org>", "bob@example.net"}, ann, input::file,
       "Date: Thu, 10 Dec 2026 01:00:00 +0000\nFrom: Ann <ann@example.com>\n"
       "To: Joe <joe@example.org>, bob@example.net\nSubject: Hi\n\nBody\n",
       0, outcome::queued, "ann@example.net", {"joe@example.org", "bob@example.net"},
       "From: Ann <ann@example.com>", "Body\n"},
      {"git send-email", {"-i", "-f", "ann@example.com", "joe@example.org", "bob@example.net"},
       ann, input::pipe,
       "From: Ann <ann@example.com>\nTo: joe@example.org\nCc: bob@example.net\n"
       "Subject: [PATCH] Add f\n\n---\n f | 1 +\n",
       0, outcome::queued, "ann@example.com", {"joe@example.org", "bob@example.net"},
       "From: Ann <ann@example.com>", "---\n f | 1 +\n"},
      {"mailx -i -t", {"-i", "-t"}, {"HOME=/home/ann", "LOGNAME=ann"}, input::pipe,
       "To: joe@example.org\nCc: bob@example.net\nSubject: Hi\n\nBody\n", 0, outcome::queued,
       "ann@example.net", {"joe@example.org", "bob@example.net"}, "From: ann@example.net",
       "Body\n"},
      {"s-nail", {"-i", "-F", "Ann", "-f", "ann@example.com", "--", "joe@example.org"},
       {"HOME=/home/ann", "LOGNAME=ann", "USER=ann"}, input::pipe,
       "Date: Thu, 10 Dec 2026 01:00:00 +0000\nTo: joe@example.org\nSubject: Hi\n"
       "From: Ann <ann@example.com>\n\nBody\n",
       0, outcome::queued, "ann@example.com", {"joe@example.org"}, "From: Ann <ann@example.com>",
       "Body\n"},
      {"daemon without USER and LOGNAME", {"joe@example.org"}, daemon, input::pipe, PLAIN,
       0, outcome::queued, me, {"joe@example.org"}, "From: " + me, "Body\n"},
      {"-f, no From field", {"-f", "bounce@example.com", "joe@example.org"}, ann, input::file,
       PLAIN, 0, outcome::queued, "bounce@example.com", {"joe@example.org"},
       "From: bounce@example.com", "Body\n"},
      {"-f and a From field", {"-f", "bounce@example.com", "joe@example.org"}, ann, input::file,
       ANN, 0, outcome::queued, "bounce@example.com", {"joe@example.org"},
       "From: Ann <ann@example.com>", "Body\n"},
      {"-F, no From field", {"-F", "Ann Example", "joe@example.org"}, ann, input::pipe, PLAIN,
       0, outcome::queued, "ann@example.net", {"joe@example.org"},
       "From: \"Ann Example\" <ann@example.net>", "Body\n"},
      {"From field of a file", {"joe@example.org"}, daemon, input::file, ANN, 0, outcome::queued,
       "ann@example.com", {"joe@example.org"}, "From: Ann <ann@example.com>", "Body\n"},
      {"Sender field of a file", {"joe@example.org"}, daemon, input::file,
       "From: Ann <ann@example.com>\nSender: Sam <sam@lists.example.com>\n\nBody\n",
       0, outcome::queued, "sam@lists.example.com", {"joe@example.org"},
       "From: Ann <ann@example.com>", "Body\n"},
      // The Sender field names the envelope sender only: the From line is the login name's.
      {"only a Sender field in a file", {"joe@example.org"}, daemon, input::file,
       "Sender: Sam <sam@lists.example.com>\n\nBody\n", 0, outcome::queued,
       "sam@lists.example.com", {"joe@example.org"}, "From: " + me, "Body\n"},
      // A pipe cannot be read twice, so its From field names no sender.
      {"From field in a pipe", {"joe@example.org"}, daemon, input::pipe, ANN, 0, outcome::queued, me,
       {"joe@example.org"}, "From: Ann <ann@example.com>", "Body\n"},
      {"file at an offset", {"joe@example.org"}, daemon, input::offset, ANN, 0, outcome::queued,
       "ann@example.com", {"joe@example.org"}, "From: Ann <ann@example.com>", "Body\n"},
      {"-t with Cc and Bcc", {"-t"}, ann, input::file,
       "To: joe@example.org\nCc: Bob <bob@example.net>\nBcc: carol@example.com\nSubject: Hi\n\n"
       "Body\n",
       0, outcome::queued, "ann@example.net",
       {"joe@example.org", "bob@example.net", "carol@example.com"}, "From: ann@example.net",
       "Body\n"},
      // Nothing removes a recipient named twice.
      {"-t and the same recipient as argument", {"-t", "joe@example.org"}, ann, input::pipe,
       "To: joe@example.org\n\nBody\n", 0, outcome::queued, "ann@example.net",
       {"joe@example.org", "joe@example.org"}, "From: ann@example.net", "Body\n"},
      // Two words without brackets do not parse, go on unchanged and become one local address.
      {"local names get the default host", {"-f", "bounce", "joe", "Ann <ann>", "Joe Doe"}, ann,
       input::pipe, PLAIN, 0, outcome::queued, "bounce@example.net",
       {"joe@example.net", "ann@example.net", "Joe Doe@example.net"},
       "From: bounce@example.net", "Body\n"},
      {"a lone dot line", {"joe@example.org"}, ann, input::pipe,
       "Subject: Hi\n\none\n.\nthree\n.\n", 0, outcome::queued, "ann@example.net",
       {"joe@example.org"}, "From: ann@example.net", "one\n.\nthree\n.\n"},
      {"--debug", {"--debug", "joe@example.org"}, ann, input::pipe, PLAIN, 0, outcome::printed,
       "ann@example.net", {}, "From: ann@example.net", "Body\n"},
      {"-f <>: the null sender", {"-f", "<>", "joe@example.org"}, ann, input::pipe, PLAIN, 0,
       outcome::queued, "", {"joe@example.org"}, "From: ann@example.net", "Body\n"},
      // The null sender names nobody: the From line comes from the login name.
      {"-f empty, no From field", {"-f", "", "joe@example.org"}, daemon, input::pipe, PLAIN, 0,
       outcome::queued, "", {"joe@example.org"}, "From: " + me, "Body\n"},
      {"-f <addr>", {"-f", "<bounce@example.com>", "joe@example.org"}, ann, input::pipe, PLAIN, 0,
       outcome::queued, "bounce@example.com", {"joe@example.org"}, "From: bounce@example.com",
       "Body\n"},
      {"no recipient", {"-i", "-f", "bounce@example.com"}, ann, input::file, PLAIN, 2,
       outcome::refused, "", {}, "", ""},
      // What qmail-inject would queue for no one is refused; the differential test has more.
      {"-t, an empty group", {"-t"}, daemon, input::pipe, "To: ;\n\nBody\n", 2, outcome::refused,
       "", {}, "", ""},
      {"-t, a comment left open", {"-t"}, daemon, input::pipe, "To: (unclosed\n\nBody\n", 2,
       outcome::refused, "", {}, "", ""},
      {"-t, a quote left open", {"-t"}, daemon, input::file, "To: \"unclosed\n\nBody\n", 2,
       outcome::refused, "", {}, "", ""},
      {"-t, the empty address", {"-t"}, daemon, input::pipe, "To: <>\n\nBody\n", 2,
       outcome::refused, "", {}, "", ""},
      // Field names as qmail-inject reads them.
      {"FROM with a blank before the colon", {"joe@example.org"}, daemon, input::file,
       "FROM : ann@one.example\n\nBody\n", 0, outcome::queued, "ann@one.example",
       {"joe@example.org"}, "", "Body\n"},
      {"Sender with a blank before the colon", {"joe@example.org"}, daemon, input::file,
       "Sender : s@two.example\n\nBody\n", 0, outcome::queued, "s@two.example",
       {"joe@example.org"}, "From: " + me, "Body\n"},
      // A NUL makes the From address unusable, as any control byte does: the From field settles
      // the identity all the same, and qmail-inject falls back on its own.
      {"a NUL in the From address", {"joe@example.org"}, daemon, input::file,
       std::string("From: ev") + '\0' + "il@attacker.example\n\nBody\n", 0, outcome::queued,
       "anonymous@example.net", {"joe@example.org"},
       std::string("From: \"ev") + '\0' + "il\"@attacker.example", "Body\n"},
      {"a From local part one byte too long for QMAILSUSER", {"joe@example.org"}, daemon,
       input::file, "From: " + std::string(131061, 'u') + "@example.com\n\nBody\n", 0,
       outcome::queued, me, {"joe@example.org"},
       "From: " + std::string(131061, 'u') + "@example.com", "Body\n"},
      // A CR that ends the input would end the message as a bare CR.
      {"a CR that ends the input", {"joe@example.org"}, daemon, input::pipe,
       "Subject: Hi\n\nlast\r", 0, outcome::queued, me, {"joe@example.org"}, "From: " + me,
       "last\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(POSTLET_LOGTEST_BINARY);
    downstream::install_programs(box);
    std::filesystem::remove(box.home + "/control/postletlog");
    log_receiver receiver(box.home + "/log.socket");
    run_options o;
    o.argv = {"postlet"};
    o.argv.insert(o.argv.end(), c.args.begin(), c.args.end());
    o.env = downstream::with_recorder(box, c.env);
    o.env.push_back("POSTLET_LOG_SOCKET=" + receiver.path);
    o.input = c.in == input::pipe ? input_kind::pipe : input_kind::file;
    o.stdin_bytes = c.in == input::offset ? DECOY + c.message : c.message;
    o.stdin_offset = c.in == input::offset ? static_cast<long long>(DECOY.size()) : 0;
    o.ignored_signals = c.ignored_signals;
    auto r = run(box, o);
    EXPECT_EQ(c.status, r.status);
    if (c.status == 0) {
      EXPECT_EQ("", r.err);
    }
    auto q = downstream::read_queue(box);
    std::string message = q.message;
    if (c.result == outcome::printed) {
      EXPECT_FALSE(q.queued);
      message = r.out;
      std::string path = downstream::header_line(message, "Return-Path: <");
      q.sender = path.empty() ? "(no Return-Path)" : path.substr(14, path.size() - 15);
    } else if (c.result == outcome::refused) {
      EXPECT_FALSE(q.queued);
      EXPECT_EQ("", r.out);
    } else {
      EXPECT_TRUE(q.queued);
      EXPECT_EQ(1, q.runs);
      EXPECT_EQ("", r.out);
    }
    EXPECT_EQ(c.sender, q.sender);
    EXPECT_EQ(c.recipients, q.recipients);
    EXPECT_TRUE(c.from == downstream::header_line(message, "From:"));
    EXPECT_EQ(c.body, downstream::body_of(message));
    // Unless kept, no line of what qmail queues ends in CR.
    bool kept = std::count(c.env.begin(), c.env.end(), "POSTLET_KEEP_CRLF=1") != 0;
    if (!kept) {
      EXPECT_EQ(std::string::npos, message.find("\r\n"));
    }
    EXPECT_EQ("", downstream::header_line(message, "Bcc:"));
    // qmail-inject runs as postlet's own process: its Message-ID holds the pid of the log line.
    strings lines = receiver.lines();
    if (c.result != outcome::queued) {
      EXPECT_EQ(strings{}, lines);
      continue;
    }
    // With Resent- fields qmail-inject adds a Resent-Message-ID instead.
    std::string pid = downstream::header_line(message, "Message-ID: <") +
                      downstream::header_line(message, "Resent-Message-ID: <");
    pid = pid.substr(pid.find('.') + 1);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(" pid=" + pid.substr(0, pid.find('.')), lines[0].substr(lines[0].rfind(' ')));
  }
}
