// get_line_fuzz.cc: line reading over reads cut at chosen places, against one read of everything.
//
// Input: a delimiter byte, a buffer size byte, a limit byte, a count byte and that many cut
// bytes, then the data. Each read returns at most the next cut's length (cycling); a cut of 0
// is a read interrupted by a signal.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "lib/in_buffer.h"

using namespace postlet;

static struct {
  const std::string* data;
  size_t at;
  std::vector<uint8_t> cuts;
  size_t next_cut;
  uint32_t reads;
} source;

static long cut_read(int, char* bytes, uint32_t n) {
  FUZZ_CHECK(n > 0);
  ++source.reads;
  size_t room = n;
  if (!source.cuts.empty()) {
    uint8_t cut = source.cuts[source.next_cut++ % source.cuts.size()];
    if (cut == 0) {
      errno = EINTR;
      return -1;
    }
    room = std::min<size_t>(room, cut);
  }
  size_t take = std::min(room, source.data->size() - source.at);
  std::memcpy(bytes, source.data->data() + source.at, take);
  source.at += take;
  return static_cast<long>(take);
}

struct line_result {
  std::string bytes;
  int complete;
};

static std::vector<line_result> read_lines(const std::string& data, std::vector<uint8_t> cuts,
                                           uint32_t buffer_size, char delimiter, uint32_t limit) {
  source = {&data, 0, std::move(cuts), 0, 0};
  std::vector<char> space(buffer_size);
  in_buffer b = {space.data(), 0, buffer_size, 5, cut_read};
  byte_string line = {};
  std::vector<line_result> lines;
  for (;;) {
    int complete = -1;
    int r = limit ? get_line_bounded(&b, &line, &complete, delimiter, limit)
                  : get_line(&b, &line, &complete, delimiter);
    FUZZ_CHECK(r == 0);
    FUZZ_CHECK(complete == 0 || complete == 1);
    FUZZ_CHECK(b.position + b.available == buffer_size);
    if (line.len == 0) {
      FUZZ_CHECK(complete == 0);
      break;
    }
    lines.push_back({std::string(line.data, line.len), complete});
    FUZZ_CHECK(lines.size() <= data.size());
  }
  byte_string_release(&line);
  return lines;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 1 << 16) return -1;
  const char delimiter = static_cast<char>(data[0]);
  const uint32_t buffer_size = data[1] == 255 ? 4096 : 1 + data[1] % 64;
  const uint32_t limit = data[2] % 32;  // 0: get_line without a bound
  size_t cut_count = data[3] % 16;
  if (size < 4 + cut_count) return -1;
  std::vector<uint8_t> cuts(data + 4, data + 4 + cut_count);
  // A script of interruptions alone would never deliver a byte.
  bool any_read = cuts.empty();
  for (uint8_t c : cuts)
    any_read |= c != 0;
  if (!any_read) return -1;
  const std::string text(reinterpret_cast<const char*>(data) + 4 + cut_count, size - 4 - cut_count);

  std::vector<line_result> cut = read_lines(text, cuts, buffer_size, delimiter, limit);
  std::vector<line_result> whole =
      read_lines(text, {}, static_cast<uint32_t>(text.size()) + 1, delimiter, limit);

  // The reference: the text split after each delimiter, pieces longer than the limit cut.
  std::vector<line_result> expected;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(delimiter, at);
    bool found = end != std::string::npos;
    size_t length = found ? end + 1 - at : text.size() - at;
    bool complete = found;
    if (limit && length > limit) {
      length = limit;
      complete = false;
    }
    expected.push_back({text.substr(at, length), complete ? 1 : 0});
    at += length;
  }

  FUZZ_CHECK(whole.size() == expected.size());
  FUZZ_CHECK(cut.size() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    FUZZ_CHECK(whole[i].bytes == expected[i].bytes && whole[i].complete == expected[i].complete);
    FUZZ_CHECK(cut[i].bytes == expected[i].bytes && cut[i].complete == expected[i].complete);
  }
  return 0;
}
