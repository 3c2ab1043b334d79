// header_capture.cc: the header lines of standard input, and the rewind for the injector.
#include "header/header_capture.h"

#include <cerrno>

#include "header/header_index.h"
#include "lib/byte_string.h"
#include "lib/diagnostics.h"
#include "lib/in_buffer.h"
#include "lib/pool.h"

namespace postlet {

static int begins_field(const byte_string* line) {
  return line->data[0] != ' ' && line->data[0] != '\t';
}

// Room for n more bytes and the guard. Once the text is past the pool it at least doubles when
// it grows: growing by an eighth would copy a header near the byte bound some nine times over.
static int reserve(byte_string* text, uint32_t n) {
  uint32_t need = text->len + n + 1;
  if (text->len < POOL_SIZE || need <= text->capacity) return 1;
  uint32_t want = text->len * 2;
  if (want > HEADER_CAPTURE_BYTES + 1) want = HEADER_CAPTURE_BYTES + 1;
  if (want < need) want = need;
  return byte_string_ready(text, want);
}

void header_capture(int descriptor, off_t start) {
  if (seek_start(descriptor, start) == -1) {
    die(111, errno, "failed to seek in mail", nullptr, nullptr, nullptr);
  }
  byte_string* text = &header_index.text;
  text->len = 0;
  // Room for an ordinary line from the start, so that short lines do not grow it step by step.
  byte_string line = {};
  if (!byte_string_ready(&line, 128)) die_nomem();
  uint32_t fields = 0;
  // The byte bound also holds for a single line, so a message with no newline in sight (or an
  // endless device) is read no further than the bound.
  while (text->len < HEADER_CAPTURE_BYTES) {
    int complete;
    if (get_line_bounded(&standard_input_buffer, &line, &complete, '\n',
                         HEADER_CAPTURE_BYTES - text->len) == -1) {
      die(111, errno, "read(config)", nullptr, nullptr, nullptr);
    }
    if (line.len == 0) break;
    // The line that would be one field too many is left out, so the last field kept is whole.
    if (begins_field(&line) && line.len != 1 && ++fields > HEADER_CAPTURE_FIELDS) break;
    if (!reserve(text, line.len) || !byte_string_append_string(text, &line)) die_nomem();
    // A line cut by the end of input or by the bound ends the header; the index takes it as a
    // last line whose newline is missing.
    if (!complete) break;
    if (line.len == 1) break;
  }
  byte_string_release(&line);
  if (header_index_build(&header_index, text->data, text->len) != 0) die_nomem();
}

void header_capture_step(const char** from, const char** sender) {
  *from = nullptr;
  *sender = nullptr;
  // The message starts where the caller left descriptor 0, which need not be the file's start.
  off_t start = seek_current(0);
  if (start == -1) return;
  header_capture(0, start);
  if (seek_start(0, start) == -1) {
    die(111, errno, "failed to read in stdin", nullptr, nullptr, nullptr);
  }
  *from = header_value("from");
  *sender = header_value("sender");
}

}  // namespace postlet
