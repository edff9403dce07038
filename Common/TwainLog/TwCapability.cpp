// Capability values and containers: single items and item lists as text, and the TW_CAPABILITY
// record with its one-value, range, enumeration or array container.
#include <cstdio>
#include <cstring>

#include "Common/DSMInterface.h"
#include "ParaAnalyze.h"

static const char kNotImplemented[] = "!!! not implemented.!!!";

// Items are read byte-wise: containers of the packed ABI hold them at unaligned addresses.
template <typename T>
static T ReadItem(const void* item) {
    T value;
    memcpy(&value, item, sizeof(value));
    return value;
}

// Bytes one item takes in an item list; 0 for frames and unknown types, which a list does not read.
static size_t ListItemSize(TW_UINT16 itemType) {
    switch (itemType) {
        case TWTY_INT8: return sizeof(TW_INT8);
        case TWTY_INT16: return sizeof(TW_INT16);
        case TWTY_INT32: return sizeof(TW_INT32);
        case TWTY_UINT8: return sizeof(TW_UINT8);
        case TWTY_UINT16: return sizeof(TW_UINT16);
        case TWTY_UINT32: return sizeof(TW_UINT32);
        case TWTY_BOOL: return sizeof(TW_BOOL);
        case TWTY_FIX32: return sizeof(TW_FIX32);
        case TWTY_STR32: return sizeof(TW_STR32);
        case TWTY_STR64: return sizeof(TW_STR64);
        case TWTY_STR128: return sizeof(TW_STR128);
        case TWTY_STR255: return sizeof(TW_STR255);
        default: return 0;
    }
}

// ---- single values --------------------------------------------------------------------------

void CParaAnalyze::ValToStr(TW_UINT16 cap, TW_UINT16 itemType, const void* item, char* dest) {
    const char* const text = static_cast<const char*>(item);
    switch (itemType) {
        case TWTY_INT8:
            snprintf(dest, kValueSize, "0x%02x", static_cast<unsigned>(static_cast<int32_t>(ReadItem<TW_INT8>(item))));
            break;
        case TWTY_UINT8: snprintf(dest, kValueSize, "0x%02x", static_cast<unsigned>(ReadItem<TW_UINT8>(item))); break;
        case TWTY_INT16: snprintf(dest, kValueSize, "%d", ReadItem<TW_INT16>(item)); break;
        case TWTY_INT32:
        case TWTY_UINT32: snprintf(dest, kValueSize, "%d", ReadItem<TW_INT32>(item)); break;
        case TWTY_UINT16: ValToCap(cap, ReadItem<TW_UINT16>(item), dest); break;
        case TWTY_BOOL: snprintf(dest, kValueSize, "%s", ReadItem<TW_BOOL>(item) != 0 ? "true" : "false"); break;
        case TWTY_FIX32: snprintf(dest, kValueSize, "%.3f", Fix32Value(ReadItem<TW_FIX32>(item))); break;
        case TWTY_FRAME: {
            const TW_FRAME frame = ReadItem<TW_FRAME>(item);
            snprintf(dest, kValueSize, "%.3f,%.3f,%.3f,%.3f", Fix32Value(frame.Left), Fix32Value(frame.Top),
                     Fix32Value(frame.Right), Fix32Value(frame.Bottom));
            break;
        }
        case TWTY_STR32: snprintf(dest, kValueSize, "%.*s", FieldLength(text, sizeof(TW_STR32)), text); break;
        case TWTY_STR64: snprintf(dest, kValueSize, "%.*s", FieldLength(text, sizeof(TW_STR64)), text); break;
        case TWTY_STR128: snprintf(dest, kValueSize, "%.*s", FieldLength(text, sizeof(TW_STR128)), text); break;
        case TWTY_STR255: snprintf(dest, kValueSize, "%.*s", FieldLength(text, sizeof(TW_STR255)), text); break;
        default: snprintf(dest, kValueSize, "%s", kNotImplemented); break;
    }
}

void CParaAnalyze::ValToCap(TW_UINT16 cap, TW_UINT16 value, char* dest) {
    if (cap == CAP_KV_VERSION) {
        MakeCapKvVersion(value, dest);
        return;
    }
    if (cap == CAP_SUPPORTEDCAPS) {
        MakeCapSupportedCaps(value, dest);
        return;
    }
    if (!LookupValueName(cap, value, dest)) snprintf(dest, kValueSize, "%d", value);
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
    snprintf(dest, kValueSize, "%x.%x", version >> 8, version & 0xFFu);
}

// ---- item lists -----------------------------------------------------------------------------

