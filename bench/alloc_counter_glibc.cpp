// Counts the heap allocations of the process through glibc's own allocator entry points, so that
// a benchmark can report them per call and a test can assert there are none.
#include "alloc_counter.h"

#include <atomic>
#include <cstddef>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);

static std::atomic<long> g_allocations{0};

long AllocationCount() { return g_allocations.load(std::memory_order_relaxed); }

extern "C" void* malloc(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}
