// text.cc: byte and text helpers.
#include "lib/text.h"

namespace postlet {

uint32_t text_length(const char* text) {
  uint32_t n = 0;
  while (text[n]) ++n;
  return n;
}

uint32_t text_find_byte(const char* text, char c) {
  uint32_t i = 0;
  while (text[i] && text[i] != c) ++i;
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
  for (uint32_t i = 0; i < n; ++i) destination[i] = source[i];
}

void bytes_copy_backward(char* destination, uint32_t n, const char* source) {
  while (n) {
    --n;
    destination[n] = source[n];
  }
}

uint32_t bytes_find(const char* bytes, uint32_t n, char c) {
  uint32_t i = 0;
  while (i < n && bytes[i] != c) ++i;
  return i;
}

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

}  // namespace postlet
