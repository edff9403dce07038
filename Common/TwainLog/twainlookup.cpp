// The lookups over the symbol tables and the capability value maps: each table indexed by value
// once, on first use, in a hash table of its own found through one keyed by the table's address;
// one fallback text.
#include "twaintbl.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "TraceFormat.h"

namespace {

struct Listed {
    const MacroEntry* table;
    size_t named;
};

#define TW_TABLE(t) Listed{t, std::size(t) - 1}
// Every table a lookup is handed. One missing here is still named right, by a scan.
constexpr Listed kListed[] = {
    TW_TABLE(twrc_macros), TW_TABLE(dg_macros), TW_TABLE(dat_macros), TW_TABLE(dat_kv_macros),
    TW_TABLE(msg_macros), TW_TABLE(msg_kv_macros), TW_TABLE(cap_macros), TW_TABLE(icap_macros),
    TW_TABLE(cap_kv_macros), TW_TABLE(icap_kv_macros), TW_TABLE(twty_macros), TW_TABLE(twon_macros),
    TW_TABLE(twcp_macros), TW_TABLE(twpt_macros), TW_TABLE(twff_macros), TW_TABLE(twcc_macros),
    TW_TABLE(twlg_macros), TW_TABLE(twcy_macros), TW_TABLE(twkv_ft_macros), TW_TABLE(twkv_pg_macros),
    TW_TABLE(twbr_macros), TW_TABLE(twbo_macros), TW_TABLE(twft_macros), TW_TABLE(twlp_macros),
    TW_TABLE(twls_macros), TW_TABLE(twor_macros), TW_TABLE(twpf_macros), TW_TABLE(twpc_macros),
    TW_TABLE(twss_macros), TW_TABLE(twsx_macros), TW_TABLE(twun_macros), TW_TABLE(twdx_macros),
    TW_TABLE(twjc_macros), TW_TABLE(twaf_macros), TW_TABLE(twal_macros), TW_TABLE(twcb_macros),
    TW_TABLE(twde_macros), TW_TABLE(twfa_macros), TW_TABLE(twfo_macros), TW_TABLE(twps_macros),
    TW_TABLE(twpr_macros), TW_TABLE(twpm_macros), TW_TABLE(twbd_macros), TW_TABLE(twfl_macros),
    TW_TABLE(twfr_macros), TW_TABLE(twif_macros), TW_TABLE(twnf_macros), TW_TABLE(twov_macros),
    TW_TABLE(twkv_ui_macros), TW_TABLE(twkv_em_macros), TW_TABLE(twkv_gt_macros), TW_TABLE(twkv_cc_macros),
    TW_TABLE(twkv_cl_macros), TW_TABLE(twkv_tpu_macros), TW_TABLE(twkv_usm_macros), TW_TABLE(twkv_dscr_macros),
    TW_TABLE(twkv_ta_macros), TW_TABLE(twkv_dr_macros), TW_TABLE(twkv_ice_macros), TW_TABLE(twkv_gr_macros),
    TW_TABLE(twkv_ht_macros), TW_TABLE(twkv_fs_macros), TW_TABLE(twkv_af_macros), TW_TABLE(twkv_fet_macros),
    TW_TABLE(twkv_li_macros), TW_TABLE(twkv_autosizetype_macros),
    TW_TABLE(twmf_macros), TW_TABLE(twas_macros), TW_TABLE(twbcor_macros), TW_TABLE(twbp_macros),
    TW_TABLE(twbt_macros), TW_TABLE(twcs_macros), TW_TABLE(twdr_macros), TW_TABLE(twdsk_macros),
    TW_TABLE(twfe_macros), TW_TABLE(twfp_macros), TW_TABLE(twfy_macros), TW_TABLE(twia_macros),
    TW_TABLE(twic_macros), TW_TABLE(twim_macros), TW_TABLE(twjq_macros), TW_TABLE(twmd_macros),
    TW_TABLE(twpa_macros), TW_TABLE(twpch_macros), TW_TABLE(twpf_font_macros), TW_TABLE(twct_macros),
    TW_TABLE(twsg_macros), TW_TABLE(twfm_macros), TW_TABLE(twdf_macros), TW_TABLE(twus_macros),
    TW_TABLE(twdp_macros), TW_TABLE(twmr_macros), TW_TABLE(twjs_macros), TW_TABLE(twph_macros),
    TW_TABLE(twci_macros), TW_TABLE(df_macros), TW_TABLE(twei_macros), TW_TABLE(twej_macros),
    TW_TABLE(twqc_macros), TW_TABLE(twfs_macros),
};
#undef TW_TABLE

// Open addressing over a power of two of slots, at most half of them used, so that a probe
// meets the key or an empty slot after about two steps. A slot holds a position in the table
// keyed; a key already held keeps the earlier position.
constexpr size_t SlotsFor(size_t keys) {
    size_t slots = 4;
    while (slots < 2 * keys) slots *= 2;
    return slots;
}

template <typename Position>
struct HashIndex {
    static constexpr Position kEmpty = static_cast<Position>(~Position(0));
    Position* slots;
    size_t mask;
    unsigned shift;

