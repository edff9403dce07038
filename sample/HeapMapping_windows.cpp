// The heap's mapping on Windows: address space reserved and committed at the fixed address.
#include <windows.h>

#include "HeapMapping.h"

// Low enough for a 32-bit process, whose upper half Wine and the system DLLs fill from the start,
// and above the 64 MB that the in-process tests place at 0x10000000.
uintptr_t HeapAddress() { return 0x14000000; }
size_t HeapBytes() { return size_t(128) << 20; }

Mapping MapAt(void* address, size_t size) {
    if (VirtualAlloc(address, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) == address) return Mapping::kMapped;
    return MappedAt(address) ? Mapping::kTaken : Mapping::kFailed;
}

bool MappedAt(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    return VirtualQuery(address, &info, sizeof(info)) == sizeof(info) && info.State == MEM_COMMIT;
}
