// The data source's entry point and the process-wide triplet operator it forwards to.
#pragma once

#include "Common/Export.h"

#include "tracewell/TripletOperator.h"
#include "tracewell/twain.h"

extern CTripletOperator* g_pcTripletOperator;

// Path of the wrapped data source; each build of the module sets it.
extern const char g_szWrappedSource[];

extern "C" TRACEWELL_EXPORT TW_UINT16 TW_CALLINGCONV DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                                              TW_UINT16 MSG, TW_MEMREF pData);

// The entry point opens at load and closes when the unload sequence begins: from then on every
// call returns TWRC_FAILURE untraced.
void OpenEntry();
void CloseEntry();

// Tracewell's own DSM_Entry, which traces each call as the source's and forwards it to
// `sourceManager` until entry points a TWAIN 2 Source Manager hands over name another.
DSMENTRYPROC TracedEntryFor(DSMENTRYPROC sourceManager);

// Starts what a load says of where it runs: with a trace file open (and in the builds whose trace
// names it), the lines on Tracewell, the process, the system and `tracedSource`, the source file.
void StartLoadEnvironment(const char* tracedSource);

// Load and unload sequences of the module.
extern "C" TRACEWELL_EXPORT void MachO_Initialization();
extern "C" TRACEWELL_EXPORT void MachO_Termination();
