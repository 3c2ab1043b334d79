// text.h: byte and text helpers; the copy and the search of counted bytes are the C library's.
#pragma once

#include <cstdint>

namespace postlet {

// Bytes before the terminating NUL.
uint32_t text_length(const char* text);
// Index of the first byte equal to c, or the text's length.
uint32_t text_find_byte(const char* text, char c);
// 0 when equal, else the unsigned difference of the first differing bytes (a's minus b's).
int text_compare(const char* a, const char* b);
// Copies n bytes; the two ranges may overlap.
void bytes_copy(char* destination, uint32_t n, const char* source);
// Index of the first of n bytes equal to c, or n.
uint32_t bytes_find(const char* bytes, uint32_t n, char c);
// 0 when the n bytes are equal, else the unsigned difference of the first differing pair.
int bytes_compare(const char* a, uint32_t n, const char* b);
// The text after the last '/' of path, or the whole path when nothing follows a last '/'.
const char* base_name(const char* path);

}  // namespace postlet
