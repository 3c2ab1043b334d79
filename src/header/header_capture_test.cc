// header_capture_test.cc: the capture over standard input swapped for files and devices: where
// the header ends, the line ends as the injector gets them, and the bounds on hostile input.
#include "header/header_capture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "header/header_index.h"
#include "lib/diagnostics.h"
#include "lib/in_buffer.h"

using namespace postlet;

namespace {

std::string show(const char* v) {
  return v ? std::string("<").append(v).append(">") : "none";
}

// A file with the bytes, open for reading and standing at start; -1 when none could be made.
int temporary_file(const std::string& bytes, off_t start) {
  const char* dir = getenv("TMPDIR");
  std::string name = std::string(dir && *dir ? dir : "/tmp") + "/header_capture_test.XXXXXX";
  int fd = mkstemp(name.data());
  if (fd == -1) return -1;
  unlink(name.c_str());
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
    if (w <= 0) return -1;
    done += static_cast<size_t>(w);
  }
  if (lseek(fd, start, SEEK_SET) != start) return -1;
  return fd;
}

struct capture_result {
  std::string from;
  std::string sender;
  std::string text;    // the captured text
  std::string header;  // the part of it that is indexed
  uint32_t capacity;   // of the captured text's storage
  header_capture_record record;
};

// Captures from fd as descriptor 0 and indexes the header, then puts the test's own standard
// input back. Each run starts from an empty input buffer and index.
capture_result capture_from(int fd, int keep_crlf = 0) {
  int saved = dup(0);
  dup2(fd, 0);
  close(fd);
  standard_input_buffer.available = 0;
  standard_input_buffer.position = 4096;
  header_index = header_index_state{};
  header_capture(keep_crlf);
  capture_result r;
  r.from = show(header_value("from"));
  r.sender = show(header_value("sender"));
  r.text.assign(header_index.text.data ? header_index.text.data : "", header_index.text.len);
  r.header = r.text.substr(0, header_capture_result.header);
  r.capacity = header_index.text.capacity;
  r.record = header_capture_result;
  dup2(saved, 0);
  close(saved);
  return r;
}

}  // namespace

