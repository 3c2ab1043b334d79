// text.cc: byte and text helpers.
//
// The copy and the search of counted bytes are the C library's, tuned for the machine; a count of
// 0 returns before the call, where a null pointer would be undefined. The others stay loops: a
// run hands them a few short texts, and each library function costs the loader some 700
// instructions to bind at its first call, more than a loop spends on such texts.
#include "lib/text.h"

#include <cstring>

namespace postlet {

uint32_t text_length(const char* text) {
  uint32_t n = 0;
  while (text[n])
    ++n;
  return n;
}

uint32_t text_find_byte(const char* text, char c) {
  uint32_t i = 0;
  while (text[i] && text[i] != c)
    ++i;
  return i;
}

int text_compare(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x != y) return x - y;
    if (!x) return 0;
  }
}

void bytes_copy(char* destination, uint32_t n, const char* source) {
  if (n) memmove(destination, source, n);
}

uint32_t bytes_find(const char* bytes, uint32_t n, char c) {
  if (!n) return 0;
  const void* found = memchr(bytes, static_cast<unsigned char>(c), n);
  return found ? static_cast<uint32_t>(static_cast<const char*>(found) - bytes) : n;
}

// A byte at a time, on purpose: it stops at the first difference, and the environment merge
// counts on that when it holds a name against an inherited entry that may be shorter.
int bytes_compare(const char* a, uint32_t n, const char* b) {
  for (uint32_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y) return x - y;
  }
  return 0;
}

const char* base_name(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p; ++p) {
    if (*p == '/') last = p;
  }
  if (!last || !last[1]) return path;
  return last + 1;
}

uint32_t bytes_escape(char* out, uint32_t room, const char* text, uint32_t n, const escape_set* set,
                      uint32_t* taken) {
  uint32_t len = 0;
  uint32_t i = 0;
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (!((set->bits[c >> 3] >> (c & 7)) & 1)) {
      if (len + 1 > room) break;
      out[len++] = static_cast<char>(c);
      continue;
    }
    if (len + 4 > room) break;
    out[len] = '\\';
    out[len + 1] = static_cast<char>('0' + (c >> 6));
    out[len + 2] = static_cast<char>('0' + ((c >> 3) & 7));
    out[len + 3] = static_cast<char>('0' + (c & 7));
    len += 4;
  }
  *taken = i;
  return len;
}

}  // namespace postlet
