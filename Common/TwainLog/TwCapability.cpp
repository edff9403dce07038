// Capability values and containers: single items and item lists as text, and the TW_CAPABILITY
// record with its one-value, range, enumeration or array container, read no further than the
// container's block holds.
#include <cstring>
#include <string_view>

#include "Common/DSMInterface.h"
#include "ParaAnalyze.h"
#include "Platform/Platform.h"

static const char kNotImplemented[] = "!!! not implemented.!!!";
static const char kNotInBlock[] = "!!! not in the block.!!!";
static const char kNotReadable[] = "!!! not readable.!!!";
static const char kWiderThanField[] = "!!! wider than its field.!!!";

// The linux build reads TWAIN 2.5 sessions: it renders the TWTY_STR1024 and TWTY_UNI512 items,
// frames in item lists, and the container of a MSG_SET or MSG_SETCONSTRAINT the source refused.
// The macos build renders all of these as it always did.
#if !TRACEWELL_ABI_REFERENCE
static constexpr bool kTwain25Items = true;
#else
static constexpr bool kTwain25Items = false;
#endif
static constexpr bool kShowsRefusedSet = kTwain25Items;
static constexpr TW_UINT16 kMsgSetConstraint = 0x000C;

// Value texts of the item lines and one-value items: room for a whole TW_STR1024, and for a
// TW_UNI512 as UTF-8.
static constexpr size_t kLongValueSize = 2304;

// Formats into dest (`size` bytes, at least 1), cut to fit and NUL-terminated.
template <typename S, typename... Args>
static void FormatTo(char* dest, size_t size, const S& format, Args... args) {
    const size_t written = fmt::format_to_n(dest, size - 1, format, args...).size;
    dest[written < size - 1 ? written : size - 1] = '\0';
}

// Items are read byte-wise: containers of the packed ABI hold them at unaligned addresses.
template <typename T>
static T ReadItem(const void* item) {
    T value;
    memcpy(&value, item, sizeof(value));
    return value;
}

// Bytes one item of the type takes; 0 for the types this build does not render, whose items are
// never read.
static size_t ItemWidth(TW_UINT16 itemType) {
    switch (itemType) {
        case TWTY_INT8: return sizeof(TW_INT8);
        case TWTY_INT16: return sizeof(TW_INT16);
        case TWTY_INT32: return sizeof(TW_INT32);
        case TWTY_UINT8: return sizeof(TW_UINT8);
        case TWTY_UINT16: return sizeof(TW_UINT16);
        case TWTY_UINT32: return sizeof(TW_UINT32);
        case TWTY_BOOL: return sizeof(TW_BOOL);
        case TWTY_FIX32: return sizeof(TW_FIX32);
        case TWTY_FRAME: return sizeof(TW_FRAME);
        case TWTY_STR32: return sizeof(TW_STR32);
        case TWTY_STR64: return sizeof(TW_STR64);
        case TWTY_STR128: return sizeof(TW_STR128);
        case TWTY_STR255: return sizeof(TW_STR255);
        case TWTY_STR1024: return kTwain25Items ? sizeof(TW_STR1024) : 0;
        case TWTY_UNI512: return kTwain25Items ? sizeof(TW_UNI512) : 0;
        default: return 0;
    }
}

// Bytes one item takes in an item list; 0 for the types a list does not read.
static size_t ListItemSize(TW_UINT16 itemType) {
    return itemType == TWTY_FRAME && !kTwain25Items ? 0 : ItemWidth(itemType);
}

static bool IsText(TW_UINT16 itemType) { return itemType >= TWTY_STR32 && itemType <= TWTY_UNI512; }

// Whether the `held` bytes at an item are all its rendering reads: its whole width, or for a text
// as much as reaches its NUL.
static bool ItemHeld(TW_UINT16 itemType, const TW_UINT8* item, size_t held) {
    if (held >= ItemWidth(itemType)) return true;
    if (item == nullptr || !IsText(itemType)) return false;
    if (itemType != TWTY_UNI512) return memchr(item, '\0', held) != nullptr;
    for (size_t at = 0; at + sizeof(wchar_t) <= held; at += sizeof(wchar_t))
        if (ReadItem<wchar_t>(item + at) == 0) return true;
    return false;
}

