// The result section: which calls are shown, the return-code and data-pointer lines, the status
// line, and the TWAIN state inferred from the traffic, row by row.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace {

struct Call {
    TW_UINT32 dg;
    TW_UINT16 dat, msg;
    void* data;
    TW_UINT16 rc;
};

std::string Result(CParaAnalyze& analyzer, const Call& call) {
    CTraceText text;
    analyzer.ParaAnalyze(nullptr, nullptr, call.dg, call.dat, call.msg, static_cast<char*>(call.data), call.rc, &text);
    return std::string(text.Data(), text.Length());
}

class ResultTest : public ::testing::Test {
protected:
    ResultTest() {
        analyzer.m_nTwainStatus = 5;
        event = arena.New<TW_EVENT>();
        event->pEvent = reinterpret_cast<TW_MEMREF>(0x1234);
    }
    FixedArena arena;
    CParaAnalyze analyzer;
    TW_EVENT* event;
};

TEST_F(ResultTest, EventsOtherThanTransferReadyAndCloseRequestAreNotShown) {
    const struct {
        TW_UINT16 rc, message;
        bool nullEvent;
    } hidden[] = {{TWRC_NOTDSEVENT, MSG_XFERREADY, false}, {TWRC_SUCCESS, MSG_XFERREADY, false},
                  {TWRC_DSEVENT, MSG_NULL, false},         {TWRC_DSEVENT, MSG_DEVICEEVENT, false},
                  {TWRC_DSEVENT, MSG_XFERREADY, true},      {TWRC_FAILURE, MSG_CLOSEDSREQ, false}};
    for (const auto& h : hidden) {
        event->TWMessage = h.message;
        EXPECT_EQ(Result(analyzer, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, h.nullEvent ? nullptr : event, h.rc}), "")
            << h.rc << "/" << h.message;
        EXPECT_EQ(analyzer.GetTwainStatus(), 5);
    }
    EXPECT_EQ(Result(analyzer, {DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr, TWRC_SUCCESS}), "");
}

TEST_F(ResultTest, TransferReadyEventIsShownAndMovesToState6) {
    event->TWMessage = MSG_XFERREADY;
    EXPECT_EQ(Result(analyzer, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, event, TWRC_DSEVENT}),
              Crlf({"        Return Code = [TWRC_DSEVENT]", "pData   = <0x10000000>", "  TW_EVENT = {",
                    "    pEvent    = <0x00001234>", "    TWMessage = [MSG_XFERREADY]", "  }", "",
                    "TWAIN Status = [6]"}));
}

TEST_F(ResultTest, ReturnCodesAreNamedOrFallBack) {
    const struct {
        TW_UINT16 rc;
        const char* name;
    } codes[] = {{TWRC_SUCCESS, "TWRC_SUCCESS"},   {TWRC_CHECKSTATUS, "TWRC_CHECKSTATUS"},
                 {TWRC_DATANOTAVAILABLE, "TWRC_DATANOTAVAILABLE"},
                 {10, "ERROR!(10)"},                {12, "ERROR!(12)"},
                 {0x8000, "TWRC_CUSTOMBASE"},       {0xFFFF, "ERROR!(65535)"}};
    for (const auto& c : codes) {
        EXPECT_EQ(Result(analyzer, {DG_CONTROL, DAT_DEVICEEVENT, MSG_GET, nullptr, c.rc}),
                  Crlf({std::string("        Return Code = [") + c.name + "]", "pData   = <0x00000000>", "",
                        "TWAIN Status = [5]"}));
    }
}

TEST_F(ResultTest, FailureShowsTheStructureButNoStatusLine) {
    TW_PENDINGXFERS* pending = arena.New<TW_PENDINGXFERS>();
    analyzer.m_nTwainStatus = 7;
    EXPECT_EQ(Result(analyzer, {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, pending, TWRC_FAILURE}),
              Crlf({"        Return Code = [TWRC_FAILURE]", "pData   = <0x10000010>", "  TW_PENDINGXFERS = {",
                    "    Count = [0]", "    EOJ   = [0]", "  }"}));
    EXPECT_EQ(analyzer.GetTwainStatus(), 7);
}

