// What a report says about one load: identities, counts, states, failures, capabilities,
// transfers, timing, notices and unreadable lines, each list bounded so that memory stays flat.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TraceReader.h"

namespace tracereport {

struct Identity {
    std::string productName, manufacturer, family, info, version, protocol;
    bool Known() const { return !productName.empty() || !manufacturer.empty(); }
};

// The state reached at a call; the first run of a load that starts at [00001] is state 3 at
// call 0 (tracing starts with the Source Manager open).
struct StateRun {
    int state;
    long ordinal;          // the call's place in the load, in the order results were written
    long long seq;         // its request number; -1 for an event
    long long afterSeq;    // for an event: the request number before it
};

struct FailureEntry {
    long ordinal;
    long line;
    long long seq;
    std::string caller, triplet, cap, asked, conditionCode;
};

struct CapabilityEntry {
    std::string name;
    std::string set;         // the last value the application set and the source accepted
    std::string refused;     // the last value the source refused
    std::string current, defaultValue, allowed, conType;
    long calls = 0;
};

struct ImageEntry {
    std::string mode, width, length, pixelType, xResolution, yResolution, bitsPerPixel, compression;
    long count = 0;
};

struct TimedCall {
    long long seq;
    std::string triplet;
    double ms;
    long line;
};

struct Gap {
    long long afterSeq, beforeSeq;
    double ms;
    long line;
};

struct LineRange {
    long first, last;
    std::string text;  // the first line of the range
};

struct LoadSummary {
    static constexpr size_t kMaxRuns = 20000;
    static constexpr size_t kMaxFailures = 1000;
    static constexpr size_t kMaxCapabilities = 512;
    static constexpr size_t kMaxTriplets = 512;
    static constexpr size_t kMaxImages = 64;
    static constexpr size_t kMaxNotices = 200;
    static constexpr size_t kMaxRanges = 200;
    static constexpr size_t kTop = 10;
    static constexpr size_t kMaxEnvironment = 32;

    std::string file;
    int index = 0;  // 1 for the file's first load
    long firstLine = 0, lastLine = 0;
    Identity application, source;
    // Where the load ran, as its opening lines say: key and value, in the order written.
    std::vector<std::pair<std::string, std::string>> environment;

    long ordinals = 0;     // every call of the load
    long calls = 0;        // calls into the source: the application's requests and its events
    long requests = 0;     // of those, with a request line
    long events = 0;       // of those, events shown without one
    long sourceCalls = 0;  // messages of the source to the application ([DS])
    long unfinished = 0, cut = 0, failures = 0;
    long long firstSeq = -1, lastSeq = -1;

    std::map<std::string, long> triplets;
    long otherTriplets = 0;  // calls of triplets past the table's bound

    int initialState = -1;
    std::vector<StateRun> runs;
    long runsDropped = 0;

    std::vector<FailureEntry> failureList;
    std::vector<CapabilityEntry> capabilities;  // in the order first touched
    long capabilitiesDropped = 0;

    long pages = 0;
    std::map<std::string, long> pagesByMode;
    std::vector<ImageEntry> images;

    bool timing = false;
    std::vector<TimedCall> slowest;
    std::vector<Gap> gaps;

    std::map<NoticeKind, long> noticeCounts;
    std::vector<Notice> notices;
    long noticesDropped = 0;

    long unparsedLines = 0;
    std::vector<LineRange> unparsed;
    long unparsedRangesDropped = 0;
};

const char* NoticeKindName(NoticeKind kind);

// "tracewell_host (Tracewell, Session host), version 1.0 \"1.0 session host\", protocol 1.9"
std::string Describe(const Identity& identity);

// The application as the load shows it: its identity from the calls, else the line that says where
// the load ran; "" when neither is in the trace.
std::string DescribeApplication(const LoadSummary& load);

// "3 → 4 [00003] → 5 [00032] → 6 [event after 00032] …"
std::string DescribeRuns(const LoadSummary& load);

// The value a capability call carried: the one value, the current item of an enumeration or range,
// or the items of an array; "" when the call shows no container.
std::string ContainerValue(const TraceCall& call);

// A sink that builds a LoadSummary per load and hands each over when the load ends.
class CSummaryBuilder : public TraceSink {
public:
    explicit CSummaryBuilder(std::function<void(LoadSummary&)> onLoad) : m_onLoad(std::move(onLoad)) {}

    void OnLoadStart(const std::string& file, long line, int loadIndex) override;
    void OnCall(const TraceCall& call) override;
    void OnNotice(const Notice& notice) override;
    void OnUnparsed(long line, const std::string& text) override;
    void OnLoadEnd(long lastLine) override;

private:
    void Capability(const TraceCall& call);
    void Transfer(const TraceCall& call);
    void Timing(const TraceCall& call);
    void State(const TraceCall& call, long ordinal);

    std::function<void(LoadSummary&)> m_onLoad;
    LoadSummary m_load;
    ImageEntry m_lastImage;
    bool m_haveImage = false;
    long m_openFailure = -1;  // the failure a following DAT_STATUS answers
    long long m_lastRequest = -1;
    double m_lastEndUs = -1;
    long long m_lastTimedSeq = -1;
    int m_state = -1;  // the state shown last, whether or not its run is kept
};

}  // namespace tracereport
