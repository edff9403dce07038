// A TWAIN 1.x source that calls the Source Manager through DSM_Entry imported from TWAIN_32.DLL
// (32-bit Windows): the session host redirects that import as the Windows Source Manager does, and
// Tracewell between them redirects the import of the source it loads in turn, tracing each call.
#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Processes.h"
#include "support/TestSupport.h"
#include "support/TraceCalls.h"

namespace {

ProgramRun RunLegacy(const std::string& module, const std::string& logDir, const std::string& transcript) {
    return RunProgram(HOST_PROGRAM, {"--twain2", "--module", module, "--log-dir", logDir, "--transcript", transcript,
                                     "--head", "0", "session"});
}

// The source's message reaches the application in both runs (the stand-in TWAIN_32.DLL refuses
// every call, and the source would refuse MSG_ENABLEDS), the transcripts are the same, and
// Tracewell traces the message as the source's, within MSG_ENABLEDS.
TEST(LegacySource, ItsCallsToTheImportedSourceManagerReachTheHostThroughTracewellAndAreTraced) {
    ScratchDir scratch;
    const ProgramRun plain = RunLegacy(LEGACY_SOURCE, scratch.File("log"), scratch.File("plain"));
    EXPECT_EQ(SummaryValue(plain.out, "Source messages:"), "1") << plain.out << plain.err;
    const std::string expected = ReadFile(scratch.File("plain"));
    ASSERT_FALSE(expected.empty());
    EXPECT_THAT(expected, ::testing::HasSubstr(" 00000001/0000/0101 rc=0 from=02")) << "MSG_XFERREADY delivered";
    EXPECT_THAT(expected, ::testing::HasSubstr(" 00000001/0009/0502 rc=0 ")) << "MSG_ENABLEDS, which sent it";

    RemoveTree(LEGACY_LOG_DIR);
    const ProgramRun traced = RunLegacy(LEGACY_MODULE, LEGACY_LOG_DIR, scratch.File("traced"));
    EXPECT_EQ(SummaryValue(traced.out, "Source messages:"), "1") << traced.out << traced.err;
    EXPECT_EQ(FirstDifference(expected, ReadFile(scratch.File("traced"))), "");
    std::string trace;
    for (const std::string& path : TraceFilesIn(LEGACY_LOG_DIR)) trace += ReadFile(path);
    RemoveTree(LEGACY_LOG_DIR);
    std::vector<std::string> requests;
    for (const std::string& line : RequestLines(trace)) requests.push_back(line.substr(8, line.find(" (") - 8));
    const auto enable = std::find(requests.begin(), requests.end(), "[APP] DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS");
    ASSERT_NE(enable, requests.end()) << trace;
    ASSERT_NE(enable + 1, requests.end());
    EXPECT_EQ(enable[1], "[DS] DG_CONTROL/DAT_NULL/MSG_XFERREADY");
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "[DS] DG_CONTROL/DAT_NULL/MSG_XFERREADY"), 1);
}

}  // namespace
