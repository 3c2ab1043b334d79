// pump.cc: the message into the injector's pipe: written whole before the exec when it fits, else
// by the pump process, and the copy both make from standard input.
//
// The process arrangement: postlet itself becomes the injector (it execs it), so the caller's
// process is the injector: the caller gets its exit status unchanged, a signal the caller sends
// (a timeout's SIGTERM or SIGKILL) reaches the injector itself and it dies before queueing, and
// the injector's pid is the one the caller started, which qmail-inject puts into its
// Message-ID. A message whose input ends within what the fresh pipe holds is written into it
// whole before the exec, and the write end closed: no second process at all. A longer one is
// copied by a small child, the pump, as it comes. The pump never lets the injector see an end of
// input that is not the true end: when the input fails, it kills the injector while it still
// holds the pipe's write end, and it ignores the signals of a clean-up by name.
#include "message/pump.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "header/header_capture.h"
#include "header/header_index.h"
#include "lib/diagnostics.h"
#include "lib/in_buffer.h"
#include "lib/line_ends.h"
#include "lib/system.h"

namespace postlet {

constinit char pump_space[1 + PUMP_CHUNK] = {};

// What was read of the input past the capture before the choice, at read_ahead + 1 (a byte of
// room for a held CR in front), and whether that met its end. Static storage that is touched
// only as far as a message needs it.
static constinit char read_ahead[1 + READ_AHEAD_BYTES] = {};
static constinit uint32_t preread = 0;
static constinit int32_t preread_ended = 0;

// A write that failed: the injector may have closed its input and still be running, which is
// no failure of the pump.
static pump_result failed_write() {
  return errno == EPIPE ? PUMP_READER_GONE : PUMP_WRITE_FAILED;
}

// PUMP_DONE, PUMP_READER_GONE or PUMP_WRITE_FAILED.
static pump_result write_all(int out, const char* bytes, uint32_t n) {
  while (n) {
    long w = sys_write(out, bytes, n);
    if (w == -1 && errno == EINTR) continue;
    if (w == -1) return failed_write();
    bytes += w;
    n -= static_cast<uint32_t>(w);
  }
  return PUMP_DONE;
}

// The n bytes at pump_space + 1, mended unless keep_crlf, go out.
static pump_result put_chunk(int out, line_end_state* state, int keep_crlf, uint32_t n) {
  char* bytes = pump_space + 1;
  if (!keep_crlf) n = line_ends_mend(state, bytes, n, &bytes);
  return write_all(out, bytes, n);
}

// Waits until descriptor 0 can be read or the reader of out is gone, so that an idle input
// never keeps the pump alive after the injector: PUMP_DONE when input is ready.
static pump_result wait_for_input(int out) {
  pollfd watch[2] = {{.fd = 0, .events = POLLIN, .revents = 0},
                     {.fd = out, .events = 0, .revents = 0}};
  for (;;) {
    int r = poll(watch, 2, -1);
    if (r == -1 && errno == EINTR) continue;
    if (r == -1) return PUMP_READ_FAILED;
    if (watch[1].revents & (POLLERR | POLLHUP | POLLNVAL)) return PUMP_READER_GONE;
    if (watch[0].revents) return PUMP_DONE;
  }
}

// The pieces in one writev, so that what fits into an empty pipe goes in without a wait; then
// what is left of a piece written in part. PUMP_DONE, PUMP_READER_GONE or PUMP_WRITE_FAILED.
static pump_result write_pieces(int out, const iovec* pieces, int count) {
  long w;
  do {
    w = sys_writev(out, pieces, count);
  } while (w == -1 && errno == EINTR);
  if (w == -1) return failed_write();
  auto done = static_cast<uint64_t>(w);
  for (int i = 0; i < count; ++i) {
    uint64_t n = pieces[i].iov_len;
    if (done >= n) {
      done -= n;
      continue;
    }
    auto* bytes = static_cast<const char*>(pieces[i].iov_base);
    pump_result r = write_all(out, bytes + done, static_cast<uint32_t>(n - done));
    if (r != PUMP_DONE) return r;
    done = 0;
  }
  return PUMP_DONE;
}

pump_result pump_copy(int out, int keep_crlf) {
  const header_capture_record* capture = &header_capture_result;
  line_end_state state = capture->ends;
  // The captured text has been mended line by line already. What the input buffer holds past it
  // is mended where it lies; a held CR goes in front of it, where that CR itself was read: a CR
  // held by the capture came from the buffer's last load whenever anything of that load is left.
  // What was read before the choice follows, mended where it lies.
  in_buffer* b = &standard_input_buffer;
  char* buffered = b->buffer + b->position;
  uint32_t n = b->available;
  if (!keep_crlf && n) n = line_ends_mend(&state, buffered, n, &buffered);
  b->position += b->available;
  b->available = 0;
  char* read_before = read_ahead + 1;
  uint32_t m = preread;
  if (!keep_crlf && m) m = line_ends_mend(&state, read_before, m, &read_before);
  preread = 0;
  iovec pieces[3] = {{.iov_base = header_index.text.data, .iov_len = header_index.text.len},
                     {.iov_base = buffered, .iov_len = n},
                     {.iov_base = read_before, .iov_len = m}};
  pump_result r = write_pieces(out, pieces, 3);
  // After an end of input a terminal would deliver more; the first end is the end.
  while (r == PUMP_DONE && !capture->ended && !preread_ended) {
    r = wait_for_input(out);
    if (r != PUMP_DONE) break;
    long got = sys_read(0, pump_space + 1, PUMP_CHUNK);
    if (got == -1 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got == -1) return PUMP_READ_FAILED;
    if (got == 0) break;
    r = put_chunk(out, &state, keep_crlf, static_cast<uint32_t>(got));
  }
  // A CR still held at the end of input is dropped: the injector ends the last line itself.
  return r;
}

#if defined(POSTLET_PUMP_IN_PROCESS)

// The fuzz build cannot fork: the same copy runs here, into a memory file that then becomes
// descriptor 0, and the injector reads what the pump would have written.
void pump_start(int keep_crlf) {
  preread_ended = header_capture_result.ended;
  int file = memfd_create("message", MFD_CLOEXEC);
  if (file == -1 || pump_copy(file, keep_crlf) != PUMP_DONE || lseek(file, 0, SEEK_SET) == -1 ||
      dup2(file, 0) == -1)
    die(111, errno, "failed to read the message", nullptr, nullptr, nullptr);
  close(file);
}

#else

// The child: it copies, and ends without returning.
//
// Its first system calls, and the parent's getpid, go through syscall(2), which the process has
// bound already (the log line's getcwd at start-up): each C library function called for the
// first time costs the loader a symbol look-up of some 650 instructions, more than the call.
[[noreturn]] static void pump_run(int read_end, int write_end, pid_t injector, int keep_crlf) {
  // A reader gone must come back as EPIPE, not kill the pump; the injector keeps the caller's
  // disposition, which is why this is set here and not before the fork. A clean-up by name
  // (pkill sendmail) must not cut the message either: the pump ends with the injector in any
  // case, so it ignores the usual signals to end and takes a name of its own, and only a SIGKILL
  // sent to its own pid can stop it.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  static constexpr int IGNORED[] = {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT};
  for (int number : IGNORED)
    (void)sigaction(number, &ignore, nullptr);
  (void)syscall(SYS_prctl, PR_SET_NAME, "message-pump");
  // The pump must never outlive the injector, even blocked on an idle input; the parent may have
  // gone before the request was made.
  (void)syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL);
  if (syscall(SYS_getppid) != injector) _exit(0);
  (void)sys_close(read_end);
  (void)sys_close(1);
  pump_result r = pump_copy(write_end, keep_crlf);
  if (r == PUMP_DONE || r == PUMP_READER_GONE) _exit(0);
  int error = errno;
  fatal_flag = 1;
  warn_message(
      error, r == PUMP_READ_FAILED ? "failed to read the message" : "failed to pass on the message",
      nullptr, nullptr, nullptr);
  // Killed while the write end is still open, the injector never sees an end of input and
  // queues nothing; the check keeps a pid the injector no longer has from being hit.
  if (getppid() == injector) (void)kill(injector, SIGKILL);
  _exit(111);
}

