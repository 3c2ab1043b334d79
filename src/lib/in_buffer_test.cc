// in_buffer_test.cc: refills, line reading over scripted reads, and repositioning.
#include "lib/in_buffer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "lib/out_buffer.h"

using namespace postlet;

namespace {

// A scripted reader: each call takes the next step of the plan (a byte count, or EINTR_STEP /
// EIO_STEP for a failing call); once the plan is used up, it delivers whatever was asked for.
constexpr long EINTR_STEP = -1;
constexpr long EIO_STEP = -2;

struct fake_input {
  std::string data;
  size_t offset = 0;
  std::vector<long> plan;
  size_t step = 0;
  std::vector<uint32_t> requests;
};
fake_input fake;

long fake_read(int, char* bytes, uint32_t n) {
  fake.requests.push_back(n);
  long want = n;
  if (fake.step < fake.plan.size()) {
    long s = fake.plan[fake.step++];
    if (s == EINTR_STEP || s == EIO_STEP) {
      errno = s == EINTR_STEP ? EINTR : EIO;
      return -1;
    }
    if (s < want) want = s;
  }
  long left = static_cast<long>(fake.data.size() - fake.offset);
  if (want > left) want = left;
  fake.data.copy(bytes, static_cast<size_t>(want), fake.offset);
  fake.offset += static_cast<size_t>(want);
  return want;
}

struct reader {
  char space[4096];
  in_buffer b;
};

void start(reader* r, const std::string& data, std::vector<long> plan) {
  fake = fake_input{};
  fake.data = data;
  fake.plan = std::move(plan);
  r->b = in_buffer{.buffer = r->space,
                   .available = 0,
                   .position = sizeof r->space,
                   .descriptor = 7,
                   .op = fake_read};
}

// Every get_line call until the end of input, as "line|complete" entries; "ERR" on -1.
std::vector<std::string> read_lines(in_buffer* b) {
  std::vector<std::string> out;
  byte_string line = {};
  for (;;) {
    int complete = 9;
    if (get_line(b, &line, &complete, '\n') == -1) {
      out.push_back("ERR");
      return out;
    }
    out.push_back(std::string(line.data, line.len) + "|" + std::to_string(complete));
    if (line.len == 0) return out;
  }
}

}  // namespace

TEST(GetLine, SmallInputs) {
  const struct {
    const char* data;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\nb\n", {"a\n|1", "b\n|1", "|0"}}, {"a\nb", {"a\n|1", "b|0", "|0"}}, {"", {"|0"}},
      {"\n\n", {"\n|1", "\n|1", "|0"}},     {"x\r\n", {"x\r\n|1", "|0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    reader r;
    start(&r, c.data, {});
    EXPECT_EQ(c.lines, read_lines(&r.b));
  }
}

TEST(GetLine, SameLinesWhateverTheReadsDeliver) {
  std::string data = "From: a@b\nSubject: short reads\n\nbody line\n" + std::string(5000, 'q') +
                     "\nno newline at the end";
  reader whole;
  start(&whole, data, {});
  std::vector<std::string> expected = read_lines(&whole.b);
  ASSERT_EQ(7u, expected.size());
  EXPECT_EQ("no newline at the end|0", expected[5]);

  const struct {
    const char* name;
    std::vector<long> plan;
  } plans[] = {
      {"one byte at a time", std::vector<long>(200, 1)},
      {"interrupted", {EINTR_STEP, 3, EINTR_STEP, EINTR_STEP, 7, EINTR_STEP, 100, 1, EINTR_STEP}},
      {"odd sizes", {4095, 13, 2, 4096, 1000, 17}},
  };
  for (const auto& p : plans) {
    SCOPED_TRACE(p.name);
    reader r;
    start(&r, data, p.plan);
    EXPECT_EQ(expected, read_lines(&r.b));
    EXPECT_EQ(data.size(), fake.offset);
  }
}

TEST(GetLine, LineLongerThanTwiceTheBufferComesWhole) {
  std::string longline = std::string(2 * 4096 + 123, 'x') + "\n";
  for (long piece : {4096L, 1000L}) {
    SCOPED_TRACE(piece);
    reader r;
    start(&r, longline + "next\n", std::vector<long>(100, piece));
    std::vector<std::string> lines = read_lines(&r.b);
    EXPECT_EQ((std::vector<std::string>{longline + "|1", "next\n|1", "|0"}), lines);
  }
}

TEST(GetLine, ReadErrorIsReportedAndCompleteLeftAlone) {
  reader r;
  start(&r, "abc\ndef\n", {2, EIO_STEP});
  byte_string line = {};
  int complete = 9;
  errno = 0;
  EXPECT_EQ(-1, get_line(&r.b, &line, &complete, '\n'));
  EXPECT_EQ(EIO, errno);
  EXPECT_EQ(9, complete);
  EXPECT_EQ("ab", std::string(line.data, line.len));
}

TEST(GetLine, BoundedLineStopsAtTheLimitAndResumes) {
  reader r;
  start(&r, "abcdef\nxyz\n", {});
  byte_string line = {};
  int complete = 9;
  ASSERT_EQ(0, get_line_bounded(&r.b, &line, &complete, '\n', 4));
  EXPECT_EQ("abcd", std::string(line.data, line.len));
  EXPECT_EQ(0, complete);
  ASSERT_EQ(0, get_line_bounded(&r.b, &line, &complete, '\n', 3));
  EXPECT_EQ("ef\n", std::string(line.data, line.len));
  EXPECT_EQ(1, complete);
  ASSERT_EQ(0, get_line_bounded(&r.b, &line, &complete, '\n', 0));
  EXPECT_EQ(0u, line.len);
  EXPECT_EQ(0, complete);
  ASSERT_EQ(0, get_line(&r.b, &line, &complete, '\n'));
  EXPECT_EQ("xyz\n", std::string(line.data, line.len));
}

TEST(InFill, ShortReadsLandAtTheEndAndFullReadsMoveNothing) {
  const struct {
    long delivered;
    uint32_t position;
  } cases[] = {{100, 3996}, {4095, 1}, {4096, 0}};
  std::string data;
  for (int i = 0; i < 5000; ++i)
    data.push_back(static_cast<char>('a' + i % 26));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.delivered);
    reader r;
    start(&r, data, {c.delivered});
    EXPECT_EQ(c.delivered, in_fill(&r.b));
    EXPECT_EQ(c.position, r.b.position);
    EXPECT_EQ(static_cast<uint32_t>(c.delivered), r.b.available);
    EXPECT_EQ(data.substr(0, static_cast<size_t>(c.delivered)),
              std::string(r.b.buffer + r.b.position, r.b.available));
    // The whole buffer was asked for, and unconsumed bytes are returned without a read.
    EXPECT_EQ(std::vector<uint32_t>{4096}, fake.requests);
    EXPECT_EQ(c.delivered, in_fill(&r.b));
    EXPECT_EQ(1u, fake.requests.size());
  }
}

