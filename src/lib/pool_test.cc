// pool_test.cc: the pool, byte strings and the text helpers.
#include "lib/pool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "lib/byte_string.h"
#include "lib/text.h"

using namespace postlet;

TEST(Pool, CarvesFromTheTopInSixteenByteSteps) {
  if (pool_bytes_left != POOL_SIZE) GTEST_SKIP();
  char* a = static_cast<char*>(pool_alloc(0));
  char* b = static_cast<char*>(pool_alloc(0));
  EXPECT_EQ(16, a - b);
  EXPECT_EQ(POOL_SIZE - 32, pool_bytes_left);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(b) % 16);
  const struct {
    uint32_t n, taken;
  } sizes[] = {{15, 16}, {16, 32}, {17, 32}, {31, 32}, {32, 48}};
  for (const auto& s : sizes) {
    uint32_t before = pool_bytes_left;
    char* c = static_cast<char*>(pool_alloc(s.n));
    EXPECT_EQ(s.taken, before - pool_bytes_left) << s.n;
    EXPECT_EQ(b - s.taken, c);
    b = c;
  }
}

TEST(Pool, ExactFitThenHeapThenPoolAgain) {
  if (pool_bytes_left != POOL_SIZE) GTEST_SKIP();
  uint32_t heap = pool_heap_blocks;
  void* first = pool_alloc(POOL_SIZE - 17);  // rounds to 4080
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(16u, pool_bytes_left);
  void* big = pool_alloc(16);  // rounds to 32: the heap serves it
  ASSERT_NE(nullptr, big);
  EXPECT_EQ(heap + 1, pool_heap_blocks);
  EXPECT_EQ(16u, pool_bytes_left);
  void* small = pool_alloc(10);  // still fits the pool
  EXPECT_EQ(0u, pool_bytes_left);
  EXPECT_EQ(heap + 1, pool_heap_blocks);
  pool_free(small);
  pool_free(big);
  EXPECT_EQ(0u, pool_bytes_left);
}

TEST(Pool, FullSizeRequestGoesToTheHeap) {
  if (pool_bytes_left != POOL_SIZE) GTEST_SKIP();
  void* p = pool_alloc(POOL_SIZE);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(POOL_SIZE, pool_bytes_left);
  pool_free(p);
  void* q = pool_alloc(POOL_SIZE - 1);
  EXPECT_EQ(0u, pool_bytes_left);
  pool_free(q);
  EXPECT_EQ(0u, pool_bytes_left);
}

TEST(Pool, SizesBeyondThirtyTwoBitsAreRefused) {
  for (uint32_t n : {UINT32_MAX, UINT32_MAX - 15}) {
    errno = 0;
    EXPECT_EQ(nullptr, pool_alloc(n));
    EXPECT_EQ(ENOMEM, errno);
  }
}

static std::string content(const byte_string& s) {
  return std::string(s.data, s.len);
}

TEST(ByteString, GrowthFollowsTheRule) {
  const struct {
    uint32_t capacity, request, grown;
  } cases[] = {{6, 9, 25}, {6, 100, 116}, {6, 128, 144}, {6, 800, 900}, {6, 6, 6}, {6, 2, 6}};
  for (const auto& c : cases) {
    byte_string s = {};
    ASSERT_EQ(1, byte_string_ready(&s, c.capacity));
    EXPECT_EQ(c.capacity, s.capacity);
    ASSERT_EQ(1, byte_string_ready(&s, c.request));
    EXPECT_EQ(c.grown, s.capacity) << c.request;
  }
}

