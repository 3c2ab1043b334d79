// password_entry.cc: the login look-up, chosen when the binary is built.
#include "front/password_entry.h"

#include <cerrno>

#include "lib/system.h"

namespace postlet {

uid_t real_user_id() {
  return sys_getuid();
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
