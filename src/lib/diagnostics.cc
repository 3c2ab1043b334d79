// diagnostics.cc: die, warn_message and the system error texts.
#include "lib/diagnostics.h"

#include <unistd.h>

#include <cerrno>

#include "lib/out_buffer.h"
#include "lib/text.h"

namespace postlet {

int32_t fatal_threshold = 256;
uint8_t fatal_flag = 0;
const char fatal_prefix[] = "fatal: ";
const char* program_name = nullptr;

// A piece goes out with its control bytes written \ooo: the pieces repeat the caller's words (a
// mode, the name invoked), which must not move the cursor or colour a terminal.
static void put_piece(out_buffer* e, const char* piece) {
  text_escape_pieces(piece, &CONTROL_BYTES,
                     [e](const char* escaped, uint32_t n) { (void)out_put(e, escaped, n); });
}

void warn_message(int error, const char* a, const char* b, const char* c, const char* d) {
  out_buffer* e = &standard_error_buffer;
  // Write failures are ignored: a diagnostic that cannot be written is lost.
  if (program_name) {
    put_piece(e, program_name);
    (void)out_put_text(e, ": ");
  }
  if (fatal_flag) (void)out_put_text(e, fatal_prefix);
  const char* pieces[] = {a, b, c, d};
  for (const char* piece : pieces) {
    if (piece) put_piece(e, piece);
  }
  if (error) {
    (void)out_put_text(e, ": ");
    (void)out_put_text(e, error_text(error));
  }
  (void)out_put_text(e, "\n");
  (void)out_flush(e);
}

void die(int status, int error, const char* a, const char* b, const char* c, const char* d) {
  if (status >= fatal_threshold) fatal_flag = 1;
  warn_message(error, a, b, c, d);
  _exit(status);
}

void die_nomem() {
  die(111, 0, "out of memory", nullptr, nullptr, nullptr);
}

// The text sits in the row itself, so the table holds no pointer for the loader to relocate.
struct error_row {
  int number;
  char text[34];
};

// Keyed by the platform's constants; rows whose constant the platform lacks are left out.
static constexpr error_row ERROR_ROWS[] = {
    {EPERM, "permission denied"},
    {ENOENT, "file does not exist"},
    {ESRCH, "no such process"},
    {EINTR, "interrupted system call"},
    {EIO, "input/output error"},
    {ENXIO, "device not configured"},
    {E2BIG, "argument list too long"},
    {ENOEXEC, "exec format error"},
    {EBADF, "file descriptor not open"},
    {ECHILD, "no child processes"},
    {EDEADLK, "operation would cause deadlock"},
    {ENOMEM, "out of memory"},
    {EACCES, "access denied"},
    {EFAULT, "bad address"},
    {ENOTBLK, "not a block device"},
    {EBUSY, "device busy"},
    {EEXIST, "file already exists"},
    {EXDEV, "cross-device link"},
    {ENODEV, "device does not support operation"},
    {ENOTDIR, "not a directory"},
    {EISDIR, "is a directory"},
    {EINVAL, "invalid argument"},
    {ENFILE, "system cannot open more files"},
    {EMFILE, "process cannot open more files"},
    {ENOTTY, "not a tty"},
    {ETXTBSY, "text busy"},
    {EFBIG, "file too big"},
    {ENOSPC, "out of disk space"},
    {ESPIPE, "unseekable descriptor"},
    {EROFS, "read-only file system"},
    {EMLINK, "too many links"},
    {EPIPE, "broken pipe"},
    {EDOM, "input out of range"},
    {ERANGE, "output out of range"},
    {EAGAIN, "temporary failure"},
    {EINPROGRESS, "operation in progress"},
    {EALREADY, "operation already in progress"},
    {ENOTSOCK, "not a socket"},
    {EDESTADDRREQ, "destination address required"},
    {EMSGSIZE, "message too long"},
    {EPROTOTYPE, "incorrect protocol type"},
    {ENOPROTOOPT, "protocol not available"},
    {EPROTONOSUPPORT, "protocol not supported"},
    {ESOCKTNOSUPPORT, "socket type not supported"},
    {EOPNOTSUPP, "operation not supported"},
    {EPFNOSUPPORT, "protocol family not supported"},
    {EAFNOSUPPORT, "address family not supported"},
    {EADDRINUSE, "address already used"},
    {EADDRNOTAVAIL, "address not available"},
    {ENETDOWN, "network down"},
    {ENETUNREACH, "network unreachable"},
    {ENETRESET, "network reset"},
    {ECONNABORTED, "connection aborted"},
    {ECONNRESET, "connection reset"},
    {ENOBUFS, "out of buffer space"},
    {EISCONN, "already connected"},
    {ENOTCONN, "not connected"},
    {ESHUTDOWN, "socket shut down"},
    {ETOOMANYREFS, "too many references"},
    {ETIMEDOUT, "timed out"},
    {ECONNREFUSED, "connection refused"},
    {ELOOP, "symbolic link loop"},
    {ENAMETOOLONG, "file name too long"},
    {EHOSTDOWN, "host down"},
    {EHOSTUNREACH, "host unreachable"},
    {ENOTEMPTY, "directory not empty"},
#if defined(EPROCLIM)
    {EPROCLIM, "too many processes"},
#endif
    {EUSERS, "too many users"},
    {EDQUOT, "disk quota exceeded"},
    {ESTALE, "stale NFS file handle"},
    {EREMOTE, "too many levels of remote in path"},
#if defined(EBADRPC)
    {EBADRPC, "RPC structure is bad"},
    {ERPCMISMATCH, "RPC version mismatch"},
    {EPROGUNAVAIL, "RPC program unavailable"},
    {EPROGMISMATCH, "program version mismatch"},
    {EPROCUNAVAIL, "bad procedure for program"},
#endif
    {ENOLCK, "no locks available"},
    {ENOSYS, "system call not available"},
#if defined(EFTYPE)
    {EFTYPE, "bad file type"},
#endif
#if defined(EAUTH)
    {EAUTH, "authentication error"},
    {ENEEDAUTH, "not authenticated"},
#endif
    {EIDRM, "identifier removed"},
    {ENOMSG, "no message of desired type"},
    {EBADMSG, "bad message type"},
    {EMULTIHOP, "multihop attempted"},
    {ENOLINK, "link severed"},
    {EPROTO, "protocol error"},
};

const char* error_text(int error) {
  for (const error_row& row : ERROR_ROWS) {
    if (row.number == error) return row.text;
  }
  return "unknown error";
}

}  // namespace postlet
