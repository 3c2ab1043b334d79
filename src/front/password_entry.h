// password_entry.h: the password entry of a user id, as getpwuid gives it.
#pragma once

#include <pwd.h>
#include <sys/types.h>

namespace postlet {

// getpwuid's answer in a dynamic build. A static build cannot load the C library's name-service
// modules, so it reads /etc/passwd itself: users that only another name service knows have no
// entry there. Null when there is none, with errno set when the look-up itself failed.
const passwd* password_entry(uid_t uid);

// The first line of the password file at path whose third field is uid, with pw_name, pw_uid
// and pw_gid filled and every other text empty; null when no line matches (errno untouched)
// or when the file cannot be read or memory runs out (errno set).
const passwd* password_file_entry(const char* path, uid_t uid);

}  // namespace postlet
