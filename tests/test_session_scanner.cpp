// The virtual scanner driven directly through its factory: the states in which it takes each
// triplet, capability validation and the condition codes, the containers it answers with, page
// transfers, the vendor structures, and the test hooks every build exports.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "tracewell/TripletOperator.h"

namespace {

const std::string kScanner = std::string(TRACEWELL_BINARY_DIR) + "/demo/Corvale.bundle/Contents/MacOS/Corvale";

constexpr TW_INT32 kQuerySet = 0x0002;           // the MSG_SET bit of a MSG_QUERYSUPPORT answer
constexpr TW_UINT32 kAppOwnsPointer = 0x0001 | 0x0008;  // TW_MEMORY owned by the application, a pointer

// The header of a native image, as the scanner documents it.
struct NativeImage {
    TW_UINT32 width;
    TW_UINT32 length;
    TW_UINT32 bitsPerPixel;
    TW_UINT32 bytesPerRow;
};

TW_FIX32 Fix32(double value) {
    const long units = lround(value * 65536.0);
    return {static_cast<TW_INT16>(units >> 16), static_cast<TW_UINT16>(units & 0xFFFF)};
}

double Value(TW_FIX32 fix) { return fix.Whole + fix.Frac / 65536.0; }

template <typename T>
T ItemAt(const void* container, size_t offset) {
    T value;
    memcpy(&value, static_cast<const char*>(container) + offset, sizeof(T));
    return value;
}

class VirtualScanner : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = dlopen(kScanner.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_module, nullptr) << dlerror();
        m_create = Symbol<CreateCorvaleFn>("CreateCorvale");
        m_operator = NewOperator();
        ASSERT_NE(m_operator, nullptr);
    }
    void TearDown() override {
        if (m_operator != nullptr) m_operator->Release();
        if (m_module != nullptr) dlclose(m_module);
    }

    template <typename Fn>
    Fn Symbol(const char* name) {
        return reinterpret_cast<Fn>(dlsym(m_module, name));
    }

    CTripletOperator* NewOperator() {
        CTripletOperator* made = nullptr;
        return m_create != nullptr && m_create("tracewell.ds", &made) == 0 ? made : nullptr;
    }

    // A fresh scanner in place of the current one.
    void Restart() {
        m_operator->Release();
        m_operator = NewOperator();
    }

    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
        return m_operator->OperateTriplet(&m_application, dg, dat, msg, data);
    }

    TW_UINT16 Condition() {
        TW_STATUS status = {};
        EXPECT_EQ(Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
        return status.ConditionCode;
    }

    // A capability call; the answer's container stays readable through Container().
    TW_UINT16 Capability(TW_UINT16 msg, TW_UINT16 cap) {
        m_capability = {};
        m_capability.Cap = cap;
        return Call(DG_CONTROL, DAT_CAPABILITY, msg, &m_capability);
    }
    const void* Container() const { return FixedArena::Block(m_capability.hContainer); }

    TW_UINT16 Set(TW_UINT16 cap, TW_UINT16 itemType, const void* item, size_t size) {
        m_capability = {};
        m_capability.Cap = cap;
        m_capability.ConType = TWON_ONEVALUE;
        m_capability.hContainer = m_arena.NewHandle(offsetof(TW_ONEVALUE, Item) + std::max<size_t>(size, 4));
        void* one = FixedArena::Block(m_capability.hContainer);
        static_cast<TW_ONEVALUE*>(one)->ItemType = itemType;
        memcpy(static_cast<char*>(one) + offsetof(TW_ONEVALUE, Item), item, size);
        return Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &m_capability);
    }
    template <typename T>
    TW_UINT16 Set(TW_UINT16 cap, TW_UINT16 itemType, T value) {
        return Set(cap, itemType, &value, sizeof(value));
    }

    template <typename T>
    T Current(TW_UINT16 cap) {
        EXPECT_EQ(Capability(MSG_GETCURRENT, cap), TWRC_SUCCESS);
        return ItemAt<T>(Container(), offsetof(TW_ONEVALUE, Item));
    }

    void Open() {
        TW_IDENTITY identity = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    }

    // Opens, negotiates memory transfers of `pages` sheets from the feeder, and enables.
    void Enable(TW_INT16 pages = 2, TW_UINT16 mechanism = TWSX_MEMORY) {
        Open();
        ASSERT_EQ(Set<TW_UINT16>(ICAP_XFERMECH, TWTY_UINT16, mechanism), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_BOOL>(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_INT16>(CAP_XFERCOUNT, TWTY_INT16, pages), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_FIX32>(ICAP_XRESOLUTION, TWTY_FIX32, Fix32(75)), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_FIX32>(ICAP_YRESOLUTION, TWTY_FIX32, Fix32(75)), TWRC_SUCCESS);
        TW_USERINTERFACE ui = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    }

    // Passes events until the scanner announces a page; the number of events it took, 0 for never.
    int WaitForPage() {
        for (int i = 1; i <= 10; ++i) {
            TW_EVENT event = {};
            if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT &&
                event.TWMessage == MSG_XFERREADY)
                return i;
        }
        return 0;
    }

    TW_UINT16 Strip(TW_IMAGEMEMXFER* xfer, TW_UINT32 bufferSize) {
        *xfer = {};
        xfer->Memory.Flags = kAppOwnsPointer;
        xfer->Memory.Length = bufferSize;
        xfer->Memory.TheMem = m_buffer;
        return Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, xfer);
    }

    // Drives a fresh scanner into a TWAIN state: 3 loaded, 4 open, 5 enabled, 6 page ready,
    // 7 within a page.
    void DriveTo(int state) {
        if (state == 4) Open();
        if (state >= 5) Enable();
        if (state >= 6) {
            ASSERT_NE(WaitForPage(), 0);
        }
        TW_IMAGEMEMXFER xfer;
        if (state >= 7) {
            ASSERT_EQ(Strip(&xfer, 4096), TWRC_SUCCESS);
        }
    }

    TW_UINT16 EndTransfer(TW_INT16* count) {
        TW_PENDINGXFERS pending = {};
        const TW_UINT16 rc = Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        *count = static_cast<TW_INT16>(pending.Count);
        return rc;
    }

    FixedArena m_arena{0x18000000, 16 << 20};
    TW_UINT8* m_buffer = static_cast<TW_UINT8*>(m_arena.Alloc(1 << 20));
    void* m_module = nullptr;
    CreateCorvaleFn m_create = nullptr;
    CTripletOperator* m_operator = nullptr;
    TW_IDENTITY m_application = {};
    TW_CAPABILITY m_capability = {};
};

