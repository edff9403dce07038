// Paths of the in-process builds (tests, benchmarks): no wrapped source, and a log directory that
// exists only while a test creates it.
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"

#ifndef TRACEWELL_TEST_LOG_DIR
#define TRACEWELL_TEST_LOG_DIR "/nonexistent/tracewell-test-log"
#endif

const char g_szLogDirectory[256] = TRACEWELL_TEST_LOG_DIR;
const char g_szWrappedSource[] = "/nonexistent/Corvale.bundle";
