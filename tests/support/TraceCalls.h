// A trace read back in tests through the trace reader: its calls, the states its status lines
// show, and the request lines.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "TraceReader.h"

// Every call of the trace, in the order the reader hands them on (a call's result ends it).
std::vector<tracereport::TraceCall> ReadCalls(const std::string& trace);

// The states the status lines show one after the other, repeats folded.
std::vector<int> StatePath(const std::string& trace);

// The request lines ("[00001] [APP] ..."), in the order they were written.
std::vector<std::string> RequestLines(const std::string& trace);

// A trace taken apart: the lines that say where its loads ran (key and value, in order), and the
// rest of its text byte for byte.
struct SplitTrace {
    std::vector<std::pair<std::string, std::string>> environment;
    std::string calls;
};
SplitTrace SplitEnvironment(const std::string& trace);

// Checks the lines a load wrote of where it ran, for a load in the session host's process (none
// in the macOS build): Tracewell's version and ABI, the host's process, the source at `source`,
// the Source Manager where the host handed the source its entry points (the host plays it), and
// the application (the host).
void ExpectEnvironmentOfTheHost(const SplitTrace& split, const std::string& host, const std::string& source,
                                bool sourceManager);
