// header_index.cc: field names to values over the captured header text.
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

// Just past the first newline at or after p, or n.
static uint32_t next_line(const char* text, uint32_t p, uint32_t n) {
  uint32_t i = p + bytes_find(text + p, n - p, '\n');
  return i < n ? i + 1 : n;
}

// The pending field: its value runs from v, blanks after the colon skipped, to end.
static int insert_field(keyed_table* t, const byte_string* name, const char* text, uint32_t v,
                        uint32_t end) {
  while (v < end && is_blank(text[v]))
    ++v;
  return keyed_table_insert(t, 1, name->data, name->len, 0, text + v, end - v);
}

// The walk over the lines; -1 when an insertion or the name buffer ran out of storage.
static int index_fields(keyed_table* t, byte_string* name, const char* text, uint32_t n) {
  int pending = 0;
  uint32_t value_start = 0;
  uint32_t p = 0;
  while (p < n) {
    if (is_blank(text[p])) {
      p = next_line(text, p, n);
      continue;
    }
    // An mbox "From " line is no field, whatever colons it holds; it ends the one before it.
    if (n - p >= 5 && bytes_compare(text + p, 5, "From ") == 0) {
      if (pending && insert_field(t, name, text, value_start, p) == -1) return -1;
      pending = 0;
      p = next_line(text, p, n);
      continue;
    }
    // The colon is sought to the end of the text, not of the line: a colon-less line among the
    // fields joins the next field's name.
    uint32_t c = p + bytes_find(text + p, n - p, ':');
    if (pending && insert_field(t, name, text, value_start, p) == -1) return -1;
    if (c == p || c == n) return 0;
    if (!byte_string_copy(name, text + p, c - p)) return -1;
    case_lower(name->data, name->len);
    pending = 1;
    value_start = c + 1;
    p = next_line(text, c, n);
  }
  if (pending && insert_field(t, name, text, value_start, n) == -1) return -1;
  return 0;
}

int header_index_build(header_index_state* index, const char* text, uint32_t n) {
  keyed_table* t = &index->table;
  if (keyed_table_init(t, 1, 32, keyed_table_hash) == -1) return 1;
  byte_string name = {};
  int r = index_fields(t, &name, text, n);
  byte_string_release(&name);
  if (r == -1) {
    keyed_table_free(t);
    return 1;
  }
  return 0;
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
