// The heap's mapping on Windows: address space reserved and committed at the fixed address.
#include <windows.h>

#include "HeapMapping.h"

Mapping MapAt(void* address, size_t size) {
    if (VirtualAlloc(address, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) == address) return Mapping::kMapped;
    return MappedAt(address) ? Mapping::kTaken : Mapping::kFailed;
}

bool MappedAt(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    return VirtualQuery(address, &info, sizeof(info)) == sizeof(info) && info.State == MEM_COMMIT;
}
