// text_test.cc: the byte and text helpers.
#include "lib/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace postlet;

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
  EXPECT_STREQ("postlet", base_name("/usr/sbin/postlet"));
  EXPECT_STREQ("mailq", base_name("mailq"));
  EXPECT_STREQ("relay/", base_name("relay/"));
  EXPECT_STREQ("", base_name(""));

  char buffer[] = "abcdef";
  bytes_copy_backward(buffer + 2, 4, buffer);
  EXPECT_STREQ("ababcd", buffer);
  char forward[] = "abcdef";
  bytes_copy(forward, 4, forward + 2);
  EXPECT_STREQ("cdefef", forward);
}

// The copies move words where they can; at every length and every overlap, in both directions,
// they must leave what a byte at a time leaves.
TEST(Text, CopiesMatchAByteLoopAtEveryOverlap) {
  for (int shift = -70; shift <= 70; ++shift) {
    for (uint32_t n = 0; n <= 140; ++n) {
      std::string start(320, '\0');
      for (size_t i = 0; i < start.size(); ++i)
        start[i] = static_cast<char>(i * 7 + 1);
      std::string forward = start, backward = start, want_forward = start, want_backward = start;
      const size_t from = 90, to = static_cast<size_t>(90 + shift);
      for (uint32_t i = 0; i < n; ++i)
        want_forward[to + i] = want_forward[from + i];
      for (uint32_t i = n; i > 0; --i)
        want_backward[to + i - 1] = want_backward[from + i - 1];
      bytes_copy(&forward[to], n, &forward[from]);
      bytes_copy_backward(&backward[to], n, &backward[from]);
      EXPECT_EQ(want_forward, forward) << "shift " << shift << " n " << n;
      EXPECT_EQ(want_backward, backward) << "shift " << shift << " n " << n;
    }
  }
}

// The search reads words; the byte sought may sit anywhere in one, and bytes above 127 must not
// pass for it.
TEST(Text, FindLandsOnTheFirstMatchInAWord) {
  for (char c : {'\n', '\0', '\x80', '\xff'}) {
    for (uint32_t at = 0; at <= 24; ++at) {
      std::string bytes(25, '\x7f');
      bytes[at] = c;
      if (at + 3 < bytes.size()) bytes[at + 3] = c;
      EXPECT_EQ(at, bytes_find(bytes.data(), 25, c)) << int(c) << " at " << at;
      // The match just past the end is not seen.
      EXPECT_EQ(at, bytes_find(bytes.data(), at, c)) << int(c) << " before " << at;
    }
    std::string none(30, static_cast<char>(c ^ 1));
    EXPECT_EQ(30u, bytes_find(none.data(), 30, c));
  }
}
