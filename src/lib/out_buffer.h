// out_buffer.h: buffered output on a descriptor, and the two standard records.
#pragma once

#include <cstdint>

namespace postlet {

// Bytes written, or -1 with errno set.
using write_operation = long (*)(int descriptor, const char* bytes, uint32_t n);

struct out_buffer {
  char* buffer;   // the record's storage
  uint32_t used;  // bytes queued at the start of buffer
  uint32_t size;  // capacity of buffer
  int32_t descriptor;
  write_operation op;
};

extern out_buffer standard_error_buffer;   // 256 bytes on descriptor 2
extern out_buffer standard_output_buffer;  // 4096 bytes on descriptor 1; nothing is queued in it

// write(2) as a write operation.
long write_descriptor(int descriptor, const char* bytes, uint32_t n);

// 0, or -1 when a write failed (what was queued is dropped). EINTR is retried.
int out_put(out_buffer* b, const char* bytes, uint32_t n);
int out_put_text(out_buffer* b, const char* text);
int out_flush(out_buffer* b);

}  // namespace postlet
