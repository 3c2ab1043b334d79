// line_ends.h: the line-end rule over a stream read in chunks: CR LF becomes LF.
#pragma once

#include <cstdint>

namespace postlet {

// What one chunk leaves for the next: a CR at its very end, not yet written, whose fate the
// next byte decides. A zero-filled record is the start of a stream. A CR still held when the
// input ends is dropped, as if a line end followed it: the injector ends the last line itself.
struct line_end_state {
  int32_t held_cr;
};

// Applies the rule to the n bytes at bytes, in place: every CR that stands directly before an LF
// is dropped, any other CR stays. A CR held from the chunk before goes in front, at bytes[-1],
// which must then be writable; a CR that ends this chunk is held. The result starts at *start
// (bytes or bytes - 1); returns its length.
uint32_t line_ends_mend(line_end_state* state, char* bytes, uint32_t n, char** start);

// The same for one line of n bytes that holds no LF but a last one, at the start of a chunk
// (nothing held before it): only its end can change. Returns its new length.
uint32_t line_ends_mend_line(line_end_state* state, char* bytes, uint32_t n);

}  // namespace postlet
