// What the source changed in what the application gave it: each watched structure, the value the
// application sent shown beside the one the source left, the source's own fields never marked,
// nothing marked when nothing changed, and never in the macOS build.
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "Common/TwainLog/SentCopy.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "Platform/Platform.h"
#include "support/TestSupport.h"

namespace {

class SentCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_cParaAnalyze = CParaAnalyze();
        g_cParaAnalyze.SetTwainStatus(4);
    }
    FixedArena arena;
};

// The lines of the trace that hold "(sent", each ended by "\n".
std::string Marked(const std::string& text) {
    std::istringstream lines(text);
    std::string marked;
    for (std::string line; std::getline(lines, line);)
        if (line.find("(sent ") != std::string::npos) marked += line.substr(0, line.find('\r')) + "\n";
    return marked;
}

struct Case {
    const char* what;
    TW_UINT32 dg;
    TW_UINT16 dat, msg;
    size_t size;
    std::function<void(void*)> send;    // what the application fills in
    std::function<void(void*)> answer;  // what the source leaves
    std::string marked;                 // the marked lines, each ending in "\n"
};

template <typename T>
Case Watched(const char* what, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void (*send)(T&), void (*answer)(T&),
             std::string marked) {
    return {what, dg, dat, msg, sizeof(T), [send](void* d) { send(*static_cast<T*>(d)); },
            [answer](void* d) { answer(*static_cast<T*>(d)); }, std::move(marked)};
}

TEST_F(SentCopyTest, WhatTheSourceChangedIsShownWithWhatWasSent) {
    const Case cases[] = {
        Watched<TW_USERINTERFACE>("ShowUI changed; ModalUI is the source's to set", DG_CONTROL, DAT_USERINTERFACE,
                                  MSG_ENABLEDS, [](auto& u) { u.ShowUI = 1; }, [](auto& u) { u.ShowUI = 0; u.ModalUI = 1; },
                                  "    ShowUI  = [false] (sent true)\n"),
        Watched<TW_USERINTERFACE>("hParent changed", DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, [](auto&) {},
                                  [](auto& u) { u.hParent = reinterpret_cast<TW_HANDLE>(0x1234); },
                                  "    hParent = <0x00001234> (sent <0x00000000>)\n"),
        Watched<TW_SETUPFILEXFER>("the file name changed", DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET,
                                  [](auto& f) { strcpy(f.FileName, "/tmp/page.tif"); },
                                  [](auto& f) { strcpy(f.FileName, "/tmp/other\n.tif"); },
                                  "    FileName = [/tmp/other\\n.tif] (sent /tmp/page.tif)\n"),
        Watched<TW_IMAGELAYOUT>("the frame changed", DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET,
                                [](auto& l) { l.Frame.Right.Whole = 8; }, [](auto& l) { l.Frame.Right.Whole = 7; },
                                "      Right  = [7.000] (sent 8.000)\n"),
        Watched<TW_IMAGEMEMXFER>("the buffer's length changed; BytesWritten is the source's", DG_IMAGE, DAT_IMAGEMEMXFER,
                                 MSG_GET, [](auto& m) { m.Memory.Length = 4096; },
                                 [](auto& m) { m.Memory.Length = 8192; m.BytesWritten = 100; },
                                 "      Length = [8192] (sent 4096)\n"),
        Watched<TW_USERINTERFACE>("nothing the application sent changed", DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS,
                                  [](auto& u) { u.ShowUI = 1; }, [](auto& u) { u.ModalUI = 1; }, ""),
        Watched<TW_IMAGEINFO>("a triplet whose data is the source's to fill", DG_IMAGE, DAT_IMAGEINFO, MSG_GET, [](auto&) {},
                              [](auto& i) { i.ImageWidth = 5; }, ""),
    };
    ScriptedScanner source;
    for (const Case& c : cases) {
        void* data = arena.Alloc(c.size);
        c.send(data);
        source.fill = c.answer;
        TraceCapture capture;
        EXPECT_EQ(DS_Entry(nullptr, c.dg, c.dat, c.msg, data), TWRC_SUCCESS) << c.what;
        const std::string text = capture.Text();
        EXPECT_EQ(Marked(text), kTraceShowsWhatTheSourceChanged ? c.marked : "") << c.what << "\n" << text;
        EXPECT_EQ(MalformedAt(text), "") << c.what;
    }
}

// A container's value the source changed is marked in place; a container that no longer lines up
// with the one sent is followed by the one sent, whole.
TEST_F(SentCopyTest, AChangedContainerShowsWhatWasSent) {
    const TW_ONEVALUE rgb = {TWTY_UINT16, TWPT_RGB}, gray = {TWTY_UINT16, TWPT_GRAY};
    const auto put = [](TW_HANDLE handle, const TW_ONEVALUE& value) {
        memcpy(HLock(handle), &value, sizeof(value));
        HUnlock(handle);
        return handle;
    };
    TW_CAPABILITY* cap = arena.New<TW_CAPABILITY>();
    *cap = {ICAP_PIXELTYPE, TWON_ONEVALUE, put(NewHandleClear(sizeof(TW_ONEVALUE)), rgb)};
    ScriptedScanner source;
    source.fill = [&](void* d) { put(static_cast<TW_CAPABILITY*>(d)->hContainer, gray); };
    TraceCapture capture;
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_SET, cap), TWRC_SUCCESS);
    const std::string text = capture.Text();
    DisposeHandle(cap->hContainer);
    if (!kTraceShowsWhatTheSourceChanged) {
        EXPECT_EQ(text.find("(sent"), std::string::npos);
        return;
    }
    EXPECT_NE(text.find("      Item     = [TWPT_GRAY] (sent TWPT_RGB)\r\n"), std::string::npos) << text;
    EXPECT_EQ(MalformedAt(text), "");

    // The source replaced the container by an empty enumeration.
    cap->hContainer = put(NewHandleClear(sizeof(TW_ONEVALUE)), rgb);
    const TW_HANDLE replaced = NewHandleClear(sizeof(TW_ENUMERATION));
    source.fill = [replaced](void* d) {
        TW_CAPABILITY* given = static_cast<TW_CAPABILITY*>(d);
        given->ConType = TWON_ENUMERATION;
        given->hContainer = replaced;
    };
    TraceCapture again;
    const TW_HANDLE sent = cap->hContainer;
    EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_SET, cap), TWRC_SUCCESS);
    const std::string block = again.Text();
    DisposeHandle(sent);
    DisposeHandle(replaced);
    const size_t at = block.find("  Sent by the application = {\r\n");
    ASSERT_NE(at, std::string::npos) << block;
    EXPECT_NE(block.find("      ConType    = [TWON_ONEVALUE]\r\n", at), std::string::npos) << block;
    EXPECT_NE(block.find("        Item     = [TWPT_RGB]\r\n", at), std::string::npos) << block;
    EXPECT_NE(block.find("      hContainer = " + PointerText(sent) + "\r\n", at), std::string::npos) << "the application's handle, not the copy's\n" << block;
    EXPECT_EQ(MalformedAt(block), "");
}

}  // namespace
