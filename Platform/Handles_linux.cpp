// Memory blocks the Linux TWAIN way: the handle is the block's address and locking returns it.
#include <cstdlib>

#include "Platform.h"

TW_HANDLE NewHandleClear(size_t size) {
    TW_HANDLE handle = calloc(1, size != 0 ? size : 1);
    RememberBlock(handle, size);
    return handle;
}

void DisposeHandle(TW_HANDLE handle) {
    ForgetBlock(handle);
    free(handle);
}

void* HLock(TW_HANDLE handle) { return handle; }

void HUnlock(TW_HANDLE) {}

size_t HandleBlockSize(TW_HANDLE handle) {
    size_t size = 0;
    return KnownBlock(handle, &size) ? size : kUnknownBlockSize;
}
