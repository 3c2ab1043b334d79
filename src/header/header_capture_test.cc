// header_capture_test.cc: the capture step over standard input swapped for files, pipes and
// devices, with the message starting at an offset, and the bounds on hostile input.
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
  return v ? "<" + std::string(v) + ">" : "none";
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
  off_t offset_after;
  std::string text;   // the captured header text
  std::string after;  // what a program reading descriptor 0 next would get
};

// Runs the capture step with descriptor 0 replaced by fd (closed when -2), then puts the test's
// own standard input back. Each run starts from an empty input buffer and index.
capture_result capture_from(int fd) {
  int saved = dup(0);
  if (fd == -2) {
    close(0);
  } else {
    dup2(fd, 0);
    close(fd);
  }
  standard_input_buffer.available = 0;
  standard_input_buffer.position = 4096;
  header_index = header_index_state{};
  const char* from = "unset";
  const char* sender = "unset";
  header_capture_step(&from, &sender);
  capture_result r;
  r.from = show(from);
  r.sender = show(sender);
  r.offset_after = lseek(0, 0, SEEK_CUR);
  r.text.assign(header_index.text.data ? header_index.text.data : "", header_index.text.len);
  char chunk[4096];
  ssize_t n;
  while (r.after.size() < (4u << 20) && (n = read(0, chunk, sizeof chunk)) > 0) {
    r.after.append(chunk, static_cast<size_t>(n));
  }
  dup2(saved, 0);
  close(saved);
  return r;
}

}  // namespace

TEST(HeaderCapture, MessageAtTheDescriptorsOffset) {
  const std::string earlier = "From: wrong@x\nSender: w@x\n\nan earlier message\n";
  const std::string big_field = "X-Long: " + std::string(5000, 'a') + "\n";
  std::string many_fields;
  for (int i = 0; i < 300; ++i)
    many_fields += "X-" + std::to_string(i) + ": some value\n";
  const struct {
    const char* name;
    std::string message;
    std::string from;
    std::string sender;
    std::string header;  // what is captured
  } cases[] = {
      {"header and body", "From: Joe <joe@host>\nSender: s@y\n\nbody\n", "<Joe <joe@host>>",
       "<s@y>", "From: Joe <joe@host>\nSender: s@y\n\n"},
      {"empty", "", "none", "none", ""},
      {"header lines only", "From: a@b\nTo: c\n", "<a@b>", "none", "From: a@b\nTo: c\n"},
      {"last header line without newline", "From: joe@example.org", "<joe@example.org>", "none",
       "From: joe@example.org"},
      {"no header, no final newline", "hello", "none", "none", "hello"},
      {"CR LF lines", "From: a\r\nSender: b\r\n\r\nbody\r\n", "<a\r>", "<b\r>",
       "From: a\r\nSender: b\r\n\r\nbody\r\n"},
      {"CR LF, then a bare newline", "From: a\r\n\r\nbody\n\nrest\n", "<a\r>", "none",
       "From: a\r\n\r\nbody\n\n"},
      {"one line longer than the buffer", big_field + "From: z\n\nbody\n", "<z>", "none",
       big_field + "From: z\n\n"},
      {"header longer than the buffer", many_fields + "Sender: late\n\nbody\n", "none", "<late>",
       many_fields + "Sender: late\n\n"},
  };
  for (const auto& c : cases) {
    for (const std::string& prefix : {std::string(), earlier}) {
      SCOPED_TRACE(std::string(c.name) + (prefix.empty() ? " at offset 0" : " after another"));
      auto start = static_cast<off_t>(prefix.size());
      int fd = temporary_file(prefix + c.message, start);
      ASSERT_NE(-1, fd);
      capture_result r = capture_from(fd);
      EXPECT_EQ(c.from, r.from);
      EXPECT_EQ(c.sender, r.sender);
      EXPECT_EQ(c.header, r.text);
      EXPECT_EQ(start, r.offset_after);
      EXPECT_EQ(c.message, r.after);
    }
  }
}

