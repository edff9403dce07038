// Heap allocations made by the process so far (malloc, calloc and realloc calls).
#pragma once

long AllocationCount();
