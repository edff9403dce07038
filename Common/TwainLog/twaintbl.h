// The symbol tables that name every TWAIN and vendor constant, the capability value maps, and
// the lookups over them. Each table's declared size is its named entries plus the closing
// {"ERROR!", all ones} entry, so a table and its users cannot disagree on its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

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

// The builds that read the TWAIN 2.5 headers (all but the macos reference) append to a table the
// identifiers it lacks, after the table's own entries; a table's size counts them there only.
#if !TRACEWELL_ABI_REFERENCE
#define TW_ADDED_IN_LINUX(n) (n)
#else
#define TW_ADDED_IN_LINUX(n) 0
#endif

// The macOS build keeps the original trace byte for byte; every other build adds what the original
// lacks: where a load runs, the thread of a call, vendor names only for their vendor, what the
// source changed of what the application sent.
constexpr bool kTraceGoesBeyondTheOriginal = !TRACEWELL_ABI_REFERENCE;

// Every name and fallback text fits this size.
constexpr size_t kNameSize = 64;

extern const MacroEntry twrc_macros[11 + TW_ADDED_IN_LINUX(2) + 1];  // return codes
extern const MacroEntry dg_macros[3 + TW_ADDED_IN_LINUX(1) + 1];  // data groups
extern const MacroEntry dat_macros[33 + TW_ADDED_IN_LINUX(8) + 1];  // data argument types below 0x8001
extern const MacroEntry dat_kv_macros[14 + 1];  // vendor data argument types
extern const MacroEntry msg_macros[35 + TW_ADDED_IN_LINUX(11) + 1];  // messages below 0x8001
extern const MacroEntry msg_kv_macros[2 + 1];  // vendor messages
extern const MacroEntry cap_macros[50 + TW_ADDED_IN_LINUX(54) + 1];  // CAP_ identifiers (linux: the ACAP_ ones too)
extern const MacroEntry icap_macros[76 + TW_ADDED_IN_LINUX(12) + 1];  // ICAP_ identifiers
extern const MacroEntry cap_kv_macros[23 + 1];  // vendor CAP_KV_ identifiers
extern const MacroEntry icap_kv_macros[59 + 1];  // vendor ICAP_KV_ identifiers
extern const MacroEntry twty_macros[13 + TW_ADDED_IN_LINUX(3) + 1];  // item types
extern const MacroEntry twon_macros[12 + 1];  // container types and the other TWON_ constants
extern const MacroEntry twcp_macros[13 + TW_ADDED_IN_LINUX(2) + 1];  // compressions
extern const MacroEntry twpt_macros[9 + TW_ADDED_IN_LINUX(8) + 1];  // pixel types
extern const MacroEntry twff_macros[10 + TW_ADDED_IN_LINUX(8) + 1];  // file formats
extern const MacroEntry twcc_macros[23 + TW_ADDED_IN_LINUX(6) + 1];  // condition codes
extern const MacroEntry twlg_macros[129 + 1];  // languages
extern const MacroEntry twcy_macros[239 + TW_ADDED_IN_LINUX(1) + 1];  // countries
extern const MacroEntry twkv_ft_macros[5 + 1];  // vendor film types
extern const MacroEntry twkv_pg_macros[2 + 1];  // vendor prescan gamma

// Value tables of the capability maps.
extern const MacroEntry twbr_macros[4 + TW_ADDED_IN_LINUX(1) + 1];
extern const MacroEntry twbo_macros[2 + 1];
extern const MacroEntry twft_macros[9 + 1];
extern const MacroEntry twlp_macros[2 + 1];
extern const MacroEntry twls_macros[7 + 1];
extern const MacroEntry twor_macros[6 + TW_ADDED_IN_LINUX(3) + 1];
extern const MacroEntry twpf_macros[2 + 1];
extern const MacroEntry twpc_macros[2 + 1];
extern const MacroEntry twss_macros[58 + TW_ADDED_IN_LINUX(2) + 1];
extern const MacroEntry twsx_macros[3 + TW_ADDED_IN_LINUX(2) + 1];
extern const MacroEntry twun_macros[6 + TW_ADDED_IN_LINUX(1) + 1];
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
extern const MacroEntry twpm_macros[3 + TW_ADDED_IN_LINUX(1) + 1];
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

