// The host's handles on a POSIX system: every one a block of the shared fixed-address heap, which
// the virtual scanner allocates from as well, so every address is the same from run to run.
#include "HostMemory.h"

#include "HandleHeap.h"

TW_HANDLE NewApplicationHandle(size_t size) { return handleheap::NewHandle(size); }

void* LockHandle(TW_HANDLE handle) { return handleheap::Lock(handle); }
void UnlockHandle(TW_HANDLE handle) { handleheap::Unlock(handle); }
size_t HandleBytes(TW_HANDLE handle) { return handleheap::HandleSize(handle); }
void DisposeAnyHandle(TW_HANDLE handle) { handleheap::DisposeHandle(handle); }

void ReceiveHandle(TW_HANDLE) {}
size_t HandleNumber(TW_HANDLE) { return 0; }

size_t MemoryInUse() { return handleheap::BytesInUse(); }

TW_HANDLE TW_CALLINGCONV ManagerAllocate(TW_UINT32 size) { return handleheap::NewHandle(size); }
void TW_CALLINGCONV ManagerFree(TW_HANDLE handle) { handleheap::DisposeHandle(handle); }
TW_MEMREF TW_CALLINGCONV ManagerLock(TW_HANDLE handle) { return handleheap::Lock(handle); }
void TW_CALLINGCONV ManagerUnlock(TW_HANDLE handle) { handleheap::Unlock(handle); }
