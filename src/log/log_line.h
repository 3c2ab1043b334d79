// log_line.h: the one line a submission or an SMTP session leaves in the system log.
#pragma once

#include <cstdint>

namespace postlet {

// The whole datagram, priority and tag included, never exceeds this many bytes.
inline constexpr uint32_t LOG_LINE_MAX = 1024;
// The escaped tag is cut to this many bytes.
inline constexpr uint32_t LOG_TAG_MAX = 32;
// The system's log socket.
inline constexpr char LOG_SOCKET[] = "/dev/log";
// Relative to the qmail home: a first line "off" turns the line off.
inline constexpr char LOG_CONTROL_FILE[] = "control/postletlog";

// What the line is about: a message handed to qmail-inject, or qmail-smtpd started for -bs.
enum log_mode : int32_t { LOG_INJECT = 0, LOG_SMTP = 1 };

// What the line says. A null or empty text is written "-", except the sender, whose empty text
// is the null sender "<>". The texts are the caller's and are only read. The line of a session
// has no message fields (sender to msgid): they are not known before the session.
struct log_fields {
  const char* tag;  // the label, "postlet" when null or empty
  log_mode mode;
  uint32_t uid;
  const char* user;  // the login name the run used
  uint32_t ppid;
  const char* parent;  // the parent's command name
  const char* cwd;     // the caller's working directory
  const char* sender;  // the envelope sender handed over; null when none was given
  uint32_t recipients;
  int32_t header;     // 1 when the header names recipients (-t)
  const char* msgid;  // the Message-ID value, msgid_length bytes, not NUL-terminated
  uint32_t msgid_length;
  uint32_t pid;
};

// Writes the datagram "<22>TAG[PID]: mode=... uid=... pid=..." into line (LOG_LINE_MAX bytes)
// and returns its length. Every byte below 33 or above 126 and the backslash is written as \ooo;
// long values are cut, never inside an escape, so that every field is present.
uint32_t log_compose(char* line, const log_fields* fields);

// Keeps the process's working directory for the line; called before it changes.
void log_note_cwd();

// Unless the control file turns it off, completes fields with the process's own (uid, ppid,
// parent, cwd, pid) and sends the line to the datagram socket at socket_path. Never blocks,
// prints, allocates or ends the process; a line that cannot be sent is dropped. The descriptors
// it opens are close-on-exec and left to the exec that follows.
void log_submission(log_fields* fields, const char* socket_path);

}  // namespace postlet
