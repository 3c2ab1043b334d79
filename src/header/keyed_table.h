// keyed_table.h: a hash table from byte-string keys to byte-string values, equal keys allowed.
#pragma once

#include <cstdint>
#include <type_traits>

namespace postlet {

// The hash of n key bytes.
using keyed_hash = uint32_t (*)(const char* key, uint32_t n);

// Eight bytes: a referenced key or value, an owned value's own block (more than 8 bytes), or the
// bytes themselves (owned values of at most 8 bytes, copied keys).
union keyed_bytes {
  const char* pointer;
  char* block;
  char bytes[8];
};

// Bit 31 of an entry's lengths: the table owns a copy of the value / the key sits in the entry.
inline constexpr uint32_t KEYED_OWNED = 0x80000000u;

struct keyed_entry {
  uint32_t hash;          // full hash of the key
  uint32_t value_length;  // bits 0 to 30 the length, bit 31 KEYED_OWNED
  uint32_t key_length;    // bits 0 to 30 the length, bit 31 KEYED_OWNED
  keyed_bytes value;
  keyed_bytes key;  // a copied key's bytes run on past the record's end
};
static_assert(std::is_trivial_v<keyed_entry> && std::is_standard_layout_v<keyed_entry>);

struct keyed_group {
  keyed_entry** slots;  // null until the group's first entry; a slot holding itself is vacated
  uint32_t used;        // entries stored
  uint32_t size;        // slots in the array
};

struct keyed_table {
  uint32_t initial_slots;  // slots a group gets with its first entry
  uint32_t group_count;
  keyed_group* groups;
  keyed_hash hash;
  uint32_t lookup_hash;     // hash of the key of the lookup in progress
  uint32_t lookup_counter;  // slots examined by it; 0: the next lookup starts afresh
};
static_assert(std::is_trivial_v<keyed_table> && std::is_standard_layout_v<keyed_table>);

// Lengths are 32-bit; one with bit 31 set counts as negative and is refused with ENOENT.
// Results: 1 found or stored, 0 not found, -1 with errno ENOENT (invalid argument) or ENOMEM.

// 0; -1 ENOENT for a null table or hash or no groups, -1 ENOMEM when the groups are unavailable.
[[nodiscard]] int keyed_table_init(keyed_table* t, uint32_t groups, uint32_t slots, keyed_hash fn);
// 1; a copied key or value is the table's, a referenced one stays the caller's and must outlive
// the table's use. Never replaces: equal keys give separate entries.
[[nodiscard]] int keyed_table_insert(keyed_table* t, int copy_key, const char* key, uint32_t klen,
                                     int copy_value, const char* value, uint32_t vlen);
// 1 and the first value of the key (pointer into the table, not NUL-terminated), or 0. Either
// output place may be null. Starts a new lookup.
[[nodiscard]] int keyed_table_first(keyed_table* t, const char* key, uint32_t klen,
                                    const char** value, uint32_t* vlen);
// The next value of the lookup in progress; the caller passes the key of keyed_table_first.
[[nodiscard]] int keyed_table_next(keyed_table* t, const char* key, uint32_t klen,
                                   const char** value, uint32_t* vlen);
// keyed_table_first, with klen 0 meaning a NUL-terminated key. *value is written (null on a miss)
// whenever value is not null.
[[nodiscard]] int keyed_table_first_text(keyed_table* t, const char* key, uint32_t klen,
                                         const char** value, uint32_t* vlen);
// Gives back everything the table owns and leaves the record zero-filled, as before
// keyed_table_init; the table must be initialised again before reuse.
void keyed_table_free(keyed_table* t);
// h = h * 131 + b over the bytes taken as signed, modulo 2^32; 0 for an empty key.
uint32_t keyed_table_hash(const char* key, uint32_t n);

}  // namespace postlet
