// address_parse.h: extraction of the addresses and comments of an address field.
#pragma once

#include "lib/byte_string.h"

namespace postlet {

// Entries back to back in text order, each a type letter (A address, C comment or phrase),
// a non-empty text without NUL, and a NUL, so each text is usable in place.
using address_list = byte_string;

inline constexpr char ADDRESS_ENTRY = 'A';
inline constexpr char COMMENT_ENTRY = 'C';

// Replaces the list's content with the entries of text; strict nonzero refuses what is not a
// clean list of addresses. 0 done; 1 out of memory; 2 refused in strict mode, or a quoted
// string left open in either mode. After 1 or 2 the list's content is meaningless. All working
// storage is released before returning; the list keeps its own.
[[nodiscard]] int address_parse(address_list* list, const byte_string* text, int strict);

}  // namespace postlet
