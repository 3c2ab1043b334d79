// byte_string.cc: growth, copy and append of byte strings.
#include "lib/byte_string.h"

#include <cerrno>

#include "lib/pool.h"
#include "lib/text.h"

namespace postlet {

int byte_string_ready(byte_string* s, uint32_t n) {
  if (!s->data) {
    char* block = static_cast<char*>(pool_alloc(n));
    if (!block) return 0;
    s->data = block;
    s->capacity = n;
    s->len = 0;
    return 1;
  }
  if (s->capacity >= n) return 1;
  uint32_t extra = n >= 128 ? n / 8 : 16;
  if (n > UINT32_MAX - extra) {
    errno = ENOMEM;
    return 0;
  }
  uint32_t grown = n + extra;
  char* block = static_cast<char*>(pool_alloc(grown));
  if (!block) return 0;
  // The whole old block as requested moves, not only the content.
  bytes_copy(block, s->capacity, s->data);
  pool_free(s->data);
  s->data = block;
  s->capacity = grown;
  return 1;
}

int byte_string_ready_plus(byte_string* s, uint32_t n) {
  if (n > UINT32_MAX - s->len) {
    errno = ENOMEM;
    return 0;
  }
  uint32_t total = s->len + n;
  if (s->data && total < s->capacity) return 1;
  return byte_string_ready(s, total);
}

int byte_string_copy(byte_string* s, const char* bytes, uint32_t n) {
  if (n == UINT32_MAX) {
    errno = ENOMEM;
    return 0;
  }
  if (!byte_string_ready(s, n + 1)) return 0;
  bytes_copy(s->data, n, bytes);
  s->len = n;
  s->data[n] = BYTE_STRING_GUARD;
  return 1;
}

int byte_string_copy_text(byte_string* s, const char* text) {
  return byte_string_copy(s, text, text_length(text));
}

int byte_string_append(byte_string* s, const char* bytes, uint32_t n) {
  if (n == UINT32_MAX) {
    errno = ENOMEM;
    return 0;
  }
  if (!byte_string_ready_plus(s, n + 1)) return 0;
  bytes_copy(s->data + s->len, n, bytes);
  s->len += n;
  s->data[s->len] = BYTE_STRING_GUARD;
  return 1;
}

int byte_string_append_text(byte_string* s, const char* text) {
  return byte_string_append(s, text, text_length(text));
}

int byte_string_append_string(byte_string* s, const byte_string* other) {
  return byte_string_append(s, other->data, other->len);
}

int byte_string_append_byte(byte_string* s, const char* p) {
  if (s->len == UINT32_MAX) {
    errno = ENOMEM;
    return 0;
  }
  if (!byte_string_ready(s, s->len + 1)) return 0;
  s->data[s->len++] = *p;
  return 1;
}

void byte_string_release(byte_string* s) {
  pool_free(s->data);
  s->data = nullptr;
  s->len = 0;
  s->capacity = 0;
}

}  // namespace postlet
