// `tracewell diff A B`: the two sessions aligned call by call, with addresses, times and
// request numbers masked; where they part, and every value that differs. Both files are read
// side by side, holding only the calls of the window in which they are aligned again.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <ostream>
#include <string_view>

#include "Common/TwainLog/TraceFormat.h"
#include "Report.h"
#include "TraceReader.h"

namespace tracereport {

namespace {

constexpr int kSame = 0;
constexpr int kDiffer = 1;
constexpr int kTrouble = 2;
constexpr size_t kResyncWindow = 200;
constexpr size_t kMostListed = 1000;

// A line's label as the trace writes it: "Return Code" of "        Return Code = [{}]".
std::string Label(std::string_view format) {
    const std::string_view text = traceformat::Unindented(traceformat::Before(format));
    return std::string(text.substr(0, text.find(" = ")));
}

struct DiffCall {
    std::string signature;  // caller, triplet and capability: what aligns
    std::string label;      // "[00013] DG_CONTROL/DAT_CAPABILITY/MSG_SET (ICAP_XRESOLUTION)"
    long line = 0;
    long index = 0;         // its place in its session, from 1
    bool capability = false;
    std::string cap;
    std::vector<std::pair<std::string, std::string>> values;  // masked, keyed by path and occurrence
};

std::string Mask(const std::string& value) {
    if (value.compare(0, 3, "<0x") == 0 && value.back() == '>') return "<address>";
    return value;
}

// One session's calls, read from its file as far as the diff needs them.
class CCallStream : public TraceSink {
public:
    explicit CCallStream(const std::string& path)
        : m_path(path), m_file(fopen(path.c_str(), "rb"), fclose), m_reader(*this, path, false) {
        if (m_file == nullptr) m_error = path + ": " + strerror(errno);
    }
    const std::string& Error() const { return m_error; }

    // True when the call `k` places ahead is there.
    bool Has(size_t k) {
        char buffer[1 << 16];
        while (m_calls.size() <= k && !m_ended && m_error.empty()) {
            const size_t n = fread(buffer, 1, sizeof(buffer), m_file.get());
            if (n > 0) {
                m_reader.Feed(buffer, n);
                continue;
            }
            if (ferror(m_file.get())) m_error = m_path + ": " + strerror(errno);
            m_reader.Finish();
            m_ended = true;
        }
        return m_calls.size() > k;
    }
    const DiffCall& At(size_t k) { return m_calls[k]; }
    void Pop() { m_calls.pop_front(); }
    long Count() const { return m_count; }

