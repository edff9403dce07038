// Capability containers: the TW_CAPABILITY record, each container formatter, when a container is
// left closed, TW_CAPEXT, and a traced call whose huge item list is cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Common/DSMInterface.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "support/TestSupport.h"

namespace {

// A container block from the data source's own allocator, sized exactly, so the sanitizer sees
// any read past it. Freed with the object.
class Container {
public:
    explicit Container(size_t size)
        : m_size(size), m_handle(CDSMInterface::AllocMemory(static_cast<TW_UINT32>(size))) {}
    ~Container() { CDSMInterface::FreeMemory(m_handle); }
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    TW_HANDLE Handle() const { return m_handle; }
    // Writes `value` at `offset` of the block.
    template <typename T>
    Container& Put(size_t offset, const T& value) {
        EXPECT_LE(offset + sizeof(T), m_size);
        memcpy(static_cast<char*>(CDSMInterface::LockMemory(m_handle)) + offset, &value, sizeof(T));
        CDSMInterface::UnlockMemory(m_handle);
        return *this;
    }

private:
    size_t m_size;
    TW_HANDLE m_handle;
};

TW_FIX32 Fix(TW_INT16 whole, TW_UINT16 frac) { return TW_FIX32{whole, frac}; }

constexpr size_t kOneValueItem = offsetof(TW_ONEVALUE, Item);
constexpr size_t kEnumItems = offsetof(TW_ENUMERATION, ItemList);
constexpr size_t kArrayItems = offsetof(TW_ARRAY, ItemList);

template <typename T>
std::unique_ptr<Container> OneValue(TW_UINT16 itemType, const T& item) {
    auto c = std::make_unique<Container>(std::max(sizeof(TW_ONEVALUE), kOneValueItem + sizeof(T)));
    c->Put(offsetof(TW_ONEVALUE, ItemType), itemType).Put(kOneValueItem, item);
    return c;
}

std::unique_ptr<Container> Range(TW_UINT16 itemType, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step, TW_UINT32 def,
                                 TW_UINT32 current) {
    auto c = std::make_unique<Container>(sizeof(TW_RANGE));
    c->Put(0, TW_RANGE{itemType, min, max, step, def, current});
    return c;
}

template <typename T>
TW_UINT32 Bits(const T& value) {
    static_assert(sizeof(T) <= sizeof(TW_UINT32), "one field");
    TW_UINT32 bits = 0;
    memcpy(&bits, &value, sizeof(T));
    return bits;
}

template <typename T>
std::unique_ptr<Container> Enumeration(TW_UINT16 itemType, TW_UINT32 current, TW_UINT32 def, std::vector<T> items,
                                       TW_UINT32 numItems) {
    auto c = std::make_unique<Container>(kEnumItems + std::max<size_t>(1, items.size() * sizeof(T)));
    c->Put(offsetof(TW_ENUMERATION, ItemType), itemType)
        .Put(offsetof(TW_ENUMERATION, NumItems), numItems)
        .Put(offsetof(TW_ENUMERATION, CurrentIndex), current)
        .Put(offsetof(TW_ENUMERATION, DefaultIndex), def);
    for (size_t i = 0; i < items.size(); ++i) c->Put(kEnumItems + i * sizeof(T), items[i]);
    return c;
}

template <typename T>
std::unique_ptr<Container> Array(TW_UINT16 itemType, std::vector<T> items, TW_UINT32 numItems) {
    auto c = std::make_unique<Container>(kArrayItems + std::max<size_t>(1, items.size() * sizeof(T)));
    c->Put(offsetof(TW_ARRAY, ItemType), itemType).Put(offsetof(TW_ARRAY, NumItems), numItems);
    for (size_t i = 0; i < items.size(); ++i) c->Put(kArrayItems + i * sizeof(T), items[i]);
    return c;
}

// Renders the record of a call of `cap` that returned `rc`; the container only through the
// container dispatch when `containerOnly` is set.
std::string Record(TW_UINT16 cap, TW_UINT16 conType, TW_HANDLE handle, TW_UINT16 rc, bool containerOnly = false) {
    TW_CAPABILITY record{cap, conType, handle};
    return Render([&](CParaAnalyze& a) {
        a.m_RC = rc;
        if (containerOnly) a.TwContainerAnalyaze(&record);
        else a.TwCapabilityAnalyze(&record);
    });
}

// ---- each container formatter -------------------------------------------------------------------

struct ContainerCase {
    const char* what;
    TW_UINT16 cap;
    TW_UINT16 conType;
    std::function<std::unique_ptr<Container>()> make;
    std::vector<std::string> lines;
};

const std::string kNotImpl = "!!! not implemented.!!!";

const std::vector<ContainerCase>& ContainerCases() {
    static const std::vector<ContainerCase> cases = {
        {"one-value uint16 by name (MSG_SET of ICAP_UNITS)", ICAP_UNITS, TWON_ONEVALUE,
         [] { return OneValue(TWTY_UINT16, TW_UINT16{1}); },
         {"    TW_ONEVALUE = {", "      ItemType = [TWTY_UINT16]", "      Item     = [TWUN_CENTIMETERS]", "    }"}},
        {"one-value int32 signed", ICAP_BRIGHTNESS, TWON_ONEVALUE,
         [] { return OneValue(TWTY_INT32, TW_INT32{-7}); },
         {"    TW_ONEVALUE = {", "      ItemType = [TWTY_INT32]", "      Item     = [-7]", "    }"}},
        {"one-value frame continues past the field", ICAP_FRAMES, TWON_ONEVALUE,
         [] { return OneValue(TWTY_FRAME, TW_FRAME{Fix(0, 0), Fix(0, 0), Fix(8, 0x8000), Fix(11, 0)}); },
         {"    TW_ONEVALUE = {", "      ItemType = [TWTY_FRAME]", "      Item     = [0.000,0.000,8.500,11.000]",
          "    }"}},
        {"one-value str32 without nul stops at its width", CAP_AUTHOR, TWON_ONEVALUE,
         [] {
             std::array<char, sizeof(TW_STR32)> text;
             text.fill('k');
             return OneValue(TWTY_STR32, text);
         },
         {"    TW_ONEVALUE = {", "      ItemType = [TWTY_STR32]", "      Item     = [" + std::string(34, 'k') + "]",
          "    }"}},
        {"one-value type 13 reads only its field", ICAP_UNITS, TWON_ONEVALUE, [] { return OneValue(13, TW_UINT32{0}); },
         {"    TW_ONEVALUE = {", "      ItemType = [ERROR!(13)]", "      Item     = [" + kNotImpl + "]", "    }"}},
        {"range of fix32", ICAP_XRESOLUTION, TWON_RANGE,
         [] {
             return Range(TWTY_FIX32, Bits(Fix(-1000, 0)), Bits(Fix(1200, 0)), Bits(Fix(0, 0x8000)),
                          Bits(Fix(300, 0)), Bits(Fix(600, 0x4000)));
         },
         {"    TW_RANGE = {", "      ItemType     = [TWTY_FIX32]", "      MinValue     = [-1000.000]",
          "      MaxValue     = [1200.000]", "      StepSize     = [0.500]", "      DefaultValue = [300.000]",
          "      CurrentValue = [600.250]", "    }"}},
        {"range of uint16 names every field", ICAP_PIXELTYPE, TWON_RANGE,
         [] { return Range(TWTY_UINT16, 0, 8, 1, 2, 5); },
         {"    TW_RANGE = {", "      ItemType     = [TWTY_UINT16]", "      MinValue     = [TWPT_BW]",
          "      MaxValue     = [TWPT_CIEXYZ]", "      StepSize     = [TWPT_GRAY]", "      DefaultValue = [TWPT_RGB]",
          "      CurrentValue = [TWPT_CMYK]", "    }"}},
        {"range of type 13", ICAP_UNITS, TWON_RANGE, [] { return Range(13, 1, 2, 3, 4, 5); },
         {"    TW_RANGE = {", "      ItemType     = [ERROR!(13)]", "      MinValue     = [" + kNotImpl + "]",
          "      MaxValue     = [" + kNotImpl + "]", "      StepSize     = [" + kNotImpl + "]",
          "      DefaultValue = [" + kNotImpl + "]", "      CurrentValue = [" + kNotImpl + "]", "    }"}},
        {"enumeration with current index beyond the items, unsigned", ICAP_UNITS, TWON_ENUMERATION,
         [] { return Enumeration<TW_UINT16>(TWTY_UINT16, 4294967295u, 7, {0, 5}, 2); },
         {"    TW_ENUMERATION = {", "      ItemType     = [TWTY_UINT16]", "      NumItems     = [2]",
          "      CurrentIndex = [4294967295]", "      DefaultIndex = [7]", "      ItemList = {",
          "          0:TWUN_INCHES,", "          1:TWUN_PIXELS", "      }", "    }"}},
        {"array of supported caps", CAP_SUPPORTEDCAPS, TWON_ARRAY,
         [] { return Array<TW_UINT16>(TWTY_UINT16, {ICAP_XRESOLUTION, CAP_KV_VERSION}, 2); },
         {"    TW_ARRAY = {", "      ItemType = [TWTY_UINT16]", "      NumItems = [2]", "      ItemList = {",
          "          0:ICAP_XRESOLUTION,", "          1:CAP_KV_VERSION", "      }", "    }"}},
        {"array of type 13", ICAP_UNITS, TWON_ARRAY, [] { return Array<TW_UINT16>(13, {}, 2); },
         {"    TW_ARRAY = {", "      ItemType = [ERROR!(13)]", "      NumItems = [2]", "      ItemList = {",
          "          0:" + kNotImpl + ",", "          1:" + kNotImpl, "      }", "    }"}},
    };
    return cases;
}

class ContainerTest : public ::testing::TestWithParam<size_t> {};

TEST_P(ContainerTest, RendersContainer) {
    const ContainerCase& c = ContainerCases()[GetParam()];
    const auto container = c.make();
    std::string expected;
    for (const std::string& line : c.lines) expected += line + "\r\n";
    EXPECT_EQ(Record(c.cap, c.conType, container->Handle(), TWRC_SUCCESS, true), expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Formatters, ContainerTest, ::testing::Range<size_t>(0, ContainerCases().size()));

TEST(ContainerFormatters, NullContainerRendersNothing) {
    EXPECT_EQ(Render([](CParaAnalyze& a) {
                  a.TwOneValueAnalyze(ICAP_UNITS, nullptr);
                  a.TwRangeAnalyze(ICAP_UNITS, nullptr);
                  a.TwEnumerationAnalyze(ICAP_UNITS, nullptr);
                  a.TwArrayAnalyze(ICAP_UNITS, nullptr);
                  a.TwCapabilityAnalyze(nullptr);
                  a.TwContainerAnalyaze(nullptr);
                  a.TwCapExtAnalyze(nullptr);
              }),
              "");
}

// ---- the TW_CAPABILITY record and when its container stays closed -------------------------------

std::string Handle(TW_HANDLE handle) {
    char text[32];
    snprintf(text, sizeof(text), "<0x%08x>", static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)));
    return text;
}

