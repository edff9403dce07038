// The transcript of a run: every call with its triplet, its return code and the bytes the data
// source left in the structure it was passed (and in the container, strip or image reached from
// it). Two runs of a scenario that a source answered alike give the same transcript.
#pragma once

#include <cstdio>

#include "tracewell/twain.h"

void WriteTranscriptLine(FILE* out, int call, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                         TW_UINT16 rc);

// The Source Manager's DAT_ENTRYPOINT as the source left it: its size and, for each function,
// whether it is still the one the Source Manager put there (whose address differs from run to run
// where the platform cannot fix it).
void WriteEntryPointsLine(FILE* out, int call, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                          const TW_ENTRYPOINT* entryPoints, const TW_ENTRYPOINT& given, TW_UINT16 rc);

// A call the source made to the Source Manager's DSM_Entry, numbered on its own, with the
// application's call it came within (or the last one it came after), both identities and the data.
void WriteSourceMessageLine(FILE* out, int message, int call, bool inCall, const TW_IDENTITY* origin,
                            const TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                            TW_MEMREF data, TW_UINT16 rc);
