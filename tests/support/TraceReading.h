// Reading a trace back in tests: its lines, the state each status line shows with the call it
// closes, and the request lines.
#pragma once

#include <string>
#include <vector>

// The lines of a trace, without their "\r\n".
std::vector<std::string> TraceLines(const std::string& trace);

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

// The request lines ("[00001] [APP] ..."), in order.
std::vector<std::string> RequestLines(const std::string& trace);
