// The copy of what the application gave the source, and the marks where the source changed it.
#include "SentCopy.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "Platform/Platform.h"
#include "TraceFormat.h"

static_assert(sizeof(TW_SETUPFILEXFER) <= 512 && sizeof(TW_IMAGEMEMXFER) <= 512, "structures fit the copy");

size_t CSentCopy::Watched(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, Region* regions, size_t* structureSize,
                          bool* container) {
    *container = false;
    if (!kTraceShowsWhatTheSourceChanged) return 0;
    if (DG == DG_CONTROL && DAT == DAT_CAPABILITY && (MSG == MSG_SET || MSG == MSG_SETCONSTRAINT)) {
        *structureSize = sizeof(TW_CAPABILITY);
        *container = true;
        regions[0] = {0, sizeof(TW_CAPABILITY)};
        return 1;
    }
    if (DG == DG_CONTROL && DAT == DAT_USERINTERFACE &&
        (MSG == MSG_ENABLEDS || MSG == MSG_ENABLEDSUIONLY || MSG == MSG_DISABLEDS)) {
        // ModalUI is the source's answer.
        *structureSize = sizeof(TW_USERINTERFACE);
        regions[0] = {offsetof(TW_USERINTERFACE, ShowUI), sizeof(TW_BOOL)};
        regions[1] = {offsetof(TW_USERINTERFACE, hParent), sizeof(TW_HANDLE)};
        return 2;
    }
    if (DG == DG_CONTROL && DAT == DAT_SETUPFILEXFER && MSG == MSG_SET) {
        *structureSize = sizeof(TW_SETUPFILEXFER);
        regions[0] = {0, sizeof(TW_SETUPFILEXFER)};
        return 1;
    }
    if (DG == DG_IMAGE && DAT == DAT_IMAGELAYOUT && MSG == MSG_SET) {
        *structureSize = sizeof(TW_IMAGELAYOUT);
        regions[0] = {0, sizeof(TW_IMAGELAYOUT)};
        return 1;
    }
    if (DG == DG_IMAGE && DAT == DAT_IMAGEMEMXFER && MSG == MSG_GET) {
        *structureSize = sizeof(TW_IMAGEMEMXFER);
        regions[0] = {offsetof(TW_IMAGEMEMXFER, Memory), sizeof(TW_MEMORY)};
        return 1;
    }
    return 0;
}

bool CSentCopy::Watches(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG) {
    Region regions[2];
    size_t size = 0;
    bool container = false;
    return Watched(DG, DAT, MSG, regions, &size, &container) != 0;
}

// The container's bytes, as far as its block is known or readable.
size_t CSentCopy::CopyContainer(TW_HANDLE handle, unsigned char* dest) {
    if (handle == nullptr) return 0;
    const void* block = HLock(handle);
    if (block == nullptr) return 0;
    const size_t known = HandleBlockSize(handle);
    size_t copied = 0;
    if (known != kUnknownBlockSize) {
        copied = known < kContainerBytes ? known : kContainerBytes;
        memcpy(dest, block, copied);
    } else {
        copied = PlatformCopyReadable(dest, block, kContainerBytes);
    }
    HUnlock(handle);
    return copied;
}

bool CSentCopy::Take(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, const void* pData) {
    m_regionCount = pData == nullptr ? 0 : Watched(DG, DAT, MSG, m_regions, &m_size, &m_container);
    if (m_regionCount == 0) return false;
    memcpy(m_structure, pData, m_size);
    m_containerSize = 0;
    if (m_container) {
        TW_CAPABILITY cap;
        memcpy(&cap, m_structure, sizeof(cap));
        m_containerSize = CopyContainer(cap.hContainer, m_containerBytes);
    }
    return true;
}

bool CSentCopy::Changed(const void* pData) const {
    if (m_regionCount == 0 || pData == nullptr) return false;
    const unsigned char* now = static_cast<const unsigned char*>(pData);
    for (size_t i = 0; i < m_regionCount; ++i) {
        if (memcmp(now + m_regions[i].offset, m_structure + m_regions[i].offset, m_regions[i].size) != 0) return true;
    }
    if (!m_container || m_containerSize == 0) return false;
    TW_CAPABILITY cap;
    memcpy(&cap, now, sizeof(cap));
    unsigned char after[kContainerBytes];
    const size_t size = CopyContainer(cap.hContainer, after);
    return size != m_containerSize || memcmp(after, m_containerBytes, size) != 0;
}

char* CSentCopy::Sent(const void* pData) {
    memcpy(m_sent, pData, m_size);
    for (size_t i = 0; i < m_regionCount; ++i)
        memcpy(m_sent + m_regions[i].offset, m_structure + m_regions[i].offset, m_regions[i].size);
    if (m_container && m_containerSize != 0) {
        // The sent container gets a handle of its own, of known size, to the copied bytes.
        m_sentHandle = NewHandleClear(m_containerSize);
        if (void* block = m_sentHandle != nullptr ? HLock(m_sentHandle) : nullptr) {
            memcpy(block, m_containerBytes, m_containerSize);
            HUnlock(m_sentHandle);
        }
        TW_CAPABILITY cap;
        memcpy(&cap, m_sent, sizeof(cap));
        m_givenHandle = cap.hContainer;
        cap.hContainer = m_sentHandle;
        memcpy(m_sent, &cap, sizeof(cap));
    }
    return reinterpret_cast<char*>(m_sent);
}