    void OnLoadStart(const std::string&, long line, int loadIndex) override {
        m_loads = loadIndex;
        if (loadIndex == 1) return;
        DiffCall boundary;
        boundary.signature = boundary.label = "(a new load)";
        boundary.line = line;
        boundary.index = ++m_count;
        m_calls.push_back(boundary);
    }
    void OnCall(const TraceCall& call) override {
        DiffCall d;
        const std::string triplet = call.seq < 0 ? "event" : call.Triplet();
        d.signature = call.caller + " " + WithCapability(triplet, call.cap);
        d.label = (call.seq < 0 ? std::string("event") : RequestNumber(call.seq) + " ") +
                  (call.FromSource() ? SourceTag() + " " : "") + WithCapability(call.seq < 0 ? "" : triplet, call.cap);
        d.line = call.firstLine;
        d.index = ++m_count;
        d.capability = call.dat == "DAT_CAPABILITY";
        d.cap = call.cap;
        d.values.push_back({Label(traceformat::kReturnCodeLine), call.unfinished ? "(no result)" : call.rc});
        if (call.cut) d.values.push_back({"text", "cut at 5120 bytes"});
        std::map<std::string, int> seen;
        for (const Field& f : call.fields) {
            const std::string& path = call.PathOf(f);
            std::string key = (path.empty() ? "" : path + " ") + f.key;
            const int n = ++seen[key];
            if (n > 1) key += " #" + std::to_string(n);
            d.values.push_back({key, Mask(f.value)});
        }
        d.values.push_back({Label(traceformat::kStatusLine), call.state < 0 ? "(none)" : std::to_string(call.state)});
        m_calls.push_back(std::move(d));
    }
    void OnNotice(const Notice& notice) override {
        if (notice.kind != NoticeKind::Environment || m_environment.size() >= kMostListed) return;
        // Each load's lines, told apart from the first load's by its number.
        const std::string key = m_loads > 1 ? "load " + std::to_string(m_loads) + " " + notice.key : notice.key;
        m_environment.push_back({key, notice.value});
    }
    const std::vector<std::pair<std::string, std::string>>& Environment() const { return m_environment; }
    void OnUnparsed(long, const std::string&) override {}
    void OnLoadEnd(long) override {}

private:
    std::string m_path;
    std::unique_ptr<FILE, int (*)(FILE*)> m_file;
    CTraceReader m_reader;
    std::deque<DiffCall> m_calls;
    bool m_ended = false;
    long m_count = 0;
    int m_loads = 0;
    std::vector<std::pair<std::string, std::string>> m_environment;
    std::string m_error;
};

struct ValueDiff {
    std::string key, a, b;
};

// The values that differ between two keyed lists, in A's order, then those only B has.
std::vector<ValueDiff> CompareFacts(const std::vector<std::pair<std::string, std::string>>& a,
                                    const std::vector<std::pair<std::string, std::string>>& b) {
    std::vector<ValueDiff> out;
    std::map<std::string, const std::string*> inB;
    for (const auto& v : b) inB[v.first] = &v.second;
    std::map<std::string, bool> inA;
    for (const auto& v : a) {
        inA[v.first] = true;
        auto it = inB.find(v.first);
        if (it == inB.end())
            out.push_back({v.first, v.second, "(absent)"});
        else if (*it->second != v.second)
            out.push_back({v.first, v.second, *it->second});
    }
    for (const auto& v : b) {
        if (!inA.count(v.first)) out.push_back({v.first, "(absent)", v.second});
    }
    return out;
}

// The values of two aligned calls that differ.
std::vector<ValueDiff> Compare(const DiffCall& a, const DiffCall& b) { return CompareFacts(a.values, b.values); }

// "  ICAP_XRESOLUTION  TW_CAPABILITY/TW_ONEVALUE Item: A 100.000, B 150.000  (A line 290, ...)"
std::string Format(const DiffCall& a, const DiffCall& b, const ValueDiff& d) {
    const std::string lines = "A line " + std::to_string(a.line) + ", B line " + std::to_string(b.line);
    if (a.capability)
        return "  " + (a.cap.empty() ? std::string("(no capability)") : a.cap) + "  " + d.key + ": A " + d.a +
               ", B " + d.b + "  (" + lines + ", " + a.label + ")";
    return "  " + a.label + "  " + d.key + ": A " + d.a + ", B " + d.b + "  (" + lines + ")";
}

std::string Where(const DiffCall& c, const char* side) {
    return std::string(side) + " call " + std::to_string(c.index) + " " + c.label + " (line " +
           std::to_string(c.line) + ")";
}

// A list that keeps its first entries and counts the rest.
struct Listing {
    std::vector<std::string> lines;
    size_t count = 0;
    void Add(std::string line) {
        if (++count <= kMostListed) lines.push_back(std::move(line));
    }
    void Print(std::ostream& out, const char* title) const {
        out << title << count << "\n";
        for (const std::string& l : lines) out << l << "\n";
        if (count > lines.size()) out << "  ... and " << count - lines.size() << " more\n";
    }
};

}  // namespace

int Diff(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    std::vector<std::string> paths;
    for (const std::string& a : arguments) {
        if (a == "--help" || a == "-h") {
            out << "Usage: tracewell diff A B\n\n"
                   "Aligns two traced sessions call by call, with addresses, times and request numbers\n"
                   "masked, and prints where they part and every value that differs, capability values\n"
                   "first.\n\nExit status: 0 when they do not differ, 1 when they do, 2 on a bad argument\n"
                   "or a file that cannot be read.\n";
            return kSame;
        }
        if (a.size() > 1 && a[0] == '-') {
            err << "tracewell diff: unknown option '" << a << "'\nTry 'tracewell diff --help'.\n";
            return kTrouble;
        }
        paths.push_back(a);
    }
    if (paths.size() != 2) {
        err << "tracewell diff: two trace files are needed, " << paths.size() << " given\n"
            << "Try 'tracewell diff --help'.\n";
        return kTrouble;
    }
    CCallStream A(paths[0]), B(paths[1]);
    for (CCallStream* s : {&A, &B}) {
        const bool hasCall = s->Has(0);
        if (!s->Error().empty()) {
            err << "tracewell diff: cannot read " << s->Error() << "\n";
            return kTrouble;
        }
        if (!hasCall) {
            err << "tracewell diff: " << (s == &A ? paths[0] : paths[1]) << " holds no TWAIN call: not a trace\n";
            return kTrouble;
        }
    }

    std::string parting;
    Listing capabilityDiffs, otherDiffs, onlyIn;
    bool lost = false;  // no common call within the window: the rest is not compared
    while (A.Has(0) && B.Has(0)) {
        const DiffCall& a = A.At(0);
        const DiffCall& b = B.At(0);
        if (a.signature == b.signature) {
            const std::vector<ValueDiff> d = Compare(a, b);
            if (!d.empty() && parting.empty())
                parting = Where(a, "A") + " and " + Where(b, "B") + ": " + d.front().key + " is " + d.front().a +
                          " in A, " + d.front().b + " in B";
            for (const ValueDiff& v : d) (a.capability ? capabilityDiffs : otherDiffs).Add(Format(a, b, v));
            A.Pop(), B.Pop();
            continue;
        }
        if (parting.empty()) parting = Where(a, "A") + " and " + Where(b, "B") + ": the calls differ";
        // The nearest place where the two meet again: the fewest calls skipped on both sides.
        size_t skipA = 0, skipB = 0;
        bool found = false;
        for (size_t total = 1; total <= 2 * kResyncWindow && !found; ++total) {
            for (size_t i = 0; i <= total && i <= kResyncWindow; ++i) {
                const size_t j = total - i;
                if (j > kResyncWindow || !A.Has(i) || !B.Has(j)) continue;
                if (A.At(i).signature == B.At(j).signature) {
                    skipA = i, skipB = j, found = true;
                    break;
                }
            }
        }
        if (!found) {
            onlyIn.Add("  A goes on from " + a.label + " (line " + std::to_string(a.line) + "), B from " + b.label +
                       " (line " + std::to_string(b.line) + "): no common call follows within " +
                       std::to_string(kResyncWindow) + " calls");
            lost = true;
            break;
        }
        for (size_t i = 0; i < skipA; ++i, A.Pop())
            onlyIn.Add("  only in A: " + A.At(0).label + " (line " + std::to_string(A.At(0).line) + ")");
        for (size_t j = 0; j < skipB; ++j, B.Pop())
            onlyIn.Add("  only in B: " + B.At(0).label + " (line " + std::to_string(B.At(0).line) + ")");
    }
    const bool aLeft = A.Has(0), bLeft = B.Has(0);
    if ((aLeft || bLeft) && parting.empty()) {
        parting = aLeft ? Where(A.At(0), "A") + " and the end of B after call " + std::to_string(B.Count()) +
                              ": B ends first"
                        : "the end of A after call " + std::to_string(A.Count()) + " and " + Where(B.At(0), "B") +
                              ": A ends first";
    }
    for (; A.Has(0); A.Pop()) {
        if (!lost) onlyIn.Add("  only in A: " + A.At(0).label + " (line " + std::to_string(A.At(0).line) + ")");
    }
    for (; B.Has(0); B.Pop()) {
        if (!lost) onlyIn.Add("  only in B: " + B.At(0).label + " (line " + std::to_string(B.At(0).line) + ")");
    }
    for (CCallStream* s : {&A, &B}) {
        if (!s->Error().empty()) {
            err << "tracewell diff: cannot read " << s->Error() << "\n";
            return kTrouble;
        }
    }

    out << "A: " << paths[0] << " (" << A.Count() << " calls)\nB: " << paths[1] << " (" << B.Count() << " calls)\n";
    // Where the sessions ran is told, but does not by itself make them part.
    Listing environmentDiffs;
    for (const ValueDiff& d : CompareFacts(A.Environment(), B.Environment()))
        environmentDiffs.Add("  " + d.key + ": A " + d.a + ", B " + d.b);
    if (parting.empty()) {
        out << "No difference: the sessions do not part.\n";
        if (environmentDiffs.count != 0) environmentDiffs.Print(out << "\n", "Where they ran differs: ");
        return kSame;
    }
    out << "They part at " << parting << "\n\n";
    capabilityDiffs.Print(out, "Capability values that differ: ");
    out << "\n";
    otherDiffs.Print(out, "Other values that differ: ");
    out << "\n";
    onlyIn.Print(out, "Calls in one session only: ");
    if (environmentDiffs.count != 0) environmentDiffs.Print(out << "\n", "Where they ran differs: ");
    return kDiffer;
}

}  // namespace tracereport