TEST_F(VirtualScanner, EachTripletIsRefusedOutsideItsStatesWithSeqError) {
    const struct {
        TW_UINT32 dg;
        TW_UINT16 dat;
        TW_UINT16 msg;
        int first;
        int last;
    } kRules[] = {
        {DG_CONTROL, DAT_PARENT, MSG_OPENDSM, 3, 3},
        {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, 3, 3},
        {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, 4, 4},
        {DG_CONTROL, DAT_CAPABILITY, MSG_GET, 4, 7},
        {DG_CONTROL, DAT_CAPABILITY, MSG_SET, 4, 4},
        {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, 4, 4},
        {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 4, 4},
        {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, 5, 5},
        {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, 5, 7},
        {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, 4, 6},
        {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, 6, 7},
        {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, 6, 6},
        {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, 6, 7},
        {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, 4, 4},
        {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, 6, 7},
        {DG_IMAGE, DAT_KV_AUTOEXPOSURE, MSG_GET, 4, 4},
        {DG_IMAGE, DAT_KV_USMINFO, MSG_GET, 4, 4},
    };
    alignas(16) TW_UINT8 data[1024];
    for (const auto& rule : kRules) {
        for (int state = 3; state <= 7; ++state) {
            Restart();
            DriveTo(state);
            memset(data, 0, sizeof(data));
            const TW_UINT16 rc = Call(rule.dg, rule.dat, rule.msg, data);
            const bool refused = rc == TWRC_FAILURE && Condition() == TWCC_SEQERROR;
            EXPECT_EQ(refused, state < rule.first || state > rule.last)
                << "DAT 0x" << std::hex << rule.dat << " MSG 0x" << rule.msg << std::dec << " in state " << state;
        }
    }
}