TEST(InFill, EndOfInputLeavesTheRecordAlone) {
  reader r;
  start(&r, "", {EINTR_STEP, EINTR_STEP});
  EXPECT_EQ(0, in_fill(&r.b));
  EXPECT_EQ(0u, r.b.available);
  EXPECT_EQ(4096u, r.b.position);
  EXPECT_EQ(3u, fake.requests.size());
}

TEST(StandardInput, PipeDeliveringSmallPiecesGivesTheSameLines) {
  int p[2];
  ASSERT_EQ(0, pipe(p));
  pid_t child = fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    close(p[0]);
    const char* pieces[] = {"Fro", "m: a", "@b\nSub", "ject", ": x\n", "\nbo", "dy"};
    for (const char* piece : pieces) {
      if (write(p[1], piece, std::char_traits<char>::length(piece)) < 0) _exit(1);
      usleep(2000);
    }
    _exit(0);
  }
  close(p[1]);
  char space[4096];
  in_buffer b = {.buffer = space,
                 .available = 0,
                 .position = sizeof space,
                 .descriptor = p[0],
                 .op = standard_input_read};
  EXPECT_EQ((std::vector<std::string>{"From: a@b\n|1", "Subject: x\n|1", "\n|1", "body|0", "|0"}),
            read_lines(&b));
  close(p[0]);
  int status;
  waitpid(child, &status, 0);
}

namespace {
long failing_write(int, const char*, uint32_t) {
  errno = EBADF;
  return -1;
}
}  // namespace

TEST(StandardInput, FailedFlushOfStandardOutputMeansNoRead) {
  out_buffer saved = standard_output_buffer;
  standard_output_buffer.op = failing_write;
  ASSERT_EQ(0, out_put(&standard_output_buffer, "x", 1));
  int p[2];
  ASSERT_EQ(0, pipe(p));
  ASSERT_EQ(1, write(p[1], "y", 1));
  close(p[1]);  // a read that should not happen must not block either
  char c = 0;
  errno = 0;
  EXPECT_EQ(-1, standard_input_read(p[0], &c, 1));
  EXPECT_EQ(EBADF, errno);
  EXPECT_EQ(0, c);
  standard_output_buffer = saved;
  standard_output_buffer.used = 0;
  // With nothing queued the flush succeeds and the read happens.
  EXPECT_EQ(1, standard_input_read(p[0], &c, 1));
  EXPECT_EQ('y', c);
  close(p[0]);
}

TEST(Seek, PipeIsRefusedAndFileRepositioned) {
  int p[2];
  ASSERT_EQ(0, pipe(p));
  errno = 0;
  EXPECT_EQ(-1, seek_start(p[0], 0));
  EXPECT_EQ(ESPIPE, errno);
  errno = 0;
  EXPECT_EQ(-1, seek_current(p[0]));
  EXPECT_EQ(ESPIPE, errno);
  close(p[0]);
  close(p[1]);

  char name[] = "/tmp/in_buffer_test.XXXXXX";
  int fd = mkstemp(name);
  ASSERT_NE(-1, fd);
  unlink(name);
  ASSERT_EQ(10, write(fd, "0123456789", 10));
  EXPECT_EQ(10, seek_current(fd));
  EXPECT_EQ(3, seek_start(fd, 3));
  EXPECT_EQ(3, seek_current(fd));
  char c;
  ASSERT_EQ(1, read(fd, &c, 1));
  EXPECT_EQ('3', c);
  close(fd);
}