// A TW_UNI512 as UTF-8, up to its NUL or the `held` bytes there. Where wchar_t has 16 bits (Windows)
// the text is UTF-16 and a surrogate pair is one character. Characters that are no Unicode scalar
// value (unpaired surrogates, values past U+10FFFF) are written as the C escape "\Uxxxxxxxx";
// control characters stay raw here and are escaped where the text is written, like those of any
// string.
static void Uni512Text(const TW_UINT8* item, size_t held, char* dest, size_t size) {
    constexpr bool kUtf16 = sizeof(wchar_t) == 2;
    size_t out = 0;
    for (size_t at = 0; at + sizeof(wchar_t) <= held; at += sizeof(wchar_t)) {
        uint32_t c = static_cast<uint32_t>(ReadItem<wchar_t>(item + at)) & (kUtf16 ? 0xFFFFu : 0xFFFFFFFFu);
        if (c == 0) break;
        if (kUtf16 && c >= 0xD800 && c <= 0xDBFF && at + 2 * sizeof(wchar_t) <= held) {
            const uint32_t low = static_cast<uint32_t>(ReadItem<wchar_t>(item + at + sizeof(wchar_t))) & 0xFFFFu;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                at += sizeof(wchar_t);
            }
        }
        char bytes[16];
        size_t n = 0;
        if (c < 0x80) {
            bytes[n++] = static_cast<char>(c);
        } else if (c < 0x800) {
            bytes[n++] = static_cast<char>(0xC0 | c >> 6);
            bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
            bytes[n++] = static_cast<char>(0xE0 | c >> 12);
            bytes[n++] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0x10000 && c <= 0x10FFFF) {
            bytes[n++] = static_cast<char>(0xF0 | c >> 18);
            bytes[n++] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            n = fmt::format_to_n(bytes, sizeof(bytes), FMT_COMPILE("\\U{:08x}"), c).size;
        }
        if (out + n >= size) break;
        memcpy(dest + out, bytes, n);
        out += n;
    }
    dest[out] = '\0';
}

static const NameFinder& ItemTypes() {
    static const NameFinder kItemTypes(twty_macros);
    return kItemTypes;
}

static const NameFinder& ContainerTypes() {
    static const NameFinder kContainerTypes(twon_macros);
    return kContainerTypes;
}

// ---- single values --------------------------------------------------------------------------

// The text of one item into dest (`size` bytes); `held` bytes are there at the item, all of them
// that ItemHeld asks for.
static void RenderValue(CParaAnalyze& a, TW_UINT16 cap, TW_UINT16 itemType, const void* item, size_t held,
                        char* dest, size_t size) {
    const char* const text = static_cast<const char*>(item);
    const size_t width = ItemWidth(itemType);
    const size_t there = held < width ? held : width;
    switch (width == 0 ? TWTY_UNI512 + 1 : itemType) {
        case TWTY_INT8:
            FormatTo(dest, size, FMT_COMPILE("0x{:02x}"),
                     static_cast<unsigned>(static_cast<int32_t>(ReadItem<TW_INT8>(item))));
            break;
        case TWTY_UINT8: FormatTo(dest, size, FMT_COMPILE("0x{:02x}"), ReadItem<TW_UINT8>(item)); break;
        case TWTY_INT16: FormatTo(dest, size, FMT_COMPILE("{}"), ReadItem<TW_INT16>(item)); break;
        case TWTY_INT32:
        case TWTY_UINT32: FormatTo(dest, size, FMT_COMPILE("{}"), ReadItem<TW_INT32>(item)); break;
        case TWTY_UINT16: a.ValToCap(cap, ReadItem<TW_UINT16>(item), dest); break;
        case TWTY_BOOL: FormatTo(dest, size, FMT_COMPILE("{}"), ReadItem<TW_BOOL>(item) != 0 ? "true" : "false"); break;
        case TWTY_FIX32: FormatTo(dest, size, FMT_COMPILE("{:.3f}"), Fix32Value(ReadItem<TW_FIX32>(item))); break;
        case TWTY_FRAME: {
            const TW_FRAME frame = ReadItem<TW_FRAME>(item);
            FormatTo(dest, size, FMT_COMPILE("{:.3f},{:.3f},{:.3f},{:.3f}"), Fix32Value(frame.Left),
                     Fix32Value(frame.Top), Fix32Value(frame.Right), Fix32Value(frame.Bottom));
            break;
        }
        case TWTY_STR32:
        case TWTY_STR64:
        case TWTY_STR128:
        case TWTY_STR255:
        case TWTY_STR1024: FormatTo(dest, size, FMT_COMPILE("{}"), std::string_view(text, strnlen(text, there))); break;
        case TWTY_UNI512: Uni512Text(static_cast<const TW_UINT8*>(item), there, dest, size); break;
        default: FormatTo(dest, size, FMT_COMPILE("{}"), kNotImplemented); break;
    }
}

