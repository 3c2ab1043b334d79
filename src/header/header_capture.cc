// header_capture.cc: the header lines of standard input, ended where qmail-inject ends them.
#include "header/header_capture.h"

#include <cerrno>

#include "header/header_index.h"
#include "lib/byte_string.h"
#include "lib/diagnostics.h"
#include "lib/in_buffer.h"
#include "lib/pool.h"

namespace postlet {

constinit header_capture_record header_capture_result = {};

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

void header_capture(int keep_crlf) {
  header_capture_record* r = &header_capture_result;
  *r = header_capture_record{};
  r->captured = 1;
  header_index_state* index = &header_index;
  byte_string* text = &index->text;
  text->len = 0;
  index->records.len = 0;
  index->fields = 0;
  index->after_field = 0;
  // Room for an ordinary line from the start, so that short lines do not grow it step by step.
  byte_string line = {};
  if (!byte_string_ready(&line, 128)) die_nomem();
  uint32_t fields = 0;
  uint32_t field_start = 0;
  for (;;) {
    // The byte bound also holds for a single line, so a message with no newline in sight (or an
    // endless device) is read no further than the bound.
    if (text->len >= HEADER_CAPTURE_BYTES) {
      // The next line may still continue the last field.
      r->cut = 1;
      r->header = index->after_field ? field_start : text->len;
      break;
    }
    uint32_t limit = HEADER_CAPTURE_BYTES - text->len;
    int complete;
    if (get_line_bounded(&standard_input_buffer, &line, &complete, '\n', limit) == -1)
      die(111, errno, "failed to read the message", nullptr, nullptr, nullptr);
    if (line.len == 0) {
      r->ended = 1;
      r->header = text->len;
      break;
    }
    int cut = !complete && line.len == limit;
    if (!complete && !cut) r->ended = 1;
    // A CR is held only at the end of a line that has no newline, after which the capture
    // stops: no line here ever starts with one held.
    uint32_t n = keep_crlf ? line.len : line_ends_mend_line(&r->ends, line.data, line.len);
    uint32_t at = text->len;
    if (!reserve(text, n) || !byte_string_append(text, line.data, n)) die_nomem();
    // A line of a lone CR that the bound cut is undecided: the next byte decides what it is.
    int kind = n ? header_index_line(index, at, n, cut) : HEADER_UNDECIDED;
    if (kind == -1) die_nomem();
    if (kind == HEADER_FIELD || kind == HEADER_MBOX || kind == HEADER_UNDECIDED) {
      // The line that would be one field too many ends the header that is kept; it has been
      // read, so it stays in the text for the injector.
      if (++fields > HEADER_CAPTURE_FIELDS) {
        r->cut = 1;
        r->header = at;
        break;
      }
      field_start = at;
    }
    if (kind == HEADER_END) {
      r->header = text->len;
      break;
    }
    if (kind == HEADER_BODY) {
      r->header = at;
      break;
    }
    // A field cut by the byte bound is no field the identity may use.
    if (cut) {
      r->cut = 1;
      r->header = field_start;
      break;
    }
    if (!complete) {
      r->header = text->len;
      break;
    }
  }
  byte_string_release(&line);
  if (header_index_finish(index, r->header) != 0) die_nomem();
}

}  // namespace postlet
