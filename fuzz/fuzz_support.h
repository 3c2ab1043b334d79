// fuzz_support.h: shared pieces of the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/byte_string.h"

// Stops the run with a message that libFuzzer reports as a crash together with the input.
#define FUZZ_CHECK(condition)                                                        \
  do {                                                                               \
    if (!(condition)) {                                                              \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

// A byte_string that borrows the bytes of s; never handed to byte_string_release.
inline postlet::byte_string fuzz_view(std::string& s) {
  return postlet::byte_string{s.data(), static_cast<uint32_t>(s.size()),
                              static_cast<uint32_t>(s.size())};
}
