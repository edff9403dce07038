// The virtual scanner driven directly through its factory as a TWAIN 2 source: the entry-point
// exchange and the memory the source hands out.
#include <dlfcn.h>

#include <cstring>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "tracewell/TripletOperator.h"

namespace {

const std::string kScanner = SCANNER_WHOLE;

constexpr TW_ID kApplicationId = 5;
constexpr TW_ID kSourceId = 7;

// The stand-in Source Manager: takes every message and counts the memory functions.
struct Manager {
    int allocations = 0;
    int frees = 0;
    int locks = 0;
    int unlocks = 0;
    TW_HANDLE lastAllocated = nullptr;
    FixedArena* arena = nullptr;
};

Manager g_manager;

TW_UINT16 RecordingEntry(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) { return TWRC_SUCCESS; }

TW_HANDLE RecordingAllocate(TW_UINT32 size) {
    ++g_manager.allocations;
    g_manager.lastAllocated = g_manager.arena->NewHandle(size);
    return g_manager.lastAllocated;
}
void RecordingFree(TW_HANDLE) { ++g_manager.frees; }
TW_MEMREF RecordingLock(TW_HANDLE handle) {
    ++g_manager.locks;
    return FixedArena::Block(handle);
}
void RecordingUnlock(TW_HANDLE) { ++g_manager.unlocks; }

TW_ENTRYPOINT CompleteEntryPoints() {
    return {sizeof(TW_ENTRYPOINT), RecordingEntry, RecordingAllocate, RecordingFree, RecordingLock, RecordingUnlock};
}

class Twain2Scanner : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = dlopen(kScanner.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_module, nullptr) << dlerror();
        m_create = reinterpret_cast<CreateCorvaleFn>(dlsym(m_module, "CreateCorvale"));
        ASSERT_NE(m_create, nullptr);
        m_application.Id = kApplicationId;
        m_application.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2 | DF_DSM2;
        strcpy(m_application.ProductName, "test application");
    }
    void TearDown() override {
        if (m_operator != nullptr) m_operator->Release();
        if (m_module != nullptr) dlclose(m_module);
    }

    void Restart() {
        if (m_operator != nullptr) m_operator->Release();
        m_operator = nullptr;
        g_manager = Manager();
        g_manager.arena = &m_arena;
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

    // MSG_SET of a one-value container; a TW_FIX32 item is given as its whole part.
    TW_UINT16 Set(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
        TW_CAPABILITY capability = {cap, TWON_ONEVALUE, m_arena.NewHandle(sizeof(TW_ONEVALUE))};
        auto* one = static_cast<TW_ONEVALUE*>(FixedArena::Block(capability.hContainer));
        one->ItemType = itemType;
        memcpy(&one->Item, &value, sizeof(value));
        return Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    }

    TW_UINT16 GiveEntryPoints(TW_ENTRYPOINT entryPoints) {
        m_entryPoints = entryPoints;
        return Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &m_entryPoints);
    }

    FixedArena m_arena{0x19000000, 16 << 20};
    void* m_module = nullptr;
    CreateCorvaleFn m_create = nullptr;
    CTripletOperator* m_operator = nullptr;
    TW_IDENTITY m_application = {};
    TW_ENTRYPOINT m_entryPoints = {};
};

TEST_F(Twain2Scanner, TakesTheEntryPointsBeforeOpeningAndOnlyWhole) {
    // What, whether the source is open first, the structure's size, which function is null (0 none,
    // 1 DSM_Entry .. 5 DSM_MemUnlock), the condition.
    const std::tuple<const char*, bool, size_t, int, TW_UINT16> kCases[] = {
        {"all five functions before opening", false, sizeof(TW_ENTRYPOINT), 0, TWCC_SUCCESS},
        {"a structure larger than the scanner knows", false, sizeof(TW_ENTRYPOINT) + 8, 0, TWCC_SUCCESS},
        {"a structure of an older, smaller size", false, sizeof(TW_ENTRYPOINT) - 8, 0, TWCC_BADVALUE},
        {"no DSM_Entry", false, sizeof(TW_ENTRYPOINT), 1, TWCC_BADVALUE},
        {"no DSM_MemUnlock", false, sizeof(TW_ENTRYPOINT), 5, TWCC_BADVALUE},
        {"the source already open", true, sizeof(TW_ENTRYPOINT), 0, TWCC_SEQERROR},
    };
    for (const auto& [what, openFirst, size, missing, condition] : kCases) {
        SCOPED_TRACE(what);
        Restart();
        TW_IDENTITY identity = {};
        ASSERT_TRUE(!openFirst || Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity) == TWRC_SUCCESS);
        TW_ENTRYPOINT entryPoints = CompleteEntryPoints();
        entryPoints.Size = static_cast<TW_UINT32>(size);
        if (missing == 1) entryPoints.DSM_Entry = nullptr;
        if (missing == 5) entryPoints.DSM_MemUnlock = nullptr;
        const TW_ENTRYPOINT sent = entryPoints;
        EXPECT_EQ(GiveEntryPoints(entryPoints), condition == TWCC_SUCCESS ? TWRC_SUCCESS : TWRC_FAILURE);
        EXPECT_EQ(Condition(), condition);
        EXPECT_EQ(memcmp(&m_entryPoints, &sent, sizeof(sent)), 0) << "the Source Manager's structure is its own";
    }
    Restart();
    EXPECT_EQ(Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADVALUE);
    EXPECT_EQ(Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &m_entryPoints), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
}

