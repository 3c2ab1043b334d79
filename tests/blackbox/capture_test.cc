// capture_test.cc: the header of a seekable message is read, and the injector still gets it all,
// with its line ends mended.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "blackbox/driver.h"

using namespace blackbox;

static const strings IDENTITY = {"QMAILSHOST", "QMAILSUSER", "USER"};

// What the injector reads: the message from the caller's offset, every CR before an LF dropped
// unless POSTLET_KEEP_CRLF is inherited. A file reaches the injector itself unless its bytes had
// to change; anything else comes through the pump's pipe.
TEST(Capture, InjectorReadsTheMessageFromItsStartWithLineEndsMended) {
  const std::string long_line = "X-Long: " + std::string(9000, 'l') + "\n";
  std::string many_fields;
  for (int i = 0; i < 300; ++i) many_fields += "X-Field-" + std::to_string(i) + ": value\n";
  const strings ab = {"QMAILSHOST=b.example", "QMAILSUSER=a"};
  const strings login = {"USER=LOGIN"};
  const std::string nul(1, '\0');
  std::string crlf_lines = "To: a\r\n\r\n", lf_lines = "To: a\n\n";
  while (crlf_lines.size() < 200000) {
    crlf_lines += std::string(70, 'c') + "\r\n";
    lf_lines += std::string(70, 'c') + "\n";
  }
  const struct {
    const char* name;
    input_kind input;
    std::string before;  // bytes in the file before the message (its offset)
    std::string message;
    strings identity;
    std::string reads = "";  // what the injector reads when it is not the message itself
    strings env = {};
    size_t pause_at = 0;
    bool nonblocking = false;
  } cases[] = {
      {"plain file", input_kind::file, "", "From: a@b.example\n\nbody\n", ab},
      {"file at an offset", input_kind::file, "From: wrong@x.example\n\nearlier message\n",
       "From: a@b.example\n\nbody\n", ab},
      {"pipe", input_kind::pipe, "", "From: a@b.example\n\nbody\n", login},
      {"empty file", input_kind::file, "", "", login},
      {"CRLF line ends", input_kind::file, "", "From: a@b.example\r\nSubject: x\r\n\r\nbody\r\n", ab,
       "From: a@b.example\nSubject: x\n\nbody\n"},
      {"CRLF line ends kept", input_kind::file, "x\r\n", "From: a@b.example\r\n\r\nbody\r\n",
       ab, "", {"POSTLET_KEEP_CRLF="}},
      {"CRLF line ends kept, pipe", input_kind::pipe, "", "To: c\r\n\r\nbody\r\n", login, "",
       {"POSTLET_KEEP_CRLF=1"}},
      {"header over 4096 bytes", input_kind::file, "",
       many_fields + "From: a@b.example\n\n" + std::string(10000, 'b'), ab},
      {"one header line over 4096 bytes", input_kind::file, "",
       long_line + "From: a@b.example\n\nbody\n", ab},
      {"header only", input_kind::file, "", "Subject: x\nFrom: a@b.example\n", ab},
      {"last header line without newline", input_kind::file, "", "From: a@b.example", ab},
      {"no header, no final newline", input_kind::file, "", "just text", login},
      {"body after the empty line is not header", input_kind::file, "",
       "Subject: x\n\nFrom: a@b.example\n", login},
      {"a body line before From is not header", input_kind::file, "",
       " x\nFrom: evil@attacker.example\n\nbody\n", login},
      {"0 bytes", input_kind::pipe, "", "", login},
      // A CR that ends the input goes: the injector ends the last line itself.
      {"CRs, the last ending the input", input_kind::pipe, "", "\r\r", login, "\r"},
      {"CR CR LF", input_kind::pipe, "", "To: a\r\r\n\r\nx\r\r\n", login, "To: a\r\n\nx\r\n"},
      {"CR LF split across reads in the header", input_kind::pipe, "",
       "Subject: s\r\nTo: a\r\n\r\nbody\r\n", login, "Subject: s\nTo: a\n\nbody\n", {}, 11},
      {"CR LF split across reads in the body", input_kind::pipe, "", "To: a\n\nbody\r\nend\r\n",
       login, "To: a\n\nbody\nend\n", {}, 12},
      {"a CR ending a read, no LF after", input_kind::pipe, "", "To: a\n\nbody\rend\r", login,
       "To: a\n\nbody\rend", {}, 12},
      {"NUL bytes", input_kind::pipe, "", "To: a" + nul + "b\r\n\r\n" + nul + "\r\n" + nul,
       login, "To: a" + nul + "b\n\n" + nul + "\n" + nul},
      {"no final newline", input_kind::file, "", "To: a\r\n\r\nlast\r", login, "To: a\n\nlast"},
      {"a file whose only CR LF is its last two bytes", input_kind::file, "", "To: a\n\nlast\r\n",
       login, "To: a\n\nlast\n"},
      {"a file of LF lines ending in a CR", input_kind::file, "", "To: a\n\nlast\r", login,
       "To: a\n\nlast"},
      // Longer than a pipe holds at first: postlet makes the pipe larger and still writes it all.
      {"200 KiB of CR LF lines, a pipe", input_kind::pipe, "", crlf_lines, login, lf_lines},
      {"a non-blocking pipe, the writer late in the header", input_kind::pipe, "",
       "Subject: s\r\nTo: a\r\n\r\nbody\r\n", login, "Subject: s\nTo: a\n\nbody\n", {}, 11, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(stubs::all);
    strings env = c.env;
    auto rec = run_to(box, {.argv = {"postlet", "rcpt"},
                            .env = env,
                            .input = c.input,
                            .stdin_bytes = c.before + c.message,
                            .stdin_offset = static_cast<long long>(c.before.size()),
                            .stdin_pause_at = c.pause_at,
                            .stdin_nonblocking = c.nonblocking}).rec;
    ASSERT_TRUE(rec.ran);
    const std::string& reads = c.reads.empty() ? c.message : c.reads;
    EXPECT_EQ(reads, rec.input);
    strings identity = blackbox::only(rec.env, IDENTITY);
    // Without a From field the login name of the caller is the identity.
    strings expected = c.identity;
    if (expected == strings{"USER=LOGIN"}) expected = {"USER=" + blackbox::login_name()};
    EXPECT_EQ(expected, identity);
    bool handed_over = c.input == input_kind::file && reads == c.message;
    EXPECT_EQ(std::string("0:") + (handed_over ? "file" : "pipe") + " 1:pipe 2:pipe", rec.fds);
  }
}

// The pump ends with the injector, never makes an end of input up, and leaves nothing behind.
TEST(Capture, ThePumpEndsWithTheInjector) {
  // More than the largest pipe postlet makes (a mebibyte), so that the pump runs, and a message
  // that fits, which postlet writes into the pipe itself before the exec.
  const std::string megabytes = "To: a\n\n" + std::string(2 << 20, 'x');
  std::string lines = "To: a\n\n";
  while (lines.size() < (1 << 20) + 70000) lines += std::string(99, 'l') + "\n";
  const std::string small = "To: a\n\nbody line\n";
  const std::string exits = "#!/bin/sh\nexit 100\n";
  // An injector that reads what it is told, closes its input and goes on; a while later it notes
  // any child of its process that still runs (the pump, which should have seen its reader go).
  auto closes = [](const std::string& reads) {
    return "#!/bin/sh\n" + reads + "exec 0<&-\nsleep 0.5\nread -r kids < /proc/$$/task/$$/children\n"
           "for kid in $kids; do read -r stat < /proc/$kid/stat; state=${stat##*) }\n"
           "[ \"${state%% *}\" = Z ] || echo \"$stat\" >> record/pump-alive; done\nexit 7\n";
  };
  const struct {
    const char* name;
    std::string injector;  // a script in place of the recording stub
    input_kind input;
    std::string message;
    std::string end_after;  // the input is closed only once this file exists
    int status;
    std::string err;
    bool read_whole = false;  // the recording stub read the whole message
  } cases[] = {
      {"the injector exits, the input idle", exits, input_kind::pipe, lines, "record/never", 100, ""},
      {"the injector exits, two mebibytes waiting", exits, input_kind::pipe, megabytes, "record/never",
       100, ""},
      // A reader gone is no failure: an injector that closed its input still decides, and the
      // pump ends then, writing or waiting for input.
      {"the injector closes its input, the pump writing", closes(""), input_kind::pipe, megabytes,
       "record/never", 7, ""},
      {"the injector closes its input, the pump waiting",
       closes("head -c " + std::to_string(lines.size()) + " >/dev/null\n"), input_kind::pipe, lines,
       "record/never", 7, ""},
      // The terminal's other side closes while the injector reads: the injector dies unqueued.
      {"the input fails mid-message", "", input_kind::pty, lines, "record/qmail-inject.argv",
       128 + SIGKILL, "postlet: fatal: failed to read the message: input/output error\n"},
      // A message that fits is read whole before the exec: a failure starts no injector at all.
      {"the input fails before a short message ends", "", input_kind::pty, small, "", 111,
       "postlet: fatal: failed to read the message: input/output error\n"},
      {"an end typed at a terminal that stays open", "", input_kind::terminal, lines, "", 0, "",
       true},
      {"the same with a short message", "", input_kind::terminal, small, "", 0, "", true},
  };
  const std::string no_pty = pty_unavailable();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool terminal = c.input == input_kind::pty || c.input == input_kind::terminal;
    if (terminal && !no_pty.empty()) continue;
    sandbox box(stubs::all);
    if (!c.injector.empty()) blackbox::write_file(box.home + "/bin/qmail-inject", c.injector, 0755);
    auto r = run(box, {.argv = {"postlet", "rcpt"},
                       .env = {"USER=u"},
                       .input = c.input,
                       .stdin_bytes = c.message,
                       .input_end_after = c.end_after});
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ(0, r.orphans);
    EXPECT_EQ("", blackbox::read_file(box.home + "/record/pump-alive"));
    // The recording injector writes what it read only at the end of its input.
    if (c.read_whole) {
      EXPECT_TRUE(c.message == read_record(box, "qmail-inject").input);
    } else {
      EXPECT_FALSE(std::filesystem::exists(box.home + "/record/qmail-inject.stdin"));
    }
  }
  if (!no_pty.empty()) GTEST_SKIP() << "the cases of a terminal: " << no_pty;
}

