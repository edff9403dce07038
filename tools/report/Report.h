// `tracewell report` and `tracewell diff`: the entry points the tracewell command calls, and the
// same with their streams given, for tests. argv[0] is the subcommand's name; arguments follow.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// report [--json] [--html OUT.html] TRACE...: exit 0, 1 when a file cannot be read or holds no
// call, 2 on a usage error.
int RunReport(int argc, char** argv);
// diff A B: exit 0 when the sessions do not differ, 1 when they do, 2 on a usage error or a file
// that cannot be read.
int RunDiff(int argc, char** argv);

namespace tracereport {

int Report(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int Diff(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace tracereport