TEST_F(Twain2Scanner, PresentsItselfAsTwain2OnlyToATwain2SourceManager) {
    const std::tuple<const char*, TW_UINT32, bool> kCases[] = {  // what, the application's groups, TWAIN 2
        {"a TWAIN 1.9 application", DG_CONTROL | DG_IMAGE, false},
        {"a TWAIN 2 application under a 1.x Source Manager", DG_CONTROL | DG_IMAGE | DF_APP2, false},
        {"a TWAIN 2 application under a TWAIN 2 Source Manager", DG_CONTROL | DG_IMAGE | DF_APP2 | DF_DSM2, true},
    };
    for (const auto& [what, groups, twain2] : kCases) {
        SCOPED_TRACE(what);
        for (const TW_UINT16 msg : {MSG_GET, MSG_OPENDS}) {
            Restart();
            m_application.SupportedGroups = groups;
            TW_IDENTITY identity = {};
            identity.Id = kSourceId;
            ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, msg, &identity), TWRC_SUCCESS);
            EXPECT_EQ((identity.SupportedGroups & DF_DS2) != 0, twain2) << msg;
            EXPECT_EQ(identity.SupportedGroups & ~DF_DS2, DG_CONTROL | DG_IMAGE);
            EXPECT_EQ(identity.ProtocolMajor, twain2 ? 2 : 1);
            EXPECT_EQ(identity.Id, kSourceId) << "the Id is the Source Manager's";
        }
    }
}

// Containers and images come from the Source Manager's functions once it gave them, and the
// application's containers are read through its lock; without them nothing reaches those functions.
TEST_F(Twain2Scanner, HandsOutMemoryFromTheSourceManagersFunctions) {
    for (const bool entryPoints : {true, false}) {
        SCOPED_TRACE(entryPoints ? "with entry points" : "without");
        Restart();
        ASSERT_TRUE(!entryPoints || GiveEntryPoints(CompleteEntryPoints()) == TWRC_SUCCESS);
        TW_IDENTITY identity = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);

        TW_CAPABILITY capability = {ICAP_PIXELTYPE, static_cast<TW_UINT16>(TWON_DONTCARE16), nullptr};
        ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability), TWRC_SUCCESS);
        EXPECT_EQ(g_manager.allocations, entryPoints ? 1 : 0);
        const TW_HANDLE container = capability.hContainer;  // packed in the linux ABI: no reference to it
        EXPECT_TRUE(!entryPoints || container == g_manager.lastAllocated);
        EXPECT_EQ(g_manager.locks, g_manager.unlocks) << "every lock is undone";
        const int locksBefore = g_manager.locks;
        ASSERT_EQ(Set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
        EXPECT_EQ(g_manager.locks - locksBefore, entryPoints ? 1 : 0) << "the application's container is locked to be read";

        ASSERT_EQ(Set(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
        ASSERT_EQ(Set(ICAP_YRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
        TW_USERINTERFACE ui = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        // Without a Source Manager to send it, the page is announced through the events.
        TW_EVENT event = {};
        for (int i = 0; i < 2 && !entryPoints; ++i) Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        const int allocationsBefore = g_manager.allocations;
        TW_HANDLE image = nullptr;
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_XFERDONE);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(g_manager.allocations - allocationsBefore, entryPoints ? 1 : 0);
        EXPECT_TRUE(!entryPoints || image == g_manager.lastAllocated);
        EXPECT_EQ(g_manager.locks, g_manager.unlocks);
        EXPECT_EQ(g_manager.frees, 0) << "what the source hands out is the application's to free";
    }
}

}  // namespace
