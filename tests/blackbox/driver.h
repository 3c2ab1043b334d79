// driver.h: run a home-patched copy of postlet against stub qmail programs.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>
#include <utility>
#include <vector>

namespace blackbox {

using strings = std::vector<std::string>;

// Whether a new sandbox starts with a stub for every qmail program postlet may run.
enum class stubs { none, all };

// A temporary qmail home holding a patched copy of postlet at HOME/postlet, bin/ and record/.
struct sandbox {
  std::string home;
  explicit sandbox(stubs installed = stubs::none);
  // The same with a home-patched copy of another build of postlet.
  explicit sandbox(const std::string& source_binary, stubs installed = stubs::none);
  ~sandbox();
  sandbox(const sandbox&) = delete;
  sandbox& operator=(const sandbox&) = delete;

  std::string binary() const { return home + "/postlet"; }
  // Copies the recording stub to HOME/relative (e.g. "bin/qmail-inject"), exiting with status.
  void install_stub(const std::string& relative, int status = 0) const;
  // Installs the stubs for every qmail program postlet may run.
  void install_all_stubs() const;
};

// pty: descriptor 0 is the master side of a terminal whose other side the runner writes; once
// that side is closed, reading the master fails (EIO). terminal: descriptor 0 is a terminal in
// canonical mode that the runner types into, then types the end-of-file character and leaves
// open.
enum class input_kind { file, pipe, closed, dev_null, path, pty, terminal };

// "" where a pseudo-terminal can be opened; else why not (a build chroot without /dev/pts), for a
// test to skip with.
std::string pty_unavailable();

struct run_options {
  std::vector<std::string> argv = {"postlet"};
  std::vector<std::string> env;
  std::string program;  // the file to execute; the sandbox's postlet when empty
  input_kind input = input_kind::pipe;
  std::string stdin_bytes;
  long long stdin_offset = 0;  // for input_kind::file: where descriptor 0 starts
  std::string stdin_path;      // for input_kind::path: opened read-only as descriptor 0
  size_t stdin_pause_at = 0;   // for a pipe or pty: a pause of 200 ms after this many bytes
  bool stdin_nonblocking = false;  // descriptor 0 in non-blocking mode
  // When the pause of stdin_pause_at begins: this signal to the run's processes of that name.
  int signal_at_pause = 0;
  std::string signal_name;
  std::string input_end_after;  // pipe or pty: closed only once this file of the sandbox exists
  bool close_stdout = false;
  bool close_stderr = false;
  std::string stdout_path;          // opened write-only as descriptor 1 (e.g. /dev/full)
  bool stdout_reader_gone = false;  // descriptor 1 a pipe nobody reads, with SIGPIPE ignored
  long long address_space_limit = 0;  // RLIMIT_AS of the child in bytes; 0 leaves it alone
  std::string cwd;  // the child's working directory; the test's own when empty
  // Files mounted over others, {source, target}, in a mount namespace of the child's own (see
  // private_mounts_unavailable); none: the machine's files.
  std::vector<std::pair<std::string, std::string>> mounts;
  std::vector<int> ignored_signals;  // set to SIG_IGN before postlet starts, as a caller may
};

// Why runs cannot mount the given targets over in a namespace of their own (neither root nor a
// user namespace allows it, or a target is missing); empty when they can.
std::string private_mounts_unavailable(const std::vector<std::string>& targets);

struct run_result {
  int status = -1;  // the exit status, or 128 + signal number
  std::string out;
  std::string err;
  long max_rss_kb = 0;  // the child's peak resident size
  double seconds = 0;   // from fork to exit
  int orphans = 0;      // processes of the run still alive 2 s after its end (then killed)
  long long input_offset = -1;  // for input_kind::file: where the caller's descriptor stands after
  int signaled = 0;             // processes that signal_at_pause reached
};

// A child silent for this long is killed (status 128 + SIGKILL). When the environment variable
// POSTLET_BLACKBOX_WRAPPER is set, its space-separated words run the sandbox's postlet (valgrind).
run_result run(const sandbox& box, const run_options& options);

// What a stub recorded; ran is false when it was not executed.
struct record {
  bool ran = false;
  std::vector<std::string> argv;
  std::vector<std::string> env;
  std::string cwd;
  std::string input;
  std::string pid;  // its process id
  std::string fds;  // its open descriptors and their kinds: "0:pipe 1:pipe 2:pipe"
  std::string ignored;  // the signals it started with ignored, by number: "1 13"
};
record read_record(const sandbox& box, const std::string& name);

// A run of postlet and what one stub recorded of it.
struct handed_over {
  run_result result;
  record rec;
};
// Runs postlet in the sandbox, expects status 0 and `err` on standard error, and reads the record
// of `program`; the caller asserts rec.ran before relying on the record.
handed_over run_to(const sandbox& box, const run_options& options,
                   const std::string& program = "qmail-inject", const std::string& err = "");

// The environment entries of a record whose names are in the given list, in recorded order.
std::vector<std::string> only(const std::vector<std::string>& env,
                              const std::vector<std::string>& names);

// The login name of the real user id, as the password database gives it ("" without an entry).
std::string login_name();

// A datagram socket bound at path that receives log lines; fill() fills its queue.
struct log_receiver {
  std::string path;
  int fd;
  sockaddr_un address = {.sun_family = AF_UNIX, .sun_path = {}};
  explicit log_receiver(const std::string& socket_path);
  ~log_receiver();
  log_receiver(const log_receiver&) = delete;
  log_receiver& operator=(const log_receiver&) = delete;
  // Every datagram waiting, in order.
  strings lines() const;
  void fill() const;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data, int mode = 0644);

}  // namespace blackbox
