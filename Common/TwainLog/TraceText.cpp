// Appending to the text of one call: formatted in place, escaped, bounded, never re-scanned.
#include "TraceText.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

size_t EscapeByte(unsigned char c, char* out) {
    static const char kHex[] = "0123456789abcdef";
    if (!NeedsEscape(c)) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    out[0] = '\\';
    switch (c) {
        case '\r': out[1] = 'r'; return 2;
        case '\n': out[1] = 'n'; return 2;
        case '\t': out[1] = 't'; return 2;
        default:
            out[1] = 'x';
            out[2] = kHex[c >> 4];
            out[3] = kHex[c & 0xF];
            return 4;
    }
}

namespace {

// Whether any of eight bytes is below 0x20 or is 0x7F: bytes that are are flagged by their high
// bit, the lowest one exactly.
bool HoldsControl(const char* eight) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHighs = 0x8080808080808080u;
    uint64_t word;
    memcpy(&word, eight, sizeof(word));
    const uint64_t control = (word - kOnes * 0x20) & ~word & kHighs;
    const uint64_t del = word ^ (kOnes * 0x7F);
    return (control | ((del - kOnes) & ~del & kHighs)) != 0;
}

}  // namespace

size_t PlainLength(const char* text, size_t length) {
    // Eight bytes at a time; the last bytes, fewer than eight, are read with the ones before
    // them as the text's last eight.
    constexpr size_t kWord = sizeof(uint64_t);
    size_t i = 0;
    for (; i + kWord <= length; i += kWord) {
        if (HoldsControl(text + i)) break;
    }
    if (i + kWord > length && length >= kWord && !HoldsControl(text + length - kWord)) return length;
    while (i < length && !NeedsEscape(static_cast<unsigned char>(text[i]))) ++i;
    return i;
}

size_t CopyEscaped(char* dest, size_t room, const char* text, size_t length) {
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        char escaped[4];
        const size_t width = EscapeByte(static_cast<unsigned char>(text[i]), escaped);
        if (room - out < width) break;
        memcpy(dest + out, escaped, width);
        out += width;
    }
    return out;
}

void CTraceText::AppendedWithEscapes(bool endLine, size_t size, bool plain) {
    char* const start = m_buf + m_len;
    const size_t room = kHeldLimit - m_len;
    const bool whole = size <= room;
    const size_t formatted = whole ? size : room;
    const size_t first = plain ? formatted : PlainLength(start, formatted);
    if (first == formatted) {
        m_len += formatted;
    } else {
        // Escapes grow the text: the formatted bytes from the first control character on are
        // copied out and written back escaped, up to the held limit (an escape may be cut there,
        // past the written limit's last byte or right before the cut notice).
        char raw[kHeldLimit];
        const size_t rest = formatted - first;
        memcpy(raw, start + first, rest);
        size_t out = m_len + first;
        for (size_t i = 0; i < rest && out < kHeldLimit; ++i) {
            char escaped[4];
            const size_t width = EscapeByte(static_cast<unsigned char>(raw[i]), escaped);
            for (size_t k = 0; k < width && out < kHeldLimit; ++k) m_buf[out++] = escaped[k];
        }
        m_len = out;
    }
    if (!whole) m_len = kHeldLimit;
    if (endLine) {
        for (const char c : {'\r', '\n'}) {
            if (m_len >= kHeldLimit) break;
            m_buf[m_len++] = c;
        }
    }
    m_buf[m_len] = '\0';
}

void CTraceText::Text(bool endLine, std::string_view text) {
    if (Full()) return;
    const size_t room = kHeldLimit - m_len;
    const size_t taken = text.size() < room ? text.size() : room;
    memcpy(m_buf + m_len, text.data(), taken);
    Appended(endLine, text.size(), PlainLength(text.data(), taken) == text.size());
}

void CTraceText::Write(const char* text, size_t length) {
    if (Full()) return;
    const size_t room = kHeldLimit - m_len;
    const size_t taken = length < room ? length : room;
    memcpy(m_buf + m_len, text, taken);
    m_len += taken;
    m_buf[m_len] = '\0';
}

void CTraceText::EndWithCutNotice() {
    if (!Full()) return;
    // A cut between "\r" and "\n" drops the "\r", so that the notice line ends the text.
    const size_t cut = m_buf[kWrittenLimit - 1] == '\r' ? kWrittenLimit - 1 : kWrittenLimit;
    memcpy(m_buf + cut, kCutNotice, sizeof(kCutNotice) - 1);
    m_len = cut + sizeof(kCutNotice) - 1;
    m_buf[m_len++] = '\r';
    m_buf[m_len++] = '\n';
    m_buf[m_len] = '\0';
}