TEST_F(VirtualScanner, SetValidatesValuesAndStatusReportsTheConditionOnce) {
    const struct {
        const char* what;
        TW_UINT16 cap;
        TW_UINT16 itemType;
        double value;
        TW_UINT16 condition;
    } kCases[] = {
        {"a resolution across on the list", ICAP_XRESOLUTION, TWTY_FIX32, 150, TWCC_SUCCESS},
        {"a resolution across off the list", ICAP_XRESOLUTION, TWTY_FIX32, 4800, TWCC_BADVALUE},
        {"a resolution down on a step", ICAP_YRESOLUTION, TWTY_FIX32, 125, TWCC_SUCCESS},
        {"a resolution down between steps", ICAP_YRESOLUTION, TWTY_FIX32, 110, TWCC_BADVALUE},
        {"the highest resolution down", ICAP_YRESOLUTION, TWTY_FIX32, 1200, TWCC_SUCCESS},
        {"a resolution down above the range", ICAP_YRESOLUTION, TWTY_FIX32, 1225, TWCC_BADVALUE},
        {"a resolution down below the range", ICAP_YRESOLUTION, TWTY_FIX32, 50, TWCC_BADVALUE},
        {"all pages", CAP_XFERCOUNT, TWTY_INT16, -1, TWCC_SUCCESS},
        {"no pages", CAP_XFERCOUNT, TWTY_INT16, 0, TWCC_BADVALUE},
        {"minus two pages", CAP_XFERCOUNT, TWTY_INT16, -2, TWCC_BADVALUE},
        {"a pixel type on the list", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW, TWCC_SUCCESS},
        {"a pixel type off the list", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_CMYK, TWCC_BADVALUE},
        {"a pixel type of the wrong item type", ICAP_PIXELTYPE, TWTY_UINT32, TWPT_GRAY, TWCC_BADVALUE},
        {"a Boolean that is neither", CAP_FEEDERENABLED, TWTY_BOOL, 2, TWCC_BADVALUE},
        {"a bit depth the pixel type does not give", ICAP_BITDEPTH, TWTY_UINT16, 8, TWCC_BADVALUE},
        {"a read-only capability", CAP_DUPLEX, TWTY_UINT16, TWDX_NONE, TWCC_CAPBADOPERATION},
        {"an unsupported capability", CAP_AUTHOR, TWTY_UINT16, 0, TWCC_CAPUNSUPPORTED},
    };
    for (const auto& c : kCases) {
        Restart();
        Open();
        TW_UINT8 item[4] = {};
        if (c.itemType == TWTY_FIX32) {
            const TW_FIX32 fix = Fix32(c.value);
            memcpy(item, &fix, sizeof(fix));
        } else {
            const TW_INT32 whole = static_cast<TW_INT32>(c.value);
            memcpy(item, &whole, sizeof(whole));
        }
        const TW_UINT16 rc = Set(c.cap, c.itemType, item, sizeof(item));
        EXPECT_EQ(rc, c.condition == TWCC_SUCCESS ? TWRC_SUCCESS : TWRC_FAILURE) << c.what;
        EXPECT_EQ(Condition(), c.condition) << c.what;
        EXPECT_EQ(Condition(), TWCC_SUCCESS) << c.what << ": reading the condition clears it";
        if (c.condition != TWCC_SUCCESS) continue;
        ASSERT_EQ(Capability(MSG_GETCURRENT, c.cap), TWRC_SUCCESS);
        const size_t size = c.itemType == TWTY_FIX32 ? sizeof(TW_FIX32) : sizeof(TW_UINT16);
        EXPECT_EQ(memcmp(item, static_cast<const char*>(Container()) + offsetof(TW_ONEVALUE, Item), size), 0) << c.what;
    }
}

