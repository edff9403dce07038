// Counts the heap allocations of the process (malloc, calloc and realloc calls), for the tests and
// the benchmarks. With glibc the program's own malloc, calloc and realloc stand in for the C
// library's and call its internal entry points; on Windows the linker routes every call of the
// program (the statically linked C++ library's included) to __wrap_*, which call __real_*.
#include "alloc_counter.h"

#include <atomic>
#include <cstddef>

#if defined(_WIN32)
#define COUNTED(name) __wrap_##name
#define ALLOCATOR(name) __real_##name
#else
#define COUNTED(name) name
#define ALLOCATOR(name) __libc_##name
#endif

extern "C" void* ALLOCATOR(malloc)(size_t size);
extern "C" void* ALLOCATOR(calloc)(size_t count, size_t size);
extern "C" void* ALLOCATOR(realloc)(void* block, size_t size);

static std::atomic<long> g_allocations{0};

long AllocationCount() { return g_allocations.load(std::memory_order_relaxed); }

extern "C" void* COUNTED(malloc)(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return ALLOCATOR(malloc)(size);
}

extern "C" void* COUNTED(calloc)(size_t count, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return ALLOCATOR(calloc)(count, size);
}

extern "C" void* COUNTED(realloc)(void* block, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return ALLOCATOR(realloc)(block, size);
}
