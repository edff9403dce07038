// The scanner's memory functions: the Source Manager's when it gave them, else the shared heap.
#include "SourceMemory.h"

#include "HandleHeap.h"

namespace {

TW_HANDLE TW_CALLINGCONV HeapAllocate(TW_UINT32 size) { return handleheap::NewHandle(size); }
void TW_CALLINGCONV HeapFree(TW_HANDLE handle) { handleheap::DisposeHandle(handle); }
TW_MEMREF TW_CALLINGCONV HeapLock(TW_HANDLE handle) { return handleheap::Lock(handle); }
void TW_CALLINGCONV HeapUnlock(TW_HANDLE handle) { handleheap::Unlock(handle); }

const TW_ENTRYPOINT kSharedHeap = {sizeof(TW_ENTRYPOINT), nullptr, HeapAllocate, HeapFree, HeapLock, HeapUnlock};

TW_ENTRYPOINT g_memory = kSharedHeap;

}  // namespace

namespace sourcememory {

void Use(const TW_ENTRYPOINT* entryPoints) { g_memory = entryPoints != nullptr ? *entryPoints : kSharedHeap; }

// A TWAIN allocation takes a 32-bit size; anything larger cannot be asked for.
TW_HANDLE Allocate(size_t size) {
    return size <= 0xFFFFFFFFu ? g_memory.DSM_MemAllocate(static_cast<TW_UINT32>(size)) : nullptr;
}

void* Lock(TW_HANDLE handle) { return handle != nullptr ? g_memory.DSM_MemLock(handle) : nullptr; }

void Unlock(TW_HANDLE handle) {
    if (handle != nullptr) g_memory.DSM_MemUnlock(handle);
}

}  // namespace sourcememory