TEST_F(VirtualScanner, TheNextCallClearsAnUnreadCondition) {
    Open();
    ASSERT_EQ(Set<TW_FIX32>(ICAP_XRESOLUTION, TWTY_FIX32, Fix32(4800)), TWRC_FAILURE);
    ASSERT_EQ(Capability(MSG_GET, ICAP_PIXELTYPE), TWRC_SUCCESS);
    EXPECT_EQ(Condition(), TWCC_SUCCESS);
}

TEST_F(VirtualScanner, DependentCapabilitiesFollowTheirLeader) {
    Open();
    const TW_FRAME legal = {Fix32(0), Fix32(0), Fix32(8.5), Fix32(14)};
    const TW_FRAME small = {Fix32(1), Fix32(1), Fix32(5), Fix32(5)};
    const TW_FRAME tooWide = {Fix32(0), Fix32(0), Fix32(9), Fix32(11)};

    ASSERT_EQ(Set<TW_UINT16>(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    EXPECT_EQ(Current<TW_UINT16>(ICAP_BITDEPTH), 8);
    ASSERT_EQ(Set<TW_UINT16>(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
    EXPECT_EQ(Current<TW_UINT16>(ICAP_BITDEPTH), 1);

    ASSERT_EQ(Set<TW_UINT16>(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_USLEGAL), TWRC_SUCCESS);
    const TW_FRAME frame = Current<TW_FRAME>(ICAP_FRAMES);
    EXPECT_EQ(memcmp(&frame, &legal, sizeof(frame)), 0);
    ASSERT_EQ(Set<TW_FRAME>(ICAP_FRAMES, TWTY_FRAME, small), TWRC_SUCCESS);
    EXPECT_EQ(Current<TW_UINT16>(ICAP_SUPPORTEDSIZES), TWSS_NONE);
    EXPECT_EQ(Set<TW_FRAME>(ICAP_FRAMES, TWTY_FRAME, tooWide), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADVALUE);

    ASSERT_EQ(Capability(MSG_RESET, ICAP_FRAMES), TWRC_SUCCESS);
    EXPECT_EQ(Value(ItemAt<TW_FRAME>(Container(), offsetof(TW_ONEVALUE, Item)).Bottom), 11.0);
    EXPECT_EQ(Current<TW_UINT16>(ICAP_SUPPORTEDSIZES), TWSS_USLETTER);
}

TEST_F(VirtualScanner, AnswersWithTheContainerOfEachCapability) {
    Open();
    ASSERT_EQ(Capability(MSG_GET, ICAP_XRESOLUTION), TWRC_SUCCESS);
    ASSERT_EQ(m_capability.ConType, TWON_ENUMERATION);
    const TW_ENUMERATION* list = static_cast<const TW_ENUMERATION*>(Container());
    ASSERT_EQ(+list->ItemType, TWTY_FIX32);
    ASSERT_GT(+list->NumItems, +list->CurrentIndex);
    const size_t current = offsetof(TW_ENUMERATION, ItemList) + list->CurrentIndex * sizeof(TW_FIX32);
    EXPECT_EQ(Value(ItemAt<TW_FIX32>(list, current)), 300.0);
    EXPECT_EQ(+list->DefaultIndex, +list->CurrentIndex);

    ASSERT_EQ(Capability(MSG_GET, ICAP_YRESOLUTION), TWRC_SUCCESS);
    ASSERT_EQ(m_capability.ConType, TWON_RANGE);
    const TW_RANGE* range = static_cast<const TW_RANGE*>(Container());
    EXPECT_EQ(Value(ItemAt<TW_FIX32>(&range->MinValue, 0)), 75.0);
    EXPECT_EQ(Value(ItemAt<TW_FIX32>(&range->MaxValue, 0)), 1200.0);
    EXPECT_EQ(Value(ItemAt<TW_FIX32>(&range->StepSize, 0)), 25.0);

    ASSERT_EQ(Capability(MSG_GET, CAP_SUPPORTEDCAPS), TWRC_SUCCESS);
    ASSERT_EQ(m_capability.ConType, TWON_ARRAY);
    const TW_ARRAY* array = static_cast<const TW_ARRAY*>(Container());
    std::vector<TW_UINT16> listed;
    for (TW_UINT32 i = 0; i < array->NumItems; ++i)
        listed.push_back(ItemAt<TW_UINT16>(array, offsetof(TW_ARRAY, ItemList) + 2 * i));
    for (TW_UINT16 cap : {CAP_SUPPORTEDCAPS, CAP_XFERCOUNT, ICAP_PIXELTYPE, ICAP_UNITS, ICAP_XRESOLUTION,
                          ICAP_YRESOLUTION, ICAP_BITDEPTH, ICAP_XFERMECH, ICAP_SUPPORTEDSIZES, ICAP_FRAMES,
                          CAP_FEEDERENABLED, CAP_DUPLEX, CAP_KV_VERSION})
        EXPECT_NE(std::find(listed.begin(), listed.end(), cap), listed.end()) << "capability 0x" << std::hex << cap;

    // Whatever it lists it answers for, and it claims MSG_SET exactly where MSG_SET is taken.
    for (TW_UINT16 cap : listed) {
        ASSERT_EQ(Capability(MSG_QUERYSUPPORT, cap), TWRC_SUCCESS);
        const bool claimsSet = (ItemAt<TW_INT32>(Container(), offsetof(TW_ONEVALUE, Item)) & kQuerySet) != 0;
        ASSERT_EQ(Capability(MSG_GETCURRENT, cap), TWRC_SUCCESS);
        const TW_HANDLE current = m_capability.hContainer;
        const TW_UINT16 conType = m_capability.ConType;
        m_capability = {};
        m_capability.Cap = cap;
        m_capability.ConType = conType;
        m_capability.hContainer = current;
        EXPECT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &m_capability) == TWRC_SUCCESS, claimsSet)
            << "capability 0x" << std::hex << cap;
    }
}

TEST_F(VirtualScanner, MemoryTransferFillsStripsPageByPage) {
    Enable(2);
    EXPECT_EQ(WaitForPage(), 2) << "the first event only warms the lamp";
    TW_IMAGEINFO info = {};
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(+info.ImageWidth, 638);  // 8.5 by 11 inches at 75 dpi, in RGB
    EXPECT_EQ(+info.ImageLength, 825);
    EXPECT_EQ(+info.BitsPerPixel, 24);
    const TW_UINT32 bytesPerRow = 638 * 3;

    for (TW_INT16 expectedCount : {1, 0}) {
        TW_IMAGEMEMXFER xfer;
        TW_UINT32 rows = 0;
        TW_UINT16 rc = TWRC_SUCCESS;
        while (rc == TWRC_SUCCESS) {
            rc = Strip(&xfer, 100 * bytesPerRow + 7);
            ASSERT_NE(rc, TWRC_FAILURE);
            EXPECT_EQ(+xfer.YOffset, rows);
            EXPECT_EQ(+xfer.BytesPerRow, bytesPerRow);
            EXPECT_EQ(+xfer.BytesWritten, xfer.Rows * bytesPerRow);
            rows += xfer.Rows;
        }
        EXPECT_EQ(rc, TWRC_XFERDONE);
        EXPECT_EQ(rows, 825u);
        EXPECT_EQ(Strip(&xfer, 100 * bytesPerRow), TWRC_FAILURE) << "the page is over";
        EXPECT_EQ(Condition(), TWCC_SEQERROR);
        TW_INT16 count;
        ASSERT_EQ(EndTransfer(&count), TWRC_SUCCESS);
        EXPECT_EQ(count, expectedCount);
    }
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE) << "no page after the last";
}

TEST_F(VirtualScanner, BufferSmallerThanARowIsRefused) {
    DriveTo(6);
    TW_IMAGEMEMXFER xfer;
    EXPECT_EQ(Strip(&xfer, 100), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADVALUE);
}

TEST_F(VirtualScanner, PagesComeFromTheFeederOrTheFlatbed) {
    const struct {
        bool feeder;
        TW_INT16 wanted;
        TW_INT16 pages;
    } kCases[] = {{false, -1, 1}, {false, 5, 1}, {true, -1, 3}, {true, 2, 2}, {true, 9, 3}};
    for (const auto& c : kCases) {
        Restart();
        Open();
        ASSERT_EQ(Set<TW_BOOL>(CAP_FEEDERENABLED, TWTY_BOOL, c.feeder ? 1 : 0), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_INT16>(CAP_XFERCOUNT, TWTY_INT16, c.wanted), TWRC_SUCCESS);
        TW_USERINTERFACE ui = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        ASSERT_NE(WaitForPage(), 0);
        TW_INT16 count;
        ASSERT_EQ(EndTransfer(&count), TWRC_SUCCESS);
        EXPECT_EQ(count, c.pages - 1) << "feeder " << c.feeder << ", " << c.wanted << " wanted";
    }
}

TEST_F(VirtualScanner, ResetOfPendingTransfersEndsTheScan) {
    DriveTo(6);
    TW_PENDINGXFERS pending = {};
    ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, 0);
    TW_USERINTERFACE ui = {};
    EXPECT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS) << "back in state 5";
}

