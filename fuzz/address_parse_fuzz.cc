// address_parse_fuzz.cc: both modes of the extraction over arbitrary bytes.
#include <cstdint>
#include <cstring>
#include <string>

#include "address/address_parse.h"
#include "address/address_tokenize.h"
#include "fuzz_support.h"

using namespace postlet;

// A finished list: entries of type A or C, each a non-empty text without NUL and its NUL;
// comments without outer or doubled spaces.
static void check_list(const std::string& list) {
  size_t at = 0;
  while (at < list.size()) {
    char type = list[at];
    FUZZ_CHECK(type == ADDRESS_ENTRY || type == COMMENT_ENTRY);
    size_t end = list.find('\0', at + 1);
    FUZZ_CHECK(end != std::string::npos);
    std::string text = list.substr(at + 1, end - at - 1);
    FUZZ_CHECK(!text.empty());
    if (type == COMMENT_ENTRY) {
      FUZZ_CHECK(text.front() != ' ' && text.back() != ' ');
      FUZZ_CHECK(text.find("  ") == std::string::npos);
    }
    at = end + 1;
  }
}

static int parse(std::string& input, int strict, std::string* out) {
  const std::string before = input;
  byte_string text = fuzz_view(input);
  address_list list = {};
  int r = address_parse(&list, &text, strict);
  FUZZ_CHECK(input == before);
  out->assign(list.data ? list.data : "", list.len);
  byte_string_release(&list);
  return r;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return -1;
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string lenient, strict;
  int lenient_result = parse(input, 0, &lenient);
  int strict_result = parse(input, 1, &strict);
  FUZZ_CHECK(lenient_result == 0 || lenient_result == 2);
  FUZZ_CHECK(strict_result == 0 || strict_result == 2);
  // Callers hand over NUL-terminated texts; for a text with NUL only the relations are checked.
  if (lenient_result == 0 && input.find('\0') == std::string::npos) check_list(lenient);
  if (strict_result == 0) {
    FUZZ_CHECK(lenient_result == 0);
    FUZZ_CHECK(strict == lenient);
  }
  // Lenient mode refuses only a text that does not tokenize.
  byte_string text = fuzz_view(input);
  token_stream stream = {};
  int token_result = address_tokenize(&stream, &text, nullptr);
  byte_string_release(&stream);
  FUZZ_CHECK(token_result == lenient_result);
  return 0;
}
