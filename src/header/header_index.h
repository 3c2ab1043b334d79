// header_index.h: the header as qmail-inject reads it: its text, its fields in order and by name.
#pragma once

#include <cstdint>

#include "header/keyed_table.h"
#include "lib/byte_string.h"

namespace postlet {

// What a line of the header is to qmail-inject.
enum header_line_kind : int32_t {
  HEADER_FIELD,         // the first line of a field
  HEADER_CONTINUATION,  // a line that begins with SPACE or TAB after a field or an mbox line
  HEADER_MBOX,          // a line that begins "From ": qmail-inject's mbox line, no field
  HEADER_END,           // the empty line
  HEADER_BODY,          // any other line: the header ended before it
  HEADER_UNDECIDED      // a line cut short that could still become a field
};

// One field, as offsets into the text: its first line starts at start; its name is the
// name_length bytes there (blanks before the colon left out); its value runs from value (the
// blanks after the colon skipped) to end, continuation lines and the final newline included.
struct header_field_record {
  uint32_t start;
  uint32_t name_length;
  uint32_t value;
  uint32_t end;  // 0 while the field may still go on
};

struct header_index_state {
  keyed_table table;    // lower-cased field name (copied) to value (pointing into text)
  byte_string text;     // the header lines as read, after the line-end rule; never released
  byte_string records;  // header_field_record after header_field_record, in header order
  uint32_t fields;      // records stored
  int32_t after_field;  // the last line was a field's or an mbox line's: a blank may continue it
};

// The one process-wide index, built once by header capture.
extern header_index_state header_index;

// Classifies the n-byte line at offset at of index->text, which follows every line classified
// before it, and records it: a field opens a record, any line but a continuation ends the one
// before. cut: the line may go on past its n bytes. The kind, or -1 when storage ran out.
[[nodiscard]] int header_index_line(header_index_state* index, uint32_t at, uint32_t n, int cut);

// Ends the fields where the header ends, at offset end of the text: a field that starts there or
// later (one a bound cut) is left out. Then builds the table. 0, or 1 when storage ran out.
[[nodiscard]] int header_index_finish(header_index_state* index, uint32_t end);

// The same walk over n bytes of text that were read before: index->text borrows them (they must
// outlive the index and are never grown), and each line is classified and recorded up to where
// the header ends. 0, or 1 when storage ran out.
[[nodiscard]] int header_index_build(header_index_state* index, const char* text, uint32_t n);

// The i-th field of the header, in header order; i below header_index.fields.
const header_field_record* header_field_at(uint32_t i);

// The first value of the field (name in lower case) in place, without its final newline: 1 with
// *value and *n set, or 0 when there is no such field or nothing was indexed. Allocates nothing.
int header_field(const char* name, const char** value, uint32_t* n);

// A NUL-terminated copy of the first value of the field (name in lower case) without its final
// newline, owned by the caller; null when there is no such field or nothing was indexed.
// Exhausted storage ends the process with die_nomem.
const char* header_value(const char* name);

// Lower-cases the n bytes in place; only A to Z change.
void case_lower(char* bytes, uint32_t n);

}  // namespace postlet
