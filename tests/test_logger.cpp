// The leveled message logger: its two prefixes, level names and line-feed rules byte for byte
// under a fixed clock, the bounds of its formatting, and a message sharing the trace file with a
// traced triplet.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "support/TestSupport.h"

namespace {

using Level = ENUM_LOG_LEVEL_TW::enumLogLevel_tw;

TraceClock FixedClock() {
    TraceClock clock = {};
    clock.local.tm_year = 2021 - 1900;
    clock.local.tm_mon = 2;
    clock.local.tm_mday = 3;
    clock.local.tm_hour = 9;
    clock.local.tm_min = 5;
    clock.local.tm_sec = 7;
    clock.microseconds = 42000;
    return clock;
}

const std::string kStamp = "[2021/03/03 09:05:07.042]";
long g_microseconds = 0;

std::string Blanks(size_t n) { return std::string(n, ' '); }

class Logger : public ::testing::Test {
protected:
    void SetUp() override { SetTraceClock(FixedClock); }
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

// ---- prefix ------------------------------------------------------------------------------------

struct PrefixCase {
    const char* name;
    int level;
    const char* origin;
    const char* file;
    int line;
    std::string expected;
};

const PrefixCase kPrefixCases[] = {
    {"SlashThenBackslash", 2, "Scanner", "dir/sub\\name.ext", 7,
     kStamp + " INFO from \"Scanner\" (File: name.ext" + Blanks(32) + ", Line:    7) text\n"},
    {"NoSeparator", 3, "UI", "plain.cpp", 0,
     kStamp + " WARNING from \"UI\" (File: plain.cpp" + Blanks(31) + ", Line:    0) text\n"},
    {"TrailingSeparator", 4, "UI", "dir/", 12, kStamp + " ERROR from \"UI\" (File: " + Blanks(40) + ", Line:   12) text\n"},
    {"ExactlyForty", 4, "UI", "/x/ffffffffffffffffffffffffffffffffffffffff", 5,
     kStamp + " ERROR from \"UI\" (File: " + std::string(40, 'f') + ", Line:    5) text\n"},
    {"LongerThanFortyNeverCut", 2, "UI", "src/a_source_file_name_that_is_longer_than_forty_characters.cpp", -3,
     kStamp + " INFO from \"UI\" (File: a_source_file_name_that_is_longer_than_forty_characters.cpp, Line:   -3) text\n"},
    {"NoFile", 3, "Session", nullptr, 99, kStamp + " WARNING from \"Session\" text\n"},
    {"LevelZeroHasNoName", 0, "Session", nullptr, 0, kStamp + "  from \"Session\" text\n"},
    {"OriginWithPercentAndQuotes", 2, "50% \"odd\"", nullptr, 0, kStamp + " INFO from \"50% \"odd\"\" text\n"},
    {"NullOriginIsEmpty", 2, nullptr, nullptr, 0, kStamp + " INFO from \"\" text\n"},
};

TEST_F(Logger, PrefixesAreExact) {
    for (const PrefixCase& c : kPrefixCases) {
        SCOPED_TRACE(c.name);
        TraceCapture capture;
        m_log.Message(static_cast<Level>(c.level), c.origin, c.file, c.line, "%s", "text");
        EXPECT_EQ(c.expected, capture.Text());
    }
}

TEST_F(Logger, TimeStampRoundsToMillisecondsUpToAFourDigitThousand) {
    const struct {
        long microseconds;
        const char* stamp;
    } cases[] = {{0, "2021/03/03 09:05:07.000"},
                 {1499, "2021/03/03 09:05:07.001"},
                 {999499, "2021/03/03 09:05:07.999"},
                 {999600, "2021/03/03 09:05:07.1000"}};
    SetTraceClock([] {
        TraceClock clock = FixedClock();
        clock.microseconds = g_microseconds;
        return clock;
    });
    for (const auto& c : cases) {
        g_microseconds = c.microseconds;
        EXPECT_EQ(m_log.GetHeader(), c.stamp);
    }
}

// ---- text and line feeds ------------------------------------------------------------------------

struct TextCase {
    const char* name;
    const char* format;
    std::string written;  // what follows the prefix
};

const TextCase kTextCases[] = {
    {"NoLineFeedGetsOne", "abc", "abc\n"},
    {"EndingLineFeedKept", "abc\n", "abc\n"},
    {"LineFeedInTheMiddleGetsOneMore", "a\nb", "a\nb\n"},
    {"CarriageReturnIsNotALineFeed", "abc\r", "abc\r\n"},
    {"EmptyStaysEmpty", "", ""},
    {"NullFormatWritesOnlyThePrefix", nullptr, ""},
};

TEST_F(Logger, LineFeedRules) {
    for (const TextCase& c : kTextCases) {
        SCOPED_TRACE(c.name);
        TraceCapture capture;
        m_log.Message(ENUM_LOG_LEVEL_TW::LOG_INFO, "T", nullptr, 0, c.format);
        EXPECT_EQ(kStamp + " INFO from \"T\" " + c.written, capture.Text());
    }
}

TEST_F(Logger, LongMessageIsFormattedWhole) {
    const std::string part(120, 'x');
    TraceCapture capture;
    m_log.Message(ENUM_LOG_LEVEL_TW::LOG_TRACE, "T", nullptr, 0, "%s|%05d|%s", part.c_str(), 42, part.c_str());
    const std::string text = part + "|00042|" + part;
    ASSERT_EQ(247u, text.size());
    EXPECT_EQ(kStamp + " TRACE from \"T\" " + text + "\n", capture.Text());

    for (size_t length : {99u, 100u, 101u, 250u, 5000u}) {
        const std::string exact(length, 'y');
        EXPECT_EQ(exact, FormatThrough(m_log, "%s", exact.c_str())) << length;
    }
}

TEST_F(Logger, FormattingIsBoundedAtOneMebibyte) {
    const std::string huge(3 << 20, 'z');
    EXPECT_EQ(std::string((1 << 20) - 1, 'z'), FormatThrough(m_log, "%s", huge.c_str()));
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

// ---- sharing the trace file with the triplet trace ----------------------------------------------

class FrameSource : public CTripletOperator {
public:
    TW_UINT16 OperateTriplet(TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF pData) override {
        auto* frame = static_cast<TWKV_SETTINGFRAME*>(pData);
        frame->NumFrame = 3;
        frame->CurrentNum = 2;
        return TWRC_SUCCESS;
    }
    int Release() override { return 0; }
};

// Puts the source in place for one test and takes it away again, also when the test fails.
class OperatorInPlace {
public:
    explicit OperatorInPlace(CTripletOperator* op) : m_state(g_cParaAnalyze.GetTwainStatus()) {
        g_pcTripletOperator = op;
    }
    ~OperatorInPlace() {
        g_pcTripletOperator = nullptr;
        g_cParaAnalyze.SetTwainStatus(m_state);
    }

private:
    int m_state;
};

TEST_F(Logger, MessagesAndTripletsShareTheTraceFileInOrder) {
    FixedArena arena;
    auto* frame = arena.New<TWKV_SETTINGFRAME>();
    FrameSource source;
    OperatorInPlace inPlace(&source);
    g_cParaAnalyze.SetTwainStatus(4);
    TraceCapture capture;

    m_log.Message(ENUM_LOG_LEVEL_TW::LOG_INFO, "Session", "src/Session.cpp", 10, "asking for frame %d", 1);
    EXPECT_EQ(TWRC_SUCCESS, DS_Entry(nullptr, DG_CONTROL, DAT_KV_SETTINGFRAME, MSG_GET, frame));
    m_log.Message(ENUM_LOG_LEVEL_TW::LOG_WARNING, "Session", nullptr, 0, "got %d frames", frame->NumFrame);

    char request[128];
    snprintf(request, sizeof(request), "[%05ld] [%s] DG_CONTROL/DAT_KV_SETTINGFRAME/MSG_GET",
             static_cast<long>(g_cParaAnalyze.GetSequenceNo()), g_cParaAnalyze.m_szCaller);
    const std::string expected =
        kStamp + " INFO from \"Session\" (File: Session.cpp" + Blanks(29) + ", Line:   10) asking for frame 1\n" +
        Crlf({request, "        Return Code = [TWRC_SUCCESS]", "pData   = <0x10000000>", "  TWKV_SETTINGFRAME = {",
              "    NumFrame    = [3]", "    CurrentNum  = [2]", "  }", "", "TWAIN Status = [4]"}) +
        kStamp + " WARNING from \"Session\" got 3 frames\n";
    EXPECT_EQ(expected, capture.Text());
}

}  // namespace
