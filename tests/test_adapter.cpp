// The adapter between Tracewell and a standard TWAIN data source: forwarding to the source's
// DS_Entry, the sources it cannot use, and a data source told to adapt itself.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using ::testing::HasSubstr;

const std::string kStandard = STANDARD_SOURCE;
const std::string kAdapters = ADAPTER_DIR;

// One build of the adapter, loaded as Tracewell loads its wrapped source, with the operator its
// factory made (ready when the factory answered 0 with one); what the adapter printed while it was
// made is kept.
struct AdapterModule {
    explicit AdapterModule(const std::string& variant) {
        module = dlopen((kAdapters + "/" + variant + "/tracewell-adapter.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto factory = reinterpret_cast<CreateCorvaleFn>(module ? dlsym(module, TRACEWELL_FACTORY_NAME) : nullptr);
        if (factory == nullptr) {
            ADD_FAILURE() << "the adapter does not load or exports no factory";
            return;
        }
        printed = CaptureStderr([&] { ready = factory("tracewell.ds", &op) == 0 && op != nullptr; });
    }
    ~AdapterModule() {
        Release();
        if (module != nullptr) dlclose(module);
    }
    TW_UINT16 Call(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return op->OperateTriplet(origin, dg, dat, msg, data);
    }
    void Release() {
        if (op != nullptr) op->Release();
        op = nullptr;
    }

    void* module = nullptr;
    CTripletOperator* op = nullptr;
    bool ready = false;
    std::string printed;
};

// What the source writes reaches the caller through the data pointer it was handed unchanged.
TEST(Adapter, ForwardsEveryTripletAndReturnCodeUnchangedAndReleaseUnloadsTheSource) {
    AdapterModule adapter("standard");
    ASSERT_TRUE(adapter.ready) << adapter.printed;
    EXPECT_EQ(adapter.printed, "");
    // The adapter loaded the standard source when it was made; these are its test hooks.
    void* source = dlopen(kStandard.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(source, nullptr);
    const auto script = reinterpret_cast<void (*)(int)>(dlsym(source, "CorvaleScriptReturnCode"));
    const auto operateCalls = reinterpret_cast<int (*)()>(dlsym(source, "CorvaleOperateCalls"));
    const auto lastCall = reinterpret_cast<void (*)(TW_IDENTITY**, TW_UINT32*, TW_UINT16*, TW_UINT16*, TW_MEMREF*)>(
        dlsym(source, "CorvaleLastCall"));

    const std::tuple<TW_UINT32, TW_UINT16, TW_UINT16, TW_UINT16> kCases[] = {  // a triplet and the source's answer
        {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, TWRC_SUCCESS},
        {DG_CONTROL, 0x0403, MSG_SET, TWRC_FAILURE},  // the Source Manager's memory functions
        {DG_CONTROL, DAT_STATUS, MSG_GET, TWRC_CANCEL},
        {0xFFFFFFFF, 0xFFFF, 0xFFFF, 0xFFFF},  // nothing the adapter knows of
    };
    for (const auto& [dg, dat, msg, rc] : kCases) {
        SCOPED_TRACE(dat);
        script(rc);
        TW_IDENTITY origin = {};
        unsigned char data[64];
        memset(data, 0xA5, sizeof(data));
        const int before = operateCalls();
        EXPECT_EQ(adapter.Call(&origin, dg, dat, msg, data), rc);
        EXPECT_EQ(operateCalls(), before + 1);
        std::tuple<TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF> seen;
        lastCall(&std::get<0>(seen), &std::get<1>(seen), &std::get<2>(seen), &std::get<3>(seen), &std::get<4>(seen));
        EXPECT_EQ(seen, std::make_tuple(&origin, dg, dat, msg, static_cast<TW_MEMREF>(data)));
        EXPECT_TRUE(std::all_of(data, data + sizeof(data), [](unsigned char b) { return b == 0xA5; }));
    }
    script(-1);
    dlclose(source);
    EXPECT_TRUE(ModuleLoaded(kStandard));
    adapter.Release();
    EXPECT_FALSE(ModuleLoaded(kStandard)) << "Release unloads the adapted source";
}

TEST(Adapter, SourceItCannotUseFailsEveryCallAndReportsBummer) {
    const std::tuple<const char*, std::string, const char*> kCases[] = {  // the build, its source, why it fails
        {"missing", kAdapters + "/missing/absent.ds", "No such file"},
        {"notobject", TRACEWELL_SOURCE_DIR "/README.md", "invalid ELF header"},
        {"noentry", SCANNER_WHOLE, "it exports no DS_Entry"},
        {"relative", "corvale.ds", "its path is not absolute"},
    };
    for (const auto& [variant, source, reason] : kCases) {
        SCOPED_TRACE(variant);
        AdapterModule adapter(variant);
        ASSERT_TRUE(adapter.ready) << "a source that cannot be used still gives an operator";
        EXPECT_THAT(adapter.printed,
                    AllOf(HasSubstr("tracewell-adapter: cannot use the data source " + source + ": "), HasSubstr(reason)));
        EXPECT_FALSE(ModuleLoaded(source)) << "nothing of an unusable source stays loaded";

        const std::tuple<TW_UINT32, TW_UINT16, TW_UINT16> kCalls[] = {
            {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS}, {DG_CONTROL, DAT_STATUS, MSG_SET}, {DG_CONTROL, 0x0403, MSG_SET}};
        for (const auto& [dg, dat, msg] : kCalls) {
            unsigned char data[sizeof(TW_IDENTITY)];
            memset(data, 0xA5, sizeof(data));
            EXPECT_EQ(adapter.Call(nullptr, dg, dat, msg, data), TWRC_FAILURE) << dat;
            EXPECT_TRUE(std::all_of(data, data + sizeof(data), [](unsigned char b) { return b == 0xA5; }));
        }
        TW_STATUS status = {TWCC_SUCCESS, 0x5555};
        EXPECT_EQ(adapter.Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
        EXPECT_EQ(status.ConditionCode, TWCC_BUMMER);
        EXPECT_EQ(status.Reserved, 0);
        EXPECT_EQ(adapter.Call(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), TWRC_FAILURE);
    }
}

// Set to adapt the very module that loads the adapter, the data source would hand each call back
// to itself without end; the adapter refuses it instead.
TEST(Adapter, DataSourceToldToAdaptItselfFailsInsteadOfRecursing) {
    void* module = nullptr;
    const std::string printed = CaptureStderr([&] { module = dlopen(SELFLOOP_MODULE, RTLD_LAZY | RTLD_LOCAL); });
    ASSERT_NE(module, nullptr) << dlerror();
    EXPECT_THAT(printed, HasSubstr("it is a build of Tracewell, not the source to trace"));
    const auto entry = reinterpret_cast<DSENTRYPROC>(dlsym(module, "DS_Entry"));
    ASSERT_NE(entry, nullptr);
    TW_IDENTITY identity = {};
    EXPECT_EQ(entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_FAILURE);
    TW_STATUS status = {};
    EXPECT_EQ(entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
    EXPECT_EQ(status.ConditionCode, TWCC_BUMMER);
    dlclose(module);
    EXPECT_FALSE(ModuleLoaded(SELFLOOP_MODULE));
}

}  // namespace