struct ClosedCase {
    const char* what;
    TW_UINT16 cap;
    TW_UINT16 conType;
    bool nullHandle;
    TW_UINT16 rc;
    const char* capName;
    const char* conTypeName;
};

const ClosedCase kClosedCases[] = {
    {"failure opens no container", ICAP_UNITS, TWON_ONEVALUE, false, TWRC_FAILURE, "ICAP_UNITS", "TWON_ONEVALUE"},
    {"null handle", ICAP_UNITS, TWON_ONEVALUE, true, TWRC_SUCCESS, "ICAP_UNITS", "TWON_ONEVALUE"},
    {"container type 1", ICAP_UNITS, 1, false, TWRC_SUCCESS, "ICAP_UNITS", "TWON_PROTOCOLMAJOR"},
    {"container type 2", ICAP_UNITS, 2, false, TWRC_SUCCESS, "ICAP_UNITS", "ERROR!(2)"},
    {"container type 7", ICAP_UNITS, 7, false, TWRC_SUCCESS, "ICAP_UNITS", "ERROR!(7)"},
    // a vendor capability, container kept closed by the failure
    {"vendor cap from the ICAP_KV table", 0x8003, TWON_ONEVALUE, false, TWRC_FAILURE, "ICAP_KV_FILMTYPE",
     "TWON_ONEVALUE"},
};

