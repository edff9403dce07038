// Handles the host meets: blocks of the shared heap, and blocks the source made with the Source
// Manager's memory functions.
#pragma once

#include "HandleHeap.h"
#include "HostSystem.h"

// Bytes of the block; 0 for a handle of neither kind.
inline size_t HandleBytes(TW_HANDLE handle) {
    const size_t bytes = handleheap::HandleSize(handle);
    return bytes != 0 ? bytes : ManagerBlockSize(handle);
}

inline void DisposeAnyHandle(TW_HANDLE handle) {
    if (handleheap::HandleSize(handle) == 0 && ManagerBlockSize(handle) != 0) ManagerFree(handle);
    else handleheap::DisposeHandle(handle);
}
