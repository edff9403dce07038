// The text of one traced call: the one place where trace text is appended. It owns the bound
// (nothing past the written limit is kept), the "\r\n" line ends and the printf-format checking.
#pragma once

#include <cstdarg>
#include <cstddef>

class CTraceText {
public:
    // Bytes of one call's text that reach the trace file; longer text is cut there.
    static constexpr size_t kWrittenLimit = 5120;

    CTraceText() { Clear(); }
    CTraceText(const CTraceText&) = delete;
    CTraceText& operator=(const CTraceText&) = delete;

    void Clear() {
        m_len = 0;
        m_buf[0] = '\0';
    }

    // Formats a whole line and ends it with "\r\n".
    void Line(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Formats a piece of a line, without line end.
    void Put(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    // True once the text has passed the limit: whatever is appended later can never be written.
    bool Full() const { return m_len > kWrittenLimit; }
    // Length of the held text: exact up to the limit, kWrittenLimit + 1 for any longer text.
    size_t Length() const { return m_len; }
    const char* Data() const { return m_buf; }

private:
    void Append(bool endLine, const char* fmt, va_list args);

    size_t m_len;
    char m_buf[kWrittenLimit + 2];
};
