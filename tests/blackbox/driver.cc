// driver.cc: sandbox, runner and record reader for black-box tests.
#include "blackbox/driver.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <type_traits>

namespace blackbox {

std::string login_name() {
  const passwd* p = getpwuid(getuid());
  return p ? p->pw_name : "";
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, const std::string& data, int mode) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
  }
  chmod(path.c_str(), static_cast<mode_t>(mode));
}

static void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + strerror(errno));
}

sandbox::sandbox(stubs installed) : sandbox(POSTLET_BINARY, installed) {}

sandbox::sandbox(const std::string& source_binary, stubs installed) {
  char pattern[] = "/tmp/plt-XXXXXX";
  check(mkdtemp(pattern) != nullptr, "mkdtemp");
  home = pattern;
  std::filesystem::create_directory(home + "/bin");
  std::filesystem::create_directory(home + "/record");
  std::string command = std::string(POSTLET_SETHOME) + " " + source_binary + " " + home + " " +
                        binary() + " >/dev/null";
  check(system(command.c_str()) == 0, "postlet-sethome");
  // No test writes to the machine's log; the tests of the log line turn it on.
  std::filesystem::create_directory(home + "/control");
  write_file(home + "/control/postletlog", "off\n");
  if (installed == stubs::all) install_all_stubs();
}

sandbox::~sandbox() {
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
}

void sandbox::install_stub(const std::string& relative, int status) const {
  std::string target = home + "/" + relative;
  std::filesystem::create_directories(std::filesystem::path(target).parent_path());
  std::filesystem::copy_file(POSTLET_STUB, target,
                             std::filesystem::copy_options::overwrite_existing);
  chmod(target.c_str(), 0755);
  if (status) write_file(target + ".status", std::to_string(status));
}

void sandbox::install_all_stubs() const {
  for (const char* name : {"qmail-inject", "qmail-smtpd", "qmail-qread", "qmail-qstat",
                           "qmail-tcpok", "qmail-tcpto"})
    install_stub(std::string("bin/") + name);
}

std::string pty_unavailable() {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master == -1) return std::string("no pseudo-terminal: posix_openpt: ") + strerror(errno);
  std::string why;
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    why = std::string("no pseudo-terminal: grantpt: ") + strerror(errno);
  } else if (const char* name = ptsname(master); !name) {
    why = std::string("no pseudo-terminal: ptsname: ") + strerror(errno);
  } else if (int other = open(name, O_RDWR | O_NOCTTY); other == -1) {
    why = std::string("no pseudo-terminal: ") + name + ": " + strerror(errno);
  } else {
    close(other);
  }
  close(master);
  return why;
}

static std::vector<char*> c_vector(std::vector<std::string>& texts) {
  std::vector<char*> v;
  for (auto& t : texts) v.push_back(t.data());
  v.push_back(nullptr);
  return v;
}

// A pseudo-terminal: *master its master side, *terminal the terminal it drives.
static void open_pty(int* master, int* terminal) {
  *master = posix_openpt(O_RDWR | O_NOCTTY);
  check(*master >= 0 && grantpt(*master) == 0 && unlockpt(*master) == 0, "pty");
  *terminal = open(ptsname(*master), O_RDWR | O_NOCTTY);
  check(*terminal >= 0, "pty");
}

// Waits for the processes of a run that outlived it (this process is their subreaper); those
// still alive after 2 s are killed and counted.
static int reap_orphans() {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    int status;
    pid_t p = waitpid(-1, &status, WNOHANG);
    if (p > 0) continue;
    if (p == -1) return 0;
    if (std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    std::istringstream children(read_file("/proc/self/task/" + std::to_string(getpid()) + "/children"));
    int count = 0;
    for (pid_t child; children >> child; ++count) kill(child, SIGKILL);
    while (waitpid(-1, &status, 0) > 0) {
    }
    return count;
  }
}