void CParaAnalyze::ValToStr(TW_UINT16 cap, TW_UINT16 itemType, const void* item, char* dest) {
    RenderValue(*this, cap, itemType, item, ItemWidth(itemType), dest, kValueSize);
}

void CParaAnalyze::ValToCap(TW_UINT16 cap, TW_UINT16 value, char* dest) {
    const TraceName name = ValueName(cap, value, dest);
    if (name.text.data() == dest) return;
    memcpy(dest, name.text.data(), name.text.size());
    dest[name.text.size()] = '\0';
}

TraceName CParaAnalyze::ValueName(TW_UINT16 cap, TW_UINT16 value, char* dest) {
    if (cap == CAP_KV_VERSION && VendorNaming()) {
        MakeCapKvVersion(value, dest);
        return {dest};
    }
    if (cap == CAP_SUPPORTEDCAPS) {
        MakeCapSupportedCaps(value, dest);
        return {dest};
    }
    if (const ValToCapEntry* const row = FindValueTable(cap)) return {NameOrFallback(row->table, row->count - 1, value, dest)};
    FormatTo(dest, kValueSize, FMT_COMPILE("{}"), value);
    return {dest};
}

// Identifier 0 names no capability and shows as an empty text.
void CParaAnalyze::MakeCapSupportedCaps(TW_UINT16 cap, char* dest) {
    if (cap == 0) {
        dest[0] = '\0';
        return;
    }
    LookupCapabilityName(cap, dest);
}

void CParaAnalyze::MakeCapKvVersion(TW_UINT16 version, char* dest) {
    FormatTo(dest, kValueSize, FMT_COMPILE("{:x}.{:x}"), version >> 8, version & 0xFFu);
}

// ---- item lists and containers ---------------------------------------------------------------

namespace {

// What a formatter may read of a container's block. A block of known size is read in place, and
// never past its end. A block of unknown size (another allocator's) is read through the
// platform's fault-free copy into a window, never further than the formatter allows, so that a
// block that lies about its items costs no more than the text that can be shown.
class BlockReader {
public:
    BlockReader(const void* block, size_t size)
        : m_block(static_cast<const TW_UINT8*>(block)), m_size(size), m_allowed(kFirstCopy), m_start(0), m_held(0) {}

    bool SizeKnown() const { return m_size != kUnknownBlockSize; }
    // Why bytes the formatter asked for are not there.
    const char* MissingText() const { return SizeKnown() ? kNotInBlock : kNotReadable; }

    // Bytes of a block of unknown size that may be copied ahead of what is asked, counted from the
    // block's start.
    void Allow(size_t end) { m_allowed = end; }

    // Up to `length` bytes at `offset` (at most kWindow), with in `held` how many are there.
    const TW_UINT8* Bytes(size_t offset, size_t length, size_t* held) {
        if (SizeKnown()) {
            *held = offset < m_size ? (length < m_size - offset ? length : m_size - offset) : 0;
            return m_block + offset;
        }
        if (length > kWindow) length = kWindow;
        if (offset < m_start || offset + length > m_start + m_held) {
            size_t count = m_allowed > offset + length ? m_allowed - offset : length;
            if (count > kWindow) count = kWindow;
            m_start = offset;
            m_held = PlatformCopyReadable(m_window, m_block + offset, count);
        }
        const size_t there = m_start + m_held - offset;
        *held = length < there ? length : there;
        return m_window + (offset - m_start);
    }

private:
    static constexpr size_t kWindow = 4096;
    // The first copy takes the header with the first items, so that a short container costs one
    // copy: fewer bytes than the text of any container could show.
    static constexpr size_t kFirstCopy = 128;

