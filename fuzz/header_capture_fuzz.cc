// header_capture_fuzz.cc: the capture step over a real file on descriptor 0, from a chosen offset.
//
// Input: the offset the caller leaves descriptor 0 at, a repeat count (1 or 2), then the content
// repeated that many times makes the file. The byte bound (a megabyte) is left to the unit
// tests: inputs that size would slow the search a hundredfold. Checked: the captured
// text against a plain re-reading of the same bytes, the descriptor put back where the caller
// left it, and the From and Sender values taken from the captured text.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "header/header_capture.h"
#include "header/header_index.h"
#include "lib/in_buffer.h"
#include "lib/pool.h"

using namespace postlet;

// What capture should take: whole lines from the start until the empty line, the end of input,
// the byte bound or the line that would be one field too many.
static std::string reference(const std::string& input) {
  std::string text;
  size_t at = 0;
  uint32_t fields = 0;
  while (text.size() < HEADER_CAPTURE_BYTES && at < input.size()) {
    size_t end = input.find('\n', at);
    size_t length = end == std::string::npos ? input.size() - at : end + 1 - at;
    bool complete = end != std::string::npos;
    if (length > HEADER_CAPTURE_BYTES - text.size()) {
      length = HEADER_CAPTURE_BYTES - text.size();
      complete = false;
    }
    std::string line = input.substr(at, length);
    // A one-byte line is no field: the empty line, or a last byte without its newline.
    if (line[0] != ' ' && line[0] != '\t' && length != 1 && ++fields > HEADER_CAPTURE_FIELDS) break;
    text += line;
    at += length;
    if (!complete || line == "\n") break;
  }
  return text;
}

static void check_value(const char* value, const std::string& text) {
  if (!value) return;
  FUZZ_CHECK(text.find(value) != std::string::npos);
  pool_free(const_cast<char*>(value));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1 << 10) return -1;
  const off_t start = data[0];
  std::string piece(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t repeats = 1 + data[1] % 2;
  std::string file;
  file.reserve(piece.size() * repeats);
  for (size_t i = 0; i < repeats; ++i)
    file += piece;

  // One file serves every input; descriptor 0 is a second descriptor for it.
  static int fd = -1;
  if (fd == -1) fd = memfd_create("header", 0);
  FUZZ_CHECK(fd > 0);
  FUZZ_CHECK(ftruncate(fd, 0) == 0);
  FUZZ_CHECK(pwrite(fd, file.data(), file.size(), 0) == static_cast<ssize_t>(file.size()));
  FUZZ_CHECK(dup2(fd, 0) == 0);
  FUZZ_CHECK(lseek(0, start, SEEK_SET) == start);

  standard_input_buffer.available = 0;
  standard_input_buffer.position = 4096;
  const char* from = nullptr;
  const char* sender = nullptr;
  header_capture_step(&from, &sender);

  FUZZ_CHECK(lseek(0, 0, SEEK_CUR) == start);
  const std::string rest = static_cast<size_t>(start) < file.size() ? file.substr(start) : "";
  const std::string captured(header_index.text.data ? header_index.text.data : "",
                             header_index.text.len);
  FUZZ_CHECK(captured == reference(rest));
  check_value(from, captured);
  check_value(sender, captured);

  keyed_table_free(&header_index.table);
  byte_string_release(&header_index.text);
  header_index = {};
  // Everything from the pool has been dropped, so the next input starts on a fresh pool.
  pool_bytes_left = POOL_SIZE;
  return 0;
}
