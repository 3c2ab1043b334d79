// cmdscan_test_support.h: a recording output callback and owned argument vectors for the tests.
#pragma once

#include <unistd.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "cmdscan/cmdscan.h"

namespace postlet {

struct recorded_piece {
  int stream;
  std::string text;
};

inline std::vector<recorded_piece>& recorded_pieces() {
  static std::vector<recorded_piece> pieces;
  return pieces;
}

inline void record_output(int stream, const char* text) {
  recorded_pieces().push_back({stream, text});
}

// Everything recorded for stream 0, or for every other stream.
inline std::string recorded_text(bool standard_output) {
  std::string all;
  for (const auto& p : recorded_pieces()) {
    if ((p.stream == 0) == standard_output) all += p.text;
  }
  return all;
}

// For death tests: the pieces go to the real descriptors.
inline void descriptor_output(int stream, const char* text) {
  (void)!write(stream == 0 ? 1 : 2, text, std::strlen(text));
}

// A mutable, null-terminated argument vector whose texts the test owns.
class arg_vector {
 public:
  arg_vector(std::initializer_list<const char*> args) {
    for (const char* a : args)
      texts_.emplace_back(a, a + std::strlen(a) + 1);
    for (auto& t : texts_)
      pointers_.push_back(t.data());
    pointers_.push_back(nullptr);
    argc = static_cast<int>(texts_.size());
  }
  char** argv() {
    return pointers_.data();
  }
  // The elements before *argc, joined with '|'.
  std::string rest() const {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
      if (i > 1) joined += '|';
      joined += pointers_[static_cast<size_t>(i)];
    }
    return joined;
  }
  const char* original(size_t i) const {
    return texts_[i].data();
  }
  int argc;

 private:
  std::vector<std::vector<char>> texts_;
  std::vector<char*> pointers_;
};

inline cmdscan_context test_context(const option_desc* table) {
  recorded_pieces().clear();
  return cmdscan_context{.program = "prog",
                         .package = "pkg",
                         .version = "1.2",
                         .usage = nullptr,
                         .epilogue = nullptr,
                         .output = record_output,
                         .options = table,
                         .exit_when_done = 0,
                         .number_error = 0};
}

}  // namespace postlet