namespace {

// The item lines of one list. A list may claim millions of items, so its lines are composed
// here without printf and reach the call's text in batches; formatting each through printf
// would cost more than all the rest of the call.
class ItemLines {
public:
    explicit ItemLines(CTraceText& out) : m_out(out), m_used(0) {}

    // True once the call's text, with the lines held here, has passed the written limit: no
    // later line could ever be written.
    bool Full() const { return m_out.Length() + m_used > CTraceText::kWrittenLimit; }

    // "        %3d:%s", a comma unless it is the last item, and "\r\n". The text is a value
    // buffer's: at most kValueSize - 1 characters are taken.
    void Add(TW_UINT32 index, const char* text, bool last) {
        if (m_used + kMaxLine >= sizeof(m_lines)) Flush();
        char* p = m_lines + m_used;
        memcpy(p, kIndent, sizeof(kIndent) - 1);
        p += sizeof(kIndent) - 1;
        if (index < 1000) {
            p[0] = index >= 100 ? static_cast<char>('0' + index / 100) : ' ';
            p[1] = index >= 10 ? static_cast<char>('0' + index / 10 % 10) : ' ';
            p[2] = static_cast<char>('0' + index % 10);
            p += 3;
        } else {
            char digits[10];
            size_t count = 0;
            do {
                digits[count++] = static_cast<char>('0' + index % 10);
                index /= 10;
            } while (index != 0);
            while (count != 0) *p++ = digits[--count];
        }
        *p++ = ':';
        const size_t length = strnlen(text, CParaAnalyze::kValueSize - 1);
        memcpy(p, text, length);
        p += length;
        if (!last) *p++ = ',';
        *p++ = '\r';
        *p++ = '\n';
        m_used = static_cast<size_t>(p - m_lines);
    }

    void Flush() {
        if (m_used == 0) return;
        m_out.Write(m_lines, m_used);
        m_used = 0;
    }

private:
    static constexpr char kIndent[] = "        ";
    // Longest line: indent, ten-digit index, colon, text, comma and line end.
    static constexpr size_t kMaxLine = sizeof(kIndent) - 1 + 10 + 1 + (CParaAnalyze::kValueSize - 1) + 1 + 2;

    CTraceText& m_out;
    size_t m_used;
    char m_lines[2048];
};

}  // namespace

void CParaAnalyze::MakeItemList(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 numItems, const TW_UINT8* firstItem) {
    const size_t itemSize = ListItemSize(itemType);
    char value[kValueSize];
    ItemLines lines(*m_pOutBuf);
    // A list may hold millions of items of one capability: its value table is found once.
    const ValToCapEntry* const values = itemType == TWTY_UINT16 ? FindValueTable(cap) : nullptr;

    m_pOutBuf->Line("      ItemList = {");
    // Items past the written limit can never reach the trace, so the list ends there.
    for (TW_UINT32 i = 0; i < numItems && !lines.Full(); ++i) {
        const char* text = kNotImplemented;
        const TW_UINT8* const item = firstItem + static_cast<size_t>(i) * itemSize;
        if (values != nullptr) {
            const TW_UINT16 v = ReadItem<TW_UINT16>(item);
            text = FindName(values->table, values->count - 1, v);
            if (text == nullptr) {
                LookupName(values->table, values->count - 1, v, value);
                text = value;
            }
        } else if (itemSize != 0) {
            value[0] = '\0';
            ValToStr(cap, itemType, item, value);
            text = value;
        }
        lines.Add(i, text, i + 1 == numItems);
    }
    lines.Flush();
    m_pOutBuf->Line("      }");
}

// ---- containers -----------------------------------------------------------------------------