TEST(HeaderCapture, UnseekableOrClosedInputIsLeftAlone) {
  int p[2];
  ASSERT_EQ(0, pipe(p));
  const std::string message = "From: a@b\n\nbody\n";
  ASSERT_EQ(static_cast<ssize_t>(message.size()), write(p[1], message.data(), message.size()));
  close(p[1]);
  capture_result r = capture_from(p[0]);
  EXPECT_EQ("none", r.from);
  EXPECT_EQ("none", r.sender);
  EXPECT_EQ(0u, standard_input_buffer.available);
  EXPECT_EQ(message, r.after);  // not a byte was taken from the pipe

  r = capture_from(-2);
  EXPECT_EQ("none", r.from);
  EXPECT_EQ("none", r.sender);
}

TEST(HeaderCapture, StopsAfterAThousandFields) {
  std::string kept;
  for (uint32_t i = 0; i < HEADER_CAPTURE_FIELDS; ++i)
    kept.append("F").append(std::to_string(i)).append(": v\n");
  kept += " continued\n\tand again\n";  // still the thousandth field
  const std::string message = kept + "From: late\nF1001: w\n\nbody\n";
  int fd = temporary_file("x\n" + message, 2);
  ASSERT_NE(-1, fd);
  capture_result r = capture_from(fd);
  EXPECT_EQ(kept, r.text);
  EXPECT_EQ("none", r.from);
  EXPECT_EQ("<v>", show(header_value("f0")));
  EXPECT_EQ("<v\n continued\n\tand again>", show(header_value("f999")));
  EXPECT_EQ(2, r.offset_after);
  EXPECT_EQ(message, r.after);
}

TEST(HeaderCapture, StopsAtAMebibyteOnALineBoundary) {
  // 1024 lines of 1024 bytes: one field and its continuations fill the bound exactly.
  std::string kept = "X: " + std::string(1020, 'a') + "\n";
  for (int i = 1; i < 1024; ++i)
    kept += " " + std::string(1022, 'b') + "\n";
  ASSERT_EQ(HEADER_CAPTURE_BYTES, kept.size());
  int fd = temporary_file(kept + "From: late\n\n", 0);
  ASSERT_NE(-1, fd);
  capture_result r = capture_from(fd);
  EXPECT_EQ(kept, r.text);
  EXPECT_EQ("none", r.from);
  EXPECT_EQ(0, r.offset_after);
}

TEST(HeaderCapture, StopsAtAMebibyteInsideALine) {
  const std::string head = "From: a\nX-Big: ";
  const std::string message = head + std::string(2 << 20, 'b') + "\n\nbody\n";
  int fd = temporary_file("junk\n" + message, 5);
  ASSERT_NE(-1, fd);
  capture_result r = capture_from(fd);
  EXPECT_EQ(message.substr(0, HEADER_CAPTURE_BYTES), r.text);
  EXPECT_EQ("<a>", r.from);
  const char* big = header_value("x-big");
  ASSERT_NE(nullptr, big);
  EXPECT_EQ(HEADER_CAPTURE_BYTES - head.size(), std::string(big).size());
  EXPECT_EQ(5, r.offset_after);
  EXPECT_EQ(message, r.after);
}

TEST(HeaderCapture, EndlessInputWithoutNewline) {
  int fd = open("/dev/zero", O_RDONLY);
  ASSERT_NE(-1, fd);
  capture_result r = capture_from(fd);
  EXPECT_EQ(std::string(HEADER_CAPTURE_BYTES, '\0'), r.text);
  EXPECT_EQ("none", r.from);
  EXPECT_EQ("none", r.sender);

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
  EXPECT_EQ(0, r.offset_after);
}

TEST(HeaderCaptureDeathTest, ReadFailureIsFatal) {
  EXPECT_EXIT(
      {
        program_name = "postlet";
        fatal_threshold = 3;
        int fd = open(".", O_RDONLY | O_DIRECTORY);
        if (fd == -1 || dup2(fd, 0) == -1) _exit(99);
        const char* from;
        const char* sender;
        header_capture_step(&from, &sender);
        _exit(0);
      },
      testing::ExitedWithCode(111), "^postlet: fatal: read\\(config\\): is a directory\n$");
}