TEST(ByteString, AppendCopyAndGuardByte) {
  byte_string s = {};
  ASSERT_EQ(1, byte_string_copy(&s, "", 0));
  EXPECT_EQ(1u, s.capacity);
  EXPECT_EQ(0u, s.len);
  EXPECT_EQ(BYTE_STRING_GUARD, s.data[0]);
  byte_string_release(&s);
  EXPECT_EQ(nullptr, s.data);

  ASSERT_EQ(1, byte_string_append(&s, "hello", 5));
  EXPECT_EQ(6u, s.capacity);
  EXPECT_EQ(5u, s.len);
  ASSERT_EQ(1, byte_string_append(&s, "abc", 3));
  EXPECT_EQ(25u, s.capacity);
  EXPECT_EQ("helloabc", content(s));
  EXPECT_EQ(BYTE_STRING_GUARD, s.data[s.len]);

  ASSERT_EQ(1, byte_string_append_byte(&s, ""));
  EXPECT_EQ(9u, s.len);
  EXPECT_STREQ("helloabc", s.data);

  ASSERT_EQ(1, byte_string_copy(&s, "a\0b\0c", 5));
  ASSERT_EQ(1, byte_string_append(&s, "\0d", 2));
  byte_string t = {};
  ASSERT_EQ(1, byte_string_append_string(&t, &s));
  ASSERT_EQ(1, byte_string_append_text(&t, "xyz"));
  EXPECT_EQ(std::string("a\0b\0c\0dxyz", 10), content(t));
  EXPECT_EQ(BYTE_STRING_GUARD, t.data[t.len]);

  byte_string u = {};
  ASSERT_EQ(1, byte_string_copy_text(&u, "text"));
  EXPECT_EQ("text", content(u));
  byte_string_release(&u);
  ASSERT_EQ(1, byte_string_append_text(&u, "again"));
  EXPECT_EQ("again", content(u));
}

TEST(ByteString, SizesBeyondThirtyTwoBitsFailAndLeaveTheStringAlone) {
  char block[32] = "0123456789";
  byte_string s = {block, UINT32_MAX - 2, UINT32_MAX - 1};
  const byte_string before = s;
  errno = 0;
  EXPECT_EQ(0, byte_string_append(&s, "abcd", 4));
  EXPECT_EQ(ENOMEM, errno);
  EXPECT_EQ(0, byte_string_ready_plus(&s, 3));
  byte_string small = {block, 0, 16};
  EXPECT_EQ(0, byte_string_ready(&small, UINT32_MAX - 8));  // grows by an eighth: too big
  EXPECT_EQ(16u, small.capacity);
  EXPECT_EQ(0, byte_string_copy(&s, block, UINT32_MAX));
  byte_string full = {block, UINT32_MAX, UINT32_MAX};
  EXPECT_EQ(0, byte_string_append_byte(&full, ""));
  EXPECT_EQ(before.data, s.data);
  EXPECT_EQ(before.len, s.len);
  EXPECT_EQ(before.capacity, s.capacity);
}

TEST(Text, Helpers) {
  EXPECT_EQ(0u, text_length(""));
  EXPECT_EQ(5u, text_length("hello"));
  EXPECT_EQ(1u, text_find_byte("a=b", '='));
  EXPECT_EQ(3u, text_find_byte("abc", '='));
  EXPECT_EQ(3u, text_find_byte("abc", '\0'));
  EXPECT_EQ(0, text_compare("abc", "abc"));
  EXPECT_LT(text_compare("ab", "abc"), 0);
  EXPECT_GT(text_compare("\xff", "a"), 0);
  EXPECT_EQ(0, text_compare("a\0x", "a\0y"));
  EXPECT_NE(0, bytes_compare("a\0x", 3, "a\0y"));
  EXPECT_EQ(0, bytes_compare("abc", 0, "xyz"));
  EXPECT_EQ(0xff - 'a', bytes_compare("\xff", 1, "a"));
  EXPECT_EQ(1u, bytes_find("a\0b", 3, '\0'));
  EXPECT_EQ(3u, bytes_find("abc", 3, 'x'));
  EXPECT_EQ(0u, bytes_find("abc", 0, 'a'));

  char buffer[] = "abcdef";
  bytes_copy_backward(buffer + 2, 4, buffer);
  EXPECT_STREQ("ababcd", buffer);
  char forward[] = "abcdef";
  bytes_copy(forward, 4, forward + 2);
  EXPECT_STREQ("cdefef", forward);
}
