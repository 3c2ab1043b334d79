// front_end_fuzz.cc: the whole program, from argv, environment and standard input to its exec or
// exit, with the exec, the change of directory, the exit and the writes recorded, not made.
//
// Input: a flag byte, the caller's offset into a seekable standard input, then NUL-separated
// items: the argument vector up to the first empty item, the environment up to the next, and the
// remaining bytes as the message. Flags: bit 0 the message is a file (else a pipe); bit 1 the
// home cannot be entered; bit 2 every exec fails, bit 3 with EACCES instead of ENOENT; bit 4 the
// password look-up finds nothing.
//
// Checked at every exec: only qmail's programs, whatever the command line names; what the program
// reads is the message from the caller's offset, for qmail-inject with the line-end rule applied
// unless POSTLET_KEEP_CRLF is inherited (this build runs the pump's copy in-process, into a memory
// file that becomes descriptor 0); every inherited variable passed on unless an edit names it;
// every edit names a variable the program may set, its value free of control bytes (a tab
// allowed in the full name). At an exit: a documented status. And the identity never comes from
// past qmail-inject's header: the same run over the header alone, followed by a body of decoy
// From and Sender fields, must end with the same status, output and edits.
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sanitizer/allocator_interface.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <bitset>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "address/address_tokenize.h"
#include "cmdscan/cmdscan.h"
#include "front/hand_over.h"
#include "front/identity.h"
#include "front/qmail_home.h"
#include "front/settings.h"
#include "fuzz_support.h"
#include "header/header_index.h"
#include "lib/diagnostics.h"
#include "lib/in_buffer.h"
#include "lib/out_buffer.h"
#include "lib/pool.h"

extern "C" char** environ;
int postlet_main(int argc, char** argv);

using namespace postlet;

// Composed values never hold a control byte: option values with one are refused and header
// addresses with one count as empty. A branch without those checks sets this false.
constexpr bool CHECK_CONTROL_BYTES = true;

static bool has_control_byte(const std::string& entry) {
  bool full_name = entry.rfind("MAILNAME=", 0) == 0;
  for (unsigned char c : entry) {
    if ((c < 32 && !(c == '\t' && full_name)) || c == 127) return true;
  }
  return false;
}

namespace {

struct flags {
  bool file, chdir_fails, exec_fails, exec_eacces, no_password_entry;
};

struct attempt {
  std::string path;
  std::vector<std::string> argv;
  std::vector<const char*> envp;  // the pointers as handed over
  std::vector<std::string> env_text;
  std::string unread;  // what descriptor 0 still holds
};

struct run_record {
  bool active = false;
  flags f = {};
  std::vector<attempt> attempts;
  int status = -1;
  std::string written;
  std::bitset<256> open_before;  // descriptors open before the program started
};

run_record run;
jmp_buf finished;

// Heap blocks the program takes while it runs; the program frees nothing on its way out, so
// whatever is left is given back after it.
constexpr size_t MAX_BLOCKS = 1 << 16;
const volatile void* blocks[MAX_BLOCKS];
size_t block_count = 0;
bool block_overflow = false;

// libFuzzer's own threads allocate too; only the program's thread counts.
pthread_t program_thread;

void on_malloc(const volatile void* p, size_t) {
  if (!run.active || !pthread_equal(pthread_self(), program_thread)) return;
  if (block_count == MAX_BLOCKS) {
    block_overflow = true;
    return;
  }
  blocks[block_count++] = p;
}

void on_free(const volatile void* p) {
  if (!run.active || !pthread_equal(pthread_self(), program_thread)) return;
  for (size_t i = block_count; i > 0; --i) {
    if (blocks[i - 1] == p) {
      blocks[i - 1] = blocks[--block_count];
      return;
    }
  }
}

std::string read_all(int fd) {
  std::string s;
  char buffer[4096];
  for (;;) {
    ssize_t r = read(fd, buffer, sizeof buffer);
    if (r <= 0) return s;
    s.append(buffer, static_cast<size_t>(r));
  }
}

}  // namespace

extern "C" int chdir(const char* path) {
  FUZZ_CHECK(run.active);
  FUZZ_CHECK(std::strcmp(path, qmail_home()) == 0);
  if (run.f.chdir_fails) {
    errno = ENOENT;
    return -1;
  }
  return 0;
}

extern "C" int execve(const char* path, char* const argv[], char* const envp[]) {
  FUZZ_CHECK(run.active);
  run.active = false;  // the record's own allocations are not the program's
  attempt a;
  a.path = path;
  for (char* const* p = argv; *p; ++p)
    a.argv.emplace_back(*p);
  for (char* const* p = envp; *p; ++p) {
    a.envp.push_back(*p);
    a.env_text.emplace_back(*p);
  }
  bool fails = run.f.exec_fails;
  if (!fails) a.unread = read_all(0);
  run.attempts.push_back(std::move(a));
  run.active = true;
  if (fails) {
    errno = run.f.exec_eacces ? EACCES : ENOENT;
    return -1;
  }
  longjmp(finished, 1);
}

