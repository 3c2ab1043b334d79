// header_index_fuzz.cc: the field index over arbitrary header text, and the From and Sender values.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "header/header_index.h"
#include "lib/pool.h"

using namespace postlet;

static bool inside(const char* p, uint32_t n, const char* text, uint32_t size) {
  return p >= text && p + n <= text + size;
}

// Every value of the key points into the text, the first one where keyed_table_first said.
static uint32_t check_values(const char* key, const char* text, uint32_t size) {
  const uint32_t klen = static_cast<uint32_t>(std::strlen(key));
  const char* v;
  uint32_t n;
  uint32_t count = 0;
  for (int r = keyed_table_first(&header_index.table, key, klen, &v, &n); r == 1;
       r = keyed_table_next(&header_index.table, key, klen, &v, &n)) {
    FUZZ_CHECK(inside(v, n, text, size));
    ++count;
    FUZZ_CHECK(count <= size);
  }
  return count;
}

// header_value's copy: the first value without one final newline, NUL-terminated.
static void check_value(const char* name, const char* text, uint32_t size) {
  const char* first;
  uint32_t n;
  int found = keyed_table_first(&header_index.table, name, static_cast<uint32_t>(std::strlen(name)),
                                &first, &n);
  const char* copy = header_value(name);
  if (found != 1) {
    FUZZ_CHECK(copy == nullptr);
    return;
  }
  FUZZ_CHECK(copy != nullptr);
  if (n && first[n - 1] == '\n') --n;
  FUZZ_CHECK(std::memcmp(copy, first, n) == 0);
  FUZZ_CHECK(copy[n] == '\0');
  FUZZ_CHECK(inside(first, n, text, size));
  pool_free(const_cast<char*>(copy));
}

// Whether name stands somewhere in text followed by SPACE and TAB bytes, then a colon.
static bool names_field(const std::string& text, const std::string& name) {
  for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    size_t colon = text.find_first_not_of(" \t", at + name.size());
    if (colon != std::string::npos && text[colon] == ':') return true;
  }
  return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return -1;
  // An exactly sized copy, so a read past the text's end is caught.
  char* text = static_cast<char*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(text, data, size);
  const uint32_t n = static_cast<uint32_t>(size);
  FUZZ_CHECK(header_index_build(&header_index, text, n) == 0);
  FUZZ_CHECK(std::memcmp(text, data, size) == 0);
  uint32_t froms = check_values("from", text, n);
  uint32_t senders = check_values("sender", text, n);
  // A text that holds no "from" before blanks and a colon cannot have a field of that name.
  std::string lowered(reinterpret_cast<const char*>(data), size);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  if (!names_field(lowered, "from")) FUZZ_CHECK(froms == 0);
  if (!names_field(lowered, "sender")) FUZZ_CHECK(senders == 0);
  check_value("from", text, n);
  check_value("sender", text, n);
  keyed_table_free(&header_index.table);
  std::free(text);
  return 0;
}
