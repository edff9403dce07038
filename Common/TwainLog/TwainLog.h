// The trace file (its set-up, the one sink of trace text, its clean-up) and the leveled
// message logger that writes into the same file.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <ctime>
#include <string>

#include "Common/Export.h"

class CTwainLog;

extern FILE* g_pLogFile;
extern CTwainLog* g_pcTwainLog;

// The directory whose presence at load switches tracing on; each build of the module sets it.
extern const char g_szLogDirectory[256];
// The log directory setupTwainLog looks for: g_szLogDirectory unless the settings read at load
// name another. A path of 256 bytes or more is refused (false, nothing changed); null restores
// g_szLogDirectory.
bool SetLogDirectory(const char* path);
const char* LogDirectory();

// When set (by the settings read at load), each request line is followed by the time the call
// was forwarded and each result section opens with how long the source took.
extern bool g_bTraceTiming;

// Opens a trace file for appending, unbuffered, so that one call's text leaves in one write.
FILE* OpenTraceFile(const char* path);

void WriteLogFile(const uint8_t* bytes, uint64_t count);
// The lock every write to the trace file is made under; a caller that holds it already (to
// write a call's text in the order the calls were traced) writes with WriteLogFileLocked.
extern std::mutex g_traceFileLock;
void WriteLogFileLocked(const uint8_t* bytes, uint64_t count);
// Sets tracing up at load when the log directory exists (true): the logger, and the trace file
// unless one is open already.
bool setupTwainLog();
void cleanupTwainLog();

// Creates the directory "KOVARScanTwainLog" inside the given parent directory. 0 on success,
// -50 for a null or over-long path, else the status of the failing directory operation.
extern "C" TRACEWELL_EXPORT int CreateKSTempDirectory(const char* parentPath);

// The clock the trace file name and the logger's time stamps are read from. Tests replace it to
// make names and stamps reproducible.
struct TraceClock {
    struct tm local;      // local calendar time
    long microseconds;    // sub-second part of the time of day
    int64_t monotonicNs;  // a steady clock, for how long a call took
};
using TraceClockFn = TraceClock (*)();
TraceClock ReadSystemClock();
void SetTraceClock(TraceClockFn clock);  // null restores the system clock
TraceClock ReadTraceClock();
// Milliseconds of a time of day, rounded: 0 to 1000.
inline int RoundedMilliseconds(long microseconds) { return static_cast<int>(microseconds / 1000.0 + 0.5); }

namespace ENUM_LOG_LEVEL_TW {
enum enumLogLevel_tw { LOG_TRACE = 1, LOG_INFO = 2, LOG_WARNING = 3, LOG_ERROR = 4 };
}

class CTwainLog {
public:
    virtual ~CTwainLog() {}

    TRACEWELL_EXPORT void Message(ENUM_LOG_LEVEL_TW::enumLogLevel_tw level, const char* origin, const char* file,
                                  int line, const char* format, ...) __attribute__((format(printf, 6, 7)));
    std::string GetHeader();
    std::string GetLevelName(ENUM_LOG_LEVEL_TW::enumLogLevel_tw level);
    std::string FormatString(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    void OutputDebugString(const char* text);
};