extern "C" void _exit(int status) {
  if (!run.active) {
    std::fprintf(stderr, "fuzz target: _exit(%d) outside the program\n", status);
    std::abort();
  }
  run.status = status;
  longjmp(finished, 2);
}

extern "C" ssize_t write(int fd, const void* bytes, size_t n) {
  if (!run.active || (fd != 1 && fd != 2)) return syscall(SYS_write, fd, bytes, n);
  run.active = false;
  if (run.written.size() < (1 << 20)) run.written.append(static_cast<const char*>(bytes), n);
  run.active = true;
  return static_cast<ssize_t>(n);
}

extern "C" passwd* getpwuid(uid_t) {
  static char name[] = "fuzzlogin";
  static passwd entry = {};
  entry.pw_name = name;
  return run.f.no_password_entry ? nullptr : &entry;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  program_thread = pthread_self();
  FUZZ_CHECK(__sanitizer_install_malloc_and_free_hooks(on_malloc, on_free) != 0);
  return 0;
}

// Everything the program keeps between its stages starts as it does in a new process.
static void fresh_process() {
  operation_mode = sender_full_name = envelope_sender = environment_debug = log_label = nullptr;
  initialize_aliases = header_recipients = debug_mode = address_debug = 0;
  ignored_text = nullptr;
  ignored_flag = 0;
  ignored_number = 0;
  arg_list = {};
  env_changes = {};
  header_index = {};
  address_specials = {};
  user_identity_set = host_identity_set = 0;
  looked_up_login = nullptr;
  fatal_threshold = 256;
  fatal_flag = 0;
  program_name = nullptr;
  cmdscan_keep_order = 0;
  standard_input_buffer.available = 0;
  standard_input_buffer.position = 4096;
  standard_error_buffer.used = 0;
  standard_output_buffer.used = 0;
  pool_bytes_left = POOL_SIZE;
}

static const std::set<std::string> qmail_programs = {"bin/qmail-inject", "bin/qmail-smtpd",
                                                     "bin/qmail-qread",  "bin/qmail-qstat",
                                                     "bin/qmail-tcpok",  "bin/qmail-tcpto"};
static const std::set<std::string> settable = {
    "MAILNAME",     "QMAILSUSER",  "QMAILSHOST",    "QMAILUSER",    "QMAILHOST",
    "USER",         "RELAYCLIENT", "DATABYTES",     "PROTO",        "TCPLOCALIP",
    "TCPLOCALHOST", "TCPREMOTEIP", "TCPREMOTEHOST", "TCPREMOTEINFO"};

static std::string name_of(const std::string& entry) {
  return entry.substr(0, entry.find('='));
}

// Every edit of the runs, in order; compared between a run and its decoy.
static std::vector<std::string> edits;

