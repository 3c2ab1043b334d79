// address_parse.cc: the backward walk over a token stream that assembles addresses and phrases.
#include "address/address_parse.h"

#include <cstdint>

#include "address/address_tokenize.h"

namespace postlet {

// What the walk has taken last, moving from the end of an address towards its start.
static constexpr int STATE_NOTHING = 0;
static constexpr int STATE_DOMAIN_WORD = 1;  // or a word of an address without at sign
static constexpr int STATE_DOMAIN_DOT = 2;   // in lenient mode also any stray dot
static constexpr int STATE_AT = 3;
static constexpr int STATE_LOCAL_WORD = 4;
static constexpr int STATE_LOCAL_DOT = 5;

// The list and both working texts are built back to front; one reversal of the list at the end
// puts everything in text order.
struct address_walk {
  address_list* list;
  byte_string address;
  byte_string phrase;
  int state;
  int route;   // inside angle brackets: words may abut and a comma does not separate
  int naming;  // tokens to the left belong to a display name or group name
  int strict;
};

// Putting bytes in front of a text kept reversed is appending them reversed.
static int put_in_front(byte_string* s, const char* bytes, uint32_t n) {
  if (!byte_string_ready_plus(s, n)) return 0;
  char* to = s->data + s->len;
  for (uint32_t k = 0; k < n; ++k)
    to[k] = bytes[n - 1 - k];
  s->len += n;
  return 1;
}

// Trims spaces at both ends and reduces runs to one; being symmetric, it works on reversed text.
static void compact_spaces(byte_string* s) {
  uint32_t kept = 0;
  int gap = 0;
  for (uint32_t k = 0; k < s->len; ++k) {
    char c = s->data[k];
    if (c == ' ') {
      gap = kept != 0;
      continue;
    }
    if (gap) s->data[kept++] = ' ';
    gap = 0;
    s->data[kept++] = c;
  }
  s->len = kept;
}

// In reverse: NUL, text, type letter; after the final reversal the letter leads and NUL ends.
static int add_entry(address_list* list, const byte_string* text, char type) {
  if (text->len > UINT32_MAX - 2 || !byte_string_ready_plus(list, text->len + 2)) return 0;
  char* to = list->data + list->len;
  *to++ = '\0';
  for (uint32_t k = 0; k < text->len; ++k)
    *to++ = text->data[k];
  *to = type;
  list->len += text->len + 2;
  return 1;
}

// The address goes in before the phrase, so that the phrase stands first once reversed.
static int emit(address_walk* w) {
  if (w->address.len && !add_entry(w->list, &w->address, ADDRESS_ENTRY)) return 0;
  compact_spaces(&w->phrase);
  if (w->phrase.len && !add_entry(w->list, &w->phrase, COMMENT_ENTRY)) return 0;
  w->address.len = 0;
  w->phrase.len = 0;
  return 1;
}

static int take_word(address_walk* w, const char* text, uint32_t n) {
  int state = w->state;
  if (!w->route && (state == STATE_DOMAIN_WORD || state == STATE_LOCAL_WORD)) {
    // Two words side by side outside angle brackets.
    if (w->strict) return 2;
    if (!emit(w)) return 1;
    state = STATE_NOTHING;
  }
  if (!put_in_front(&w->address, text, n)) return 1;
  w->state =
      state == STATE_NOTHING || state == STATE_DOMAIN_DOT ? STATE_DOMAIN_WORD : STATE_LOCAL_WORD;
  return 0;
}

static int take_special(address_walk* w, const char* text, uint32_t n) {
  // A special token holds one byte; anything else can only come from NUL bytes in the input,
  // and its text is then kept like a stray special's.
  char c = n == 1 ? text[0] : '\0';
  switch (c) {
  case ' ':
    return 0;
  case ',':
    if (w->route) return put_in_front(&w->address, text, n) ? 0 : 1;
    w->state = STATE_NOTHING;
    return emit(w) ? 0 : 1;
  case ';':
    w->state = STATE_NOTHING;
    return emit(w) ? 0 : 1;
  case '>':
    w->state = STATE_NOTHING;
    w->route = 1;
    return emit(w) ? 0 : 1;
  case '<':
    w->state = STATE_NOTHING;
    w->route = 0;
    w->naming = 1;
    return emit(w) ? 0 : 1;
  case ':':
    w->route = 0;
    w->naming = 1;
    return 0;
  case '.':
    // Strict mode wants a word on the right of every dot.
    if (w->state == STATE_LOCAL_WORD) {
      w->state = STATE_LOCAL_DOT;
    } else if (w->strict && w->state != STATE_DOMAIN_WORD) {
      return 2;
    } else {
      w->state = STATE_DOMAIN_DOT;
    }
    return put_in_front(&w->address, text, n) ? 0 : 1;
  case '@':
    // A word on the right, and so also no second at sign.
    if (w->strict && w->state != STATE_DOMAIN_WORD) return 2;
    w->state = STATE_AT;
    return put_in_front(&w->address, text, n) ? 0 : 1;
  default:
    return put_in_front(&w->address, text, n) ? 0 : 1;
  }
}

static int is_phrase_end(char type, const char* text, uint32_t n) {
  return type == TOKEN_SPECIAL && n == 1 && (text[0] == ',' || text[0] == ';' || text[0] == '>');
}

static int take_token(address_walk* w, char type, const char* text, uint32_t n) {
  if (w->naming) {
    if (!is_phrase_end(type, text, n)) return put_in_front(&w->phrase, text, n) ? 0 : 1;
    w->naming = 0;
  }
  switch (type) {
  case TOKEN_COMMENT:
    if (!put_in_front(&w->phrase, text, n) || !put_in_front(&w->phrase, " ", 1)) return 1;
    return 0;
  case TOKEN_ATOM:
  case TOKEN_QUOTED:
  case TOKEN_LITERAL:
    return take_word(w, text, n);
  default:
    // Other letters only arise from NUL bytes in the input; they are kept like stray specials.
    return take_special(w, text, n);
  }
}

static int walk_tokens(address_walk* w, const token_stream* stream) {
  const char* data = stream->data;
  uint32_t end = stream->len;
  while (end) {
    // The type letter is the token's last byte and its text runs back to the NUL before it.
    uint32_t type_at = end - 1;
    uint32_t start = type_at;
    while (start && data[start - 1] != '\0')
      --start;
    int result = take_token(w, data[type_at], data + start, type_at - start);
    if (result) return result;
    end = start ? start - 1 : 0;
  }
  return emit(w) ? 0 : 1;
}

static void reverse_bytes(char* bytes, uint32_t n) {
  if (n < 2) return;
  for (uint32_t low = 0, high = n - 1; low < high; ++low, --high) {
    char c = bytes[low];
    bytes[low] = bytes[high];
    bytes[high] = c;
  }
}

int address_parse(address_list* list, const byte_string* text, int strict) {
  list->len = 0;
  token_stream stream = {};
  int result = address_tokenize(&stream, text, nullptr);
  if (result) {
    byte_string_release(&stream);
    return result;
  }
  address_walk w = {};
  w.list = list;
  w.strict = strict;
  // The stream's length bounds both texts, so the walk does not grow them; should these fail,
  // the first put_in_front reports it.
  (void)byte_string_ready(&w.address, stream.len);
  (void)byte_string_ready(&w.phrase, stream.len);
  result = walk_tokens(&w, &stream);
  if (result == 0) reverse_bytes(list->data, list->len);
  byte_string_release(&w.phrase);
  byte_string_release(&w.address);
  byte_string_release(&stream);
  return result;
}

}  // namespace postlet