    void Init(Position* storage, size_t count) {
        slots = storage;
        mask = count - 1;
        shift = 64;
        for (size_t n = count; n > 1; n /= 2) --shift;
        std::fill(slots, slots + count, kEmpty);
    }
    size_t Home(uint64_t key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift); }
    template <typename KeyOf>
    void Insert(Position at, KeyOf keyOf) {
        for (size_t s = Home(keyOf(at));; s = (s + 1) & mask) {
            if (slots[s] == kEmpty) {
                slots[s] = at;
                return;
            }
            if (keyOf(slots[s]) == keyOf(at)) return;
        }
    }
    // The position holding `key`, or kEmpty.
    template <typename KeyOf>
    Position Find(uint64_t key, KeyOf keyOf) const {
        for (size_t s = Home(key);; s = (s + 1) & mask) {
            if (slots[s] == kEmpty || keyOf(slots[s]) == key) return slots[s];
        }
    }
};

constexpr size_t SlotsOfAllTables() {
    size_t slots = 0;
    for (const Listed& listed : kListed) slots += SlotsFor(listed.named);
    return slots;
}

constexpr size_t EntriesOfAllTables() {
    size_t entries = 0;
    for (const Listed& listed : kListed) entries += listed.named;
    return entries;
}

struct TableIndex {
    const MacroEntry* table;
    size_t named;
    HashIndex<uint16_t> byValue;  // positions of the first entry of each value
    const uint8_t* lengths;       // of each entry's name, so that no name is measured per call
};

struct MapIndex {
    const ValToCapEntry* rows;
    HashIndex<uint8_t> byCap;  // positions of the first row of each capability
};

constexpr size_t kStandardMapSlots = SlotsFor(kValToCapRows);
constexpr size_t kVendorMapSlots = SlotsFor(kValToCapKvRows);

struct Indexes {
    uint16_t valueSlots[SlotsOfAllTables()];
    uint8_t nameLengths[EntriesOfAllTables()];
    TableIndex tables[std::size(kListed)];
    uint8_t tableSlots[SlotsFor(std::size(kListed))];
    HashIndex<uint8_t> byAddress;  // positions in `tables`
    uint8_t standardSlots[kStandardMapSlots];
    uint8_t vendorSlots[kVendorMapSlots];
    MapIndex standardMap;
    MapIndex vendorMap;
};

static_assert(std::size(kListed) < 0xFF && kValToCapRows < 0xFF && kValToCapKvRows < 0xFF, "positions are 8-bit");
constexpr size_t LargestTable() {
    size_t largest = 0;
    for (const Listed& listed : kListed) largest = listed.named > largest ? listed.named : largest;
    return largest;
}
static_assert(LargestTable() < 0xFFFF, "positions in a table are 16-bit");

uint64_t AddressKey(const MacroEntry* table) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(table)); }

void IndexMap(MapIndex& map, uint8_t* slots, size_t count, const ValToCapEntry* rows, size_t named) {
    map.rows = rows;
    map.byCap.Init(slots, count);
    for (size_t row = 0; row < named; ++row)
        map.byCap.Insert(static_cast<uint8_t>(row), [rows](uint8_t at) { return uint64_t{rows[at].cap}; });
}