// The TWAIN 2.5 value families that the older tables lack; only the linux build reads them.
extern const MacroEntry twmf_macros[5 + 1];  // memory flags (TW_MEMORY.Flags)
extern const MacroEntry twas_macros[3 + 1];  // values of ICAP_AUTOSIZE
extern const MacroEntry twbcor_macros[5 + 1];  // barcode rotations (TWEI_BARCODEROTATION)
extern const MacroEntry twbp_macros[2 + 1];  // values of ICAP_AUTODISCARDBLANKPAGES below zero
extern const MacroEntry twbt_macros[21 + 1];  // barcode types (ICAP_SUPPORTEDBARCODETYPES, TWEI_BARCODETYPE)
extern const MacroEntry twcs_macros[3 + 1];  // values of CAP_CAMERASIDE
extern const MacroEntry twdr_macros[2 + 1];  // directions of TW_PASSTHRU
extern const MacroEntry twdsk_macros[4 + 1];  // deskew results (TWEI_DESKEWSTATUS)
extern const MacroEntry twfe_macros[2 + 1];  // values of ICAP_FEEDERTYPE
extern const MacroEntry twfp_macros[17 + 1];  // values of CAP_FEEDERPOCKET
extern const MacroEntry twfy_macros[9 + 1];  // file types of TW_FILESYSTEM
extern const MacroEntry twia_macros[6 + 1];  // values of the CAP_IAFIELD*_LEVEL capabilities
extern const MacroEntry twic_macros[3 + 1];  // values of ICAP_ICCPROFILE
extern const MacroEntry twim_macros[5 + 1];  // values of ICAP_IMAGEMERGE
extern const MacroEntry twjq_macros[4 + 1];  // values of ICAP_JPEGQUALITY below zero
extern const MacroEntry twmd_macros[3 + 1];  // magnetic data types (TWEI_MAGTYPE)
extern const MacroEntry twpa_macros[3 + 1];  // palette types (TW_PALETTE8.PaletteType)
extern const MacroEntry twpch_macros[6 + 1];  // patch codes (ICAP_SUPPORTEDPATCHCODETYPES)
extern const MacroEntry twpf_font_macros[5 + 1];  // printer font styles (CAP_PRINTERFONTSTYLE), which share the TWPF_ prefix with the pixel flavors
extern const MacroEntry twct_macros[7 + 1];  // values of CAP_PRINTERINDEXTRIGGER
extern const MacroEntry twsg_macros[3 + 1];  // values of CAP_SEGMENTED
extern const MacroEntry twfm_macros[2 + 1];  // values of ICAP_FILMTYPE
extern const MacroEntry twdf_macros[3 + 1];  // values of CAP_DOUBLEFEEDDETECTION
extern const MacroEntry twus_macros[3 + 1];  // values of CAP_DOUBLEFEEDDETECTIONSENSITIVITY
extern const MacroEntry twdp_macros[4 + 1];  // values of CAP_DOUBLEFEEDDETECTIONRESPONSE
extern const MacroEntry twmr_macros[3 + 1];  // values of ICAP_MIRROR
extern const MacroEntry twjs_macros[8 + 1];  // values of ICAP_JPEGSUBSAMPLING
extern const MacroEntry twph_macros[5 + 1];  // values of CAP_PAPERHANDLING
extern const MacroEntry twci_macros[4 + 1];  // values of CAP_INDICATORSMODE
extern const MacroEntry df_macros[3 + 1];  // TWAIN 2 flags of TW_IDENTITY.SupportedGroups
extern const MacroEntry twei_macros[83 + 1];  // extended image information (TW_INFO.InfoID, ICAP_SUPPORTEDEXTIMAGEINFO)
extern const MacroEntry twej_macros[8 + 1];  // patch codes as TWEI_PATCHCODE reports them
extern const MacroEntry twqc_macros[10 + 1];  // operations a capability supports (MSG_QUERYSUPPORT)
extern const MacroEntry twfs_macros[2 + 1];  // DAT_FILESYSTEM flags

constexpr size_t kValToCapRows = 31 + TW_ADDED_IN_LINUX(30);
constexpr size_t kValToCapKvRows = 20;
extern const ValToCapEntry VALTOCAP[kValToCapRows + 1];    // closed by {0xFFFFFFFF, 0xFFFFFFFF, nullptr}
extern const ValToCapEntry VALTOCAPKV[kValToCapKvRows + 1];

