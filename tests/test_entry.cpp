// DS_Entry end to end: forwarding, the trace it writes per call, the failure markers, the cut of
// long result sections, and the cost-free path when no trace file is open.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "support/TestSupport.h"

namespace {

class EntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_cParaAnalyze = CParaAnalyze();
        g_cParaAnalyze.m_nTwainStatus = 3;
    }
    FixedArena arena;
};

TEST_F(EntryTest, EveryReturnCodeComesBackUnchangedWithAndWithoutTracing) {
    ScriptedOperator op;
    const TW_UINT16 codes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 0x7FFF, 0x8000, 0x8001, 0xFFFF};
    for (const bool tracing : {false, true}) {
        std::unique_ptr<TraceCapture> capture(tracing ? new TraceCapture : nullptr);
        for (const TW_UINT16 rc : codes) {
            op.returnCode = rc;
            EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_DEVICEEVENT, MSG_GET, nullptr), rc)
                << "rc " << rc << (tracing ? " traced" : " untraced");
        }
    }
}

TEST_F(EntryTest, ArgumentsReachTheOperatorUnchanged) {
    ScriptedOperator op;
    TraceCapture capture;
    TW_IDENTITY* origin = arena.New<TW_IDENTITY>();
    void* data = arena.Alloc(64);
    const struct {
        TW_UINT32 dg;
        TW_UINT16 dat, msg;
    } triplets[] = {{DG_CONTROL, DAT_CAPABILITY, MSG_GET},
                    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},
                    {0xFFFFFFFFu, 0xFFFF, 0xFFFF},
                    {8, DAT_KV_USMINFO, MSG_KV_XFERREQUEST}};
    for (const auto& t : triplets) {
        DS_Entry(origin, t.dg, t.dat, t.msg, data);
        EXPECT_EQ(op.lastOrigin, origin);
        EXPECT_EQ(op.lastDG, t.dg);
        EXPECT_EQ(op.lastDAT, t.dat);
        EXPECT_EQ(op.lastMSG, t.msg);
        EXPECT_EQ(op.lastData, data);
    }
    EXPECT_EQ(op.calls, 4);
}

TEST_F(EntryTest, WithoutAnOperatorTheCallFailsLeavesTheDataAloneAndIsTraced) {
    TraceCapture capture;
    unsigned char* data = static_cast<unsigned char*>(arena.Alloc(32));
    memset(data, 0xAB, 32);
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_DEVICEEVENT, MSG_GET, data), TWRC_FAILURE);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(data[i], 0xAB);
    EXPECT_EQ(capture.Text(), Crlf({"[00001] [APP] DG_CONTROL/DAT_DEVICEEVENT/MSG_GET",
                                    "        Return Code = [TWRC_FAILURE]", "pData   = <0x10000000>",
                                    "*** Inspect Error Status Start ***", "*** Inspect Error Status End   ***"}));
}

TEST_F(EntryTest, MarkersFollowOnlyAFailure) {
    ScriptedOperator op;
    const struct {
        TW_UINT16 rc;
        bool markers;
    } cases[] = {{TWRC_SUCCESS, false}, {TWRC_FAILURE, true}, {TWRC_CHECKSTATUS, false},
                 {TWRC_CANCEL, false},  {TWRC_XFERDONE, false}, {0x8000, false}};
    for (const auto& c : cases) {
        TraceCapture capture;
        op.returnCode = c.rc;
        DS_Entry(nullptr, DG_CONTROL, DAT_DEVICEEVENT, MSG_GET, nullptr);
        const std::string text = capture.Text();
        const std::string markers = Crlf({"*** Inspect Error Status Start ***", "*** Inspect Error Status End   ***"});
        const bool endsWithMarkers =
            text.size() > markers.size() && text.compare(text.size() - markers.size(), markers.size(), markers) == 0;
        EXPECT_EQ(endsWithMarkers, c.markers) << "rc " << c.rc;
        EXPECT_EQ(text.find("*** Inspect") != std::string::npos, c.markers) << "rc " << c.rc;
    }
}