TEST_F(ResultTest, DataPointerPrintsItsLow32Bits) {
    EXPECT_EQ(Result(analyzer, {DG_CONTROL, DAT_DEVICEEVENT, MSG_GET, reinterpret_cast<void*>(0x7f12deadbeefULL), 0}),
              Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0xdeadbeef>", "", "TWAIN Status = [5]"}));
}

TEST_F(ResultTest, ParentRendersTheOriginOnlyWhenTheManagerOpens) {
    TW_IDENTITY* origin = arena.New<TW_IDENTITY>();
    strcpy(origin->ProductName, "Host");
    CTraceText text;
    analyzer.m_nTwainStatus = 2;
    analyzer.ParaAnalyze(origin, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr, TWRC_SUCCESS, &text);
    const std::string opened(text.Data(), text.Length());
    EXPECT_NE(opened.find("  pOrigin:TW_IDENTITY = {\r\n"), std::string::npos);
    EXPECT_NE(opened.find("    ProductName     = [Host]\r\n"), std::string::npos);
    EXPECT_NE(opened.find("\r\n\r\nTWAIN Status = [3]\r\n"), std::string::npos);

    text.Clear();
    analyzer.ParaAnalyze(origin, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr, TWRC_SUCCESS, &text);
    EXPECT_EQ(std::string(text.Data(), text.Length()),
              Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x00000000>", "", "TWAIN Status = [2]"}));
}

// One transition per row: state before, call, state after (and whether a status line shows).
TEST(StateTracker, TransitionTable) {
    FixedArena arena;
    TW_EVENT* xferReady = arena.New<TW_EVENT>();
    xferReady->TWMessage = MSG_XFERREADY;
    TW_EVENT* closeRequest = arena.New<TW_EVENT>();
    closeRequest->TWMessage = MSG_CLOSEDSREQ;
    TW_PENDINGXFERS* two = arena.New<TW_PENDINGXFERS>();
    two->Count = 2;
    TW_PENDINGXFERS* none = arena.New<TW_PENDINGXFERS>();
    TW_PENDINGXFERS* unknown = arena.New<TW_PENDINGXFERS>();
    unknown->Count = 0xFFFF;

    const struct {
        int from;
        Call call;
        int to;
    } rows[] = {
        {2, {DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr, TWRC_SUCCESS}, 3},
        {3, {DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr, TWRC_SUCCESS}, 2},
        {3, {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr, TWRC_SUCCESS}, 4},
        {3, {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr, TWRC_FAILURE}, 3},
        {3, {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr, TWRC_CHECKSTATUS}, 4},
        {3, {DG_CONTROL, DAT_STATUS, MSG_OPENDS, nullptr, TWRC_SUCCESS}, 4},
        {4, {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr, TWRC_SUCCESS}, 4},
        {4, {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr, TWRC_SUCCESS}, 3},
        {4, {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, nullptr, TWRC_SUCCESS}, 5},
        {4, {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, nullptr, TWRC_SUCCESS}, 4},
        {5, {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr, TWRC_SUCCESS}, 4},
        {5, {DG_CONTROL, DAT_STATUS, MSG_DISABLEDS, nullptr, TWRC_SUCCESS}, 5},
        {6, {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr, TWRC_SUCCESS}, 6},
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, xferReady, TWRC_DSEVENT}, 6},
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, closeRequest, TWRC_DSEVENT}, 4},
        {6, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, closeRequest, TWRC_DSEVENT}, 6},
        {6, {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_PROCESSEVENT, xferReady, TWRC_DSEVENT}, 7},
        {6, {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, nullptr, TWRC_SUCCESS}, 7},
        {6, {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, nullptr, TWRC_XFERDONE}, 7},
        {6, {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr, TWRC_XFERDONE}, 7},
        {6, {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, nullptr, TWRC_SUCCESS}, 6},
        {6, {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, nullptr, TWRC_FAILURE}, 6},
        {7, {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, two, TWRC_SUCCESS}, 6},
        {7, {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, none, TWRC_SUCCESS}, 5},
        {6, {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, none, TWRC_SUCCESS}, 5},
        {7, {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, unknown, TWRC_SUCCESS}, 6},
        {5, {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, none, TWRC_SUCCESS}, 5},
        {7, {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, nullptr, TWRC_SUCCESS}, 7},
        {7, {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, none, TWRC_SUCCESS}, 7},
        {6, {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, none, TWRC_SUCCESS}, 5},
        {6, {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, nullptr, TWRC_SUCCESS}, 6},
        {5, {DG_CONTROL, DAT_USERINTERFACE, 0x8001, nullptr, TWRC_SUCCESS}, 5},
        {0, {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr, TWRC_SUCCESS}, 0},
    };
    for (const auto& row : rows) {
        CParaAnalyze analyzer;
        analyzer.m_nTwainStatus = row.from;
        const std::string text = Result(analyzer, row.call);
        EXPECT_EQ(analyzer.GetTwainStatus(), row.to)
            << "from " << row.from << " dat " << row.call.dat << " msg " << row.call.msg << " rc " << row.call.rc;
        const std::string status = "\r\n\r\nTWAIN Status = [" + std::to_string(row.to) + "]\r\n";
        const bool shown = text.size() >= status.size() && text.compare(text.size() - status.size(), status.size(), status) == 0;
        EXPECT_EQ(shown, row.call.rc != TWRC_FAILURE) << "status line, msg " << row.call.msg;
    }
}

TEST(StateTracker, AccessorsAndStatusString) {
    CParaAnalyze analyzer;
    EXPECT_EQ(analyzer.GetTwainStatus(), 0);
    analyzer.InitTwainStatus();
    EXPECT_EQ(analyzer.GetTwainStatus(), 1);
    EXPECT_EQ(analyzer.SetTwainStatus(6), 6);
    char line[64];
    EXPECT_EQ(analyzer.MakeTwainStatusString(line), 22);
    EXPECT_STREQ(line, "\r\nTWAIN Status = [6]\r\n");
}

}  // namespace
