/* failing_getpwuid.c: preloaded into postlet in black-box tests, a getpwuid that finds nothing
   and leaves the error number given in POSTLET_TEST_GETPWUID_ERRNO (EIO without it), as a
   password database that cannot be read does. */
#include <errno.h>
#include <pwd.h>
#include <stdlib.h>

struct passwd* getpwuid(uid_t uid) {
  const char* number = getenv("POSTLET_TEST_GETPWUID_ERRNO");
  (void)uid;
  errno = number ? atoi(number) : EIO;
  return NULL;
}
