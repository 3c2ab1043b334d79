// pool_test.cc: the pool: carving, the heap behind it, refused sizes.
#include "lib/pool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>

using namespace postlet;

TEST(Pool, CarvesFromTheTopInSixteenByteSteps) {
  if (pool_bytes_left != POOL_SIZE) GTEST_SKIP();
  char* a = static_cast<char*>(pool_alloc(0));
  char* b = static_cast<char*>(pool_alloc(0));
  EXPECT_EQ(16, a - b);
  EXPECT_EQ(POOL_SIZE - 32, pool_bytes_left);
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(b) % 16);
  const struct {
    uint32_t n, taken;
  } sizes[] = {{15, 16}, {16, 32}, {17, 32}, {31, 32}, {32, 48}};
  for (const auto& s : sizes) {
    uint32_t before = pool_bytes_left;
    char* c = static_cast<char*>(pool_alloc(s.n));
    EXPECT_EQ(s.taken, before - pool_bytes_left) << s.n;
    EXPECT_EQ(b - s.taken, c);
    b = c;
  }
}

TEST(Pool, ExactFitThenHeapThenPoolAgain) {
  if (pool_bytes_left != POOL_SIZE) GTEST_SKIP();
  uint32_t heap = pool_heap_blocks;
  void* first = pool_alloc(POOL_SIZE - 17);  // rounds to 4080
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(16u, pool_bytes_left);
  void* big = pool_alloc(16);  // rounds to 32: the heap serves it
  ASSERT_NE(nullptr, big);
  EXPECT_EQ(heap + 1, pool_heap_blocks);
  EXPECT_EQ(16u, pool_bytes_left);
  void* small = pool_alloc(10);  // still fits the pool
  EXPECT_EQ(0u, pool_bytes_left);
  EXPECT_EQ(heap + 1, pool_heap_blocks);
  pool_free(small);
  pool_free(big);
  EXPECT_EQ(0u, pool_bytes_left);
}

TEST(Pool, FullSizeRequestGoesToTheHeap) {
  if (pool_bytes_left != POOL_SIZE) GTEST_SKIP();
  void* p = pool_alloc(POOL_SIZE);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(POOL_SIZE, pool_bytes_left);
  pool_free(p);
  void* q = pool_alloc(POOL_SIZE - 1);
  EXPECT_EQ(0u, pool_bytes_left);
  pool_free(q);
  EXPECT_EQ(0u, pool_bytes_left);
}

TEST(Pool, SizesBeyondThirtyTwoBitsAreRefused) {
  for (uint32_t n : {UINT32_MAX, UINT32_MAX - 15}) {
    errno = 0;
    EXPECT_EQ(nullptr, pool_alloc(n));
    EXPECT_EQ(ENOMEM, errno);
  }
}