TEST_F(VirtualScanner, NativeTransferHandsOverTheWholePage) {
    Enable(1, TWSX_NATIVE);
    ASSERT_NE(WaitForPage(), 0);
    TW_IMAGEMEMXFER xfer;
    EXPECT_EQ(Strip(&xfer, 1 << 20), TWRC_FAILURE) << "memory transfer was not negotiated";
    TW_HANDLE image = nullptr;
    ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_XFERDONE);
    const NativeImage* header = static_cast<const NativeImage*>(FixedArena::Block(image));
    EXPECT_EQ(header->width, 638u);
    EXPECT_EQ(header->length, 825u);
    EXPECT_EQ(header->bitsPerPixel, 24u);
    EXPECT_EQ(header->bytesPerRow, 638u * 3);
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_FAILURE) << "one image per page";
}

TEST_F(VirtualScanner, PagesAreTheSameOnEveryRunAndDifferFromEachOther) {
    std::vector<std::vector<TW_UINT8>> firstRows;
    for (int run = 0; run < 2; ++run) {
        Restart();
        DriveTo(6);
        for (int page = 0; page < 2; ++page) {
            TW_IMAGEMEMXFER xfer;
            ASSERT_EQ(Strip(&xfer, 638 * 3), TWRC_SUCCESS);
            firstRows.emplace_back(m_buffer, m_buffer + xfer.BytesWritten);
            TW_INT16 count;
            ASSERT_EQ(EndTransfer(&count), TWRC_SUCCESS);
        }
    }
    EXPECT_EQ(firstRows[0], firstRows[2]);
    EXPECT_EQ(firstRows[1], firstRows[3]);
    EXPECT_NE(firstRows[0], firstRows[1]);
}

