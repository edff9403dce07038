// The scanner's memory functions: the Source Manager's when it gave them, else the system's.
#include "SourceMemory.h"

namespace {

const TW_ENTRYPOINT* g_memory = nullptr;
TW_ENTRYPOINT g_manager = {};

const TW_ENTRYPOINT& Memory() { return g_memory != nullptr ? *g_memory : sourcememory::SystemMemory(); }

}  // namespace

namespace sourcememory {

void Use(const TW_ENTRYPOINT* entryPoints) {
    if (entryPoints != nullptr) g_manager = *entryPoints;
    g_memory = entryPoints != nullptr ? &g_manager : nullptr;
}

// A TWAIN allocation takes a 32-bit size; anything larger cannot be asked for.
TW_HANDLE Allocate(size_t size) {
    return size <= 0xFFFFFFFFu ? Memory().DSM_MemAllocate(static_cast<TW_UINT32>(size)) : nullptr;
}

void* Lock(TW_HANDLE handle) { return handle != nullptr ? Memory().DSM_MemLock(handle) : nullptr; }

void Unlock(TW_HANDLE handle) {
    if (handle != nullptr) Memory().DSM_MemUnlock(handle);
}

}  // namespace sourcememory
