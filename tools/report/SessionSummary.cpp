// Building a load's summary from the calls the reader hands on.
#include "SessionSummary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "Common/TwainLog/TraceFormat.h"

namespace tracereport {

namespace {

const std::string kContainers[] = {"TW_ONEVALUE", "TW_ENUMERATION", "TW_RANGE", "TW_ARRAY"};

std::string Value(const TraceCall& call, const std::string& path, const std::string& key) {
    const Field* f = call.Find(path, key);
    return f != nullptr ? f->value : std::string();
}

// The container the call shows, or "".
std::string ContainerOf(const TraceCall& call) {
    for (const std::string& path : call.paths) {
        for (const std::string& c : kContainers) {
            if (path.size() >= c.size() && path.compare(path.size() - c.size(), c.size(), c) == 0) return c;
        }
    }
    return "";
}

std::vector<std::string> Items(const TraceCall& call) {
    std::vector<std::string> items;
    for (const Field& f : call.fields) {
        const std::string suffix = "/ItemList";
        const std::string& path = call.PathOf(f);
        if (path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
            items.push_back(f.value);
    }
    return items;
}

std::string Join(const std::vector<std::string>& items, size_t most = 64) {
    std::string out;
    for (size_t i = 0; i < items.size() && i < most; ++i) out += (i == 0 ? "" : ", ") + items[i];
    if (items.size() > most) out += ", ... (" + std::to_string(items.size()) + " in all)";
    return out;
}

std::string Item(const std::vector<std::string>& items, const std::string& index) {
    char* end = nullptr;
    const unsigned long i = strtoul(index.c_str(), &end, 10);
    if (index.empty() || *end != '\0' || i >= items.size()) return index.empty() ? "" : "index " + index;
    return items[i];
}

// Microseconds since midnight of "HH:MM:SS.ffffff"; -1 when it is not a time.
double Microseconds(const std::string& t) {
    int h, m, s;
    char frac[16] = {};
    if (sscanf(t.c_str(), "%2d:%2d:%2d.%15[0-9]", &h, &m, &s, frac) != 4) return -1;
    double f = 0, scale = 0.1;
    for (const char* p = frac; *p; ++p, scale /= 10) f += (*p - '0') * scale;
    return ((h * 60.0 + m) * 60.0 + s + f) * 1e6;
}

template <typename T, typename Less>
void KeepTop(std::vector<T>& top, T entry, Less less) {
    if (top.size() < LoadSummary::kTop) {
        top.push_back(std::move(entry));
    } else if (less(top.back(), entry)) {
        top.back() = std::move(entry);
    } else {
        return;
    }
    std::stable_sort(top.begin(), top.end(), [&](const T& a, const T& b) { return less(b, a); });
}

}  // namespace

const char* NoticeKindName(NoticeKind kind) {
    switch (kind) {
        case NoticeKind::Logger: return "logger";
        case NoticeKind::Marker: return "marker";
        case NoticeKind::Banner: return "banner";
        case NoticeKind::SequenceGap: return "sequence";
        case NoticeKind::Unfinished: return "unfinished";
        case NoticeKind::FileCutShort: return "cut short";
        case NoticeKind::StrayMarker: return "stray marker";
        case NoticeKind::Environment: return "environment";
    }
    return "?";
}

std::string DescribeApplication(const LoadSummary& load) {
    const std::string described = Describe(load.application);
    if (!described.empty()) return described;
    for (const auto& fact : load.environment) {
        if (fact.first == traceformat::kEnvironmentApplication) return fact.second;
    }
    return "";
}

std::string Describe(const Identity& id) {
    if (!id.Known()) return "";
    std::string out = id.productName.empty() ? "(no product name)" : id.productName;
    std::string by = id.manufacturer;
    if (!id.family.empty()) by += (by.empty() ? "" : ", ") + id.family;
    if (!by.empty()) out += " (" + by + ")";
    if (!id.version.empty()) out += ", version " + id.version;
    if (!id.info.empty()) out += " \"" + id.info + "\"";
    if (!id.protocol.empty()) out += ", protocol " + id.protocol;
    return out;
}

std::string DescribeRuns(const LoadSummary& load) {
    std::string out;
    for (const StateRun& run : load.runs) {
        if (!out.empty()) out += " \xe2\x86\x92 ";  // →
        out += std::to_string(run.state);
        if (run.ordinal == 0) continue;
        if (run.seq >= 0)
            out += " " + RequestNumber(run.seq);
        else if (run.afterSeq >= 0)
            out += " [event after " + RequestDigits(run.afterSeq) + "]";
        else
            out += " [event]";
    }
    if (load.runsDropped > 0) out += " \xe2\x80\xa6 (" + std::to_string(load.runsDropped) + " more changes)";
    return out;
}

std::string ContainerValue(const TraceCall& call) {
    const std::string container = ContainerOf(call);
    if (container == "TW_ONEVALUE") return Value(call, container, "Item");
    if (container == "TW_ENUMERATION") return Item(Items(call), Value(call, container, "CurrentIndex"));
    if (container == "TW_RANGE") return Value(call, container, "CurrentValue");
    if (container == "TW_ARRAY") return Join(Items(call));
    return "";
}

void CSummaryBuilder::OnLoadStart(const std::string& file, long line, int loadIndex) {
    m_load = LoadSummary();
    m_load.file = file;
    m_load.index = loadIndex;
    m_load.firstLine = line;
    m_haveImage = false;
    m_openFailure = -1;
    m_lastRequest = -1;
    m_lastEndUs = -1;
    m_lastTimedSeq = -1;
    m_state = -1;
}

void CSummaryBuilder::OnCall(const TraceCall& call) {
    LoadSummary& L = m_load;
    const long ordinal = ++L.ordinals;
    const bool fromSource = call.FromSource();
    const bool event = call.seq < 0;
    if (fromSource) {
        ++L.sourceCalls;
    } else {
        ++L.calls;
        ++(event ? L.events : L.requests);
    }
    if (call.seq >= 0) {
        if (L.firstSeq < 0) L.firstSeq = call.seq;
        L.lastSeq = std::max(L.lastSeq, call.seq);
        if (L.initialState < 0 && L.runs.empty() && call.seq == 1) {
            L.initialState = 3;
            L.runs.push_back({3, 0, -1, -1});
        }
    }
    if (call.unfinished) ++L.unfinished;
    if (call.cut) ++L.cut;

    const std::string key = event ? "DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT (event)"
                                  : (fromSource ? SourceTag() + " " : "") + call.Triplet();
    auto it = L.triplets.find(key);
    if (it != L.triplets.end())
        ++it->second;
    else if (L.triplets.size() < LoadSummary::kMaxTriplets)
        L.triplets[key] = 1;
    else
        ++L.otherTriplets;

    if (call.Failed()) {
        ++L.failures;
        if (L.failureList.size() < LoadSummary::kMaxFailures) {
            FailureEntry f{ordinal, call.firstLine, call.seq, call.caller, call.Triplet(), call.cap, "", ""};
            if (call.dat == "DAT_CAPABILITY") {
                if (f.cap.empty()) f.cap = Value(call, "TW_CAPABILITY", "Cap");
                if (call.msg == "MSG_SET" || call.msg == "MSG_SETCONSTRAINT") f.asked = ContainerValue(call);
            }
            L.failureList.push_back(f);
            m_openFailure = fromSource ? m_openFailure : static_cast<long>(L.failureList.size()) - 1;
        } else {
            m_openFailure = -1;
        }
    } else if (!fromSource) {
        if (call.dat == "DAT_STATUS" && call.msg == "MSG_GET" && m_openFailure >= 0) {
            L.failureList[m_openFailure].conditionCode = Value(call, "TW_STATUS", "ConditionCode");
        }
        m_openFailure = -1;
    }

    if (!call.Failed() && call.dat == "DAT_PARENT" && call.msg == "MSG_OPENDSM" && !L.application.Known()) {
        const std::string id = "TW_IDENTITY", v = "TW_VERSION";
        L.application = {Value(call, id, "ProductName"), Value(call, id, "Manufacturer"),
                         Value(call, id, "ProductFamily"), Value(call, v, "Info"),
                         Value(call, v, "MajorNum") + "." + Value(call, v, "MinorNum"),
                         Value(call, id, "ProtocolMajor") + "." + Value(call, id, "ProtocolMinor")};
        if (L.application.version == ".") L.application.version.clear();
        if (L.application.protocol == ".") L.application.protocol.clear();
    }
    if (!call.Failed() && call.dat == "DAT_IDENTITY" && !fromSource &&
        (call.msg == "MSG_OPENDS" || (!L.source.Known() && call.msg != "MSG_CLOSEDS"))) {
        const std::string id = "TW_IDENTITY", v = "TW_VERSION";
        Identity found{Value(call, id, "ProductName"), Value(call, id, "Manufacturer"),
                       Value(call, id, "ProductFamily"), Value(call, v, "Info"),
                       Value(call, v, "MajorNum") + "." + Value(call, v, "MinorNum"),
                       Value(call, id, "ProtocolMajor") + "." + Value(call, id, "ProtocolMinor")};
        if (found.version == ".") found.version.clear();
        if (found.protocol == ".") found.protocol.clear();
        if (found.Known()) L.source = found;
    }
    if (call.dat == "DAT_CAPABILITY") Capability(call);
    Transfer(call);
    Timing(call);
    State(call, ordinal);
    if (call.seq >= 0) m_lastRequest = call.seq;
}

void CSummaryBuilder::State(const TraceCall& call, long ordinal) {
    if (call.state < 0) return;
    LoadSummary& L = m_load;
    if (L.initialState < 0 && L.runs.empty()) L.initialState = call.state;
    if (m_state < 0 && !L.runs.empty()) m_state = L.runs.back().state;
    if (m_state == call.state) return;
    m_state = call.state;
    if (L.runs.size() >= LoadSummary::kMaxRuns) {
        ++L.runsDropped;
        return;
    }
    L.runs.push_back({call.state, ordinal, call.seq, call.seq < 0 ? m_lastRequest : -1});
}

void CSummaryBuilder::Capability(const TraceCall& call) {
    LoadSummary& L = m_load;
    std::string name = call.cap;
    if (name.empty()) name = Value(call, "TW_CAPABILITY", "Cap");
    if (name.empty()) return;
    auto it = std::find_if(L.capabilities.begin(), L.capabilities.end(),
                           [&](const CapabilityEntry& c) { return c.name == name; });
    if (it == L.capabilities.end()) {
        if (L.capabilities.size() >= LoadSummary::kMaxCapabilities) {
            ++L.capabilitiesDropped;
            return;
        }
        L.capabilities.push_back(CapabilityEntry());
        it = L.capabilities.end() - 1;
        it->name = name;
    }
    CapabilityEntry& cap = *it;
    ++cap.calls;
    const std::string container = ContainerOf(call);
    const std::string& msg = call.msg;
    if (msg == "MSG_SET" || msg == "MSG_SETCONSTRAINT") {
        const std::string value = ContainerValue(call);
        if (call.Failed())
            cap.refused = value.empty() ? "(not shown)" : value;
        else if (!value.empty())
            cap.set = value;
        return;
    }
    if (call.Failed() || container.empty()) return;
    if (msg == "MSG_GET") {
        cap.conType = container.substr(3);
        if (container == "TW_ONEVALUE") {
            cap.current = Value(call, container, "Item");
        } else if (container == "TW_ENUMERATION") {
            const std::vector<std::string> items = Items(call);
            cap.current = Item(items, Value(call, container, "CurrentIndex"));
            cap.defaultValue = Item(items, Value(call, container, "DefaultIndex"));
            cap.allowed = Join(items);
        } else if (container == "TW_RANGE") {
            cap.current = Value(call, container, "CurrentValue");
            cap.defaultValue = Value(call, container, "DefaultValue");
            cap.allowed = Value(call, container, "MinValue") + " to " + Value(call, container, "MaxValue") +
                          " step " + Value(call, container, "StepSize");
        } else {
            cap.current = Join(Items(call));
        }
    } else if (msg == "MSG_GETCURRENT" || msg == "MSG_RESET") {
        cap.current = ContainerValue(call);
    } else if (msg == "MSG_GETDEFAULT") {
        cap.defaultValue = ContainerValue(call);
    }
}

void CSummaryBuilder::Transfer(const TraceCall& call) {
    if (call.dg == "DG_IMAGE" && call.dat == "DAT_IMAGEINFO" && call.msg == "MSG_GET" && !call.Failed()) {
        const std::string s = "TW_IMAGEINFO";
        m_lastImage = {"", Value(call, s, "ImageWidth"), Value(call, s, "ImageLength"), Value(call, s, "PixelType"),
                       Value(call, s, "XResolution"), Value(call, s, "YResolution"), Value(call, s, "BitsPerPixel"),
                       Value(call, s, "Compression"), 0};
        m_haveImage = true;
        return;
    }
    if (call.rc != "TWRC_XFERDONE" || call.msg != "MSG_GET") return;
    static const std::pair<const char*, const char*> kModes[] = {{"DAT_IMAGEMEMXFER", "memory"},
                                                                 {"DAT_IMAGENATIVEXFER", "native"},
                                                                 {"DAT_IMAGEFILEXFER", "file"},
                                                                 {"DAT_IMAGEMEMFILEXFER", "memory file"},
                                                                 {"DAT_AUDIONATIVEXFER", "audio native"},
                                                                 {"DAT_AUDIOFILEXFER", "audio file"}};
    const char* mode = nullptr;
    for (const auto& m : kModes) {
        if (call.dat == m.first) mode = m.second;
    }
    if (mode == nullptr) return;
    LoadSummary& L = m_load;
    ++L.pages;
    ++L.pagesByMode[mode];
    ImageEntry image = m_haveImage ? m_lastImage : ImageEntry();
    image.mode = mode;
    auto it = std::find_if(L.images.begin(), L.images.end(), [&](const ImageEntry& e) {
        return e.mode == image.mode && e.width == image.width && e.length == image.length &&
               e.pixelType == image.pixelType && e.xResolution == image.xResolution &&
               e.yResolution == image.yResolution && e.bitsPerPixel == image.bitsPerPixel &&
               e.compression == image.compression;
    });
    if (it != L.images.end()) {
        ++it->count;
    } else if (L.images.size() < LoadSummary::kMaxImages) {
        image.count = 1;
        L.images.push_back(image);
    }
}

void CSummaryBuilder::Timing(const TraceCall& call) {
    LoadSummary& L = m_load;
    if (call.tookMs >= 0) {
        L.timing = true;
        KeepTop(L.slowest, TimedCall{call.seq, call.Triplet(), call.tookMs, call.firstLine},
                [](const TimedCall& a, const TimedCall& b) { return a.ms < b.ms; });
    }
    if (call.depth != 0 || call.time.empty()) return;
    const double start = Microseconds(call.time);
    if (start < 0) return;
    L.timing = true;
    if (m_lastEndUs >= 0) {
        double gap = start - m_lastEndUs;
        if (gap < -12 * 3600e6) gap += 24 * 3600e6;  // past midnight
        KeepTop(L.gaps, Gap{m_lastTimedSeq, call.seq, gap / 1000.0, call.firstLine},
                [](const Gap& a, const Gap& b) { return a.ms < b.ms; });
    }
    m_lastEndUs = start + std::max(0.0, call.tookMs) * 1000.0;
    m_lastTimedSeq = call.seq;
}

void CSummaryBuilder::OnNotice(const Notice& notice) {
    LoadSummary& L = m_load;
    if (notice.kind == NoticeKind::Environment) {
        if (L.environment.size() < LoadSummary::kMaxEnvironment) L.environment.push_back({notice.key, notice.value});
        return;
    }
    ++L.noticeCounts[notice.kind];
    if (L.notices.size() < LoadSummary::kMaxNotices)
        L.notices.push_back(notice);
    else
        ++L.noticesDropped;
}

void CSummaryBuilder::OnUnparsed(long line, const std::string& text) {
    LoadSummary& L = m_load;
    ++L.unparsedLines;
    if (!L.unparsed.empty() && L.unparsed.back().last + 1 == line) {
        L.unparsed.back().last = line;
    } else if (L.unparsed.size() < LoadSummary::kMaxRanges) {
        L.unparsed.push_back({line, line, text});
    } else {
        ++L.unparsedRangesDropped;
    }
}

void CSummaryBuilder::OnLoadEnd(long lastLine) {
    m_load.lastLine = lastLine;
    m_onLoad(m_load);
}

}  // namespace tracereport
