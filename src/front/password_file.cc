// password_file.cc: a user id's line of a password file, read without the name-service modules.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "cmdscan/cmdscan.h"
#include "front/password_entry.h"
#include "lib/byte_string.h"
#include "lib/in_buffer.h"

namespace postlet {

static long read_descriptor(int descriptor, char* bytes, uint32_t n) {
  return read(descriptor, bytes, n);
}

// The decimal digits at text as an id: their count, or 0 when there are none or the value does
// not fit, *id then untouched. The line's guard byte ends a scan that reaches the line's end.
static uint32_t scan_id(const char* text, uid_t* id) {
  uint64_t value = 0;
  uint32_t digits = scan_ulong(text, &value);
  // Up to 19 digits cannot wrap the scan's 64 bits.
  if (digits == 0 || digits > 19 || value != static_cast<uid_t>(value)) return 0;
  *id = static_cast<uid_t>(value);
  return digits;
}

// The line's fields are name:password:uid:gid:...; the name is cut at its ':' in place. A line
// that begins with '#' is a comment.
static bool entry_of_line(byte_string* line, uid_t uid, passwd* entry) {
  if (line->data[0] == '#') return false;
  uint32_t field_start[4] = {};
  uint32_t fields = 1;
  for (uint32_t i = 0; i < line->len && fields < 4; ++i) {
    if (line->data[i] == ':') field_start[fields++] = i + 1;
  }
  if (fields < 4) return false;
  uid_t found = 0;
  uint32_t digits = scan_id(line->data + field_start[2], &found);
  if (digits == 0 || digits != field_start[3] - 1 - field_start[2] || found != uid) return false;
  uid_t gid = 0;
  (void)scan_id(line->data + field_start[3], &gid);
  line->data[field_start[1] - 1] = 0;
  static char empty[] = "";
  entry->pw_name = line->data;
  entry->pw_passwd = empty;
  entry->pw_uid = uid;
  entry->pw_gid = static_cast<gid_t>(gid);
  entry->pw_gecos = empty;
  entry->pw_dir = empty;
  entry->pw_shell = empty;
  return true;
}

const passwd* password_file_entry(const char* path, uid_t uid) {
  static passwd entry;
  static char space[1024];
  int descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (descriptor == -1) return nullptr;
  in_buffer input = {.buffer = space,
                     .available = 0,
                     .position = sizeof space,
                     .descriptor = descriptor,
                     .op = read_descriptor};
  // Reading stops at the matching line, so its storage stays as the entry's name.
  byte_string line = {};
  const passwd* result = nullptr;
  for (;;) {
    int complete = 0;
    if (get_line(&input, &line, &complete, '\n') == -1) break;
    if (line.len == 0) break;
    if (entry_of_line(&line, uid, &entry)) {
      result = &entry;
      break;
    }
  }
  int saved = errno;
  close(descriptor);
  errno = saved;
  return result;
}

}  // namespace postlet