void CSentCopy::ReleaseSent() {
    if (m_sentHandle != nullptr) DisposeHandle(m_sentHandle);
    m_sentHandle = nullptr;
}

namespace {

std::vector<std::string_view> Lines(const CTraceText& text) {
    std::vector<std::string_view> lines;
    const std::string_view all(text.Data(), text.Length());
    for (size_t start = 0; start < all.size();) {
        const size_t end = all.find(traceformat::kLineEnd, start);
        if (end == std::string_view::npos) {
            lines.push_back(all.substr(start));
            break;
        }
        lines.push_back(all.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// "    ShowUI  = [": a value line up to its value, whose opening bracket it keeps; empty for a line
// without one. A pointer's value keeps its angle brackets: "    hParent = <".
std::string_view Label(std::string_view line) {
    for (const std::string_view open : {std::string_view(" = ["), std::string_view(" = <")}) {
        const size_t at = line.find(open);
        const char close = open.back() == '[' ? ']' : '>';
        if (at != std::string_view::npos && !line.empty() && line.back() == close)
            return line.substr(0, at + open.size() - (close == '>' ? 1 : 0));
    }
    return std::string_view();
}

// What a value line shows: between its brackets, or the pointer with its angle brackets.
std::string_view ValueOf(std::string_view line, std::string_view label) {
    const std::string_view rest = line.substr(label.size());
    return label.back() == '[' ? rest.substr(0, rest.size() - 1) : rest;
}

void WriteLine(CTraceText& out, std::string_view line) {
    out.Write(line.data(), line.size());
    out.Write(traceformat::kLineEnd, 2);
}

// The text of a pointer as the trace shows it.
struct PointerText {
    explicit PointerText(const void* p) {
        const auto r = fmt::format_to_n(text, sizeof(text), FMT_STRING(traceformat::kPointer),
                                        static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
        length = r.size < sizeof(text) ? r.size : sizeof(text);
    }
    std::string_view View() const { return std::string_view(text, length); }
    char text[16];
    size_t length;
};

// A line of the structure as sent, with the copy's handle shown as the application's.
void WriteSentLine(CTraceText& out, std::string_view line, const PointerText& shown, const PointerText& given) {
    const size_t at = shown.View() != given.View() ? line.find(shown.View()) : std::string_view::npos;
    if (at == std::string_view::npos) {
        out.Write(line.data(), line.size());
        return;
    }
    out.Write(line.data(), at);
    out.Write(given.text, given.length);
    const std::string_view rest = line.substr(at + shown.length);
    out.Write(rest.data(), rest.size());
}

}  // namespace

bool MarkWhatTheSourceChanged(const CTraceText& result, const CTraceText& sent, CTraceText& out,
                              const void* shownHandle, const void* givenHandle) {
    const PointerText shown(shownHandle), given(givenHandle);
    const std::vector<std::string_view> now = Lines(result), before = Lines(sent);
    // The structure follows the data pointer line and ends before the empty line of the status.
    const std::string_view pointer = traceformat::Before(traceformat::kDataPointerLine);
    size_t first = 0;
    while (first < now.size() && now[first].substr(0, pointer.size()) != pointer) ++first;
    if (first == now.size()) return false;
    ++first;
    size_t end = first;
    while (end < now.size() && !now[end].empty()) ++end;

    bool lineUp = end - first == before.size();
    bool differ = end - first != before.size();
    for (size_t i = 0; lineUp && i < before.size(); ++i) {
        if (now[first + i] == before[i]) continue;
        differ = true;
        lineUp = !Label(before[i]).empty() && Label(before[i]) == Label(now[first + i]);
    }
    if (!differ) return false;

    out.Clear();
    for (size_t i = 0; i < first; ++i) WriteLine(out, now[i]);
    for (size_t i = first; i < end; ++i) {
        const std::string_view line = now[i];
        if (!lineUp || line == before[i - first]) {
            WriteLine(out, line);
            continue;
        }
        const std::string_view value = ValueOf(before[i - first], Label(before[i - first]));
        out.Write(line.data(), line.size());
        static const std::string_view open = traceformat::Before(traceformat::kSentValue);
        static const std::string_view close = traceformat::After(traceformat::kSentValue);
        out.Write(open.data(), open.size());
        WriteSentLine(out, value, shown, given);
        out.Write(close.data(), close.size());
        out.Write(traceformat::kLineEnd, 2);
    }
    if (!lineUp) {
        out.Line(FMT_STRING(traceformat::kSentBlockOpen));
        for (const std::string_view line : before) {
            out.Write("  ", 2);
            WriteSentLine(out, line, shown, given);
            out.Write(traceformat::kLineEnd, 2);
        }
        out.Line(FMT_STRING(traceformat::kSentBlockClose));
    }
    for (size_t i = end; i < now.size(); ++i) WriteLine(out, now[i]);
    return true;
}