// Sends the signal to the run's child and its children whose process name is name; how many.
static int signal_by_name(pid_t child, const std::string& name, int number) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string stat = read_file(entry.path().string() + "/stat");
    size_t open = stat.find('('), close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    char state;
    pid_t parent = 0;
    rest >> state >> parent;
    pid_t pid = std::atoi(stat.c_str());
    if (stat.substr(open + 1, close - open - 1) == name && (pid == child || parent == child))
      count += kill(pid, number) == 0;
  }
  return count;
}

// In a child about to exec: a mount namespace of its own, entered as root or else through a user
// namespace that keeps the caller's ids, and the mounts in it. 0 with errno on a failure.
static int enter_private_mounts(const std::vector<std::pair<std::string, std::string>>& mounts) {
  uid_t uid = getuid();
  gid_t gid = getgid();
  if (unshare(CLONE_NEWNS) != 0) {
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return 0;
    const std::pair<const char*, std::string> maps[] = {
        {"/proc/self/setgroups", "deny"},
        {"/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1"},
        {"/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"}};
    for (const auto& [file, text] : maps) {
      int fd = open(file, O_WRONLY);
      bool written = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      if (fd >= 0) close(fd);
      if (!written) return 0;
    }
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 0;
  for (const auto& [source, target] : mounts) {
    if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) return 0;
  }
  return 1;
}

std::string private_mounts_unavailable(const std::vector<std::string>& targets) {
  std::vector<std::pair<std::string, std::string>> mounts;
  for (const auto& t : targets) mounts.emplace_back(t, t);
  pid_t pid = fork();
  check(pid >= 0, "fork");
  if (pid == 0) _exit(enter_private_mounts(mounts) ? 0 : errno);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  return std::string("no mount namespace of a run's own for files over /etc: ") +
         strerror(WIFEXITED(status) ? WEXITSTATUS(status) : EINTR);
}

