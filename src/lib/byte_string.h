// byte_string.h: the growable byte buffer every module builds text in.
#pragma once

#include <cstdint>
#include <type_traits>

namespace postlet {

struct byte_string {
  char* data;         // null until storage is first obtained
  uint32_t len;       // content bytes; no terminating NUL unless appended
  uint32_t capacity;  // bytes requested for data
};
static_assert(std::is_trivial_v<byte_string> && std::is_standard_layout_v<byte_string>);

// All return 1 on success; 0 with errno ENOMEM and the string left exactly as it was.
// Capacity at least n afterwards.
[[nodiscard]] int byte_string_ready(byte_string* s, uint32_t n);
// Capacity at least len + n afterwards.
[[nodiscard]] int byte_string_ready_plus(byte_string* s, uint32_t n);
// Content becomes the n bytes, guard byte after.
[[nodiscard]] int byte_string_copy(byte_string* s, const char* bytes, uint32_t n);
[[nodiscard]] int byte_string_copy_text(byte_string* s, const char* text);
// The n bytes go after the content, guard byte after.
[[nodiscard]] int byte_string_append(byte_string* s, const char* bytes, uint32_t n);
[[nodiscard]] int byte_string_append_text(byte_string* s, const char* text);
[[nodiscard]] int byte_string_append_string(byte_string* s, const byte_string* other);
// The one byte at p goes after the content; no guard byte.
[[nodiscard]] int byte_string_append_byte(byte_string* s, const char* p);
// Storage back to pool_free; the record is empty again.
void byte_string_release(byte_string* s);

// The guard byte written after the content by copy and append.
inline constexpr char BYTE_STRING_GUARD = 'Z';

}  // namespace postlet