void Build(Indexes& built) {
    uint16_t* next = built.valueSlots;
    uint8_t* lengths = built.nameLengths;
    built.byAddress.Init(built.tableSlots, std::size(built.tableSlots));
    for (size_t i = 0; i < std::size(kListed); ++i) {
        const MacroEntry* const table = kListed[i].table;
        TableIndex& index = built.tables[i];
        index.table = table;
        index.named = kListed[i].named;
        index.byValue.Init(next, SlotsFor(index.named));
        next += SlotsFor(index.named);
        index.lengths = lengths;
        for (size_t at = 0; at < index.named; ++at) {
            index.byValue.Insert(static_cast<uint16_t>(at), [table](uint16_t entry) { return table[entry].value; });
            lengths[at] = static_cast<uint8_t>(strnlen(table[at].name, kNameSize - 1));
        }
        lengths += index.named;
        built.byAddress.Insert(static_cast<uint8_t>(i), [&built](uint8_t t) { return AddressKey(built.tables[t].table); });
    }
    IndexMap(built.standardMap, built.standardSlots, kStandardMapSlots, VALTOCAP, kValToCapRows);
    IndexMap(built.vendorMap, built.vendorSlots, kVendorMapSlots, VALTOCAPKV, kValToCapKvRows);
}

// Built in place on the first lookup, which may come from the module's load sequence: the tables
// are constant-initialised, the indexes zero-initialised, the build allocates nothing, and the
// language makes it run once.
const Indexes& TheIndexes() {
    static Indexes indexes;
    static const bool built = (Build(indexes), true);
    (void)built;
    return indexes;
}

const TableIndex* IndexOf(const MacroEntry* table) {
    const Indexes& indexes = TheIndexes();
    const uint8_t at = indexes.byAddress.Find(AddressKey(table), [&indexes](uint8_t t) { return AddressKey(indexes.tables[t].table); });
    return at != HashIndex<uint8_t>::kEmpty ? &indexes.tables[at] : nullptr;
}

const char* ScanForName(const MacroEntry* table, size_t named, uint64_t wanted) {
    for (size_t i = 0; i < named; ++i) {
        if (table[i].value == wanted) return table[i].name;
    }
    return nullptr;
}

// A found name into dest (kNameSize bytes): names are measured no longer than kNameSize - 1.
void CopyName(std::string_view name, char* dest) {
    memcpy(dest, name.data(), name.size());
    dest[name.size()] = '\0';
}

}  // namespace

bool HasNameIndex(const MacroEntry* table) { return IndexOf(table) != nullptr; }

NameFinder::NameFinder(const MacroEntry* table, size_t named) : m_table(table), m_named(named) {
    const TableIndex* const index = IndexOf(table);
    if (index != nullptr && named <= index->named) m_index = index;
}

std::string_view NameFinder::Named(int64_t probe) const {
    const uint64_t wanted = static_cast<uint64_t>(probe);
    if (m_index == nullptr) {
        const char* const name = m_table != nullptr ? ScanForName(m_table, m_named, wanted) : nullptr;
        return name != nullptr ? std::string_view(name, strnlen(name, kNameSize - 1)) : std::string_view();
    }
    const TableIndex& index = *static_cast<const TableIndex*>(m_index);
    const MacroEntry* const table = m_table;
    const uint16_t at = index.byValue.Find(wanted, [table](uint16_t entry) { return table[entry].value; });
    // The value's first entry: when it lies past the part of the table asked about, so do all.
    if (at == HashIndex<uint16_t>::kEmpty || at >= m_named) return std::string_view();
    return {table[at].name, index.lengths[at]};
}

const char* NameFinder::Find(int64_t probe) const { return Named(probe).data(); }

const char* FindName(const MacroEntry* table, size_t named, int64_t probe) {
    return NameFinder(table, named).Find(probe);
}