    const TW_UINT8* m_block;
    size_t m_size;
    size_t m_allowed;
    size_t m_start;
    size_t m_held;
    TW_UINT8 m_window[kWindow];
};

// The item lines of one list. A list may claim millions of items, so its lines are composed
// here without printf and reach the call's text in batches; formatting each through printf
// would cost more than all the rest of the call.
class ItemLines {
public:
    explicit ItemLines(CTraceText& out) : m_out(out), m_used(0) {}

    // True once the call's text, with the lines held here, has passed the written limit: no
    // later line could ever be written.
    bool Full() const { return m_out.Length() + m_used > CTraceText::kWrittenLimit; }

    // One list item, a comma unless it is the last item, and "\r\n". The text (at most
    // kLongValueSize - 1 characters of it) is escaped as every string taken from outside is;
    // a name is not.
    void Add(TW_UINT32 index, std::string_view text, bool last, bool named) {
        if (m_used + kMaxLine >= sizeof(m_lines)) Flush();
        static_assert(std::string_view(traceformat::kListItem) == "        {:3d}:{}", "the item line's shape");
        char* p = Copy(m_lines + m_used, traceformat::kListItemIndent);
        if (index < 1000) {
            p[0] = index >= 100 ? static_cast<char>('0' + index / 100) : ' ';
            p[1] = index >= 10 ? static_cast<char>('0' + index / 10 % 10) : ' ';
            p[2] = static_cast<char>('0' + index % 10);
            p += 3;
        } else {
            const fmt::format_int digits(index);
            memcpy(p, digits.data(), digits.size());
            p += digits.size();
        }
        *p++ = ':';
        if (named) {
            tracetext::PutText(p, text.data(), text.size());
            p += text.size();
        } else {
            const size_t length = text.size() < kLongValueSize - 1 ? text.size() : kLongValueSize - 1;
            const size_t plain = PlainLength(text.data(), length);
            memcpy(p, text.data(), plain);
            p += plain;
            if (plain < length) p += CopyEscaped(p, kMaxText - plain, text.data() + plain, length - plain);
        }
        if (!last) p = Copy(p, traceformat::kListItemSeparator);
        p = Copy(p, traceformat::kLineEnd);
        m_used = static_cast<size_t>(p - m_lines);
    }

    void Flush() {
        if (m_used == 0) return;
        m_out.Write(m_lines, m_used);
        m_used = 0;
    }

private:
    template <size_t N>
    static char* Copy(char* p, const char (&text)[N]) {
        memcpy(p, text, N - 1);
        return p + N - 1;
    }

    // The escaped text of one line: no more of it could ever be written.
    static constexpr size_t kMaxText = CTraceText::kWrittenLimit;
    // Longest line: the item's shape with a ten-digit index, its text, separator and line end.
    static constexpr size_t kMaxLine = sizeof(traceformat::kListItem) + 10 + kMaxText +
                                       sizeof(traceformat::kListItemSeparator) + sizeof(traceformat::kLineEnd);

