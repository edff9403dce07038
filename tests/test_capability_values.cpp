// Capability values as text: single items of every item type, 16-bit values through the
// capability maps, and item lists with their strides, commas, escapes and unreadable types.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <typename T>
Bytes Items(std::initializer_list<T> values) {
    Bytes bytes(values.size() * sizeof(T));
    memcpy(bytes.data(), values.begin(), bytes.size());
    return bytes;
}

// Text fields of `width` bytes each: the text, its NUL, then bytes that must never show.
Bytes Fields(std::initializer_list<std::string> texts, size_t width) {
    Bytes bytes;
    for (const std::string& t : texts) {
        const size_t at = bytes.size();
        bytes.resize(at + width, '#');
        memcpy(&bytes[at], t.data(), t.size());
        if (t.size() < width) bytes[at + t.size()] = '\0';
    }
    return bytes;
}

TW_FIX32 Fix(TW_INT16 whole, TW_UINT16 frac) { return TW_FIX32{whole, frac}; }

// TW_UNI512 items: the characters, a NUL, then characters that must never show.
Bytes Wide(std::initializer_list<std::u32string> texts) {
    Bytes bytes;
    for (const std::u32string& t : texts) {
        std::vector<wchar_t> field(512, L'#');
        for (size_t i = 0; i < t.size() && i < field.size(); ++i) field[i] = static_cast<wchar_t>(t[i]);
        if (t.size() < field.size()) field[t.size()] = 0;
        const size_t at = bytes.size();
        bytes.resize(at + sizeof(TW_UNI512));
        memcpy(&bytes[at], field.data(), sizeof(TW_UNI512));
    }
    return bytes;
}

