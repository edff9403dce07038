// The text of one traced call: the one place where trace text is appended. It owns the bound
// (nothing past the written limit is kept), the "\r\n" line ends and the escaping of control
// characters; lines are formatted by {fmt} straight into the held text.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "TraceFormat.h"

// Control characters of a string taken from a structure or an argument are written as C escapes
// ("\r", "\n", "\t", "\xNN" for the others and DEL), so that a trace line is always exactly
// what Tracewell wrote. Copies at most `length` bytes of text into dest, never past `room` and
// never splitting an escape; returns the bytes written. No NUL is added.
size_t CopyEscaped(char* dest, size_t room, const char* text, size_t length);
// True for the bytes CopyEscaped writes as escapes.
inline bool NeedsEscape(unsigned char c) { return c < 0x20 || c == 0x7F; }
// The number of bytes at the start of text that are written as they are: the index of the first
// byte that needs an escape, or length.
size_t PlainLength(const char* text, size_t length);
// Writes one byte as it appears in the trace (itself, or its escape) into out (4 bytes); returns
// the bytes written.
size_t EscapeByte(unsigned char c, char* out);

// The text of a fixed-width field that may lack its NUL: never more than the field.
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

class CTraceText {
public:
    // Bytes of one call's text that reach the trace file; longer text is cut there (or one byte
    // earlier, so that a "\r\n" is never split) and followed by the notice line.
    static constexpr size_t kWrittenLimit = 5120;
    static constexpr const char (&kCutNotice)[sizeof(traceformat::kCutNotice)] = traceformat::kCutNotice;

    CTraceText() { Clear(); }
    CTraceText(const CTraceText&) = delete;
    CTraceText& operator=(const CTraceText&) = delete;

    void Clear() {
        m_len = 0;
        m_buf[0] = '\0';
    }

    // Formats a whole line (a format checked at compile time: FMT_STRING("...")), escapes the
    // control characters the formatted text holds, and ends it with "\r\n". The fields are taken
    // by value: a field of a packed structure is never bound to a reference.
    template <typename S, typename... Args, typename = std::enable_if_t<fmt::detail::is_compile_string<S>::value>>
    void Line(const S&, Args... args) {
        if (Full()) return;
        Appended(true, Format<S>(args...));
    }
    // Formats and escapes a piece of a line, without line end.
    template <typename S, typename... Args, typename = std::enable_if_t<fmt::detail::is_compile_string<S>::value>>
    void Put(const S&, Args... args) {
        if (Full()) return;
        Appended(false, Format<S>(args...));
    }

    // A line, or a piece of one, of text that holds no replacement fields.
    void Line(std::string_view text) { Line(FMT_STRING("{}"), text); }
    void Put(std::string_view text) { Put(FMT_STRING("{}"), text); }

    // Appends text that is already formatted and escaped (lines built elsewhere in bulk).
    void Write(const char* text, size_t length);

    // Replaces whatever lies past the limit with the cut notice line, once the text has passed it.
    void EndWithCutNotice();

    // True once the text has passed the limit: whatever is appended later can never be written.
    bool Full() const { return m_len > kWrittenLimit; }
    // Length of the held text: exact up to the limit, kWrittenLimit + 1 for any longer text (and
    // the cut text with its notice after EndWithCutNotice).
    size_t Length() const { return m_len; }
    const char* Data() const { return m_buf; }

private:
    // The format, parsed when the module is compiled into the code that formats its fields: no
    // format is parsed while a call is traced.
    template <typename S>
    struct Compiled : fmt::detail::compiled_string {
        using char_type = char;
        constexpr explicit operator fmt::string_view() const { return fmt::string_view(S()); }
    };
    // Formats at the end of the text, storing no more than the held limit; returns the size of
    // the whole formatted text.
    template <typename S, typename... Args>
    size_t Format(const Args&... args) {
        using Bounded = fmt::detail::iterator_buffer<char*, char, fmt::detail::fixed_buffer_traits>;
        Bounded out(m_buf + m_len, kHeldLimit - m_len);
        fmt::format_to(fmt::appender(out), Compiled<S>(), args...);
        return out.count();
    }

    // Takes in the `size` bytes just formatted at the end of the text (those past the held limit
    // were not stored): escapes them and ends the line.
    void Appended(bool endLine, size_t size);

    // One byte past the limit is kept, so that a longer text is known to be longer.
    static constexpr size_t kHeldLimit = kWrittenLimit + 1;

    size_t m_len;
    char m_buf[kWrittenLimit + sizeof(kCutNotice) + 2];
};
