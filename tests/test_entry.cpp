// DS_Entry end to end: forwarding unchanged, the failure markers, the cut of long result sections,
// the untraced path, strings from outside, and no heap allocation in a traced call (the entry
// closed for the unload sequence and the request line written before the source runs: the fault
// cases through the loaded module).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "Common/DSMInterface.h"
#include "Common/TwainLog/TraceFormat.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "ScannerHooks.h"
#include "support/TestSupport.h"
#if !TRACEWELL_SANITIZED
#include "alloc_counter.h"
#endif

namespace {

class EntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_cParaAnalyze = CParaAnalyze();
        g_cParaAnalyze.SetTwainStatus(3);
    }
    FixedArena arena;
};

// Untraced calls are only forwarded; traced ones are numbered and end in the markers when, and only when, they fail.
TEST_F(EntryTest, ArgumentsAndEveryReturnCodePassUnchangedAndOnlyFailuresAreMarked) {
    ASSERT_EQ(g_pLogFile, nullptr);
    ScriptedScanner op;
    TW_IDENTITY* origin = arena.New<TW_IDENTITY>();
    void* data = arena.Alloc(sizeof(TW_DEVICEEVENT));  // the largest structure of the triplets below
    const std::tuple<TW_UINT32, TW_UINT16, TW_UINT16> triplets[] = {{DG_CONTROL, DAT_DEVICEEVENT, MSG_GET},
                                                                    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},
                                                                    {0xFFFFFFFFu, 0xFFFF, 0xFFFF},
                                                                    {8, DAT_KV_USMINFO, MSG_KV_XFERREQUEST}};
    const TW_UINT16 codes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 0x7FFF, 0x8000, 0x8001, 0xFFFF};
    const std::string markers = Crlf({traceformat::kMarkerStart, traceformat::kMarkerEnd});
    for (const bool tracing : {false, true}) {
        for (const auto& [dg, dat, msg] : triplets) {
            for (const TW_UINT16 rc : codes) {
                SCOPED_TRACE(testing::Message() << "dat " << dat << " rc " << rc << (tracing ? " traced" : ""));
                std::unique_ptr<TraceCapture> capture(tracing ? new TraceCapture : nullptr);
                op.returnCode = rc;
                EXPECT_EQ(DS_Entry(origin, dg, dat, msg, data), rc);
                EXPECT_EQ(std::make_tuple(op.lastOrigin, op.lastDG, op.lastDAT, op.lastMSG, op.lastData),
                          std::make_tuple(origin, dg, dat, msg, data));
                if (!tracing) continue;
                const std::string text = capture->Text();
                const size_t marked = text.find("*** Inspect");
                EXPECT_EQ(marked == std::string::npos ? "" : text.substr(marked), rc == TWRC_FAILURE ? markers : "");
            }
        }
        EXPECT_EQ(g_cParaAnalyze.GetSequenceNo(), tracing ? 64 : 0);
    }
    EXPECT_EQ(op.calls, 128);
}

// A result section whose length is chosen to the byte: an enumeration of TWTY_STR255 items
// whose last item's text has `lastLength` characters.
std::string Trace(TW_UINT32 items, size_t lastLength) {
    ScriptedScanner op;
    TraceCapture capture;
    FixedArena arena(0x20000000, 1 << 20);  // the same addresses in every call
    g_cParaAnalyze = CParaAnalyze();
    g_cParaAnalyze.SetTwainStatus(4);
    TW_CAPABILITY* cap = arena.New<TW_CAPABILITY>();
    *cap = {CAP_SUPPORTEDCAPS, TWON_ENUMERATION, arena.NewHandle(sizeof(TW_ENUMERATION) + items * sizeof(TW_STR255))};
    TW_ENUMERATION* list = static_cast<TW_ENUMERATION*>(FixedArena::Block(cap->hContainer));
    *list = {TWTY_STR255, items, 0, 0, {}};
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

TEST(Cut, ExactlyTheLimitIsWrittenWholeAndOneByteMoreIsCutWithTheNoticeOnALineOfItsOwn) {
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
    EXPECT_EQ(exact.find(traceformat::kCutNotice), std::string::npos);
    const std::string status = "\r\nTWAIN Status = [4]\r\n";
    EXPECT_EQ(exact.substr(exact.size() - status.size()), status);

    const std::string over = Trace(items, fit + 1);
    const std::string notice = std::string(traceformat::kCutNotice) + "\r\n";
    // The longer text is the exact one with one more character in its last item, cut at the limit,
    // or one byte before it where the limit falls between "\r" and "\n".
    const size_t lastItemEnd = exact.rfind(std::string(fit, last)) + fit;
    const std::string expected = exact.substr(0, lastItemEnd) + last + exact.substr(lastItemEnd);
    const size_t cut = expected[CTraceText::kWrittenLimit - 1] == '\r' ? CTraceText::kWrittenLimit - 1 : CTraceText::kWrittenLimit;
    ASSERT_EQ(over.size(), cut + notice.size());
    EXPECT_EQ(over.substr(cut), notice);
    EXPECT_EQ(over.substr(0, cut), expected.substr(0, cut));
    // The cut text still counts the call and tracks the state.
    EXPECT_EQ(g_cParaAnalyze.GetSequenceNo(), 1);
    EXPECT_EQ(g_cParaAnalyze.GetTwainStatus(), 4);

    // Wherever the cut falls, right onto the limit or one byte before it through the last item's
    // line end, the notice line ends the text and no "\r\n" is split.
    for (size_t extra = 2; extra <= 4; ++extra) {
        SCOPED_TRACE(extra);
        const std::string text = Trace(items, fit + extra);
        ASSERT_GE(text.size(), notice.size());
        EXPECT_EQ(text.substr(text.size() - notice.size()), notice);
        EXPECT_EQ(MalformedAt(text), "");
    }
}

// Strings a source or an application hands in are written with their control characters
// escaped, so that no source can forge or break a trace line.
TEST_F(EntryTest, ControlCharactersFromOutsideAreEscaped) {
    ScriptedScanner op;
    const std::pair<const char*, const char*> cases[] = {  // what is given, what is written
        {"Kovar\r\n[00099] [APP] forged", "Kovar\\r\\n[00099] [APP] forged"},
        // bytes above 0x7F and backslashes stay as they are
        {"bell\a tab\t del\x7f caf\xc3\xa9 \\n", "bell\\x07 tab\\t del\\x7f caf\xc3\xa9 \\n"},
    };
    for (const auto& [given, written] : cases) {
        SCOPED_TRACE(given);
        TraceCapture capture;
        TW_IDENTITY* identity = arena.New<TW_IDENTITY>();
        strncpy(identity->Manufacturer, given, sizeof(identity->Manufacturer) - 1);
        DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, identity);
        const std::string text = capture.Text();
        EXPECT_NE(text.find(std::string("[") + written + "]"), std::string::npos) << text;
        EXPECT_EQ(MalformedAt(text), "");
    }
}

