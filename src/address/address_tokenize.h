// address_tokenize.h: splits an address field into the lexical tokens of a token_stream.
#pragma once

#include "lib/byte_string.h"

namespace postlet {

// Tokens back to back, each a NUL, its text (never a NUL) and a type letter: W atom,
// Q quoted string, D domain literal, C comment, S one special or one white-space byte.
using token_stream = byte_string;

inline constexpr char TOKEN_ATOM = 'W';
inline constexpr char TOKEN_QUOTED = 'Q';
inline constexpr char TOKEN_LITERAL = 'D';
inline constexpr char TOKEN_COMMENT = 'C';
inline constexpr char TOKEN_SPECIAL = 'S';

// The 13 specials ( ) < > @ , ; : \ " . [ ]; filled on the first call that needs it, then kept.
extern byte_string address_specials;

// Replaces the stream's content with the tokens of text; specials null means address_specials.
// 0 done; 1 out of memory; 2 a quoted string still open at the end. After 1 or 2 the stream
// holds an incomplete prefix. The text is not changed.
[[nodiscard]] int address_tokenize(token_stream* stream, const byte_string* text,
                                   const byte_string* specials);

}  // namespace postlet
