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

// The bytes to escape, one bit each: bit (c & 7) of bits[c >> 3] stands for byte c.
struct escape_set {
  uint8_t bits[32];
};

// The control bytes, below 32 and 127: what no diagnostic and no log line repeats as it is.
inline constexpr escape_set CONTROL_BYTES = {
    .bits = {0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}};

// Copies the n bytes of text into out, which has room bytes, writing each byte of the set as a
// backslash and three octal digits. Stops before a byte that would not fit whole, escape and all.
// Returns the bytes written; *taken is the number of bytes of text they stand for.
uint32_t bytes_escape(char* out, uint32_t room, const char* text, uint32_t n, const escape_set* set,
                      uint32_t* taken);

// Hands the text to put(piece, length), escaped as bytes_escape does, a NUL-terminated piece of
// at most 127 bytes at a time.
template <typename Put>
void text_escape_pieces(const char* text, const escape_set* set, Put put) {
  uint32_t n = text_length(text);
  while (n) {
    char piece[128];
    uint32_t taken;
    uint32_t length = bytes_escape(piece, sizeof piece - 1, text, n, set, &taken);
    piece[length] = '\0';
    put(piece, length);
    text += taken;
    n -= taken;
  }
}

}  // namespace postlet
