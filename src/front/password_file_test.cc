// password_file_test.cc: the login look-up from a password file, and the switch that allows it.
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

std::string temporary_file(const std::string& text) {
  char path[] = "/tmp/plpw-XXXXXX";
  int fd = mkstemp(path);
  EXPECT_NE(-1, fd);
  EXPECT_EQ(static_cast<ssize_t>(text.size()), write(fd, text.data(), text.size()));
  close(fd);
  return path;
}

const std::string LONG(5000, 'x');  // longer than the reader's buffer
const char* const UNSURE = "(unsure)";

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
    const passwd* entry = password_file_entry(path, r.uid, nullptr);
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
  EXPECT_EQ(nullptr, password_file_entry(path, 0, nullptr));
  EXPECT_EQ(ENOENT, errno);
}

// The dynamic build trusts the file only where the C library's modules read it alike; the static
// build has the file alone and passes over what it cannot read as they do.
TEST(PasswordFile, LinesTheLibraryMayReadOtherwise) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    const char* in_static;   // the name for uid 1000; null: no entry
    const char* in_dynamic;  // the same, or UNSURE: getpwuid is asked
  } rows[] = {
      {"root:x:0:0::/:/bin/sh\njoe:x:1000:100:Joe:/home/joe:/bin/sh\n", "joe", "joe"},
      {"", nullptr, nullptr},
      {"\n\n# joe:x:1000:100\n", nullptr, nullptr},
      {"joe:x:01000:100", "joe", "joe"},
      {"joe:x:1000:100\n+\n", "joe", "joe"},  // compat lines after the answer change nothing
      {"+\njoe:x:1000:100\n", "joe", UNSURE},
      {"-bob\njoe:x:1000:100\n", "joe", UNSURE},
      {"+joe:x:1000:100\n", nullptr, UNSURE},
      {" joe:x:1000:100\n", nullptr, UNSURE},
      {"joe:x: 1000:100\n", nullptr, UNSURE},
      {"joe:x:+1000:100\n", nullptr, UNSURE},
      {"joe:x:-1:100\njim:x:1000:1\n", "jim", UNSURE},
      {"wide:x:4294968296:0\njoe:x:1000:100\n", "joe", UNSURE},  // 2^32 + 1000
      {"joe:x:1000: 100\n", nullptr, UNSURE},
      {"bob:x:5: 7\njoe:x:1000:100\n", "joe", "joe"},  // not 1000 whatever its gid
      {"bob:x: 5:7\njoe:x:1000:100\n", "joe", UNSURE},
      {"joe:x:1000a:100\njim:x:1000:1\n", "jim", "jim"},
      {"joe:x:1000:\njoe:x:1000\njoe:x:1000:10a:\njoe:x:1000:100\r\njim:x:1000:1", "jim", "jim"},
      {"nu\0l:x:1000:100\njoe:x:1000:100\n"s, "joe", "joe"},  // read up to the NUL
      {"nul:x:1000:100\0:x\n"s, "nul", "nul"},
      {"nul:x:1000:1\0x\n"s, "nul", "nul"},
      {"nul:x:10\0" "00:1\njoe:x:1000:100\n"s, "joe", "joe"},
      {"long:x:5:5:" + LONG + "\njoe:x:1000:100\n", "joe", "joe"},
      {"joe:x:1000:100:" + LONG + "\n", "joe", "joe"},
      {LONG + ":x:1000:100\njoe:x:1000:100\n", "joe", UNSURE},
      {std::string(4086, 'n') + ":x:1000:100\njoe:x:1000:100\n", "joe", UNSURE},  // cut in the gid
      {"a:x:1:1:" + LONG.substr(0, 4080) + "\njoe:x:1000:100\n", "joe", "joe"},  // across reads
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text.substr(0, 40));
    std::string path = temporary_file(r.text);
    for (bool dynamic : {false, true}) {
      const char* expected = dynamic ? r.in_dynamic : r.in_static;
      int unsure = 0;
      errno = 0;
      const passwd* entry = password_file_entry(path.c_str(), 1000, dynamic ? &unsure : nullptr);
      EXPECT_EQ(0, errno);
      EXPECT_EQ(expected == UNSURE, unsure == 1);
      if (!expected || expected == UNSURE) {
        EXPECT_EQ(nullptr, entry);
        continue;
      }
      ASSERT_NE(nullptr, entry);
      EXPECT_STREQ(expected, entry->pw_name);
      EXPECT_EQ(1000u, entry->pw_uid);
    }
    unlink(path.c_str());
  }
}

TEST(PasswordFile, SwitchAsksTheFileFirst) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    int first;
  } rows[] = {
      {"passwd:         files systemd\ngroup:          files systemd\n", 1},
      {"passwd: compat\npasswd_compat: ldap\n", 1},
      {"passwd:files", 1},
      {"  passwd\t:\tfiles # local\n", 1},
      {"# passwd: ldap\nhosts: dns\npasswd: files\n", 1},
      {"# " + LONG + "\npasswd: files\n", 1},
      {"passwd: ldap files\n", 0},
      {"passwd: files [SUCCESS=continue] ldap\n", 0},
      {"passwd: files[NOTFOUND=return]\n", 0},
      {"passwd: [NOTFOUND=return] files\n", 0},
      {"passwd: files\npasswd: ldap\n", 0},  // the later line wins in one library, the first in another
      {"passwd: ldap\npasswd: files\n", 0},
      {"PASSWD: ldap\npasswd: files\n", 0},
      {"passwd files\n", 0},
      {"passwd:\n", 0},
      {"passwd: filesystem\n", 0},
      {"passwd: file\n", 0},
      {"passwd: FILES\n", 0},
      {"passwd: files\0 ldap\n"s, 0},
      {"passwd: files" + std::string(5000, ' ') + "ldap\n", 0},
      {"hosts: files dns\n", 0},  // no passwd line: the library's default
      {"", 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text.substr(0, 40));
    std::string path = temporary_file(r.text);
    EXPECT_EQ(r.first, password_files_first(path.c_str()));
    unlink(path.c_str());
  }
  EXPECT_EQ(0, password_files_first("/nonexistent/nsswitch.conf"));
}

}  // namespace