TEST_F(VirtualScanner, VendorStructuresAreFilledOrRefused) {
    Open();
    TWKV_HARDWAREINFO hardware = {};
    ASSERT_EQ(Call(DG_CONTROL, DAT_KV_HARDWAREINFO, MSG_GET, &hardware), TWRC_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(hardware.ProductName + 1), hardware.ProductName[0]),
              "Corvale F40");

    const struct {
        TW_INT16 left, top, right, bottom;
        TW_UINT16 filmType;
        TW_UINT16 rc;
    } kExposures[] = {
        {40, 40, 600, 780, TWKV_FT_REFLECTIVEDOCUMENT, TWRC_SUCCESS},
        {100, 100, 100, 200, TWKV_FT_REFLECTIVE, TWRC_FAILURE},
        {0, 0, 700, 100, TWKV_FT_REFLECTIVE, TWRC_FAILURE},
        {0, 0, 10, 10, 7, TWRC_FAILURE},
    };
    for (const auto& e : kExposures) {
        TWKV_AUTOEXPOSURE exposure = {};
        exposure.Left = e.left;
        exposure.Top = e.top;
        exposure.Right = e.right;
        exposure.Bottom = e.bottom;
        exposure.FilmType = e.filmType;
        EXPECT_EQ(Call(DG_IMAGE, DAT_KV_AUTOEXPOSURE, MSG_GET, &exposure), e.rc) << e.left << "," << e.right;
        EXPECT_EQ(Condition(), e.rc == TWRC_SUCCESS ? TWCC_SUCCESS : TWCC_BADVALUE);
    }

    ASSERT_EQ(Set<TW_UINT16>(ICAP_KV_UNSHARPMASKLEVEL, TWTY_UINT16, TWKV_USM_HIGH), TWRC_SUCCESS);
    TWKV_USMINFO usm = {};
    usm.InputResolution = 50;
    EXPECT_EQ(Call(DG_IMAGE, DAT_KV_USMINFO, MSG_GET, &usm), TWRC_FAILURE);
    usm.InputResolution = 300;
    ASSERT_EQ(Call(DG_IMAGE, DAT_KV_USMINFO, MSG_GET, &usm), TWRC_SUCCESS);
    EXPECT_EQ(+usm.InUSMLevel, TWKV_USM_HIGH);
}

