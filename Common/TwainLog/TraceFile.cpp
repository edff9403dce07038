// The trace file: switched on by the presence of the log directory at load, named from the
// load time, appended to and flushed on every write, closed at unload.
#include <cerrno>
#include <cstring>
#include <mutex>

#include "TraceText.h"
#include "Platform/Platform.h"
#include "TwainLog.h"

FILE* g_pLogFile = nullptr;
CTwainLog* g_pcTwainLog = nullptr;
bool g_bTraceTiming = false;

TraceClock ReadSystemClock() {
    TraceClock clock = {};
    // One reading of the time of day gives both the calendar time and its sub-second part, so
    // the two never straddle a second.
    long long now = 0;
    long microseconds = 0;
    PlatformReadClock(&now, &microseconds, &clock.monotonicNs);
    PlatformLocalTime(now, &clock.local);
    clock.microseconds = microseconds;
    return clock;
}

static TraceClockFn g_fnTraceClock = ReadSystemClock;

void SetTraceClock(TraceClockFn clock) { g_fnTraceClock = clock != nullptr ? clock : ReadSystemClock; }

TraceClock ReadTraceClock() { return g_fnTraceClock(); }

FILE* OpenTraceFile(const char* path) {
    FILE* file = PlatformOpenFile(path, "ab");
    // Unbuffered: every text leaves in one write, and a failing write is seen at once.
    if (file != nullptr) setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

namespace {

// What a failed write left behind: the bytes lost since, and how much of a line end the file
// lacks: none after a whole line, "\n" when the cut fell inside its "\r\n", "\r\n" inside a line.
// Guarded by the trace file's lock.
struct LostText {
    uint64_t bytes = 0;
    size_t lineEndOwed = 0;
    int error = 0;
};

constexpr size_t kLineEndSize = sizeof(traceformat::kLineEnd) - 1;
static_assert(kLineEndSize == 2 && traceformat::kLineEnd[0] == '\r' && traceformat::kLineEnd[1] == '\n');

// The bytes of a line end the file lacks when `last` is its last byte.
size_t LineEndOwed(char last) {
    if (last == '\n') return 0;
    return last == '\r' ? 1 : 2;
}

LostText g_lost;

// The bytes that reach the stream's descriptor, written straight to it (the stream is unbuffered,
// so stdio would pass them on unchanged): a short write is continued, the first failing one ends
// the text, as stdio does. A stream without a descriptor goes through stdio.
size_t WriteToStream(const char* bytes, size_t count, int* error) {
    const int fd = fileno(g_pLogFile);
    if (fd < 0) {
        const size_t written = fwrite(bytes, 1, count, g_pLogFile);
        if (written < count) {
            *error = errno;
            clearerr(g_pLogFile);
        }
        return written;
    }
    return PlatformWriteStream(g_pLogFile, bytes, count, error);
}

// Writes what it can; returns the bytes that reached the file and notes a failure.
size_t WriteSome(const char* bytes, size_t count) {
    int error = 0;
    const size_t written = WriteToStream(bytes, count, &error);
    if (written < count) {
        g_lost.error = error;
        g_lost.bytes += count - written;
        if (written != 0) g_lost.lineEndOwed = LineEndOwed(bytes[written - 1]);
    }
    return written;
}

// After a failure, the next text that can be written starts on a line of its own, after a line
// that says how much was lost.
bool ReportLostText() {
    char notice[160];
    const size_t lead = g_lost.lineEndOwed;
    memcpy(notice, traceformat::kLineEnd + kLineEndSize - lead, lead);
    const size_t room = sizeof(notice) - lead - kLineEndSize;
    const size_t formatted = fmt::format_to_n(notice + lead, room, FMT_STRING(traceformat::kLostTextNotice),
                                              g_lost.bytes, strerror(g_lost.error))
                                 .size;
    const size_t body = lead + (formatted < room ? formatted : room);
    memcpy(notice + body, traceformat::kLineEnd, kLineEndSize);
    const size_t size = body + kLineEndSize;
    const LostText before = g_lost;
    if (WriteSome(notice, size) == size) {
        g_lost = LostText();
        return true;
    }
    // The notice itself did not get out whole: it is not counted as lost trace text.
    g_lost.bytes = before.bytes;
    return false;
}

}  // namespace

std::mutex g_traceFileLock;

void WriteLogFile(const uint8_t* bytes, uint64_t count) {
    if (g_pLogFile == nullptr) return;
    std::lock_guard<std::mutex> lock(g_traceFileLock);
    WriteLogFileLocked(bytes, count);
}

void WriteLogFileLocked(const uint8_t* bytes, uint64_t count) {
    if (g_pLogFile == nullptr) return;
    const char* const text = reinterpret_cast<const char*>(bytes);
    if (g_lost.bytes != 0 && !ReportLostText()) {
        g_lost.bytes += count;
        return;
    }
    if (count != 0) WriteSome(text, static_cast<size_t>(count));
}

static char g_szLogDirectoryInUse[256];
static bool g_bLogDirectorySet = false;

bool SetLogDirectory(const char* path) {
    if (path == nullptr) {
        g_bLogDirectorySet = false;
        return true;
    }
    const size_t length = strnlen(path, sizeof(g_szLogDirectoryInUse));
    if (length >= sizeof(g_szLogDirectoryInUse)) return false;
    memset(g_szLogDirectoryInUse, 0, sizeof(g_szLogDirectoryInUse));
    memcpy(g_szLogDirectoryInUse, path, length);
    g_bLogDirectorySet = true;
    return true;
}

const char* LogDirectory() { return g_bLogDirectorySet ? g_szLogDirectoryInUse : g_szLogDirectory; }

bool setupTwainLog() {
    char directory[256];
    if (!PlatformExpandPath(LogDirectory(), directory, sizeof(directory)) || !PlatformPathExists(directory))
        return false;

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
    return true;
}

void cleanupTwainLog() {
    delete g_pcTwainLog;
    g_pcTwainLog = nullptr;
    if (g_pLogFile != nullptr) {
        fputs("Close Log File.\n", stderr);
        fclose(g_pLogFile);
        g_pLogFile = nullptr;
        g_lost = LostText();
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
