// diagnostics_test.cc: buffered output, diagnostic lines and error texts.
#include "lib/diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "lib/out_buffer.h"

using namespace postlet;

static std::vector<std::string> calls;
static int interrupt_next = 0;

static long recording_write(int, const char* bytes, uint32_t n) {
  if (interrupt_next) {
    --interrupt_next;
    errno = EINTR;
    return -1;
  }
  // Partial writes: never more than 1000 bytes at a time.
  uint32_t taken = n > 1000 ? 1000 : n;
  calls.emplace_back(bytes, taken);
  return taken;
}

static long zero_write(int, const char*, uint32_t) {
  return 0;
}

TEST(OutBuffer, ThreeWaysOfPutting) {
  char space[256];
  out_buffer b = {space, 0, sizeof space, 9, recording_write};
  std::string big(5000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);

  calls.clear();
  EXPECT_EQ(0, out_put(&b, big.data(), 5000));
  EXPECT_EQ(0u, b.used);
  std::string joined;
  for (auto& c : calls) joined += c;
  EXPECT_EQ(big, joined);

  calls.clear();
  std::string thirty(30, 'q'), three_hundred(300, 'r');
  ASSERT_EQ(0, out_put(&b, thirty.data(), 30));
  EXPECT_TRUE(calls.empty());
  ASSERT_EQ(0, out_put(&b, three_hundred.data(), 300));
  EXPECT_EQ((std::vector<std::string>{thirty, three_hundred}), calls);
  EXPECT_EQ(0u, b.used);

  calls.clear();
  std::string two_hundred(200, 's'), hundred(100, 't');
  ASSERT_EQ(0, out_put(&b, two_hundred.data(), 200));
  interrupt_next = 1;
  ASSERT_EQ(0, out_put(&b, hundred.data(), 100));
  EXPECT_EQ((std::vector<std::string>{two_hundred}), calls);
  EXPECT_EQ(100u, b.used);
  ASSERT_EQ(0, out_flush(&b));
  EXPECT_EQ(hundred, calls.back());
}

TEST(OutBuffer, WriteOfZeroBytesIsAFailureNotASpin) {
  char space[16];
  out_buffer b = {space, 0, sizeof space, 9, zero_write};
  ASSERT_EQ(0, out_put(&b, "abc", 3));
  errno = 0;
  EXPECT_EQ(-1, out_flush(&b));
  EXPECT_EQ(EIO, errno);
  EXPECT_EQ(0u, b.used);
  EXPECT_EQ(-1, out_put(&b, "0123456789abcdefghij", 20));
}

TEST(Diagnostics, LinesAndStatuses) {
  program_name = "postlet";
  fatal_threshold = 3;
  EXPECT_EXIT(die(2, 0, "mode ", "x", " not implemented.", nullptr), testing::ExitedWithCode(2),
              "^postlet: mode x not implemented.\n$");
  EXPECT_EXIT(die_nomem(), testing::ExitedWithCode(111), "^postlet: fatal: out of memory\n$");
  EXPECT_EXIT(die(111, ENOENT, "failed to run ", "bin/qmail-inject", nullptr, nullptr),
              testing::ExitedWithCode(111),
              "^postlet: fatal: failed to run bin/qmail-inject: file does not exist\n$");
  EXPECT_EXIT(die(111, 4242, "x", nullptr, nullptr, nullptr), testing::ExitedWithCode(111),
              "^postlet: fatal: x: unknown error\n$");
}

TEST(Diagnostics, BeforeStartUpThereIsNoPrefix) {
  program_name = nullptr;
  fatal_threshold = 256;
  EXPECT_EXIT(die(111, 0, "a", "b", "c", "d"), testing::ExitedWithCode(111), "^abcd\n$");
}

TEST(Diagnostics, LongLineArrivesWholeAndClosedDescriptorKeepsStatus) {
  program_name = "postlet";
  fatal_threshold = 3;
  std::string piece(300, 'p');
  EXPECT_EXIT(die(111, EACCES, piece.c_str(), piece.c_str(), nullptr, nullptr),
              testing::ExitedWithCode(111),
              "^postlet: fatal: " + piece + piece + ": access denied\n$");
  EXPECT_EXIT(
      {
        close(2);
        die(111, 0, "gone", nullptr, nullptr, nullptr);
      },
      testing::ExitedWithCode(111), "^$");
}

TEST(ErrorText, KnownAndUnknownNumbers) {
  const struct {
    int number;
    const char* text;
  } cases[] = {{EPERM, "permission denied"},   {ENOENT, "file does not exist"},
               {ENOMEM, "out of memory"},      {EACCES, "access denied"},
               {ESPIPE, "unseekable descriptor"}, {EAGAIN, "temporary failure"},
               {EPROTO, "protocol error"},     {ENOEXEC, "exec format error"},
               {-1, "unknown error"},          {100000, "unknown error"}};
  for (const auto& c : cases) EXPECT_STREQ(c.text, error_text(c.number)) << c.number;
}
