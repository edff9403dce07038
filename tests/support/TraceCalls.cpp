// A trace read back in tests through the trace reader.
#include "TraceCalls.h"

#include <algorithm>

using tracereport::TraceCall;

namespace {

class CCallList : public tracereport::TraceSink {
public:
    explicit CCallList(std::vector<TraceCall>& calls) : m_calls(calls) {}
    void OnLoadStart(const std::string&, long, int) override {}
    void OnCall(const TraceCall& call) override { m_calls.push_back(call); }
    void OnNotice(const tracereport::Notice&) override {}
    void OnUnparsed(long, const std::string&) override {}
    void OnLoadEnd(long) override {}

private:
    std::vector<TraceCall>& m_calls;
};

}  // namespace

std::vector<TraceCall> ReadCalls(const std::string& trace) {
    std::vector<TraceCall> calls;
    CCallList list(calls);
    tracereport::CTraceReader reader(list, "trace");
    reader.Feed(trace.data(), trace.size());
    reader.Finish();
    return calls;
}

std::vector<StateShown> StatesShown(const std::string& trace) {
    std::vector<StateShown> shown;
    for (const TraceCall& call : ReadCalls(trace)) {
        if (call.state < 0) continue;
        if (call.seq < 0) {
            const tracereport::Field* message = call.Find("TW_EVENT", "TWMessage");
            shown.push_back({"event " + (message != nullptr ? message->value : std::string()), call.state});
        } else {
            shown.push_back({(call.FromSource() ? tracereport::SourceTag() + " " : "") + call.Triplet(), call.state});
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
    std::vector<TraceCall> calls = ReadCalls(trace);
    std::stable_sort(calls.begin(), calls.end(),
                     [](const TraceCall& a, const TraceCall& b) { return a.firstLine < b.firstLine; });
    std::vector<std::string> lines;
    for (const TraceCall& call : calls) {
        if (call.seq >= 0) lines.push_back(call.text.substr(0, call.text.find('\n')));
    }
    return lines;
}

std::vector<std::string> FieldValues(const std::string& trace, const std::string& path, const std::string& key) {
    std::vector<std::string> values;
    for (const TraceCall& call : ReadCalls(trace)) {
        for (const tracereport::Field& f : call.fields) {
            const std::string& at = call.PathOf(f);
            if (f.key == key && at.size() >= path.size() && at.compare(at.size() - path.size(), path.size(), path) == 0)
                values.push_back(f.value);
        }
    }
    return values;
}