// Whether the input ends within what the pipe holds, after the header text and the input buffer:
// the rest is read ahead until its end, or until one byte more than the pipe holds shows it does
// not. A message longer than a pipe holds at first gets a pipe as large as the read-ahead space,
// where the system allows one. A read that fails ends the process before anything is started.
static int fits_in_pipe(int write_end) {
  preread_ended = header_capture_result.ended;
  uint64_t have = uint64_t{header_index.text.len} + standard_input_buffer.available;
  int capacity = sys_fcntl(write_end, F_GETPIPE_SZ, 0);
  uint32_t got = 0;
  while (capacity > 0) {
    if (have + got > static_cast<uint64_t>(capacity)) {
      if (static_cast<uint32_t>(capacity) >= READ_AHEAD_BYTES) break;
      capacity = sys_fcntl(write_end, F_SETPIPE_SZ, static_cast<int>(READ_AHEAD_BYTES));
      continue;
    }
    if (preread_ended) break;
    uint64_t room = static_cast<uint64_t>(capacity) - have - got + 1;
    uint32_t want = READ_AHEAD_BYTES - got;
    if (want > room) want = static_cast<uint32_t>(room);
    if (want == 0) break;
    long r = standard_input_read(0, read_ahead + 1 + got, want);
    if (r == -1 && errno == EINTR) continue;
    if (r == -1) die(111, errno, "failed to read the message", nullptr, nullptr, nullptr);
    if (r == 0) preread_ended = 1;
    got += static_cast<uint32_t>(r);
  }
  preread = got;
  return preread_ended && capacity > 0 && have + got <= static_cast<uint64_t>(capacity);
}

