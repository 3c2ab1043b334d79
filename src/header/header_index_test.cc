// header_index_test.cc: field names to values over header texts, and lower-casing.
#include "header/header_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace postlet;

namespace {

// Builds the process-wide index over text, which must outlive the lookups.
void build(const std::string& text) {
  ASSERT_EQ(0, header_index_build(&header_index, text.data(), static_cast<uint32_t>(text.size())));
}

// Every value stored under the key, in lookup order, each in brackets; "" when there is none.
std::string values_of(const std::string& key) {
  std::string out;
  const char* v = nullptr;
  uint32_t n = 0;
  keyed_table* t = &header_index.table;
  auto klen = static_cast<uint32_t>(key.size());
  for (int r = keyed_table_first(t, key.data(), klen, &v, &n); r == 1;
       r = keyed_table_next(t, key.data(), klen, &v, &n)) {
    out.append("[").append(v, n).append("]");
  }
  return out;
}

std::string value_or_none(const char* name) {
  const char* v = header_value(name);
  return v ? std::string("<").append(v).append(">") : "none";
}

}  // namespace

TEST(HeaderIndex, ExampleHeader) {
  static const std::string text = "From: Joe <joe@host>\nSubject: hi\n there\nSender:  s@y\n\n";
  build(text);
  EXPECT_EQ("<Joe <joe@host>>", value_or_none("from"));
  EXPECT_EQ("<s@y>", value_or_none("sender"));
  EXPECT_EQ("[hi\n there\n]", values_of("subject"));
  EXPECT_EQ("none", value_or_none("to"));
  EXPECT_EQ(3u, header_index.table.groups[0].used);
  // Values point into the text; nothing is copied.
  const char* v;
  uint32_t n;
  ASSERT_EQ(1, keyed_table_first(&header_index.table, "from", 4, &v, &n));
  EXPECT_EQ(text.data() + 6, v);
}

TEST(HeaderIndex, FieldsAndOddLines) {
  const struct {
    std::string text;
    std::string key;
    std::string values;  // every value under key, in order
    uint32_t entries;
  } cases[] = {
      {"FROM: 1\nfrom: 2\nFrom: 3\n", "from", "[1\n][2\n][3\n]", 3},
      {"From:\n", "from", "[\n]", 1},
      {"From:\tx\n", "from", "[x\n]", 1},
      // Names match as qmail-inject matches them: blanks before the colon are no part of them.
      {"FROM : x\nFrom\t: y\n", "from", "[x\n][y\n]", 2},
      // An mbox "From " line is no field, even with a colon; it ends the field before it.
      {"From : x\n", "from", "", 0},
      {"From x@y Mon 00:00\nFrom: a\n", "from", "[a\n]", 1},
      {"To: a\nFrom x\n y\nCc: b\n", "to", "[a\n]", 2},
      {"From:a:b\n", "from", "[a:b\n]", 1},
      {"From: x\r\n", "from", "[x\r\n]", 1},
      // The header ends at the first line that is not a field, as qmail-inject ends it.
      {":From: x\n", "from", "", 0},
      {" lead\nFrom: x\n", "from", "", 0},
      {"From: a\nbogus\nSender: s\n", "from", "[a\n]", 1},
      {"From: a\nbogus\nSender: s\n", "sender", "", 1},
      {"From: a\nX Y: b\nSender: s\n", "sender", "", 1},
      {"From: a@b\n", "from", "[a@b\n]", 1},
      {"From: a\n\n", "from", "[a\n]", 1},
      {"From: a\n\nTo: body\n", "to", "", 1},
      {"To: x,\n\ty\nCc: z\n", "to", "[x,\n\ty\n]", 2},
      {"no colon anywhere\n", "no colon anywhere\n", "", 0},
      // A last line without its newline, as capture leaves it when the input ends early.
      {"From: joe@example.org", "from", "[joe@example.org]", 1},
      {"From:", "from", "[]", 1},
      {"From: a\nTo:  ", "to", "[]", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " / " + c.key);
    build(c.text);
    EXPECT_EQ(c.values, values_of(c.key));
    EXPECT_EQ(c.entries, header_index.table.groups[0].used);
  }
}

TEST(HeaderIndex, HeaderValueDropsOnlyAFinalNewline) {
  const struct {
    std::string text;
    const char* from;
  } cases[] = {
      {"From: Joe <joe@host>\n", "<Joe <joe@host>>"},
      {"From:\n", "<>"},
      {"From: x\r\n", "<x\r>"},
      {"From: a\n b\n", "<a\n b>"},
      {"from: first\nFROM: second\n", "<first>"},
      {"From : x\n", "none"},
      {"FROM\t: x\n", "<x>"},
      {"From: joe@example.org", "<joe@example.org>"},
      {"From:", "<>"},
      {"From:  \t", "<>"},
      {"", "none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    build(c.text);
    EXPECT_EQ(c.from, value_or_none("from"));
  }
}

TEST(HeaderIndex, EmptyTextGivesAnInitialisedEmptyTable) {
  build("");
  ASSERT_NE(nullptr, header_index.table.groups);
  EXPECT_EQ(1u, header_index.table.group_count);
  EXPECT_EQ(32u, header_index.table.initial_slots);
  EXPECT_EQ(nullptr, header_index.table.groups[0].slots);
  EXPECT_EQ(nullptr, header_value("from"));
  EXPECT_EQ(nullptr, header_value("sender"));
}

TEST(HeaderIndex, ValueCopiesAreFreshEachCall) {
  static const std::string text = "Sender: s@y\n";
  build(text);
  const char* a = header_value("sender");
  const char* b = header_value("sender");
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  EXPECT_NE(a, b);
  EXPECT_STREQ("s@y", a);
  EXPECT_STREQ("s@y", b);
}

TEST(CaseLower, OnlyAsciiCapitalsChange) {
  std::string all;
  for (int i = 0; i < 256; ++i)
    all.push_back(static_cast<char>(i));
  std::string lowered = all;
  case_lower(lowered.data(), static_cast<uint32_t>(lowered.size()));
  for (int i = 0; i < 256; ++i) {
    int expected = i >= 'A' && i <= 'Z' ? i + 32 : i;
    EXPECT_EQ(expected, static_cast<unsigned char>(lowered[static_cast<size_t>(i)])) << i;
  }
  // Every length around the four-byte step, with a guard byte behind that must stay.
  for (uint32_t n = 0; n < 9; ++n) {
    std::string s = std::string("ABCDEFGHI").substr(0, n) + "Z";
    case_lower(s.data(), n);
    EXPECT_EQ(std::string("abcdefghi").substr(0, n) + "Z", s);
  }
}
