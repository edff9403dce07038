// The capability table of the virtual scanner, the containers it answers with, and the rules that
// tie capabilities together (bit depth follows pixel type, frames follow the page size).
#include "Capabilities.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "SourceMemory.h"
#include "TwainExtras.h"

namespace {

struct PageSize {
    TW_UINT16 size;
    double width;
    double height;
};

const PageSize kPageSizes[] = {
    {TWSS_USLETTER, 8.5, 11.0},  {TWSS_USLEGAL, 8.5, 14.0}, {TWSS_A4LETTER, 8.268, 11.693},
    {TWSS_A5, 5.827, 8.268},     {TWSS_B5LETTER, 7.165, 10.118},
};

struct DepthOfPixelType {
    TW_UINT16 pixelType;
    TW_UINT16 bitDepth;
};

const DepthOfPixelType kDepths[] = {{TWPT_BW, 1}, {TWPT_GRAY, 8}, {TWPT_RGB, 24}};

template <typename T>
T As(const CapItem& item) {
    T value;
    memcpy(&value, item.bytes, sizeof(T));
    return value;
}

template <typename T>
CapItem Item(const T& value) {
    CapItem item;
    memcpy(item.bytes, &value, sizeof(T));
    return item;
}

// Scalars as one comparable number: TW_FIX32 in units of 1/65536.
int64_t Numeric(TW_UINT16 itemType, const CapItem& item) {
    switch (itemType) {
        case TWTY_INT16: return As<TW_INT16>(item);
        case TWTY_UINT16:
        case TWTY_BOOL: return As<TW_UINT16>(item);
        case TWTY_INT32: return As<TW_INT32>(item);
        case TWTY_UINT32: return As<TW_UINT32>(item);
        case TWTY_FIX32: {
            const TW_FIX32 fix = As<TW_FIX32>(item);
            return int64_t(fix.Whole) * 65536 + fix.Frac;
        }
        default: return 0;
    }
}

bool SameItem(TW_UINT16 itemType, const CapItem& a, const CapItem& b) {
    return memcmp(a.bytes, b.bytes, ItemSize(itemType)) == 0;
}

bool AcceptsXferCount(const CapItem& item) {
    const TW_INT16 count = As<TW_INT16>(item);
    return count == -1 || count > 0;
}

bool AcceptsBool(const CapItem& item) { return As<TW_BOOL>(item) <= 1; }

bool AcceptsFrame(const CapItem& item) {
    const TW_FRAME frame = As<TW_FRAME>(item);
    const double left = FromFix32(frame.Left), top = FromFix32(frame.Top);
    const double right = FromFix32(frame.Right), bottom = FromFix32(frame.Bottom);
    return left >= 0 && top >= 0 && left < right && top < bottom && right <= kScanAreaWidth &&
           bottom <= kScanAreaHeight;
}

std::vector<CapItem> Uint16s(std::initializer_list<TW_UINT16> values) {
    std::vector<CapItem> items;
    for (TW_UINT16 value : values) items.push_back(ItemUint16(value));
    return items;
}

std::vector<CapItem> Fix32s(std::initializer_list<double> values) {
    std::vector<CapItem> items;
    for (double value : values) items.push_back(ItemFix32(value));
    return items;
}

// Every capability the scanner supports, in the order CAP_SUPPORTEDCAPS lists them. The X
// resolution is offered as a list and the Y resolution as a range, the two ways scanners
// describe resolutions.
const std::vector<CapabilityRule>& Rules() {
    static const std::vector<CapabilityRule> rules = {
        {CAP_XFERCOUNT, TWTY_INT16, Shape::OneValue, true, {}, ItemInt16(-1), AcceptsXferCount},
        {CAP_SUPPORTEDCAPS, TWTY_UINT16, Shape::Array, false, {}, {}, nullptr},
        {CAP_FEEDERENABLED, TWTY_BOOL, Shape::OneValue, true, {}, ItemBool(false), AcceptsBool},
        {CAP_FEEDERLOADED, TWTY_BOOL, Shape::OneValue, false, {}, ItemBool(true), nullptr},
        {CAP_DUPLEX, TWTY_UINT16, Shape::OneValue, false, {}, ItemUint16(TWDX_NONE), nullptr},
        {ICAP_COMPRESSION, TWTY_UINT16, Shape::Enumeration, true, Uint16s({TWCP_NONE}), ItemUint16(TWCP_NONE),
         nullptr},
        {ICAP_PIXELTYPE, TWTY_UINT16, Shape::Enumeration, true, Uint16s({TWPT_BW, TWPT_GRAY, TWPT_RGB}),
         ItemUint16(TWPT_RGB), nullptr},
        {ICAP_BITDEPTH, TWTY_UINT16, Shape::Enumeration, true, Uint16s({24}), ItemUint16(24), nullptr},
        {ICAP_UNITS, TWTY_UINT16, Shape::Enumeration, true, Uint16s({TWUN_INCHES}), ItemUint16(TWUN_INCHES),
         nullptr},
        {ICAP_XFERMECH, TWTY_UINT16, Shape::Enumeration, true, Uint16s({TWSX_NATIVE, TWSX_MEMORY}),
         ItemUint16(TWSX_NATIVE), nullptr},
        {ICAP_XRESOLUTION, TWTY_FIX32, Shape::Enumeration, true, Fix32s({75, 100, 150, 200, 300, 600, 1200}),
         ItemFix32(300), nullptr},
        {ICAP_YRESOLUTION, TWTY_FIX32, Shape::Range, true, Fix32s({75, 1200, 25}), ItemFix32(300), nullptr},
        {ICAP_PHYSICALWIDTH, TWTY_FIX32, Shape::OneValue, false, {}, ItemFix32(kScanAreaWidth), nullptr},
        {ICAP_PHYSICALHEIGHT, TWTY_FIX32, Shape::OneValue, false, {}, ItemFix32(kScanAreaHeight), nullptr},
        {ICAP_SUPPORTEDSIZES, TWTY_UINT16, Shape::Enumeration, true,
         Uint16s({TWSS_NONE, TWSS_USLETTER, TWSS_USLEGAL, TWSS_A4LETTER, TWSS_A5, TWSS_B5LETTER}),
         ItemUint16(TWSS_USLETTER), nullptr},
        {ICAP_FRAMES, TWTY_FRAME, Shape::OneValue, true, {}, ItemFrame(0, 0, 8.5, 11.0), AcceptsFrame},
        {CAP_KV_VERSION, TWTY_UINT16, Shape::OneValue, false, {}, ItemUint16(0x0110), nullptr},
        {CAP_KV_PRODUCTNAME, TWTY_STR32, Shape::OneValue, false, {}, ItemStr32("Corvale F40"), nullptr},
        {CAP_KV_UIMODE, TWTY_UINT16, Shape::Enumeration, true,
         Uint16s({TWKV_UI_CONVENTIONAL, TWKV_UI_ADVANCED, TWKV_UI_EASY}), ItemUint16(TWKV_UI_EASY), nullptr},
        {ICAP_KV_UNSHARPMASKLEVEL, TWTY_UINT16, Shape::Enumeration, true,
         Uint16s({TWKV_USM_LOW, TWKV_USM_MEDIUM, TWKV_USM_HIGH}), ItemUint16(TWKV_USM_MEDIUM), nullptr},
    };
    return rules;
}

template <typename Container>
Container* NewContainer(size_t bytes, TW_HANDLE* handle) {
    *handle = sourcememory::Allocate(bytes);
    return *handle != nullptr ? static_cast<Container*>(sourcememory::Lock(*handle)) : nullptr;
}

void PutItems(TW_UINT8* list, TW_UINT16 itemType, const std::vector<CapItem>& items) {
    const size_t size = ItemSize(itemType);
    for (size_t i = 0; i < items.size(); ++i) memcpy(list + i * size, items[i].bytes, size);
}

// Each field of a range is a TW_UINT32 that holds one item in its first bytes.
void PutRangeField(void* field, TW_UINT16 itemType, const CapItem& item) {
    memcpy(field, item.bytes, ItemSize(itemType));
}

TW_UINT32 IndexOf(TW_UINT16 itemType, const std::vector<CapItem>& items, const CapItem& item) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (SameItem(itemType, items[i], item)) return static_cast<TW_UINT32>(i);
    }
    return 0;
}

