// out_buffer_test.cc: queueing, flushing and writing past the buffer, with retried interruptions.
#include "lib/out_buffer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

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
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>('a' + i % 26);

  calls.clear();
  EXPECT_EQ(0, out_put(&b, big.data(), 5000));
  EXPECT_EQ(0u, b.used);
  std::string joined;
  for (auto& c : calls)
    joined += c;
  EXPECT_EQ(big, joined);

  // Exactly the room left is queued, not written.
  calls.clear();
  std::string part(56, 'e'), rest(sizeof space - 56, 'f');
  ASSERT_EQ(0, out_put(&b, part.data(), 56));
  ASSERT_EQ(0, out_put(&b, rest.data(), static_cast<uint32_t>(rest.size())));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(sizeof space, b.used);
  ASSERT_EQ(0, out_flush(&b));
  EXPECT_EQ((std::vector<std::string>{part + rest}), calls);

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
