// keyed_table_test.cc: placement, growth, equal keys, owned and referenced bytes, the hash.
#include "header/keyed_table.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace postlet;

namespace {

// Every value stored under the key, in the order the lookup yields them.
std::vector<std::string> values_of(keyed_table* t, const std::string& key) {
  std::vector<std::string> out;
  const char* v = nullptr;
  uint32_t n = 0;
  auto klen = static_cast<uint32_t>(key.size());
  for (int r = keyed_table_first(t, key.data(), klen, &v, &n); r == 1;
       r = keyed_table_next(t, key.data(), klen, &v, &n)) {
    out.emplace_back(v, n);
  }
  return out;
}

int insert_text(keyed_table* t, const std::string& key, const std::string& value) {
  return keyed_table_insert(t, 1, key.data(), static_cast<uint32_t>(key.size()), 1, value.data(),
                            static_cast<uint32_t>(value.size()));
}

uint32_t plain_hash(const std::string& key) {
  uint32_t h = 0;
  for (char c : key)
    h = h * 131 + static_cast<uint32_t>(static_cast<signed char>(c));
  return h;
}

// Group kN (of three) with home slot 31 of its first 32.
uint32_t home_31_of_group(const char* key, uint32_t n) {
  return 31 * 3 + static_cast<uint32_t>(key[n - 1] - '0');
}

}  // namespace

