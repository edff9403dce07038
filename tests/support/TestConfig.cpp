// Paths of the in-process test build: no wrapped source, and a log directory that never exists
// (tests route the trace file themselves).
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"

const char g_szLogDirectory[256] = "/nonexistent/tracewell-test-log";
const char g_szWrappedSource[] = "/nonexistent/Corvale.bundle";
