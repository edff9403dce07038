// The leveled message logger: time-stamped, leveled printf-style messages written into the trace file,
// escaped as all trace text is.
#include "TwainLog.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <string_view>

#include <boost/format.hpp>
#include <fmt/format.h>

#include "TraceText.h"

namespace {

// Writes text into the trace file escaped as every trace text is, in pieces of bounded size, so
// that a message of any length is written whole; what it holds goes out when it is destroyed.
class EscapedWriter {
public:
    EscapedWriter() : m_used(0) {}
    EscapedWriter(const EscapedWriter&) = delete;
    EscapedWriter& operator=(const EscapedWriter&) = delete;
    ~EscapedWriter() { Flush(); }

    void Add(std::string_view text) {
        for (const char c : text) {
            if (sizeof(m_text) - m_used < kWidestEscape) Flush();
            m_used += EscapeByte(static_cast<unsigned char>(c), m_text + m_used);
        }
    }
    // Ends the line with its line end, written as it is.
    void End(std::string_view lineEnd) {
        if (sizeof(m_text) - m_used < lineEnd.size()) Flush();
        memcpy(m_text + m_used, lineEnd.data(), lineEnd.size());
        m_used += lineEnd.size();
    }

private:
    static constexpr size_t kWidestEscape = 4;

    void Flush() {
        if (m_used != 0) WriteLogFile(reinterpret_cast<const uint8_t*>(m_text), m_used);
        m_used = 0;
    }

    size_t m_used;
    char m_text[4096];
};

}  // namespace

// A message never takes more than this: longer text is cut to what fits, and a formatter that keeps
// failing leaves what it wrote before the failure.
static constexpr size_t kMaxFormatCapacity = 1 << 20;

void CTwainLog::Message(ENUM_LOG_LEVEL_TW::enumLogLevel_tw level, const char* origin, const char* file, int line,
                        const char* format, ...) {
    // Only the character classification changes; number formatting keeps the process locale.
    setlocale(LC_CTYPE, "jpn");

    const std::string levelName = GetLevelName(level);
    const std::string stamp = GetHeader();
    const char* from = origin != nullptr ? origin : "";

    std::string prefix;
    if (file != nullptr) {
        const std::string path(file);
        const size_t separator = path.find_last_of("/\\");
        const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
        prefix =
            (boost::basic_format<char>(traceformat::kLoggerPrefixWithFile) % stamp % levelName % from % name % line)
                .str();
    } else {
        prefix = (boost::basic_format<char>(traceformat::kLoggerPrefix) % stamp % levelName % from).str();
    }

    va_list args;
    va_start(args, format);
    std::string text = FormatString(format, args);
    va_end(args);

    // A message that ends in a line feed has its line end already; one without text has none.
    const bool endsLine = !text.empty();
    if (endsLine && text.back() == '\n') text.pop_back();
    EscapedWriter out;
    out.Add(prefix);
    out.Add(text);
    if (endsLine) out.End(traceformat::kLoggerLineEnd);
}

std::string CTwainLog::GetHeader() {
    const TraceClock clock = ReadTraceClock();
    return fmt::format(FMT_STRING(traceformat::kLoggerStamp), clock.local.tm_year + 1900, clock.local.tm_mon + 1,
                       clock.local.tm_mday, clock.local.tm_hour, clock.local.tm_min, clock.local.tm_sec,
                       RoundedMilliseconds(clock.microseconds));
}

std::string CTwainLog::GetLevelName(ENUM_LOG_LEVEL_TW::enumLogLevel_tw level) {
    switch (level) {
        case ENUM_LOG_LEVEL_TW::LOG_TRACE: return "TRACE";
        case ENUM_LOG_LEVEL_TW::LOG_INFO: return "INFO";
        case ENUM_LOG_LEVEL_TW::LOG_WARNING: return "WARNING";
        case ENUM_LOG_LEVEL_TW::LOG_ERROR: return "ERROR";
    }
    return std::string();
}

std::string CTwainLog::FormatString(const char* format, va_list args) {
    if (format == nullptr) return std::string();
    size_t capacity = 100;
    for (;;) {
        std::string text(capacity, '\0');
        va_list attempt;
        va_copy(attempt, args);
        const int r = vsnprintf(&text[0], capacity, format, attempt);
        va_end(attempt);
        if (r >= 0 && static_cast<size_t>(r) < capacity) {
            text.resize(static_cast<size_t>(r));
            return text;
        }
        if (capacity == kMaxFormatCapacity) {
            text.resize(strnlen(text.data(), capacity - 1));
            return text;
        }
        capacity = std::min(r >= 0 ? static_cast<size_t>(r) + 1 : capacity * 2, kMaxFormatCapacity);
    }
}

void CTwainLog::OutputDebugString(const char* text) {
    if (text == nullptr) return;
    EscapedWriter writer;
    writer.Add(text);
}
