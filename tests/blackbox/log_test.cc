// log_test.cc: the log line of a submission, received on a socket of the test's own.
//
// postlet-logtest is postlet built to send its line to the socket named by POSTLET_LOG_SOCKET.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "blackbox/driver.h"

using namespace blackbox;

namespace {

enum class log_socket { listening, missing, full };

struct log_case {
  const char* name;
  strings args;  // after argv[0]
  strings env = {"USER=ann"};
  std::string message = "Subject: s\n\nbody\n";
  input_kind input = input_kind::pipe;
  std::string dir;                // the caller's directory below the home
  const char* control = nullptr;  // control/postletlog; none when null
  log_socket socket = log_socket::listening;
  int status = 0;
  bool injected = true;  // qmail-inject ran
  std::string line;      // after "<22>", with PID, UID, PPID, PARENT and HOME filled in; "" none
};

void fill_in(std::string& text, const std::string& key, const std::string& value) {
  for (size_t at; (at = text.find(key)) != std::string::npos;)
    text.replace(at, key.size(), value);
}

}  // namespace

TEST(Log, OneLinePerSubmissionThatQueues) {
  const std::string login = blackbox::login_name();
  const std::string line = "postlet[PID]: uid=UID user=ann ppid=PPID parent=PARENT cwd=HOME ";
  const log_case cases[] = {
      {.name = "null sender, three addresses", .args = {"-f", "<>", "a@b", "Joe <j@x>, k@x"},
       .line = line + "sender=<> rcpts=3 header=no msgid=- pid=PID"},
      {.name = "-t, a Message-ID in a file, the login name looked up", .args = {"-t"}, .env = {},
       .message = "To: a@b\nMessage-ID:\n <1.2@x.example> \n\nbody\n", .input = input_kind::file,
       .line = "postlet[PID]: uid=UID user=" + (login.empty() ? "-" : login) +
               " ppid=PPID parent=PARENT cwd=HOME sender=- rcpts=0 header=yes "
               "msgid=<1.2@x.example> pid=PID"},
      {.name = "a Message-ID in a pipe", .args = {"a@b"},
       .message = "Message-ID: <3.4@x.example>\n\nbody\n",
       .line = line + "sender=- rcpts=1 header=no msgid=<3.4@x.example> pid=PID"},
      {.name = "message-id with a blank before the colon", .args = {"a@b"},
       .message = "message-id\t: <5.6@x.example>\n\nbody\n",
       .line = line + "sender=- rcpts=1 header=no msgid=<5.6@x.example> pid=PID"},
      {.name = "hostile directory, label, sender, name and Message-ID; LOGNAME",
       .args = {"-L", "a b[1]:\\", "-F", "N\tx pid=1", "-f", "x pid=1\\\xe9@y", "a@b"},
       .env = {"USER=", "LOGNAME=lo"}, .message = "Message-ID: <a b>\tuid=0\\\xff\n\n",
       .input = input_kind::file, .dir = "d pid=1\\\n\xff",
       .line = "a\\040b\\1331\\135\\072\\134[PID]: uid=UID user=lo ppid=PPID parent=PARENT "
               "cwd=HOME/d\\040pid=1\\134\\012\\377 sender=x\\040pid=1\\134\\351@y rcpts=1 "
               "header=no msgid=<a\\040b>\\011uid=0\\134\\377 pid=PID"},
      {.name = "a long sender and label are cut",
       .args = {"-L", std::string(40, 'L'), "-f", std::string(2000, 'x'), "a@b"},
       .line = std::string(32, 'L') + "[PID]: uid=UID user=ann ppid=PPID parent=PARENT cwd=HOME " +
               "sender=" + std::string(256, 'x') + " rcpts=1 header=no msgid=- pid=PID"},
      {.name = "no socket", .args = {"a@b"}, .socket = log_socket::missing},
      {.name = "a full socket", .args = {"a@b"}, .socket = log_socket::full},
      {.name = "turned off", .args = {"a@b"}, .control = "off \r\nmore\n"},
      {.name = "a control file that does not say off", .args = {"a@b"}, .control = "offline\n",
       .line = line + "sender=- rcpts=1 header=no msgid=- pid=PID"},
      {.name = "--debug queues nothing", .args = {"--debug", "a@b"}},
      {.name = "--environment-debug", .args = {"--environment-debug", "x", "a@b"}, .injected = false},
      {.name = "a refusal", .args = {"-I", "a@b"}, .status = 2, .injected = false},
  };
  const std::string parent = read_file("/proc/self/comm");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(POSTLET_LOGTEST_BINARY, stubs::all);
    std::filesystem::remove(box.home + "/control/postletlog");
    if (c.control) write_file(box.home + "/control/postletlog", c.control);
    std::filesystem::create_directory(box.home + "/" + c.dir);
    log_receiver receiver(box.home + "/log.socket");
    if (c.socket == log_socket::full) receiver.fill();
    strings argv = {"postlet"}, env = c.env;
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    env.push_back("POSTLET_LOG_SOCKET=" + box.home +
                  (c.socket == log_socket::missing ? "/no.socket" : "/log.socket"));
    // A send that waited on the full socket would leave postlet to the driver's kill.
    auto r = run(box, {.argv = argv, .env = env, .input = c.input, .stdin_bytes = c.message,
                       .cwd = box.home + "/" + c.dir});
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_TRUE(c.status || r.err.empty()) << r.err;
    record rec = read_record(box, "qmail-inject");
    EXPECT_EQ(c.injected, rec.ran);
    strings lines = receiver.lines();
    std::erase(lines, std::string(1024, 'f'));  // what fill() queued
    if (c.line.empty()) {
      EXPECT_EQ(strings{}, lines);
      continue;
    }
    // The injector runs as postlet's own process.
    const std::string& pid = rec.pid;
    std::string expected = "<22>" + c.line;
    fill_in(expected, "PPID", std::to_string(getpid()));
    fill_in(expected, "PID", pid);
    fill_in(expected, "UID", std::to_string(getuid()));
    fill_in(expected, "PARENT", parent.substr(0, parent.size() - 1));
    fill_in(expected, "HOME", box.home);
    EXPECT_EQ(strings{expected}, lines);
  }
}
