// `tracewell check`: its arguments, and one finding per line as text or as one JSON document.
// The report writes the same findings with the same functions.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Checker.h"

// check [--json] TRACE...: exit 0 without errors, 1 with errors, 2 on a bad argument or a file
// that cannot be read or holds no call.
int RunCheck(int argc, char** argv);

namespace tracecheck {

int Check(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// "[00014]", "[event after 00032]"
std::string RequestText(const Finding& finding);
// "ID SEVERITY PARTY [REQUEST] CALL: WHAT (rule: TITLE; REFERENCE)"
std::string FindingText(const Finding& finding);
// One line, without its line end: "FILE:LINE: " and the finding's text.
std::string FindingLine(const std::string& file, const Finding& finding);
// One JSON object.
void WriteJsonFinding(const std::string& file, int load, const Finding& finding, std::ostream& out);

struct Counts {
    long errors = 0, warnings = 0, infos = 0;
    void Add(const Finding& finding);
};
// "2 errors, 1 warning, 0 infos"
std::string CountsText(const Counts& counts);

}  // namespace tracecheck
