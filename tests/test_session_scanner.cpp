// The virtual scanner driven directly through its factory: the states in which it takes each triplet, and value checks.
#include <dlfcn.h>

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
        ASSERT_NE(m_create, nullptr);
    }
    void TearDown() override {
        if (m_operator != nullptr) m_operator->Release();
        if (m_module != nullptr) dlclose(m_module);
    }

    // A fresh scanner in place of the current one.
    void Restart() {
        if (m_operator != nullptr) m_operator->Release();
        m_operator = nullptr;
        ASSERT_EQ(m_create("tracewell.ds", &m_operator), 0);
        ASSERT_NE(m_operator, nullptr);
    }

    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
        return m_operator->OperateTriplet(&m_application, dg, dat, msg, data);
    }

    TW_UINT16 Condition() {
        TW_STATUS status = {};
        EXPECT_EQ(Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
        return status.ConditionCode;
    }

    // MSG_SET of a one-value container holding `value`: in fixed point for TWTY_FIX32, else its
    // whole part. The item is kept in m_sent.
    TW_UINT16 Set(TW_UINT16 cap, TW_UINT16 itemType, double value) {
        const TW_FIX32 fix = Fix32(value);
        const TW_INT32 whole = static_cast<TW_INT32>(value);
        memcpy(&m_sent, itemType == TWTY_FIX32 ? static_cast<const void*>(&fix) : &whole, sizeof(m_sent));
        TW_CAPABILITY capability = {cap, TWON_ONEVALUE, m_arena.NewHandle(sizeof(TW_ONEVALUE))};
        auto* one = static_cast<TW_ONEVALUE*>(FixedArena::Block(capability.hContainer));
        one->ItemType = itemType;
        memcpy(&one->Item, &m_sent, sizeof(m_sent));
        return Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    }

    void Open() {
        TW_IDENTITY identity = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    }

    // Drives a fresh scanner into a TWAIN state: 3 loaded, 4 open, 5 enabled for memory
    // transfers of two sheets from the feeder, 6 page ready, 7 within a page.
    void DriveTo(int state) {
        if (state >= 4) Open();
        if (state >= 5) {
            ASSERT_EQ(Set(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS);
            ASSERT_EQ(Set(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
            ASSERT_EQ(Set(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
            ASSERT_EQ(Set(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
            ASSERT_EQ(Set(ICAP_YRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
            TW_USERINTERFACE ui = {};
            ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        }
        if (state < 6) return;
        TW_EVENT event = {};
        for (int i = 0; i < 10 && event.TWMessage != MSG_XFERREADY; ++i) Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        ASSERT_EQ(event.TWMessage, MSG_XFERREADY);
        if (state < 7) return;
        TW_IMAGEMEMXFER strip = {};
        strip.Memory = {kAppOwnsPointer, 4096, m_buffer};
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip), TWRC_SUCCESS);
    }

    FixedArena m_arena{0x18000000, 16 << 20};
    TW_UINT8* m_buffer = static_cast<TW_UINT8*>(m_arena.Alloc(1 << 20));
    void* m_module = nullptr;
    CreateCorvaleFn m_create = nullptr;
    CTripletOperator* m_operator = nullptr;
    TW_IDENTITY m_application = {};
    TW_UINT32 m_sent = 0;
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
        {"a resolution down on a step", ICAP_YRESOLUTION, TWTY_FIX32, 125, TWCC_SUCCESS},
        {"a resolution down between steps", ICAP_YRESOLUTION, TWTY_FIX32, 110, TWCC_BADVALUE},
        {"the highest resolution down", ICAP_YRESOLUTION, TWTY_FIX32, 1200, TWCC_SUCCESS},
        {"a resolution down above the range", ICAP_YRESOLUTION, TWTY_FIX32, 1225, TWCC_BADVALUE},
        {"a resolution down below the range", ICAP_YRESOLUTION, TWTY_FIX32, 50, TWCC_BADVALUE},
        {"all pages", CAP_XFERCOUNT, TWTY_INT16, -1, TWCC_SUCCESS},
        {"minus two pages", CAP_XFERCOUNT, TWTY_INT16, -2, TWCC_BADVALUE},
        {"a pixel type on the list", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW, TWCC_SUCCESS},
        {"a pixel type of the wrong item type", ICAP_PIXELTYPE, TWTY_UINT32, TWPT_GRAY, TWCC_BADVALUE},
        {"a Boolean that is neither", CAP_FEEDERENABLED, TWTY_BOOL, 2, TWCC_BADVALUE},
        {"a bit depth the pixel type does not give", ICAP_BITDEPTH, TWTY_UINT16, 8, TWCC_BADVALUE},
        {"a read-only capability", CAP_DUPLEX, TWTY_UINT16, TWDX_NONE, TWCC_CAPBADOPERATION},
        {"an unsupported capability", CAP_AUTHOR, TWTY_UINT16, 0, TWCC_CAPUNSUPPORTED},
    };
    for (const auto& c : kCases) {
        Restart();
        Open();
        EXPECT_EQ(Set(c.cap, c.itemType, c.value), c.condition == TWCC_SUCCESS ? TWRC_SUCCESS : TWRC_FAILURE) << c.what;
        EXPECT_EQ(Condition(), c.condition) << c.what;
        EXPECT_EQ(Condition(), TWCC_SUCCESS) << c.what << ": reading the condition clears it";
        if (c.condition != TWCC_SUCCESS) continue;
        TW_CAPABILITY current = {c.cap, 0, nullptr};
        ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &current), TWRC_SUCCESS);
        const size_t size = c.itemType == TWTY_FIX32 ? sizeof(TW_FIX32) : sizeof(TW_UINT16);
        const char* item = static_cast<const char*>(FixedArena::Block(current.hContainer)) + offsetof(TW_ONEVALUE, Item);
        EXPECT_EQ(memcmp(&m_sent, item, size), 0) << c.what;
    }
}

}  // namespace
