// address_tokenize_fuzz.cc: the tokenizer over arbitrary bytes, with the default or chosen
// specials.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "address/address_tokenize.h"
#include "fuzz_support.h"

using namespace postlet;

// Every token is a NUL, a text without NUL and a type letter; a special is one byte.
static void check_stream(const token_stream* s) {
  if (s->len == 0) return;
  FUZZ_CHECK(s->data[0] == '\0');
  uint32_t at = 0;
  while (at < s->len) {
    uint32_t end = at + 1;
    while (end < s->len && s->data[end] != '\0')
      ++end;
    // Between the NUL at `at` and the next NUL (or the end): text, then the type letter.
    FUZZ_CHECK(end - at >= 2);
    char type = s->data[end - 1];
    FUZZ_CHECK(type == TOKEN_ATOM || type == TOKEN_QUOTED || type == TOKEN_LITERAL ||
               type == TOKEN_COMMENT || type == TOKEN_SPECIAL);
    uint32_t text_length = end - at - 2;
    if (type == TOKEN_SPECIAL) FUZZ_CHECK(text_length == 1);
    if (type == TOKEN_ATOM) FUZZ_CHECK(text_length >= 1);
    at = end;
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return -1;
  std::string input(reinterpret_cast<const char*>(data), size);
  // The first byte chooses between the default specials and a set taken from the input.
  std::string specials_bytes;
  bool custom = false;
  if (!input.empty()) {
    unsigned choice = static_cast<unsigned char>(input[0]);
    input.erase(0, 1);
    if (choice & 1) {
      custom = true;
      size_t k = std::min<size_t>((choice >> 1) % 16, input.size());
      specials_bytes = input.substr(0, k);
      input.erase(0, k);
      // A token's text is never a NUL, so no caller may name NUL a special.
      std::erase(specials_bytes, '\0');
    }
  }
  const std::string before = input;
  byte_string text = fuzz_view(input);
  byte_string specials = fuzz_view(specials_bytes);
  token_stream stream = {};
  int r = address_tokenize(&stream, &text, custom ? &specials : nullptr);
  FUZZ_CHECK(r == 0 || r == 2);
  FUZZ_CHECK(input == before);
  FUZZ_CHECK(text.len == before.size() && text.data == input.data());
  // Callers hand over NUL-terminated texts; a NUL inside a comment, quoted string or literal
  // would be stored and break the encoding, so only memory safety is checked for such texts.
  const bool nul_free = input.find('\0') == std::string::npos;
  if (r == 0 && nul_free) check_stream(&stream);
  // A second run over a stream that already holds tokens replaces them all.
  token_stream again = {};
  if (!byte_string_copy(&again, "junk", 4)) std::abort();
  int r2 = address_tokenize(&again, &text, custom ? &specials : nullptr);
  FUZZ_CHECK(r2 == r);
  if (r == 0) {
    FUZZ_CHECK(again.len == stream.len);
    FUZZ_CHECK(stream.len == 0 || std::memcmp(again.data, stream.data, stream.len) == 0);
  }
  byte_string_release(&again);
  byte_string_release(&stream);
  return 0;
}