void pump_start(int keep_crlf) {
  int ends[2];
  if (sys_pipe2(ends, O_CLOEXEC) == -1)
    die(111, errno, "failed to make a pipe for the message", nullptr, nullptr, nullptr);
  // A standard descriptor the caller left closed stays closed for the injector, and the pump's
  // diagnostic never lands in the message: both ends go above 2.
  for (int& end : ends) {
    if (end > 2) continue;
    int moved = sys_fcntl(end, F_DUPFD_CLOEXEC, 3);
    if (moved == -1)
      die(111, errno, "failed to make a pipe for the message", nullptr, nullptr, nullptr);
    sys_close(end);
    end = moved;
  }
  if (fits_in_pipe(ends[1])) {
    // All of it goes into the empty pipe at once, without a wait: the injector reads it after
    // the exec, and the closed write end is its end of input.
    if (pump_copy(ends[1], keep_crlf) != PUMP_DONE)
      die(111, errno, "failed to pass on the message", nullptr, nullptr, nullptr);
    sys_close(ends[1]);
    if (sys_dup2(ends[0], 0) == -1)
      die(111, errno, "failed to make a pipe for the message", nullptr, nullptr, nullptr);
    return;
  }
  auto injector = static_cast<pid_t>(syscall(SYS_getpid));
  pid_t pid = fork();
  if (pid == -1) die(111, errno, "failed to start the message pump", nullptr, nullptr, nullptr);
  if (pid == 0) pump_run(ends[0], ends[1], injector, keep_crlf);
  // Descriptor 0 stays open across the exec; both pipe ends, close-on-exec, go with it.
  if (sys_dup2(ends[0], 0) == -1)
    die(111, errno, "failed to make a pipe for the message", nullptr, nullptr, nullptr);
}

#endif

}  // namespace postlet
