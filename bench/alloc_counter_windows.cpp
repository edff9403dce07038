// Counts the heap allocations of the program on Windows: the linker routes every malloc, calloc
// and realloc call of the program (the statically linked C++ library's included) here.
#include <atomic>
#include <cstddef>

#include "alloc_counter.h"

extern "C" void* __real_malloc(size_t size);
extern "C" void* __real_calloc(size_t count, size_t size);
extern "C" void* __real_realloc(void* block, size_t size);

static std::atomic<long> g_allocations{0};

long AllocationCount() { return g_allocations.load(std::memory_order_relaxed); }

extern "C" void* __wrap_malloc(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __real_malloc(size);
}

extern "C" void* __wrap_calloc(size_t count, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __real_calloc(count, size);
}

extern "C" void* __wrap_realloc(void* block, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __real_realloc(block, size);
}
