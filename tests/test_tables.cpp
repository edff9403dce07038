// The symbol tables and capability value maps: a golden dump of every table, the structure that
// the lookups rely on (closing entries, counts, prefixes, which values repeat), and the lookups
// at the edges where a wrong table, a wrong order or a wrong range split shows.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "twaintbl.h"

namespace {

constexpr uint64_t kAllOnes = 0xFFFFFFFFFFFFFFFFull;

struct TableInfo {
    const char* name;
    const MacroEntry* table;
    size_t declared;  // named entries as declared, closing entry excluded
    size_t expected;  // named entries the design gives the table
    const char* prefix;  // every name in the table starts with it
};

#define TABLE(t, count, prefix) { #t, t, std::size(t) - 1, count, prefix }

// Named tables first, then the value tables of the maps, each in the order they are listed.
const TableInfo kTables[] = {
    TABLE(twrc_macros, 11, "TWRC_"),
    TABLE(dg_macros, 3, "DG_"),
    TABLE(dat_macros, 33, "DAT_"),
    TABLE(dat_kv_macros, 14, "DAT_KV_"),
    TABLE(msg_macros, 35, "MSG_"),
    TABLE(msg_kv_macros, 2, "MSG_KV_"),
    TABLE(cap_macros, 50, "CAP_"),
    TABLE(icap_macros, 76, "ICAP_"),
    TABLE(cap_kv_macros, 23, "CAP_KV_"),
    TABLE(icap_kv_macros, 59, "ICAP_KV_"),
    TABLE(twty_macros, 13, "TWTY_"),
    TABLE(twon_macros, 12, "TWON_"),
    TABLE(twcp_macros, 13, "TWCP_"),
    TABLE(twpt_macros, 9, "TWPT_"),
    TABLE(twff_macros, 10, "TWFF_"),
    TABLE(twcc_macros, 23, "TWCC_"),
    TABLE(twlg_macros, 129, "TWLG_"),
    TABLE(twcy_macros, 239, "TWCY_"),
    TABLE(twkv_ft_macros, 5, "TWKV_FT_"),
    TABLE(twkv_pg_macros, 2, "TWKV_PG_"),
    TABLE(twbr_macros, 4, "TWBR_"),
    TABLE(twbo_macros, 2, "TWBO_"),
    TABLE(twft_macros, 9, "TWFT_"),
    TABLE(twlp_macros, 2, "TWLP_"),
    TABLE(twls_macros, 7, "TWLS_"),
    TABLE(twor_macros, 6, "TWOR_"),
    TABLE(twpf_macros, 2, "TWPF_"),
    TABLE(twpc_macros, 2, "TWPC_"),
    TABLE(twss_macros, 58, "TWSS_"),
    TABLE(twsx_macros, 3, "TWSX_"),
    TABLE(twun_macros, 6, "TWUN_"),
    TABLE(twdx_macros, 3, "TWDX_"),
    TABLE(twjc_macros, 5, "TWJC_"),
    TABLE(twaf_macros, 4, "TWAF_"),
    TABLE(twal_macros, 9, "TWAL_"),
    TABLE(twcb_macros, 3, "TWCB_"),
    TABLE(twde_macros, 18, "TWDE_"),
    TABLE(twfa_macros, 4, "TWFA_"),
    TABLE(twfo_macros, 2, "TWFO_"),
    TABLE(twps_macros, 2, "TWPS_"),
    TABLE(twpr_macros, 8, "TWPR_"),
    TABLE(twpm_macros, 3, "TWPM_"),
    TABLE(twbd_macros, 4, "TWBD_"),
    TABLE(twfl_macros, 5, "TWFL_"),
    TABLE(twfr_macros, 2, "TWFR_"),
    TABLE(twif_macros, 7, "TWIF_"),
    TABLE(twnf_macros, 4, "TWNF_"),
    TABLE(twov_macros, 5, "TWOV_"),
    TABLE(twkv_ui_macros, 7, "TWKV_UI_"),
    TABLE(twkv_em_macros, 3, "TWKV_EM_"),
    TABLE(twkv_gt_macros, 3, "TWKV_GT_"),
    TABLE(twkv_cc_macros, 3, "TWKV_CC_"),
    TABLE(twkv_cl_macros, 2, "TWKV_CL_"),
    TABLE(twkv_tpu_macros, 4, "TWKV_TPU_"),
    TABLE(twkv_usm_macros, 4, "TWKV_USM_"),
    TABLE(twkv_dscr_macros, 4, "TWKV_DSCR_"),
    TABLE(twkv_ta_macros, 2, "TWKV_TA_"),
    TABLE(twkv_dr_macros, 3, "TWKV_DR_"),
    TABLE(twkv_ice_macros, 2, "TWKV_ICE_"),
    TABLE(twkv_gr_macros, 3, "TWKV_GR_"),
    TABLE(twkv_ht_macros, 6, "TWKV_HT_"),
    TABLE(twkv_fs_macros, 6, "TWKV_FS_"),
    TABLE(twkv_af_macros, 2, "TWKV_AF_"),
    TABLE(twkv_fet_macros, 2, "TWKV_FT_"),
    TABLE(twkv_li_macros, 2, "TWKV_LI_"),
    TABLE(twkv_autosizetype_macros, 2, "TWKV_AUTOSIZE_"),
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

const TableInfo& FindTable(const char* name) {
    for (const TableInfo& t : kTables) {
        if (strcmp(t.name, name) == 0) return t;
    }
    ADD_FAILURE() << "no table " << name;
    return kTables[0];
}

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

TEST(SymbolTables, NamesAreNonNullCarryTheirTablePrefixAndFitTheNameBuffer) {
    size_t longest = 0;
    for (const TableInfo& t : kTables) {
        SCOPED_TRACE(t.name);
        const size_t prefix_len = strlen(t.prefix);
        for (size_t i = 0; i < t.declared; ++i) {
            const char* name = t.table[i].name;
            ASSERT_NE(name, nullptr) << "entry " << i;
            EXPECT_EQ(strncmp(name, t.prefix, prefix_len), 0) << name;
            EXPECT_GT(strlen(name), prefix_len) << name;
            longest = std::max(longest, strlen(name));
        }
    }
    EXPECT_EQ(longest, 33u);  // ICAP_PATCHCODEMAXSEARCHPRIORITIES
    EXPECT_LT(longest, kNameSize);
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

TEST(SymbolTables, CapAndIcapTablesOfAPairNeverShareAnIdentifier) {
    // The capability lookup tries the CAP table first, so a shared value would hide the ICAP name.
    const std::pair<const char*, const char*> pairs[] = {
        {"cap_macros", "icap_macros"},
        {"cap_kv_macros", "icap_kv_macros"},
    };
    for (const auto& [cap_name, icap_name] : pairs) {
        SCOPED_TRACE(std::string(cap_name) + " / " + icap_name);
        const TableInfo& caps = FindTable(cap_name);
        const TableInfo& icaps = FindTable(icap_name);
        std::set<uint64_t> seen;
        for (size_t i = 0; i < caps.declared; ++i) seen.insert(caps.table[i].value);
        for (size_t i = 0; i < icaps.declared; ++i) {
            EXPECT_EQ(seen.count(icaps.table[i].value), 0u) << icaps.table[i].name;
        }
    }
}

TEST(CapabilityMaps, RowsAreReachableAndCountTheirWholeTable) {
    std::set<const MacroEntry*> tables_used;
    for (const MapInfo& m : kMaps) {
        SCOPED_TRACE(m.name);
        EXPECT_EQ(m.declared, m.expected);
        const ValToCapEntry& end = m.rows[m.declared];
        EXPECT_EQ(end.cap, 0xFFFFFFFFu);
        EXPECT_EQ(end.count, 0xFFFFFFFFu);
        EXPECT_EQ(end.table, nullptr);
        std::set<uint32_t> caps;
        for (size_t i = 0; i < m.declared; ++i) {
            const ValToCapEntry& row = m.rows[i];
            SCOPED_TRACE(testing::Message() << "row " << i << " cap 0x" << std::hex << row.cap);
            // The lookup picks the vendor map only above 0x8000; a row on the wrong side is dead.
            EXPECT_EQ(row.cap > 0x8000, m.vendor);
            EXPECT_TRUE(caps.insert(row.cap).second) << "a second row for one capability is never reached";
            ASSERT_NE(row.table, nullptr);
            EXPECT_TRUE(tables_used.insert(row.table).second) << TableName(row.table) << " used twice";
            const TableInfo* values = FindTable(row.table);
            ASSERT_NE(values, nullptr);
            // A count past the table's end would send the lookup beyond it.
            ASSERT_EQ(row.count, values->declared + 1) << values->name;
            EXPECT_STREQ(row.table[row.count - 1].name, "ERROR!");
            EXPECT_EQ(row.table[row.count - 1].value, kAllOnes);
            // The row's capability is a named one, except the audio file format.
            if (row.cap != 0x1201) {
                char name[kNameSize];
                LookupCapabilityName(static_cast<TW_UINT16>(row.cap), name);
                EXPECT_NE(strncmp(name, "ERROR!(", 7), 0) << name;
            }
        }
    }
    // Every value table from twbr_macros on serves a map row.
    for (const TableInfo* t = &FindTable("twbr_macros"); t != std::end(kTables); ++t) {
        EXPECT_EQ(tables_used.count(t->table), 1u) << t->name;
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
        {BY(Lookup::Cap), 0x1005, "CAP_SUPPORTEDCAPS", true},
        {BY(Lookup::Cap), 0x0001, "CAP_XFERCOUNT", true},
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
        {IN(twon_macros), 0xFF, "TWON_DONTCARE8", true},
        {IN(twon_macros), 5, "TWON_ONEVALUE", true},
        // Languages: the short codes win, and -1 is stored as all ones, out of a 16-bit field's reach.
        {IN(twlg_macros), 0, "TWLG_DAN", true},
        {IN(twlg_macros), 13, "TWLG_USA", true},
        {IN(twlg_macros), 14, "TWLG_AFRIKAANS", true},
        {IN(twlg_macros), 113, "TWLG_VIETNAMESE", true},
        {IN(twlg_macros), 114, "ERROR!(114)", false},
        {IN(twlg_macros), 0xFFFF, "ERROR!(65535)", false},
        // Countries that share a code print the first listed.
        {IN(twcy_macros), 27, "TWCY_ANDORRA", true},
        {IN(twcy_macros), 7, "TWCY_USSR", true},
        {IN(twcy_macros), 39, "TWCY_ITALY", true},
        {IN(twcy_macros), 1009, "TWCY_CHRISTMASIS", true},
        {IN(twcy_macros), 33, "TWCY_FRANCE", true},
        {IN(twcy_macros), 508, "TWCY_MIQUELON", true},
        {IN(twcy_macros), 8015, "TWCY_GRENEDINES", true},
        {IN(twcy_macros), 41, "TWCY_LIECHTENSTEIN", true},
        {IN(twcy_macros), 8016, "TWCY_TOBAGO", true},
        {IN(twcy_macros), 1043, "TWCY_FUTANAIS", true},
        {IN(twcy_macros), 82, "TWCY_KOREA", true},
        {IN(twcy_macros), 1, "TWCY_USA", true},
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

struct ValueCase {
    TW_UINT16 cap;
    TW_UINT16 value;
    const char* expected;  // nullptr: the capability has no value table
};

TEST(SymbolLookups, NameCapabilityValuesThroughTheMaps) {
    const ValueCase cases[] = {
        {0x112C, 0, "TWBR_THRESHOLD"},  // ICAP_BITDEPTHREDUCTION, first row
        {0x1149, 4, "TWOV_ALL"},  // last row, ICAP_OVERSCAN
        {0x1110, 3, "TWOR_ROT270"},  // ICAP_ORIENTATION, before TWOR_LANDSCAPE
        {0x1110, 0, "TWOR_ROT0"},
        {0x1147, 4, "TWIF_HIGHPASS"},  // ICAP_IMAGEFILTER, before TWIF_FINELINE
        {0x1147, 7, "ERROR!(7)"},
        {0x1122, 1, "TWSS_A4LETTER"},  // ICAP_SUPPORTEDSIZES
        {0x1122, 8, "ERROR!(8)"},
        {0x1122, 9, "TWSS_USLEDGER"},
        {0x1122, 12, "TWSS_B3"},
        {0x1122, 53, "TWSS_BUSINESSCARD"},
        {0x1122, 54, "ERROR!(54)"},
        {0x0102, 9, "ERROR!(9)"},  // ICAP_UNITS
        {0x0102, 5, "TWUN_PIXELS"},
        {0x0101, 2, "TWPT_RGB"},  // ICAP_PIXELTYPE
        {0x0100, 12, "TWCP_BITFIELDS"},  // ICAP_COMPRESSION
        {0x1201, 3, "TWAF_AU"},  // audio file format, no capability name
        {0x1201, 2, "ERROR!(2)"},
        {0x1022, 0x8000, "TWDE_CUSTOMEVENTS"},  // CAP_DEVICEEVENT
        {0x1022, 16, "TWDE_POWERSAVENOTIFY"},
        {0x800F, 6, "TWKV_UI_EXTRALIDFILM"},  // CAP_KV_UIMODE, first vendor row
        {0x8003, 4, "TWKV_FT_REFLECTIVEDOCUMENT"},  // ICAP_KV_FILMTYPE
        {0x8007, 1, "TWKV_PG_18"},  // ICAP_KV_LUT1
        {0x803B, 1, "TWKV_FT_MPF"},  // CAP_KV_FEEDERTYPE
        {0x8081, 1, "TWKV_AUTOSIZE_LONG"},  // ICAP_KV_AUTOSIZETYPE, last vendor row
        {0x8081, 2, "ERROR!(2)"},
        // No row: nothing is written.
        {0x112B, 1, nullptr},  // ICAP_BITDEPTH
        {0x1118, 0, nullptr},  // ICAP_XRESOLUTION
        {0x8000, 0, nullptr},  // CAP_CUSTOMBASE looks in the standard map and finds no row
        {0x8001, 0, nullptr},  // CAP_KV_VERSION
        {0x0081, 1, nullptr},  // ICAP_KV_AUTOSIZETYPE without its vendor range
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << c.cap << " value " << std::dec << c.value);
        char name[kNameSize];
        strcpy(name, "untouched");
        const bool has_table = LookupValueName(c.cap, c.value, name);
        EXPECT_EQ(has_table, c.expected != nullptr);
        EXPECT_STREQ(name, c.expected != nullptr ? c.expected : "untouched");
    }
}

}  // namespace