TW_UINT16 Answer(TW_CAPABILITY* capability, TW_UINT32 conType, TW_HANDLE handle) {
    if (handle == nullptr) return TWCC_LOWMEMORY;
    sourcememory::Unlock(handle);
    capability->ConType = static_cast<TW_UINT16>(conType);
    capability->hContainer = handle;
    return TWCC_SUCCESS;
}

TW_UINT16 AnswerOneValue(TW_CAPABILITY* capability, TW_UINT16 itemType, const CapItem& item) {
    TW_HANDLE handle;
    const size_t bytes = std::max(sizeof(TW_ONEVALUE), offsetof(TW_ONEVALUE, Item) + ItemSize(itemType));
    if (TW_ONEVALUE* one = NewContainer<TW_ONEVALUE>(bytes, &handle)) {
        one->ItemType = itemType;
        memcpy(reinterpret_cast<TW_UINT8*>(one) + offsetof(TW_ONEVALUE, Item), item.bytes, ItemSize(itemType));
    }
    return Answer(capability, TWON_ONEVALUE, handle);
}

TW_UINT16 AnswerArray(TW_CAPABILITY* capability, TW_UINT16 itemType, const std::vector<CapItem>& items) {
    TW_HANDLE handle;
    const size_t bytes = offsetof(TW_ARRAY, ItemList) + items.size() * ItemSize(itemType);
    if (TW_ARRAY* array = NewContainer<TW_ARRAY>(bytes, &handle)) {
        array->ItemType = itemType;
        array->NumItems = static_cast<TW_UINT32>(items.size());
        PutItems(reinterpret_cast<TW_UINT8*>(array) + offsetof(TW_ARRAY, ItemList), itemType, items);
    }
    return Answer(capability, TWON_ARRAY, handle);
}

}  // namespace