std::string_view NameFinder::NameOrFallback(int64_t probe, char* fallback) const {
    const std::string_view name = Named(probe);
    if (name.data() != nullptr) return name;
    const size_t formatted = fmt::format_to_n(fallback, kNameSize - 1, FMT_COMPILE(traceformat::kUnnamedValue),
                                              m_table[m_named].name, static_cast<int32_t>(probe))
                                 .size;
    const size_t length = formatted < kNameSize - 1 ? formatted : kNameSize - 1;
    fallback[length] = '\0';
    return {fallback, length};
}

std::string_view NameOrFallback(const MacroEntry* table, size_t named, int64_t probe, char* fallback) {
    return NameFinder(table, named).NameOrFallback(probe, fallback);
}

bool LookupName(const MacroEntry* table, size_t named, int64_t probe, char* dest) {
    const std::string_view name = NameOrFallback(table, named, probe, dest);
    if (name.data() == dest) return false;
    CopyName(name, dest);
    return true;
}

namespace {
// Read and set under the trace's lock; atomic so that a formatter never reads a torn value.
std::atomic<bool> g_bVendorNaming{!kVendorNamingFollowsTheSource};
}  // namespace

bool VendorNaming() { return g_bVendorNaming.load(std::memory_order_relaxed); }

void ResetVendorNaming() { g_bVendorNaming.store(!kVendorNamingFollowsTheSource, std::memory_order_relaxed); }

void FollowSourceManufacturer(const char* manufacturer, size_t width) {
    if (!kVendorNamingFollowsTheSource || manufacturer == nullptr) return;
    const size_t length = strnlen(manufacturer, width);
    const bool maker = length == sizeof(kVendorManufacturer) - 1 && memcmp(manufacturer, kVendorManufacturer, length) == 0;
    g_bVendorNaming.store(maker, std::memory_order_relaxed);
}

void CustomName(const char* base, TW_UINT16 id, char* dest) {
    const auto written = fmt::format_to_n(dest, kNameSize - 1, FMT_STRING("{}+{}"), base, id - 0x8000);
    dest[written.size < kNameSize - 1 ? written.size : kNameSize - 1] = '\0';
}

bool LookupDatName(TW_UINT16 dat, char* dest) {
    if (IsVendorId(dat) && !VendorNaming()) {
        CustomName("DAT_CUSTOMBASE", dat, dest);
        return true;
    }
    return !IsVendorId(dat) ? LookupName(dat_macros, dat, dest) : LookupName(dat_kv_macros, dat, dest);
}

bool LookupMsgName(TW_UINT16 msg, char* dest) {
    if (IsVendorId(msg) && !VendorNaming()) {
        CustomName("MSG_CUSTOMBASE", msg, dest);
        return true;
    }
    return !IsVendorId(msg) ? LookupName(msg_macros, msg, dest) : LookupName(msg_kv_macros, msg, dest);
}

std::string_view CapabilityTablesNameOrFallback(bool vendor, TW_UINT16 value, char* fallback) {
    static const NameFinder kCaps(cap_macros), kImageCaps(icap_macros);
    static const NameFinder kVendorCaps(cap_kv_macros), kVendorImageCaps(icap_kv_macros);
    if (vendor && !VendorNaming()) {
        CustomName("CAP_CUSTOMBASE", value, fallback);
        return fallback;
    }
    const std::string_view name = (vendor ? kVendorCaps : kCaps).Named(value);
    if (name.data() != nullptr) return name;
    return (vendor ? kVendorImageCaps : kImageCaps).NameOrFallback(value, fallback);
}

void LookupInCapabilityTables(bool vendor, TW_UINT16 value, char* dest) {
    const std::string_view name = CapabilityTablesNameOrFallback(vendor, value, dest);
    if (name.data() != dest) CopyName(name, dest);
}

const ValToCapEntry* FindValueTable(TW_UINT16 cap) {
    if (cap > 0x8000 && !VendorNaming()) return nullptr;
    const MapIndex& map = cap > 0x8000 ? TheIndexes().vendorMap : TheIndexes().standardMap;
    const uint8_t at = map.byCap.Find(cap, [&map](uint8_t row) { return uint64_t{map.rows[row].cap}; });
    return at != HashIndex<uint8_t>::kEmpty ? &map.rows[at] : nullptr;
}
