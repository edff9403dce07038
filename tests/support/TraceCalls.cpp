// A trace read back in tests through the trace reader.
#include "TraceCalls.h"

#include <algorithm>
#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Common/TwainLog/LoadEnvironment.h"

using tracereport::TraceCall;

namespace {

// The calls of a trace and the lines that say where its loads ran (with their line numbers).
class CCollector : public tracereport::TraceSink {
public:
    void OnLoadStart(const std::string&, long, int) override {}
    void OnCall(const TraceCall& call) override { calls.push_back(call); }
    void OnNotice(const tracereport::Notice& notice) override {
        if (notice.kind != tracereport::NoticeKind::Environment) return;
        environment.push_back({notice.key, notice.value});
        lines.push_back(notice.line);
    }
    void OnUnparsed(long, const std::string&) override {}
    void OnLoadEnd(long) override {}

    std::vector<TraceCall> calls;
    std::vector<std::pair<std::string, std::string>> environment;
    std::vector<long> lines;
};

CCollector Collect(const std::string& trace) {
    CCollector collector;
    tracereport::CTraceReader reader(collector, "trace");
    reader.Feed(trace.data(), trace.size());
    reader.Finish();
    return collector;
}

}  // namespace

SplitTrace SplitEnvironment(const std::string& trace) {
    const CCollector collected = Collect(trace);
    SplitTrace split{collected.environment, ""};
    long number = 1;
    for (size_t start = 0; start < trace.size(); ++number) {
        const size_t end = trace.find('\n', start);
        const size_t next = end == std::string::npos ? trace.size() : end + 1;
        if (std::find(collected.lines.begin(), collected.lines.end(), number) == collected.lines.end())
            split.calls.append(trace, start, next - start);
        start = next;
    }
    return split;
}

std::vector<TraceCall> ReadCalls(const std::string& trace) { return Collect(trace).calls; }

std::vector<int> StatePath(const std::string& trace) {
    std::vector<int> path;
    for (const TraceCall& call : ReadCalls(trace)) {
        if (call.state >= 0 && (path.empty() || path.back() != call.state)) path.push_back(call.state);
    }
    return path;
}

std::vector<std::string> RequestLines(const std::string& trace) {
    std::vector<TraceCall> calls = ReadCalls(trace);
    std::stable_sort(calls.begin(), calls.end(),
                     [](const TraceCall& a, const TraceCall& b) { return a.firstLine < b.firstLine; });
    std::vector<std::string> lines;
    for (const TraceCall& call : calls) {
        if (call.seq >= 0) lines.push_back(call.text.substr(0, call.text.find('\n')));
    }
    return lines;
}

// A path with Windows' backslashes written as slashes.
static std::string Slashed(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

void ExpectEnvironmentOfTheHost(const SplitTrace& split, const std::string& host, const std::string& source,
                                bool sourceManager) {
    std::vector<std::string> keys;
    for (const auto& fact : split.environment) keys.push_back(fact.first);
    if (!kTraceNamesItsEnvironment) {
        EXPECT_TRUE(keys.empty()) << "the macOS build's trace keeps the original's form";
        return;
    }
    std::vector<std::string> expected = {"Tracewell", "Process", "System", "Time zone", "Source", "Application"};
    if (sourceManager) expected.push_back("Source Manager");
    ASSERT_EQ(keys, expected);
    std::map<std::string, std::string> facts(split.environment.begin(), split.environment.end());
    EXPECT_EQ(facts["Tracewell"], TRACEWELL_TEST_VERSION ", TWAIN ABI " TRACEWELL_ABI_NAME);
    EXPECT_EQ(Slashed(facts["Process"].substr(facts["Process"].find(' ') + 1)), Slashed(host));
    EXPECT_THAT(facts["Source"], ::testing::StartsWith(source + ", "));
    EXPECT_THAT(facts["Application"], ::testing::StartsWith("\"Tracewell\" \"Session host\" \"tracewell_host\""));
    // Where the host can place code at a fixed address, its DSM_Entry runs from there, outside every
    // module; elsewhere it is the host's own function.
    if (!sourceManager) return;
    if (HOST_MANAGER_IN_PROGRAM)
        EXPECT_EQ(Slashed(facts["Source Manager"]), Slashed(host));
    else
        EXPECT_THAT(facts["Source Manager"], ::testing::MatchesRegex("<0x[0-9a-f]{8}>, in no loaded module"));
}