size_t ItemSize(TW_UINT16 itemType) {
    switch (itemType) {
        case TWTY_INT8:
        case TWTY_UINT8: return 1;
        case TWTY_INT16:
        case TWTY_UINT16:
        case TWTY_BOOL: return 2;
        case TWTY_INT32:
        case TWTY_UINT32:
        case TWTY_FIX32: return 4;
        case TWTY_FRAME: return sizeof(TW_FRAME);
        case TWTY_STR32: return sizeof(TW_STR32);
        default: return 0;
    }
}

TW_FIX32 ToFix32(double value) {
    const long units = lround(value * 65536.0);
    TW_FIX32 fix;
    fix.Whole = static_cast<TW_INT16>(units >> 16);
    fix.Frac = static_cast<TW_UINT16>(units & 0xFFFF);
    return fix;
}

double FromFix32(TW_FIX32 value) { return value.Whole + value.Frac / 65536.0; }

CapItem ItemUint16(TW_UINT16 value) { return Item(value); }
CapItem ItemInt16(TW_INT16 value) { return Item(value); }
CapItem ItemBool(bool value) { return Item(static_cast<TW_BOOL>(value ? 1 : 0)); }
CapItem ItemFix32(double value) { return Item(ToFix32(value)); }

CapItem ItemFrame(double left, double top, double right, double bottom) {
    const TW_FRAME frame = {ToFix32(left), ToFix32(top), ToFix32(right), ToFix32(bottom)};
    return Item(frame);
}

CapItem ItemStr32(const char* text) {
    CapItem item;
    strncpy(reinterpret_cast<char*>(item.bytes), text, sizeof(TW_STR32) - 1);
    return item;
}

const CCapabilities::MessageRule CCapabilities::kMessages[] = {
    {MSG_GET, false, &CCapabilities::ReplyAllowed},
    {MSG_GETCURRENT, false, &CCapabilities::ReplyCurrent},
    {MSG_GETDEFAULT, false, &CCapabilities::ReplyDefault},
    {MSG_QUERYSUPPORT, false, &CCapabilities::ReplySupport},
    {MSG_SET, true, &CCapabilities::Set},
    {MSG_RESET, true, &CCapabilities::Reset},
};

const CCapabilities::Follower CCapabilities::kFollowers[] = {
    {ICAP_PIXELTYPE, &CCapabilities::FollowPixelType},
    {ICAP_SUPPORTEDSIZES, &CCapabilities::FollowSupportedSize},
    {ICAP_FRAMES, &CCapabilities::FollowFrames},
};

