// The host's handles on Windows: GlobalAlloc blocks, as a Windows application and Source Manager
// make them, read with GlobalLock and GlobalSize and freed with GlobalFree whoever made them. The
// system places them anywhere, so each block the host knows of carries a number for transcripts.
#include <windows.h>

#include <map>
#include <mutex>

#include "HandleHeap.h"
#include "HostMemory.h"

namespace {

// The live blocks the host knows of, with their numbers.
struct Known {
    std::mutex lock;
    std::map<TW_HANDLE, size_t> blocks;
    size_t numbered = 0;
};

Known& TheKnown() {
    static Known known;
    return known;
}

TW_HANDLE KnowNew(TW_HANDLE handle) {
    if (handle == nullptr) return nullptr;
    Known& known = TheKnown();
    std::lock_guard<std::mutex> guard(known.lock);
    known.blocks[handle] = ++known.numbered;
    return handle;
}

void Forget(TW_HANDLE handle) {
    Known& known = TheKnown();
    std::lock_guard<std::mutex> guard(known.lock);
    known.blocks.erase(handle);
}

// GlobalSize takes any value, and knows the blocks of GlobalAlloc alone.
bool IsGlobalBlock(TW_HANDLE handle) { return handle != nullptr && GlobalSize(handle) != 0; }

}  // namespace

// Moveable, as applications' own containers usually are: a handle that is not the block's address.
TW_HANDLE NewApplicationHandle(size_t size) { return KnowNew(GlobalAlloc(GHND, size != 0 ? size : 1)); }

void* LockHandle(TW_HANDLE handle) { return IsGlobalBlock(handle) ? GlobalLock(handle) : nullptr; }

void UnlockHandle(TW_HANDLE handle) {
    if (IsGlobalBlock(handle)) GlobalUnlock(handle);
}

size_t HandleBytes(TW_HANDLE handle) { return handle != nullptr ? static_cast<size_t>(GlobalSize(handle)) : 0; }

// A block GlobalFree refuses stays known, so that it shows as left allocated.
void DisposeAnyHandle(TW_HANDLE handle) {
    if (IsGlobalBlock(handle) && GlobalFree(handle) == nullptr) Forget(handle);
}

void ReceiveHandle(TW_HANDLE handle) {
    if (!IsGlobalBlock(handle)) return;
    Known& known = TheKnown();
    std::lock_guard<std::mutex> guard(known.lock);
    if (known.blocks.count(handle) == 0) known.blocks[handle] = ++known.numbered;
}

size_t HandleNumber(TW_HANDLE handle) {
    Known& known = TheKnown();
    std::lock_guard<std::mutex> guard(known.lock);
    const auto found = known.blocks.find(handle);
    return found != known.blocks.end() ? found->second : 0;
}

size_t MemoryInUse() {
    size_t bytes = handleheap::BytesInUse();
    Known& known = TheKnown();
    std::lock_guard<std::mutex> guard(known.lock);
    for (const auto& block : known.blocks) bytes += static_cast<size_t>(GlobalSize(block.first));
    return bytes;
}

// Fixed, zero-filled blocks, as the Windows Source Manager makes them: the handle is the block's
// address, and locking it returns that.
TW_HANDLE TW_CALLINGCONV ManagerAllocate(TW_UINT32 size) { return KnowNew(GlobalAlloc(GPTR, size)); }

void TW_CALLINGCONV ManagerFree(TW_HANDLE handle) {
    Forget(handle);
    GlobalFree(handle);
}

TW_MEMREF TW_CALLINGCONV ManagerLock(TW_HANDLE handle) { return GlobalLock(handle); }
void TW_CALLINGCONV ManagerUnlock(TW_HANDLE handle) { GlobalUnlock(handle); }
