// header_capture_fuzz.cc: the capture over a real file on descriptor 0, from a chosen offset.
//
// Input: the offset the caller leaves descriptor 0 at, a byte whose bit 0 repeats the content
// once more and whose bit 1 keeps the line ends, then the content that makes the file. The
// bounds (a megabyte, a thousand fields) are left to the unit tests: inputs that size would slow
// the search a hundredfold. Checked: the captured text and its header part against qmail-inject's
// header walk said plainly, the From and Sender values taken from that header, and every byte
// not captured still there for the pump, in order.
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

static void check_value(const char* value, const std::string& header) {
  if (!value) return;
  FUZZ_CHECK(header.find(value) != std::string::npos);
  pool_free(const_cast<char*>(value));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1 << 10) return -1;
  const off_t start = data[0];
  const bool keep = data[1] & 2;
  std::string piece(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t repeats = 1 + (data[1] & 1);
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
  header_capture(keep);
  const char* from = header_value("from");
  const char* sender = header_value("sender");

  const std::string rest = static_cast<size_t>(start) < file.size() ? file.substr(start) : "";
  size_t read_end = 0;
  size_t header_end = fuzz_header_end(rest, keep, &read_end);
  auto as_read = [&](const std::string& raw) { return keep ? raw : fuzz_mend(raw); };
  const std::string captured(header_index.text.data ? header_index.text.data : "",
                             header_index.text.len);
  FUZZ_CHECK(captured == as_read(rest.substr(0, read_end)));
  const std::string header = as_read(rest.substr(0, header_end));
  FUZZ_CHECK(header_capture_result.header == header.size());
  FUZZ_CHECK(!header_capture_result.cut);
  // A CR is held only where the input ends, which drops it.
  FUZZ_CHECK(!header_capture_result.ends.held_cr || header_capture_result.ended);
  check_value(from, header);
  check_value(sender, header);
  // What capture did not take is left, in order, for the pump.
  std::string left(standard_input_buffer.buffer + standard_input_buffer.position,
                   standard_input_buffer.available);
  char chunk[4096];
  for (ssize_t n; (n = read(0, chunk, sizeof chunk)) > 0;)
    left.append(chunk, static_cast<size_t>(n));
  FUZZ_CHECK(left == rest.substr(read_end));

  keyed_table_free(&header_index.table);
  byte_string_release(&header_index.text);
  byte_string_release(&header_index.records);
  header_index = {};
  // Everything from the pool has been dropped, so the next input starts on a fresh pool.
  pool_bytes_left = POOL_SIZE;
  return 0;
}