TEST(KeyedTableHash, KnownValuesAndThePlainLoop) {
  const struct {
    std::string key;
    uint32_t hash;
  } cases[] = {
      {"from", 231276286u},
      {"sender", 4163800797u},
      {"ab", 12805u},
      {"\xFF\x80"
       "abc",
       3714389281u},
      {"", 0u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(c.hash, keyed_table_hash(c.key.data(), static_cast<uint32_t>(c.key.size())));
  }
  // Four bytes per step and the tail one by one must agree with one byte per step.
  std::string key;
  for (int n = 0; n < 11; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(plain_hash(key), keyed_table_hash(key.data(), static_cast<uint32_t>(key.size())));
    key.push_back(static_cast<char>(n % 2 ? 0xE9 : 'a' + n));
  }
}

TEST(KeyedTable, InitRefusesBadArguments) {
  keyed_table t = {};
  const struct {
    keyed_table* table;
    uint32_t groups;
    keyed_hash fn;
    int error;
  } cases[] = {
      {nullptr, 1, keyed_table_hash, ENOENT},
      {&t, 0, keyed_table_hash, ENOENT},
      {&t, 1, nullptr, ENOENT},
      {&t, 0x10000000u, keyed_table_hash, ENOMEM},  // the group array's size overflows
  };
  for (const auto& c : cases) {
    errno = 0;
    EXPECT_EQ(-1, keyed_table_init(c.table, c.groups, 32, c.fn));
    EXPECT_EQ(c.error, errno);
  }
  EXPECT_EQ(nullptr, t.groups);
  ASSERT_EQ(0, keyed_table_init(&t, 3, 8, keyed_table_hash));
  EXPECT_EQ(3u, t.group_count);
  EXPECT_EQ(8u, t.initial_slots);
  for (uint32_t i = 0; i < 3; ++i)
    EXPECT_EQ(nullptr, t.groups[i].slots);
}

TEST(KeyedTable, GrowsOnlyWhenHalfFull) {
  keyed_table t = {};
  ASSERT_EQ(0, keyed_table_init(&t, 1, 32, keyed_table_hash));
  for (int i = 0; i < 17; ++i) {
    ASSERT_EQ(1, insert_text(&t, std::string("key").append(std::to_string(i)),
                             std::string("v").append(std::to_string(i))));
    EXPECT_EQ(i < 16 ? 32u : 64u, t.groups[0].size) << "after insertion " << i + 1;
    EXPECT_EQ(static_cast<uint32_t>(i + 1), t.groups[0].used);
  }
  for (int i = 0; i < 17; ++i) {
    EXPECT_EQ(std::vector<std::string>{std::string("v").append(std::to_string(i))},
              values_of(&t, std::string("key").append(std::to_string(i))));
  }
  keyed_table_free(&t);
}

TEST(KeyedTable, EqualKeysInInsertionOrderThenNothing) {
  keyed_table t = {};
  ASSERT_EQ(0, keyed_table_init(&t, 1, 32, keyed_table_hash));
  for (const char* v : {"first", "second", "third"})
    ASSERT_EQ(1, insert_text(&t, "from", v));
  ASSERT_EQ(1, insert_text(&t, "From", "other case"));
  ASSERT_EQ(1, insert_text(&t, "sender", "s"));
  EXPECT_EQ((std::vector<std::string>{"first", "second", "third"}), values_of(&t, "from"));
  // After the last match the lookup keeps answering 0.
  EXPECT_EQ(0, keyed_table_next(&t, "from", 4, nullptr, nullptr));
  EXPECT_EQ(std::vector<std::string>{"other case"}, values_of(&t, "From"));
  EXPECT_EQ(std::vector<std::string>{}, values_of(&t, "FROM"));
  EXPECT_EQ(std::vector<std::string>{}, values_of(&t, "fro"));
  // A new first abandons the lookup in progress.
  const char* v;
  uint32_t n;
  ASSERT_EQ(1, keyed_table_first(&t, "sender", 6, &v, &n));
  ASSERT_EQ(1, keyed_table_first(&t, "from", 4, &v, &n));
  EXPECT_EQ("first", std::string(v, n));
  keyed_table_free(&t);
}

TEST(KeyedTable, EqualKeysKeepTheirOrderThroughGrowthsInEveryGroup) {
  keyed_table t = {};
  ASSERT_EQ(0, keyed_table_init(&t, 3, 32, home_31_of_group));
  std::vector<std::string> inserted;
  for (int i = 0; i < 100; ++i) {
    inserted.push_back(std::to_string(i));
    for (const char* key : {"k0", "k1", "k2"})
      ASSERT_EQ(1, insert_text(&t, key, inserted.back()));
    // The run from slot 31 has wrapped to slots 0 to 14 when the first growth comes.
    if (i == 15) {
      EXPECT_EQ(inserted, values_of(&t, "k1"));
    }
  }
  // Each group is found after growth only where growth places by the hash without its group part.
  for (const char* key : {"k0", "k1", "k2"}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(256u, t.groups[key[1] - '0'].size);
    EXPECT_EQ(inserted, values_of(&t, key));
  }
  keyed_table_free(&t);
}

TEST(KeyedTable, OwnedAndReferencedBytes) {
  keyed_table t = {};
  ASSERT_EQ(0, keyed_table_init(&t, 1, 32, keyed_table_hash));
  char key[] = "copied-key";
  char eight[] = "12345678";
  char nine[] = "123456789";
  char shared[] = "referenced";
  ASSERT_EQ(1, keyed_table_insert(&t, 1, key, 10, 1, eight, 8));
  ASSERT_EQ(1, keyed_table_insert(&t, 1, "nine", 4, 1, nine, 9));
  ASSERT_EQ(1, keyed_table_insert(&t, 0, shared, 10, 0, shared, 10));
  // Copies no longer follow the caller's bytes; references do.
  key[0] = 'X';
  eight[0] = 'X';
  nine[0] = 'X';
  EXPECT_EQ(std::vector<std::string>{"12345678"}, values_of(&t, "copied-key"));
  EXPECT_EQ(std::vector<std::string>{"123456789"}, values_of(&t, "nine"));

  keyed_entry* entries[3] = {};
  for (uint32_t i = 0; i < t.groups[0].size; ++i) {
    keyed_entry* e = t.groups[0].slots[i];
    if (!e) continue;
    uint32_t klen = e->key_length & ~KEYED_OWNED;
    entries[klen == 4 ? 1 : (e->key_length & KEYED_OWNED) ? 0 : 2] = e;
  }
  ASSERT_NE(nullptr, entries[0]);
  ASSERT_NE(nullptr, entries[1]);
  ASSERT_NE(nullptr, entries[2]);
  const char* v;
  uint32_t n;
  // Eight owned bytes live in the entry itself; nine get a block of their own.
  ASSERT_EQ(1, keyed_table_first(&t, "copied-key", 10, &v, &n));
  EXPECT_EQ(entries[0]->value.bytes, v);
  EXPECT_EQ(8u | KEYED_OWNED, entries[0]->value_length);
  EXPECT_EQ(10u | KEYED_OWNED, entries[0]->key_length);
  ASSERT_EQ(1, keyed_table_first(&t, "nine", 4, &v, &n));
  EXPECT_EQ(9u, n);
  EXPECT_EQ(entries[1]->value.block, v);
  EXPECT_NE(nine, v);
  EXPECT_EQ(9u | KEYED_OWNED, entries[1]->value_length);
  ASSERT_EQ(1, keyed_table_first(&t, "referenced", 10, &v, &n));
  EXPECT_EQ(shared, v);
  EXPECT_EQ(10u, entries[2]->value_length);
  EXPECT_EQ(shared, entries[2]->key.pointer);
  shared[0] = 'X';
  EXPECT_EQ(std::vector<std::string>{}, values_of(&t, "referenced"));
  keyed_table_free(&t);
  const keyed_table fresh = {};
  EXPECT_EQ(0, std::memcmp(&fresh, &t, sizeof t));
}

TEST(KeyedTable, NegativeLengthsAreRefused) {
  keyed_table t = {};
  ASSERT_EQ(0, keyed_table_init(&t, 1, 32, keyed_table_hash));
  const auto minus_one = static_cast<uint32_t>(-1);
  const struct {
    const char* name;
    int (*call)(keyed_table*, uint32_t);
  } cases[] = {
      {"insert key",
       [](keyed_table* tt, uint32_t n) { return keyed_table_insert(tt, 1, "k", n, 1, "v", 1); }},
      {"insert value",
       [](keyed_table* tt, uint32_t n) { return keyed_table_insert(tt, 1, "k", 1, 0, "v", n); }},
      {"first",
       [](keyed_table* tt, uint32_t n) { return keyed_table_first(tt, "k", n, nullptr, nullptr); }},
      {"next",
       [](keyed_table* tt, uint32_t n) { return keyed_table_next(tt, "k", n, nullptr, nullptr); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (uint32_t n : {minus_one, 0x80000000u}) {
      errno = 0;
      EXPECT_EQ(-1, c.call(&t, n));
      EXPECT_EQ(ENOENT, errno);
    }
  }
  EXPECT_EQ(nullptr, t.groups[0].slots);
  keyed_table_free(&t);
}

TEST(KeyedTable, MissesInUnallocatedAndEmptyGroups) {
  keyed_table t = {};
  ASSERT_EQ(0, keyed_table_init(&t, 4, 8, keyed_table_hash));
  const char* v = "untouched";
  uint32_t n = 77;
  EXPECT_EQ(0, keyed_table_first(&t, "from", 4, &v, &n));
  EXPECT_EQ(0, keyed_table_first(&t, "", 0, &v, &n));
  EXPECT_STREQ("untouched", v);
  EXPECT_EQ(77u, n);
  // "from" and "sender" land in different groups: one gets slots, the other stays without.
  ASSERT_NE(keyed_table_hash("from", 4) % 4, keyed_table_hash("sender", 6) % 4);
  ASSERT_EQ(1, insert_text(&t, "from", "x"));
  EXPECT_EQ(nullptr, t.groups[keyed_table_hash("sender", 6) % 4].slots);
  EXPECT_EQ(0, keyed_table_first(&t, "sender", 6, &v, &n));
  // Same group, different key: probing ends at an empty slot.
  EXPECT_EQ(std::vector<std::string>{}, values_of(&t, "From"));
  keyed_table_free(&t);
}

TEST(KeyedTable, FirstTextTakesTheLengthFromTheText) {
  keyed_table t = {};
  ASSERT_EQ(0, keyed_table_init(&t, 1, 32, keyed_table_hash));
  ASSERT_EQ(1, insert_text(&t, "sender", "s@y"));
  const char* v = nullptr;
  uint32_t n = 0;
  EXPECT_EQ(1, keyed_table_first_text(&t, "sender", 0, &v, &n));
  EXPECT_EQ("s@y", std::string(v, n));
  EXPECT_EQ(1, keyed_table_first_text(&t, "senderXYZ", 6, &v, &n));
  v = "stale";
  EXPECT_EQ(0, keyed_table_first_text(&t, "from", 0, &v, &n));
  EXPECT_EQ(nullptr, v);
  keyed_table_free(&t);
}

TEST(KeyedTable, OversizedSlotArrayIsExhaustedStorage) {
  keyed_table t = {};
  ASSERT_EQ(0, keyed_table_init(&t, 1, 0x20000000u, keyed_table_hash));
  errno = 0;
  EXPECT_EQ(-1, insert_text(&t, "k", "v"));
  EXPECT_EQ(ENOMEM, errno);
  EXPECT_EQ(nullptr, t.groups[0].slots);
  EXPECT_EQ(0u, t.groups[0].used);
}
