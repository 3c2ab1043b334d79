// sethome.cc: postlet-sethome, which reads or rewrites the qmail home area of a postlet binary.
//
//   postlet-sethome BINARY              print the home the binary holds
//   postlet-sethome BINARY DIR          rewrite the area in place
//   postlet-sethome BINARY DIR OUTPUT   write a patched copy to OUTPUT (mode 0755)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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
  char area[AREA];
  fill_area(area, home);
  if (argc == 4) {
    const char* output = argv[3];
    memcpy(data + offset, area, AREA);
    int fd = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0755);
    if (fd == -1) fail_errno("cannot create ", output);
    write_all(fd, data, size, output);
    if (fchmod(fd, mode | 0700) == -1 || close(fd) == -1) fail_errno("cannot finish ", output);
    report(output, ": qmail home ", old_home, " -> ");
    report(home, "\n");
    return 0;
  }
  int fd = open(binary, O_WRONLY);
  if (fd == -1) fail_errno("cannot open for writing ", binary);
  if (lseek(fd, static_cast<off_t>(offset), SEEK_SET) == -1) fail_errno("cannot seek in ", binary);
  write_all(fd, area, AREA, binary);
  if (close(fd) == -1) fail_errno("cannot finish ", binary);
  report(binary, ": qmail home ", old_home, " -> ");
  report(home, "\n");
  return 0;
}
