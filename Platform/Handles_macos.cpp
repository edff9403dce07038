// Relocatable blocks the macOS way: a handle points to a master pointer that holds the block's
// address. Blocks of this stand-in never move, so pinning them has nothing to do.
#include <cstdlib>

#include "Platform.h"

TW_HANDLE NewHandleClear(size_t size) {
    char** master = static_cast<char**>(malloc(sizeof(char*)));
    if (master == nullptr) return nullptr;
    *master = static_cast<char*>(calloc(1, size != 0 ? size : 1));
    if (*master == nullptr) {
        free(master);
        return nullptr;
    }
    return master;
}

void DisposeHandle(TW_HANDLE handle) {
    if (handle == nullptr) return;
    free(*handle);
    free(handle);
}

void* HLock(TW_HANDLE handle) { return handle != nullptr ? *handle : nullptr; }

void HUnlock(TW_HANDLE) {}