static void check_attempt(const attempt& a, const std::vector<char*>& inherited,
                          const std::string& rest, bool keep) {
  FUZZ_CHECK(qmail_programs.count(a.path) != 0);
  FUZZ_CHECK(!a.argv.empty());
  if (!run.f.exec_fails) {
    FUZZ_CHECK(a.unread == (a.path == "bin/qmail-inject" && !keep ? fuzz_mend(rest) : rest));
  }
  std::set<const char*> passed(a.envp.begin(), a.envp.end());
  std::set<std::string> edited;
  for (size_t i = 0; i < a.envp.size(); ++i) {
    bool is_inherited = false;
    for (char* e : inherited)
      is_inherited |= e == a.envp[i];
    if (is_inherited) continue;
    const std::string& entry = a.env_text[i];
    edits.push_back(entry);
    FUZZ_CHECK(entry.find('=') != std::string::npos);
    FUZZ_CHECK(settable.count(name_of(entry)) != 0);
    edited.insert(name_of(entry));
    if (CHECK_CONTROL_BYTES) FUZZ_CHECK(!has_control_byte(entry));
  }
  // An inherited variable goes missing only when an edit replaced it (or dropped it).
  for (char* e : inherited) {
    if (passed.count(e)) continue;
    FUZZ_CHECK(settable.count(name_of(e)) != 0);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1 << 15) return -1;
  flags f = {};
  f.file = data[0] & 1;
  f.chdir_fails = data[0] & 2;
  f.exec_fails = data[0] & 4;
  f.exec_eacces = data[0] & 8;
  f.no_password_entry = data[0] & 16;
  const off_t start = data[1];

  // Items: each its own block, so that a read past one is caught.
  std::vector<std::string> items[2];
  size_t at = 2;
  for (auto& list : items) {
    while (at < size) {
      const void* nul = std::memchr(data + at, 0, size - at);
      if (!nul) break;
      size_t end = static_cast<const uint8_t*>(nul) - data;
      if (end == at) {
        ++at;
        break;
      }
      if (list.size() == 64) return -1;
      list.emplace_back(reinterpret_cast<const char*>(data) + at, end - at);
      at = end + 1;
    }
  }
  const std::string message(reinterpret_cast<const char*>(data) + at, size - at);
  std::vector<char*> argv, env;
  for (auto& s : items[0])
    argv.push_back(strdup(s.c_str()));
  for (auto& s : items[1])
    env.push_back(strdup(s.c_str()));
  // First, so that the program finds it: the log line goes to no socket at all.
  env.insert(env.begin(), strdup("POSTLET_LOG_SOCKET=/nonexistent/postlet-fuzz-log"));
  const std::vector<char*> inherited = env;
  argv.push_back(nullptr);
  env.push_back(nullptr);

  int fd;
  if (f.file) {
    fd = memfd_create("message", 0);
    FUZZ_CHECK(fd != -1);
    FUZZ_CHECK(write(fd, message.data(), message.size()) == static_cast<ssize_t>(message.size()));
    FUZZ_CHECK(lseek(fd, start, SEEK_SET) == start);
  } else {
    int p[2];
    FUZZ_CHECK(pipe(p) == 0);
    FUZZ_CHECK(write(p[1], message.data(), message.size()) == static_cast<ssize_t>(message.size()));
    close(p[1]);
    fd = p[0];
  }
  // With descriptor 0 closed after the last input, the new one may be descriptor 0 already.
  if (fd != 0) {
    FUZZ_CHECK(dup2(fd, 0) == 0);
    close(fd);
  }

  fresh_process();
  run = run_record{};
  run.f = f;
  for (int fd = 0; fd < 256; ++fd)
    run.open_before[fd] = fcntl(fd, F_GETFD) != -1;
  block_count = 0;
  block_overflow = false;
  char** saved_environ = environ;
  environ = env.data();
  // The argument vector is the program's to rearrange; keep the blocks to free them after.
  std::vector<char*> owned(argv.begin(), argv.end() - 1);
  int argc = static_cast<int>(argv.size() - 1);
  int how = setjmp(finished);
  if (how == 0) {
    run.active = true;
    postlet_main(argc, argv.data());
    run.active = false;
    FUZZ_CHECK(!"the program returned from main");
  }
  run.active = false;
  environ = saved_environ;

  FUZZ_CHECK(!block_overflow);
  if (how == 2) {
    FUZZ_CHECK(run.status == 0 || run.status == 2 || run.status == 111);
  } else {
    FUZZ_CHECK(!run.attempts.empty());
  }
  std::string rest = message;
  if (f.file) rest = static_cast<size_t>(start) < message.size() ? message.substr(start) : "";
  bool keep = false;
  for (auto& s : items[1])
    keep |= s.rfind("POSTLET_KEEP_CRLF=", 0) == 0;
  static bool decoy = false;
  if (!decoy) edits.clear();
  for (const attempt& a : run.attempts)
    check_attempt(a, inherited, rest, keep);
  edits.push_back(std::to_string(run.status) + " " + run.written);
  // The descriptors the log line left to the exec, which the recorded one does not close.
  for (int fd = 1; fd < 256; ++fd) {
    if (!run.open_before[fd]) close(fd);
  }

  for (size_t i = 0; i < block_count; ++i)
    std::free(const_cast<void*>(blocks[i]));
  for (char* p : owned)
    std::free(p);
  for (char* p : inherited)
    std::free(p);
  close(0);

  // Only a file's header names the sender. When the message has a body, the same run over the
  // header alone, followed by a body of decoy fields, must come out the same.
  size_t read_end = 0;
  if (decoy || !f.file || fuzz_header_end(rest, keep, &read_end) == rest.size()) return 0;
  std::string again(reinterpret_cast<const char*>(data), at);
  again[1] = 0;  // the decoy file starts at offset 0
  again += rest.substr(0, fuzz_header_end(rest, keep, &read_end));
  again += "\n\nFrom: decoy@decoy.example\nSender: decoy@decoy.example\n";
  if (again.size() > 1 << 15) return 0;
  std::vector<std::string> first = edits;
  decoy = true;
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(again.data()), again.size());
  decoy = false;
  edits.erase(edits.begin(), edits.begin() + static_cast<long>(first.size()));
  FUZZ_CHECK(edits == first);
  return 0;
}