    CTraceText& m_out;
    size_t m_used;
    char m_lines[2 * kMaxLine];
};

// Bytes of the shortest item line: indent, three-place index, colon and line end.
constexpr size_t kShortestItemLine = 8 + 3 + 1 + 2;

// The item-list block of `numItems` items of `itemType`, the first at `firstOffset` of the block.
// It ends where the block ends, with a line saying how many items were not there.
void RenderItemList(CParaAnalyze& a, TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 numItems, BlockReader& block,
                    size_t firstOffset) {
    CTraceText& out = *a.Output();
    const size_t itemSize = ListItemSize(itemType);
    char value[kLongValueSize];
    ItemLines lines(out);
    // A list may hold millions of items of one capability: its value table is found once.
    const ValToCapEntry* const values = itemType == TWTY_UINT16 ? FindValueTable(cap) : nullptr;
    const NameFinder valueNames = values != nullptr ? NameFinder(values->table, values->count - 1) : NameFinder();

    out.Line(FMT_STRING("      ItemList = {{"));
    // Every item line takes at least kShortestItemLine bytes: no more items can show before the
    // cut than these, and of a block of unknown size no more are read.
    const size_t room = CTraceText::kWrittenLimit + 1 - (out.Full() ? CTraceText::kWrittenLimit + 1 : out.Length());
    const size_t shown = room / kShortestItemLine + 1;
    block.Allow(firstOffset + (numItems < shown ? numItems : shown) * itemSize);

    // Items past the written limit can never reach the trace, so the list ends there.
    TW_UINT32 i = 0;
    bool missing = false;
    for (; i < numItems && !lines.Full(); ++i) {
        std::string_view text = kNotImplemented;
        bool named = true;
        if (itemSize != 0) {
            size_t held = 0;
            const TW_UINT8* const item = block.Bytes(firstOffset + static_cast<size_t>(i) * itemSize, itemSize, &held);
            if (held < itemSize) {
                missing = true;
                break;
            }
            if (values != nullptr) {
                text = valueNames.NameOrFallback(ReadItem<TW_UINT16>(item), value);
            } else {
                value[0] = '\0';
                RenderValue(a, cap, itemType, item, held, value, sizeof(value));
                text = std::string_view(value, strnlen(value, sizeof(value)));
                named = false;
            }
        }
        lines.Add(i, text, i + 1 == numItems, named);
    }
    lines.Flush();
    if (missing)
        out.Line(FMT_STRING("        !!! {} items {}.!!!"), numItems - i,
                 block.SizeKnown() ? "not in the block" : "not readable");
    out.Line(FMT_STRING("      }}"));
}

// Header of a container whose fields before its values are not all there: the one line it gets.
bool HeaderMissing(CParaAnalyze& a, const char* name, BlockReader& block, size_t headerSize, void* header) {
    size_t held = 0;
    const TW_UINT8* const bytes = block.Bytes(0, headerSize, &held);
    if (held == headerSize) {
        memcpy(header, bytes, headerSize);
        return false;
    }
    if (block.SizeKnown())
        a.Output()->Line(FMT_STRING("    {} = {{ !!! {} of its {} header bytes in the block.!!! }}"), name, held,
                          headerSize);
    else
        a.Output()->Line(FMT_STRING("    {} = {{ {} }}"), name, kNotReadable);
    return true;
}

// The text of the value field at `offset`, of `width` bytes at most: a name, a notice, or the text
// rendered into dest (`size` bytes).
TraceName FieldValue(CParaAnalyze& a, TW_UINT16 cap, TW_UINT16 itemType, BlockReader& block, size_t offset,
                     size_t width, char* dest, size_t size) {
    if (ItemWidth(itemType) == 0) return {kNotImplemented};
    size_t held = 0;
    const TW_UINT8* const item = block.Bytes(offset, width, &held);
    if (!ItemHeld(itemType, item, held)) return {block.MissingText()};
    if (itemType == TWTY_UINT16) return a.ValueName(cap, ReadItem<TW_UINT16>(item), dest);
    dest[0] = '\0';
    RenderValue(a, cap, itemType, item, held, dest, size);
    return {std::string_view(dest, strnlen(dest, size)), false};
}

void OneValue(CParaAnalyze& a, TW_UINT16 cap, BlockReader& block) {
    TW_ONEVALUE head;
    if (HeaderMissing(a, "TW_ONEVALUE", block, offsetof(TW_ONEVALUE, Item), &head)) return;
    char value[kLongValueSize];

    a.Output()->Line(FMT_STRING("    TW_ONEVALUE = {{"));
    a.Output()->Line(FMT_STRING("      ItemType = [{}]"), a.Name(ItemTypes(), head.ItemType));
    const TraceName item = FieldValue(a, cap, head.ItemType, block, offsetof(TW_ONEVALUE, Item),
                                      ItemWidth(head.ItemType), value, sizeof(value));
    a.Output()->Line(FMT_STRING("      Item     = [{}]"), item);
    a.Output()->Line(FMT_STRING("    }}"));
}

void Range(CParaAnalyze& a, TW_UINT16 cap, BlockReader& block) {
    TW_RANGE head;
    if (HeaderMissing(a, "TW_RANGE", block, offsetof(TW_RANGE, MinValue), &head)) return;
    const TW_UINT16 itemType = head.ItemType;
    static const struct {
        const char* label;
        size_t offset;
    } kFields[] = {
        {"      MinValue     = [", offsetof(TW_RANGE, MinValue)},
        {"      MaxValue     = [", offsetof(TW_RANGE, MaxValue)},
        {"      StepSize     = [", offsetof(TW_RANGE, StepSize)},
        {"      DefaultValue = [", offsetof(TW_RANGE, DefaultValue)},
        {"      CurrentValue = [", offsetof(TW_RANGE, CurrentValue)},
    };
    char value[CParaAnalyze::kValueSize];

    a.Output()->Line(FMT_STRING("    TW_RANGE = {{"));
    a.Output()->Line(FMT_STRING("      ItemType     = [{}]"), a.Name(ItemTypes(), itemType));
    for (const auto& field : kFields) {
        // Each value has its 4-byte field only: a wider item type cannot be held there.
        const TraceName item = ItemWidth(itemType) > sizeof(TW_UINT32)
                                   ? TraceName{kWiderThanField}
                                   : FieldValue(a, cap, itemType, block, field.offset, sizeof(TW_UINT32), value,
                                                sizeof(value));
        a.Output()->Line(FMT_STRING("{}{}]"), TraceName{field.label}, item);
    }
    a.Output()->Line(FMT_STRING("    }}"));
}

void Enumeration(CParaAnalyze& a, TW_UINT16 cap, BlockReader& block) {
    TW_ENUMERATION head;
    if (HeaderMissing(a, "TW_ENUMERATION", block, offsetof(TW_ENUMERATION, ItemList), &head)) return;

    a.Output()->Line(FMT_STRING("    TW_ENUMERATION = {{"));
    a.Output()->Line(FMT_STRING("      ItemType     = [{}]"), a.Name(ItemTypes(), head.ItemType));
    a.Output()->Line(FMT_STRING("      NumItems     = [{}]"), head.NumItems);
    a.Output()->Line(FMT_STRING("      CurrentIndex = [{}]"), head.CurrentIndex);
    a.Output()->Line(FMT_STRING("      DefaultIndex = [{}]"), head.DefaultIndex);
    RenderItemList(a, cap, head.ItemType, head.NumItems, block, offsetof(TW_ENUMERATION, ItemList));
    a.Output()->Line(FMT_STRING("    }}"));
}

void Array(CParaAnalyze& a, TW_UINT16 cap, BlockReader& block) {
    TW_ARRAY head;
    if (HeaderMissing(a, "TW_ARRAY", block, offsetof(TW_ARRAY, ItemList), &head)) return;

    a.Output()->Line(FMT_STRING("    TW_ARRAY = {{"));
    a.Output()->Line(FMT_STRING("      ItemType = [{}]"), a.Name(ItemTypes(), head.ItemType));
    a.Output()->Line(FMT_STRING("      NumItems = [{}]"), head.NumItems);
    RenderItemList(a, cap, head.ItemType, head.NumItems, block, offsetof(TW_ARRAY, ItemList));
    a.Output()->Line(FMT_STRING("    }}"));
}

// A structure handed over by pointer: trusted to hold what its fields claim.
constexpr size_t kTrusted = kUnknownBlockSize - 1;

}  // namespace

