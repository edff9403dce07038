// The lookups over the symbol tables and the capability value maps: each table indexed by value
// once, on first use, so that a lookup is two binary searches; one fallback text.
#include "twaintbl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>

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

constexpr size_t NamedInAllTables() {
    size_t named = 0;
    for (const Listed& listed : kListed) named += listed.named;
    return named;
}

// A table's values in ascending order, each as the position of the first entry that holds it.
struct TableIndex {
    const MacroEntry* table;
    size_t named;
    const uint16_t* begin;
    const uint16_t* end;
};

// A map's capabilities in ascending order, each as the position of the first row that names it.
struct MapIndex {
    const ValToCapEntry* rows;
    uint8_t order[std::max(kValToCapRows, kValToCapKvRows)];
    size_t count;
};

struct Indexes {
    uint16_t firsts[NamedInAllTables()];
    TableIndex tables[std::size(kListed)];  // in ascending order of address
    MapIndex standardMap;
    MapIndex vendorMap;
};

static_assert(NamedInAllTables() <= 0xFFFF, "positions are 16-bit");

template <typename Position, typename KeyOf>
size_t IndexFirsts(Position* order, size_t count, KeyOf keyOf) {
    for (size_t i = 0; i < count; ++i) order[i] = static_cast<Position>(i);
    // Equal keys keep their order of position, so that the first of each stays.
    std::sort(order, order + count, [&](Position a, Position b) {
        return keyOf(a) != keyOf(b) ? keyOf(a) < keyOf(b) : a < b;
    });
    return static_cast<size_t>(
        std::unique(order, order + count, [&](Position a, Position b) { return keyOf(a) == keyOf(b); }) - order);
}

void IndexMap(MapIndex& map, const ValToCapEntry* rows, size_t count) {
    map.rows = rows;
    map.count = IndexFirsts(map.order, count, [rows](uint8_t row) { return rows[row].cap; });
}

// Built on the first lookup, which may come from the module's load sequence: the tables are
// constant-initialised, the build allocates nothing, and the language makes it run once.
const Indexes& TheIndexes() {
    static const Indexes indexes = [] {
        Indexes built{};
        uint16_t* next = built.firsts;
        for (size_t i = 0; i < std::size(kListed); ++i) {
            const MacroEntry* const table = kListed[i].table;
            const size_t distinct = IndexFirsts(next, kListed[i].named, [table](uint16_t at) { return table[at].value; });
            built.tables[i] = {table, kListed[i].named, next, next + distinct};
            next += kListed[i].named;
        }
        std::sort(std::begin(built.tables), std::end(built.tables), [](const TableIndex& a, const TableIndex& b) {
            return std::less<const MacroEntry*>()(a.table, b.table);
        });
        IndexMap(built.standardMap, VALTOCAP, kValToCapRows);
        IndexMap(built.vendorMap, VALTOCAPKV, kValToCapKvRows);
        return built;
    }();
    return indexes;
}

const TableIndex* IndexOf(const MacroEntry* table) {
    const Indexes& indexes = TheIndexes();
    const TableIndex* const end = std::end(indexes.tables);
    const TableIndex* const at = std::lower_bound(std::begin(indexes.tables), end, table,
                                                  [](const TableIndex& index, const MacroEntry* wanted) {
                                                      return std::less<const MacroEntry*>()(index.table, wanted);
                                                  });
    return at != end && at->table == table ? at : nullptr;
}

const char* ScanForName(const MacroEntry* table, size_t named, uint64_t wanted) {
    for (size_t i = 0; i < named; ++i) {
        if (table[i].value == wanted) return table[i].name;
    }
    return nullptr;
}

void CopyName(const char* name, char* dest) {
    const size_t len = strnlen(name, kNameSize - 1);
    memcpy(dest, name, len);
    dest[len] = '\0';
}

}  // namespace

bool HasNameIndex(const MacroEntry* table) { return IndexOf(table) != nullptr; }

const char* FindName(const MacroEntry* table, size_t named, int64_t probe) {
    const uint64_t wanted = static_cast<uint64_t>(probe);
    const TableIndex* const index = IndexOf(table);
    if (index == nullptr || named > index->named) return ScanForName(table, named, wanted);
    const uint16_t* const at = std::lower_bound(index->begin, index->end, wanted,
                                                [table](uint16_t entry, uint64_t value) { return table[entry].value < value; });
    // The value's first entry: when it lies past the part of the table asked about, so do all.
    return at != index->end && table[*at].value == wanted && *at < named ? table[*at].name : nullptr;
}

bool LookupName(const MacroEntry* table, size_t named, int64_t probe, char* dest) {
    if (const char* name = FindName(table, named, probe)) {
        CopyName(name, dest);
        return true;
    }
    snprintf(dest, kNameSize, "%s(%d)", table[named].name, static_cast<int32_t>(probe));
    return false;
}

bool LookupDatName(TW_UINT16 dat, char* dest) {
    return !IsVendorId(dat) ? LookupName(dat_macros, dat, dest) : LookupName(dat_kv_macros, dat, dest);
}

bool LookupMsgName(TW_UINT16 msg, char* dest) {
    return !IsVendorId(msg) ? LookupName(msg_macros, msg, dest) : LookupName(msg_kv_macros, msg, dest);
}

void LookupInCapabilityTables(bool vendor, TW_UINT16 value, char* dest) {
    const MacroEntry* const caps = vendor ? cap_kv_macros : cap_macros;
    const size_t capsNamed = vendor ? std::size(cap_kv_macros) - 1 : std::size(cap_macros) - 1;
    if (const char* name = FindName(caps, capsNamed, value)) {
        CopyName(name, dest);
    } else if (vendor) {
        LookupName(icap_kv_macros, value, dest);
    } else {
        LookupName(icap_macros, value, dest);
    }
}

const ValToCapEntry* FindValueTable(TW_UINT16 cap) {
    const MapIndex& map = cap > 0x8000 ? TheIndexes().vendorMap : TheIndexes().standardMap;
    const uint8_t* const end = map.order + map.count;
    const uint8_t* const at = std::lower_bound(map.order, end, cap,
                                               [&map](uint8_t row, TW_UINT16 wanted) { return map.rows[row].cap < wanted; });
    return at != end && map.rows[*at].cap == cap ? &map.rows[*at] : nullptr;
}

bool LookupValueName(TW_UINT16 cap, TW_UINT16 value, char* dest) {
    const ValToCapEntry* row = FindValueTable(cap);
    if (row == nullptr) return false;
    LookupName(row->table, row->count - 1, value, dest);
    return true;
}
