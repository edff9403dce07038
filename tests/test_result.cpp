// The result section: which calls are shown, and the TWAIN state inferred from the traffic.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace {

struct Row {
    int from;
    TW_UINT32 dg;
    TW_UINT16 dat, msg;
    void* data;
    TW_UINT16 rc;
    int to;
    bool shown = true;  // it has a result section, ended by a status line unless it failed
};

// One call per row: state before, call, state after, and whether it is shown. The moves of a whole
// session, and the texts of its result sections, are the session trace's, against its golden copy.
TEST(ResultSection, ShowsEachCallAndTracksTheState) {
    TW_EVENT xferReady = {nullptr, MSG_XFERREADY}, closeRequest = {nullptr, MSG_CLOSEDSREQ};
    TW_EVENT deviceEvent = {nullptr, MSG_DEVICEEVENT};
    TW_PENDINGXFERS none = {0, 0}, unknown = {0xFFFF, 0};
    const Row rows[] = {
        {5, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &xferReady, TWRC_NOTDSEVENT, 5, false},
        {5, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &deviceEvent, TWRC_DSEVENT, 5, false},
        {5, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, nullptr, TWRC_DSEVENT, 5, false},
        {5, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr, TWRC_SUCCESS, 5, false},
        {7, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &none, TWRC_FAILURE, 7},
        {3, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr, TWRC_SUCCESS, 2},
        {2, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr, TWRC_SUCCESS, 3},
        {3, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr, TWRC_CHECKSTATUS, 4},
        {3, DG_CONTROL, DAT_STATUS, MSG_OPENDS, nullptr, TWRC_SUCCESS, 4},
        {4, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, nullptr, TWRC_SUCCESS, 4},
        {5, DG_CONTROL, DAT_STATUS, MSG_DISABLEDS, nullptr, TWRC_SUCCESS, 5},
        {5, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &closeRequest, TWRC_DSEVENT, 4},
        {6, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr, TWRC_XFERDONE, 7},
        {7, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &unknown, TWRC_SUCCESS, 6},
        {5, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &none, TWRC_SUCCESS, 5},
        {7, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, nullptr, TWRC_SUCCESS, 7},
        {7, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &none, TWRC_SUCCESS, 7},
        {6, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &none, TWRC_SUCCESS, 5},
        {6, DG_CONTROL, DAT_CAPABILITY, MSG_RESET, nullptr, TWRC_SUCCESS, 6},
        {0, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr, TWRC_SUCCESS, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "from " << row.from << " dat " << row.dat << " msg " << row.msg << " rc " << row.rc);
        CParaAnalyze analyzer;
        analyzer.SetTwainStatus(row.from);
        CTraceText out;
        analyzer.ParaAnalyze(nullptr, nullptr, row.dg, row.dat, row.msg, static_cast<char*>(row.data), row.rc, &out);
        const std::string text(out.Data(), out.Length());
        EXPECT_EQ(analyzer.GetTwainStatus(), row.to);
        const std::string status = "\r\n\r\nTWAIN Status = [" + std::to_string(row.to) + "]\r\n";
        const bool statusLine = text.size() >= status.size() && text.compare(text.size() - status.size(), status.size(), status) == 0;
        EXPECT_EQ(text.empty(), !row.shown);
        EXPECT_EQ(statusLine, row.shown && row.rc != TWRC_FAILURE) << "status line";
    }
}

}  // namespace
