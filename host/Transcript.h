// The transcript of a run: every call with its triplet, its return code and the bytes the data
// source left in the structure it was passed (and in the container, strip or image reached from
// it). Two runs of a scenario that a source answered alike give the same transcript.
#pragma once

#include <cstdio>

#include "tracewell/twain.h"

void WriteTranscriptLine(FILE* out, int call, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                         TW_UINT16 rc);
