// password_file.cc: a user id's line of a password file, and whether the name-service switch
// asks that file first; both read without the C library's name-service modules.
//
// The calls into the kernel go through syscall(2), which the process has bound already: each
// further function of the C library would cost the loader a symbol look-up.
#include <fcntl.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "front/password_entry.h"
#include "lib/system.h"
#include "lib/text.h"

namespace postlet {

// Both files are read through this one buffer, in turn; a line is handed out in place.
static char space[4096];

struct line_reader {
  int32_t descriptor;
  uint32_t start;    // the first byte of space not yet handed out
  uint32_t end;      // the end of the bytes read into space
  int end_of_input;  // the last read returned 0
  int skipping;      // the rest of a line longer than space is being passed over
};

static int open_file(line_reader* r, const char* path) {
  int descriptor = sys_open(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) return 0;
  *r = {.descriptor = descriptor};
  return 1;
}

static void close_file(const line_reader* r) {
  int saved = errno;
  (void)sys_close(r->descriptor);
  errno = saved;
}

// next_line when the unread bytes hold no whole line, or a long line is being passed over:
// reads until they do, or hands out what there is.
static int next_line_read(line_reader* r, char** line, uint32_t* len, int* cut) {
  for (;;) {
    uint32_t n = r->end - r->start;
    uint32_t i = bytes_find(space + r->start, n, '\n');
    if (r->skipping) {
      r->skipping = i == n;
      r->start += i < n ? i + 1 : n;
    } else if (i < n || n == sizeof space || (r->end_of_input && n > 0)) {
      *line = space + r->start;
      *len = i;
      *cut = i == n && !r->end_of_input;
      r->skipping = *cut;
      r->start += i < n ? i + 1 : n;
      return 1;
    }
    if (r->end_of_input) return 0;
    if (r->start > 0) {
      bytes_copy(space, r->end - r->start, space + r->start);
      r->end -= r->start;
      r->start = 0;
    }
    long got = 0;
    do {
      got = sys_read(r->descriptor, space + r->end, size_t{sizeof space - r->end});
    } while (got == -1 && errno == EINTR);
    if (got < 0) return -1;
    if (got == 0) r->end_of_input = 1;
    r->end += static_cast<uint32_t>(got);
  }
}

// The next line, in place in space and without its '\n': 1, with *cut 1 when the line is longer
// than space and this is its head (the rest is passed over); 0 at the end of the file; -1 with
// errno set when reading fails. Kept small for the common case, a whole line already read.
static inline int next_line(line_reader* r, char** line, uint32_t* len, int* cut) {
  char* start = space + r->start;
  const void* newline = r->skipping ? nullptr : memchr(start, '\n', r->end - r->start);
  if (!newline) return next_line_read(r, line, len, cut);
  *line = start;
  *len = static_cast<uint32_t>(static_cast<const char*>(newline) - start);
  *cut = 0;
  r->start += *len + 1;
  return 1;
}

// The bytes the C library's number and word scans take for white space.
static bool is_blank(char c) {
  return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

// The id written in the n bytes of field: 1 with *id set when they are decimal digits alone and
// the value fits in 32 bits; 0 when the C library's reading rejects the field as well (empty,
// no digit first, digits followed by another byte); -1 when it may read an id that this does
// not (white space or a sign first, a wider value).
static int id_field(const char* field, uint32_t n, uint32_t* id) {
  if (n == 0) return 0;
  if (is_blank(field[0]) || field[0] == '+' || field[0] == '-') return -1;
  uint64_t value = 0;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t digit = static_cast<uint32_t>(static_cast<unsigned char>(field[i])) - '0';
    if (digit > 9) return 0;
    value = value * 10 + digit;
    if (value > UINT32_MAX) return -1;
  }
  *id = static_cast<uint32_t>(value);
  return 1;
}

enum line_verdict { LINE_OTHER, LINE_MATCH, LINE_UNSURE };

// A loop of its own: the fields are a few bytes, shorter than a call to bytes_find costs.
static uint32_t colon_at(const char* line, uint32_t len, uint32_t i) {
  while (i < len && line[i] != ':')
    ++i;
  return i;
}

// What the line says of uid; a match fills entry, its name cut at its ':' in place. The fields
// are name:password:uid:gid:...; the C library skips a line that begins with '#', reads a line
// only up to a NUL byte, and wants a gid as well. A compat line (+ or -) and a line that begins
// with white space are read by the modules in ways of their own: unsure.
static line_verdict line_says(char* line, uint32_t len, int cut, uid_t uid, passwd* entry) {
  if (len == 0 || line[0] == '#' || line[0] == '\0') return LINE_OTHER;
  if (line[0] == '+' || line[0] == '-' || is_blank(line[0])) return LINE_UNSURE;
  uint32_t name_end = colon_at(line, len, 0);
  uint32_t password_end = name_end < len ? colon_at(line, len, name_end + 1) : len;
  uint32_t uid_end = password_end < len ? colon_at(line, len, password_end + 1) : len;
  // The head of a cut line may end inside the field.
  if (uid_end == len) return cut ? LINE_UNSURE : LINE_OTHER;
  uint32_t found = 0;
  int uid_read = id_field(line + password_end + 1, uid_end - password_end - 1, &found);
  if (uid_read == 0 || (uid_read == 1 && found != uid)) return LINE_OTHER;
  // A NUL byte in a field so far leaves too few for the C library; one later ends the gid.
  uint32_t gid_end = colon_at(line, len, uid_end + 1);
  uint32_t nul = bytes_find(line, gid_end, '\0');
  if (nul <= uid_end) return LINE_OTHER;
  if (nul < gid_end) {
    gid_end = nul;
  } else if (gid_end == len && cut) {
    return LINE_UNSURE;
  }
  uint32_t gid = 0;
  int gid_read = id_field(line + uid_end + 1, gid_end - uid_end - 1, &gid);
  if (gid_read == 0) return LINE_OTHER;
  if (uid_read == -1 || gid_read == -1) return LINE_UNSURE;
  line[name_end] = '\0';
  static char empty[] = "";
  entry->pw_name = line;
  entry->pw_passwd = empty;
  entry->pw_uid = uid;
  entry->pw_gid = static_cast<gid_t>(gid);
  entry->pw_gecos = empty;
  entry->pw_dir = empty;
  entry->pw_shell = empty;
  return LINE_MATCH;
}

const passwd* password_file_entry(const char* path, uid_t uid, int* unsure) {
  static passwd entry;
  line_reader r;
  if (!open_file(&r, path)) return nullptr;
  // Reading stops at the matching line, so the name stays in space.
  const passwd* result = nullptr;
  char* line = nullptr;
  uint32_t len = 0;
  int cut = 0;
  while (next_line(&r, &line, &len, &cut) == 1) {
    line_verdict verdict = line_says(line, len, cut, uid, &entry);
    if (verdict == LINE_MATCH) {
      result = &entry;
      break;
    }
    if (verdict == LINE_UNSURE && unsure) {
      *unsure = 1;
      break;
    }
  }
  close_file(&r);
  return result;
}

// The end of the line's name at i when it is "passwd" in any case, else 0: the C library of one
// version compares database names with their case, another without. A name ends at ':' or
// white space.
static uint32_t passwd_name_end(const char* line, uint32_t len, uint32_t i) {
  static constexpr char PASSWD[] = "passwd";
  constexpr uint32_t n = sizeof PASSWD - 1;
  if (len - i < n) return 0;
  for (uint32_t k = 0; k < n; ++k) {
    if ((line[i + k] | 0x20) != PASSWD[k]) return 0;
  }
  uint32_t end = i + n;
  return end == len || line[end] == ':' || is_blank(line[end]) ? end : 0;
}

static uint32_t skip_blanks(const char* line, uint32_t len, uint32_t i) {
  while (i < len && is_blank(line[i]))
    ++i;
  return i;
}

static bool word_is(const char* word, uint32_t n, const char* text) {
  return n == text_length(text) && bytes_compare(word, n, text) == 0;
}

// Whether the sources after the database name at line[i] begin with files or compat with no
// action after it: "passwd: files systemd", not "passwd:ldap files" nor "files [SUCCESS=...]".
static bool files_come_first(const char* line, uint32_t len, uint32_t i) {
  i = skip_blanks(line, len, i);
  if (i == len || line[i] != ':') return false;
  i = skip_blanks(line, len, i + 1);
  uint32_t word = i;
  while (i < len && !is_blank(line[i]) && line[i] != '[')
    ++i;
  if (!word_is(line + word, i - word, "files") && !word_is(line + word, i - word, "compat"))
    return false;
  i = skip_blanks(line, len, i);
  return i == len || line[i] != '[';
}

int password_files_first(const char* path) {
  line_reader r;
  if (!open_file(&r, path)) return 0;
  int verdict = -1;  // no passwd line yet
  int got = 0;
  char* line = nullptr;
  uint32_t len = 0;
  int cut = 0;
  while ((got = next_line(&r, &line, &len, &cut)) == 1) {
    // Most lines are comments or name other databases, as their first byte shows.
    if (len == 0 || (line[0] != 'p' && line[0] != 'P' && !is_blank(line[0]))) continue;
    uint32_t name_end = passwd_name_end(line, len, skip_blanks(line, len, 0));
    if (!name_end) continue;
    // The switch of one version takes the first passwd line, of another the last: each must
    // ask the file first.
    if (cut || !files_come_first(line, len, name_end)) {
      verdict = 0;
      break;
    }
    verdict = 1;
  }
  close_file(&r);
  return got == 0 && verdict == 1;
}

}  // namespace postlet
