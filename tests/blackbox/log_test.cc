// log_test.cc: the log line of a submission or an SMTP session, received on a socket of the
// test's own, and as a real syslog daemon files it.
//
// postlet-logtest is postlet built to send its line to the socket named by POSTLET_LOG_SOCKET.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>

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
  const char* tool = "qmail-inject";  // the program that ran, whose pid the line gives; or none
  const char* argv0 = "postlet";
  std::string line;  // after "<22>", with PID, UID, PPID, PARENT and HOME filled in; "" none
};

// The text with PPID (this process), PID, UID, PARENT (this process's name) and HOME filled in.
std::string filled_in(std::string text, const std::string& pid, const std::string& home) {
  std::string parent = read_file("/proc/self/comm");
  parent.pop_back();
  const std::pair<std::string, std::string> keys[] = {
      {"PPID", std::to_string(getpid())}, {"PID", pid}, {"UID", std::to_string(getuid())},
      {"PARENT", parent}, {"HOME", home}};
  for (const auto& [key, value] : keys) {
    for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
  }
  return text;
}

// The program's path in PATH or the system folders, "" when there is none.
std::string find_program(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(std::string(path ? path : "") + ":/usr/sbin:/sbin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  }
  return "";
}

// Starts argv in dir with exactly env, descriptor 0 from the file in and 1 and 2 appended to the
// file out, no other descriptor. Not through the driver's run, which ends every process of the
// test that outlives a run, as the syslog daemon must.
pid_t start(strings argv, strings env, const std::string& dir, const std::string& in,
            const std::string& out) {
  std::vector<char*> args, vars;
  for (auto& a : argv) args.push_back(a.data());
  for (auto& e : env) vars.push_back(e.data());
  args.push_back(nullptr);
  vars.push_back(nullptr);
  pid_t pid = fork();
  if (pid == -1) throw std::runtime_error("fork");
  if (pid == 0) {
    int i = open(in.c_str(), O_RDONLY), o = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (i < 0 || o < 0 || dup2(i, 0) < 0 || dup2(o, 1) < 0 || dup2(o, 2) < 0 || chdir(dir.c_str()) != 0) _exit(126);
    close_range(3, ~0u, 0);
    execve(args[0], args.data(), vars.data());
    _exit(127);
  }
  return pid;
}

// Whether done() came true within 10 seconds.
bool wait_until(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// The daemon the test started, stopped by its pid however the test ends.
struct daemon_process {
  pid_t pid;
  ~daemon_process() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (!wait_until([this] { return waitpid(pid, nullptr, WNOHANG) == pid; })) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

}  // namespace

TEST(Log, OneLinePerSubmissionThatQueues) {
  const std::string login = blackbox::login_name();
  const std::string line = "postlet[PID]: mode=inject uid=UID user=ann ppid=PPID parent=PARENT cwd=HOME ";
  const log_case cases[] = {
      {.name = "null sender, three addresses", .args = {"-f", "<>", "a@b", "Joe <j@x>, k@x"},
       .line = line + "sender=<> rcpts=3 header=no msgid=- pid=PID"},
      {.name = "-t, a Message-ID in a file, the login name looked up", .args = {"-t"}, .env = {},
       .message = "To: a@b\nMessage-ID:\n <1.2@x.example> \n\nbody\n", .input = input_kind::file,
       .line = "postlet[PID]: mode=inject uid=UID user=" + (login.empty() ? "-" : login) +
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
       .line = "a\\040b\\1331\\135\\072\\134[PID]: mode=inject uid=UID user=lo ppid=PPID parent=PARENT "
               "cwd=HOME/d\\040pid=1\\134\\012\\377 sender=x\\040pid=1\\134\\351@y rcpts=1 "
               "header=no msgid=<a\\040b>\\011uid=0\\134\\377 pid=PID"},
      {.name = "a long sender and label are cut",
       .args = {"-L", std::string(40, 'L'), "-f", std::string(2000, 'x'), "a@b"},
       .line = std::string(32, 'L') + "[PID]: mode=inject uid=UID user=ann ppid=PPID parent=PARENT cwd=HOME " +
               "sender=" + std::string(256, 'x') + " rcpts=1 header=no msgid=- pid=PID"},
      {.name = "no socket", .args = {"a@b"}, .socket = log_socket::missing},
      {.name = "a full socket", .args = {"a@b"}, .socket = log_socket::full},
      {.name = "turned off", .args = {"a@b"}, .control = "off \r\nmore\n"},
      {.name = "a control file that does not say off", .args = {"a@b"}, .control = "offline\n",
       .line = line + "sender=- rcpts=1 header=no msgid=- pid=PID"},
      {.name = "--debug queues nothing", .args = {"--debug", "a@b"}},
      {.name = "--environment-debug", .args = {"--environment-debug", "x", "a@b"}, .tool = nullptr},
      {.name = "a refusal", .args = {"-I", "a@b"}, .status = 2, .tool = nullptr},
      // An SMTP session's line: what is known before it, with the pid qmail-smtpd has.
      {.name = "-bs", .args = {"-bs"}, .message = "QUIT\r\n", .tool = "qmail-smtpd",
       .line = "postlet[PID]: mode=smtp uid=UID user=ann ppid=PPID parent=PARENT cwd=HOME pid=PID"},
      {.name = "-bs with a label, the caller's PROTO, LOGNAME, a hostile directory",
       .args = {"-L", "php\n[1]", "-bs"}, .env = {"PROTO=TCP", "LOGNAME=lo"},
       .message = "QUIT\r\n", .dir = "w w", .tool = "qmail-smtpd",
       .line = "php\\012\\1331\\135[PID]: mode=smtp uid=UID user=lo ppid=PPID parent=PARENT "
               "cwd=HOME/w\\040w pid=PID"},
      {.name = "-bs turned off", .args = {"-bs"}, .control = "off\n", .tool = "qmail-smtpd"},
      {.name = "the other modes", .args = {"-bp"}, .tool = "qmail-qread"},
      {.name = "mailq", .args = {"-Ac"}, .tool = "qmail-qread", .argv0 = "mailq"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox box(POSTLET_LOGTEST_BINARY, stubs::all);
    std::filesystem::remove(box.home + "/control/postletlog");
    if (c.control) write_file(box.home + "/control/postletlog", c.control);
    std::filesystem::create_directory(box.home + "/" + c.dir);
    log_receiver receiver(box.home + "/log.socket");
    if (c.socket == log_socket::full) receiver.fill();
    strings argv = {c.argv0}, env = c.env;
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    env.push_back("POSTLET_LOG_SOCKET=" + box.home +
                  (c.socket == log_socket::missing ? "/no.socket" : "/log.socket"));
    // A send that waited on the full socket would leave postlet to the driver's kill.
    auto r = run(box, {.argv = argv, .env = env, .input = c.input, .stdin_bytes = c.message,
                       .cwd = box.home + "/" + c.dir});
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_TRUE(c.status || r.err.empty()) << r.err;
    record rec = read_record(box, c.tool ? c.tool : "qmail-inject");
    EXPECT_EQ(c.tool != nullptr, rec.ran);
    strings lines = receiver.lines();
    std::erase(lines, std::string(1024, 'f'));  // what fill() queued
    if (c.line.empty()) {
      EXPECT_EQ(strings{}, lines);
      continue;
    }
    // The injector and qmail-smtpd run as postlet's own process.
    EXPECT_EQ(strings{filled_in("<22>" + c.line, rec.pid, box.home)}, lines);
  }
}

TEST(Log, FiledByARealSyslogDaemon) {
  const std::string rsyslogd = find_program("rsyslogd");
  if (rsyslogd.empty()) GTEST_SKIP() << "no rsyslogd (apt-get install rsyslog)";
  sandbox box(POSTLET_LOGTEST_BINARY, stubs::all);
  std::filesystem::remove(box.home + "/control/postletlog");
  // A configuration, a socket and files of the test's own: the machine's /dev/log is never used.
  const std::string dir = box.home + "/syslog", socket = dir + "/log.socket";
  std::filesystem::create_directory(dir);
  write_file(dir + "/rsyslog.conf",
             "global(workDirectory=\"" + dir + "\")\n"
             "module(load=\"imuxsock\" SysSock.Use=\"off\")\n"
             "input(type=\"imuxsock\" Socket=\"" + socket + "\")\n"
             "template(name=\"filed\" type=\"string\" string=\"%syslogfacility-text%."
             "%syslogseverity-text% %programname% %procid% |%msg%\\n\")\n"
             "if $programname != \"rsyslogd\" then action(type=\"omfile\" file=\"" + dir +
             "/filed.log\" template=\"filed\")\n");
  daemon_process daemon = {start({rsyslogd, "-n", "-f", dir + "/rsyslog.conf", "-i", dir + "/pid"},
                                 {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"}, dir, "/dev/null",
                                 dir + "/rsyslogd.out")};
  ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(socket); }))
      << read_file(dir + "/rsyslogd.out");

  const std::string head = "uid=UID user=ann ppid=PPID parent=PARENT cwd=HOME ";
  const struct {
    strings args;  // after argv[0]
    strings env;
    std::string message;
    const char* tool;      // the program that ran, whose pid the line gives
    std::string program;   // as the daemon reads it from the tag
    std::string text;      // after the tag, with UID, PPID, PARENT, HOME and PID filled in
  } cases[] = {
      {{"a@b"}, {"USER=ann"}, "Subject: s\n\nbody\n", "qmail-inject", "postlet",
       "mode=inject " + head + "sender=- rcpts=1 header=no msgid=- pid=PID"},
      {{"-L", "a b[1]:\\", "-f", "x pid=1\\\xe9@y", "a@b"}, {"USER=ann"},
       "Message-ID: <a b>\tuid=0\\\xff\n\nbody\n", "qmail-inject", "a\\040b\\1331\\135\\072\\134",
       "mode=inject " + head +
           "sender=x\\040pid=1\\134\\351@y rcpts=1 header=no msgid=<a\\040b>\\011uid=0\\134\\377 pid=PID"},
      {{"-L", "shop", "-bs"}, {"LOGNAME=ann"}, "QUIT\r\n", "qmail-smtpd", "shop",
       "mode=smtp " + head + "pid=PID"},
  };
  strings expected;
  for (const auto& c : cases) {
    strings argv = {box.binary()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    strings env = c.env;
    env.push_back("POSTLET_LOG_SOCKET=" + socket);
    write_file(box.home + "/message.input", c.message);
    int status = -1;
    waitpid(start(argv, env, box.home, box.home + "/message.input", box.home + "/postlet.out"),
            &status, 0);
    EXPECT_EQ(0, status) << read_file(box.home + "/postlet.out");
    record rec = read_record(box, c.tool);
    ASSERT_TRUE(rec.ran) << c.tool;
    expected.push_back(filled_in("mail.info " + c.program + " PID |" + c.text, rec.pid, box.home));
  }
  strings filed;
  EXPECT_TRUE(wait_until([&] {
    std::istringstream lines(read_file(dir + "/filed.log"));
    filed.clear();
    for (std::string line; std::getline(lines, line);) {
      // The daemon keeps the blank after the tag's colon, or not, as its version does.
      size_t bar = line.find('|');
      if (bar != std::string::npos && line.compare(bar + 1, 1, " ") == 0) line.erase(bar + 1, 1);
      filed.push_back(line);
    }
    return filed.size() >= expected.size();
  }));
  EXPECT_EQ(expected, filed) << read_file(dir + "/rsyslogd.out");
}
