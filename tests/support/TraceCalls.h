// A trace read back in tests through the trace reader: its calls, the state each status line
// shows with the call it closes, and the request lines.
#pragma once

#include <string>
#include <vector>

#include "TraceReader.h"

// Every call of the trace, in the order the reader hands them on (a call's result ends it).
std::vector<tracereport::TraceCall> ReadCalls(const std::string& trace);

// Each status line with the call it closes: the triplet of that call's request line (with "[DS] "
// in front for a call of the source's), or "event <message>" for an event delivered without one.
struct StateShown {
    std::string call;
    int state;
};
std::vector<StateShown> StatesShown(const std::string& trace);

// The states shown after each call of that name.
std::vector<int> StatesAfter(const std::vector<StateShown>& shown, const std::string& call);

// The states one after the other, repeats folded.
std::vector<int> StatePath(const std::vector<StateShown>& shown);

// The request lines ("[00001] [APP] ..."), in the order they were written.
std::vector<std::string> RequestLines(const std::string& trace);

// The values of the field `key` of the structures whose path ends in `path`, call after call.
std::vector<std::string> FieldValues(const std::string& trace, const std::string& path, const std::string& key);