TEST_F(EntryTest, RequestLineThenResultSectionShowingTheDataAsTheOperatorLeftIt) {
    ScriptedOperator op;
    TraceCapture capture;
    g_cParaAnalyze.m_nTwainStatus = 7;
    TW_PENDINGXFERS* pending = arena.New<TW_PENDINGXFERS>();
    pending->Count = 3;
    op.fill = [](TW_MEMREF data) { static_cast<TW_PENDINGXFERS*>(data)->Count = 0; };
    DS_Entry(nullptr, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, pending);
    EXPECT_EQ(capture.Text(), Crlf({"[00001] [APP] DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER",
                                    "        Return Code = [TWRC_SUCCESS]", "pData   = <0x10000000>",
                                    "  TW_PENDINGXFERS = {", "    Count = [0]", "    EOJ   = [0]", "  }", "",
                                    "TWAIN Status = [5]"}));
}

TEST_F(EntryTest, WithoutATraceFileNothingIsWrittenAndNothingIsAnalyzed) {
    ScriptedOperator op;
    ASSERT_EQ(g_pLogFile, nullptr);
    DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr);
    EXPECT_EQ(op.calls, 1);
    EXPECT_EQ(g_cParaAnalyze.GetSequenceNo(), 0);
}

// A result section whose length is chosen to the byte: an enumeration of TWTY_STR255 items
// whose last item's text has `lastLength` characters.
class CutTest : public EntryTest {
protected:
    std::string Trace(TW_UINT32 items, size_t lastLength) {
        ScriptedOperator op;
        TraceCapture capture;
        FixedArena arena(0x20000000, 1 << 20);  // the same addresses in every call
        g_cParaAnalyze = CParaAnalyze();
        g_cParaAnalyze.m_nTwainStatus = 4;
        TW_CAPABILITY* cap = arena.New<TW_CAPABILITY>();
        cap->Cap = CAP_SUPPORTEDCAPS;
        cap->ConType = TWON_ENUMERATION;
        cap->hContainer = arena.NewHandle(sizeof(TW_ENUMERATION) + items * sizeof(TW_STR255));
        TW_ENUMERATION* list = static_cast<TW_ENUMERATION*>(FixedArena::Block(cap->hContainer));
        list->ItemType = TWTY_STR255;
        list->NumItems = items;
        for (TW_UINT32 i = 0; i < items; ++i) {
            char* item = reinterpret_cast<char*>(list->ItemList) + i * sizeof(TW_STR255);
            const size_t length = i + 1 < items ? 200 : lastLength;
            memset(item, 'a' + static_cast<char>(i), length);
            item[length] = '\0';
        }
        DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, cap);
        std::string text = capture.Text();
        return text.substr(text.find("\r\n") + 2);  // the result section only
    }
};

TEST_F(CutTest, ExactlyTheLimitIsWrittenWholeAndOneByteMoreIsCutWithTheNotice) {
    // As many 200-character items as leave room for a last item of 1 to 254 characters.
    TW_UINT32 items = 2;
    while (Trace(items + 1, 0).size() < CTraceText::kWrittenLimit) ++items;
    const std::string empty = Trace(items, 0);
    const size_t fit = CTraceText::kWrittenLimit - empty.size();
    ASSERT_GE(fit, 1u);
    ASSERT_LE(fit + 1, 254u);
    const char last = static_cast<char>('a' + items - 1);

    const std::string exact = Trace(items, fit);
    EXPECT_EQ(exact.size(), CTraceText::kWrittenLimit);
    EXPECT_EQ(exact.find("Size of CAP_xxx too long"), std::string::npos);
    const std::string status = "\r\nTWAIN Status = [4]\r\n";
    EXPECT_EQ(exact.substr(exact.size() - status.size()), status);

    const std::string over = Trace(items, fit + 1);
    const std::string notice = "Size of CAP_xxx too long";
    ASSERT_EQ(over.size(), CTraceText::kWrittenLimit + notice.size());
    EXPECT_EQ(over.substr(CTraceText::kWrittenLimit), notice);
    // The longer text is the exact one with one more character in its last item, cut at the limit.
    const size_t lastItemEnd = exact.rfind(std::string(fit, last)) + fit;
    const std::string expected = exact.substr(0, lastItemEnd) + last + exact.substr(lastItemEnd);
    EXPECT_EQ(over.substr(0, CTraceText::kWrittenLimit), expected.substr(0, CTraceText::kWrittenLimit));
}

TEST_F(CutTest, StateAndSequenceAdvanceAlsoWhenTheTextIsCut) {
    Trace(40, 254);
    EXPECT_EQ(g_cParaAnalyze.GetSequenceNo(), 1);
    EXPECT_EQ(g_cParaAnalyze.GetTwainStatus(), 4);
}

}  // namespace
