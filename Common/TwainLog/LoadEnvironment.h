// The lines that say where a load runs: Tracewell's version and ABI, the process, the system, the
// time zone and the traced source at load; the Source Manager's module and the application's
// identity where the trace first meets them. Each is written once per load.
#pragma once

#include "TraceText.h"
#include "twaintbl.h"
#include "tracewell/twain.h"

// The macOS build keeps the original trace, which has none of these lines.
inline constexpr bool kTraceNamesItsEnvironment = kTraceGoesBeyondTheOriginal;

struct LoadFacts {
    int processId = 0;
    char executable[512] = {};
    char system[256] = {};
    char timeZone[64] = {};
    char source[512] = {};
    bool sourceFound = false;
    unsigned long long sourceSize = 0;
    long long sourceModified = 0;  // seconds since the epoch
};

// The facts of this process and of the source file at `sourcePath` (null: none is traced).
LoadFacts GatherLoadFacts(const char* sourcePath, long long now);

// The lines written at load.
void RenderLoadFacts(const LoadFacts& facts, CTraceText& out);
// The Source Manager's line: the module that holds the DSM_Entry it handed the source.
void RenderSourceManager(const void* sourceManagerEntry, CTraceText& out);
// The application's line, from the identity it sends as pOrigin.
void RenderApplication(const TW_IDENTITY& origin, CTraceText& out);

// What a load has written of these lines; reset when a load starts.
class CLoadEnvironment {
public:
    void Reset() {
        m_sourceManagerShown = false;
        m_applicationShown = false;
    }
    // The application's line before the first call that carries its identity.
    void ShowApplication(const TW_IDENTITY* origin, CTraceText& out);
    // The Source Manager's line, the first time its entry point reaches the source.
    void ShowSourceManager(const void* sourceManagerEntry, CTraceText& out);

private:
    bool m_sourceManagerShown = false;
    bool m_applicationShown = false;
};
