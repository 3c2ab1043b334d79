// password_entry.cc: the login look-up, chosen when the binary is built.
#include "front/password_entry.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace postlet {

// Through syscall(2), which the process has bound already: getuid would cost the loader a symbol
// look-up of some 700 instructions.
uid_t real_user_id() {
  return static_cast<uid_t>(syscall(SYS_getuid));
}

const passwd* password_entry(uid_t uid) {
#if defined(POSTLET_STATIC)
  return password_file_entry("/etc/passwd", uid, nullptr);
#else
  // Where the switch asks the file first, the file's line is getpwuid's answer; getpwuid itself
  // would parse the switch and load its modules to find it.
  int error = errno;
  if (password_files_first("/etc/nsswitch.conf")) {
    int unsure = 0;
    const passwd* entry = password_file_entry("/etc/passwd", uid, &unsure);
    if (entry) return entry;
  }
  // A file that could not be read is getpwuid's to judge.
  errno = error;
  return getpwuid(uid);
#endif
}

}  // namespace postlet