bool CParaAnalyze::TwCapabilityAnalyze(const TW_CAPABILITY* p) {
    if (p == nullptr) return true;
    char cap[kNameSize];
    LookupCapabilityName(p->Cap, cap);

    m_pOutBuf->Line("  TW_CAPABILITY = {");
    m_pOutBuf->Line("    Cap        = [%s]", cap);
    m_pOutBuf->Line("    ConType    = [%s]", Name(twon_macros, p->ConType));
    m_pOutBuf->Line("    hContainer = <0x%08x>", Low32(p->hContainer));
    if (m_RC != TWRC_FAILURE) TwContainerAnalyaze(p);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwContainerAnalyaze(const TW_CAPABILITY* p) {
    if (p == nullptr || p->hContainer == nullptr) return true;
    const TW_UINT16 conType = p->ConType;
    if (conType != TWON_ARRAY && conType != TWON_ENUMERATION && conType != TWON_ONEVALUE && conType != TWON_RANGE)
        return true;

    const TW_HANDLE handle = p->hContainer;
    const void* const container = CDSMInterface::LockMemory(handle);
    switch (conType) {
        case TWON_ARRAY: TwArrayAnalyze(p->Cap, static_cast<const TW_ARRAY*>(container)); break;
        case TWON_ENUMERATION: TwEnumerationAnalyze(p->Cap, static_cast<const TW_ENUMERATION*>(container)); break;
        case TWON_ONEVALUE: TwOneValueAnalyze(p->Cap, static_cast<const TW_ONEVALUE*>(container)); break;
        default: TwRangeAnalyze(p->Cap, static_cast<const TW_RANGE*>(container)); break;
    }
    CDSMInterface::UnlockMemory(handle);
    return true;
}

// Address of a value field of a container; ValToStr reads the item from there.
template <typename T>
static const void* FieldAt(const T* container, size_t offset) {
    return reinterpret_cast<const char*>(container) + offset;
}

bool CParaAnalyze::TwOneValueAnalyze(TW_UINT16 cap, const TW_ONEVALUE* p) {
    if (p == nullptr) return true;
    char value[kValueSize];

    m_pOutBuf->Line("    TW_ONEVALUE = {");
    m_pOutBuf->Line("      ItemType = [%s]", Name(twty_macros, p->ItemType));
    ValToStr(cap, p->ItemType, FieldAt(p, offsetof(TW_ONEVALUE, Item)), value);
    m_pOutBuf->Line("      Item     = [%s]", value);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwRangeAnalyze(TW_UINT16 cap, const TW_RANGE* p) {
    if (p == nullptr) return true;
    const TW_UINT16 itemType = p->ItemType;
    char value[kValueSize];

    m_pOutBuf->Line("    TW_RANGE = {");
    m_pOutBuf->Line("      ItemType     = [%s]", Name(twty_macros, itemType));
    ValToStr(cap, itemType, FieldAt(p, offsetof(TW_RANGE, MinValue)), value);
    m_pOutBuf->Line("      MinValue     = [%s]", value);
    ValToStr(cap, itemType, FieldAt(p, offsetof(TW_RANGE, MaxValue)), value);
    m_pOutBuf->Line("      MaxValue     = [%s]", value);
    ValToStr(cap, itemType, FieldAt(p, offsetof(TW_RANGE, StepSize)), value);
    m_pOutBuf->Line("      StepSize     = [%s]", value);
    ValToStr(cap, itemType, FieldAt(p, offsetof(TW_RANGE, DefaultValue)), value);
    m_pOutBuf->Line("      DefaultValue = [%s]", value);
    ValToStr(cap, itemType, FieldAt(p, offsetof(TW_RANGE, CurrentValue)), value);
    m_pOutBuf->Line("      CurrentValue = [%s]", value);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwEnumerationAnalyze(TW_UINT16 cap, const TW_ENUMERATION* p) {
    if (p == nullptr) return true;

    m_pOutBuf->Line("    TW_ENUMERATION = {");
    m_pOutBuf->Line("      ItemType     = [%s]", Name(twty_macros, p->ItemType));
    m_pOutBuf->Line("      NumItems     = [%ld]", static_cast<long>(p->NumItems));
    m_pOutBuf->Line("      CurrentIndex = [%ld]", static_cast<long>(p->CurrentIndex));
    m_pOutBuf->Line("      DefaultIndex = [%ld]", static_cast<long>(p->DefaultIndex));
    MakeItemList(cap, p->ItemType, p->NumItems, p->ItemList);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwArrayAnalyze(TW_UINT16 cap, const TW_ARRAY* p) {
    if (p == nullptr) return true;

    m_pOutBuf->Line("    TW_ARRAY = {");
    m_pOutBuf->Line("      ItemType = [%s]", Name(twty_macros, p->ItemType));
    m_pOutBuf->Line("      NumItems = [%ld]", static_cast<long>(p->NumItems));
    MakeItemList(cap, p->ItemType, p->NumItems, p->ItemList);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwCapExtAnalyze(const TW_CAPEXT* p) {
    if (p == nullptr) return true;
    char cap[kNameSize];
    LookupCapabilityName(p->Cap, cap);
    // Properties is named through the capability tables of Cap's range, not of its own value.
    LookupInCapabilityTables(IsVendorId(p->Cap), p->Properties, m_szNameBuf);

    m_pOutBuf->Line("  TW_CAPEXT = {");
    m_pOutBuf->Line("    Cap        = [%s]", cap);
    m_pOutBuf->Line("    Properties = [%s]", m_szNameBuf);
    m_pOutBuf->Line("  }");
    return true;
}