// The TWAIN 2.5 item types and frames in lists are rendered by the linux build only.
#if defined(TRACEWELL_ABI_LINUX)
constexpr bool kTwain25 = true;
#else
constexpr bool kTwain25 = false;
#endif
const std::string kNotImpl = "!!! not implemented.!!!";
std::string Twain25(const std::string& rendered) { return kTwain25 ? rendered : kNotImpl; }

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
    {"int8 -128", 0, TWTY_INT8, Items<TW_INT8>({-128}), "0xffffff80"},
    {"uint8 128 stays unsigned", 0, TWTY_UINT8, Items<TW_UINT8>({128}), "0x80"},
    {"uint32 all ones prints signed", 0, TWTY_UINT32, Items<TW_UINT32>({4294967295u}), "-1"},
    {"uint16 65535 stays unsigned", ICAP_BITDEPTH, TWTY_UINT16, Items<TW_UINT16>({65535}), "65535"},
    {"uint16 named through its map", ICAP_UNITS, TWTY_UINT16, Items<TW_UINT16>({1}), "TWUN_CENTIMETERS"},
    {"bool false", 0, TWTY_BOOL, Items<TW_BOOL>({0}), "false"},
    {"bool 2 is true", 0, TWTY_BOOL, Items<TW_BOOL>({2}), "true"},
    {"bool high byte only is true", 0, TWTY_BOOL, Items<TW_BOOL>({0x0100}), "true"},
    {"fix32 frac is unsigned", 0, TWTY_FIX32, Items({Fix(2, 0xC000)}), "2.750"},
    {"frame in field order", 0, TWTY_FRAME, Items({TW_FRAME{Fix(1, 0), Fix(2, 0x8000), Fix(3, 0x4000), Fix(-4, 0)}}),
     "1.000,2.500,3.250,-4.000"},
    {"str32 without nul stops at 34", 0, TWTY_STR32, Fields({k34}, 34), k34},
    {"str64 without nul stops at 66", 0, TWTY_STR64, Fields({k66}, 66), k66},
    {"str128 without nul stops at 130", 0, TWTY_STR128, Fields({k130}, 130), k130},
    {"str255 without nul stops at 256", 0, TWTY_STR255, Fields({k256}, 256), k256},
    {"an unknown type reads nothing past the field", 0, 16, Items<TW_UINT32>({0x41414141}), "!!! not implemented.!!!"},
    // TWTY_STR1024 and TWTY_UNI512: the value buffer takes 511 characters of them.
    {"str1024 with nul", 0, TWTY_STR1024, Fields({"Kovar"}, 1026), Twain25("Kovar")},
    {"str1024 without nul stops at the value buffer", 0, TWTY_STR1024, Fields({std::string(1026, 'e')}, 1026),
     Twain25(std::string(511, 'e'))},
    {"uni512 ascii", 0, TWTY_UNI512, Wide({U"Kovar Scan"}), Twain25("Kovar Scan")},
    {"uni512 non-ascii as utf-8", 0, TWTY_UNI512, Wide({U"\u00e9\u20ac\U0001F600"}),
     Twain25("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80")},
    {"uni512 surrogate and beyond U+10FFFF escaped", 0, TWTY_UNI512,
     [] {
         Bytes b = Wide({U"a"});
         const wchar_t odd[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), L'z', 0};
         memcpy(b.data(), odd, sizeof(odd));
         return b;
     }(),
     Twain25("a\\U0000d800\\U00110000z")},
    {"uni512 without nul stops at 512 characters", 0, TWTY_UNI512, Wide({std::u32string(512, U'w')}),
     Twain25(std::string(511, 'w'))},
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
    {"units beyond table falls back", ICAP_UNITS, 9, "ERROR!(9)"},
    {"last row of the map", ICAP_OVERSCAN, 4, "TWOV_ALL"},
    {"supported sizes 8: skipped in the macos build, TWAIN 2.5's TWSS_B in the linux one", ICAP_SUPPORTEDSIZES, 8,
     kTwain25 ? "TWSS_B" : "ERROR!(8)"},
    {"supported sizes alias prints the first listed", ICAP_SUPPORTEDSIZES, 12, "TWSS_B3"},
    {"orientation alias prints the first listed", ICAP_ORIENTATION, 3, "TWOR_ROT270"},
    {"supported sizes end at 53 in the macos build", ICAP_SUPPORTEDSIZES, 54, kTwain25 ? "TWSS_MAXSIZE" : "ERROR!(54)"},
    {"supported sizes end at 54 in the linux build", ICAP_SUPPORTEDSIZES, 55, "ERROR!(55)"},
    {"first row of the map", ICAP_BITDEPTHREDUCTION, 0, "TWBR_THRESHOLD"},
    {"device event custom base", CAP_DEVICEEVENT, 0x8000, "TWDE_CUSTOMEVENTS"},
    // VALTOCAPKV rows
    {"vendor ui mode", CAP_KV_UIMODE, 2, "TWKV_UI_EASY"},
    {"vendor film type", ICAP_KV_FILMTYPE, 1, "TWKV_FT_NEGA"},
    {"vendor feeder type carries TWKV_FT_", CAP_KV_FEEDERTYPE, 1, "TWKV_FT_MPF"},
    {"vendor value beyond table", CAP_KV_UIMODE, 7, "ERROR!(7)"},
    {"vendor row without its vendor range", 0x0081, 1, "1"},
    // no row: plain decimal
    {"standard without row", ICAP_BITDEPTH, 8, "8"},
    {"custom base is on the standard side, no row", CAP_CUSTOMBASE, 3, "3"},
    {"vendor without row", CAP_KV_TPUENABLED, 1, "1"},
    {"vendor capability value is not looked up in the standard map", 0x8101, 2, "2"},
    // CAP_KV_VERSION: major.minor in hexadecimal, never through a map
    {"version 1.10", CAP_KV_VERSION, 0x0110, "1.10"},
    {"version a.5", CAP_KV_VERSION, 0x0A05, "a.5"},
    {"version ff.ff", CAP_KV_VERSION, 0xFFFF, "ff.ff"},
    // CAP_SUPPORTEDCAPS: the value is a capability identifier
    {"supported custom base", CAP_SUPPORTEDCAPS, 0x8000, "CAP_CUSTOMBASE"},
    {"supported vendor cap from the ICAP_KV table", CAP_SUPPORTEDCAPS, 0x8003, "ICAP_KV_FILMTYPE"},
    {"supported unknown vendor", CAP_SUPPORTEDCAPS, 0x9999, "ERROR!(39321)"},
    {"supported 0 is empty", CAP_SUPPORTEDCAPS, 0, ""},
};

class ValToCapTest : public ::testing::TestWithParam<CapValueCase> {};

