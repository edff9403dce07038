// The hooks through which tests script the virtual scanner beyond a fixed return code: an answer
// function that serves every call in the scanner's place, and a function run when it is released.
#pragma once

#include "tracewell/twain.h"

// Serves one call in the scanner's place; what it returns is the call's return code.
using CorvaleAnswerFn = TW_UINT16 (*)(void* context, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat,
                                      TW_UINT16 msg, TW_MEMREF data);
// Runs at the end of Release(), once the scanner object is gone.
using CorvaleReleaseFn = void (*)(void* context);

// Null restores the scanner's own service (or the scripted return code).
extern "C" void CorvaleScriptAnswer(CorvaleAnswerFn answer, void* context);
extern "C" void CorvaleScriptRelease(CorvaleReleaseFn onRelease, void* context);
// The name pointer exactly as the factory received it; the scanner itself keeps only a copy.
extern "C" const char* CorvaleFactoryNamePointer();
// The scanner's own service for one call, for an answer function that scripts only some calls and
// leaves the others to the scanner; TWRC_FAILURE when no scanner has been made.
extern "C" TW_UINT16 CorvaleServe(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
