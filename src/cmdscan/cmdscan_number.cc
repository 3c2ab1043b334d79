// cmdscan_number.cc: the decimal scans of number arguments and their digit table.
#include <cstdint>

#include "cmdscan/cmdscan.h"

namespace postlet {

// Digit value per byte, -1 for non-digits; filled by the first scan and only read afterwards.
static constinit int8_t digit_value[256];
static constinit int32_t digit_table_filled = 0;

static void fill_digit_table() {
  for (int8_t& v : digit_value)
    v = -1;
  for (int8_t d = 0; d < 10; ++d)
    digit_value[static_cast<unsigned char>('0' + d)] = d;
  digit_table_filled = 1;
}

uint32_t scan_ulong(const char* text, uint64_t* result) {
  if (!digit_table_filled) fill_digit_table();
  uint64_t n = 0;  // unsigned, so a long digit run wraps modulo 2^64 by design
  uint32_t i = 0;
  for (;; ++i) {
    int8_t d = digit_value[static_cast<unsigned char>(text[i])];
    if (d == -1) break;
    n = n * 10 + static_cast<uint64_t>(d);
  }
  *result = n;
  return i;
}

uint32_t scan_long(const char* text, int64_t* result) {
  uint32_t sign = 0;
  int negative = 0;
  if (text[0] == '-') {
    sign = 1;
    negative = 1;
  } else if (text[0] == '+') {
    sign = 1;
  }
  uint64_t magnitude = 0;
  uint32_t digits = scan_ulong(text + sign, &magnitude);
  // Negation modulo 2^64, then the two's-complement reading that C++20 defines.
  *result = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
  return sign + digits;
}

}  // namespace postlet
