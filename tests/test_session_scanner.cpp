// The virtual scanner driven directly through its factory: the states in which it takes each
// triplet, and capability validation with its condition codes.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "tracewell/TripletOperator.h"

namespace {

const std::string kScanner = std::string(TRACEWELL_BINARY_DIR) + "/demo/Corvale.bundle/Contents/MacOS/Corvale";

constexpr TW_UINT32 kAppOwnsPointer = 0x0001 | 0x0008;  // TW_MEMORY owned by the application, a pointer

TW_FIX32 Fix32(double value) {
    const long units = lround(value * 65536.0);
    return {static_cast<TW_INT16>(units >> 16), static_cast<TW_UINT16>(units & 0xFFFF)};
}

class VirtualScanner : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = dlopen(kScanner.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_module, nullptr) << dlerror();
        m_create = reinterpret_cast<CreateCorvaleFn>(dlsym(m_module, "CreateCorvale"));
        m_operator = NewOperator();
        ASSERT_NE(m_operator, nullptr);
    }
    void TearDown() override {
        if (m_operator != nullptr) m_operator->Release();
        if (m_module != nullptr) dlclose(m_module);
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

    void Open() {
        TW_IDENTITY identity = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    }

    // Opens, negotiates memory transfers of two sheets from the feeder, and enables.
    void Enable() {
        Open();
        ASSERT_EQ(Set<TW_UINT16>(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_BOOL>(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_INT16>(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_FIX32>(ICAP_XRESOLUTION, TWTY_FIX32, Fix32(75)), TWRC_SUCCESS);
        ASSERT_EQ(Set<TW_FIX32>(ICAP_YRESOLUTION, TWTY_FIX32, Fix32(75)), TWRC_SUCCESS);
        TW_USERINTERFACE ui = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
    }

    // Passes events until the scanner announces a page.
    bool WaitForPage() {
        for (int i = 0; i < 10; ++i) {
            TW_EVENT event = {};
            if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT &&
                event.TWMessage == MSG_XFERREADY)
                return true;
        }
        return false;
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
            ASSERT_TRUE(WaitForPage());
        }
        TW_IMAGEMEMXFER xfer;
        if (state >= 7) {
            ASSERT_EQ(Strip(&xfer, 4096), TWRC_SUCCESS);
        }
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

}  // namespace
