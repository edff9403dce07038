// The symbol tables and capability value maps: a golden dump of every table, the closing entries
// the lookups stop at, the TWAIN 2.5 identifiers the linux build appends, and the indexed lookups
// against a scan of the tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "support/TestSupport.h"
#include "twaintbl.h"

namespace {

struct TableInfo {
    const char* name;
    const MacroEntry* table;
    size_t declared;  // named entries as declared, closing entry excluded
    size_t own;       // the entries before those the linux build appends
};

#define TABLE(t, own) { #t, t, std::size(t) - 1, own }

// The tables with their own named entries; named tables first, then the value tables of the maps,
// each in the order they are listed.
const TableInfo kTables[] = {
    TABLE(twrc_macros, 11), TABLE(dg_macros, 3), TABLE(dat_macros, 33), TABLE(dat_kv_macros, 14),
    TABLE(msg_macros, 35), TABLE(msg_kv_macros, 2), TABLE(cap_macros, 50), TABLE(icap_macros, 76),
    TABLE(cap_kv_macros, 23), TABLE(icap_kv_macros, 59), TABLE(twty_macros, 13), TABLE(twon_macros, 12),
    TABLE(twcp_macros, 13), TABLE(twpt_macros, 9), TABLE(twff_macros, 10), TABLE(twcc_macros, 23),
    TABLE(twlg_macros, 129), TABLE(twcy_macros, 239), TABLE(twkv_ft_macros, 5), TABLE(twkv_pg_macros, 2),
    TABLE(twbr_macros, 4), TABLE(twbo_macros, 2), TABLE(twft_macros, 9), TABLE(twlp_macros, 2),
    TABLE(twls_macros, 7), TABLE(twor_macros, 6), TABLE(twpf_macros, 2), TABLE(twpc_macros, 2),
    TABLE(twss_macros, 58), TABLE(twsx_macros, 3), TABLE(twun_macros, 6), TABLE(twdx_macros, 3),
    TABLE(twjc_macros, 5), TABLE(twaf_macros, 4), TABLE(twal_macros, 9), TABLE(twcb_macros, 3),
    TABLE(twde_macros, 18), TABLE(twfa_macros, 4), TABLE(twfo_macros, 2), TABLE(twps_macros, 2),
    TABLE(twpr_macros, 8), TABLE(twpm_macros, 3), TABLE(twbd_macros, 4), TABLE(twfl_macros, 5),
    TABLE(twfr_macros, 2), TABLE(twif_macros, 7), TABLE(twnf_macros, 4), TABLE(twov_macros, 5),
    TABLE(twkv_ui_macros, 7), TABLE(twkv_em_macros, 3), TABLE(twkv_gt_macros, 3), TABLE(twkv_cc_macros, 3),
    TABLE(twkv_cl_macros, 2), TABLE(twkv_tpu_macros, 4), TABLE(twkv_usm_macros, 4), TABLE(twkv_dscr_macros, 4),
    TABLE(twkv_ta_macros, 2), TABLE(twkv_dr_macros, 3), TABLE(twkv_ice_macros, 2), TABLE(twkv_gr_macros, 3),
    TABLE(twkv_ht_macros, 6), TABLE(twkv_fs_macros, 6), TABLE(twkv_af_macros, 2), TABLE(twkv_fet_macros, 2),
    TABLE(twkv_li_macros, 2), TABLE(twkv_autosizetype_macros, 2),
};

// The tables of the TWAIN 2.5 value families, which only the linux build reads.
#define NEW(t) TABLE(t, 0)
const TableInfo kTwain25Tables[] = {
    NEW(twmf_macros), NEW(twas_macros), NEW(twbcor_macros), NEW(twbp_macros), NEW(twbt_macros), NEW(twcs_macros),
    NEW(twdr_macros), NEW(twdsk_macros), NEW(twfe_macros), NEW(twfp_macros), NEW(twfy_macros), NEW(twia_macros),
    NEW(twic_macros), NEW(twim_macros), NEW(twjq_macros), NEW(twmd_macros), NEW(twpa_macros), NEW(twpch_macros),
    NEW(twpf_font_macros), NEW(twct_macros), NEW(twsg_macros), NEW(twfm_macros), NEW(twdf_macros), NEW(twus_macros),
    NEW(twdp_macros), NEW(twmr_macros), NEW(twjs_macros), NEW(twph_macros), NEW(twci_macros), NEW(df_macros),
    NEW(twei_macros), NEW(twej_macros), NEW(twqc_macros), NEW(twfs_macros),
};
#undef NEW
#undef TABLE

std::vector<const TableInfo*> AllTables() {
    std::vector<const TableInfo*> all;
    for (const TableInfo& t : kTables) all.push_back(&t);
    for (const TableInfo& t : kTwain25Tables) all.push_back(&t);
    return all;
}
const TableInfo* FindTable(const MacroEntry* table) {
    for (const TableInfo* t : AllTables()) {
        if (t->table == table) return t;
    }
    return nullptr;
}
struct MapInfo {
    const char* name;
    const ValToCapEntry* rows;
    size_t declared;  // rows as declared, terminator excluded
    size_t own;       // the rows before those the linux build appends
};

const MapInfo kMaps[] = {
    {"VALTOCAP", VALTOCAP, std::size(VALTOCAP) - 1, 31},
    {"VALTOCAPKV", VALTOCAPKV, std::size(VALTOCAPKV) - 1, 20},
};

void DumpEntries(std::string& out, const TableInfo& t, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        out += fmt::format("{}=0x{:X}\n", t.table[i].name ? t.table[i].name : "(null)", t.table[i].value);
}

// A map row names its table and counts that table's entries, closing entry included.
void DumpRows(std::string& out, const MapInfo& m, size_t from, size_t to, bool ownCounts) {
    for (size_t i = from; i < to; ++i) {
        const TableInfo* t = FindTable(m.rows[i].table);
        const size_t count = ownCounts && t != nullptr ? t->own + 1 : m.rows[i].count;
        out += fmt::format("cap=0x{:X} count={} table={}\n", m.rows[i].cap, count, t != nullptr ? t->name : "(unknown table)");
    }
}

// Every table's own entries and every map's own rows, alike in both builds: a missing, zero-filled,
// reordered or renumbered entry, and a map row on the wrong side or for a wrong table, all show
// here. A row's count shows the table's own entries; that it counts the whole table is checked
// apart.
std::string DumpOwnTables() {
    std::string out;
    for (const TableInfo& t : kTables) {
        out += fmt::format("{} {}\n", t.name, t.own);
        DumpEntries(out, t, 0, t.own);
    }
    for (const MapInfo& m : kMaps) {
        out += fmt::format("{} {}\n", m.name, m.own);
        DumpRows(out, m, 0, m.own, true);
    }
    return out;
}

// What the linux build adds: the entries appended to each table, the tables of the TWAIN 2.5
// value families, and the map rows of the capabilities whose values they name.
std::string DumpAddedTables() {
    std::string out;
    for (const TableInfo& t : kTables) {
        if (t.declared == t.own) continue;
        out += fmt::format("{} +{}\n", t.name, t.declared - t.own);
        DumpEntries(out, t, t.own, t.declared);
    }
    for (const TableInfo& t : kTwain25Tables) {
        out += fmt::format("{} {} (new)\n", t.name, t.declared);
        DumpEntries(out, t, 0, t.declared);
    }
    for (const MapInfo& m : kMaps) {
        if (m.declared == m.own) continue;
        out += fmt::format("{} +{}\n", m.name, m.declared - m.own);
        DumpRows(out, m, m.own, m.declared, false);
    }
    return out;
}

TEST(SymbolTables, OwnEntriesMatchGoldenFile) { ExpectMatchesGolden("tables.txt", DumpOwnTables()); }

TEST(SymbolTables, AddedEntriesMatchGoldenFileOrAreAbsent) {
    if (kLinux) {
        ExpectMatchesGolden("tables_linux.txt", DumpAddedTables());
        return;
    }
    for (const TableInfo& t : kTables) EXPECT_EQ(t.declared, t.own) << t.name;
    for (const MapInfo& m : kMaps) EXPECT_EQ(m.declared, m.own) << m.name;
}

// The closing entries lie past what the dump shows; the lookups stop at them. A map row counts the
// whole table it names, appended entries and closing entry included, or the lookup stops short.
TEST(SymbolTables, EveryTableAndMapEndsInItsClosingEntry) {
    for (const TableInfo* t : AllTables()) {
        SCOPED_TRACE(t->name);
        // Every name fits the name buffer whole: a longer one would be cut there.
        for (size_t i = 0; i < t->declared; ++i) EXPECT_LT(strlen(t->table[i].name), kNameSize) << t->table[i].name;
        const MacroEntry& closing = t->table[t->declared];
        ASSERT_NE(closing.name, nullptr);
        EXPECT_STREQ(closing.name, "ERROR!");
        EXPECT_EQ(closing.value, 0xFFFFFFFFFFFFFFFFull);
    }
    for (const MapInfo& m : kMaps) {
        EXPECT_EQ(m.rows[m.declared].table, nullptr) << m.name;
        for (size_t i = 0; i < m.declared; ++i) {
            const TableInfo* t = FindTable(m.rows[i].table);
            ASSERT_NE(t, nullptr) << m.name << " row " << i;
            EXPECT_EQ(m.rows[i].count, t->declared + 1) << m.name << " row " << i;
        }
    }
}

// The family of a constant: its prefix, the capabilities' three (CAP_, ICAP_, ACAP_) as one.
std::string Family(const std::string& name) {
    const std::string prefix = name.substr(0, name.find('_'));
    return prefix == "ICAP" || prefix == "ACAP" ? "CAP" : prefix;
}

// Every value of the TWAIN 2.5 headers for Linux (tests/data: "NAME VALUE" in hexadecimal, negative
// with a minus sign) is named in the linux build by a name of its family: a missing one would
// print as ERROR!(value). Which table holds each name is the dumps' to pin. The TWON_ table keeps
// the older protocol version (1.9) its own two entries carry: TWAIN 2.5's version numbers are not
// container types to name.
TEST(SymbolTables, LinuxNamesEveryTwain25Constant) {
    if (!kLinux) GTEST_SKIP() << "the macos build keeps the older tables";
    std::set<std::pair<std::string, int64_t>> named;
    for (const TableInfo* t : AllTables()) {
        for (size_t i = 0; i < t->declared; ++i)
            named.insert({Family(t->table[i].name), static_cast<int64_t>(t->table[i].value)});
    }
    std::ifstream in(std::string(TRACEWELL_SOURCE_DIR) + "/tests/data/twain-2.5-constants.txt");
    size_t checked = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string name, value;
        fields >> name >> value;
        if (line.empty() || line[0] == '#' || name == "TWON_PROTOCOLMINOR" || name == "TWON_PROTOCOLMAJOR") continue;
        ++checked;
        EXPECT_EQ(named.count({Family(name), strtoll(value.c_str(), nullptr, 16)}), 1u) << line;
    }
    EXPECT_GT(checked, 1000u);
}

