/* nss_module.c: a name service for black-box tests, which the C library loads as
   libnss_postlettest.so.2 when nsswitch.conf names "postlettest" and the library's directory is
   on LD_LIBRARY_PATH. Every user id is the user "nssuser", so a name tells which source answered. */
#include <errno.h>
#include <nss.h>
#include <pwd.h>
#include <string.h>

enum nss_status _nss_postlettest_getpwuid_r(uid_t uid, struct passwd* result, char* buffer,
                                            size_t size, int* error);

enum nss_status _nss_postlettest_getpwuid_r(uid_t uid, struct passwd* result, char* buffer,
                                            size_t size, int* error) {
  static const char name[] = "nssuser";
  if (size < sizeof name) {
    *error = ERANGE;
    return NSS_STATUS_TRYAGAIN;
  }
  memcpy(buffer, name, sizeof name);
  result->pw_name = buffer;
  result->pw_passwd = result->pw_gecos = result->pw_dir = result->pw_shell = buffer + sizeof name - 1;
  result->pw_uid = uid;
  result->pw_gid = 0;
  return NSS_STATUS_SUCCESS;
}