TEST_F(VirtualScanner, ClosingForgetsTheNegotiation) {
    Open();
    ASSERT_EQ(Set<TW_UINT16>(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
    TW_IDENTITY identity = {};
    ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &identity), TWRC_SUCCESS);
    Open();
    EXPECT_EQ(Current<TW_UINT16>(ICAP_PIXELTYPE), TWPT_RGB);
}

TEST_F(VirtualScanner, HooksCountAndRecordWhatTheScannerIsAsked) {
    const auto factoryName = Symbol<const char* (*)()>("CorvaleFactoryName");
    const auto factoryCalls = Symbol<int (*)()>("CorvaleFactoryCalls");
    const auto releases = Symbol<int (*)()>("CorvaleReleases");
    const auto operateCalls = Symbol<int (*)()>("CorvaleOperateCalls");
    const auto lastCall = Symbol<void (*)(TW_IDENTITY**, TW_UINT32*, TW_UINT16*, TW_UINT16*, TW_MEMREF*)>("CorvaleLastCall");
    ASSERT_TRUE(factoryName && factoryCalls && releases && operateCalls && lastCall);

    const int made = factoryCalls(), released = releases(), operated = operateCalls();
    Restart();
    EXPECT_EQ(factoryCalls(), made + 1);
    EXPECT_EQ(releases(), released + 1);
    EXPECT_STREQ(factoryName(), "tracewell.ds");

    TW_STATUS status = {};
    Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    EXPECT_EQ(operateCalls(), operated + 1);
    TW_IDENTITY* origin = nullptr;
    TW_UINT32 dg = 0;
    TW_UINT16 dat = 0, msg = 0;
    TW_MEMREF data = nullptr;
    lastCall(&origin, &dg, &dat, &msg, &data);
    EXPECT_EQ(origin, &m_application);
    EXPECT_EQ(dg, DG_CONTROL);
    EXPECT_EQ(dat, DAT_STATUS);
    EXPECT_EQ(msg, MSG_GET);
    EXPECT_EQ(data, &status);
}

TEST_F(VirtualScanner, ScriptedReturnCodesPassThroughAndNothingElseHappens) {
    const auto script = Symbol<void (*)(int)>("CorvaleScriptReturnCode");
    ASSERT_NE(script, nullptr);
    for (int rc : {0, 1, 2, 6, 12, 0x8000, 0xFFFF}) {
        script(rc);
        TW_IDENTITY identity = {};
        EXPECT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), rc);
        EXPECT_EQ(identity.ProductName[0], '\0') << rc;
        script(-1);
        EXPECT_EQ(Capability(MSG_GET, ICAP_PIXELTYPE), TWRC_FAILURE) << "the source must still be closed";
        EXPECT_EQ(Condition(), TWCC_SEQERROR);
    }
}

}  // namespace
