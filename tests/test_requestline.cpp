// The request line: numbering and the calls left unannounced, the caller tag, and the naming of the
// triplet; the banner.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/TestSupport.h"

namespace {

std::string RequestLine(CParaAnalyze& analyzer, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data = nullptr) {
    CTraceText text;
    analyzer.TripletAnalyze(nullptr, nullptr, dg, dat, msg, static_cast<char*>(data), &text);
    return std::string(text.Data(), text.Length());
}

// Where the standard and the vendor identifiers part (0x8000 is standard, 0x8001 on vendor), and
// fallbacks of every part of one line at once, each in a text of its own: the names themselves
// are the lookups', checked against a scan of every table.
TEST(RequestLine, NamesTheTriplet) {
    TW_CAPABILITY cap = {};
    const struct {
        TW_UINT32 dg;
        TW_UINT16 dat, msg, capability;
        const char* triplet;
    } cases[] = {
        {DG_CONTROL, 0x8000, 0x8000, 0, "DG_CONTROL/DAT_CUSTOMBASE/MSG_CUSTOMBASE"},
        {DG_CONTROL, 0x8001, 0x8001, 0, "DG_CONTROL/DAT_KV_AUTOEXPOSURE/MSG_KV_TIMERRESET"},
        {0x80000001u, 0x0200, 0x0B02, 0, "ERROR!(-2147483647)/ERROR!(512)/ERROR!(2818)"},
        {8, 0x8018, 0x8003, 0, "ERROR!(8)/ERROR!(32792)/ERROR!(32771)"},
        {DG_CONTROL, DAT_CAPABILITY, MSG_SET, ICAP_COMPRESSION, "DG_CONTROL/DAT_CAPABILITY/MSG_SET (ICAP_COMPRESSION)"},
        {8, DAT_CAPABILITY, 0x0B02, 0x1025, "ERROR!(8)/DAT_CAPABILITY/ERROR!(2818) (ERROR!(4133))"},
    };
    for (const auto& c : cases) {
        CParaAnalyze analyzer;
        cap.Cap = c.capability;
        EXPECT_EQ(RequestLine(analyzer, c.dg, c.dat, c.msg, &cap), std::string("[00001] [APP] ") + c.triplet + "\r\n");
    }
    CParaAnalyze analyzer;
    EXPECT_EQ(RequestLine(analyzer, DG_CONTROL, DAT_CAPABILITY, MSG_GET),
              "[00001] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_GET ()\r\n");
}

TEST(RequestLine, OnlyAnnouncedCallsCountAndTheTagStaysWithinItsField) {
    CParaAnalyze analyzer;
    const std::string status = "] DG_CONTROL/DAT_STATUS/MSG_GET\r\n";
    EXPECT_EQ(RequestLine(analyzer, DG_CONTROL, DAT_STATUS, MSG_GET), "[00001] [APP" + status);
    EXPECT_EQ(RequestLine(analyzer, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT), "");
    EXPECT_EQ(RequestLine(analyzer, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_PROCESSEVENT), "");
    EXPECT_EQ(RequestLine(analyzer, DG_CONTROL, DAT_NULL, MSG_XFERREADY), "");
    EXPECT_EQ(RequestLine(analyzer, DG_CONTROL, DAT_NULL, MSG_CLOSEDSREQ), "[00002] [APP] DG_CONTROL/DAT_NULL/MSG_CLOSEDSREQ\r\n");

    analyzer.Init(nullptr);
    analyzer.SetSequenceNo(99998);
    EXPECT_EQ(RequestLine(analyzer, DG_CONTROL, DAT_STATUS, MSG_GET), "[99999] [APP" + status);
    EXPECT_EQ(RequestLine(analyzer, DG_CONTROL, DAT_STATUS, MSG_GET), "[100000] [APP" + status);
    analyzer.Init(std::string(40, 'T').c_str());
    EXPECT_EQ(std::string(analyzer.CallerTag()), std::string(31, 'T'));
    analyzer.Init("B");  // a short tag after a long one leaves nothing of the old one
    EXPECT_EQ(RequestLine(analyzer, DG_CONTROL, DAT_STATUS, MSG_GET), "[100001] [B" + status);
}

// The banner goes after the text the buffer holds, and never past the buffer's size.
TEST(Banner, AppendsFourLinesWithinTheBuffer) {
    const size_t size = CParaAnalyze::kHeaderBufferSize;
    const std::string rule(48, '/');
    const std::string head = rule + "\r\n           TWAIN Tracewell Ver1.10\r\n" + rule + "\r\n  << Current time = ";
    for (const size_t held : {size_t(0), size_t(5), size - 20, size - 1}) {
        std::string buffer(size + 16, '#');
        memset(&buffer[0], 'x', held);
        buffer[held] = '\0';
        CParaAnalyze analyzer;
        EXPECT_TRUE(analyzer.HeaderMake(&buffer[0]));
        EXPECT_EQ(buffer.substr(size), std::string(16, '#')) << held;
        const std::string text(buffer.c_str());
        ASSERT_EQ(text.substr(0, held), std::string(held, 'x'));
        if (held + 200 > size) {
            EXPECT_EQ(text.size(), size - 1) << held;
            continue;
        }
        EXPECT_EQ(text.substr(held, head.size()), head);
        EXPECT_EQ(text.size(), held + head.size() + 24 + 5) << text;  // the asctime text, " >>" and "\r\n"
        EXPECT_EQ(text.substr(text.size() - 5), " >>\r\n");
    }
}

}  // namespace
