// Memory blocks the Windows TWAIN way: GlobalAlloc handles. A moveable block (GHND) is reached by
// locking its handle; a fixed one (GMEM_FIXED) is its own address, which GlobalLock returns as is.
#include <windows.h>

#include "Platform.h"

TW_HANDLE NewHandleClear(size_t size) {
    TW_HANDLE handle = GlobalAlloc(GHND, size != 0 ? size : 1);
    RememberBlock(handle, size);
    return handle;
}

void DisposeHandle(TW_HANDLE handle) {
    if (handle == nullptr) return;
    ForgetBlock(handle);
    GlobalFree(handle);
}

// GlobalLock tells a moveable handle from a fixed block itself. A value it does not take for
// either is taken as the address of the block, as a fixed handle is: such a block's size is
// unknown, so it is only ever read through copies that cannot fault.
void* HLock(TW_HANDLE handle) {
    if (handle == nullptr) return nullptr;
    void* const block = GlobalLock(handle);
    return block != nullptr ? block : handle;
}

void HUnlock(TW_HANDLE handle) {
    if (handle != nullptr) GlobalUnlock(handle);
}

// Our own blocks report the size they were asked for (GlobalSize rounds up); any other handle that
// GlobalSize accepts reports the size of its block.
size_t HandleBlockSize(TW_HANDLE handle) {
    size_t size = 0;
    if (KnownBlock(handle, &size)) return size;
    if (handle == nullptr) return kUnknownBlockSize;
    const SIZE_T global = GlobalSize(handle);
    return global != 0 ? static_cast<size_t>(global) : kUnknownBlockSize;
}