CCapabilities::CCapabilities() {
    std::vector<CapItem> supported;
    for (const CapabilityRule& rule : Rules()) {
        m_entries.push_back({&rule, rule.allowed, rule.defaultValue, rule.defaultValue});
        supported.push_back(ItemUint16(rule.cap));
    }
    Find(CAP_SUPPORTEDCAPS)->allowed = supported;
    FollowPixelType();
}

CCapabilities::Entry* CCapabilities::Find(TW_UINT16 cap) {
    for (Entry& entry : m_entries) {
        if (entry.rule->cap == cap) return &entry;
    }
    return nullptr;
}

const CCapabilities::Entry* CCapabilities::Find(TW_UINT16 cap) const {
    return const_cast<CCapabilities*>(this)->Find(cap);
}

TW_UINT16 CCapabilities::Negotiate(TW_UINT16 msg, TW_CAPABILITY* capability) {
    Entry* entry = Find(capability->Cap);
    if (entry == nullptr) return TWCC_CAPUNSUPPORTED;
    for (const MessageRule& message : kMessages) {
        if (message.msg != msg) continue;
        if (message.changesValue && !entry->rule->settable) return TWCC_CAPBADOPERATION;
        return (this->*message.reply)(*entry, capability);
    }
    return TWCC_BADPROTOCOL;
}

TW_UINT16 CCapabilities::Store(TW_UINT16 cap, const CapItem& item) {
    Entry* entry = Find(cap);
    if (entry == nullptr) return TWCC_CAPUNSUPPORTED;
    if (!Allows(*entry, item)) return TWCC_BADVALUE;
    entry->current = item;
    Follow(cap);
    return TWCC_SUCCESS;
}

void CCapabilities::Restore(TW_UINT16 cap) {
    Entry* entry = Find(cap);
    entry->current = entry->defaultValue;
    Follow(cap);
}

bool CCapabilities::Allows(const Entry& entry, const CapItem& item) const {
    const TW_UINT16 type = entry.rule->itemType;
    switch (entry.rule->shape) {
        case Shape::Enumeration:
            for (const CapItem& allowed : entry.allowed) {
                if (SameItem(type, allowed, item)) return true;
            }
            return false;
        case Shape::Range: {
            const int64_t value = Numeric(type, item), minimum = Numeric(type, entry.allowed[0]);
            const int64_t maximum = Numeric(type, entry.allowed[1]), step = Numeric(type, entry.allowed[2]);
            return value >= minimum && value <= maximum && (value - minimum) % step == 0;
        }
        case Shape::OneValue: return entry.rule->accepts == nullptr || entry.rule->accepts(item);
        case Shape::Array: return false;
    }
    return false;
}

void CCapabilities::Follow(TW_UINT16 cap) {
    for (const Follower& follower : kFollowers) {
        if (follower.leader == cap) (this->*follower.follow)();
    }
}

TW_UINT16 CCapabilities::ReplyAllowed(Entry& entry, TW_CAPABILITY* capability) {
    const TW_UINT16 type = entry.rule->itemType;
    TW_HANDLE handle;
    switch (entry.rule->shape) {
        case Shape::OneValue: return AnswerOneValue(capability, type, entry.current);
        case Shape::Array: return AnswerArray(capability, type, entry.allowed);
        case Shape::Enumeration: {
            const size_t bytes = offsetof(TW_ENUMERATION, ItemList) + entry.allowed.size() * ItemSize(type);
            if (TW_ENUMERATION* list = NewContainer<TW_ENUMERATION>(bytes, &handle)) {
                list->ItemType = type;
                list->NumItems = static_cast<TW_UINT32>(entry.allowed.size());
                list->CurrentIndex = IndexOf(type, entry.allowed, entry.current);
                list->DefaultIndex = IndexOf(type, entry.allowed, entry.defaultValue);
                PutItems(reinterpret_cast<TW_UINT8*>(list) + offsetof(TW_ENUMERATION, ItemList), type, entry.allowed);
            }
            return Answer(capability, TWON_ENUMERATION, handle);
        }
        case Shape::Range:
            if (TW_RANGE* range = NewContainer<TW_RANGE>(sizeof(TW_RANGE), &handle)) {
                range->ItemType = type;
                PutRangeField(&range->MinValue, type, entry.allowed[0]);
                PutRangeField(&range->MaxValue, type, entry.allowed[1]);
                PutRangeField(&range->StepSize, type, entry.allowed[2]);
                PutRangeField(&range->DefaultValue, type, entry.defaultValue);
                PutRangeField(&range->CurrentValue, type, entry.current);
            }
            return Answer(capability, TWON_RANGE, handle);
    }
    return TWCC_BUMMER;
}