// Appended entries name only values that the table's own entries leave unnamed, each once: an
// appended name can never replace a name the table already prints.
TEST(SymbolTables, AppendedEntriesNameOnlyNewValues) {
    for (const TableInfo& t : kTables) {
        for (size_t i = t.own; i < t.declared; ++i) {
            SCOPED_TRACE(t.table[i].name);
            EXPECT_EQ(FindName(t.table, i, static_cast<int64_t>(t.table[i].value)), nullptr);
        }
    }
}

// What the lookups answered before they were indexed: the first named entry holding the value.
const char* ScannedName(const MacroEntry* table, size_t named, int64_t probe) {
    for (size_t i = 0; i < named; ++i) {
        if (table[i].value == static_cast<uint64_t>(probe)) return table[i].name;
    }
    return nullptr;
}

// Every value of every table, its neighbours and the edges of a 16-bit field, looked up through
// the index, over the whole table and over its own entries only, as a scan answers them: values
// that several entries hold give the first, absent ones the fallback.
TEST(SymbolLookups, IndexedLookupsAnswerAsAScan) {
    for (const TableInfo* t : AllTables()) {
        SCOPED_TRACE(t->name);
        EXPECT_TRUE(HasNameIndex(t->table));
        std::vector<int64_t> probes = {0, 0x7FFF, 0x8000, 0x8001, 0xFFFF, -1};
        for (size_t i = 0; i < t->declared; ++i) {
            const int64_t value = static_cast<int64_t>(t->table[i].value);
            probes.insert(probes.end(), {value - 1, value, value + 1});
        }
        for (const int64_t probe : probes) {
            SCOPED_TRACE(probe);
            const char* const scanned = ScannedName(t->table, t->declared, probe);
            EXPECT_EQ(FindName(t->table, t->declared, probe), scanned);
            EXPECT_EQ(FindName(t->table, t->own, probe), ScannedName(t->table, t->own, probe));
            char name[kNameSize];
            EXPECT_EQ(LookupName(t->table, t->declared, probe, name), scanned != nullptr);
            EXPECT_EQ(name, scanned != nullptr ? std::string(scanned) : fmt::format("ERROR!({})", static_cast<int32_t>(probe)));
        }
    }
    // The maps: the first row of the capability, in the map of its side.
    for (const MapInfo& m : kMaps) {
        std::vector<TW_UINT16> caps = {0, 0x8000, 0x8001, 0xFFFF};
        for (size_t i = 0; i < m.declared; ++i) {
            for (uint32_t cap = m.rows[i].cap - 1; cap <= m.rows[i].cap + 1; ++cap) caps.push_back(static_cast<TW_UINT16>(cap));
        }
        for (const TW_UINT16 cap : caps) {
            const MapInfo& side = kMaps[cap > 0x8000 ? 1 : 0];
            const ValToCapEntry* expected = nullptr;
            for (size_t i = 0; i < side.declared && expected == nullptr; ++i) {
                if (side.rows[i].cap == cap) expected = &side.rows[i];
            }
            EXPECT_EQ(FindValueTable(cap), expected) << m.name << " cap 0x" << std::hex << cap;
        }
    }
}

}  // namespace
