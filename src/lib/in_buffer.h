// in_buffer.h: buffered input on a descriptor, line reading and repositioning.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "lib/byte_string.h"

namespace postlet {

// Bytes read, 0 at end of input, or -1 with errno set.
using read_operation = long (*)(int descriptor, char* bytes, uint32_t n);

// The layout of out_buffer. Unconsumed bytes lie at the end of buffer:
// buffer[position, position + available), and position + available is the buffer's size.
struct in_buffer {
  char* buffer;        // the record's storage
  uint32_t available;  // bytes read but not yet consumed
  uint32_t position;   // offset of the first unconsumed byte
  int32_t descriptor;
  read_operation op;
};

extern in_buffer standard_input_buffer;  // 4096 bytes on descriptor 0, read by standard_input_read

// Flushes standard_output_buffer, then read(2), waiting for input on a descriptor in non-blocking
// mode; -1 without reading when the flush fails.
long standard_input_read(int descriptor, char* bytes, uint32_t n);

// Unconsumed bytes now available (> 0), 0 at end of input, or -1 on a read error. EINTR is
// retried, never reported.
long in_fill(in_buffer* b);

// The next line, delimiter included, rebuilt from empty in line. 0 when a line or the end of
// input was reached (complete 1 when the delimiter was found, else 0); -1 on a read error or
// exhausted storage, complete not written.
[[nodiscard]] int get_line(in_buffer* b, byte_string* line, int* complete, char delimiter);

// get_line that takes at most limit bytes: a line cut at the limit comes back with complete 0
// and len equal to limit, its remaining bytes left unread.
[[nodiscard]] int get_line_bounded(in_buffer* b, byte_string* line, int* complete, char delimiter,
                                   uint32_t limit);

// lseek(descriptor, offset, SEEK_SET): the new offset, or -1 with errno set (ESPIPE for a pipe).
off_t seek_start(int descriptor, off_t offset);
// lseek(descriptor, 0, SEEK_CUR): the current offset, or -1 with errno set.
off_t seek_current(int descriptor);

}  // namespace postlet