// The name of the first named entry whose value equals the probe, or null; `named` may stop
// short of the table's named entries. Every table declared here is looked up through an index by
// value built once; any other table is scanned.
const char* FindName(const MacroEntry* table, size_t named, int64_t probe);

// Many lookups in one table, its index found once; a finder made without a table finds nothing.
// A finder kept in a static is found once for good.
class NameFinder {
public:
    NameFinder() = default;
    NameFinder(const MacroEntry* table, size_t named);
    template <size_t N>
    explicit NameFinder(const MacroEntry (&table)[N]) : NameFinder(table, N - 1) {}
    // As FindName.
    const char* Find(int64_t probe) const;
    // The same name with its length; an empty view with no data when none matches.
    std::string_view Named(int64_t probe) const;
    // As NameOrFallback.
    std::string_view NameOrFallback(int64_t probe, char* fallback) const;

private:
    const MacroEntry* m_table = nullptr;
    size_t m_named = 0;
    const void* m_index = nullptr;
};

// Whether the lookups hold an index of `table` rather than scanning it.
bool HasNameIndex(const MacroEntry* table);

// Name lookup: writes the name of the first named entry whose value equals the probe, or
// "ERROR!(<probe as signed 32-bit>)", into dest (kNameSize bytes); true when an entry matched.
bool LookupName(const MacroEntry* table, size_t named, int64_t probe, char* dest);

template <size_t N>
inline bool LookupName(const MacroEntry (&table)[N], int64_t probe, char* dest) {
    return LookupName(table, N - 1, probe, dest);
}

// The name of the first named entry whose value equals the probe, or the fallback text written
// into `fallback` (kNameSize bytes) and returned: no name is copied.
std::string_view NameOrFallback(const MacroEntry* table, size_t named, int64_t probe, char* fallback);

template <size_t N>
inline std::string_view NameOrFallback(const MacroEntry (&table)[N], int64_t probe, char* fallback) {
    return NameOrFallback(table, N - 1, probe, fallback);
}

// Identifiers from 0x8001 up are the vendor's; 0x8000 belongs to the standard side.
inline bool IsVendorId(TW_UINT16 id) { return id >= 0x8001; }

// The vendor tables name the extensions of one maker, the wrapped source's own. In the linux
// build they name identifiers from 0x8001 up only while the traced source's identity is that
// maker's; any other source's print as the base name plus the offset ("CAP_CUSTOMBASE+1"), and
// its custom DATs show their first bytes. The macos build always wraps that maker's source.
constexpr char kVendorManufacturer[] = "KOVAR";
constexpr bool kVendorNamingFollowsTheSource = kTraceGoesBeyondTheOriginal;
// Whether identifiers from 0x8001 up are named through the vendor tables now.
bool VendorNaming();
// Starts a load's naming: the vendor's names only where they cannot depend on the source.
void ResetVendorNaming();
// Names the vendor range after the source's manufacturer (a field of up to `width` bytes).
void FollowSourceManufacturer(const char* manufacturer, size_t width);
// "CAP_CUSTOMBASE+1": an identifier of another maker's range, after its base name.
void CustomName(const char* base, TW_UINT16 id, char* dest);

// Names `value` through the CAP table, then the ICAP table, of the standard or the vendor range.
void LookupInCapabilityTables(bool vendor, TW_UINT16 value, char* dest);

// Capability name lookup: the capability tables of the identifier's own range.
inline void LookupCapabilityName(TW_UINT16 cap, char* dest) { LookupInCapabilityTables(IsVendorId(cap), cap, dest); }
// The same names, returned in place, with a fallback text written into `fallback` only.
std::string_view CapabilityTablesNameOrFallback(bool vendor, TW_UINT16 value, char* fallback);
inline std::string_view CapabilityNameOrFallback(TW_UINT16 cap, char* fallback) {
    return CapabilityTablesNameOrFallback(IsVendorId(cap), cap, fallback);
}

// The row of VALTOCAP (capabilities up to 0x8000) or VALTOCAPKV that names the capability's item
// values; null when the capability has none.
const ValToCapEntry* FindValueTable(TW_UINT16 cap);

// Standard or vendor table by the split between 0x8000 and 0x8001.
bool LookupDatName(TW_UINT16 dat, char* dest);
bool LookupMsgName(TW_UINT16 msg, char* dest);
