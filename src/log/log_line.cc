// log_line.cc: composing the log line of a submission or a session and sending it to the local
// log socket.
//
// The datagram is written here rather than through syslog(3): that formats the time in this
// process (reading the time zone files), may block on a full or stream socket, and allocates.
// "<22>TAG[PID]: text" (facility mail, severity info) is what the log daemons read from the
// socket, and they put the time on it themselves.
//
// Every call into the kernel goes through syscall(2): each further function taken from the C
// library costs the loader a symbol look-up of some 650 instructions, together more than
// composing the line. Counts go to it as size_t: it takes every argument at a register's width.
#include "log/log_line.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>

#include "lib/system.h"
#include "lib/text.h"

namespace postlet {

static constexpr uint32_t NUMBER_MAX = 10;  // digits of a 32-bit number
static constexpr uint32_t USER_MAX = 64;
static constexpr uint32_t PARENT_MAX = 64;  // a command name is 15 bytes, 60 escaped
static constexpr uint32_t SENDER_MAX = 256;
static constexpr uint32_t MSGID_MAX = 192;

static constexpr uint32_t length_of(const char* text) {
  uint32_t n = 0;
  while (text[n])
    ++n;
  return n;
}

// The most the line can hold before the cwd's value, and after it; the cwd gets what is left,
// so that the fields after it are never crowded out.
static constexpr uint32_t BEFORE_CWD =
    length_of("<22>") + LOG_TAG_MAX + length_of("[") + NUMBER_MAX +
    length_of("]: mode=inject uid=") + NUMBER_MAX + length_of(" user=") + USER_MAX +
    length_of(" ppid=") + NUMBER_MAX + length_of(" parent=") + PARENT_MAX + length_of(" cwd=");
static constexpr uint32_t AFTER_CWD = length_of(" sender=") + SENDER_MAX + length_of(" rcpts=") +
                                      NUMBER_MAX + length_of(" header=yes") + length_of(" msgid=") +
                                      MSGID_MAX + length_of(" pid=") + NUMBER_MAX;
static_assert(BEFORE_CWD + 256 + AFTER_CWD <= LOG_LINE_MAX, "room for a working directory");

struct line_state {
  char* bytes;
  uint32_t len;
};

static void put_text(line_state* line, const char* text) {
  for (; *text; ++text)
    line->bytes[line->len++] = *text;
}

static void put_number(line_state* line, uint32_t value) {
  char digits[NUMBER_MAX];
  uint32_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  while (n)
    line->bytes[line->len++] = digits[--n];
}

// Every byte below 33 or above 126 and the backslash, so that no value holds a blank or starts
// a line; in the tag ':', '[' and ']' too, so that a label cannot pose as the pid.
static constexpr escape_set escaped_bytes(int tag) {
  escape_set set = {};
  for (uint32_t c = 0; c < 256; ++c) {
    if (c < 33 || c > 126 || c == '\\' || (tag && (c == ':' || c == '[' || c == ']')))
      set.bits[c >> 3] = static_cast<uint8_t>(set.bits[c >> 3] | 1u << (c & 7));
  }
  return set;
}
static constexpr escape_set VALUE_BYTES = escaped_bytes(0);
static constexpr escape_set TAG_BYTES = escaped_bytes(1);

// n bytes of text, escaped, up to the position limit; an escape that would cross it is left out
// whole.
static void put_escaped(line_state* line, const char* text, uint32_t n, uint32_t limit,
                        const escape_set* set) {
  uint32_t taken;
  line->len += bytes_escape(line->bytes + line->len, limit - line->len, text, n, set, &taken);
}

// A text value; none or empty is "-".
static void put_value(line_state* line, const char* name, const char* text, uint32_t max) {
  put_text(line, name);
  if (!text || !*text) {
    put_text(line, "-");
    return;
  }
  put_escaped(line, text, text_length(text), line->len + max, &VALUE_BYTES);
}

static int is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The fields of the message handed over: sender, recipients, -t and the Message-ID.
static void put_message(line_state* line, const log_fields* fields) {
  if (fields->sender && !*fields->sender) {
    put_text(line, " sender=<>");
  } else {
    put_value(line, " sender=", fields->sender, SENDER_MAX);
  }
  put_text(line, " rcpts=");
  put_number(line, fields->recipients);
  put_text(line, fields->header ? " header=yes msgid=" : " header=no msgid=");
  // The value as the header holds it, without the white space around it.
  const char* msgid = fields->msgid;
  uint32_t n = msgid ? fields->msgid_length : 0;
  while (n && is_space(*msgid)) {
    ++msgid;
    --n;
  }
  while (n && is_space(msgid[n - 1]))
    --n;
  if (n) {
    put_escaped(line, msgid, n, line->len + MSGID_MAX, &VALUE_BYTES);
  } else {
    put_text(line, "-");
  }
}

uint32_t log_compose(char* line, const log_fields* fields) {
  line_state out = {.bytes = line, .len = 0};
  put_text(&out, "<22>");
  const char* tag = fields->tag && *fields->tag ? fields->tag : "postlet";
  put_escaped(&out, tag, text_length(tag), out.len + LOG_TAG_MAX, &TAG_BYTES);
  put_text(&out, "[");
  put_number(&out, fields->pid);
  int smtp = fields->mode == LOG_SMTP;
  put_text(&out, smtp ? "]: mode=smtp uid=" : "]: mode=inject uid=");
  put_number(&out, fields->uid);
  put_value(&out, " user=", fields->user, USER_MAX);
  put_text(&out, " ppid=");
  put_number(&out, fields->ppid);
  put_value(&out, " parent=", fields->parent, PARENT_MAX);
  put_text(&out, " cwd=");
  if (fields->cwd && *fields->cwd) {
    put_escaped(&out, fields->cwd, text_length(fields->cwd), LOG_LINE_MAX - AFTER_CWD,
                &VALUE_BYTES);
  } else {
    put_text(&out, "-");
  }
  if (!smtp) put_message(&out, fields);
  put_text(&out, " pid=");
  put_number(&out, fields->pid);
  return out.len;
}

static char cwd_text[4096];

void log_note_cwd() {
  // The kernel's answer alone: the C library's getcwd, when the kernel cannot give an absolute
  // path, walks the directories up to the root, allocating as it goes.
  if (syscall(SYS_getcwd, cwd_text, sizeof cwd_text) <= 0) cwd_text[0] = '\0';
}

// Up to n bytes from the start of the file at path: the count, or -1. The descriptor is left to
// the exec that follows; a FIFO in place of the file does not hold up the run.
static long read_file(const char* path, char* bytes, uint32_t n) {
  int descriptor = sys_open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return -1;
  return sys_read(descriptor, bytes, size_t{n});
}

// The administrator's switch: a first line of "off", blanks after it allowed. A file that
// cannot be read leaves the line on.
static int turned_off() {
  char first[16];
  long got = read_file(LOG_CONTROL_FILE, first, sizeof first);
  if (got <= 0) return 0;
  uint32_t n = static_cast<uint32_t>(got);
  uint32_t end = bytes_find(first, n, '\n');
  if (end == sizeof first) return 0;
  while (end && (first[end - 1] == ' ' || first[end - 1] == '\t' || first[end - 1] == '\r'))
    --end;
  return end == 3 && bytes_compare(first, 3, "off") == 0;
}

// The parent's command name from /proc, or null where it cannot be read.
static const char* command_name(uint32_t ppid) {
  static char path[32] = "/proc/";
  static char name[64];
  if (ppid == 0) return nullptr;
  line_state p = {.bytes = path, .len = 6};
  put_number(&p, ppid);
  put_text(&p, "/comm");
  path[p.len] = '\0';
  long got = read_file(path, name, sizeof name - 1);
  if (got <= 0) return nullptr;
  uint32_t n = static_cast<uint32_t>(got);
  if (name[n - 1] == '\n') --n;
  name[n] = '\0';
  return name;
}

static void send_datagram(const char* socket_path, const char* line, uint32_t n) {
  sockaddr_un address;
  uint32_t length = text_length(socket_path);
  if (length >= sizeof address.sun_path) return;
  address.sun_family = AF_UNIX;
  bytes_copy(address.sun_path, length + 1, socket_path);
  long descriptor = syscall(SYS_socket, AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return;
  // A full receive queue or a socket nobody reads costs the line, never a wait.
  auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + 1);
  (void)syscall(SYS_sendto, descriptor, line, size_t{n}, MSG_DONTWAIT | MSG_NOSIGNAL, &address,
                size);
}

void log_submission(log_fields* fields, const char* socket_path) {
  // The descriptors opened here are close-on-exec and left open: the exec that follows closes
  // them, and closing them here would cost up to three system calls more.
  if (!turned_off()) {
    fields->uid = static_cast<uint32_t>(sys_getuid());
    auto parent = static_cast<uint32_t>(syscall(SYS_getppid));
    fields->ppid = parent;
    fields->parent = command_name(parent);
    fields->cwd = cwd_text;
    fields->pid = static_cast<uint32_t>(syscall(SYS_getpid));
    static char line[LOG_LINE_MAX];
    send_datagram(socket_path, line, log_compose(line, fields));
  }
}

}  // namespace postlet