// A clean-up by the command's name (pkill sendmail) mid-message finds no process of that name,
// and the usual signals to end, even sent to the pump by its own name, never cut the message:
// the whole message reaches the injector.
TEST(Capture, ACleanUpByNameNeverCutsTheMessage) {
  const std::string message = "To: a\n\n" + std::string(4 << 20, 'x');
  for (const char* name : {"sendmail", "message-pump"}) {
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
      SCOPED_TRACE(std::string(name) + " " + strsignal(number));
      sandbox box(stubs::all);
      std::filesystem::copy_file(box.binary(), box.home + "/sendmail");
      std::filesystem::permissions(box.home + "/sendmail", std::filesystem::perms::owner_all);
      auto r = run(box, {.argv = {"sendmail", "rcpt"},
                         .env = {"USER=u"},
                         .program = box.home + "/sendmail",
                         .input = input_kind::pipe,
                         .stdin_bytes = message,
                         .stdin_pause_at = 2 << 20,
                         .signal_at_pause = number,
                         .signal_name = name});
      EXPECT_EQ(std::string(name) == "sendmail" ? 0 : 1, r.signaled);
      EXPECT_EQ(0, r.status);
      EXPECT_TRUE(message == read_record(box, "qmail-inject").input);
    }
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
  EXPECT_EQ("postlet: fatal: failed to read the message: is a directory\n", r.err);
  EXPECT_FALSE(read_record(box, "qmail-inject").ran);
}
