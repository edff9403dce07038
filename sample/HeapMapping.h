// The fixed-address mapping under the shared handle heap, from the system: one file per system.
#pragma once

#include <cstddef>
#include <cstdint>

// Where the heap lies and how large it is: a range every process of this system leaves free at its start.
uintptr_t HeapAddress();
size_t HeapBytes();

enum class Mapping { kMapped, kTaken, kFailed };

// Maps `size` zero-filled, writable bytes at exactly `address`: kMapped; kTaken when something is
// mapped there already (another module of the process made the heap); kFailed otherwise.
Mapping MapAt(void* address, size_t size);
// Whether the page at `address` is mapped.
bool MappedAt(const void* address);
