// line_ends.cc: the line-end rule, one chunk at a time.
#include "lib/line_ends.h"

#include <cstring>

namespace postlet {

uint32_t line_ends_mend(line_end_state* state, char* bytes, uint32_t n, char** start) {
  char* out = bytes;
  uint32_t o = 0;
  if (state->held_cr && n) {
    state->held_cr = 0;
    if (bytes[0] != '\n') {
      out = bytes - 1;
      out[o++] = '\r';
    }
  }
  *start = out;
  // Until the first CR is dropped the result lies where the bytes are, so nothing moves; after
  // it every span moves down by the CRs dropped so far (memmove: the ranges overlap).
  uint32_t i = 0;
  while (i < n) {
    const void* found = std::memchr(bytes + i, '\r', n - i);
    uint32_t j = found ? static_cast<uint32_t>(static_cast<const char*>(found) - bytes) : n;
    if (out + o != bytes + i) std::memmove(out + o, bytes + i, j - i);
    o += j - i;
    if (j == n) break;
    if (j + 1 == n) {
      state->held_cr = 1;
      break;
    }
    if (bytes[j + 1] != '\n') out[o++] = '\r';
    i = j + 1;
  }
  return o;
}

uint32_t line_ends_mend_line(line_end_state* state, char* bytes, uint32_t n) {
  if (n && bytes[n - 1] == '\r') {
    state->held_cr = 1;
    return n - 1;
  }
  if (n >= 2 && bytes[n - 1] == '\n' && bytes[n - 2] == '\r') {
    bytes[n - 2] = '\n';
    return n - 1;
  }
  return n;
}

}  // namespace postlet
