// fuzz_support.h: shared pieces of the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "lib/byte_string.h"

// Stops the run with a message that libFuzzer reports as a crash together with the input.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// A byte_string that borrows the bytes of s; never handed to byte_string_release.
inline postlet::byte_string fuzz_view(std::string& s) {
  return postlet::byte_string{s.data(), static_cast<uint32_t>(s.size()),
                              static_cast<uint32_t>(s.size())};
}

// The line-end rule, said plainly: every CR directly before an LF goes, and so does a CR that
// ends the input, which s must then end.
inline std::string fuzz_mend(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (!(s[i] == '\r' && (i + 1 == s.size() || s[i + 1] == '\n'))) out += s[i];
  }
  return out;
}

// qmail-inject's header walk over the message's lines, as it reads them (mended unless keep):
// returns the offset in raw where the header ends, its empty line included; *read_end is where
// the walk stopped reading, after the first line of the body when one was read.
inline size_t fuzz_header_end(const std::string& raw, bool keep, size_t* read_end) {
  auto valid_field = [](const std::string& line) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) return false;
    while (colon && (line[colon - 1] == ' ' || line[colon - 1] == '\t'))
      --colon;
    if (!colon) return false;
    for (size_t i = 0; i < colon; ++i) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      if (c <= 32 || c >= 127) return false;
    }
    return true;
  };
  bool after_field = false;
  for (size_t at = 0; at < raw.size();) {
    size_t newline = raw.find('\n', at);
    size_t next = newline == std::string::npos ? raw.size() : newline + 1;
    std::string line = raw.substr(at, next - at);
    if (!keep) line = fuzz_mend(line);
    *read_end = next;
    if (line == "\n") return next;
    bool continues = after_field && (line[0] == ' ' || line[0] == '\t');
    if (!continues && line.compare(0, 5, "From ") != 0 && !valid_field(line)) return at;
    after_field = true;
    at = next;
  }
  *read_end = raw.size();
  return raw.size();
}
