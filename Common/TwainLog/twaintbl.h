// The symbol tables that name every TWAIN and vendor constant, the capability value maps, and
// the three lookups over them. Each table's declared size is its named entries plus the closing
// {"ERROR!", all ones} entry, so a table and its users cannot disagree on its length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tracewell/twain.h"

struct MacroEntry {
    const char* name;
    uint64_t value;
};

struct ValToCapEntry {
    uint32_t cap;
    uint32_t count;  // entries of the value table, its closing entry included
    const MacroEntry* table;
};

// Every name and fallback text fits this size.
constexpr size_t kNameSize = 64;

extern const MacroEntry twrc_macros[11 + 1];  // return codes
extern const MacroEntry dg_macros[3 + 1];  // data groups
extern const MacroEntry dat_macros[33 + 1];  // data argument types below 0x8001
extern const MacroEntry dat_kv_macros[14 + 1];  // vendor data argument types
extern const MacroEntry msg_macros[35 + 1];  // messages below 0x8001
extern const MacroEntry msg_kv_macros[2 + 1];  // vendor messages
extern const MacroEntry cap_macros[50 + 1];  // CAP_ identifiers
extern const MacroEntry icap_macros[76 + 1];  // ICAP_ identifiers
extern const MacroEntry cap_kv_macros[23 + 1];  // vendor CAP_KV_ identifiers
extern const MacroEntry icap_kv_macros[59 + 1];  // vendor ICAP_KV_ identifiers
extern const MacroEntry twty_macros[13 + 1];  // item types
extern const MacroEntry twon_macros[12 + 1];  // container types and the other TWON_ constants
extern const MacroEntry twcp_macros[13 + 1];  // compressions
extern const MacroEntry twpt_macros[9 + 1];  // pixel types
extern const MacroEntry twff_macros[10 + 1];  // file formats
extern const MacroEntry twcc_macros[23 + 1];  // condition codes
extern const MacroEntry twlg_macros[129 + 1];  // languages
extern const MacroEntry twcy_macros[239 + 1];  // countries
extern const MacroEntry twkv_ft_macros[5 + 1];  // vendor film types
extern const MacroEntry twkv_pg_macros[2 + 1];  // vendor prescan gamma

// Value tables of the capability maps.
extern const MacroEntry twbr_macros[4 + 1];
extern const MacroEntry twbo_macros[2 + 1];
extern const MacroEntry twft_macros[9 + 1];
extern const MacroEntry twlp_macros[2 + 1];
extern const MacroEntry twls_macros[7 + 1];
extern const MacroEntry twor_macros[6 + 1];
extern const MacroEntry twpf_macros[2 + 1];
extern const MacroEntry twpc_macros[2 + 1];
extern const MacroEntry twss_macros[58 + 1];
extern const MacroEntry twsx_macros[3 + 1];
extern const MacroEntry twun_macros[6 + 1];
extern const MacroEntry twdx_macros[3 + 1];
extern const MacroEntry twjc_macros[5 + 1];
extern const MacroEntry twaf_macros[4 + 1];
extern const MacroEntry twal_macros[9 + 1];
extern const MacroEntry twcb_macros[3 + 1];
extern const MacroEntry twde_macros[18 + 1];
extern const MacroEntry twfa_macros[4 + 1];
extern const MacroEntry twfo_macros[2 + 1];
extern const MacroEntry twps_macros[2 + 1];
extern const MacroEntry twpr_macros[8 + 1];
extern const MacroEntry twpm_macros[3 + 1];
extern const MacroEntry twbd_macros[4 + 1];
extern const MacroEntry twfl_macros[5 + 1];
extern const MacroEntry twfr_macros[2 + 1];
extern const MacroEntry twif_macros[7 + 1];
extern const MacroEntry twnf_macros[4 + 1];
extern const MacroEntry twov_macros[5 + 1];
extern const MacroEntry twkv_ui_macros[7 + 1];
extern const MacroEntry twkv_em_macros[3 + 1];
extern const MacroEntry twkv_gt_macros[3 + 1];
extern const MacroEntry twkv_cc_macros[3 + 1];
extern const MacroEntry twkv_cl_macros[2 + 1];
extern const MacroEntry twkv_tpu_macros[4 + 1];
extern const MacroEntry twkv_usm_macros[4 + 1];
extern const MacroEntry twkv_dscr_macros[4 + 1];
extern const MacroEntry twkv_ta_macros[2 + 1];
extern const MacroEntry twkv_dr_macros[3 + 1];
extern const MacroEntry twkv_ice_macros[2 + 1];
extern const MacroEntry twkv_gr_macros[3 + 1];
extern const MacroEntry twkv_ht_macros[6 + 1];
extern const MacroEntry twkv_fs_macros[6 + 1];
extern const MacroEntry twkv_af_macros[2 + 1];
extern const MacroEntry twkv_fet_macros[2 + 1];
extern const MacroEntry twkv_li_macros[2 + 1];
extern const MacroEntry twkv_autosizetype_macros[2 + 1];

constexpr size_t kValToCapRows = 31;
constexpr size_t kValToCapKvRows = 20;
extern const ValToCapEntry VALTOCAP[kValToCapRows + 1];    // closed by {0xFFFFFFFF, 0xFFFFFFFF, nullptr}
extern const ValToCapEntry VALTOCAPKV[kValToCapKvRows + 1];

// The name of the first named entry whose value equals the probe, or null.
const char* FindName(const MacroEntry* table, size_t named, int64_t probe);

// Name lookup: writes the name of the first named entry whose value equals the probe, or
// "ERROR!(<probe as signed 32-bit>)", into dest (kNameSize bytes); true when an entry matched.
bool LookupName(const MacroEntry* table, size_t named, int64_t probe, char* dest);

template <size_t N>
inline bool LookupName(const MacroEntry (&table)[N], int64_t probe, char* dest) {
    return LookupName(table, N - 1, probe, dest);
}

// Identifiers from 0x8001 up are the vendor's; 0x8000 belongs to the standard side.
inline bool IsVendorId(TW_UINT16 id) { return id >= 0x8001; }

// Names `value` through the CAP table, then the ICAP table, of the standard or the vendor range.
void LookupInCapabilityTables(bool vendor, TW_UINT16 value, char* dest);

// Capability name lookup: the capability tables of the identifier's own range.
inline void LookupCapabilityName(TW_UINT16 cap, char* dest) { LookupInCapabilityTables(IsVendorId(cap), cap, dest); }

// The row of VALTOCAP (capabilities up to 0x8000) or VALTOCAPKV that names the capability's item
// values; null when the capability has none.
const ValToCapEntry* FindValueTable(TW_UINT16 cap);

// Value name lookup through VALTOCAP or VALTOCAPKV; false, with dest untouched, when the
// capability has no row.
bool LookupValueName(TW_UINT16 cap, TW_UINT16 value, char* dest);

// Standard or vendor table by the split between 0x8000 and 0x8001.
bool LookupDatName(TW_UINT16 dat, char* dest);
bool LookupMsgName(TW_UINT16 msg, char* dest);
