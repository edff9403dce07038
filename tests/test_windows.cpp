// The Windows module and platform layer: tracewell.ds exports DS_Entry as the Source Manager looks
// for it, loads its wrapped source on the first call and not under the loader lock, frees it after
// the last close, reaches GlobalAlloc blocks of either kind, bounds reads by their size, and takes
// paths that are not ASCII; the virtual scanner's own handles are GlobalAlloc blocks.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Platform.h"
#include "ScannerHooks.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "tracewell/twain_values.h"
#include "Platform/WideText_windows.h"

namespace {

bool Loaded(const std::string& path) { return GetModuleHandleW(Wide(path).c_str()) != nullptr; }

// The trace files in a directory, their contents joined (read by their wide names).
std::string TracesIn(const std::string& directory) {
    std::string text;
    for (const std::string& path : TraceFilesIn(directory)) {
        FILE* file = _wfopen(Wide(path).c_str(), L"rb");
        char chunk[4096];
        for (size_t got; file != nullptr && (got = fread(chunk, 1, sizeof(chunk), file)) > 0;) text.append(chunk, got);
        if (file != nullptr) fclose(file);
    }
    return text;
}

using DsEntry = DSENTRYPROC;

TW_IDENTITY Application() {
    TW_IDENTITY app = {};
    app.Id = 1;
    app.ProtocolMajor = 2;
    app.ProtocolMinor = 4;
    app.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
    strcpy(app.Manufacturer, "Acme");
    strcpy(app.ProductFamily, "Scan");
    strcpy(app.ProductName, "Scan Pro");
    return app;
}

// ---- the module ------------------------------------------------------------------------------

TEST(WindowsModule, ExportsDS_EntryByItsPlainNameAndAsOrdinalOne) {
    const HMODULE module = LoadLibraryW(Wide(LOADER_MODULE).c_str());
    ASSERT_NE(module, nullptr) << LOADER_MODULE;
    const FARPROC byName = GetProcAddress(module, "DS_Entry");
    EXPECT_NE(byName, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))), reinterpret_cast<void*>(byName));
    // The __stdcall decoration of a 32-bit build never shows in the export.
    EXPECT_EQ(GetProcAddress(module, "DS_Entry@20"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_DS_Entry@20"), nullptr);
    FreeLibrary(module);
}

// DllMain opens nothing: the wrapped source is loaded by the first call, and the last MSG_CLOSEDS
// releases it again, outside DllMain. The module, its settings, the source it adapts and its trace
// all lie below folders whose names are not ASCII, as a source below twain_32\Acmé\ of a user
// Jürgen does. The module reaches that source through its adapter, which goes with it.
TEST(WindowsModule, WrappedSourceLoadsOnTheFirstCallAndGoesAfterTheLastCloseOnPathsOutsideAscii) {
    ScratchDir scratch;
    std::string root = scratch.Dir("J\xc3\xbcrgen");
    std::replace(root.begin(), root.end(), '/', '\\');
    const std::string folder = root + "\\twain_32\\Acm\xc3\xa9", log = root + "\\log", wrapped = folder + "\\scanner.ds";
    for (const std::string& dir : {root + "\\twain_32", folder, log}) ASSERT_TRUE(CreateDirectoryW(Wide(dir).c_str(), nullptr)) << dir;
    ASSERT_TRUE(CopyFileW(Wide(LOADER_MODULE).c_str(), Wide(folder + "\\tracewell.ds").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(Wide(STANDARD_SOURCE).c_str(), Wide(wrapped).c_str(), FALSE));
    FILE* settings = _wfopen(Wide(folder + "\\tracewell.conf").c_str(), L"wb");
    ASSERT_NE(settings, nullptr);
    fprintf(settings, "log_dir = %s\nadapted_source = %s\n", log.c_str(), wrapped.c_str());
    fclose(settings);

    const HMODULE module = LoadLibraryW(Wide(folder + "\\tracewell.ds").c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_FALSE(Loaded(LOADER_ADAPTER) || Loaded(wrapped)) << "the wrapped source was loaded while the module loaded";
    EXPECT_EQ(TracesIn(log), "");
    const auto entry = reinterpret_cast<DsEntry>(reinterpret_cast<void*>(GetProcAddress(module, "DS_Entry")));
    char path[1024];
    ASSERT_TRUE(PlatformModulePathOf(reinterpret_cast<const void*>(entry), path, sizeof(path)));
    EXPECT_EQ(std::string(path), folder + "\\tracewell.ds");

    TW_IDENTITY app = Application();
    TW_IDENTITY source = {};
    TW_STATUS status = {};
    EXPECT_EQ(entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_GET, &source), TWRC_SUCCESS);
    EXPECT_TRUE(Loaded(LOADER_ADAPTER) && Loaded(wrapped));
    EXPECT_EQ(entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
    EXPECT_EQ(entry(&app, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    EXPECT_TRUE(Loaded(wrapped));
    EXPECT_EQ(entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    EXPECT_FALSE(Loaded(wrapped)) << "the wrapped source outlived the last close";
    EXPECT_FALSE(Loaded(LOADER_ADAPTER));

    const std::string trace = TracesIn(log);
    EXPECT_NE(trace.find("*** Source: " + wrapped + ", "), std::string::npos) << trace;
    for (const char* call : {"DG_CONTROL/DAT_IDENTITY/MSG_GET\r\n", "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS\r\n",
                             "DG_CONTROL/DAT_STATUS/MSG_GET\r\n", "DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS\r\n"})
        EXPECT_NE(trace.find(call), std::string::npos) << call;
    // A later call loads the wrapped source again; closing releases it, and the folder can go.
    EXPECT_EQ(entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_GET, &source), TWRC_SUCCESS);
    EXPECT_TRUE(Loaded(wrapped));
    EXPECT_EQ(entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS);
    EXPECT_EQ(entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source), TWRC_SUCCESS);
    FreeLibrary(module);
}

// ---- GlobalAlloc handles ---------------------------------------------------------------------

const UINT kGlobalKinds[] = {GHND, GMEM_FIXED | GMEM_ZEROINIT};  // moveable, fixed

// Another allocator's GlobalAlloc handles: locking gives the block GlobalLock gives, whether the
// handle is the address (fixed) or not (moveable), and the block's size is GlobalSize's.
TEST(WindowsHandles, ForeignGlobalAllocHandlesLockAndMeasure) {
    for (const UINT flags : kGlobalKinds) {
        for (const size_t size : {1, 37, 70000}) {
            SCOPED_TRACE(std::to_string(flags) + ", " + std::to_string(size) + " bytes");
            const HGLOBAL handle = GlobalAlloc(flags, size);
            ASSERT_NE(handle, nullptr);
            void* const expected = GlobalLock(handle);
            void* const locked = HLock(handle);
            EXPECT_EQ(locked, expected);
            EXPECT_EQ(locked == handle, (flags & GMEM_MOVEABLE) == 0);
            EXPECT_EQ(HandleBlockSize(handle), GlobalSize(handle));
            EXPECT_GE(HandleBlockSize(handle), size);
            HUnlock(handle);
            GlobalUnlock(handle);
            GlobalFree(handle);
        }
    }
}

// Tracewell's own blocks are moveable GlobalAlloc blocks that report the size they were asked for.
TEST(WindowsHandles, OwnBlocksAreMoveableAndKnowTheirSize) {
    for (const size_t size : {size_t(0), size_t(1), size_t(37), size_t(70000)}) {
        SCOPED_TRACE(size);
        const TW_HANDLE handle = NewHandleClear(size);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(HandleBlockSize(handle), size);
        char* const block = static_cast<char*>(HLock(handle));
        ASSERT_NE(block, nullptr);
        EXPECT_NE(static_cast<void*>(block), handle);
        EXPECT_EQ(GlobalLock(handle), block);
        GlobalUnlock(handle);
        if (size != 0) { EXPECT_EQ(block[size - 1], 0); }
        HUnlock(handle);
        DisposeHandle(handle);
    }
}

// What GlobalSize does not accept (memory of no heap, no handle at all) has no known size and
// is never locked into an address.
TEST(WindowsHandles, ValuesThatAreNoGlobalHandleHaveNoSize) {
    GuardedBytes bytes(64);
    EXPECT_EQ(HandleBlockSize(bytes.Data()), kUnknownBlockSize);
    EXPECT_EQ(HandleBlockSize(nullptr), kUnknownBlockSize);
    EXPECT_EQ(HLock(nullptr), nullptr);
}

// A container in a GlobalAlloc block that claims more items than the block holds is read only
// as far as GlobalSize reaches, for moveable and fixed blocks alike.
TEST(WindowsHandles, LyingContainersAreReadWithinTheirGlobalBlock) {
    for (const UINT flags : kGlobalKinds) {
        SCOPED_TRACE(flags);
        const size_t size = offsetof(TW_ENUMERATION, ItemList) + 2 * sizeof(TW_UINT16);
        const HGLOBAL handle = GlobalAlloc(flags, size);
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(GlobalSize(handle), size);
        auto* list = static_cast<TW_ENUMERATION*>(GlobalLock(handle));
        list->ItemType = TWTY_UINT16;
        list->NumItems = 1000000;
        const TW_UINT16 items[] = {TWPT_RGB, TWPT_GRAY};
        memcpy(list->ItemList, items, sizeof(items));
        GlobalUnlock(handle);

        TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_ENUMERATION, handle};
        const std::string text = Render([&](CParaAnalyze& a) { a.TwCapabilityAnalyze(&cap); });
        EXPECT_NE(text.find("          0:TWPT_RGB,\r\n          1:TWPT_GRAY,\r\n"
                            "        !!! 999998 items not in the block.!!!\r\n"),
                  std::string::npos)
            << text;
        GlobalFree(handle);
    }
}

// ---- the virtual scanner's handles -----------------------------------------------------------

// Locks a GlobalAlloc block holds (GlobalFlags), and whether GlobalFree took it.
UINT LockCount(HGLOBAL handle) { return GlobalFlags(handle) & GMEM_LOCKCOUNT; }
bool Freed(HGLOBAL handle) { return GlobalFree(handle) == nullptr; }

// Without the Source Manager's memory functions the scanner makes its containers and images with
// GlobalAlloc, as a TWAIN 1.x source does: GlobalSize knows each block, none is left locked, and
// GlobalFree takes it. It reads the application's own containers, moveable ones, through
// GlobalLock.
TEST(WindowsScanner, HandlesWithoutTheSourceManagerAreGlobalAllocBlocks) {
    ScriptedScanner scanner;  // CorvaleServe reaches the scanner itself, past the script
    TW_IDENTITY app = Application();
    TW_IDENTITY self = {};
    ASSERT_EQ(CorvaleServe(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &self), TWRC_SUCCESS);
    const struct { TW_UINT16 msg, cap, conType, itemType; size_t leastBytes; } kAnswers[] = {
        {MSG_GET, CAP_SUPPORTEDCAPS, TWON_ARRAY, TWTY_UINT16, offsetof(TW_ARRAY, ItemList) + 2},
        {MSG_GET, ICAP_PIXELTYPE, TWON_ENUMERATION, TWTY_UINT16, offsetof(TW_ENUMERATION, ItemList) + 2},
        {MSG_GET, ICAP_YRESOLUTION, TWON_RANGE, TWTY_FIX32, sizeof(TW_RANGE)},
        {MSG_GETCURRENT, ICAP_FRAMES, TWON_ONEVALUE, TWTY_FRAME, offsetof(TW_ONEVALUE, Item) + sizeof(TW_FRAME)},
        {MSG_QUERYSUPPORT, ICAP_PIXELTYPE, TWON_ONEVALUE, TWTY_INT32, sizeof(TW_ONEVALUE)},
    };
    for (const auto& a : kAnswers) {
        SCOPED_TRACE("capability " + std::to_string(a.cap) + ", message " + std::to_string(a.msg));
        TW_CAPABILITY cap = {a.cap, static_cast<TW_UINT16>(TWON_DONTCARE16), nullptr};
        ASSERT_EQ(CorvaleServe(&app, DG_CONTROL, DAT_CAPABILITY, a.msg, &cap), TWRC_SUCCESS);
        EXPECT_EQ(cap.ConType, a.conType);
        EXPECT_GE(GlobalSize(cap.hContainer), a.leastBytes);
        EXPECT_EQ(LockCount(cap.hContainer), 0u);
        const void* block = GlobalLock(cap.hContainer);
        ASSERT_NE(block, nullptr);
        TW_UINT16 itemType;
        memcpy(&itemType, block, sizeof(itemType));  // every container starts with its item type
        EXPECT_EQ(itemType, a.itemType);
        GlobalUnlock(cap.hContainer);
        EXPECT_TRUE(Freed(cap.hContainer));
    }

    const HGLOBAL native = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    ASSERT_NE(native, nullptr);
    auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(native));
    one->ItemType = TWTY_UINT16;
    one->Item = TWSX_NATIVE;
    GlobalUnlock(native);
    TW_CAPABILITY mechanism = {ICAP_XFERMECH, TWON_ONEVALUE, native};
    EXPECT_EQ(CorvaleServe(&app, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &mechanism), TWRC_SUCCESS);
    EXPECT_EQ(mechanism.hContainer, native) << "the application's container stays its own";
    EXPECT_TRUE(Freed(native));
    TW_USERINTERFACE ui = {};
    ASSERT_EQ(CorvaleServe(&app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    TW_EVENT event = {};
    for (int i = 0; i < 10 && event.TWMessage != MSG_XFERREADY; ++i)
        CorvaleServe(&app, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    ASSERT_EQ(event.TWMessage, MSG_XFERREADY);
    TW_HANDLE image = nullptr;
    ASSERT_EQ(CorvaleServe(&app, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_XFERDONE);
    EXPECT_GT(GlobalSize(image), 1000u);
    EXPECT_EQ(LockCount(image), 0u);
    EXPECT_TRUE(Freed(image));
}

// ---- reads that cannot fault -----------------------------------------------------------------

TEST(WindowsPlatform, CopiesStopAtTheFirstUnreadablePage) {
    GuardedBytes bytes(10);
    memset(bytes.Data(), 'x', 10);
    char dest[64] = {};
    EXPECT_EQ(PlatformCopyReadable(dest, bytes.Data(), sizeof(dest)), 10u);
    EXPECT_EQ(std::string(dest, 10), std::string(10, 'x'));
    EXPECT_EQ(PlatformCopyReadable(dest, bytes.Data() + 10, 1), 0u);
    EXPECT_EQ(PlatformCopyReadable(dest, nullptr, 1), 0u);
}

}  // namespace
