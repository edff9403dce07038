// A source's own handle memory on a POSIX system: the shared fixed-address heap, whose blocks the
// session host reads and disposes of as it does its own.
#include "HandleHeap.h"
#include "SourceMemory.h"

namespace {

TW_HANDLE TW_CALLINGCONV HeapAllocate(TW_UINT32 size) { return handleheap::NewHandle(size); }
void TW_CALLINGCONV HeapFree(TW_HANDLE handle) { handleheap::DisposeHandle(handle); }
TW_MEMREF TW_CALLINGCONV HeapLock(TW_HANDLE handle) { return handleheap::Lock(handle); }
void TW_CALLINGCONV HeapUnlock(TW_HANDLE handle) { handleheap::Unlock(handle); }

}  // namespace

const TW_ENTRYPOINT& sourcememory::SystemMemory() {
    static const TW_ENTRYPOINT kSharedHeap = {sizeof(TW_ENTRYPOINT), nullptr, HeapAllocate, HeapFree, HeapLock,
                                              HeapUnlock};
    return kSharedHeap;
}
