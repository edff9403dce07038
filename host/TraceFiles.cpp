// The trace file a run wrote and its first lines.
#include "TraceFiles.h"

#include <fstream>

bool IsTraceName(const std::string& name) {
    const std::string prefix = "Twainlog_", suffix = ".txt";
    return name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string WrittenTrace(const std::string& directory, const TraceListing& before, const TraceListing& after) {
    std::string written;
    for (const auto& file : after) {
        const auto earlier = before.find(file.first);
        if (earlier == before.end() || earlier->second != file.second) written = file.first;
    }
    return written.empty() ? written : PathIn(directory, written);
}

std::vector<std::string> FirstLines(const std::string& path, int count) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (static_cast<int>(lines.size()) < count && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}