TEST_P(ValToCapTest, RendersValue) {
    const CapValueCase& c = GetParam();
    EXPECT_EQ(Value([&](CParaAnalyze& a, char* dest) { a.ValToCap(c.cap, c.value, dest); }), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Maps, ValToCapTest, ::testing::ValuesIn(kCapValueCases),
                         [](const ::testing::TestParamInfo<CapValueCase>& info) { return std::to_string(info.index); });

// ---- MakeItemList -----------------------------------------------------------------------------

struct ListCase {
    const char* what;
    TW_UINT16 cap;
    TW_UINT16 itemType;
    TW_UINT32 numItems;
    Bytes items;  // exactly the bytes the list may read
    std::vector<std::string> itemLines;
};

const ListCase kListCases[] = {
    {"empty", ICAP_PIXELTYPE, TWTY_UINT16, 0, {}, {}},
    {"one item has no comma", ICAP_PIXELTYPE, TWTY_UINT16, 1, Items<TW_UINT16>({2}), {"          0:TWPT_RGB"}},
    {"three pixel types", ICAP_PIXELTYPE, TWTY_UINT16, 3, Items<TW_UINT16>({0, 1, 2}),
     {"          0:TWPT_BW,", "          1:TWPT_GRAY,", "          2:TWPT_RGB"}},
    {"int8 one byte apart", 0, TWTY_INT8, 3, Items<TW_INT8>({1, -1, 127}),
     {"          0:0x01,", "          1:0xffffffff,", "          2:0x7f"}},
    {"int16 two bytes apart", 0, TWTY_INT16, 2, Items<TW_INT16>({-1, 300}), {"          0:-1,", "          1:300"}},
    {"int32 four bytes apart", 0, TWTY_INT32, 2, Items<TW_INT32>({-70000, 70000}),
     {"          0:-70000,", "          1:70000"}},
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
#if defined(TRACEWELL_ABI_LINUX)
    {"frames read like a one-value frame", ICAP_FRAMES, TWTY_FRAME, 2,
     Items<TW_FRAME>({TW_FRAME{Fix(0, 0), Fix(0, 0), Fix(8, 0x8000), Fix(11, 0)},
                      TW_FRAME{Fix(1, 0), Fix(-2, 0x8000), Fix(3, 0x4000), Fix(4, 0)}}),
     {"          0:0.000,0.000,8.500,11.000,", "          1:1.000,-1.500,3.250,4.000"}},
    {"str1024 items 1026 bytes apart", 0, TWTY_STR1024, 2, Fields({"one", std::string(1026, 'x')}, 1026),
     {"          0:one,", "          1:" + std::string(1026, 'x')}},
    {"uni512 items 512 characters apart", 0, TWTY_UNI512, 2, Wide({U"one", U"\u00e9t\u00e9"}),
     {"          0:one,", "          1:\xc3\xa9t\xc3\xa9"}},
#else
    {"frames are not read", 0, TWTY_FRAME, 2, {}, {"          0:" + kNotImpl + ",", "          1:" + kNotImpl}},
    {"str1024 items are not read", 0, TWTY_STR1024, 1, {}, {"          0:" + kNotImpl}},
    {"uni512 items are not read", 0, TWTY_UNI512, 1, {}, {"          0:" + kNotImpl}},
#endif
    {"control characters of text items are escaped", 0, TWTY_STR32, 4,
     Fields({"a\nb", "\r\tend", std::string("\x01\x1f\x7f", 3), "\\n stays"}, 34),
     {"          0:a\\nb,", "          1:\\r\\tend,", "          2:\\x01\\x1f\\x7f,", "          3:\\n stays"}},
    {"unknown type is not read", 0, 16, 3, {},
     {"          0:" + kNotImpl + ",", "          1:" + kNotImpl + ",", "          2:" + kNotImpl}},
    {"supported caps, 0 shows empty every time", CAP_SUPPORTEDCAPS, TWTY_UINT16, 4,
     Items<TW_UINT16>({0x1118, 0, 0x8001, 0}),
     {"          0:ICAP_XRESOLUTION,", "          1:,", "          2:CAP_KV_VERSION,", "          3:"}},
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

}  // namespace