run_result run(const sandbox& box, const run_options& options) {
  // A process the run leaves behind comes back here, to be seen and reaped.
  static bool subreaper = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  (void)subreaper;
  std::vector<std::string> argv = options.argv;
  std::vector<std::string> env = options.env;
  std::string program = options.program.empty() ? box.binary() : options.program;
  const char* wrapper = getenv("POSTLET_BLACKBOX_WRAPPER");
  if (wrapper && *wrapper && options.program.empty() && !argv.empty()) {
    std::vector<std::string> words;
    std::istringstream split(wrapper);
    for (std::string w; split >> w;) words.push_back(w);
    words.push_back(program);
    argv.erase(argv.begin());
    argv.insert(argv.begin(), words.begin(), words.end());
    program = words[0];
  }
  int out_pipe[2], err_pipe[2], in_pipe[2] = {-1, -1}, gone_pipe[2] = {-1, -1};
  check(pipe(out_pipe) == 0 && pipe(err_pipe) == 0, "pipe");
  if (options.stdout_reader_gone) {
    check(pipe(gone_pipe) == 0, "pipe");
    close(gone_pipe[0]);
  }
  int input_fd = -1;
  if (options.input == input_kind::pipe) {
    check(pipe(in_pipe) == 0, "pipe");
  } else if (options.input == input_kind::pty) {
    // in_pipe[0] the master, for postlet; in_pipe[1] the other side, raw, for the runner.
    open_pty(&in_pipe[0], &in_pipe[1]);
    termios raw;
    check(tcgetattr(in_pipe[1], &raw) == 0, "pty");
    cfmakeraw(&raw);
    tcsetattr(in_pipe[1], TCSANOW, &raw);
  } else if (options.input == input_kind::terminal) {
    // in_pipe[0] the terminal, for postlet; in_pipe[1] its master side, for the runner to type.
    open_pty(&in_pipe[1], &in_pipe[0]);
    termios typed;
    check(tcgetattr(in_pipe[0], &typed) == 0, "pty");
    typed.c_lflag |= ICANON;
    typed.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ISIG | IEXTEN);
    typed.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
    tcsetattr(in_pipe[0], TCSANOW, &typed);
  } else if (options.input == input_kind::file) {
    std::string path = box.home + "/message.input";
    write_file(path, options.stdin_bytes);
    input_fd = open(path.c_str(), O_RDONLY);
    check(input_fd >= 0, "open input");
    lseek(input_fd, options.stdin_offset, SEEK_SET);
  } else if (options.input == input_kind::dev_null) {
    input_fd = open("/dev/null", O_RDONLY);
  } else if (options.input == input_kind::path) {
    input_fd = open(options.stdin_path.c_str(), O_RDONLY);
    check(input_fd >= 0, "open " + options.stdin_path);
  }
  auto args = c_vector(argv);
  auto envp = c_vector(env);
  auto started = std::chrono::steady_clock::now();
  pid_t pid = fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    if (options.address_space_limit) {
      rlimit limit = {static_cast<rlim_t>(options.address_space_limit),
                      static_cast<rlim_t>(options.address_space_limit)};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    if (options.input == input_kind::pipe || options.input == input_kind::pty ||
        options.input == input_kind::terminal) {
      dup2(in_pipe[0], 0);
    } else if (input_fd >= 0) {
      dup2(input_fd, 0);
    } else {
      close(0);
    }
    if (options.stdin_nonblocking) fcntl(0, F_SETFL, O_NONBLOCK);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (!options.stdout_path.empty()) {
      int fd = open(options.stdout_path.c_str(), O_WRONLY);
      if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
    }
    if (options.stdout_reader_gone) dup2(gone_pipe[1], 1);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    if (!options.mounts.empty() && !enter_private_mounts(options.mounts)) {
      std::string why = std::string("private mounts: ") + strerror(errno) + "\n";
      (void)!write(2, why.data(), why.size());
      _exit(125);
    }
    // Only 0, 1 and 2 go to postlet, whatever the test process holds.
    rlimit files = {};
    getrlimit(RLIMIT_NOFILE, &files);
    for (int fd = 3; fd < static_cast<int>(std::min<rlim_t>(files.rlim_cur, 65536)); ++fd) close(fd);
    if (options.close_stdout) close(1);
    if (options.close_stderr) close(2);
    signal(SIGPIPE, options.stdout_reader_gone ? SIG_IGN : SIG_DFL);
    for (int number : options.ignored_signals) signal(number, SIG_IGN);
    execve(program.c_str(), args.data(), envp.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (gone_pipe[1] >= 0) close(gone_pipe[1]);
  run_result result;
  size_t written = 0;
  int in_fd = -1;
  if (options.input == input_kind::pipe || options.input == input_kind::pty ||
      options.input == input_kind::terminal) {
    close(in_pipe[0]);
    in_fd = in_pipe[1];
    fcntl(in_fd, F_SETFL, O_NONBLOCK);
  }
  // The input ends once it is all written, or later once the file named to end it exists.
  // A terminal is never closed: the end-of-file character ends its input.
  bool end_typed = false;
  auto input_may_end = [&] {
    return options.input != input_kind::terminal && written == options.stdin_bytes.size() &&
           (options.input_end_after.empty() ||
            std::filesystem::exists(box.home + "/" + options.input_end_after));
  };
  auto paused_until = started;
  bool paused = false;
  signal(SIGPIPE, SIG_IGN);
  bool out_open = true, err_open = true;
  auto quiet_since = std::chrono::steady_clock::now();
  while (out_open || err_open) {
    if (in_fd >= 0 && input_may_end()) {
      close(in_fd);
      in_fd = -1;
    }
    if (options.input == input_kind::terminal && !end_typed &&
        written == options.stdin_bytes.size())
      end_typed = write(in_fd, "\x04", 1) == 1;
    auto now = std::chrono::steady_clock::now();
    bool waiting = now < paused_until || (in_fd >= 0 && written == options.stdin_bytes.size());
    pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {in_fd, POLLOUT, 0}};
    if (!out_open) fds[0].fd = -1;
    if (!err_open) fds[1].fd = -1;
    if (waiting) fds[2].fd = -1;
    int ready = poll(fds, 3, waiting ? 10 : 20000);
    if (ready > 0) quiet_since = std::chrono::steady_clock::now();
    if (ready < 0 || std::chrono::steady_clock::now() - quiet_since > std::chrono::seconds(20)) {
      // A hung child must not hang the test.
      kill(pid, SIGKILL);
      break;
    }
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if (!fds[i].revents) continue;
      ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
      if (r <= 0) {
        (i == 0 ? out_open : err_open) = false;
      } else {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(r));
      }
    }
    if (in_fd >= 0 && fds[2].revents) {
      size_t end = options.stdin_bytes.size();
      if (!paused && options.stdin_pause_at) end = options.stdin_pause_at;
      ssize_t w = write(in_fd, options.stdin_bytes.data() + written, end - written);
      if (w > 0) written += static_cast<size_t>(w);
      if (w < 0 && errno != EAGAIN) written = options.stdin_bytes.size();
      if (!paused && written == end && options.stdin_pause_at) {
        paused = true;
        paused_until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        if (options.signal_at_pause)
          result.signaled = signal_by_name(pid, options.signal_name, options.signal_at_pause);
      }
    }
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  rusage usage = {};
  wait4(pid, &status, 0, &usage);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  result.max_rss_kb = usage.ru_maxrss;
  // The file's description is shared with the child: its offset is where the child left it.
  if (input_fd >= 0) {
    if (options.input == input_kind::file) result.input_offset = lseek(input_fd, 0, SEEK_CUR);
    close(input_fd);
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // Counted while the input is still open: an end of input must not be what stops them.
  result.orphans = reap_orphans();
  if (in_fd >= 0) close(in_fd);
  return result;
}