void CParaAnalyze::MakeItemList(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 numItems, const TW_UINT8* firstItem) {
    BlockReader items(firstItem, kTrusted);
    RenderItemList(*this, cap, itemType, numItems, items, 0);
}

bool CParaAnalyze::TwCapabilityAnalyze(const TW_CAPABILITY* p) {
    if (p == nullptr) return true;
    char unnamed[kNameSize];
    const TraceName cap = {CapabilityNameOrFallback(p->Cap, unnamed)};
    // What the application asked to set is shown also when the source refused it.
    const bool refusedSet = kShowsRefusedSet && (m_call.MSG == MSG_SET || m_call.MSG == kMsgSetConstraint);

    m_pOutBuf->Line(FMT_STRING("  TW_CAPABILITY = {{"));
    m_pOutBuf->Line(FMT_STRING("    Cap        = [{}]"), cap);
    m_pOutBuf->Line(FMT_STRING("    ConType    = [{}]"), Name(ContainerTypes(), p->ConType));
    m_pOutBuf->Line(FMT_STRING("    hContainer = <0x{:08x}>"), Low32(p->hContainer));
    if (m_call.RC != TWRC_FAILURE || refusedSet) TwContainerAnalyaze(p);
    m_pOutBuf->Line(FMT_STRING("  }}"));
    return true;
}

