// Appending to the text of one call: formatted in place, bounded, never re-scanned.
#include "TraceText.h"

#include <cstdio>
#include <initializer_list>

void CTraceText::Append(bool endLine, const char* fmt, va_list args) {
    if (Full()) return;
    const size_t room = sizeof(m_buf) - m_len;
    const int n = vsnprintf(m_buf + m_len, room, fmt, args);
    if (n < 0) {
        m_buf[m_len] = '\0';
        return;
    }
    if (static_cast<size_t>(n) >= room) {
        m_len = sizeof(m_buf) - 1;
        return;
    }
    m_len += static_cast<size_t>(n);
    if (endLine) {
        for (const char c : {'\r', '\n'}) {
            if (m_len == sizeof(m_buf) - 1) break;
            m_buf[m_len++] = c;
        }
        m_buf[m_len] = '\0';
    }
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
