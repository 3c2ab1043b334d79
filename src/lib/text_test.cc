// text_test.cc: the byte and text helpers.
#include "lib/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace postlet;

TEST(Text, LengthsAndFinds) {
  const struct {
    const char* bytes;
    uint32_t n;
    char c;
    uint32_t in_bytes, in_text, length;  // bytes_find, text_find_byte, text_length
  } rows[] = {
      {"a=b", 3, '=', 1, 1, 3},         {"abc", 3, '=', 3, 3, 3},   {"abc", 3, '\0', 3, 3, 3},
      {"a\0b", 3, '\0', 1, 1, 1},       {"abca", 3, 'a', 0, 0, 4},  {"abc", 0, 'a', 0, 0, 3},
      {"\x7f\xff", 2, '\xff', 1, 1, 2}, {"ab\n", 2, '\n', 2, 2, 3}, {"", 0, 'x', 0, 0, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.bytes, r.n) + " " + r.c);
    EXPECT_EQ(r.in_bytes, bytes_find(r.bytes, r.n, r.c));
    EXPECT_EQ(r.in_text, text_find_byte(r.bytes, r.c));
    EXPECT_EQ(r.length, text_length(r.bytes));
  }
}

TEST(Text, Comparisons) {
  const struct {
    const char *a, *b;
    uint32_t n;
    int text, bytes;  // text_compare, and bytes_compare over n bytes
  } rows[] = {
      {"abc", "abc", 3, 0, 0},
      {"ab", "abc", 3, -'c', -'c'},
      {"\xff", "a", 1, 0xff - 'a', 0xff - 'a'},
      {"a", "\xff", 1, 'a' - 0xff, 'a' - 0xff},
      {"a\0x", "a\0y", 3, 0, -1},
      {"abc", "xyz", 0, 'a' - 'x', 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.a) + " " + r.b);
    EXPECT_EQ(r.text, text_compare(r.a, r.b));
    EXPECT_EQ(r.bytes, bytes_compare(r.a, r.n, r.b));
  }
}

TEST(Text, BaseName) {
  const struct {
    const char *path, *name;
  } rows[] = {{"/usr/sbin/postlet", "postlet"}, {"mailq", "mailq"}, {"relay/", "relay/"}, {"", ""}};
  for (const auto& r : rows)
    EXPECT_STREQ(r.name, base_name(r.path)) << r.path;
}

TEST(Text, CopiesAtAnyOverlap) {
  char up[] = "abcdef", down[] = "abcdef", apart[] = "abcdef";
  bytes_copy(up + 2, 4, up);
  bytes_copy(down, 4, down + 2);
  bytes_copy(apart + 3, 3, "xyz");
  EXPECT_STREQ("ababcd", up);
  EXPECT_STREQ("cdefef", down);
  EXPECT_STREQ("abcxyz", apart);
  // A count of 0 touches nothing, not even through a null pointer.
  bytes_copy(apart, 0, nullptr);
  bytes_copy(nullptr, 0, apart);
  EXPECT_EQ(0u, bytes_find(nullptr, 0, 'a'));
  EXPECT_EQ(0, bytes_compare(nullptr, 0, nullptr));
  EXPECT_STREQ("abcxyz", apart);
}

TEST(Text, EscapesControlBytesAndStopsBeforeWhatDoesNotFit) {
  const struct {
    std::string text;
    uint32_t room;
    const char* out;
    uint32_t taken;
  } rows[] = {
      {"a\x1b[1m", 64, "a\\033[1m", 5}, {std::string("\0\x1f \x7f\x80\\", 6), 64, "\\000\\037 \\177\x80\\", 6},
      {"ab\ncd", 5, "ab", 2},           {"ab\ncd", 6, "ab\\012", 3},
      {"abc", 2, "ab", 2},              {"\t", 3, "", 0},
      {"", 8, "", 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    char out[64];
    uint32_t taken = 99;
    uint32_t n = bytes_escape(out, r.room, r.text.data(), static_cast<uint32_t>(r.text.size()),
                              &CONTROL_BYTES, &taken);
    EXPECT_EQ(r.out, std::string(out, n));
    EXPECT_EQ(r.taken, taken);
  }
}
