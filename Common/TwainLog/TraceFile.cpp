// The trace file: switched on by the presence of the log directory at load, named from the
// load time, appended to and flushed on every write, closed at unload.
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "ParaAnalyze.h"
#include "Platform/Platform.h"
#include "TwainLog.h"

FILE* g_pLogFile = nullptr;
CTwainLog* g_pcTwainLog = nullptr;
bool g_bTraceTiming = false;

TraceClock ReadSystemClock() {
    TraceClock clock = {};
    const time_t now = time(nullptr);
    localtime_r(&now, &clock.local);
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    clock.microseconds = tv.tv_usec;
    return clock;
}

static TraceClockFn g_fnTraceClock = ReadSystemClock;

void SetTraceClock(TraceClockFn clock) { g_fnTraceClock = clock != nullptr ? clock : ReadSystemClock; }

TraceClock ReadTraceClock() { return g_fnTraceClock(); }

FILE* OpenTraceFile(const char* path) {
    FILE* file = fopen(path, "a");
    if (file != nullptr) setvbuf(file, nullptr, _IOFBF, 16384);
    return file;
}

void WriteLogFile(const uint8_t* bytes, uint64_t count) {
    if (g_pLogFile == nullptr) return;
    fwrite(bytes, 1, count, g_pLogFile);
    fflush(g_pLogFile);
}

void setupTwainLog() {
    char directory[256];
    memcpy(directory, g_szLogDirectory, sizeof(directory));
    if (access(directory, F_OK) != 0) return;

    delete g_pcTwainLog;
    g_pcTwainLog = new CTwainLog;

    if (g_pLogFile == nullptr) {
        const TraceClock clock = ReadTraceClock();
        char stamp[256];
        snprintf(stamp, sizeof(stamp), "%04d%02d%02d_%02d%02d%02d_%04d", clock.local.tm_year + 1900,
                 clock.local.tm_mon + 1, clock.local.tm_mday, clock.local.tm_hour, clock.local.tm_min,
                 clock.local.tm_sec, RoundedMilliseconds(clock.microseconds));
        char path[256] = {};
        const int length = snprintf(path, sizeof(path), "%s/Twainlog_%s.txt", directory, stamp);
        if (length > 0 && static_cast<size_t>(length) < sizeof(path)) g_pLogFile = OpenTraceFile(path);
    }
    g_cParaAnalyze.m_nTwainStatus = 3;
}

void cleanupTwainLog() {
    delete g_pcTwainLog;
    g_pcTwainLog = nullptr;
    if (g_pLogFile != nullptr) {
        fputs("Close Log File.\n", stderr);
        fclose(g_pLogFile);
        g_pLogFile = nullptr;
    }
}

int CreateKSTempDirectory(const char* parentPath) {
    if (parentPath == nullptr) return kStatusParamErr;
    char path[256] = {};
    const size_t length = strnlen(parentPath, sizeof(path));
    if (length >= sizeof(path)) return kStatusParamErr;
    memcpy(path, parentPath, length);

    const int resolved = PlatformResolveDirectory(path);
    if (resolved != 0) {
        fprintf(stderr, "Output debug image data file is put in: %s ", path);
        return resolved;
    }
    return PlatformCreateDirectory(path, "KOVARScanTwainLog");
}
