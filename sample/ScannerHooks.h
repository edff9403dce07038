// The hooks through which the tests, the benchmarks and the fuzz targets script the virtual
// scanner: a fixed return code, a fixed answer to one triplet, an answer function that serves every
// call in the scanner's place, a function run when it is released, and what the last call was.
// Whatever is not scripted the scanner serves as a real source does.
#pragma once

#include <cstddef>

#include "tracewell/twain.h"

// Serves one call in the scanner's place; what it returns is the call's return code.
using CorvaleAnswerFn = TW_UINT16 (*)(void* context, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat,
                                      TW_UINT16 msg, TW_MEMREF data);
// Runs at the end of Release(), once the scanner object is gone.
using CorvaleReleaseFn = void (*)(void* context);

// Null restores the scanner's own service (or the scripted triplet or return code).
extern "C" void CorvaleScriptAnswer(CorvaleAnswerFn answer, void* context);
// Every following call of the triplet dg/dat/msg copies the `size` bytes of `answer` over its data
// (none when the data is null) and returns rc, without allocating. The bytes are copied here (at
// most kCorvaleAnswerBytes); a handle among them, such as a capability's container, stays the
// caller's. Another call replaces the script; size 0 with a null answer only returns rc.
constexpr size_t kCorvaleAnswerBytes = 512;
extern "C" void CorvaleScriptTriplet(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 rc, const void* answer,
                                     size_t size);
// rc >= 0: every following call returns rc untouched and does nothing else; -1: normal service.
extern "C" void CorvaleScriptReturnCode(int rc);
// Clears the answer function, the triplet and the return code: the scanner serves every call again.
extern "C" void CorvaleScriptNothing();
// Calls served since the module was loaded, and the arguments of the last one.
extern "C" int CorvaleOperateCalls();
extern "C" void CorvaleLastCall(TW_IDENTITY** origin, TW_UINT32* dg, TW_UINT16* dat, TW_UINT16* msg, TW_MEMREF* data);
extern "C" void CorvaleScriptRelease(CorvaleReleaseFn onRelease, void* context);
// The name pointer exactly as the factory received it; the scanner itself keeps only a copy.
extern "C" const char* CorvaleFactoryNamePointer();
// The scanner's own service for one call, for an answer function that scripts only some calls and
// leaves the others to the scanner; TWRC_FAILURE when no scanner has been made.
extern "C" TW_UINT16 CorvaleServe(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
