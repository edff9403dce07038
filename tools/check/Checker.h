// The checker: follows a traced session call by call (its own TWAIN state, the capabilities
// negotiated, the transfers, the failures and their condition codes) and finds where a party broke
// a rule of the table. It reports a rule only where the trace proves it.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Rules.h"
#include "TraceReader.h"

namespace tracecheck {

struct Finding {
    const Rule* rule = nullptr;
    long line = 0;             // the call's first line: its request line, or an event's result
    long long seq = -1;        // the call's request number; -1 for an event
    long long afterSeq = -1;   // for an event: the request number before it
    long ordinal = 0;          // the call's place in its load, in the order results were written
    std::string call;          // "DG_CONTROL/DAT_CAPABILITY/MSG_SET (ICAP_PIXELTYPE)", "[DS] ...", "event"
    std::string what;          // what happened
};

// The findings of one load, in the order of their lines.
struct LoadFindings {
    std::string file;
    int index = 0;  // 1 for the file's first load
    long calls = 0;
    std::vector<Finding> findings;
    long dropped = 0;  // findings past the bound, not kept
};

class CChecker : public tracereport::TraceSink {
public:
    // Bounds that keep memory flat whatever the trace holds.
    static constexpr size_t kMaxFindings = 10000;
    static constexpr size_t kMaxCapabilities = 1024;
    static constexpr size_t kMaxNested = 256;

    explicit CChecker(std::function<void(LoadFindings&)> onLoad) : m_onLoad(std::move(onLoad)) {}

    void OnLoadStart(const std::string& file, long line, int loadIndex) override;
    void OnCall(const tracereport::TraceCall& call) override;
    void OnNotice(const tracereport::Notice& notice) override;
    void OnUnparsed(long, const std::string&) override {}
    void OnLoadEnd(long lastLine) override;

private:
    // What the session showed of one capability.
    struct Capability {
        long querySupport = -1;       // the flags MSG_QUERYSUPPORT answered; -1 before
        long long querySeq = -1;
        long succeeded = 0;           // TWQC_ flags of the messages the source carried out
        long refusedAsBadOperation = 0;
        long reported = 0;            // flags already found contradicted
        bool setPending = false;      // a MSG_SET succeeded and its value was not read back yet
        std::string setValue;
        long long setSeq = -1;
        long setEpoch = -1;
        std::vector<std::string> allowed;  // from the last MSG_GET: the enumeration's items
        bool haveRange = false;
        double min = 0, max = 0, step = 0;
        long allowedEpoch = -1;       // the settings epoch of that MSG_GET; -1 when none
        long long allowedSeq = -1;
    };
    // The last failed call of the application, until its next call.
    struct OpenFailure {
        bool open = false;
        Finding at;                   // where a finding on the failed call goes
        bool outOfState = false;
        std::string cap;              // a capability call's capability
        long queryFlag = 0;           // its message's TWQC_ flag
        bool getOfListed = false;     // MSG_GET of a capability CAP_SUPPORTEDCAPS lists
    };

    void Process(const tracereport::TraceCall& call, long ordinal);
    void ProcessEnclosing(const tracereport::TraceCall& call, long ordinal);
    Finding At(const tracereport::TraceCall& call, long ordinal) const;
    void Report(const char* id, const Finding& at, const std::string& what);

    void CheckState(const tracereport::TraceCall& call, const Finding& at, int before);
    void SourceMessage(const std::string& msg, const Finding& at);
    int After(const tracereport::TraceCall& call, int before);
    void Status(const tracereport::TraceCall& call, const Finding& at);
    void CapabilityCall(const tracereport::TraceCall& call, const Finding& at);
    void Contradiction(Capability& cap, const std::string& name, long flag, bool succeeded, const Finding& at);
    void Container(const tracereport::TraceCall& call, const std::string& name, bool fromSource, const Finding& at);
    void Transfer(const tracereport::TraceCall& call, const Finding& at);
    void Changed(const tracereport::TraceCall& call, const Finding& at);
    void NewTransfer();
    void Reset();

    std::function<void(LoadFindings&)> m_onLoad;
    LoadFindings m_load;
    long m_ordinal = 0;
    long long m_lastSeq = -1;
    std::vector<std::pair<tracereport::TraceCall, long>> m_nested;  // calls made inside one still open

    int m_state = -1;              // -1: not known
    bool m_uiOnly = false;         // enabled with MSG_ENABLEDSUIONLY
    long m_epoch = 0;              // counts the settings that might change another capability
    std::map<std::string, Capability> m_caps;
    std::set<std::string> m_listed;  // CAP_SUPPORTEDCAPS as the source answered it
    bool m_haveListed = false;
    std::set<std::string> m_extended;  // CAP_EXTENDEDCAPS as the application set it
    OpenFailure m_failure;
    bool m_callOutOfState = false;  // the call being taken was sent out of its states
    bool m_started = false;

    // The transfer in progress.
    bool m_haveImageInfo = false;
    long long m_imageWidth = -1, m_imageLength = -1, m_bitsPerPixel = -1;
    long long m_rows = 0;
    bool m_stripsWhole = true;     // uncompressed strips of whole rows
    bool m_stripsOrdered = true;   // each strip after the last
    bool m_rowReported = false;
    long long m_expectedPending = -1;  // the Count the next MSG_ENDXFER must report; -1 not known
    long long m_pendingSeq = -1;
};

}  // namespace tracecheck
