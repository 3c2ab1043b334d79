// pool.cc: the static pool and its heap fallback.
#include "lib/pool.h"

#include <cerrno>
#include <cstdlib>

#if defined(POSTLET_SANITIZE)
#include <sanitizer/asan_interface.h>
#endif

namespace postlet {

alignas(16) static char pool_space[POOL_SIZE];
uint32_t pool_bytes_left = POOL_SIZE;
uint32_t pool_heap_blocks = 0;

#if defined(POSTLET_ALLOC_FAILURE)
static uint32_t fail_countdown = 0;
void pool_fail_after(uint32_t n) {
  fail_countdown = n;
}
#else
void pool_fail_after(uint32_t) {}
#endif

void* pool_alloc(uint32_t n) {
#if defined(POSTLET_ALLOC_FAILURE)
  if (fail_countdown != 0 && --fail_countdown == 0) {
    errno = ENOMEM;
    return nullptr;
  }
#endif
  // The smallest multiple of 16 above n; one that does not fit in 32 bits is refused.
  if (n > UINT32_MAX - 16) {
    errno = ENOMEM;
    return nullptr;
  }
  uint32_t rounded = (n & ~uint32_t{15}) + 16;
  if (rounded <= pool_bytes_left) {
#if defined(POSTLET_SANITIZE)
    if (pool_bytes_left == POOL_SIZE) ASAN_POISON_MEMORY_REGION(pool_space, POOL_SIZE);
#endif
    pool_bytes_left -= rounded;
    char* block = pool_space + pool_bytes_left;
#if defined(POSTLET_SANITIZE)
    ASAN_UNPOISON_MEMORY_REGION(block, n);
#endif
    return block;
  }
  void* block = malloc(rounded);  // NOLINT(cppcoreguidelines-no-malloc)
  if (!block) {
    errno = ENOMEM;
    return nullptr;
  }
  ++pool_heap_blocks;
  return block;
}

void pool_free(void* p) {
  const char* c = static_cast<const char*>(p);
  // Neither a null pointer nor a pool block goes to free, which would cost a symbol look-up.
  if (!c || (c >= pool_space && c < pool_space + POOL_SIZE)) return;
  free(p);  // NOLINT(cppcoreguidelines-no-malloc)
}

}  // namespace postlet
