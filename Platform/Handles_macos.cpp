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
    RememberBlock(master, size);
    return master;
}

void DisposeHandle(TW_HANDLE handle) {
    if (handle == nullptr) return;
    ForgetBlock(handle);
    free(*handle);
    free(handle);
}

void* HLock(TW_HANDLE handle) {
    if (handle == nullptr) return nullptr;
    size_t size = 0;
    if (KnownBlock(handle, &size)) return *handle;
    // Another allocator's handle: its master pointer may itself lie in memory that is not there.
    char* block = nullptr;
    return PlatformCopyReadable(&block, handle, sizeof(block)) == sizeof(block) ? block : nullptr;
}

void HUnlock(TW_HANDLE) {}

size_t HandleBlockSize(TW_HANDLE handle) {
    size_t size = 0;
    return KnownBlock(handle, &size) ? size : kUnknownBlockSize;
}