bool CParaAnalyze::TwContainerAnalyaze(const TW_CAPABILITY* p) {
    if (p == nullptr || p->hContainer == nullptr) return true;
    const TW_UINT16 conType = p->ConType;
    const char* name = nullptr;
    void (*render)(CParaAnalyze&, TW_UINT16, BlockReader&) = nullptr;
    switch (conType) {
        case TWON_ARRAY:
            name = "TW_ARRAY";
            render = Array;
            break;
        case TWON_ENUMERATION:
            name = "TW_ENUMERATION";
            render = Enumeration;
            break;
        case TWON_ONEVALUE:
            name = "TW_ONEVALUE";
            render = OneValue;
            break;
        case TWON_RANGE:
            name = "TW_RANGE";
            render = Range;
            break;
        default: return true;
    }

    const TW_HANDLE handle = p->hContainer;
    const size_t size = HandleBlockSize(handle);
    const void* const container = CDSMInterface::LockMemory(handle);
    if (container != nullptr) {
        BlockReader block(container, size);
        render(*this, p->Cap, block);
    } else if (size == kUnknownBlockSize) {
        m_pOutBuf->Line(FMT_STRING("    {} = {{ {} }}"), name, kNotReadable);
    }
    CDSMInterface::UnlockMemory(handle);
    return true;
}

bool CParaAnalyze::TwOneValueAnalyze(TW_UINT16 cap, const TW_ONEVALUE* p) {
    if (p == nullptr) return true;
    BlockReader block(p, kTrusted);
    OneValue(*this, cap, block);
    return true;
}

bool CParaAnalyze::TwRangeAnalyze(TW_UINT16 cap, const TW_RANGE* p) {
    if (p == nullptr) return true;
    BlockReader block(p, sizeof(TW_RANGE));
    Range(*this, cap, block);
    return true;
}

bool CParaAnalyze::TwEnumerationAnalyze(TW_UINT16 cap, const TW_ENUMERATION* p) {
    if (p == nullptr) return true;
    BlockReader block(p, kTrusted);
    Enumeration(*this, cap, block);
    return true;
}

bool CParaAnalyze::TwArrayAnalyze(TW_UINT16 cap, const TW_ARRAY* p) {
    if (p == nullptr) return true;
    BlockReader block(p, kTrusted);
    Array(*this, cap, block);
    return true;
}

bool CParaAnalyze::TwCapExtAnalyze(const TW_CAPEXT* p) {
    if (p == nullptr) return true;
    char cap[kNameSize];
    LookupCapabilityName(p->Cap, cap);
    // Properties is named through the capability tables of Cap's range, not of its own value.
    char properties[kNameSize];
    LookupInCapabilityTables(IsVendorId(p->Cap), p->Properties, properties);

    m_pOutBuf->Line(FMT_STRING("  TW_CAPEXT = {{"));
    m_pOutBuf->Line(FMT_STRING("    Cap        = [{}]"), cap);
    m_pOutBuf->Line(FMT_STRING("    Properties = [{}]"), properties);
    m_pOutBuf->Line(FMT_STRING("  }}"));
    return true;
}
