// The handles the session host meets, as the application and as the Source Manager: its own
// containers, the blocks of the Source Manager's memory functions, and the handles the source
// answers with. One file per system: the shared fixed-address heap on a POSIX system, GlobalAlloc
// on Windows. Plain structures stay in the shared heap everywhere.
#pragma once

#include <cstddef>

#include "tracewell/twain.h"

// A zero-filled handle of the application's own, for a container it sends.
TW_HANDLE NewApplicationHandle(size_t size);

// The block of a handle of this system's kind, wherever it was made (on Windows null for anything
// GlobalAlloc did not make; elsewhere any handle of the ABI's convention is locked).
void* LockHandle(TW_HANDLE handle);
void UnlockHandle(TW_HANDLE handle);
// Bytes of the block of a handle of this system's kind; 0 for anything else.
size_t HandleBytes(TW_HANDLE handle);
// Frees a handle of this system's kind with the system's function; does nothing for anything else.
void DisposeAnyHandle(TW_HANDLE handle);

// A handle the source answered a call with: from now on the application's to read and free.
void ReceiveHandle(TW_HANDLE handle);
// Where the system places handle blocks anywhere from run to run, the number of a live block in
// the order the host came to know it (made by itself or its Source Manager, or received), from 1;
// 0 for any other handle, and where blocks lie at fixed addresses.
size_t HandleNumber(TW_HANDLE handle);

// Bytes of the live blocks the host knows of, structures and handles, bookkeeping included.
size_t MemoryInUse();

// The memory functions a Source Manager of this system hands a TWAIN 2 source.
TW_HANDLE TW_CALLINGCONV ManagerAllocate(TW_UINT32 size);
void TW_CALLINGCONV ManagerFree(TW_HANDLE handle);
TW_MEMREF TW_CALLINGCONV ManagerLock(TW_HANDLE handle);
void TW_CALLINGCONV ManagerUnlock(TW_HANDLE handle);
