// The fixed-address mapping under the shared handle heap, from the system: one file per system.
#pragma once

#include <cstddef>

enum class Mapping { kMapped, kTaken, kFailed };

// Maps `size` zero-filled, writable bytes at exactly `address`: kMapped; kTaken when something is
// mapped there already (another module of the process made the heap); kFailed otherwise.
Mapping MapAt(void* address, size_t size);
// Whether the page at `address` is mapped.
bool MappedAt(const void* address);
