// in_buffer.cc: refills aligned to the buffer's end, line reading and repositioning.
#include "lib/in_buffer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "lib/out_buffer.h"
#include "lib/system.h"
#include "lib/text.h"

namespace postlet {

static char standard_input_space[4096];

in_buffer standard_input_buffer = {.buffer = standard_input_space,
                                   .available = 0,
                                   .position = sizeof standard_input_space,
                                   .descriptor = 0,
                                   .op = standard_input_read};

long standard_input_read(int descriptor, char* bytes, uint32_t n) {
  if (out_flush(&standard_output_buffer) == -1) return -1;
  for (;;) {
    long r = sys_read(descriptor, bytes, n);
    if (r != -1 || errno != EAGAIN) return r;
    // A caller may hand over a descriptor in non-blocking mode: it is waited on, not failed.
    pollfd ready = {.fd = descriptor, .events = POLLIN, .revents = 0};
    if (poll(&ready, 1, -1) == -1 && errno != EINTR) return -1;
  }
}

long in_fill(in_buffer* b) {
  if (b->available) return b->available;
  // Nothing is unconsumed, so position is the buffer's size: the request is the whole buffer.
  long r;
  do {
    r = b->op(b->descriptor, b->buffer, b->position);
  } while (r == -1 && errno == EINTR);
  if (r < 0) return -1;
  if (r == 0) return 0;
  uint32_t n = static_cast<uint32_t>(r);
  b->available = n;
  b->position -= n;
  // A short read lands at the start; the bytes must end where the buffer ends, and the two
  // ranges may overlap.
  if (b->position) bytes_copy(b->buffer + b->position, n, b->buffer);
  return r;
}

int get_line_bounded(in_buffer* b, byte_string* line, int* complete, char delimiter,
                     uint32_t limit) {
  if (!byte_string_ready(line, 0)) return -1;
  line->len = 0;
  for (;;) {
    if (line->len >= limit) {
      *complete = 0;
      return 0;
    }
    long r = in_fill(b);
    if (r < 0) return -1;
    if (r == 0) {
      *complete = 0;
      return 0;
    }
    const char* bytes = b->buffer + b->position;
    uint32_t n = b->available;
    uint32_t i = bytes_find(bytes, n, delimiter);
    int found = i < n;
    uint32_t take = found ? i + 1 : n;
    uint32_t room = limit - line->len;
    if (take > room) {
      take = room;
      found = 0;
    }
    if (!byte_string_append(line, bytes, take)) return -1;
    b->available -= take;
    b->position += take;
    if (found) {
      *complete = 1;
      return 0;
    }
  }
}

int get_line(in_buffer* b, byte_string* line, int* complete, char delimiter) {
  return get_line_bounded(b, line, complete, delimiter, UINT32_MAX);
}

off_t seek_start(int descriptor, off_t offset) {
  return sys_lseek(descriptor, offset, SEEK_SET);
}

off_t seek_current(int descriptor) {
  return sys_lseek(descriptor, 0, SEEK_CUR);
}

}  // namespace postlet
