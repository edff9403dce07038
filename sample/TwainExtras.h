// TWAIN values that a source and an application exchange but the shared TWAIN header does not
// carry: the MSG_QUERYSUPPORT flags and the TW_MEMORY flags. Kept in a namespace of their own so
// that they can never collide with the header's names.
#pragma once

#include "tracewell/twain.h"

namespace twext {

// Bits of the TWTY_INT32 that MSG_QUERYSUPPORT answers with.
constexpr TW_INT32 TWQC_GET = 0x0001;
constexpr TW_INT32 TWQC_SET = 0x0002;
constexpr TW_INT32 TWQC_GETDEFAULT = 0x0004;
constexpr TW_INT32 TWQC_GETCURRENT = 0x0008;
constexpr TW_INT32 TWQC_RESET = 0x0010;

// TW_MEMORY.Flags: who owns the buffer and whether TheMem is a pointer or a handle.
constexpr TW_UINT32 TWMF_APPOWNS = 0x0001;
constexpr TW_UINT32 TWMF_DSMOWNS = 0x0002;
constexpr TW_UINT32 TWMF_DSOWNS = 0x0004;
constexpr TW_UINT32 TWMF_POINTER = 0x0008;
constexpr TW_UINT32 TWMF_HANDLE = 0x0010;

}  // namespace twext
