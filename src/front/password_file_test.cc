// password_file_test.cc: the login look-up of the static build, from a password file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "front/password_entry.h"

using namespace postlet;

namespace {

TEST(PasswordFile, LineOfTheUid) {
  char path[] = "/tmp/plpw-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_NE(-1, fd);
  close(fd);
  std::ofstream(path) << "nouid:x::0::/:/bin/sh\n"
                         "root:x:0:0:root:/root:/bin/bash\n"
                         "# comment:x:7:7\n"
                         "short:x\n"
                         "odd:x:12a:0::/:/bin/sh\n"
                         "wide:x:4294967296:0::/:/bin/sh\n"
                         "joe:x:1000:100:Joe:/home/joe:/bin/sh\n"
                         "big:x:1234567890:1::/:/bin/sh\n"
                         "again:x:1000:100::/:/bin/sh\n"
                         "::2000:0::/:/bin/sh\n"
                         "last:x:0042:7";  // no newline at the end
  struct row {
    uid_t uid;
    const char* name;  // null: no entry
  } rows[] = {
      {0, "root"},  {1000, "joe"},  // the first of two lines with the uid
      {42, "last"}, {2000, ""},    {1234567890, "big"},
      {7, nullptr}, {12, nullptr}, {0xffffffffu, nullptr},
      {1, nullptr},
  };
  // The lowest free descriptor comes back after the look-ups only if each closed its file.
  int lowest = open("/dev/null", O_RDONLY);
  close(lowest);
  for (const row& r : rows) {
    errno = 0;
    const passwd* entry = password_file_entry(path, r.uid);
    if (!r.name) {
      EXPECT_EQ(nullptr, entry) << "uid " << r.uid;
      EXPECT_EQ(0, errno) << "uid " << r.uid;
      continue;
    }
    ASSERT_NE(nullptr, entry) << "uid " << r.uid;
    EXPECT_STREQ(r.name, entry->pw_name) << "uid " << r.uid;
    EXPECT_EQ(r.uid, entry->pw_uid);
  }
  int after = open("/dev/null", O_RDONLY);
  EXPECT_EQ(lowest, after);
  close(after);
  unlink(path);
  errno = 0;
  EXPECT_EQ(nullptr, password_file_entry(path, 0));
  EXPECT_EQ(ENOENT, errno);
}

}  // namespace
