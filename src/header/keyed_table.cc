// keyed_table.cc: grouped open addressing with linear probing and growth at half load.
#include "header/keyed_table.h"

#include <cerrno>
#include <cstddef>

#include "lib/pool.h"
#include "lib/text.h"

namespace postlet {

// A copied key takes the place of the key pointer, so such an entry is this long plus the key.
static constexpr uint32_t ENTRY_FIXED = offsetof(keyed_entry, key);
static constexpr uint32_t SMALL_VALUE = sizeof(keyed_bytes);
// A slot is one pointer.
static constexpr uint32_t SLOT_BYTES = sizeof(void*);
static_assert(SMALL_VALUE == 8);

static uint32_t length_of(uint32_t field) {
  return field & ~KEYED_OWNED;
}

static int vacated(keyed_entry* const* slot) {
  const void* target = *slot;
  const void* self = slot;
  return target == self;
}

static int holds_entry(keyed_entry* const* slot) {
  return *slot && !vacated(slot);
}

static const char* key_bytes(const keyed_entry* e) {
  return (e->key_length & KEYED_OWNED) ? e->key.bytes : e->key.pointer;
}

static const char* value_bytes(const keyed_entry* e) {
  if (!(e->value_length & KEYED_OWNED)) return e->value.pointer;
  return length_of(e->value_length) <= SMALL_VALUE ? e->value.bytes : e->value.block;
}

// n empty slots, or null with ENOMEM, also when the array's size would not fit in 32 bits.
static keyed_entry** slot_array(uint32_t n) {
  if (n > UINT32_MAX / SLOT_BYTES) {
    errno = ENOMEM;
    return nullptr;
  }
  auto** slots = static_cast<keyed_entry**>(pool_alloc(n * SLOT_BYTES));
  if (!slots) return nullptr;
  for (uint32_t i = 0; i < n; ++i)
    slots[i] = nullptr;
  return slots;
}

// Doubles the group's slots, re-placing entries by their stored hash. The walk starts after an
// empty slot, so that each run is taken from its start: equal keys keep their order even where
// a run wrapped past the end of the old array.
static int grow(const keyed_table* t, keyed_group* g) {
  if (g->size > UINT32_MAX / 2) {
    errno = ENOMEM;
    return -1;
  }
  // A group that started with no slots (outside the data model) still gets somewhere to probe.
  uint32_t size = g->size ? g->size * 2 : 2;
  keyed_entry** slots = slot_array(size);
  if (!slots) return -1;
  uint32_t empty = 0;
  while (empty < g->size && g->slots[empty])
    ++empty;
  for (uint32_t k = 1; k <= g->size; ++k) {
    uint32_t i = (empty + k) % g->size;
    if (!holds_entry(&g->slots[i])) continue;
    keyed_entry* e = g->slots[i];
    uint32_t j = e->hash / t->group_count % size;
    while (slots[j])
      j = (j + 1) % size;
    slots[j] = e;
  }
  pool_free(g->slots);
  g->slots = slots;
  g->size = size;
  return 0;
}

int keyed_table_init(keyed_table* t, uint32_t groups, uint32_t slots, keyed_hash fn) {
  if (!t || !groups || !fn) {
    errno = ENOENT;
    return -1;
  }
  if (groups > UINT32_MAX / sizeof(keyed_group)) {
    errno = ENOMEM;
    return -1;
  }
  auto* array = static_cast<keyed_group*>(pool_alloc(groups * uint32_t{sizeof(keyed_group)}));
  if (!array) return -1;
  for (uint32_t i = 0; i < groups; ++i)
    array[i] = keyed_group{};
  t->group_count = groups;
  t->groups = array;
  t->hash = fn;
  t->initial_slots = slots;
  t->lookup_hash = 0;
  t->lookup_counter = 0;
  return 0;
}

int keyed_table_insert(keyed_table* t, int copy_key, const char* key, uint32_t klen, int copy_value,
                       const char* value, uint32_t vlen) {
  if ((klen | vlen) & KEYED_OWNED) {
    errno = ENOENT;
    return -1;
  }
  uint32_t h = t->hash(key, klen);
  keyed_group* g = &t->groups[h % t->group_count];
  uint32_t q = h / t->group_count;
  if (!g->slots) {
    keyed_entry** slots = slot_array(t->initial_slots);
    if (!slots) return -1;
    g->slots = slots;
    g->size = t->initial_slots;
    g->used = 0;
  }
  // Keeping used below half the size leaves an empty slot that ends every probe.
  if (g->used >= g->size / 2 && grow(t, g) == -1) return -1;
  uint32_t i = q % g->size;
  while (holds_entry(&g->slots[i]))
    i = (i + 1) % g->size;

  // klen has bit 31 clear, so the copied key's entry size cannot overflow.
  uint32_t size = copy_key ? ENTRY_FIXED + klen : uint32_t{sizeof(keyed_entry)};
  auto* e = static_cast<keyed_entry*>(pool_alloc(size));
  if (!e) return -1;
  if (copy_value && vlen <= SMALL_VALUE) {
    bytes_copy(e->value.bytes, vlen, value);
    e->value_length = vlen | KEYED_OWNED;
  } else if (copy_value) {
    char* block = static_cast<char*>(pool_alloc(vlen));
    if (!block) {
      pool_free(e);
      errno = ENOMEM;
      return -1;
    }
    bytes_copy(block, vlen, value);
    e->value.block = block;
    e->value_length = vlen | KEYED_OWNED;
  } else {
    e->value.pointer = value;
    e->value_length = vlen;
  }
  if (copy_key) {
    bytes_copy(e->key.bytes, klen, key);
    e->key_length = klen | KEYED_OWNED;
  } else {
    e->key.pointer = key;
    e->key_length = klen;
  }
  e->hash = h;
  g->slots[i] = e;
  ++g->used;
  return 1;
}

int keyed_table_next(keyed_table* t, const char* key, uint32_t klen, const char** value,
                     uint32_t* vlen) {
  if (klen & KEYED_OWNED) {
    errno = ENOENT;
    return -1;
  }
  // Within a lookup the key is not hashed again: the caller passes the same key.
  uint32_t h;
  if (t->lookup_counter == 0) {
    h = t->hash(key, klen);
    t->lookup_hash = h;
  } else {
    h = t->lookup_hash;
  }
  const keyed_group* g = &t->groups[h % t->group_count];
  if (!g->slots || !g->size) return 0;
  uint32_t start = h / t->group_count % g->size;
  uint32_t i = (start + t->lookup_counter % g->size) % g->size;
  for (;;) {
    keyed_entry* const* slot = &g->slots[i];
    if (!*slot) return 0;
    ++t->lookup_counter;
    const keyed_entry* e = *slot;
    // Hash and length first: the bytes are compared only for a likely match.
    if (!vacated(slot) && e->hash == h && length_of(e->key_length) == klen &&
        bytes_compare(key_bytes(e), klen, key) == 0) {
      if (vlen) *vlen = length_of(e->value_length);
      if (value) *value = value_bytes(e);
      return 1;
    }
    i = (i + 1) % g->size;
    if (i == start) return 0;
  }
}

int keyed_table_first(keyed_table* t, const char* key, uint32_t klen, const char** value,
                      uint32_t* vlen) {
  t->lookup_counter = 0;
  return keyed_table_next(t, key, klen, value, vlen);
}

int keyed_table_first_text(keyed_table* t, const char* key, uint32_t klen, const char** value,
                           uint32_t* vlen) {
  if (klen == 0) klen = text_length(key);
  const char* found = nullptr;
  int r = keyed_table_first(t, key, klen, &found, vlen);
  if (value) *value = found;
  return r;
}

void keyed_table_free(keyed_table* t) {
  for (uint32_t k = 0; k < t->group_count; ++k) {
    keyed_group* g = &t->groups[k];
    if (!g->slots) continue;
    for (uint32_t i = 0; i < g->size; ++i) {
      if (!holds_entry(&g->slots[i])) continue;
      keyed_entry* e = g->slots[i];
      if ((e->value_length & KEYED_OWNED) && length_of(e->value_length) > SMALL_VALUE) {
        pool_free(e->value.block);
      }
      pool_free(e);
    }
    pool_free(g->slots);
  }
  pool_free(t->groups);
  // Nothing of the old table stays reachable: the record is as it was before keyed_table_init.
  *t = keyed_table{};
}

// The byte's value as a signed byte, widened modulo 2^32, whatever the signedness of char.
static uint32_t signed_byte(char c) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
}

uint32_t keyed_table_hash(const char* key, uint32_t n) {
  uint32_t h = 0;
  uint32_t i = 0;
  for (; n - i >= 4; i += 4) {
    h = h * 131 + signed_byte(key[i]);
    h = h * 131 + signed_byte(key[i + 1]);
    h = h * 131 + signed_byte(key[i + 2]);
    h = h * 131 + signed_byte(key[i + 3]);
  }
  for (; i < n; ++i)
    h = h * 131 + signed_byte(key[i]);
  return h;
}

}  // namespace postlet
