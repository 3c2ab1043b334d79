// password_entry.cc: the login look-up, chosen when the binary is built.
#include "front/password_entry.h"

namespace postlet {

const passwd* password_entry(uid_t uid) {
#if defined(POSTLET_STATIC)
  return password_file_entry("/etc/passwd", uid);
#else
  return getpwuid(uid);
#endif
}

}  // namespace postlet
