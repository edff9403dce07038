// The log directory the data source traces into: made before the module loads (tracing is on
// only when it exists then), and searched afterwards for the trace file the run wrote.
#pragma once

#include <map>
#include <string>
#include <vector>

// Makes the directory and its missing parents; false with a reason when that fails.
bool MakeDirectories(const std::string& path, std::string* error);

// Whether a file name is one a trace file gets (Twainlog_*.txt).
bool IsTraceName(const std::string& name);

// The trace files in a directory (Twainlog_*.txt) with their sizes.
using TraceListing = std::map<std::string, long long>;
TraceListing ListTraceFiles(const std::string& directory);

// The path of a file in a directory, written as the system writes paths.
std::string PathIn(const std::string& directory, const std::string& name);

// The trace file that appeared or grew between two listings, the newest name when several did;
// empty when none.
std::string WrittenTrace(const std::string& directory, const TraceListing& before, const TraceListing& after);

// Up to `count` lines of a file, without their line ends.
std::vector<std::string> FirstLines(const std::string& path, int count);
