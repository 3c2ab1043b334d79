// sethome.cc: postlet-sethome, which reads or rewrites the qmail home area of a postlet binary.
//
//   postlet-sethome BINARY              print the home the binary holds
//   postlet-sethome BINARY DIR          rewrite the area in place
//   postlet-sethome BINARY DIR OUTPUT   write a patched copy to OUTPUT
// Either way the patched binary is written as a new file beside the one it replaces and renamed
// over it, so a postlet running at the time, or starting then, never meets a half-written file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "front/qmail_home.h"

namespace {

constexpr uint32_t AREA = postlet::QMAIL_HOME_AREA;
constexpr char MARKER[] = "PATCHSPACE------------------------END";
constexpr uint32_t MARKER_LENGTH = sizeof MARKER - 1;
// The bytes that postlet keeps right before its area: they stay where they are through strip and
// any number of patches.
constexpr const char* SIGNATURE = postlet::QMAIL_HOME_SIGNATURE;
constexpr uint32_t SIGNATURE_LENGTH = postlet::QMAIL_HOME_SIGNATURE_LENGTH;

constexpr char USAGE[] =
    "usage: postlet-sethome BINARY [DIR [OUTPUT]]\n"
    "  postlet-sethome BINARY              print the qmail home BINARY holds\n"
    "  postlet-sethome BINARY DIR          rewrite it in place to DIR\n"
    "  postlet-sethome BINARY DIR OUTPUT   write a patched copy to OUTPUT\n"
    "DIR is an absolute path of 1 to 48 bytes. Stripped binaries work alike.\n";

bool area_is_valid(const char* area);

// Writes the pieces in full; false when a write fails.
bool say(int fd, const char* a, const char* b = "", const char* c = "", const char* d = "",
         const char* e = "") {
  const char* pieces[] = {a, b, c, d, e};
  for (const char* p : pieces) {
    size_t n = strlen(p);
    while (n) {
      ssize_t w = write(fd, p, n);
      if (w == -1 && errno == EINTR) continue;
      if (w <= 0) return false;
      p += w;
      n -= static_cast<size_t>(w);
    }
  }
  return true;
}

// The result on standard output; a lost result is a failure. A diagnostic that cannot be
// written has nowhere else to go, so say's result is not looked at on descriptor 2.
void report(const char* a, const char* b = "", const char* c = "", const char* d = "") {
  if (!say(1, a, b, c, d)) _exit(1);
}

[[noreturn]] void fail(const char* a, const char* b = "", const char* c = "") {
  say(2, "postlet-sethome: ", a, b, c, "\n");
  _exit(1);
}

[[noreturn]] void fail_errno(const char* what, const char* path) {
  const char* text = strerror(errno);
  if (say(2, "postlet-sethome: ", what, path, ": ", text)) say(2, "\n");
  _exit(1);
}

// The whole file, read into one heap block.
char* read_file(const char* path, uint64_t* size, mode_t* mode) {
  int fd = open(path, O_RDONLY);
  if (fd == -1) fail_errno("cannot open ", path);
  struct stat st;
  if (fstat(fd, &st) == -1) fail_errno("cannot stat ", path);
  *size = static_cast<uint64_t>(st.st_size);
  *mode = st.st_mode & 07777;
  char* data =
      static_cast<char*>(malloc(*size ? *size : 1));  // NOLINT(cppcoreguidelines-no-malloc)
  if (!data) fail("out of memory");
  uint64_t done = 0;
  while (done < *size) {
    ssize_t r = read(fd, data + done, *size - done);
    if (r == -1 && errno == EINTR) continue;
    if (r <= 0) fail_errno("cannot read ", path);
    done += static_cast<uint64_t>(r);
  }
  close(fd);
  return data;
}

// The file offset of the one area that follows the signature and is well formed; 0 when there is
// none, and 0 with *several set when there is more than one.
uint64_t find_area(const char* data, uint64_t size, bool* several) {
  uint64_t found = 0;
  *several = false;
  for (uint64_t i = 0; i + SIGNATURE_LENGTH + AREA <= size; ++i) {
    if (data[i] != SIGNATURE[0] || memcmp(data + i, SIGNATURE, SIGNATURE_LENGTH) != 0) continue;
    uint64_t offset = i + SIGNATURE_LENGTH;
    if (!area_is_valid(data + offset)) continue;
    if (found) {
      *several = true;
      return 0;
    }
    found = offset;
  }
  return found;
}

// A well-formed area: a path, a NUL, a prefix of the marker, NULs up to its last byte.
bool area_is_valid(const char* area) {
  uint32_t path = static_cast<uint32_t>(strnlen(area, AREA));
  if (path == 0 || path >= AREA) return false;
  uint32_t i = path + 1;
  uint32_t m = 0;
  while (i < AREA && m < MARKER_LENGTH && area[i] == MARKER[m]) {
    ++i;
    ++m;
  }
  while (i < AREA && area[i] == 0)
    ++i;
  return i == AREA;
}

void fill_area(char* area, const char* home) {
  uint32_t length = static_cast<uint32_t>(strlen(home));
  memset(area, 0, AREA);
  memcpy(area, home, length);
  // A 47- or 48-byte home leaves no room for the marker: the area's last byte stays NUL.
  uint32_t room = length + 2 < AREA ? AREA - 2 - length : 0;
  memcpy(area + length + 1, MARKER, room < MARKER_LENGTH ? room : MARKER_LENGTH);
}

void write_all(int fd, const char* data, uint64_t n, const char* path) {
  while (n) {
    ssize_t w = write(fd, data, n);
    if (w == -1 && errno == EINTR) continue;
    if (w <= 0) fail_errno("cannot write ", path);
    data += w;
    n -= static_cast<uint64_t>(w);
  }
}

// The new file beside target, named while it is written so that a failure can remove it.
char scratch[PATH_MAX + 16];

[[noreturn]] void fail_scratch(const char* what, const char* path) {
  int saved = errno;
  unlink(scratch);
  errno = saved;
  fail_errno(what, path);
}

// Writes data as a new file beside target and renames it over target: a program running from the
// old file keeps it, one started later gets the whole new file, and nothing ever sees half of it.
// The new file gets mode and, when owner is set, the old file's owner and group.
void replace_file(const char* target, const char* data, uint64_t size, mode_t mode,
                  const struct stat* owner) {
  size_t length = strlen(target);
  if (length > PATH_MAX) {
    errno = ENAMETOOLONG;
    fail_errno("cannot create a file beside ", target);
  }
  memcpy(scratch, target, length);
  memcpy(scratch + length, ".sethome.XXXXXX", sizeof ".sethome.XXXXXX");
  int fd = mkstemp(scratch);
  if (fd == -1) fail_errno("cannot create a file beside ", target);
  write_all(fd, data, size, scratch);
  // The owner first: a change of owner clears the set-user-id and set-group-id bits.
  if (owner && fchown(fd, owner->st_uid, owner->st_gid) == -1)
    fail_scratch("cannot give the new file the owner of ", target);
  if (fchmod(fd, mode) == -1 || fsync(fd) == -1 || close(fd) == -1)
    fail_scratch("cannot finish ", scratch);
  if (rename(scratch, target) == -1) fail_scratch("cannot rename the new file over ", target);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    report(USAGE);
    return 0;
  }
  if (argc < 2 || argc > 4) {
    say(2, USAGE);
    return 2;
  }
  const char* binary = argv[1];
  const char* home = argc > 2 ? argv[2] : nullptr;
  if (home) {
    size_t length = strlen(home);
    if (length == 0) fail("the home directory must not be empty");
    if (home[0] != '/') fail("the home directory must be an absolute path: ", home);
    if (length > AREA - 1) fail("home directory longer than 48 bytes: ", home);
  }
  uint64_t size = 0;
  mode_t mode = 0;
  char* data = read_file(binary, &size, &mode);
  bool several = false;
  uint64_t offset = find_area(data, size, &several);
  if (several) fail(binary, ": more than one qmail home area");
  if (!offset) fail(binary, ": no qmail home area");
  char old_home[AREA];
  memcpy(old_home, data + offset, AREA);
  if (!home) {
    report(old_home, "\n");
    return 0;
  }
  fill_area(data + offset, home);
  // The file replaced is the one a symbolic link leads to, so that a link stays a link.
  static char target[PATH_MAX];
  if (argc == 4) {
    const char* output = argv[3];
    replace_file(realpath(output, target) ? target : output, data, size, mode | 0700, nullptr);
    report(output, ": qmail home ", old_home, " -> ");
    report(home, "\n");
    return 0;
  }
  if (!realpath(binary, target)) fail_errno("cannot resolve ", binary);
  struct stat st;
  if (stat(target, &st) == -1) fail_errno("cannot stat ", target);
  replace_file(target, data, size, st.st_mode & 07777, &st);
  report(binary, ": qmail home ", old_home, " -> ");
  report(home, "\n");
  return 0;
}
