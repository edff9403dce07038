// The leveled message logger: prefixes, level names and line feeds byte for byte, the bounds of formatting.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "Common/TwainLog/TwainLog.h"
#include "support/TestSupport.h"

namespace {

#ifdef _WIN32
constexpr bool kWindowsCLibrary = true;
#else
constexpr bool kWindowsCLibrary = false;
#endif

using Level = ENUM_LOG_LEVEL_TW::enumLogLevel_tw;

const std::string kStamp = "[2021/03/03 09:05:07.042]";

std::string Blanks(size_t n) { return std::string(n, ' '); }

class Logger : public ::testing::Test {
protected:
    void SetUp() override {
        FixTraceClock(42000);
    }
    void TearDown() override { SetTraceClock(nullptr); }

    CTwainLog m_log;
};

std::string FormatThrough(CTwainLog& log, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string FormatThrough(CTwainLog& log, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = log.FormatString(format, args);
    va_end(args);
    return text;
}

struct MessageCase {
    const char* name;
    int level;
    const char* origin;
    const char* file;
    int line;
    const char* format;
    std::string expected;
};

const MessageCase kMessageCases[] = {
    {"SlashThenBackslash", 2, "Scanner", "dir/sub\\name.ext", 7, "text",
     kStamp + " INFO from \"Scanner\" (File: name.ext" + Blanks(32) + ", Line:    7) text\n"},
    {"NoSeparator", 3, "UI", "plain.cpp", 0, "text",
     kStamp + " WARNING from \"UI\" (File: plain.cpp" + Blanks(31) + ", Line:    0) text\n"},
    {"TrailingSeparator", 4, "UI", "dir/", 12, "text",
     kStamp + " ERROR from \"UI\" (File: " + Blanks(40) + ", Line:   12) text\n"},
    {"ExactlyForty", 4, "UI", "/x/ffffffffffffffffffffffffffffffffffffffff", 5, "text",
     kStamp + " ERROR from \"UI\" (File: " + std::string(40, 'f') + ", Line:    5) text\n"},
    {"LongerThanFortyNeverCut", 2, "UI", "src/a_source_file_name_that_is_longer_than_forty_characters.cpp", -3, "text",
     kStamp + " INFO from \"UI\" (File: a_source_file_name_that_is_longer_than_forty_characters.cpp, Line:   -3) text\n"},
    {"LevelZeroHasNoName", 0, "Session", nullptr, 0, "text", kStamp + "  from \"Session\" text\n"},
    {"LevelFiveHasNoNameAndWideLineIsWhole", 5, "S", "a.cpp", 123456, "text",
     kStamp + "  from \"S\" (File: a.cpp" + Blanks(35) + ", Line: 123456) text\n"},
    {"OriginWithPercentAndQuotes", 2, "50% \"odd\"", nullptr, 0, "text", kStamp + " INFO from \"50% \"odd\"\" text\n"},
    {"NullOriginIsEmpty", 2, nullptr, nullptr, 0, "text", kStamp + " INFO from \"\" text\n"},
    {"EndingLineFeedKept", 2, "T", nullptr, 0, "abc\n", kStamp + " INFO from \"T\" abc\n"},
    {"LineFeedInTheMiddleAndCarriageReturnAreEscaped", 2, "T", nullptr, 0, "a\nb\r", kStamp + " INFO from \"T\" a\\nb\\r\n"},
    {"EmptyStaysEmpty", 2, "T", nullptr, 0, "", kStamp + " INFO from \"T\" "},
    {"NullFormatWritesOnlyThePrefix", 2, "T", nullptr, 0, nullptr, kStamp + " INFO from \"T\" "},
};

TEST_F(Logger, MessagesAreExact) {
    for (const MessageCase& c : kMessageCases) {
        SCOPED_TRACE(c.name);
        TraceCapture capture;
        m_log.Message(static_cast<Level>(c.level), c.origin, c.file, c.line, c.format);
        EXPECT_EQ(c.expected, capture.Text());
    }
}

TEST_F(Logger, TimeStampRoundsToMillisecondsUpToAFourDigitThousand) {
    for (const auto& [microseconds, stamp] : {std::pair<long, const char*>{0, "2021/03/03 09:05:07.000"},
                                              {1499, "2021/03/03 09:05:07.001"},
                                              {999499, "2021/03/03 09:05:07.999"},
                                              {999600, "2021/03/03 09:05:07.1000"}}) {
        FixTraceClock(microseconds);
        EXPECT_EQ(m_log.GetHeader(), stamp);
    }
}

TEST_F(Logger, FormattingGrowsToTheWholeTextUpToOneMebibyte) {
    const std::string part(120, 'x');
    TraceCapture capture;
    m_log.Message(ENUM_LOG_LEVEL_TW::LOG_TRACE, "T", nullptr, 0, "%s|%05d|%s", part.c_str(), 42, part.c_str());
    EXPECT_EQ(kStamp + " TRACE from \"T\" " + part + "|00042|" + part + "\n", capture.Text());
    for (size_t length : {99u, 100u, 101u, 250u, 5000u}) {
        const std::string exact(length, 'y');
        EXPECT_EQ(exact, FormatThrough(m_log, "%s", exact.c_str())) << length;
    }
    const std::string huge(3 << 20, 'z');
    EXPECT_EQ(std::string((1 << 20) - 1, 'z'), FormatThrough(m_log, "%s", huge.c_str()));

    // A wide character that the C locale cannot encode makes the GNU formatter fail on every
    // attempt, and the text ends where it failed; the Windows one leaves the character out.
    const std::string previous = setlocale(LC_CTYPE, nullptr);
    setlocale(LC_CTYPE, "C");
    EXPECT_EQ(kWindowsCLibrary ? "beforeafter" : "before", FormatThrough(m_log, "before%lsafter", L"\u20ac"));
    setlocale(LC_CTYPE, previous.c_str());
}

TEST_F(Logger, NothingIsWrittenWithoutTraceFile) {
    TraceCapture capture;
    FILE* const file = g_pLogFile;
    g_pLogFile = nullptr;
    m_log.Message(ENUM_LOG_LEVEL_TW::LOG_ERROR, "T", "a.cpp", 1, "lost %d", 1);
    m_log.OutputDebugString("lost too");
    g_pLogFile = file;
    EXPECT_EQ("", capture.Text());
    m_log.OutputDebugString("kept");
    EXPECT_EQ("kept", capture.Text());
}

}  // namespace
