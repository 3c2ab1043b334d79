// sethome.cc: postlet-sethome, which reads or rewrites the qmail home area of a postlet binary.
//
//   postlet-sethome BINARY              print the home the binary holds
//   postlet-sethome BINARY DIR          rewrite the area in place
//   postlet-sethome BINARY DIR OUTPUT   write a patched copy to OUTPUT (mode 0755)
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t AREA = 49;
constexpr char MARKER[] = "PATCHSPACE------------------------END";
constexpr uint32_t MARKER_LENGTH = sizeof MARKER - 1;
constexpr char SYMBOL[] = "_ZN7postlet10qmail_homeE";

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
  char* data = static_cast<char*>(malloc(*size ? *size : 1));  // NOLINT(cppcoreguidelines-no-malloc)
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

// The file offset of the area, from the symbol table; 0 when the binary has none.
uint64_t find_by_symbol(const char* data, uint64_t size) {
  if (size < sizeof(Elf64_Ehdr) || memcmp(data, ELFMAG, SELFMAG) != 0 ||
      data[EI_CLASS] != ELFCLASS64)
    return 0;
  Elf64_Ehdr eh;
  memcpy(&eh, data, sizeof eh);
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff > size ||
      uint64_t{eh.e_shnum} * sizeof(Elf64_Shdr) > size - eh.e_shoff)
    return 0;
  auto section = [&](uint32_t i) {
    Elf64_Shdr sh;
    memcpy(&sh, data + eh.e_shoff + uint64_t{i} * sizeof sh, sizeof sh);
    return sh;
  };
  for (uint32_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr symtab = section(i);
    if (symtab.sh_type != SHT_SYMTAB || symtab.sh_link >= eh.e_shnum) continue;
    Elf64_Shdr strtab = section(symtab.sh_link);
    if (symtab.sh_offset > size || symtab.sh_size > size - symtab.sh_offset ||
        strtab.sh_offset > size || strtab.sh_size > size - strtab.sh_offset)
      return 0;
    for (uint64_t k = 0; k + sizeof(Elf64_Sym) <= symtab.sh_size; k += sizeof(Elf64_Sym)) {
      Elf64_Sym sym;
      memcpy(&sym, data + symtab.sh_offset + k, sizeof sym);
      if (sym.st_name >= strtab.sh_size || sym.st_size != AREA || sym.st_shndx >= eh.e_shnum)
        continue;
      const char* name = data + strtab.sh_offset + sym.st_name;
      if (strnlen(name, strtab.sh_size - sym.st_name) != sizeof SYMBOL - 1 ||
          memcmp(name, SYMBOL, sizeof SYMBOL - 1) != 0)
        continue;
      Elf64_Shdr home = section(sym.st_shndx);
      if (home.sh_type == SHT_NOBITS || sym.st_value < home.sh_addr) return 0;
      uint64_t offset = sym.st_value - home.sh_addr + home.sh_offset;
      return offset <= size - AREA ? offset : 0;
    }
  }
  return 0;
}

// The file offset of an untouched default area ("/var/qmail", NUL, the whole marker, NUL) in a
// binary without symbols; 0 when there is none.
uint64_t find_by_marker(const char* data, uint64_t size) {
  for (uint64_t i = 11; i + MARKER_LENGTH + 1 <= size; ++i) {
    if (data[i] == 'P' && memcmp(data + i, MARKER, MARKER_LENGTH + 1) == 0 && data[i - 1] == 0)
      return i - 11;
  }
  return 0;
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
  while (i < AREA && area[i] == 0) ++i;
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
  if (argc < 2 || argc > 4) {
    say(2, "usage: postlet-sethome BINARY [DIR [OUTPUT]]\n");
    return 2;
  }
  const char* binary = argv[1];
  const char* home = argc > 2 ? argv[2] : nullptr;
  if (home) {
    size_t length = strlen(home);
    if (length == 0) fail("the home directory must not be empty");
    if (length > AREA - 1) fail("home directory longer than 48 bytes: ", home);
  }
  uint64_t size = 0;
  mode_t mode = 0;
  char* data = read_file(binary, &size, &mode);
  uint64_t offset = find_by_symbol(data, size);
  if (!offset) offset = find_by_marker(data, size);
  if (!offset || !area_is_valid(data + offset)) fail(binary, ": no qmail home area with its marker");
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