class ClosedContainerTest : public ::testing::TestWithParam<ClosedCase> {};

TEST_P(ClosedContainerTest, PrintsTheRecordOnly) {
    const ClosedCase& c = GetParam();
    // A valid one-value container: it would show if it were opened.
    const auto container = OneValue(TWTY_UINT16, TW_UINT16{1});
    const TW_HANDLE handle = c.nullHandle ? nullptr : container->Handle();
    EXPECT_EQ(Record(c.cap, c.conType, handle, c.rc),
              Crlf({"  TW_CAPABILITY = {", std::string("    Cap        = [") + c.capName + "]",
                    std::string("    ConType    = [") + c.conTypeName + "]", "    hContainer = " + Handle(handle),
                    "  }"}))
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(Record, ClosedContainerTest, ::testing::ValuesIn(kClosedCases),
                         [](const ::testing::TestParamInfo<ClosedCase>& info) { return std::to_string(info.index); });

// ---- TW_CAPEXT ----------------------------------------------------------------------------------

struct CapExtCase {
    TW_UINT16 cap;
    TW_UINT16 properties;
    const char* capName;
    const char* propertiesName;
};

const CapExtCase kCapExtCases[] = {
    {CAP_KV_VERSION, 0x8003, "CAP_KV_VERSION", "ICAP_KV_FILMTYPE"},
    // Properties is named with the tables of Cap's range.
    {ICAP_XRESOLUTION, 0x8001, "ICAP_XRESOLUTION", "ERROR!(32769)"},
    {CAP_KV_UIMODE, CAP_XFERCOUNT, "CAP_KV_UIMODE", "ERROR!(1)"},
};

TEST(CapExt, NamesCapAndPropertiesThroughTheTablesOfCapsRange) {
    for (const CapExtCase& c : kCapExtCases) {
        const TW_CAPEXT record{c.cap, c.properties};
        EXPECT_EQ(Render([&](CParaAnalyze& a) { a.TwCapExtAnalyze(&record); }),
                  Crlf({"  TW_CAPEXT = {", std::string("    Cap        = [") + c.capName + "]",
                        std::string("    Properties = [") + c.propertiesName + "]", "  }"}));
    }
}

// ---- a whole call through DS_Entry ----------------------------------------------------------------

TEST(TracedCapability, HugeItemCountIsCutPromptly) {
    // Record first, container handle next, both at fixed addresses: the pointers print the same
    // in every run and in both ABIs.
    FixedArena arena(0x31000000, 1 << 20);
    auto* record = arena.New<TW_CAPABILITY>();
    record->Cap = ICAP_PIXELTYPE;
    const TW_HANDLE handle = arena.NewHandle(64);
    auto* container = static_cast<TW_ENUMERATION*>(FixedArena::Block(handle));
    container->ItemType = TWTY_UINT16;
    container->NumItems = 4000000000u;
    const TW_UINT16 items[] = {TWPT_RGB, TWPT_GRAY};
    memcpy(container->ItemList, items, sizeof(items));

    const int32_t savedState = g_cParaAnalyze.m_nTwainStatus;
    const int64_t savedSequence = g_cParaAnalyze.m_lSequenceNo;
    g_cParaAnalyze.m_nTwainStatus = 4;
    g_cParaAnalyze.m_lSequenceNo = 0;
    std::string trace;
    const auto start = std::chrono::steady_clock::now();
    {
        TraceCapture capture;
        ScriptedOperator op;
        op.fill = [&](TW_MEMREF) { *record = {ICAP_PIXELTYPE, TWON_ENUMERATION, handle}; };
        EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, record), TWRC_SUCCESS);
        trace = capture.Text();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    g_cParaAnalyze.m_nTwainStatus = savedState;
    g_cParaAnalyze.m_lSequenceNo = savedSequence;

    const std::string request = Crlf({"[00001] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_GET (ICAP_PIXELTYPE)"});
    const std::string notice = "Size of CAP_xxx too long";
    ASSERT_EQ(trace.size(), request.size() + CTraceText::kWrittenLimit + notice.size());
    EXPECT_EQ(trace.substr(0, request.size()), request);
    EXPECT_EQ(trace.substr(trace.size() - notice.size()), notice);

    std::string expected = Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x31000000>",
                                 "  TW_CAPABILITY = {", "    Cap        = [ICAP_PIXELTYPE]",
                                 "    ConType    = [TWON_ENUMERATION]", "    hContainer = <0x31000010>",
                                 "    TW_ENUMERATION = {", "      ItemType     = [TWTY_UINT16]",
                                 "      NumItems     = [4000000000]", "      CurrentIndex = [0]",
                                 "      DefaultIndex = [0]", "      ItemList = {", "          0:TWPT_RGB,",
                                 "          1:TWPT_GRAY,"});
    for (int i = 2; expected.size() < CTraceText::kWrittenLimit; ++i) {
        char line[64];
        snprintf(line, sizeof(line), "        %3d:TWPT_BW,\r\n", i);
        expected += line;
    }
    EXPECT_EQ(trace.substr(request.size(), CTraceText::kWrittenLimit), expected.substr(0, CTraceText::kWrittenLimit));
}

}  // namespace
