// Appending to the text of one call: formatted in place, bounded, never re-scanned.
#include "TraceText.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

size_t CopyEscaped(char* dest, size_t room, const char* text, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    size_t out = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!NeedsEscape(c)) {
            if (out == room) break;
            dest[out++] = static_cast<char>(c);
            continue;
        }
        const char shortForm = c == '\r' ? 'r' : c == '\n' ? 'n' : c == '\t' ? 't' : '\0';
        const size_t width = shortForm != '\0' ? 2 : 4;
        if (room - out < width) break;
        dest[out++] = '\\';
        if (shortForm != '\0') {
            dest[out++] = shortForm;
        } else {
            dest[out++] = 'x';
            dest[out++] = kHex[c >> 4];
            dest[out++] = kHex[c & 0xF];
        }
    }
    return out;
}

void CTraceText::Append(bool endLine, const char* fmt, va_list args) {
    if (Full()) return;
    const size_t room = kHeldLimit + 1 - m_len;
    const int n = vsnprintf(m_buf + m_len, room, fmt, args);
    if (n < 0) {
        m_buf[m_len] = '\0';
        return;
    }
    if (static_cast<size_t>(n) >= room) {
        m_len = kHeldLimit;
        return;
    }
    m_len += static_cast<size_t>(n);
    if (endLine) {
        for (const char c : {'\r', '\n'}) {
            if (m_len == kHeldLimit) break;
            m_buf[m_len++] = c;
        }
        m_buf[m_len] = '\0';
    }
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
    memcpy(m_buf + kWrittenLimit, kCutNotice, sizeof(kCutNotice));
    m_len = kWrittenLimit + sizeof(kCutNotice) - 1;
}

void CTraceText::Line(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    Append(true, fmt, args);
    va_end(args);
}

void CTraceText::Put(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    Append(false, fmt, args);
    va_end(args);
}
