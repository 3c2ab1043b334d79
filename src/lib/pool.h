// pool.h: the static 4096-byte pool, carved from its top, with the heap behind it.
#pragma once

#include <cstdint>

namespace postlet {

inline constexpr uint32_t POOL_SIZE = 4096;

// Pool bytes not yet handed out; falls from 4096 towards 0 and never rises.
extern uint32_t pool_bytes_left;

// Blocks the heap had to serve since the start; read by tests and benchmarks.
extern uint32_t pool_heap_blocks;

// At least n bytes, not cleared, 16-byte aligned; null with errno ENOMEM when the heap is out
// or the rounded size does not fit in 32 bits.
[[nodiscard]] void* pool_alloc(uint32_t n);

// Heap blocks go back to the heap; pool blocks are never reused. A null pointer is ignored.
void pool_free(void* p);

// Test hook for builds with POSTLET_ALLOC_FAILURE: the n-th pool_alloc from now fails (0: none).
void pool_fail_after(uint32_t n);

}  // namespace postlet
