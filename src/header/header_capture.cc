// header_capture.cc: the header lines of standard input, ended where qmail-inject ends them.
#include "header/header_capture.h"

#include <cerrno>

#include "header/header_index.h"
#include "lib/byte_string.h"
#include "lib/diagnostics.h"
#include "lib/in_buffer.h"
#include "lib/pool.h"
#include "lib/text.h"

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

static int is_name_byte(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u > 32 && u < 127;
}

static int is_blank(char c) {
  return c == ' ' || c == '\t';
}

// The line kinds of qmail-inject's header walk.
enum line_kind { FIELD, CONTINUATION, END, BODY, UNDECIDED };

// A field has a colon, and before it (blanks before the colon aside) a name of one or more
// bytes from 33 to 126. A line the byte bound cut before any colon is undecided while what was
// read could still begin such a name.
static line_kind kind_of(const byte_string* line, int after_field, int cut) {
  const char* s = line->data;
  uint32_t n = line->len;
  if (n == 1 && s[0] == '\n') return END;
  if (after_field && is_blank(s[0])) return CONTINUATION;
  if (n >= 5 && bytes_compare(s, 5, "From ") == 0) return FIELD;
  uint32_t colon = bytes_find(s, n, ':');
  uint32_t name = colon;
  while (name && is_blank(s[name - 1]))
    --name;
  for (uint32_t i = 0; i < name; ++i) {
    if (!is_name_byte(s[i])) return BODY;
  }
  if (colon == n) return cut ? UNDECIDED : BODY;
  return name ? FIELD : BODY;
}

void header_capture(int keep_crlf) {
  header_capture_record* r = &header_capture_result;
  *r = header_capture_record{};
  r->captured = 1;
  byte_string* text = &header_index.text;
  text->len = 0;
  // Room for an ordinary line from the start, so that short lines do not grow it step by step.
  byte_string line = {};
  if (!byte_string_ready(&line, 128)) die_nomem();
  uint32_t fields = 0;
  uint32_t field_start = 0;
  int after_field = 0;
  for (;;) {
    // The byte bound also holds for a single line, so a message with no newline in sight (or an
    // endless device) is read no further than the bound.
    if (text->len >= HEADER_CAPTURE_BYTES) {
      // The next line may still continue the last field.
      r->cut = 1;
      r->header = after_field ? field_start : text->len;
      break;
    }
    uint32_t limit = HEADER_CAPTURE_BYTES - text->len;
    int complete;
    if (get_line_bounded(&standard_input_buffer, &line, &complete, '\n', limit) == -1) {
      die(111, errno, "read(config)", nullptr, nullptr, nullptr);
    }
    if (line.len == 0) {
      r->ended = 1;
      r->header = text->len;
      break;
    }
    int cut = !complete && line.len == limit;
    if (!complete && !cut) r->ended = 1;
    if (!keep_crlf && line.len >= 2 && complete && line.data[line.len - 2] == '\r') {
      line.data[line.len - 2] = '\n';
      --line.len;
    } else if (!keep_crlf && cut && line.data[line.len - 1] == '\r') {
      // Whether this CR stays depends on the byte after it, which the pump reads.
      r->held_cr = 1;
      --line.len;
    }
    uint32_t at = text->len;
    line_kind kind = line.len ? kind_of(&line, after_field, cut) : UNDECIDED;
    if (kind == FIELD || kind == UNDECIDED) {
      // The line that would be one field too many ends the header that is kept; it has been
      // read, so it stays in the text for the injector.
      if (++fields > HEADER_CAPTURE_FIELDS) {
        r->cut = 1;
        r->header = at;
      }
      field_start = at;
      after_field = 1;
    }
    if (!reserve(text, line.len) || !byte_string_append_string(text, &line)) die_nomem();
    if (r->cut) break;
    if (kind == END) {
      r->header = text->len;
      break;
    }
    if (kind == BODY) {
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
}

void header_capture_index() {
  if (header_index_build(&header_index, header_index.text.data, header_capture_result.header) != 0)
    die_nomem();
}

}  // namespace postlet
