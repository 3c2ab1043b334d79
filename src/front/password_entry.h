// password_entry.h: the password entry of a user id, as getpwuid gives it.
#pragma once

#include <pwd.h>
#include <sys/types.h>

namespace postlet {

// The real user id, as getuid gives it.
uid_t real_user_id();

// getpwuid's answer. A dynamic build reads /etc/passwd itself where /etc/nsswitch.conf asks the
// file first and the file settles it, else calls getpwuid. A static build cannot load the C
// library's name-service modules, so it reads /etc/passwd alone: users that only another name
// service knows have no entry there. Null when there is none, with errno set when the look-up
// itself failed.
const passwd* password_entry(uid_t uid);

// The first line of the password file at path whose uid field is uid, with pw_name, pw_uid and
// pw_gid filled and every other text empty, in static storage that the next call of this or
// password_files_first reuses. Null when no line matches (errno untouched) or when the file
// cannot be read (errno set). A line the C library's modules may read otherwise (a compat line
// beginning with + or -, one beginning with white space, an id with a sign or wider than 32
// bits) is passed over when unsure is null; otherwise reading stops there, null with *unsure 1.
const passwd* password_file_entry(const char* path, uid_t uid, int* unsure);

// 1 when the name-service switch file at path has a passwd line and every such line names files
// or compat as its first source, with no action after it; else 0, also when it cannot be read.
int password_files_first(const char* path);

}  // namespace postlet
