// byte_string_test.cc: growth, copy, append and the guard byte.
#include "lib/byte_string.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>

using namespace postlet;

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

  // A byte appended past the capacity would land unseen in the pool's rounding.
  byte_string b = {};
  for (char c = 'a'; c <= 'z'; ++c) {
    ASSERT_EQ(1, byte_string_append_byte(&b, &c));
    ASSERT_LE(b.len, b.capacity) << c;
  }
  EXPECT_EQ("abcdefghijklmnopqrstuvwxyz", content(b));
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
