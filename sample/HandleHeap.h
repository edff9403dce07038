// The stand-in for the platform's memory manager that the virtual scanner and the session host
// share: one heap at a fixed address, whose bookkeeping lives inside the mapping itself, so that a
// block one module allocated can be locked and disposed of by the other, and every address it hands
// out is the same from run to run.
#pragma once

#include <cstddef>

#include "tracewell/twain.h"

namespace handleheap {

// A zero-filled relocatable block in the ABI's handle convention (macos: the handle points to a
// master pointer holding the block's address; linux: the handle is the block's address). Null
// when the heap is exhausted or cannot be mapped.
TW_HANDLE NewHandle(size_t size);
// Does nothing for a handle that is not a live one of this heap.
void DisposeHandle(TW_HANDLE handle);
// Bytes of the block, which may be a little more than were asked for; 0 for a foreign handle.
size_t HandleSize(TW_HANDLE handle);

// The block's address. Works on any handle of the convention, not only on this heap's; blocks of
// this heap never move, so pinning them has nothing to do.
void* Lock(TW_HANDLE handle);
void Unlock(TW_HANDLE handle);

// Zero-filled bytes at a fixed address, for structures that are not reached through a handle.
void* NewBlock(size_t size);
void DisposeBlock(void* block);
size_t BlockSize(const void* block);

// Bytes held by live blocks, bookkeeping included.
size_t BytesInUse();

}  // namespace handleheap
