// Reading a trace back in tests.
#include "TraceReading.h"

#include <cstdlib>

std::vector<std::string> TraceLines(const std::string& trace) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < trace.size();) {
        const size_t end = trace.find("\r\n", start);
        lines.push_back(trace.substr(start, end - start));
        start = end == std::string::npos ? trace.size() : end + 2;
    }
    return lines;
}

// A call's result section follows its request line, but a source's message sent from inside the
// call comes in between, request and result: results close the open requests last first.
std::vector<StateShown> StatesShown(const std::string& trace) {
    static const std::string kReturnCode = "        Return Code = [";
    std::vector<StateShown> shown;
    std::vector<std::string> open;
    std::string call;
    for (const std::string& line : TraceLines(trace)) {
        if (line.compare(0, 2, "[0") == 0) {
            const size_t tag = line.find("] ") + 2;
            const size_t triplet = line.find("] ", tag) + 2;
            const std::string prefix = line.compare(tag, 4, "[DS]") == 0 ? "[DS] " : "";
            open.push_back(prefix + line.substr(triplet, line.find(' ', triplet) - triplet));
        } else if (line.rfind(kReturnCode, 0) == 0 && !open.empty()) {
            call = open.back();
            open.pop_back();
        } else if (line.find("TWMessage = [") != std::string::npos) {
            call = "event " + line.substr(line.find('[') + 1, line.find(']') - line.find('[') - 1);
        } else if (line.compare(0, 16, "TWAIN Status = [") == 0) {
            shown.push_back({call, atoi(line.c_str() + 16)});
        }
    }
    return shown;
}

std::vector<int> StatesAfter(const std::vector<StateShown>& shown, const std::string& call) {
    std::vector<int> states;
    for (const StateShown& s : shown) {
        if (s.call == call) states.push_back(s.state);
    }
    return states;
}

std::vector<int> StatePath(const std::vector<StateShown>& shown) {
    std::vector<int> path;
    for (const StateShown& s : shown) {
        if (path.empty() || path.back() != s.state) path.push_back(s.state);
    }
    return path;
}

std::vector<std::string> RequestLines(const std::string& trace) {
    std::vector<std::string> lines;
    for (const std::string& line : TraceLines(trace)) {
        if (line.compare(0, 2, "[0") == 0) lines.push_back(line);
    }
    return lines;
}
