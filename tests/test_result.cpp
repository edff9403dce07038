// The result section: which calls are shown, its lines byte for byte, and the TWAIN state inferred from the traffic.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/TestSupport.h"

namespace {

struct Call {
    TW_UINT32 dg;
    TW_UINT16 dat, msg;
    void* data;
    TW_UINT16 rc;
};

struct Row {
    int from;
    Call call;
    int to;
    std::optional<std::string> text = std::nullopt;  // when absent, only whether a status line ends the text is checked
};

// The text of the call's result section; the analyzer starts in `from` and is left where the call takes it.
std::string Result(CParaAnalyze& analyzer, const Row& row) {
    analyzer.SetTwainStatus(row.from);
    CTraceText text;
    const Call& c = row.call;
    analyzer.ParaAnalyze(nullptr, nullptr, c.dg, c.dat, c.msg, static_cast<char*>(c.data), c.rc, &text);
    return std::string(text.Data(), text.Length());
}

std::string Bare(const std::string& rc, const std::string& data, int state) {
    return Crlf({"        Return Code = [" + rc + "]", "pData   = <" + data + ">", "", "TWAIN Status = [" + std::to_string(state) + "]"});
}

// One call per row: state before, call, state after, and the text when it matters to the byte;
// every other row shows a status line unless the call failed.
TEST(ResultSection, ShowsEachCallAndTracksTheState) {
    FixedArena arena;
    TW_EVENT* xferReady = arena.New<TW_EVENT>();
    TW_PENDINGXFERS* none = arena.New<TW_PENDINGXFERS>();
    TW_EVENT* closeRequest = arena.New<TW_EVENT>();
    TW_EVENT* nullEvent = arena.New<TW_EVENT>();
    TW_EVENT* deviceEvent = arena.New<TW_EVENT>();
    TW_PENDINGXFERS* two = arena.New<TW_PENDINGXFERS>();
    TW_PENDINGXFERS* unknown = arena.New<TW_PENDINGXFERS>();
    xferReady->pEvent = reinterpret_cast<TW_MEMREF>(0x1234);
    xferReady->TWMessage = MSG_XFERREADY;
    closeRequest->TWMessage = MSG_CLOSEDSREQ;
    deviceEvent->TWMessage = MSG_DEVICEEVENT;
    two->Count = 2;
    unknown->Count = 0xFFFF;
    void* const far = reinterpret_cast<void*>(0x7f12deadbeefULL);
    const Row rows[] = {
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, xferReady, TWRC_NOTDSEVENT}, 5, ""},
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, xferReady, TWRC_SUCCESS}, 5, ""},
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, nullEvent, TWRC_DSEVENT}, 5, ""},
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, deviceEvent, TWRC_DSEVENT}, 5, ""},
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, nullptr, TWRC_DSEVENT}, 5, ""},
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, closeRequest, TWRC_FAILURE}, 5, ""},
        {5, {DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr, TWRC_SUCCESS}, 5, ""},
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, xferReady, TWRC_DSEVENT}, 6,
         Crlf({"        Return Code = [TWRC_DSEVENT]", "pData   = <0x10000000>", "  TW_EVENT = {",
               "    pEvent    = <0x00001234>", "    TWMessage = [MSG_XFERREADY]", "  }", "", "TWAIN Status = [6]"})},
        {7, {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, none, TWRC_FAILURE}, 7,
         Crlf({"        Return Code = [TWRC_FAILURE]", "pData   = <0x10000010>", "  TW_PENDINGXFERS = {",
               "    Count = [0]", "    EOJ   = [0]", "  }"})},
        {5, {DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, far, TWRC_SUCCESS}, 5, Bare("TWRC_SUCCESS", "0xdeadbeef", 5)},
        {5, {DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, nullptr, TWRC_CHECKSTATUS}, 5, Bare("TWRC_CHECKSTATUS", "0x00000000", 5)},
        {5, {DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, nullptr, 12}, 5, Bare("ERROR!(12)", "0x00000000", 5)},
        {5, {DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, nullptr, 0x8000}, 5, Bare("TWRC_CUSTOMBASE", "0x00000000", 5)},
        {3, {DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr, TWRC_SUCCESS}, 2, Bare("TWRC_SUCCESS", "0x00000000", 2)},
        {2, {DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr, TWRC_SUCCESS}, 3},
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
        {5, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, closeRequest, TWRC_DSEVENT}, 4},
        {6, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, closeRequest, TWRC_DSEVENT}, 6},
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
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "from " << row.from << " dat " << row.call.dat << " msg " << row.call.msg
                                        << " rc " << row.call.rc);
        CParaAnalyze analyzer;
        const std::string text = Result(analyzer, row);
        EXPECT_EQ(analyzer.GetTwainStatus(), row.to);
        if (row.text) {
            EXPECT_EQ(text, *row.text);
            continue;
        }
        const std::string status = "\r\n\r\nTWAIN Status = [" + std::to_string(row.to) + "]\r\n";
        const bool shown = text.size() >= status.size() && text.compare(text.size() - status.size(), status.size(), status) == 0;
        EXPECT_EQ(shown, row.call.rc != TWRC_FAILURE) << "status line";
    }
}

}  // namespace