static std::vector<std::string> split_nul(const std::string& s) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\0') {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

record read_record(const sandbox& box, const std::string& name) {
  record r;
  std::string base = box.home + "/record/" + name;
  if (!std::filesystem::exists(base + ".argv")) return r;
  r.ran = true;
  r.argv = split_nul(read_file(base + ".argv"));
  r.env = split_nul(read_file(base + ".env"));
  r.cwd = read_file(base + ".cwd");
  r.input = read_file(base + ".stdin");
  r.pid = read_file(base + ".pid");
  r.fds = read_file(base + ".fds");
  r.ignored = read_file(base + ".ignored");
  return r;
}

log_receiver::log_receiver(const std::string& socket_path) : path(socket_path) {
  fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  check(fd >= 0 && path.size() < sizeof address.sun_path, "log socket");
  std::strcpy(address.sun_path, path.c_str());
  check(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind " + path);
}

log_receiver::~log_receiver() {
  close(fd);
  unlink(path.c_str());
}

strings log_receiver::lines() const {
  strings received;
  char buffer[65536];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) >= 0;)
    received.emplace_back(buffer, static_cast<size_t>(n));
  return received;
}

void log_receiver::fill() const {
  const std::string filler(1024, 'f');
  while (sendto(fd, filler.data(), filler.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                sizeof address) > 0) {
  }
}

handed_over run_to(const sandbox& box, const run_options& options, const std::string& program,
                   const std::string& err) {
  handed_over h;
  h.result = run(box, options);
  EXPECT_EQ(0, h.result.status) << h.result.err;
  EXPECT_EQ(err, h.result.err);
  h.rec = read_record(box, program);
  return h;
}

std::vector<std::string> only(const std::vector<std::string>& env,
                              const std::vector<std::string>& names) {
  std::vector<std::string> kept;
  for (const auto& e : env) {
    std::string name = e.substr(0, e.find('='));
    for (const auto& n : names) {
      if (n == name) kept.push_back(e);
    }
  }
  return kept;
}

}  // namespace blackbox
