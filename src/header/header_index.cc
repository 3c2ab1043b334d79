// header_index.cc: the header's lines classified as qmail-inject reads them, its fields recorded
// in order and looked up by name.
#include "header/header_index.h"

#include "lib/diagnostics.h"
#include "lib/text.h"

namespace postlet {

constinit header_index_state header_index = {};

struct byte_map {
  char to[256];
};

// Worked out by the compiler: filling it at run time cost every header a thousand instructions.
static constexpr byte_map LOWER_TABLE = [] {
  byte_map m = {};
  for (int i = 0; i < static_cast<int>(sizeof m.to); ++i)
    m.to[i] = static_cast<char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
  return m;
}();

void case_lower(char* bytes, uint32_t n) {
  const char* lower = LOWER_TABLE.to;
  uint32_t i = 0;
  for (; n - i >= 4; i += 4) {
    bytes[i] = lower[static_cast<unsigned char>(bytes[i])];
    bytes[i + 1] = lower[static_cast<unsigned char>(bytes[i + 1])];
    bytes[i + 2] = lower[static_cast<unsigned char>(bytes[i + 2])];
    bytes[i + 3] = lower[static_cast<unsigned char>(bytes[i + 3])];
  }
  for (; i < n; ++i)
    bytes[i] = lower[static_cast<unsigned char>(bytes[i])];
}

static int is_blank(char c) {
  return c == ' ' || c == '\t';
}

static header_field_record* records_of(const header_index_state* index) {
  return static_cast<header_field_record*>(static_cast<void*>(index->records.data));
}

// qmail-inject's reading of a line: the empty line ends the header; after a field a blank
// begins a continuation; "From " begins its mbox line, whatever follows; anything else is a field
// when it has a colon and before it (blanks before the colon aside) a name of one or more bytes
// from 33 to 126. The colon is sought in the line alone. A line cut before any colon is undecided
// while what was read could still begin such a name.
static header_line_kind classify(const char* s, uint32_t n, int after_field, int cut,
                                 uint32_t* name, uint32_t* colon) {
  if (n == 1 && s[0] == '\n') return HEADER_END;
  if (after_field && is_blank(s[0])) return HEADER_CONTINUATION;
  if (n >= 5 && bytes_compare(s, 5, "From ") == 0) return HEADER_MBOX;
  *colon = bytes_find(s, n, ':');
  *name = *colon;
  while (*name && is_blank(s[*name - 1]))
    --*name;
  for (uint32_t i = 0; i < *name; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c <= 32 || c >= 127) return HEADER_BODY;
  }
  if (*colon == n) return cut && n ? HEADER_UNDECIDED : HEADER_BODY;
  return *name ? HEADER_FIELD : HEADER_BODY;
}

int header_index_line(header_index_state* index, uint32_t at, uint32_t n, int cut) {
  const char* s = index->text.data + at;
  uint32_t name = 0;
  uint32_t colon = 0;
  header_line_kind kind = classify(s, n, index->after_field, cut, &name, &colon);
  if (kind == HEADER_CONTINUATION) return kind;
  index->after_field = kind == HEADER_FIELD || kind == HEADER_MBOX;
  header_field_record* records = records_of(index);
  if (index->fields && !records[index->fields - 1].end) records[index->fields - 1].end = at;
  if (kind != HEADER_FIELD) return kind;
  byte_string* storage = &index->records;
  constexpr uint32_t SIZE = sizeof(header_field_record);
  if (storage->len + SIZE > storage->capacity) {
    // Doubling: a header of a thousand fields is copied some ten times, not some forty.
    uint32_t want = storage->capacity ? storage->capacity * 2 : 16 * SIZE;
    if (!byte_string_ready(storage, want)) return -1;
    records = records_of(index);
  }
  uint32_t value = colon + 1;
  while (value < n && is_blank(s[value]))
    ++value;
  records[index->fields++] = {.start = at, .name_length = name, .value = at + value, .end = 0};
  storage->len += SIZE;
  return kind;
}

int header_index_finish(header_index_state* index, uint32_t end) {
  keyed_table* t = &index->table;
  if (keyed_table_init(t, 1, 32, keyed_table_hash) == -1) return 1;
  header_field_record* records = records_of(index);
  while (index->fields && records[index->fields - 1].start >= end)
    --index->fields;
  index->records.len = index->fields * uint32_t{sizeof(header_field_record)};
  if (index->fields && !records[index->fields - 1].end) records[index->fields - 1].end = end;
  // The names are lower-cased where the table copies them from: an ordinary one on the stack, a
  // longer one in storage of its own.
  char space[64];
  byte_string long_name = {};
  const char* text = index->text.data;
  int stored = 1;
  for (uint32_t i = 0; stored && i < index->fields; ++i) {
    const header_field_record* f = &records[i];
    char* name = space;
    if (f->name_length > sizeof space) {
      stored = byte_string_ready(&long_name, f->name_length);
      name = long_name.data;
    }
    if (stored) {
      bytes_copy(name, f->name_length, text + f->start);
      case_lower(name, f->name_length);
      stored = keyed_table_insert(t, 1, name, f->name_length, 0, text + f->value,
                                  f->end - f->value) == 1;
    }
  }
  byte_string_release(&long_name);
  if (stored) return 0;
  keyed_table_free(t);
  return 1;
}

int header_index_build(header_index_state* index, const char* text, uint32_t n) {
  index->text = {.data = const_cast<char*>(text), .len = n, .capacity = n};
  index->records.len = 0;
  index->fields = 0;
  index->after_field = 0;
  uint32_t p = 0;
  while (p < n) {
    uint32_t line = bytes_find(text + p, n - p, '\n');
    line = line < n - p ? line + 1 : n - p;
    int kind = header_index_line(index, p, line, 0);
    if (kind == -1) return 1;
    if (kind == HEADER_END || kind == HEADER_BODY) break;
    p += line;
  }
  return header_index_finish(index, p);
}

const header_field_record* header_field_at(uint32_t i) {
  return records_of(&header_index) + i;
}

int header_field(const char* name, const char** value, uint32_t* n) {
  keyed_table* t = &header_index.table;
  if (!t->groups) return 0;
  if (keyed_table_first_text(t, name, text_length(name), value, n) != 1) return 0;
  // A last line cut short or left without its newline keeps all its bytes.
  if (*n && (*value)[*n - 1] == '\n') --*n;
  return 1;
}

const char* header_value(const char* name) {
  const char* value;
  uint32_t n;
  if (!header_field(name, &value, &n)) return nullptr;
  byte_string copy = {};
  if (!byte_string_copy(&copy, value, n)) die_nomem();
  if (!byte_string_append_byte(&copy, "")) die_nomem();
  return copy.data;
}

}  // namespace postlet
