// The two paths one build of the module is configured with.
#include "Common/TwainLog/TwainLog.h"
#include "DSEntry.h"

#ifndef TRACEWELL_WRAPPED_SOURCE
#error "TRACEWELL_WRAPPED_SOURCE must name the wrapped data source"
#endif
#ifndef TRACEWELL_LOG_DIR
#error "TRACEWELL_LOG_DIR must name the log directory"
#endif

static_assert(sizeof(TRACEWELL_LOG_DIR) < 256, "the log directory must fit its 256-byte array");

const char g_szLogDirectory[256] = TRACEWELL_LOG_DIR;
const char g_szWrappedSource[] = TRACEWELL_WRAPPED_SOURCE;
