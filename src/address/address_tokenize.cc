// address_tokenize.cc: the tokenizer for address fields, staging its output 128 bytes at a time.
#include "address/address_tokenize.h"

#include <cstdint>

#include "lib/text.h"

namespace postlet {

constinit byte_string address_specials = {};

static constexpr char SPECIAL_CHARACTERS[] = "()<>@,;:\\\".[]";
static constexpr uint32_t STAGING_SIZE = 128;

// Output goes through a small buffer so that the stream grows in blocks, not byte by byte.
struct token_output {
  token_stream* stream;
  uint32_t used;
  char staging[STAGING_SIZE];
};

static int output_flush(token_output* out) {
  if (!byte_string_append(out->stream, out->staging, out->used)) return 0;
  out->used = 0;
  return 1;
}

static int output_byte(token_output* out, char c) {
  out->staging[out->used++] = c;
  if (out->used == STAGING_SIZE) return output_flush(out);
  return 1;
}

// Keeps an n-byte sequence in one block: with no more than n bytes free, flush first.
static int output_keep_together(token_output* out, uint32_t n) {
  if (STAGING_SIZE - out->used <= n) return output_flush(out);
  return 1;
}

static int is_white(char c) {
  return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// The specials as one bit per byte value, made once per call, so that the test of each input
// byte is a shift instead of a search through the set.
struct byte_set {
  uint64_t bits[4];
};

static void byte_set_fill(byte_set* set, const byte_string* bytes) {
  *set = byte_set{};
  for (uint32_t i = 0; i < bytes->len; ++i) {
    auto b = static_cast<unsigned char>(bytes->data[i]);
    set->bits[b >> 6] |= uint64_t{1} << (b & 63);
  }
}

static int is_special(const byte_set* specials, char c) {
  auto b = static_cast<unsigned char>(c);
  return static_cast<int>((specials->bits[b >> 6] >> (b & 63)) & 1);
}

// Inside quoted strings, literals and comments a TAB or LF, escaped or not, reads as a space.
static char space_mapped(char c) {
  return c == '\t' || c == '\n' ? ' ' : c;
}

int address_tokenize(token_stream* stream, const byte_string* text, const byte_string* specials) {
  if (!specials) {
    if (!address_specials.data &&
        !byte_string_copy(&address_specials, SPECIAL_CHARACTERS, sizeof SPECIAL_CHARACTERS - 1))
      return 1;
    specials = &address_specials;
  }
  byte_set special_set;
  byte_set_fill(&special_set, specials);
  stream->len = 0;
  token_output out;
  out.stream = stream;
  out.used = 0;
  const char* in = text->data;
  const uint32_t n = text->len;
  uint32_t i = 0;
  while (i < n) {
    char c = in[i++];
    if (c == '"') {
      if (!output_byte(&out, '\0')) return 1;
      for (;;) {
        if (i == n) return 2;
        c = in[i++];
        if (c == '"') break;
        // A backslash as the last byte is kept, and the string is then found open.
        if (c == '\\' && i < n) c = in[i++];
        if (!output_byte(&out, space_mapped(c))) return 1;
      }
      if (!output_byte(&out, TOKEN_QUOTED)) return 1;
    } else if (c == '[') {
      if (!output_keep_together(&out, 2) || !output_byte(&out, '\0') || !output_byte(&out, '['))
        return 1;
      while (i < n) {
        c = in[i++];
        if (c == ']') break;
        if (c == '\\' && i < n) c = in[i++];
        if (!output_byte(&out, space_mapped(c))) return 1;
      }
      // An unclosed literal is closed at the end of the text as though the bracket were there.
      if (!output_byte(&out, ']') || !output_byte(&out, TOKEN_LITERAL)) return 1;
    } else if (c == '(') {
      if (!output_byte(&out, '\0')) return 1;
      uint32_t depth = 1;
      while (i < n) {
        c = in[i++];
        if (c == '(') {
          ++depth;
        } else if (c == '\\') {
          if (i < n) c = in[i++];
        } else if (c == ')') {
          if (--depth == 0) break;
        }
        if (!output_byte(&out, space_mapped(c))) return 1;
      }
      if (!output_byte(&out, TOKEN_COMMENT)) return 1;
    } else if (is_special(&special_set, c)) {
      if (!output_byte(&out, '\0') || !output_byte(&out, c) || !output_byte(&out, TOKEN_SPECIAL))
        return 1;
    } else if (is_white(c)) {
      if (!output_keep_together(&out, 3) || !output_byte(&out, '\0') || !output_byte(&out, ' ') ||
          !output_byte(&out, TOKEN_SPECIAL))
        return 1;
    } else {
      if (!output_byte(&out, '\0')) return 1;
      // A backslash here is no special (the set in use lacks it) and escapes the next byte,
      // the atom's first byte included; an escaped NUL would break the stream, so it is a space.
      for (;;) {
        if (c == '\\' && i < n) {
          c = in[i++];
          if (c == '\0') c = ' ';
        }
        if (!output_byte(&out, c)) return 1;
        if (i == n || is_special(&special_set, in[i])) break;
        c = in[i++];
        // The white-space byte that ends an atom is taken with it and yields no token.
        if (is_white(c)) break;
      }
      if (!output_byte(&out, TOKEN_ATOM)) return 1;
    }
  }
  return output_flush(&out) ? 0 : 1;
}

}  // namespace postlet