// MSG_PROCESSEVENT on another DAT answered TWRC_DSEVENT: the data holds no TW_EVENT and is not
// read as one (the block here is a 4-byte heap block, so a read past it fails under ASan).
TEST_F(EntryTest, ProcessEventOnAnotherDatDoesNotReadAnEvent) {
    ScriptedScanner op;
    op.returnCode = TWRC_DSEVENT;
    TraceCapture capture;
    std::unique_ptr<uint32_t> small(new uint32_t(0));
    g_cParaAnalyze.SetTwainStatus(6);
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_PROCESSEVENT, small.get()), TWRC_DSEVENT);
    // Suppressed like any event call that is not a tracked event; only DAT_EVENT's structure is
    // left out of a suppressed call.
    EXPECT_EQ(capture.Text(), Crlf({"  TW_STATUS = {", "    ConditionCode = [TWCC_SUCCESS]", "  }"}));
    EXPECT_EQ(g_cParaAnalyze.GetTwainStatus(), 6);
}

// A traced capability negotiation allocates nothing once the trace file's buffer is made, whatever
// its container's length and whether its memory comes from the Source Manager or from elsewhere.
TEST_F(EntryTest, ATracedCallAllocatesNothing) {
#if TRACEWELL_SANITIZED
    GTEST_SKIP() << "a sanitizer keeps the allocator to itself";
#else
    ScriptedScanner scanner;
    CorvaleScriptAnswer(nullptr, nullptr);
    TraceCapture capture;
    for (const bool foreign : {false, true}) {
        for (const TW_UINT32 items : {0u, 1u, 10u}) {
            SCOPED_TRACE(testing::Message() << items << " items" << (foreign ? ", foreign block" : ""));
            const size_t size =
                items == 0 ? sizeof(TW_ONEVALUE) : offsetof(TW_ENUMERATION, ItemList) + items * sizeof(TW_UINT16);
            const TW_HANDLE handle =
                foreign ? arena.NewHandle(size) : CDSMInterface::AllocMemory(static_cast<TW_UINT32>(size));
            void* block = foreign ? FixedArena::Block(handle) : CDSMInterface::LockMemory(handle);
            if (items == 0) {
                *static_cast<TW_ONEVALUE*>(block) = {TWTY_UINT16, 2};
            } else {
                auto* list = static_cast<TW_ENUMERATION*>(block);
                *list = {TWTY_UINT16, items, 2, 0, {}};
                for (TW_UINT32 i = 0; i < items; ++i) {
                    const TW_UINT16 pixelType = static_cast<TW_UINT16>(i % 9);
                    memcpy(list->ItemList + i * sizeof(pixelType), &pixelType, sizeof(pixelType));
                }
            }
            if (!foreign) CDSMInterface::UnlockMemory(handle);
            const TW_UINT16 conType = items == 0 ? TWON_ONEVALUE : TWON_ENUMERATION;
            const TW_CAPABILITY answer = {ICAP_PIXELTYPE, conType, handle};
            CorvaleScriptTriplet(DG_CONTROL, DAT_CAPABILITY, MSG_GET, TWRC_SUCCESS, &answer, sizeof(answer));
            TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
            DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
            const long before = AllocationCount();
            for (int i = 0; i < 20; ++i) DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
            EXPECT_EQ(AllocationCount() - before, 0);
            EXPECT_EQ(cap.hContainer, handle);
            if (!foreign) CDSMInterface::FreeMemory(handle);
        }
    }
    EXPECT_NE(capture.Text().find("ItemType = [TWTY_UINT16]"), std::string::npos);
#endif
}

}  // namespace
