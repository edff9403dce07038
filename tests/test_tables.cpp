// The symbol tables and capability value maps: a golden dump of every table, the closing entries
// the lookups stop at, and the lookups at the edges where a wrong table, order or range split shows.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "twaintbl.h"

namespace {

struct TableInfo {
    const char* name;
    const MacroEntry* table;
    size_t declared;  // named entries as declared, closing entry excluded
};

#define TABLE(t) { #t, t, std::size(t) - 1 }

// Named tables first, then the value tables of the maps, each in the order they are listed.
const TableInfo kTables[] = {
    TABLE(twrc_macros), TABLE(dg_macros), TABLE(dat_macros), TABLE(dat_kv_macros), TABLE(msg_macros),
    TABLE(msg_kv_macros), TABLE(cap_macros), TABLE(icap_macros), TABLE(cap_kv_macros), TABLE(icap_kv_macros),
    TABLE(twty_macros), TABLE(twon_macros), TABLE(twcp_macros), TABLE(twpt_macros), TABLE(twff_macros),
    TABLE(twcc_macros), TABLE(twlg_macros), TABLE(twcy_macros), TABLE(twkv_ft_macros), TABLE(twkv_pg_macros),
    TABLE(twbr_macros), TABLE(twbo_macros), TABLE(twft_macros), TABLE(twlp_macros), TABLE(twls_macros),
    TABLE(twor_macros), TABLE(twpf_macros), TABLE(twpc_macros), TABLE(twss_macros), TABLE(twsx_macros),
    TABLE(twun_macros), TABLE(twdx_macros), TABLE(twjc_macros), TABLE(twaf_macros), TABLE(twal_macros),
    TABLE(twcb_macros), TABLE(twde_macros), TABLE(twfa_macros), TABLE(twfo_macros), TABLE(twps_macros),
    TABLE(twpr_macros), TABLE(twpm_macros), TABLE(twbd_macros), TABLE(twfl_macros), TABLE(twfr_macros),
    TABLE(twif_macros), TABLE(twnf_macros), TABLE(twov_macros), TABLE(twkv_ui_macros), TABLE(twkv_em_macros),
    TABLE(twkv_gt_macros), TABLE(twkv_cc_macros), TABLE(twkv_cl_macros), TABLE(twkv_tpu_macros), TABLE(twkv_usm_macros),
    TABLE(twkv_dscr_macros), TABLE(twkv_ta_macros), TABLE(twkv_dr_macros), TABLE(twkv_ice_macros),
    TABLE(twkv_gr_macros), TABLE(twkv_ht_macros), TABLE(twkv_fs_macros), TABLE(twkv_af_macros), TABLE(twkv_fet_macros),
    TABLE(twkv_li_macros), TABLE(twkv_autosizetype_macros)
};

#undef TABLE

struct MapInfo {
    const char* name;
    const ValToCapEntry* rows;
    size_t declared;  // rows as declared, terminator excluded
};

const MapInfo kMaps[] = {
    {"VALTOCAP", VALTOCAP, std::size(VALTOCAP) - 1},
    {"VALTOCAPKV", VALTOCAPKV, std::size(VALTOCAPKV) - 1},
};

const char* TableName(const MacroEntry* table) {
    for (const TableInfo& t : kTables) {
        if (t.table == table) return t.name;
    }
    return "(unknown table)";
}

// Every name, value, count and map row as declared: a missing, zero-filled, reordered or
// renumbered entry, and a map row on the wrong side or with a wrong count, all show here.
std::string DumpTables() {
    std::string out;
    char line[160];
    for (const TableInfo& t : kTables) {
        snprintf(line, sizeof line, "%s %zu\n", t.name, t.declared);
        out += line;
        for (size_t i = 0; i < t.declared; ++i) {
            snprintf(line, sizeof line, "%s=0x%" PRIX64 "\n",
                     t.table[i].name ? t.table[i].name : "(null)", t.table[i].value);
            out += line;
        }
    }
    for (const MapInfo& m : kMaps) {
        snprintf(line, sizeof line, "%s %zu\n", m.name, m.declared);
        out += line;
        for (size_t i = 0; i < m.declared; ++i) {
            snprintf(line, sizeof line, "cap=0x%" PRIX32 " count=%" PRIu32 " table=%s\n", m.rows[i].cap,
                     m.rows[i].count, TableName(m.rows[i].table));
            out += line;
        }
    }
    return out;
}

TEST(SymbolTables, DumpMatchesGoldenFile) { ExpectMatchesGolden("tables.txt", DumpTables()); }

// The closing entries lie past what the dump shows; the lookups stop at them.
TEST(SymbolTables, EveryTableAndMapEndsInItsClosingEntry) {
    for (const TableInfo& t : kTables) {
        SCOPED_TRACE(t.name);
        const MacroEntry& closing = t.table[t.declared];
        ASSERT_NE(closing.name, nullptr);
        EXPECT_STREQ(closing.name, "ERROR!");
        EXPECT_EQ(closing.value, 0xFFFFFFFFFFFFFFFFull);
    }
    for (const MapInfo& m : kMaps) EXPECT_EQ(m.rows[m.declared].table, nullptr) << m.name;
}

enum class Lookup { Table, Dat, Msg, Cap };

struct NameCase {
    Lookup how;
    const MacroEntry* table;  // for Lookup::Table
    size_t named;
    TW_UINT16 probe;
    const char* expected;
    bool matched;
};

#define IN(t) Lookup::Table, t, std::size(t) - 1
#define BY(how) how, nullptr, 0

TEST(SymbolLookups, NameTheProbeOrFallBack) {
    const NameCase cases[] = {
        // Return codes end at 9.
        {IN(twrc_macros), 9, "TWRC_DATANOTAVAILABLE", true},
        {IN(twrc_macros), 10, "ERROR!(10)", false},
        {IN(twrc_macros), 0x8000, "TWRC_CUSTOMBASE", true},
        // Data argument types: 0x8000 is standard, 0x8001 on is vendor.
        {BY(Lookup::Dat), 0x0200, "ERROR!(512)", false},
        {BY(Lookup::Dat), 0x0301, "DAT_SETUPFILEXFER2", true},
        {BY(Lookup::Dat), 0x8000, "DAT_CUSTOMBASE", true},
        {BY(Lookup::Dat), 0x8001, "DAT_KV_AUTOEXPOSURE", true},
        {BY(Lookup::Dat), 0x800C, "ERROR!(32780)", false},
        {BY(Lookup::Dat), 0x8017, "DAT_KV_DUALIMAGE", true},
        // Messages.
        {BY(Lookup::Msg), 0x8000, "MSG_CUSTOMBASE", true},
        {BY(Lookup::Msg), 0x8002, "MSG_KV_XFERREQUEST", true},
        {BY(Lookup::Msg), 0x8003, "ERROR!(32771)", false},
        {BY(Lookup::Msg), 0x0901, "MSG_PASSTHRU", true},
        // Capabilities: CAP table, then ICAP table, of the side the identifier falls on.
        {BY(Lookup::Cap), 0x1118, "ICAP_XRESOLUTION", true},
        {BY(Lookup::Cap), 0x115C, "ICAP_IMAGEMERGE", true},
        {BY(Lookup::Cap), 0x8000, "CAP_CUSTOMBASE", true},
        {BY(Lookup::Cap), 0x8001, "CAP_KV_VERSION", true},
        {BY(Lookup::Cap), 0x8003, "ICAP_KV_FILMTYPE", true},
        {BY(Lookup::Cap), 0x8043, "ICAP_KV_ADE", true},
        {BY(Lookup::Cap), 0x1201, "ERROR!(4609)", false},
        {BY(Lookup::Cap), 0x1023, "ERROR!(4131)", false},
        {BY(Lookup::Cap), 0xFFFF, "ERROR!(65535)", false},
        // Container types share their table with the other TWON_ constants.
        {IN(twon_macros), 0xFFFF, "TWON_DONTCARE16", true},
        {IN(twon_macros), 1, "TWON_PROTOCOLMAJOR", true},
        {IN(twon_macros), 9, "TWON_PROTOCOLMINOR", true},
        // Languages: the short codes win, and -1 is stored as all ones, out of a 16-bit field's reach.
        {IN(twlg_macros), 0, "TWLG_DAN", true},
        {IN(twlg_macros), 13, "TWLG_USA", true},
        {IN(twlg_macros), 113, "TWLG_VIETNAMESE", true},
        {IN(twlg_macros), 114, "ERROR!(114)", false},
        {IN(twlg_macros), 0xFFFF, "ERROR!(65535)", false},
        // Countries that share a code print the first listed.
        {IN(twcy_macros), 27, "TWCY_ANDORRA", true},
        {IN(twcy_macros), 7, "TWCY_USSR", true},
        {IN(twcy_macros), 39, "TWCY_ITALY", true},
        {IN(twcy_macros), 82, "TWCY_KOREA", true},
        {IN(twcy_macros), 0, "ERROR!(0)", false},
        // Other values that several names share print the first listed.
        {IN(twor_macros), 3, "TWOR_ROT270", true},
        {IN(twif_macros), 4, "TWIF_HIGHPASS", true},
        {IN(twss_macros), 1, "TWSS_A4LETTER", true},
        // Condition codes skip 7 and 8.
        {IN(twcc_macros), 8, "ERROR!(8)", false},
        {IN(twcc_macros), 9, "TWCC_BADPROTOCOL", true},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "probe 0x" << std::hex << c.probe << " expecting " << c.expected);
        char name[kNameSize];
        memset(name, 'x', sizeof name);
        bool matched = true;
        switch (c.how) {
            case Lookup::Table: matched = LookupName(c.table, c.named, c.probe, name); break;
            case Lookup::Dat: matched = LookupDatName(c.probe, name); break;
            case Lookup::Msg: matched = LookupMsgName(c.probe, name); break;
            case Lookup::Cap:
                LookupCapabilityName(c.probe, name);
                matched = strncmp(name, "ERROR!(", 7) != 0;
                break;
        }
        EXPECT_STREQ(name, c.expected);
        EXPECT_EQ(matched, c.matched);
    }
}

#undef IN
#undef BY

}  // namespace
