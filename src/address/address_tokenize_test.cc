// address_tokenize_test.cc: token stream encoding, escapes, openers and the staging buffer.
#include "address/address_tokenize.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace postlet {
namespace {

byte_string view_of(const std::string& s) {
  return byte_string{const_cast<char*>(s.data()), static_cast<uint32_t>(s.size()),
                     static_cast<uint32_t>(s.size())};
}

std::string tokenize_with(const std::string& text, const byte_string* specials, int* result) {
  byte_string in = view_of(text);
  token_stream stream = {};
  *result = address_tokenize(&stream, &in, specials);
  std::string bytes(stream.data ? stream.data : "", stream.len);
  byte_string_release(&stream);
  return bytes;
}

std::string tokenize_text(const std::string& text, int* result) {
  return tokenize_with(text, nullptr, result);
}

// Walks the stream from its start: every token is a NUL, a text and a type letter, so the
// stream splits at its NUL bytes. "W:user S:@ W:host"; a broken encoding says so.
std::string render_tokens(const std::string& stream) {
  if (stream.empty()) return "";
  if (stream[0] != '\0') return "!no opening NUL";
  std::string out;
  size_t start = 1;
  while (start <= stream.size()) {
    size_t next = stream.find('\0', start);
    if (next == std::string::npos) next = stream.size();
    if (next == start) return out + " !token without type";
    std::string token = stream.substr(start, next - start);
    if (!out.empty()) out += ' ';
    out += token.back();
    out += ':';
    out += token.substr(0, token.size() - 1);
    start = next + 1;
  }
  return out;
}

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// Byte-at-a-time tokenizer written straight from the rules, to check the staged one against.
int reference_tokenize(const std::string& text, const std::string& specials, std::string* out) {
  auto white = [](char c) { return c == 0 || c == '\t' || c == '\n' || c == '\r' || c == ' '; };
  auto special = [&](char c) { return specials.find(c) != std::string::npos; };
  auto mapped = [](char c) { return c == '\t' || c == '\n' ? ' ' : c; };
  out->clear();
  size_t i = 0, n = text.size();
  while (i < n) {
    char c = text[i++];
    if (c == '"') {
      out->push_back('\0');
      for (;;) {
        if (i == n) return 2;
        c = text[i++];
        if (c == '"') break;
        if (c == '\\' && i < n) c = text[i++];
        out->push_back(mapped(c));
      }
      out->push_back('Q');
    } else if (c == '[') {
      *out += std::string("\0[", 2);
      while (i < n && text[i] != ']') {
        c = text[i++];
        if (c == '\\' && i < n) c = text[i++];
        out->push_back(mapped(c));
      }
      if (i < n) ++i;
      *out += "]D";
    } else if (c == '(') {
      out->push_back('\0');
      int depth = 1;
      while (i < n) {
        c = text[i++];
        if (c == ')' && --depth == 0) break;
        if (c == '(') ++depth;
        if (c == '\\' && i < n) c = text[i++];
        out->push_back(mapped(c));
      }
      out->push_back('C');
    } else if (special(c)) {
      *out += std::string(1, '\0') + c + 'S';
    } else if (white(c)) {
      *out += std::string("\0 S", 3);
    } else {
      out->push_back('\0');
      --i;
      while (i < n && !special(text[i])) {
        c = text[i++];
        if (white(c)) break;
        if (c == '\\' && i < n) {
          c = text[i++];
          if (c == 0) c = ' ';
        }
        out->push_back(c);
      }
      out->push_back('W');
    }
  }
  return 0;
}

const std::string default_specials = "()<>@,;:\\\".[]";

TEST(AddressTokenize, NameAndAddressExactBytes) {
  int result = -1;
  std::string stream = tokenize_text("Name <user@host>", &result);
  EXPECT_EQ(0, result);
  EXPECT_EQ(27u, stream.size());
  EXPECT_EQ("00 4E 61 6D 65 57 00 3C 53 00 75 73 65 72 57 00 40 53 00 68 6F 73 74 57 00 3E 53",
            hex(stream));
}

TEST(AddressTokenize, TokensOfEachKind) {
  const struct {
    const char* text;
    int result;
    const char* tokens;
  } cases[] = {
      {"", 0, ""},
      {"user@host (Comment)", 0, "W:user S:@ W:host C:Comment"},
      {"group: a@b, c@d;", 0, "W:group S:: S:  W:a S:@ W:b S:, S:  W:c S:@ W:d S:;"},
      {"\"quoted local\"@host", 0, "Q:quoted local S:@ W:host"},
      {"a (x) b", 0, "W:a C:x S:  W:b"},
      {"x\"y\"z", 0, "W:x Q:y W:z"},
      {" ", 0, "S: "},
      {"  ", 0, "S:  S: "},
      {"ab  cd", 0, "W:ab S:  W:cd"},
      {"a\tb", 0, "W:a W:b"},
      {"a\rb", 0, "W:a W:b"},
      {"a\nb", 0, "W:a W:b"},
      {"(a(b)c)", 0, "C:a(b)c"},
      {"(a\\)b)", 0, "C:a)b"},
      {"(a\tb\nc)", 0, "C:a b c"},
      {"(a\rb)", 0, "C:a\rb"},
      {"(a\\\tb)", 0, "C:a b"},
      {"(unterminated", 0, "C:unterminated"},
      {"(abc\\", 0, "C:abc\\"},
      {"(a(b)", 0, "C:a(b)"},
      {"()", 0, "C:"},
      {"\"a\\\"b\"", 0, "Q:a\"b"},
      {"\"\"", 0, "Q:"},
      {"\"a\tb\\\nc\"", 0, "Q:a b c"},
      {"\"(x) <y>\"", 0, "Q:(x) <y>"},
      {"\"unterminated", 2, nullptr},
      {"\"abc\\", 2, nullptr},
      {"\"", 2, nullptr},
      {"a \"b", 2, nullptr},
      {"[127.0.0.1]", 0, "D:[127.0.0.1]"},
      {"[a\\]b]", 0, "D:[a]b]"},
      {"[unterminated", 0, "D:[unterminated]"},
      {"[a\\", 0, "D:[a\\]"},
      {"[", 0, "D:[]"},
      {"[a\tb]", 0, "D:[a b]"},
      {"[a(b\"c]", 0, "D:[a(b\"c]"},
      {"\\x", 0, "S:\\ W:x"},
      {"a\\", 0, "W:a S:\\"},
      {")]", 0, "S:) S:]"},
      {"a.b", 0, "W:a S:. W:b"},
      {"a)b", 0, "W:a S:) W:b"},
      {"a(b)c", 0, "W:a C:b W:c"},
      {"a[b]c", 0, "W:a D:[b] W:c"},
      {"\xe9t\xff\x80", 0, "W:\xe9t\xff\x80"},
      {"a\x01\x7f b", 0, "W:a\x01\x7f W:b"},
      {"(\xff)", 0, "C:\xff"},
      {"a ,b", 0, "W:a S:, W:b"},
      {"a , b", 0, "W:a S:, S:  W:b"},
      {"<> ", 0, "S:< S:> S: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int result = -1;
    std::string stream = tokenize_text(c.text, &result);
    EXPECT_EQ(c.result, result);
    if (c.tokens) {
      EXPECT_EQ(c.tokens, render_tokens(stream));
    }
  }
}

// The openers of quoted strings, literals and comments do not depend on the set in use; a
// backslash in an atom escapes only when the set lacks it.
TEST(AddressTokenize, OtherSpecialSets) {
  const struct {
    const char* specials;
    const char* text;
    const char* tokens;
  } cases[] = {
      {"", "a\"b\"c", "W:a\"b\"c"},
      {"", "\"b\"c", "Q:b W:c"},
      {"", "(x)[y]", "C:x D:[y]"},
      {"", "a)b]c", "W:a)b]c"},
      {"", "a b", "W:a W:b"},
      {"", "a\\ b", "W:a b"},
      {"", "\\ b", "W: b"},
      {"", "a\\", "W:a\\"},
      {"", "a\\\\b", "W:a\\b"},
      {"", "a\\;b", "W:a;b"},
      {"-", "a-b -", "W:a S:- W:b S:-"},
      {"@", "a.b@c d", "W:a.b S:@ W:c W:d"},
      {" ", "a  b", "W:a S:  S:  W:b"},
      {"\\", "a\\b", "W:a S:\\ W:b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.specials) + " | " + c.text);
    std::string set = c.specials;
    byte_string specials = view_of(set);
    int result = -1;
    EXPECT_EQ(c.tokens, render_tokens(tokenize_with(c.text, &specials, &result)));
    EXPECT_EQ(0, result);
  }
  int result = -1;
  std::string set;
  byte_string empty = view_of(set);
  EXPECT_EQ("W:a b", render_tokens(tokenize_with(std::string("a\\\0b", 4), &empty, &result)))
      << "an escaped NUL is a space";
}

TEST(AddressTokenize, DefaultSpecialsAreBuiltOnce) {
  int result = -1;
  tokenize_text("a", &result);
  ASSERT_EQ(0, result);
  ASSERT_EQ(default_specials.size(), address_specials.len);
  EXPECT_EQ(default_specials, std::string(address_specials.data, address_specials.len));
  const char* first = address_specials.data;
  tokenize_text("b@c", &result);
  EXPECT_EQ(first, address_specials.data);
}

TEST(AddressTokenize, EarlierContentIsReplacedAndStorageReused) {
  std::string text = "x@y";
  byte_string in = view_of(text);
  token_stream stream = {};
  ASSERT_EQ(0, address_tokenize(&stream, &in, nullptr));
  ASSERT_EQ(9u, stream.len);
  char* storage = stream.data;
  text = "z";
  in = view_of(text);
  ASSERT_EQ(0, address_tokenize(&stream, &in, nullptr));
  EXPECT_EQ(storage, stream.data);
  EXPECT_EQ("W:z", render_tokens(std::string(stream.data, stream.len)));
  byte_string_release(&stream);
}

// Texts whose tokens start, end or open at every offset around the 128-byte blocks.
std::vector<std::string> boundary_texts() {
  std::vector<std::string> texts;
  const std::string tails[] = {
      "[lit]", "[", " ", "  x", "(c)", "\"q\"", "a", "@", "a b", "[\\]x]", "(\\)", "\"\\\"\"",
  };
  for (size_t k = 0; k < 300; ++k) {
    for (const std::string& tail : tails) {
      texts.push_back(std::string(k, ' ') + tail);              // 3 bytes per space
      texts.push_back(std::string(k, 'a') + "," + tail);        // one long atom
      texts.push_back(std::string("(").append(k, 'c').append(")").append(tail));  // one long comment
      texts.push_back(std::string("\"").append(k, 'q').append("\"").append(tail));
      texts.push_back(std::string("[").append(k, 'd').append("]").append(tail));
      texts.push_back(std::string(k % 7, ' ') + std::string(k, 'a') + " " + tail);
    }
  }
  for (size_t k = 0; k < 130; ++k) {
    std::string text;
    for (size_t j = 0; j < k; ++j)
      text += (j % 3 == 0) ? "[" : (j % 3 == 1 ? " " : "a ");
    texts.push_back(text);
  }
  texts.push_back(std::string(1000, 'a'));
  texts.push_back(std::string(1000, ' '));
  texts.push_back("(" + std::string(1000, '(') + ")");
  texts.push_back("\"" + std::string(999, '\\'));
  return texts;
}

TEST(AddressTokenize, StagedStreamMatchesByteAtATime) {
  for (const std::string& text : boundary_texts()) {
    SCOPED_TRACE(text);
    std::string expected;
    int expected_result = reference_tokenize(text, default_specials, &expected);
    int result = -1;
    std::string stream = tokenize_text(text, &result);
    ASSERT_EQ(expected_result, result);
    if (result == 0) {
      ASSERT_EQ(hex(expected), hex(stream));
    }
  }
}

TEST(AddressTokenize, RandomTextsMatchByteAtATime) {
  const std::string alphabet = "ab.@,;:<>()[]\\\" \t\r\n\xe9";
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    size_t length = random() % 600;
    for (size_t j = 0; j < length; ++j)
      text += alphabet[random() % alphabet.size()];
    SCOPED_TRACE(text);
    std::string expected;
    int expected_result = reference_tokenize(text, default_specials, &expected);
    int result = -1;
    std::string stream = tokenize_text(text, &result);
    ASSERT_EQ(expected_result, result);
    if (result == 0) {
      ASSERT_EQ(hex(expected), hex(stream));
      ASSERT_EQ(std::string::npos, render_tokens(stream).find('!'));
    }
  }
}

// The stream is appended in blocks of 128 bytes, except that a literal's NUL '[' and a white-space
// token's NUL ' ' 'S' start a new block when no more than two, resp. three, bytes are free. The
// block sizes show in the capacity that the appends leave behind, so replay the expected blocks.
uint32_t capacity_after_blocks(const std::string& text) {
  std::string stream;
  int result = reference_tokenize(text, default_specials, &stream);
  EXPECT_EQ(0, result);
  std::vector<size_t> blocks;
  size_t used = 0;
  for (size_t at = 0; at < stream.size(); ++at) {
    size_t together = 0;
    if (stream[at] == '\0' && at + 1 < stream.size() && stream[at + 1] == '[') together = 2;
    if (stream.compare(at, 3, std::string("\0 S", 3)) == 0) together = 3;
    if (together && 128 - used <= together) {
      blocks.push_back(used);
      used = 0;
    }
    if (++used == 128) {
      blocks.push_back(used);
      used = 0;
    }
  }
  blocks.push_back(used);
  byte_string replay = {};
  for (size_t n : blocks) {
    std::string filler(n, 'x');
    EXPECT_EQ(1, byte_string_append(&replay, filler.data(), static_cast<uint32_t>(n)));
  }
  uint32_t capacity = replay.capacity;
  byte_string_release(&replay);
  return capacity;
}

TEST(AddressTokenize, OpeningsStartANewBlockWhenTheBufferIsNearlyFull) {
  const std::string tails[] = {"[x]", " ", "[", "  "};
  for (size_t k = 36; k < 46; ++k) {
    for (const std::string& tail : tails) {
      for (const std::string& prefix : {std::string(k, ' '), std::string(3 * k - 3, 'a') + ","}) {
        // Growth by an eighth hides the first block's size unless the rest is short enough.
        for (size_t m = 0; m < 260; m += 3) {
          std::string text = prefix + tail + std::string(m, 'b');
          SCOPED_TRACE(text);
          byte_string in = view_of(text);
          token_stream stream = {};
          ASSERT_EQ(0, address_tokenize(&stream, &in, nullptr));
          ASSERT_EQ(capacity_after_blocks(text), stream.capacity);
          byte_string_release(&stream);
        }
      }
    }
  }
}

// NUL bytes are outside the data model: they must not crash, and outside quoted strings,
// literals and comments they are white space.
TEST(AddressTokenize, NulBytesInTheText) {
  int result = -1;
  EXPECT_EQ("W:a W:b", render_tokens(tokenize_text(std::string("a\0b", 3), &result)));
  EXPECT_EQ(0, result);
  EXPECT_EQ("S: ", render_tokens(tokenize_text(std::string("\0", 1), &result)));
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    size_t length = random() % 300;
    for (size_t j = 0; j < length; ++j)
      text += static_cast<char>(random() % 256);
    std::string expected;
    int expected_result = reference_tokenize(text, default_specials, &expected);
    std::string stream = tokenize_text(text, &result);
    ASSERT_EQ(expected_result, result);
    if (result == 0) {
      ASSERT_EQ(hex(expected), hex(stream));
    }
  }
}

}  // namespace
}  // namespace postlet
