// recipient_fields.cc: whether qmail-inject -H would queue the header it is given for no one,
// worked out as qmail-inject itself reads the fields and their addresses.
#include "front/recipient_fields.h"

#include <cstdint>

#include "front/hand_over.h"
#include "header/header_capture.h"
#include "header/header_index.h"
#include "lib/byte_string.h"
#include "lib/diagnostics.h"
#include "lib/text.h"

namespace postlet {

// What qmail-inject does with a field it knows.
enum field_role : uint8_t {
  TAKES_RECIPIENTS = 1,         // To, Cc, Bcc, Apparently-To
  TAKES_RESENT_RECIPIENTS = 2,  // Resent-To, Resent-Cc, Resent-Bcc
  MARKS_RESENT = 4,             // any Resent- field makes only the Resent- recipients count
  MUST_PARSE = 8,               // a field it cannot parse makes it fail rather than queue
  DELETED_BY_F = 16,            // QMAILINJECT's f deletes it before it is read
  DELETED_BY_S = 32             // QMAILINJECT's s deletes it before it is read
};

struct known_field {
  uint8_t length;
  char name[18];  // lower case
  uint8_t roles;
};

// A row whose length is its name's.
template <uint32_t N>
static constexpr known_field field(const char (&name)[N], uint8_t roles) {
  static_assert(N <= sizeof known_field{}.name);
  known_field f = {.length = N - 1, .name = {}, .roles = roles};
  for (uint32_t i = 0; i < N; ++i)
    f.name[i] = name[i];
  return f;
}

static constexpr known_field KNOWN_FIELDS[] = {
    field("to", TAKES_RECIPIENTS),
    field("cc", TAKES_RECIPIENTS),
    field("bcc", TAKES_RECIPIENTS),
    field("apparently-to", TAKES_RECIPIENTS),
    field("resent-to", TAKES_RESENT_RECIPIENTS | MARKS_RESENT),
    field("resent-cc", TAKES_RESENT_RECIPIENTS | MARKS_RESENT),
    field("resent-bcc", TAKES_RESENT_RECIPIENTS | MARKS_RESENT),
    field("resent-sender", MARKS_RESENT | MUST_PARSE),
    field("resent-from", MARKS_RESENT | MUST_PARSE),
    field("resent-reply-to", MARKS_RESENT | MUST_PARSE),
    field("resent-date", MARKS_RESENT),
    field("resent-message-id", MARKS_RESENT),
    field("sender", MUST_PARSE),
    field("from", MUST_PARSE | DELETED_BY_F),
    field("reply-to", MUST_PARSE),
    field("return-receipt-to", MUST_PARSE),
    field("errors-to", MUST_PARSE),
    field("return-path", MUST_PARSE | DELETED_BY_S)};

// The lengths of the names, one bit each: most other fields are passed over at once.
static constexpr uint32_t KNOWN_LENGTHS = [] {
  uint32_t bits = 0;
  for (const known_field& f : KNOWN_FIELDS)
    bits |= uint32_t{1} << f.length;
  return bits;
}();

// The roles of the field of that name, compared as qmail-inject compares: A to Z as a to z.
static uint8_t roles_of(const char* name, uint32_t n) {
  if (n > 31 || !(KNOWN_LENGTHS >> n & 1)) return 0;
  for (const known_field& f : KNOWN_FIELDS) {
    if (f.length != n) continue;
    uint32_t i = 0;
    for (; i < n; ++i) {
      char c = name[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      if (c != f.name[i]) break;
    }
    if (i == n) return f.roles;
  }
  return 0;
}

// qmail-inject's tokens of an address field. A literal with nothing between its brackets is
// told apart: its rewriting treats "@[]" specially.
enum token : uint8_t {
  ATOM = 1,
  QUOTE,
  LITERAL,
  EMPTY_LITERAL,
  COMMENT,
  LEFT,
  RIGHT,
  AT,
  COMMA,
  SEMI,
  COLON,
  DOT
};

// The i-th byte of a field whose n bytes may lack the newline qmail-inject adds to a last line.
static char byte_at(const char* v, uint32_t n, uint32_t i) {
  return i < n ? v[i] : '\n';
}

// What each byte begins: a token of its own (its type), a space, a stray closing byte, an
// enclosed token, or an atom. Worked out by the compiler.
enum byte_class : uint8_t { SPACE = 32, STRAY, ENCLOSED, ATOM_BYTE };

struct class_map {
  uint8_t of[256];
};

static constexpr class_map BYTE_CLASSES = [] {
  class_map m = {};
  for (uint8_t& c : m.of)
    c = ATOM_BYTE;
  // Each special with its class, in pairs.
  constexpr char PAIRS[] = {' ', SPACE,    '\t', SPACE, '\r', SPACE,    '\n', SPACE,
                            ')', STRAY,    ']',  STRAY, '(',  ENCLOSED, '"',  ENCLOSED,
                            '[', ENCLOSED, '.',  DOT,   ',',  COMMA,    '@',  AT,
                            '<', LEFT,     '>',  RIGHT, ':',  COLON,    ';',  SEMI};
  for (uint32_t i = 0; i < sizeof PAIRS; i += 2)
    m.of[static_cast<unsigned char>(PAIRS[i])] = static_cast<uint8_t>(PAIRS[i + 1]);
  return m;
}();

static uint8_t class_of(char c) {
  return BYTE_CLASSES.of[static_cast<unsigned char>(c)];
}

// A closing byte goes on with an atom; a space, an opening byte or a special ends it.
static int ends_atom(char c) {
  uint8_t k = class_of(c);
  return k != ATOM_BYTE && k != STRAY;
}

// Past the comment, quoted string or literal that opens at *i: *i at its closing byte, *chars
// the bytes it holds. 0 when it is never closed.
static int skip_enclosed(const char* v, uint32_t n, uint32_t length, uint32_t* i, uint32_t* chars) {
  char open = v[*i];
  char close = open == '(' ? ')' : open == '"' ? '"' : ']';
  uint32_t level = 1;
  *chars = 0;
  while (level) {
    if (++*i >= length) return 0;
    char c = byte_at(v, n, *i);
    if (open == '(' && c == '(') {
      ++level;
    } else if (c == close) {
      --level;
    } else {
      if (c == '\\' && ++*i >= length) return 0;
      ++*chars;
    }
  }
  return 1;
}

// The tokens of the n bytes into types (room for n + 1); their number, or -1 when qmail-inject
// cannot parse the bytes (a stray ')' or ']', or something left open).
static int64_t tokenize(const char* v, uint32_t n, uint8_t* types) {
  uint32_t length = n + (n == 0 || v[n - 1] != '\n');
  uint32_t count = 0;
  for (uint32_t i = 0; i < length; ++i) {
    char c = byte_at(v, n, i);
    uint8_t type = class_of(c);
    uint32_t chars;
    if (type == SPACE) continue;
    if (type == STRAY) return -1;
    if (type == ENCLOSED) {
      if (!skip_enclosed(v, n, length, &i, &chars)) return -1;
      type = c == '(' ? COMMENT : c == '"' ? QUOTE : chars ? LITERAL : EMPTY_LITERAL;
    } else if (type == ATOM_BYTE) {
      // An atom runs, escapes taken, up to a byte that cannot go on with it.
      do {
        if (byte_at(v, n, i) == '\\' && ++i >= length) break;
        if (++i >= length) break;
      } while (!ends_atom(byte_at(v, n, i)));
      --i;
      type = ATOM;
    }
    types[count++] = type;
  }
  return count;
}

// Whether qmail-inject's rewriting leaves the address empty. The tokens run from right to left,
// as qmail-inject collects them: a leading '@' strips a route up to its colon (all of it without
// one), then one trailing '.' and one trailing '@' go. Anything left gets the default host at
// the least, so it is never empty.
static int rewrites_to_nothing(const uint8_t* address, uint32_t n) {
  if (n == 0) return 1;
  if (n >= 2 && address[1] == AT && address[0] == EMPTY_LITERAL) return 0;
  if (address[n - 1] == AT) {
    while (n && address[--n] != COLON) {
    }
  }
  if (n && address[0] == DOT) {
    ++address;
    --n;
  }
  if (n && address[0] == AT) {
    ++address;
    --n;
  }
  return n == 0;
}

// One address list walked as qmail-inject walks it, from right to left.
struct address_walk {
  uint8_t* address;  // the tokens of the address being collected, rightmost first
  uint32_t n;
  int named;  // an address came out that rewrites to someone
};

static void got_address(address_walk* w) {
  if (!rewrites_to_nothing(w->address, w->n)) w->named = 1;
  w->n = 0;
}

static void flush(address_walk* w) {
  if (w->n) got_address(w);
}

static int is_phrase(uint8_t type) {
  return type == COMMENT || type == ATOM || type == QUOTE || type == AT || type == DOT;
}

// Walks the tokens; w->named tells whether an address named someone, which holds even when the
// walk then fails: qmail-inject has taken the addresses right of the fault already. 1 when the
// list parsed, 0 when qmail-inject gives up on it.
static int walk_addresses(const uint8_t* types, uint32_t count, address_walk* w) {
  int in_group = 0;
  int word_ok = 1;
  int64_t t = static_cast<int64_t>(count) - 1;
  while (t >= 0) {
    switch (types[t]) {
    case SEMI:
      flush(w);
      if (in_group) return 0;
      in_group = 1;
      word_ok = 1;
      --t;
      break;
    case COLON:
      // The group's name goes, up to the comma before it.
      flush(w);
      if (!in_group) return 0;
      in_group = 0;
      while (t >= 0 && types[t] != COMMA)
        --t;
      if (t >= 0) --t;
      word_ok = 1;
      break;
    case RIGHT:
      // Everything back to '<' is the address, even nothing at all; then the phrase before it.
      flush(w);
      --t;
      while (t >= 0 && types[t] != LEFT)
        w->address[w->n++] = types[t--];
      got_address(w);
      if (t < 0) return 0;
      --t;
      while (t >= 0 && is_phrase(types[t]))
        --t;
      word_ok = 0;
      break;
    case ATOM:
    case QUOTE:
    case LITERAL:
    case EMPTY_LITERAL:
      // A word after a word begins another address.
      if (!word_ok) flush(w);
      word_ok = 0;
      w->address[w->n++] = types[t--];
      break;
    case COMMENT:
      --t;
      break;
    case COMMA:
      flush(w);
      word_ok = 1;
      --t;
      break;
    default:
      word_ok = 1;
      w->address[w->n++] = types[t--];
    }
  }
  flush(w);
  return 1;
}

// Parses one field's value as qmail-inject does: 1 when it parsed whole, 0 when not; *named
// whether it gave an address that rewrites to someone. scratch holds the tokens and the address
// being collected.
static int parse_field(const header_field_record* f, byte_string* scratch, int* named) {
  const char* text = header_index.text.data;
  uint32_t n = f->end - f->value;
  // An ordinary field fits in the space here; only a long one needs storage.
  uint8_t space[256];
  uint8_t* types = space;
  if (2 * (n + 1) > sizeof space) {
    if (!byte_string_ready(scratch, 2 * (n + 1))) die_nomem();
    types = static_cast<uint8_t*>(static_cast<void*>(scratch->data));
  }
  address_walk w = {.address = types + n + 1, .n = 0, .named = 0};
  int64_t count = tokenize(text + f->value, n, types);
  int parsed = count >= 0 && walk_addresses(types, static_cast<uint32_t>(count), &w);
  *named = w.named;
  return parsed;
}

int header_names_no_recipient() {
  const header_capture_record* capture = &header_capture_result;
  if (!capture->captured || capture->cut) return 0;
  byte_string scratch = {};
  int resent = 0;
  int named = 0;
  int resent_named = 0;
  uint32_t fields = header_index.fields;
  const char* text = header_index.text.data;
  for (uint32_t i = 0; i < fields; ++i) {
    const header_field_record* f = header_field_at(i);
    uint8_t roles = roles_of(text + f->start, f->name_length);
    resent |= (roles & MARKS_RESENT) != 0;
    if (!(roles & (TAKES_RECIPIENTS | TAKES_RESENT_RECIPIENTS))) continue;
    int field_named;
    (void)parse_field(f, &scratch, &field_named);
    (roles & TAKES_RECIPIENTS ? named : resent_named) |= field_named;
  }
  int no_one = !(resent ? resent_named : named);
  if (no_one) {
    // A field qmail-inject must parse and cannot makes it fail before it queues anything, and
    // say why itself. QMAILINJECT's letters delete fields of these alone.
    auto deleted = static_cast<uint8_t>((injector_option('f') ? DELETED_BY_F : 0) |
                                        (injector_option('s') ? DELETED_BY_S : 0));
    for (uint32_t i = 0; no_one && i < fields; ++i) {
      const header_field_record* f = header_field_at(i);
      uint8_t roles = roles_of(text + f->start, f->name_length);
      int field_named;
      if ((roles & MUST_PARSE) && !(roles & deleted) && !parse_field(f, &scratch, &field_named))
        no_one = 0;
    }
  }
  byte_string_release(&scratch);
  return no_one;
}

}  // namespace postlet
