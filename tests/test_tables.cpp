// The symbol tables and capability value maps: a golden dump of every table, the structure that
// the lookups rely on (closing entries, counts, which values repeat), and the lookups at the
// edges where a wrong table, a wrong order or a wrong range split shows.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "twaintbl.h"

namespace {

constexpr uint64_t kAllOnes = 0xFFFFFFFFFFFFFFFFull;

struct TableInfo {
    const char* name;
    const MacroEntry* table;
    size_t declared;  // named entries as declared, closing entry excluded
    size_t expected;  // named entries the design gives the table
};

#define TABLE(t, count) { #t, t, std::size(t) - 1, count }

// Named tables first, then the value tables of the maps, each in the order they are listed.
const TableInfo kTables[] = {
    TABLE(twrc_macros, 11),
    TABLE(dg_macros, 3),
    TABLE(dat_macros, 33),
    TABLE(dat_kv_macros, 14),
    TABLE(msg_macros, 35),
    TABLE(msg_kv_macros, 2),
    TABLE(cap_macros, 50),
    TABLE(icap_macros, 76),
    TABLE(cap_kv_macros, 23),
    TABLE(icap_kv_macros, 59),
    TABLE(twty_macros, 13),
    TABLE(twon_macros, 12),
    TABLE(twcp_macros, 13),
    TABLE(twpt_macros, 9),
    TABLE(twff_macros, 10),
    TABLE(twcc_macros, 23),
    TABLE(twlg_macros, 129),
    TABLE(twcy_macros, 239),
    TABLE(twkv_ft_macros, 5),
    TABLE(twkv_pg_macros, 2),
    TABLE(twbr_macros, 4),
    TABLE(twbo_macros, 2),
    TABLE(twft_macros, 9),
    TABLE(twlp_macros, 2),
    TABLE(twls_macros, 7),
    TABLE(twor_macros, 6),
    TABLE(twpf_macros, 2),
    TABLE(twpc_macros, 2),
    TABLE(twss_macros, 58),
    TABLE(twsx_macros, 3),
    TABLE(twun_macros, 6),
    TABLE(twdx_macros, 3),
    TABLE(twjc_macros, 5),
    TABLE(twaf_macros, 4),
    TABLE(twal_macros, 9),
    TABLE(twcb_macros, 3),
    TABLE(twde_macros, 18),
    TABLE(twfa_macros, 4),
    TABLE(twfo_macros, 2),
    TABLE(twps_macros, 2),
    TABLE(twpr_macros, 8),
    TABLE(twpm_macros, 3),
    TABLE(twbd_macros, 4),
    TABLE(twfl_macros, 5),
    TABLE(twfr_macros, 2),
    TABLE(twif_macros, 7),
    TABLE(twnf_macros, 4),
    TABLE(twov_macros, 5),
    TABLE(twkv_ui_macros, 7),
    TABLE(twkv_em_macros, 3),
    TABLE(twkv_gt_macros, 3),
    TABLE(twkv_cc_macros, 3),
    TABLE(twkv_cl_macros, 2),
    TABLE(twkv_tpu_macros, 4),
    TABLE(twkv_usm_macros, 4),
    TABLE(twkv_dscr_macros, 4),
    TABLE(twkv_ta_macros, 2),
    TABLE(twkv_dr_macros, 3),
    TABLE(twkv_ice_macros, 2),
    TABLE(twkv_gr_macros, 3),
    TABLE(twkv_ht_macros, 6),
    TABLE(twkv_fs_macros, 6),
    TABLE(twkv_af_macros, 2),
    TABLE(twkv_fet_macros, 2),
    TABLE(twkv_li_macros, 2),
    TABLE(twkv_autosizetype_macros, 2),
};

#undef TABLE

struct MapInfo {
    const char* name;
    const ValToCapEntry* rows;
    size_t declared;  // rows as declared, terminator excluded
    size_t expected;
    bool vendor;  // rows reached only for capabilities above 0x8000
};

const MapInfo kMaps[] = {
    {"VALTOCAP", VALTOCAP, std::size(VALTOCAP) - 1, 31, false},
    {"VALTOCAPKV", VALTOCAPKV, std::size(VALTOCAPKV) - 1, 20, true},
};

const TableInfo* FindTable(const MacroEntry* table) {
    for (const TableInfo& t : kTables) {
        if (t.table == table) return &t;
    }
    return nullptr;
}

const char* TableName(const MacroEntry* table) {
    const TableInfo* t = FindTable(table);
    return t != nullptr ? t->name : "(unknown table)";
}

// Named entries up to the first closing entry, or the declared size if none closes early.
size_t CountNamed(const TableInfo& t) {
    for (size_t i = 0; i <= t.declared; ++i) {
        if (t.table[i].name != nullptr && strcmp(t.table[i].name, "ERROR!") == 0) return i;
    }
    return t.declared + 1;
}

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

TEST(SymbolTables, EveryTableHasItsCountOfNamedEntriesThenTheClosingEntry) {
    for (const TableInfo& t : kTables) {
        SCOPED_TRACE(t.name);
        EXPECT_EQ(t.declared, t.expected);
        // A definition with fewer entries than declared is zero-filled, so the closing entry
        // would stand early or not at all.
        EXPECT_EQ(CountNamed(t), t.expected);
        const MacroEntry& closing = t.table[t.declared];
        ASSERT_NE(closing.name, nullptr);
        EXPECT_STREQ(closing.name, "ERROR!");
        EXPECT_EQ(closing.value, kAllOnes);
    }
}

// Values held by more than one name, each group written as its names in stored order.
std::set<std::string> SharedValues(const TableInfo& t) {
    std::map<uint64_t, std::string> by_value;
    std::map<uint64_t, int> uses;
    for (size_t i = 0; i < t.declared; ++i) {
        std::string& names = by_value[t.table[i].value];
        if (!names.empty()) names += ' ';
        names += t.table[i].name;
        ++uses[t.table[i].value];
    }
    std::set<std::string> shared;
    for (const auto& [value, names] : by_value) {
        if (uses[value] > 1) shared.insert(names);
    }
    return shared;
}

TEST(SymbolTables, OnlyTheKnownAliasesShareAValue) {
    // Every table not listed here holds distinct values.
    const std::map<std::string, std::set<std::string>> known = {
        {"icap_kv_macros", {"ICAP_KV_ADE ICAP_KV_TEXTENHANCEMENT"}},
        {"twlg_macros",
         {"TWLG_DAN TWLG_DANISH", "TWLG_DUT TWLG_DUTCH", "TWLG_ENG TWLG_ENGLISH", "TWLG_FCF TWLG_FRENCH_CANADIAN",
          "TWLG_FIN TWLG_FINNISH", "TWLG_FRN TWLG_FRENCH", "TWLG_GER TWLG_GERMAN", "TWLG_ICE TWLG_ICELANDIC",
          "TWLG_ITN TWLG_ITALIAN", "TWLG_NOR TWLG_NORWEGIAN", "TWLG_POR TWLG_PORTUGUESE", "TWLG_SPA TWLG_SPANISH",
          "TWLG_SWE TWLG_SWEDISH", "TWLG_USA TWLG_ENGLISH_USA"}},
        {"twcy_macros",
         {"TWCY_ANDORRA TWCY_SOUTHAFRICA", "TWCY_CHRISTMASIS TWCY_COCOSIS", "TWCY_FRANCE TWCY_MONACO",
          "TWCY_ITALY TWCY_SANMARINO TWCY_VATICANCITY", "TWCY_MIQUELON TWCY_STPIERRE",
          "TWCY_GRENEDINES TWCY_STVINCENT", "TWCY_LIECHTENSTEIN TWCY_SWITZERLAND", "TWCY_TOBAGO TWCY_TRINIDAD",
          "TWCY_FUTANAIS TWCY_WALLISIS", "TWCY_USSR TWCY_RUSSIA", "TWCY_KOREA TWCY_SOUTHKOREA"}},
        {"twss_macros",
         {"TWSS_A4LETTER TWSS_A4", "TWSS_B3 TWSS_ISOB3", "TWSS_B4 TWSS_ISOB4", "TWSS_B6 TWSS_ISOB6",
          "TWSS_B5LETTER TWSS_JISB5"}},
        {"twor_macros", {"TWOR_ROT0 TWOR_PORTRAIT", "TWOR_ROT270 TWOR_LANDSCAPE"}},
        {"twif_macros", {"TWIF_BANDPASS TWIF_TEXT", "TWIF_HIGHPASS TWIF_FINELINE"}},
    };
    for (const TableInfo& t : kTables) {
        SCOPED_TRACE(t.name);
        const auto it = known.find(t.name);
        EXPECT_EQ(SharedValues(t), it == known.end() ? std::set<std::string>{} : it->second);
    }
}

TEST(CapabilityMaps, RowsSitOnTheirSideAndCountTheirWholeTable) {
    for (const MapInfo& m : kMaps) {
        SCOPED_TRACE(m.name);
        EXPECT_EQ(m.declared, m.expected);
        EXPECT_EQ(m.rows[m.declared].table, nullptr);
        for (size_t i = 0; i < m.declared; ++i) {
            const ValToCapEntry& row = m.rows[i];
            // The lookup picks the vendor map only above 0x8000; a row on the wrong side is dead.
            EXPECT_EQ(row.cap > 0x8000, m.vendor) << "row " << i;
            // A count past the table's end would send the lookup beyond it.
            const TableInfo* values = FindTable(row.table);
            ASSERT_NE(values, nullptr) << "row " << i;
            EXPECT_EQ(row.count, values->declared + 1) << values->name;
        }
    }
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
