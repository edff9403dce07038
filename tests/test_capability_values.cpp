// Capability values as text: single items of every item type, 16-bit values through the
// capability maps, and item lists with their strides, commas and unreadable types.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <typename T>
Bytes Of(const T& value) {
    Bytes bytes(sizeof(T));
    memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

template <typename T>
Bytes Items(std::initializer_list<T> values) {
    Bytes bytes;
    for (const T& v : values) {
        const Bytes one = Of(v);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

// A text field of `width` bytes: the text, its NUL, then bytes that must never show.
Bytes Field(const std::string& text, size_t width) {
    Bytes bytes(width, '#');
    memcpy(bytes.data(), text.data(), text.size());
    if (text.size() < width) bytes[text.size()] = '\0';
    return bytes;
}

Bytes Fields(std::initializer_list<std::string> texts, size_t width) {
    Bytes bytes;
    for (const std::string& t : texts) {
        const Bytes one = Field(t, width);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return bytes;
}

TW_FIX32 Fix(TW_INT16 whole, TW_UINT16 frac) { return TW_FIX32{whole, frac}; }

// Runs `render` on an analyzer whose destination is pre-filled, so a missing end shows.
std::string Value(const std::function<void(CParaAnalyze&, char*)>& render) {
    CParaAnalyze analyzer;
    char dest[CParaAnalyze::kValueSize];
    memset(dest, 'Z', sizeof(dest) - 1);
    dest[sizeof(dest) - 1] = '\0';
    render(analyzer, dest);
    return dest;
}

// ---- ValToStr ---------------------------------------------------------------------------------

struct ItemCase {
    const char* what;
    TW_UINT16 cap;
    TW_UINT16 itemType;
    Bytes item;  // exactly the bytes the item may occupy
    std::string expected;
};

const std::string k34(34, 'a'), k66(66, 'b'), k130(130, 'c'), k256(256, 'd');

const ItemCase kItemCases[] = {
    {"int8 small", 0, TWTY_INT8, Of<TW_INT8>(5), "0x05"},
    {"int8 -1 widens with sign", 0, TWTY_INT8, Of<TW_INT8>(-1), "0xffffffff"},
    {"int8 -128", 0, TWTY_INT8, Of<TW_INT8>(-128), "0xffffff80"},
    {"uint8 small", 0, TWTY_UINT8, Of<TW_UINT8>(5), "0x05"},
    {"uint8 128 stays unsigned", 0, TWTY_UINT8, Of<TW_UINT8>(128), "0x80"},
    {"uint8 255", 0, TWTY_UINT8, Of<TW_UINT8>(255), "0xff"},
    {"int16 negative", 0, TWTY_INT16, Of<TW_INT16>(-2), "-2"},
    {"int16 lowest", 0, TWTY_INT16, Of<TW_INT16>(-32768), "-32768"},
    {"int32 negative", 0, TWTY_INT32, Of<TW_INT32>(-5), "-5"},
    {"int32 highest", 0, TWTY_INT32, Of<TW_INT32>(2147483647), "2147483647"},
    {"uint32 all ones prints signed", 0, TWTY_UINT32, Of<TW_UINT32>(4294967295u), "-1"},
    {"uint32 above 2^31 prints signed", 0, TWTY_UINT32, Of<TW_UINT32>(3000000000u), "-1294967296"},
    {"uint32 small", 0, TWTY_UINT32, Of<TW_UINT32>(70000), "70000"},
    {"uint16 without map row", ICAP_BITDEPTH, TWTY_UINT16, Of<TW_UINT16>(8), "8"},
    {"uint16 65535 stays unsigned", ICAP_BITDEPTH, TWTY_UINT16, Of<TW_UINT16>(65535), "65535"},
    {"uint16 named through its map", ICAP_UNITS, TWTY_UINT16, Of<TW_UINT16>(1), "TWUN_CENTIMETERS"},
    {"bool false", 0, TWTY_BOOL, Of<TW_BOOL>(0), "false"},
    {"bool true", 0, TWTY_BOOL, Of<TW_BOOL>(1), "true"},
    {"bool 2 is true", 0, TWTY_BOOL, Of<TW_BOOL>(2), "true"},
    {"bool high byte only is true", 0, TWTY_BOOL, Of<TW_BOOL>(0x0100), "true"},
    {"fix32 whole", 0, TWTY_FIX32, Of(Fix(300, 0)), "300.000"},
    {"fix32 -1 + 0x8000 is -0.5", 0, TWTY_FIX32, Of(Fix(-1, 0x8000)), "-0.500"},
    {"fix32 frac is unsigned", 0, TWTY_FIX32, Of(Fix(2, 0xC000)), "2.750"},
    {"fix32 -1000", 0, TWTY_FIX32, Of(Fix(-1000, 0)), "-1000.000"},
    {"frame in field order", 0, TWTY_FRAME, Of(TW_FRAME{Fix(1, 0), Fix(2, 0x8000), Fix(3, 0x4000), Fix(-4, 0)}),
     "1.000,2.500,3.250,-4.000"},
    {"frame letter page", 0, TWTY_FRAME, Of(TW_FRAME{Fix(0, 0), Fix(0, 0), Fix(8, 0x8000), Fix(11, 0)}),
     "0.000,0.000,8.500,11.000"},
    {"str32 with nul", 0, TWTY_STR32, Field("Kovar", 34), "Kovar"},
    {"str32 without nul stops at 34", 0, TWTY_STR32, Field(k34, 34), k34},
    {"str64 without nul stops at 66", 0, TWTY_STR64, Field(k66, 66), k66},
    {"str128 without nul stops at 130", 0, TWTY_STR128, Field(k130, 130), k130},
    {"str255 with nul", 0, TWTY_STR255, Field("Kovar Scan 2", 256), "Kovar Scan 2"},
    {"str255 without nul stops at 256", 0, TWTY_STR255, Field(k256, 256), k256},
    {"str255 empty", 0, TWTY_STR255, Field("", 256), ""},
    {"type 13 reads nothing past the field", 0, 13, Of<TW_UINT32>(0x41414141), "!!! not implemented.!!!"},
    {"type 0xFFFF", 0, 0xFFFF, Of<TW_UINT32>(0), "!!! not implemented.!!!"},
};

class ValToStrTest : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ValToStrTest, RendersItem) {
    const ItemCase& c = GetParam();
    // The item sits in a heap block of its own size, so any read past it is caught by the sanitizer.
    const Bytes item = c.item;
    EXPECT_EQ(Value([&](CParaAnalyze& a, char* dest) { a.ValToStr(c.cap, c.itemType, item.data(), dest); }),
              c.expected)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(ItemTypes, ValToStrTest, ::testing::ValuesIn(kItemCases),
                         [](const ::testing::TestParamInfo<ItemCase>& info) { return std::to_string(info.index); });

// ---- ValToCap ---------------------------------------------------------------------------------

struct CapValueCase {
    const char* what;
    TW_UINT16 cap;
    TW_UINT16 value;
    const char* expected;
};

const CapValueCase kCapValueCases[] = {
    // VALTOCAP rows
    {"pixel type", ICAP_PIXELTYPE, 2, "TWPT_RGB"},
    {"units", ICAP_UNITS, 0, "TWUN_INCHES"},
    {"units beyond table falls back", ICAP_UNITS, 9, "ERROR!(9)"},
    {"units 7 falls back", ICAP_UNITS, 7, "ERROR!(7)"},
    {"orientation shared value prints earlier name", ICAP_ORIENTATION, 3, "TWOR_ROT270"},
    {"image filter shared value", ICAP_IMAGEFILTER, 4, "TWIF_HIGHPASS"},
    {"supported sizes alias", ICAP_SUPPORTEDSIZES, 1, "TWSS_A4LETTER"},
    {"last row of the map", ICAP_OVERSCAN, 4, "TWOV_ALL"},
    {"audio file format row without capability name", 0x1201, 1, "TWAF_AIFF"},
    {"device event custom base", CAP_DEVICEEVENT, 0x8000, "TWDE_CUSTOMEVENTS"},
    // VALTOCAPKV rows
    {"vendor ui mode", CAP_KV_UIMODE, 2, "TWKV_UI_EASY"},
    {"vendor film type", ICAP_KV_FILMTYPE, 1, "TWKV_FT_NEGA"},
    {"vendor feeder type carries TWKV_FT_", CAP_KV_FEEDERTYPE, 1, "TWKV_FT_MPF"},
    {"vendor last row", ICAP_KV_AUTOSIZETYPE, 1, "TWKV_AUTOSIZE_LONG"},
    {"vendor value beyond table", CAP_KV_UIMODE, 7, "ERROR!(7)"},
    // no row: plain decimal
    {"standard without row", ICAP_BITDEPTH, 8, "8"},
    {"standard without row, large", ICAP_XRESOLUTION, 65535, "65535"},
    {"custom base is on the standard side, no row", CAP_CUSTOMBASE, 3, "3"},
    {"vendor without row", CAP_KV_TPUENABLED, 1, "1"},
    {"vendor capability value is not looked up in the standard map", 0x8101, 2, "2"},
    // CAP_KV_VERSION: major.minor in hexadecimal, never through a map
    {"version 1.10", CAP_KV_VERSION, 0x0110, "1.10"},
    {"version a.5", CAP_KV_VERSION, 0x0A05, "a.5"},
    {"version 2.1", CAP_KV_VERSION, 0x0201, "2.1"},
    {"version 0.0", CAP_KV_VERSION, 0x0000, "0.0"},
    {"version ff.ff", CAP_KV_VERSION, 0xFFFF, "ff.ff"},
    // CAP_SUPPORTEDCAPS: the value is a capability identifier
    {"supported standard cap", CAP_SUPPORTEDCAPS, ICAP_XRESOLUTION, "ICAP_XRESOLUTION"},
    {"supported cap from the CAP table", CAP_SUPPORTEDCAPS, CAP_SUPPORTEDCAPS, "CAP_SUPPORTEDCAPS"},
    {"supported custom base", CAP_SUPPORTEDCAPS, 0x8000, "CAP_CUSTOMBASE"},
    {"supported vendor cap", CAP_SUPPORTEDCAPS, 0x8001, "CAP_KV_VERSION"},
    {"supported vendor cap from the ICAP_KV table", CAP_SUPPORTEDCAPS, 0x8003, "ICAP_KV_FILMTYPE"},
    {"supported vendor value shared by two names", CAP_SUPPORTEDCAPS, 0x8043, "ICAP_KV_ADE"},
    {"supported unknown vendor", CAP_SUPPORTEDCAPS, 0x9999, "ERROR!(39321)"},
    {"supported unknown standard", CAP_SUPPORTEDCAPS, 0x1201, "ERROR!(4609)"},
    {"supported 0 is empty", CAP_SUPPORTEDCAPS, 0, ""},
};

class ValToCapTest : public ::testing::TestWithParam<CapValueCase> {};

TEST_P(ValToCapTest, RendersValue) {
    const CapValueCase& c = GetParam();
    EXPECT_EQ(Value([&](CParaAnalyze& a, char* dest) { a.ValToCap(c.cap, c.value, dest); }), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Maps, ValToCapTest, ::testing::ValuesIn(kCapValueCases),
                         [](const ::testing::TestParamInfo<CapValueCase>& info) { return std::to_string(info.index); });

TEST(ValueHelpers, VersionAndSupportedCapsMatchValToCap) {
    for (const TW_UINT16 version : {0x0110, 0x0A05, 0x0000, 0xFFFF, 0x1000}) {
        EXPECT_EQ(Value([&](CParaAnalyze& a, char* dest) { a.MakeCapKvVersion(version, dest); }),
                  Value([&](CParaAnalyze& a, char* dest) { a.ValToCap(CAP_KV_VERSION, version, dest); }));
    }
    EXPECT_EQ(Value([](CParaAnalyze& a, char* dest) { a.MakeCapKvVersion(0x1000, dest); }), "10.0");
    EXPECT_EQ(Value([](CParaAnalyze& a, char* dest) { a.MakeCapSupportedCaps(0x800F, dest); }), "CAP_KV_UIMODE");
    EXPECT_EQ(Value([](CParaAnalyze& a, char* dest) { a.MakeCapSupportedCaps(0, dest); }), "");
}

// ---- MakeItemList -----------------------------------------------------------------------------

struct ListCase {
    const char* what;
    TW_UINT16 cap;
    TW_UINT16 itemType;
    TW_UINT32 numItems;
    Bytes items;  // exactly the bytes the list may read
    std::vector<std::string> itemLines;
};

const std::string kNotImpl = "!!! not implemented.!!!";

const ListCase kListCases[] = {
    {"empty", ICAP_PIXELTYPE, TWTY_UINT16, 0, {}, {}},
    {"one item has no comma", ICAP_PIXELTYPE, TWTY_UINT16, 1, Items<TW_UINT16>({2}), {"          0:TWPT_RGB"}},
    {"three pixel types", ICAP_PIXELTYPE, TWTY_UINT16, 3, Items<TW_UINT16>({0, 1, 2}),
     {"          0:TWPT_BW,", "          1:TWPT_GRAY,", "          2:TWPT_RGB"}},
    {"int8 one byte apart", 0, TWTY_INT8, 3, Items<TW_INT8>({1, -1, 127}),
     {"          0:0x01,", "          1:0xffffffff,", "          2:0x7f"}},
    {"uint8 one byte apart", 0, TWTY_UINT8, 2, Items<TW_UINT8>({0x80, 0x7f}),
     {"          0:0x80,", "          1:0x7f"}},
    {"int16 two bytes apart", 0, TWTY_INT16, 2, Items<TW_INT16>({-1, 300}), {"          0:-1,", "          1:300"}},
    {"bool two bytes apart", 0, TWTY_BOOL, 3, Items<TW_BOOL>({0, 1, 2}),
     {"          0:false,", "          1:true,", "          2:true"}},
    {"int32 four bytes apart", 0, TWTY_INT32, 2, Items<TW_INT32>({-70000, 70000}),
     {"          0:-70000,", "          1:70000"}},
    {"uint32 four bytes apart", 0, TWTY_UINT32, 2, Items<TW_UINT32>({4294967295u, 7}),
     {"          0:-1,", "          1:7"}},
    {"fix32 four bytes apart", ICAP_XRESOLUTION, TWTY_FIX32, 3,
     Items<TW_FIX32>({Fix(75, 0), Fix(150, 0), Fix(-1, 0x8000)}),
     {"          0:75.000,", "          1:150.000,", "          2:-0.500"}},
    {"str32 items 34 bytes apart", 0, TWTY_STR32, 3, Fields({"alpha", "beta", std::string(34, 'g')}, 34),
     {"          0:alpha,", "          1:beta,", "          2:" + std::string(34, 'g')}},
    {"str64 items 66 bytes apart", 0, TWTY_STR64, 2, Fields({"one", "two"}, 66),
     {"          0:one,", "          1:two"}},
    {"str128 items 130 bytes apart", 0, TWTY_STR128, 2, Fields({"one", "two"}, 130),
     {"          0:one,", "          1:two"}},
    {"str255 items 256 bytes apart", 0, TWTY_STR255, 2, Fields({"first", std::string(256, 'z')}, 256),
     {"          0:first,", "          1:" + std::string(256, 'z')}},
    {"frames are not read", 0, TWTY_FRAME, 2, {}, {"          0:" + kNotImpl + ",", "          1:" + kNotImpl}},
    {"unknown type is not read", 0, 13, 3, {},
     {"          0:" + kNotImpl + ",", "          1:" + kNotImpl + ",", "          2:" + kNotImpl}},
    {"supported caps, 0 shows empty every time", CAP_SUPPORTEDCAPS, TWTY_UINT16, 4,
     Items<TW_UINT16>({0x1118, 0, 0x8001, 0}),
     {"          0:ICAP_XRESOLUTION,", "          1:,", "          2:CAP_KV_VERSION,", "          3:"}},
    {"supported caps, 0 first", CAP_SUPPORTEDCAPS, TWTY_UINT16, 2, Items<TW_UINT16>({0, 0x0101}),
     {"          0:,", "          1:ICAP_PIXELTYPE"}},
    {"index right-aligned in three places", 0, TWTY_UINT8, 12, Items<TW_UINT8>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}),
     {"          0:0x00,", "          1:0x01,", "          2:0x02,", "          3:0x03,", "          4:0x04,",
      "          5:0x05,", "          6:0x06,", "          7:0x07,", "          8:0x08,", "          9:0x09,",
      "         10:0x0a,", "         11:0x0b"}},
};

class ItemListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ItemListTest, RendersBlock) {
    const ListCase& c = GetParam();
    const Bytes items = c.items;
    std::string expected = Crlf({"      ItemList = {"});
    for (const std::string& line : c.itemLines) expected += line + "\r\n";
    expected += Crlf({"      }"});
    EXPECT_EQ(Render([&](CParaAnalyze& a) { a.MakeItemList(c.cap, c.itemType, c.numItems, items.data()); }), expected)
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(Lists, ItemListTest, ::testing::ValuesIn(kListCases),
                         [](const ::testing::TestParamInfo<ListCase>& info) { return std::to_string(info.index); });

TEST(ItemListLong, FullWidthStringsKeepEveryLineWhole) {
    // Eight lines of 271 bytes: more than one batch of lines, still under the written limit.
    Bytes items;
    std::string expected = Crlf({"      ItemList = {"});
    for (int i = 0; i < 8; ++i) {
        const std::string text(256, static_cast<char>('a' + i));
        items.insert(items.end(), text.begin(), text.end());
        expected += "          " + std::to_string(i) + ":" + text + (i < 7 ? "," : "") + "\r\n";
    }
    expected += Crlf({"      }"});
    EXPECT_EQ(Render([&](CParaAnalyze& a) { a.MakeItemList(0, TWTY_STR255, 8, items.data()); }), expected);
}

TEST(ItemListCut, HugeCountStopsAtTheWrittenLimit) {
    FixedArena arena(0x32000000, 1 << 20);
    auto* items = static_cast<TW_UINT16*>(arena.Alloc(64));
    items[0] = 2;
    const auto start = std::chrono::steady_clock::now();
    std::string text;
    {
        CParaAnalyze analyzer;
        CTraceText out;
        analyzer.m_pOutBuf = &out;
        analyzer.MakeItemList(ICAP_PIXELTYPE, TWTY_UINT16, 4000000000u, reinterpret_cast<const TW_UINT8*>(items));
        EXPECT_TRUE(out.Full());
        text.assign(out.Data(), out.Length());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // The text up to the limit is the list as it would be rendered without the limit.
    ASSERT_GE(text.size(), CTraceText::kWrittenLimit);
    std::string expected = Crlf({"      ItemList = {", "          0:TWPT_RGB,"});
    for (int i = 1; expected.size() <= CTraceText::kWrittenLimit; ++i) {
        char line[64];
        snprintf(line, sizeof(line), "        %3d:TWPT_BW,\r\n", i);
        expected += line;
    }
    EXPECT_EQ(text.substr(0, CTraceText::kWrittenLimit), expected.substr(0, CTraceText::kWrittenLimit));
}

}  // namespace
