// Memory blocks the Linux TWAIN way: the handle is the block's address and locking returns it.
#include <cstdlib>

#include "Platform.h"

TW_HANDLE NewHandleClear(size_t size) { return calloc(1, size != 0 ? size : 1); }

void DisposeHandle(TW_HANDLE handle) { free(handle); }

void* HLock(TW_HANDLE handle) { return handle; }

void HUnlock(TW_HANDLE) {}
