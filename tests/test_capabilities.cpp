// Capability values and containers where a fault would hide from the round trip: items of every
// type at the edges of their sign and width, 16-bit values through the capability maps and their
// fallbacks, item lists, containers left closed, containers that lie about what their block holds,
// and a traced call whose huge item list is cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Common/DSMInterface.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "support/TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <typename T>
Bytes Raw(const T& value) {
    Bytes bytes(sizeof(T));
    memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

// A block of exactly `size` bytes holding each part at its offset, as far as it fits.
Bytes Layout(size_t size, std::vector<std::pair<size_t, Bytes>> parts) {
    Bytes block(size, 0);
    for (const auto& part : parts)
        for (size_t i = 0; i < part.second.size() && part.first + i < size; ++i) block[part.first + i] = part.second[i];
    return block;
}

// A container block from the data source's own allocator, sized exactly, so the sanitizer sees
// any read past it. Freed with the object.
class Container {
public:
    explicit Container(const Bytes& bytes) : m_handle(CDSMInterface::AllocMemory(static_cast<TW_UINT32>(bytes.size()))) {
        if (!bytes.empty()) memcpy(CDSMInterface::LockMemory(m_handle), bytes.data(), bytes.size());
        CDSMInterface::UnlockMemory(m_handle);
    }
    ~Container() { CDSMInterface::FreeMemory(m_handle); }
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;
    TW_HANDLE Handle() const { return m_handle; }

private:
    TW_HANDLE m_handle;
};

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

// TW_UNI512 items: the characters (UTF-16 where wchar_t has 16 bits), a NUL, then characters that
// must never show.
Bytes Wide(std::initializer_list<std::u32string> texts) {
    Bytes bytes;
    for (const std::u32string& t : texts) {
        std::vector<wchar_t> units;
        for (const char32_t c : t) {
            if (sizeof(wchar_t) == 2 && c >= 0x10000) {
                units.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
                units.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                units.push_back(static_cast<wchar_t>(c));
            }
        }
        std::vector<wchar_t> field(512, L'#');
        std::copy_n(units.begin(), std::min(units.size(), field.size()), field.begin());
        if (units.size() < field.size()) field[units.size()] = 0;
        const size_t at = bytes.size();
        bytes.resize(at + sizeof(TW_UNI512));
        memcpy(&bytes[at], field.data(), sizeof(TW_UNI512));
    }
    return bytes;
}

// The TWAIN 2.5 item types and frames in lists are rendered by the linux build only. The unknown
// type is one that neither build renders or names (13 to 15 are TWAIN 2.5 types in the linux one).
#if !TRACEWELL_ABI_REFERENCE
constexpr TW_UINT16 kUnknownType = 16;
const std::string kUnknownTypeName = "ERROR!(16)";
#else
constexpr TW_UINT16 kUnknownType = 13;
const std::string kUnknownTypeName = "ERROR!(13)";
#endif
const std::string kNotImpl = "!!! not implemented.!!!";
const std::string kNotInBlock = "!!! not in the block.!!!";
const std::string kWider = "!!! wider than its field.!!!";
std::string Twain25(const std::string& rendered) { return kLinux ? rendered : kNotImpl; }

// Runs `render` on an analyzer whose destination is pre-filled, so a missing end shows.
std::string Value(const std::function<void(CParaAnalyze&, char*)>& render) {
    CParaAnalyze analyzer;
    char dest[CParaAnalyze::kValueSize];
    memset(dest, 'Z', sizeof(dest) - 1);
    dest[sizeof(dest) - 1] = '\0';
    render(analyzer, dest);
    return dest;
}

constexpr size_t kOneValueItem = offsetof(TW_ONEVALUE, Item);
constexpr size_t kEnumItems = offsetof(TW_ENUMERATION, ItemList);
constexpr size_t kArrayItems = offsetof(TW_ARRAY, ItemList);
constexpr size_t kArrayNumItems = offsetof(TW_ARRAY, NumItems);
constexpr size_t kEnumNumItems = offsetof(TW_ENUMERATION, NumItems);

// A one-value block just large enough for its item (and never smaller than the structure).
Bytes OneValue(TW_UINT16 itemType, const Bytes& item) {
    return Layout(std::max(sizeof(TW_ONEVALUE), kOneValueItem + item.size()), {{0, Raw(itemType)}, {kOneValueItem, item}});
}

// Renders the record of a call of `cap` that returned `rc`; the container only through the
// container dispatch when `containerOnly` is set.
std::string Record(TW_UINT16 cap, TW_UINT16 conType, TW_HANDLE handle, TW_UINT16 rc, bool containerOnly = false) {
    TW_CAPABILITY record{cap, conType, handle};
    return Render([&](CParaAnalyze& a) {
        a.SetCall({0, 0, 0, nullptr, rc});
        if (containerOnly) a.TwContainerAnalyaze(&record);
        else a.TwCapabilityAnalyze(&record);
    });
}

// ---- single items ------------------------------------------------------------------------------

struct ItemCase {
    const char* what;
    TW_UINT16 cap;
    TW_UINT16 itemType;
    Bytes item;  // exactly the bytes the item may occupy
    std::string expected;
};

const ItemCase kItemCases[] = {
    {"int8 -128", 0, TWTY_INT8, Items<TW_INT8>({-128}), "0xffffff80"},
    {"uint8 128 stays unsigned", 0, TWTY_UINT8, Items<TW_UINT8>({128}), "0x80"},
    {"uint32 all ones prints signed", 0, TWTY_UINT32, Items<TW_UINT32>({4294967295u}), "-1"},
    // 16-bit values through the capability maps, whose names are the tables' and the maps', pinned by
    // their dumps; CAP_KV_VERSION as major.minor in hexadecimal, never through a map.
    {"uint16 65535 stays unsigned", ICAP_BITDEPTH, TWTY_UINT16, Items<TW_UINT16>({65535}), "65535"},
    {"a value beyond its table falls back", ICAP_UNITS, TWTY_UINT16, Items<TW_UINT16>({9}), "ERROR!(9)"},
    {"an entry the linux build appends to a table", ICAP_PIXELTYPE, TWTY_UINT16, Items<TW_UINT16>({9}),
     kLinux ? "TWPT_LAB" : "ERROR!(9)"},
    {"a vendor capability's row", CAP_KV_FEEDERTYPE, TWTY_UINT16, Items<TW_UINT16>({1}), "TWKV_FT_MPF"},
    {"version ff.ff", CAP_KV_VERSION, TWTY_UINT16, Items<TW_UINT16>({0xFFFF}), "ff.ff"},
    {"bool high byte only is true", 0, TWTY_BOOL, Items<TW_BOOL>({0x0100}), "true"},
    {"fix32 frac is unsigned", 0, TWTY_FIX32, Items({TW_FIX32{2, 0xC000}}), "2.750"},
    // TWTY_STR1024 and TWTY_UNI512: the value buffer takes 511 characters of them.
    {"str1024 without nul stops at the value buffer", 0, TWTY_STR1024, Fields({std::string(1026, 'e')}, 1026),
     Twain25(std::string(511, 'e'))},
    {"uni512 non-ascii as utf-8", 0, TWTY_UNI512, Wide({U"\u00e9\u20ac\U0001F600"}),
     Twain25("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80")},
    // UTF-32 (wchar_t of 32 bits): a surrogate and a value past U+10FFFF; UTF-16: a high surrogate
    // followed by no low one, and a low one alone.
    {"uni512 unpaired surrogate and beyond U+10FFFF escaped", 0, TWTY_UNI512,
     Wide({sizeof(wchar_t) == 2 ? std::u32string{U'a', 0xD800, U'y', 0xDC00, U'z'}
                                : std::u32string{U'a', 0xD800, 0x110000, U'z'}}),
     Twain25(sizeof(wchar_t) == 2 ? "a\\U0000d800y\\U0000dc00z" : "a\\U0000d800\\U00110000z")},
    {"uni512 without nul stops at 512 characters", 0, TWTY_UNI512, Wide({std::u32string(512, U'w')}),
     Twain25(std::string(511, 'w'))},
};

// Each item sits in a heap block of its own size, so any read past it is caught by the sanitizer.
TEST(SingleItems, RenderAtTheEdgesOfTheirTypes) {
    for (const ItemCase& c : kItemCases) {
        const Bytes item = c.item;
        EXPECT_EQ(Value([&](CParaAnalyze& a, char* dest) { a.ValToStr(c.cap, c.itemType, item.data(), dest); }), c.expected)
            << c.what;
    }
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

// Eight texts of 256 characters without their NUL, and their lines.
Bytes FullWidthTexts() {
    Bytes bytes;
    for (int i = 0; i < 8; ++i) bytes.insert(bytes.end(), 256, static_cast<uint8_t>('a' + i));
    return bytes;
}
std::vector<std::string> FullWidthLines() {
    std::vector<std::string> lines;
    for (int i = 0; i < 8; ++i) lines.push_back("          " + std::to_string(i) + ":" + std::string(256, 'a' + i) + (i < 7 ? "," : ""));
    return lines;
}

const ListCase kListCases[] = {
    {"empty", ICAP_PIXELTYPE, TWTY_UINT16, 0, {}, {}},
    {"one item has no comma", ICAP_PIXELTYPE, TWTY_UINT16, 1, Items<TW_UINT16>({2}), {"          0:TWPT_RGB"}},
    {"control characters of text items are escaped", 0, TWTY_STR32, 4,
     Fields({"a\nb", "\r\tend", std::string("\x01\x1f\x7f", 3), "\\n stays"}, 34),
     {"          0:a\\nb,", "          1:\\r\\tend,", "          2:\\x01\\x1f\\x7f,", "          3:\\n stays"}},
    {"supported caps, 0 shows empty every time", CAP_SUPPORTEDCAPS, TWTY_UINT16, 4,
     Items<TW_UINT16>({0x1118, 0, 0x8001, 0}),
     {"          0:ICAP_XRESOLUTION,", "          1:,", "          2:CAP_KV_VERSION,", "          3:"}},
    // Eight lines of 271 bytes: more than one batch of lines, still under the written limit.
    {"full-width strings keep every line whole", 0, TWTY_STR255, 8, FullWidthTexts(), FullWidthLines()},
};

TEST(ItemLists, RenderEveryItemOnALineOfItsOwn) {
    for (const ListCase& c : kListCases) {
        const Bytes items = c.items;
        std::string expected = Crlf({"      ItemList = {"});
        for (const std::string& line : c.itemLines) expected += line + "\r\n";
        expected += Crlf({"      }"});
        EXPECT_EQ(Render([&](CParaAnalyze& a) { a.MakeItemList(c.cap, c.itemType, c.numItems, items.data()); }), expected)
            << c.what;
    }
}

// ---- each container formatter, from blocks that tell the truth and from blocks that lie --------

// A block of another allocator, whose size cannot be known: a page that cannot be read follows
// its last byte, so any read past it faults. Unreadable: the block (or, for the macos handle
// convention, the master pointer) lies in that page.
class GuardedBlock {
public:
    enum Where { kReadable, kBlockUnreadable, kMasterUnreadable };

    explicit GuardedBlock(const Bytes& bytes, Where where = kReadable)
        : m_bytes(where == kReadable ? bytes.size() : 0) {
        if (where == kReadable && !bytes.empty()) memcpy(m_bytes.Data(), bytes.data(), bytes.size());
        // The master pointer lies in the spare page, which stays readable.
        char** const master = reinterpret_cast<char**>(m_bytes.Spare());
        *master = m_bytes.Data();
#if defined(TRACEWELL_ABI_MACOS)
        m_handle = where == kMasterUnreadable ? reinterpret_cast<char**>(m_bytes.Data()) : master;
#else
        m_handle = m_bytes.Data();
#endif
    }

    TW_HANDLE Handle() const { return m_handle; }

private:
    GuardedBytes m_bytes;
    TW_HANDLE m_handle;
};

std::string HeaderLine(const std::string& name, size_t held, size_t header) {
    return "    " + name + " = { !!! " + std::to_string(held) + " of its " + std::to_string(header) +
           " header bytes in the block.!!! }";
}

// A one-value container's lines.
std::vector<std::string> OneValueLines(const std::string& itemType, const std::string& item) {
    return {"    TW_ONEVALUE = {", "      ItemType = [" + itemType + "]", "      Item     = [" + item + "]", "    }"};
}

struct LyingCase {
    const char* what;
    TW_UINT16 cap;
    TW_UINT16 conType;
    Bytes block;
    std::vector<std::string> lines;  // as rendered from a block of known size
};


// Blocks that hold what they claim render the same whatever is known of their size.
const std::vector<LyingCase>& LyingCases() {
    static const std::vector<LyingCase> cases = {
        {"one-value str32 without nul stops at its width", CAP_AUTHOR, TWON_ONEVALUE,
         OneValue(TWTY_STR32, Bytes(sizeof(TW_STR32), 'k')),
         OneValueLines("TWTY_STR32", std::string(34, 'k'))},
        {"one-value of an unknown type reads only its field", ICAP_UNITS, TWON_ONEVALUE,
         OneValue(kUnknownType, Raw(TW_UINT32{0})),
         OneValueLines(kUnknownTypeName, kNotImpl)},
        {"array of an unknown type", ICAP_UNITS, TWON_ARRAY,
         Layout(kArrayItems + 1, {{0, Raw(kUnknownType)}, {kArrayNumItems, Raw(TW_UINT32{2})}}),
         {"    TW_ARRAY = {", "      ItemType = [" + kUnknownTypeName + "]", "      NumItems = [2]", "      ItemList = {",
          "          0:" + kNotImpl + ",", "          1:" + kNotImpl, "      }", "    }"}},
        // Blocks that lie about what they hold.
        {"an enumeration in a 0-byte handle", ICAP_PIXELTYPE, TWON_ENUMERATION, Layout(0, {}),
         {HeaderLine("TW_ENUMERATION", 0, kEnumItems)}},
        {"a one-value whose block ends inside ItemType", ICAP_UNITS, TWON_ONEVALUE,
         Layout(1, {{0, Raw(TWTY_UINT16)}}), {HeaderLine("TW_ONEVALUE", 1, kOneValueItem)}},
        {"an array whose block ends inside NumItems", ICAP_PIXELTYPE, TWON_ARRAY,
         Layout(kArrayNumItems + 2, {{0, Raw(TWTY_UINT16)}}), {HeaderLine("TW_ARRAY", kArrayNumItems + 2, kArrayItems)}},
        {"a range whose block ends inside ItemType", ICAP_UNITS, TWON_RANGE, Layout(1, {}),
         {HeaderLine("TW_RANGE", 1, offsetof(TW_RANGE, MinValue))}},
        {"an array claiming 0xFFFFFFFF items in a block holding two", ICAP_PIXELTYPE, TWON_ARRAY,
         Layout(kArrayItems + 4, {{0, Raw(TWTY_UINT16)},
                                  {kArrayNumItems, Raw(TW_UINT32{0xFFFFFFFF})},
                                  {kArrayItems, Raw(TW_UINT16{TWPT_RGB})},
                                  {kArrayItems + 2, Raw(TW_UINT16{TWPT_GRAY})}}),
         {"    TW_ARRAY = {", "      ItemType = [TWTY_UINT16]", "      NumItems = [4294967295]", "      ItemList = {",
          "          0:TWPT_RGB,", "          1:TWPT_GRAY,", "        !!! 4294967293 items not in the block.!!!",
          "      }", "    }"}},
        {"an array of uint16 whose block ends one byte into its second item", ICAP_PIXELTYPE, TWON_ARRAY,
         Layout(kArrayItems + 3, {{0, Raw(TWTY_UINT16)}, {kArrayNumItems, Raw(TW_UINT32{2})}, {kArrayItems, Raw(TW_UINT16{TWPT_RGB})}}),
         {"    TW_ARRAY = {", "      ItemType = [TWTY_UINT16]", "      NumItems = [2]", "      ItemList = {", "          0:TWPT_RGB,",
          "        !!! 1 items not in the block.!!!", "      }", "    }"}},
        {"a one-value claiming TWTY_STR255 in a sizeof(TW_ONEVALUE) block, its text ending there", CAP_AUTHOR,
         TWON_ONEVALUE, Layout(sizeof(TW_ONEVALUE), {{0, Raw(TWTY_STR255)}, {kOneValueItem, Fields({"abc"}, 4)}}),
         OneValueLines("TWTY_STR255", "abc")},
        {"a one-value claiming TWTY_STR255 in a sizeof(TW_ONEVALUE) block without its NUL", CAP_AUTHOR,
         TWON_ONEVALUE, Layout(sizeof(TW_ONEVALUE), {{0, Raw(TWTY_STR255)}, {kOneValueItem, Fields({"abcd"}, 4)}}),
         OneValueLines("TWTY_STR255", kNotInBlock)},
        {"a one-value claiming TWTY_FRAME in a sizeof(TW_ONEVALUE) block", ICAP_FRAMES, TWON_ONEVALUE,
         Layout(sizeof(TW_ONEVALUE), {{0, Raw(TWTY_FRAME)}, {kOneValueItem, Raw(TW_UINT32{0x00010001})}}),
         OneValueLines("TWTY_FRAME", kNotInBlock)},
        {"a range whose item type is TWTY_FRAME", ICAP_FRAMES, TWON_RANGE,
         Layout(sizeof(TW_RANGE), {{0, Raw(TWTY_FRAME)}}),
         {"    TW_RANGE = {", "      ItemType     = [TWTY_FRAME]", "      MinValue     = [" + kWider + "]",
          "      MaxValue     = [" + kWider + "]", "      StepSize     = [" + kWider + "]",
          "      DefaultValue = [" + kWider + "]", "      CurrentValue = [" + kWider + "]", "    }"}},
        {"a range of uint16 whose block ends after MaxValue", ICAP_PIXELTYPE, TWON_RANGE,
         Layout(offsetof(TW_RANGE, StepSize),
                {{0, Raw(TWTY_UINT16)}, {offsetof(TW_RANGE, MinValue), Raw(TW_UINT32{TWPT_GRAY})},
                 {offsetof(TW_RANGE, MaxValue), Raw(TW_UINT32{TWPT_RGB})}}),
         {"    TW_RANGE = {", "      ItemType     = [TWTY_UINT16]", "      MinValue     = [TWPT_GRAY]",
          "      MaxValue     = [TWPT_RGB]", "      StepSize     = [" + kNotInBlock + "]",
          "      DefaultValue = [" + kNotInBlock + "]", "      CurrentValue = [" + kNotInBlock + "]", "    }"}},
    };
    return cases;
}

// What the same block shows when its size cannot be known: the bytes past it are not readable.
std::vector<std::string> AsUnknownSize(const LyingCase& c) {
    std::vector<std::string> lines;
    for (std::string line : c.lines) {
        const size_t header = line.find(" header bytes in the block.!!! }");
        if (header != std::string::npos) line = line.substr(0, line.find("{ !!! ")) + "{ !!! not readable.!!! }";
        for (size_t at; (at = line.find("not in the block")) != std::string::npos;)
            line.replace(at, strlen("not in the block"), "not readable");
        lines.push_back(line);
    }
    return lines;
}

TEST(LyingContainers, AreReadNoFurtherThanTheirBlockHoldsOrIsReadable) {
    for (const LyingCase& c : LyingCases()) {
        const Container container(c.block);
        EXPECT_EQ(Record(c.cap, c.conType, container.Handle(), TWRC_SUCCESS, true), Crlf(c.lines)) << c.what;
        GuardedBlock block(c.block);
        EXPECT_EQ(Record(c.cap, c.conType, block.Handle(), TWRC_SUCCESS, true), Crlf(AsUnknownSize(c)))
            << c.what << ", its size unknown";
    }
}

TEST(UnreadableContainer, RendersOneLineForEachContainerType) {
    const struct {
        TW_UINT16 conType;
        const char* name;
    } kTypes[] = {{TWON_ARRAY, "TW_ARRAY"},
                  {TWON_ENUMERATION, "TW_ENUMERATION"},
                  {TWON_ONEVALUE, "TW_ONEVALUE"},
                  {TWON_RANGE, "TW_RANGE"}};
    for (const auto where : {GuardedBlock::kBlockUnreadable, GuardedBlock::kMasterUnreadable}) {
        for (const auto& t : kTypes) {
            GuardedBlock block(Bytes(), where);
            EXPECT_EQ(Record(ICAP_UNITS, t.conType, block.Handle(), TWRC_SUCCESS, true),
                      Crlf({std::string("    ") + t.name + " = { !!! not readable.!!! }"}))
                << t.name << " " << where;
        }
    }
}

// ---- the TW_CAPABILITY record, and when its container is shown ----------------------------------

// A valid one-value container behind every record: it shows whenever it is opened.
TEST(CapabilityRecord, ShowsTheContainerOnlyWhenItCanAndShould) {
    const struct {
        const char* what;
        TW_UINT16 conType, msg, rc;
        bool nullHandle, shows;
    } cases[] = {
        // A failed MSG_SET shows its container in the linux build only: the session traces' golden copies.
        {"a failed MSG_SETCONSTRAINT shows the value refused (linux)", TWON_ONEVALUE, 0x000C, TWRC_FAILURE, false, kLinux},
        {"a failed MSG_GET opens no container", TWON_ONEVALUE, MSG_GET, TWRC_FAILURE, false, false},
        {"null handle", TWON_ONEVALUE, MSG_GET, TWRC_SUCCESS, true, false},
        {"container type 1, which is no container", 1, MSG_GET, TWRC_SUCCESS, false, false},
    };
    const Container container(OneValue(TWTY_FIX32, Raw(TW_FIX32{300, 0})));
    for (const auto& c : cases) {
        const TW_CAPABILITY record{ICAP_XRESOLUTION, c.conType, c.nullHandle ? nullptr : container.Handle()};
        const std::string text = Render([&](CParaAnalyze& a) {
            a.SetCall({0, 0, c.msg, nullptr, c.rc});
            a.TwCapabilityAnalyze(&record);
        });
        const std::string tail = (c.shows ? Crlf(OneValueLines("TWTY_FIX32", "300.000"))
                                          : "    hContainer = " + PointerText(record.hContainer) + "\r\n") + "  }\r\n";
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail) << c.what;
    }
}

// ---- a whole call through DS_Entry ----------------------------------------------------------------

// 4000000000 items claimed, 600 there (more than can show), then memory that cannot be read: the
// text reaches the cut promptly, before the items run out, and nothing says they were unreadable.
TEST(TracedCapability, HugeItemCountIsCutPromptlyBeforeItsUnreadableEnd) {
    GuardedBlock block(Layout(kEnumItems + 1200, {{0, Raw(TWTY_UINT16)},
                                                  {kEnumNumItems, Raw(TW_UINT32{4000000000u})},
                                                  {kEnumItems, Items<TW_UINT16>({TWPT_RGB, TWPT_GRAY})}}));
    // One call of MSG_GET in state 4, numbered from 1, whose source answers with the block.
    TW_CAPABILITY record = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
    const CParaAnalyze saved = g_cParaAnalyze;
    g_cParaAnalyze.SetTwainStatus(4);
    g_cParaAnalyze.SetSequenceNo(0);
    std::string trace;
    {
        TraceCapture capture;
        ScriptedScanner source;
        source.fill = [&](TW_MEMREF) { record = {ICAP_PIXELTYPE, TWON_ENUMERATION, block.Handle()}; };
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &record), TWRC_SUCCESS);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        trace = capture.Text();
    }
    g_cParaAnalyze = saved;

    const std::string request = Crlf({"[00001] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_GET (ICAP_PIXELTYPE)"});
    const std::string notice = "Size of CAP_xxx too long\r\n";
    ASSERT_EQ(trace.size(), request.size() + CTraceText::kWrittenLimit + notice.size());
    EXPECT_EQ(trace.substr(0, request.size()), request);
    EXPECT_EQ(trace.substr(trace.size() - notice.size()), notice);
    // The list runs on, item after item, up to the cut.
    const std::string head = Crlf({"      NumItems     = [4000000000]", "      CurrentIndex = [0]", "      DefaultIndex = [0]",
                                   "      ItemList = {", "          0:TWPT_RGB,", "          1:TWPT_GRAY,"});
    std::string expected = trace.substr(0, trace.find(head)) + head;
    for (int i = 2; expected.size() < request.size() + CTraceText::kWrittenLimit; ++i) {
        char line[64];
        snprintf(line, sizeof(line), "        %3d:TWPT_BW,\r\n", i);
        expected += line;
    }
    EXPECT_EQ(trace.substr(0, trace.size() - notice.size()), expected.substr(0, trace.size() - notice.size()));
}

}  // namespace
