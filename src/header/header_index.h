// header_index.h: the captured header text and its fields by lower-case name.
#pragma once

#include <cstdint>

#include "header/keyed_table.h"
#include "lib/byte_string.h"

namespace postlet {

struct header_index_state {
  keyed_table table;  // lower-cased field name (copied) to value (pointing into text)
  byte_string text;   // the header lines as captured; never released
};

// The one process-wide index, built once by header capture.
extern header_index_state header_index;

// Indexes the n bytes of text, which must outlive the index: 0, or 1 when storage ran out (the
// table is then released).
[[nodiscard]] int header_index_build(header_index_state* index, const char* text, uint32_t n);

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
