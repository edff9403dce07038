// Paths of the fuzzed data source: no wrapped module and no log directory; the target hands the
// source and the trace file in itself.
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"

const char g_szLogDirectory[256] = "/nonexistent/tracewell-fuzz-log";
const char g_szWrappedSource[] = "/nonexistent/Corvale.bundle";
