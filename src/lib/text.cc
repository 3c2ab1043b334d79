// text.cc: byte and text helpers.
#include "lib/text.h"

#include <cstdint>

namespace postlet {

// A machine word read or written at any byte address. The alias attribute lets it stand for
// bytes of any type, packing lets it sit anywhere; both compilers turn an access into one plain
// load or store, never a library call.
struct __attribute__((packed, may_alias)) any_word {
  uint64_t value;
};
constexpr uint32_t WORD = sizeof(uint64_t);
constexpr uint32_t PAIR = 2 * WORD;
constexpr uint64_t ONES = 0x0101010101010101u;
constexpr uint64_t HIGHS = 0x8080808080808080u;

static uint64_t load(const char* p) {
  return reinterpret_cast<const any_word*>(p)->value;
}

static void store(char* p, uint64_t w) {
  reinterpret_cast<any_word*>(p)->value = w;
}

// Sixteen bytes at any address, four of them moved per step of a long copy.
using sixteen = uint64_t __attribute__((vector_size(16)));
struct __attribute__((packed, may_alias)) any_block {
  sixteen value;
};
constexpr uint32_t BLOCK = sizeof(sixteen);
constexpr uint32_t HALF_STRIDE = 2 * BLOCK;
constexpr uint32_t STRIDE = 2 * HALF_STRIDE;

static sixteen load_block(const char* p) {
  return reinterpret_cast<const any_block*>(p)->value;
}

static void store_block(char* p, sixteen b) {
  reinterpret_cast<any_block*>(p)->value = b;
}

// Non-zero when some byte of w is zero; which one is left to a byte loop.
static uint64_t has_zero_byte(uint64_t w) {
  return (w - ONES) & ~w & HIGHS;
}

// The helpers taking a NUL-terminated text stay a byte at a time: their end is unknown, and a
// word read could run past the object the text lives in.
uint32_t text_length(const char* text) {
  uint32_t n = 0;
  while (text[n]) ++n;
  return n;
}

uint32_t text_find_byte(const char* text, char c) {
  uint32_t i = 0;
  while (text[i] && text[i] != c) ++i;
  return i;
}

int text_compare(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x != y) return x - y;
    if (!x) return 0;
  }
}

// Each step loads all it moves before it stores any, which is what a byte loop does too unless
// the destination lies less than a step above (forward) or below (backward) the source: there a
// byte written early is read again later. So the step shrinks with the distance, down to bytes.
void bytes_copy(char* destination, uint32_t n, const char* source) {
  uint32_t i = 0;
  uintptr_t distance =
      reinterpret_cast<uintptr_t>(destination) - reinterpret_cast<uintptr_t>(source);
  if (distance >= STRIDE) {
    for (; n - i >= STRIDE; i += STRIDE) {
      sixteen a = load_block(source + i);
      sixteen b = load_block(source + i + BLOCK);
      sixteen c = load_block(source + i + HALF_STRIDE);
      sixteen d = load_block(source + i + (HALF_STRIDE + BLOCK));
      store_block(destination + i, a);
      store_block(destination + i + BLOCK, b);
      store_block(destination + i + HALF_STRIDE, c);
      store_block(destination + i + (HALF_STRIDE + BLOCK), d);
    }
  }
  if (distance >= PAIR) {
    for (; n - i >= PAIR; i += PAIR) {
      uint64_t x = load(source + i);
      uint64_t y = load(source + i + WORD);
      store(destination + i, x);
      store(destination + i + WORD, y);
    }
    if (n - i >= WORD) {
      store(destination + i, load(source + i));
      i += WORD;
    }
  }
  for (; i < n; ++i)
    destination[i] = source[i];
}

void bytes_copy_backward(char* destination, uint32_t n, const char* source) {
  uintptr_t distance =
      reinterpret_cast<uintptr_t>(source) - reinterpret_cast<uintptr_t>(destination);
  if (distance >= STRIDE) {
    for (; n >= STRIDE; n -= STRIDE) {
      sixteen d = load_block(source + n - BLOCK);
      sixteen c = load_block(source + n - HALF_STRIDE);
      sixteen b = load_block(source + n - (HALF_STRIDE + BLOCK));
      sixteen a = load_block(source + n - STRIDE);
      store_block(destination + n - BLOCK, d);
      store_block(destination + n - HALF_STRIDE, c);
      store_block(destination + n - (HALF_STRIDE + BLOCK), b);
      store_block(destination + n - STRIDE, a);
    }
  }
  if (distance >= PAIR) {
    for (; n >= PAIR; n -= PAIR) {
      uint64_t y = load(source + n - WORD);
      uint64_t x = load(source + n - PAIR);
      store(destination + n - WORD, y);
      store(destination + n - PAIR, x);
    }
    if (n >= WORD) {
      n -= WORD;
      store(destination + n, load(source + n));
    }
  }
  while (n) {
    --n;
    destination[n] = source[n];
  }
}

uint32_t bytes_find(const char* bytes, uint32_t n, char c) {
  uint32_t i = 0;
  const uint64_t pattern = ONES * static_cast<unsigned char>(c);
  while (n - i >= WORD && !has_zero_byte(load(bytes + i) ^ pattern))
    i += WORD;
  while (i < n && bytes[i] != c) ++i;
  return i;
}

// A byte at a time, on purpose: it stops at the first difference, and the environment merge
// counts on that when it holds a name against an inherited entry that may be shorter.
int bytes_compare(const char* a, uint32_t n, const char* b) {
  for (uint32_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y) return x - y;
  }
  return 0;
}

const char* base_name(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p; ++p) {
    if (*p == '/') last = p;
  }
  if (!last || !last[1]) return path;
  return last + 1;
}

}  // namespace postlet