// What the black-box tests cannot see: the text captured and the part of it that is header.
TEST(HeaderCapture, EndsWhereQmailInjectEndsTheHeader) {
  const struct {
    const char* name;
    std::string message;
    std::string text;    // what is captured
    std::string header;  // what of it is the header
    int keep_crlf = 0;
  } cases[] = {
      {"CR LF lines, mended", "From: a\r\n\r\nbody\r\n", "From: a\n\n", "From: a\n\n"},
      {"CR LF kept: the CR LF line is the body's first", "From: a\r\n\r\nbody\r\n",
       "From: a\r\n\r\n", "From: a\r\n", 1},
      {"only the CR before the newline goes", "From: a\rb\r\r\n\n", "From: a\rb\r\n\n",
       "From: a\rb\r\n\n"},
      {"a first line that continues nothing is body", " x\nFrom: evil@x\n\n", " x\n", ""},
      {"a control byte in a name is body", "X-Bad\001: 1\nFrom: evil@x\n\n", "X-Bad\001: 1\n", ""},
      {"a line without colon ends the header", "From: a\nbogus\nSender: s\n\n",
       "From: a\nbogus\n", "From: a\n"},
      {"an mbox From line, continuations", "From a@b Mon 00:00\n x\nFrom: c\n y\n\nb\n",
       "From a@b Mon 00:00\n x\nFrom: c\n y\n\n", "From a@b Mon 00:00\n x\nFrom: c\n y\n\n"},
      {"blanks before the colon", "To \t: a\n:b\n", "To \t: a\n:b\n", "To \t: a\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int fd = temporary_file(c.message, 0);
    ASSERT_NE(-1, fd);
    capture_result r = capture_from(fd, c.keep_crlf);
    EXPECT_EQ(c.text, r.text);
    EXPECT_EQ(c.header, r.header);
    EXPECT_EQ(0, r.record.cut);
  }
}

TEST(HeaderCapture, StopsAfterAThousandFields) {
  std::string kept;
  for (uint32_t i = 0; i < HEADER_CAPTURE_FIELDS; ++i)
    kept.append("F").append(std::to_string(i)).append(": v\n");
  kept += " continued\n\tand again\n";  // still the thousandth field
  int fd = temporary_file(kept + "From: late\nF1001: w\n\nbody\n", 0);
  ASSERT_NE(-1, fd);
  capture_result r = capture_from(fd);
  // The line one field too many has been read, so it is in the text, but not in the header.
  EXPECT_EQ(kept + "From: late\n", r.text);
  EXPECT_EQ(kept, r.header);
  EXPECT_EQ(1, r.record.cut);
  EXPECT_EQ("none", r.from);
  EXPECT_EQ("<v>", show(header_value("f0")));
  EXPECT_EQ("<v\n continued\n\tand again>", show(header_value("f999")));
}

TEST(HeaderCapture, StopsAtAMebibyte) {
  // 1024 lines of 1024 bytes: one field and its continuations fill the bound exactly, and the
  // next line might still continue it.
  std::string kept = "X: " + std::string(1020, 'a') + "\n";
  for (int i = 1; i < 1024; ++i)
    kept += " " + std::string(1022, 'b') + "\n";
  ASSERT_EQ(HEADER_CAPTURE_BYTES, kept.size());
  const std::string head = "From: a\nX-Big: ";
  const std::string big = std::string(HEADER_CAPTURE_BYTES - head.size() - 1, 'b');
  const struct {
    const char* name;
    std::string message;
    size_t header;
    std::string from;
    int held_cr;
  } cases[] = {
      {"on a line boundary", "From: a\nX: " + kept.substr(11) + " more\nSender: s\n\n", 8, "<a>",
       0},
      {"inside a line", head + big + "bb\n\nbody\n", head.size() - 7, "<a>", 0},
      {"right after a CR", head + big + "\r\n\n", head.size() - 7, "<a>", 1},
      {"in a line before any colon", "From: a\n" + std::string(2 << 20, 'n') + "\n", 8, "<a>", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int fd = temporary_file(c.message, 0);
    ASSERT_NE(-1, fd);
    capture_result r = capture_from(fd);
    EXPECT_TRUE(c.message.substr(0, HEADER_CAPTURE_BYTES - c.held_cr) == r.text);
    // The field the bound cut is not indexed.
    EXPECT_EQ(c.header, r.header.size());
    EXPECT_EQ(c.from, r.from);
    EXPECT_EQ("none", r.sender);
    EXPECT_EQ(1, r.record.cut);
    EXPECT_EQ(c.held_cr, r.record.ends.held_cr);
    // Doubling stops at the bound and its guard byte; the storage adds its usual eighth.
    EXPECT_LE(r.capacity, (HEADER_CAPTURE_BYTES + 1) / 8 * 9 + 1);
  }
}

TEST(HeaderCapture, EndlessInputWithoutNewline) {
  // NUL is no byte of a field name: the endless line is the body's first, read to the bound.
  int fd = open("/dev/zero", O_RDONLY);
  ASSERT_NE(-1, fd);
  capture_result r = capture_from(fd);
  EXPECT_EQ(std::string(HEADER_CAPTURE_BYTES, '\0'), r.text);
  EXPECT_EQ("", r.header);
  EXPECT_EQ(0, r.record.cut);

  // A 5 GiB message of one line, mostly a hole in the file.
  fd = temporary_file("From: a\nX: ", 0);
  ASSERT_NE(-1, fd);
  if (ftruncate(fd, off_t{5} << 30) == -1) {
    close(fd);
    GTEST_SKIP() << "no room for a sparse 5 GiB file";
  }
  r = capture_from(fd);
  EXPECT_EQ(HEADER_CAPTURE_BYTES, r.text.size());
  EXPECT_EQ("<a>", r.from);
  EXPECT_EQ(1, r.record.cut);
}

TEST(HeaderCaptureDeathTest, ReadFailureIsFatal) {
  EXPECT_EXIT(
      {
        program_name = "postlet";
        fatal_threshold = 3;
        int fd = open(".", O_RDONLY | O_DIRECTORY);
        if (fd == -1 || dup2(fd, 0) == -1) _exit(99);
        header_capture(0);
        _exit(0);
      },
      testing::ExitedWithCode(111), "^postlet: fatal: failed to read the message: is a directory\n$");
}
