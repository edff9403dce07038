// The lines that say where a load runs: their text from given facts, the facts of this process,
// and that each is written once per load (never in the macOS build).
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "Common/TwainLog/LoadEnvironment.h"
#include "support/TestSupport.h"

namespace {

std::string Text(const CTraceText& text) { return std::string(text.Data(), text.Length()); }

template <size_t N>
void Fill(char (&field)[N], const std::string& text) {
    snprintf(field, N, "%s", text.c_str());
}

TEST(Environment, LoadLinesNameEachFactOrSayItIsUnknown) {
    const std::string tracewell = "*** Tracewell: " TRACEWELL_TEST_VERSION ", TWAIN ABI " TRACEWELL_ABI_NAME " ***\r\n";
    struct Case {
        const char* what; int pid; std::string executable, system, zone, source; bool found; unsigned long long size;
        long long modified; std::string expected;
    } cases[] = {
        {"every fact", 4242, "/usr/bin/xsane", "Linux 6.1.0 x86_64", "CET +0100", "/usr/lib/twain/a.ds", true, 123456,
         1765130353, tracewell + "*** Process: 4242 /usr/bin/xsane ***\r\n"
         "*** System: Linux 6.1.0 x86_64 ***\r\n"
         "*** Time zone: CET +0100 ***\r\n"
         "*** Source: /usr/lib/twain/a.ds, 123456 bytes, modified 2025-12-07T17:59:13Z ***\r\n"},
        {"facts that could not be had", 7, "", "", "", "/gone/b.ds", false, 0, 0, tracewell + "*** Process: 7 unknown ***\r\n"
         "*** System: unknown ***\r\n"
         "*** Time zone: unknown ***\r\n"
         "*** Source: /gone/b.ds, not found ***\r\n"},
        {"no traced source; a path with a line end", 1, "/opt/a\nb", "S", "Z", "", false, 0, 0, tracewell + "*** Process: 1 /opt/a\\nb ***\r\n"
         "*** System: S ***\r\n"
         "*** Time zone: Z ***\r\n"},
    };
    for (const Case& c : cases) {
        LoadFacts facts;
        facts.processId = c.pid;
        Fill(facts.executable, c.executable);
        Fill(facts.system, c.system);
        Fill(facts.timeZone, c.zone);
        Fill(facts.source, c.source);
        facts.sourceFound = c.found;
        facts.sourceSize = c.size;
        facts.sourceModified = c.modified;
        CTraceText text;
        RenderLoadFacts(facts, text);
        EXPECT_EQ(Text(text), c.expected) << c.what;
    }
}

TEST(Environment, ApplicationLineReadsItsFieldsWithinTheirWidthAndNamesTheGroups) {
    TW_IDENTITY app = {};
    app.Version.MajorNum = 2;
    app.Version.MinorNum = 5;
    Fill(app.Version.Info, "2.5\tbeta");
    app.ProtocolMajor = 2;
    app.ProtocolMinor = 4;
    app.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2 | 0x100;
    memset(app.Manufacturer, 'M', sizeof(app.Manufacturer));  // no NUL: the field's width bounds it
    Fill(app.ProductFamily, "Family");
    Fill(app.ProductName, "Name");
    CTraceText text;
    RenderApplication(app, text);
    EXPECT_EQ(Text(text), "*** Application: \"" + std::string(sizeof(app.Manufacturer), 'M') +
                              "\" \"Family\" \"Name\", version 2.5 \"2.5\\tbeta\", protocol 2.4, groups 0x20000103 "
                              "(DG_CONTROL DG_IMAGE DF_APP2) ***\r\n");
}

// The process's own path is the session host's tests' (the host's trace names it).
TEST(Environment, FactsOfThisProcessAndOfTheSourceFile) {
    const std::string source = testing::TempDir() + "environment-source.ds";
    WriteText(source, "0123456789");
    struct stat st;
    ASSERT_EQ(stat(source.c_str(), &st), 0);

    const LoadFacts facts = GatherLoadFacts(source.c_str(), static_cast<long long>(time(nullptr)));
    EXPECT_EQ(facts.processId, getpid());
    EXPECT_NE(facts.system[0], '\0');
    EXPECT_NE(facts.timeZone[0], '\0');
    EXPECT_TRUE(facts.sourceFound);
    EXPECT_EQ(facts.sourceSize, 10u);
    EXPECT_EQ(facts.sourceModified, static_cast<long long>(st.st_mtime));
    remove(source.c_str());

    EXPECT_FALSE(GatherLoadFacts(source.c_str(), 0).sourceFound);
    EXPECT_EQ(GatherLoadFacts(nullptr, 0).source[0], '\0');
}

TEST(Environment, TheApplicationAndTheSourceManagerAreNamedOncePerLoad) {
    TW_IDENTITY app = {};
    Fill(app.ProductName, "App");
    CLoadEnvironment environment;
    CTraceText first, again, afterReset, none;
    environment.ShowApplication(&app, first);
    environment.ShowSourceManager(reinterpret_cast<const void*>(&RenderApplication), first);
    environment.ShowApplication(&app, again);
    environment.ShowSourceManager(reinterpret_cast<const void*>(&RenderApplication), again);
    environment.Reset();
    environment.ShowApplication(nullptr, none);
    environment.ShowSourceManager(nullptr, none);
    environment.ShowApplication(&app, afterReset);
    EXPECT_EQ(Text(again), "");
    EXPECT_EQ(Text(none), "");
    if (!kTraceNamesItsEnvironment) {
        EXPECT_EQ(Text(first) + Text(afterReset), "");
        return;
    }
    // The Source Manager's module is the one that holds the entry point: here, the test program.
    char exe[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof(exe) - 1), 0);
    CTraceText application;
    RenderApplication(app, application);
    EXPECT_EQ(Text(first), Text(application) + "*** Source Manager: " + exe + " ***\r\n");
    EXPECT_EQ(Text(afterReset), Text(application));
}

}  // namespace
