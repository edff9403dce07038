// A source's own handle memory on Windows: moveable, zero-filled GlobalAlloc blocks, as TWAIN 1.x
// sources make them; the application reads them with GlobalLock and GlobalSize and frees them with
// GlobalFree. Locking takes any GlobalAlloc handle, fixed or moveable, the application's included.
#include <windows.h>

#include "SourceMemory.h"

namespace {

TW_HANDLE TW_CALLINGCONV GlobalAllocate(TW_UINT32 size) { return GlobalAlloc(GHND, size != 0 ? size : 1); }
void TW_CALLINGCONV GlobalRelease(TW_HANDLE handle) { GlobalFree(handle); }
TW_MEMREF TW_CALLINGCONV GlobalLockBlock(TW_HANDLE handle) { return GlobalLock(handle); }
void TW_CALLINGCONV GlobalUnlockBlock(TW_HANDLE handle) { GlobalUnlock(handle); }

}  // namespace

const TW_ENTRYPOINT& sourcememory::SystemMemory() {
    static const TW_ENTRYPOINT kGlobalMemory = {sizeof(TW_ENTRYPOINT), nullptr,         GlobalAllocate,
                                                GlobalRelease,         GlobalLockBlock, GlobalUnlockBlock};
    return kGlobalMemory;
}
