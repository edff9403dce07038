// Heap allocations made by the process so far (malloc, calloc and realloc calls), for the tests and
// the benchmarks: one counter per system, alloc_counter_glibc.cpp or alloc_counter_windows.cpp.
#pragma once

long AllocationCount();
