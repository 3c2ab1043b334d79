// recipient_fields.cc: the recipient fields of the captured header, as qmail-inject -H reads them.
#include "front/recipient_fields.h"

#include <cstdint>

#include "header/header_capture.h"
#include "header/header_index.h"
#include "lib/text.h"

namespace postlet {

enum field_kind : uint8_t { OTHER, RECIPIENTS, RESENT_RECIPIENTS, RESENT };

struct known_field {
  char name[18];  // lower case
  field_kind kind;
};

// The fields qmail-inject knows that decide where -H sends: any of the Resent- ones makes only
// the Resent- recipients count.
static constexpr known_field KNOWN_FIELDS[] = {{"to", RECIPIENTS},
                                               {"cc", RECIPIENTS},
                                               {"bcc", RECIPIENTS},
                                               {"apparently-to", RECIPIENTS},
                                               {"resent-to", RESENT_RECIPIENTS},
                                               {"resent-cc", RESENT_RECIPIENTS},
                                               {"resent-bcc", RESENT_RECIPIENTS},
                                               {"resent-sender", RESENT},
                                               {"resent-from", RESENT},
                                               {"resent-reply-to", RESENT},
                                               {"resent-date", RESENT},
                                               {"resent-message-id", RESENT}};

static field_kind kind_of(const char* name, uint32_t n) {
  // Every name qmail-inject knows here begins with one of these, and none is longer than 17.
  if (n < 2 || n > 17) return OTHER;
  char first = static_cast<char>(name[0] | 32);
  if (first != 't' && first != 'c' && first != 'b' && first != 'a' && first != 'r') return OTHER;
  for (const known_field& f : KNOWN_FIELDS) {
    uint32_t i = 0;
    for (; i < n && f.name[i]; ++i) {
      char c = name[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      if (c != f.name[i]) break;
    }
    if (i == n && !f.name[i]) return f.kind;
  }
  return OTHER;
}

static int is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

static int is_special(char c) {
  switch (c) {
  case '<':
  case '>':
  case '@':
  case ',':
  case ';':
  case ':':
  case '\\':
  case '"':
  case '[':
  case ']':
  case '(':
  case ')':
    return 1;
  default:
    return 0;
  }
}

// Just past the comment (nested) or quoted string that opens at i, backslash escapes honoured;
// 0 when it is never closed.
static uint32_t skip_closed(const char* v, uint32_t i, uint32_t n) {
  int comment = v[i] == '(';
  uint32_t depth = 1;
  for (++i; i < n; ++i) {
    char c = v[i];
    if (c == '\\') {
      ++i;
    } else if (comment && c == '(') {
      ++depth;
    } else if (c == (comment ? ')' : '"') && --depth == 0) {
      return i + 1;
    }
  }
  return 0;
}

// qmail-inject takes no address only from blanks, comments, commas and empty groups such as
// "undisclosed-recipients: ;". Anything else may be one, and so counts as one.
static int may_hold_address(const char* v, uint32_t n) {
  int phrase = 0;    // words that only a colon turns into a group's name
  int in_group = 0;  // after the colon, before the semicolon
  uint32_t i = 0;
  while (i < n) {
    char c = v[i];
    // Blanks and the commas between entries separate; nothing else is taken past here.
    if (is_space(c) || (c == ',' && !phrase && !in_group)) {
      ++i;
    } else if (c == '(' || (c == '"' && !in_group)) {
      uint32_t next = skip_closed(v, i, n);
      if (!next) return 1;
      if (c == '"') phrase = 1;
      i = next;
    } else if (in_group) {
      if (c != ';') return 1;
      in_group = 0;
      ++i;
    } else if (c == ':') {
      in_group = 1;
      phrase = 0;
      ++i;
    } else if (c == '.' || (static_cast<unsigned char>(c) > 32 && !is_special(c))) {
      phrase = 1;
      ++i;
    } else {
      return 1;
    }
  }
  return phrase || in_group;
}

int header_names_no_recipient() {
  const header_capture_record* capture = &header_capture_result;
  if (!capture->captured || capture->cut) return 0;
  const char* text = header_index.text.data;
  uint32_t n = capture->header;
  int resent = 0;
  int addressed = 0;
  int resent_addressed = 0;
  uint32_t p = 0;
  while (p < n) {
    // A field is its first line and the lines that begin with a blank after it.
    uint32_t end = p;
    do {
      end += bytes_find(text + end, n - end, '\n');
      end = end < n ? end + 1 : n;
    } while (end < n && (text[end] == ' ' || text[end] == '\t'));
    uint32_t colon = p + bytes_find(text + p, end - p, ':');
    if (colon < end && !(end - p >= 5 && bytes_compare(text + p, 5, "From ") == 0)) {
      uint32_t name = colon;
      while (name > p && (text[name - 1] == ' ' || text[name - 1] == '\t'))
        --name;
      field_kind kind = kind_of(text + p, name - p);
      resent |= kind == RESENT || kind == RESENT_RECIPIENTS;
      if (kind == RECIPIENTS || kind == RESENT_RECIPIENTS) {
        int found = may_hold_address(text + colon + 1, end - colon - 1);
        (kind == RECIPIENTS ? addressed : resent_addressed) |= found;
      }
    }
    p = end;
  }
  return resent ? !resent_addressed : !addressed;
}

}  // namespace postlet
