// line_ends_test.cc: the line-end rule, the same whatever the chunks the stream comes in.
#include "lib/line_ends.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace postlet;

namespace {

// The stream cut before each position in cuts, mended chunk by chunk as the pump does (one byte
// of room in front of each); a CR still held at the end is dropped, as at the end of input.
std::string mend_in_chunks(const std::string& input, const std::vector<size_t>& cuts) {
  line_end_state state = {};
  std::string out;
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    size_t to = i < cuts.size() ? cuts[i] : input.size();
    std::string room = std::string("?").append(input, from, to - from);
    char* start;
    uint32_t n = line_ends_mend(&state, room.data() + 1, static_cast<uint32_t>(to - from), &start);
    out.append(start, n);
    from = to;
  }
  return out;
}

}  // namespace

TEST(LineEnds, CrBeforeLfGoesAnyOtherCrStays) {
  const struct {
    std::string input;
    std::string output;
  } cases[] = {
      {"", ""},
      {"\r", ""},
      {"\n", "\n"},
      {"\r\n", "\n"},
      {"\r\r\n", "\r\n"},
      {"\n\r", "\n"},
      {"\n\rx", "\n\rx"},
      {"a\rb\r\nc\r\n\r\n", "a\rb\nc\n\n"},
      {"x\r\r", "x\r"},
      {"last\r\n\r", "last\n"},
      {std::string("\0\r\n\0\r", 5), std::string("\0\n\0", 3)},
      {"no final newline\r\nlast", "no final newline\nlast"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    EXPECT_EQ(c.output, mend_in_chunks(c.input, {}));
    // Cut in two anywhere, and cut between every byte.
    std::vector<size_t> every;
    for (size_t cut = 0; cut <= c.input.size(); ++cut) {
      EXPECT_EQ(c.output, mend_in_chunks(c.input, {cut})) << "cut at " << cut;
      every.push_back(cut);
    }
    EXPECT_EQ(c.output, mend_in_chunks(c.input, every));
    // A line, with its one LF at the end or none, mended on its own.
    size_t lf = c.input.find('\n');
    if (lf == std::string::npos || lf + 1 == c.input.size()) {
      line_end_state state = {};
      std::string line = c.input;
      line.resize(line_ends_mend_line(&state, line.data(), static_cast<uint32_t>(line.size())));
      EXPECT_EQ(c.output, line);
    }
  }
}
