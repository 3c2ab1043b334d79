// out_buffer.cc: buffered output with retried interrupted writes.
#include "lib/out_buffer.h"

#include <unistd.h>

#include <cerrno>

#include "lib/text.h"

namespace postlet {

static char standard_error_space[256];
static char standard_output_space[4096];

out_buffer standard_error_buffer = {.buffer = standard_error_space,
                                    .used = 0,
                                    .size = sizeof standard_error_space,
                                    .descriptor = 2,
                                    .op = write_descriptor};
out_buffer standard_output_buffer = {.buffer = standard_output_space,
                                     .used = 0,
                                     .size = sizeof standard_output_space,
                                     .descriptor = 1,
                                     .op = write_descriptor};

long write_descriptor(int descriptor, const char* bytes, uint32_t n) {
  return write(descriptor, bytes, n);
}

// Writes all n bytes; a write that makes no progress counts as an I/O error, never a spin.
static int write_all(out_buffer* b, const char* bytes, uint32_t n) {
  while (n) {
    long w = b->op(b->descriptor, bytes, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (w == 0) {
      errno = EIO;
      return -1;
    }
    bytes += w;
    n -= static_cast<uint32_t>(w);
  }
  return 0;
}

int out_flush(out_buffer* b) {
  uint32_t n = b->used;
  b->used = 0;
  if (n == 0) return 0;
  return write_all(b, b->buffer, n);
}

int out_put(out_buffer* b, const char* bytes, uint32_t n) {
  if (n <= b->size - b->used) {
    bytes_copy(b->buffer + b->used, n, bytes);
    b->used += n;
    return 0;
  }
  if (out_flush(b) == -1) return -1;
  // Too large to queue: written straight from the caller's memory.
  while (n > b->size) {
    uint32_t piece = n < 4096 ? n : 4096;
    if (write_all(b, bytes, piece) == -1) return -1;
    bytes += piece;
    n -= piece;
  }
  bytes_copy(b->buffer, n, bytes);
  b->used = n;
  return 0;
}

int out_put_text(out_buffer* b, const char* text) {
  return out_put(b, text, text_length(text));
}

}  // namespace postlet