TW_UINT16 CCapabilities::ReplyCurrent(Entry& entry, TW_CAPABILITY* capability) {
    if (entry.rule->shape == Shape::Array) return AnswerArray(capability, entry.rule->itemType, entry.allowed);
    return AnswerOneValue(capability, entry.rule->itemType, entry.current);
}

TW_UINT16 CCapabilities::ReplyDefault(Entry& entry, TW_CAPABILITY* capability) {
    if (entry.rule->shape == Shape::Array) return AnswerArray(capability, entry.rule->itemType, entry.allowed);
    return AnswerOneValue(capability, entry.rule->itemType, entry.defaultValue);
}

TW_UINT16 CCapabilities::ReplySupport(Entry& entry, TW_CAPABILITY* capability) {
    TW_INT32 support = twext::TWQC_GET | twext::TWQC_GETCURRENT | twext::TWQC_GETDEFAULT;
    if (entry.rule->settable) support |= twext::TWQC_SET | twext::TWQC_RESET;
    return AnswerOneValue(capability, TWTY_INT32, Item(support));
}

// Values are set through a one-value container of the capability's own item type.
TW_UINT16 CCapabilities::Set(Entry& entry, TW_CAPABILITY* capability) {
    if (capability->ConType != TWON_ONEVALUE || capability->hContainer == nullptr) return TWCC_BADVALUE;
    const TW_ONEVALUE* one = static_cast<const TW_ONEVALUE*>(sourcememory::Lock(capability->hContainer));
    const bool sameType = one != nullptr && one->ItemType == entry.rule->itemType;
    CapItem item;
    if (sameType) {
        memcpy(item.bytes, reinterpret_cast<const TW_UINT8*>(one) + offsetof(TW_ONEVALUE, Item),
               ItemSize(entry.rule->itemType));
    }
    sourcememory::Unlock(capability->hContainer);
    if (!sameType) return TWCC_BADVALUE;
    return Store(entry.rule->cap, item);
}

TW_UINT16 CCapabilities::Reset(Entry& entry, TW_CAPABILITY* capability) {
    Restore(entry.rule->cap);
    return AnswerOneValue(capability, entry.rule->itemType, entry.current);
}

void CCapabilities::FollowPixelType() {
    const TW_UINT16 pixelType = Current<TW_UINT16>(ICAP_PIXELTYPE);
    for (const DepthOfPixelType& depth : kDepths) {
        if (depth.pixelType != pixelType) continue;
        Entry* bitDepth = Find(ICAP_BITDEPTH);
        bitDepth->allowed = {ItemUint16(depth.bitDepth)};
        bitDepth->current = bitDepth->defaultValue = bitDepth->allowed[0];
    }
}

void CCapabilities::FollowSupportedSize() {
    const TW_UINT16 size = Current<TW_UINT16>(ICAP_SUPPORTEDSIZES);
    for (const PageSize& page : kPageSizes) {
        if (page.size == size) Find(ICAP_FRAMES)->current = ItemFrame(0, 0, page.width, page.height);
    }
}

// A frame that covers a known page from the corner names that page; any other frame, none.
void CCapabilities::FollowFrames() {
    const CapItem& frame = Find(ICAP_FRAMES)->current;
    TW_UINT16 size = TWSS_NONE;
    for (const PageSize& page : kPageSizes) {
        if (SameItem(TWTY_FRAME, frame, ItemFrame(0, 0, page.width, page.height))) size = page.size;
    }
    Find(ICAP_SUPPORTEDSIZES)->current = ItemUint16(size);
}
