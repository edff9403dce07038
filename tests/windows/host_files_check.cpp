// The command's Windows file system layer checked on Windows itself (run under Wine by the test
// suite): names compared without regard to case, roots and both separators, names outside ASCII,
// and changes that refuse to overwrite. Prints each check that fails and the count of those that
// held; exits 1 when any failed. Its one argument is a folder to work in.
#include <cstdio>
#include <string>
#include <vector>

#include "HostFiles.h"

namespace {

int g_held = 0;
int g_failed = 0;

void Check(bool held, const std::string& what) {
    if (!held) printf("FAILED: %s\n", what.c_str());
    ++(held ? g_held : g_failed);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    using namespace host;
    // Names compared across case (outside ASCII too), roots, UNC paths and both separators.
#define HOLDS(fact) Check(fact, #fact)
    HOLDS(SamePath("C:\\Windows\\twain_64\\J\xC3\xBCrgen\\a.ds", "c:\\WINDOWS\\TWAIN_64\\J\xC3\x9CRGEN\\A.DS"));
    HOLDS(!SamePath("C:\\Windows\\twain_64\\a.ds", "C:\\Windows\\twain_64\\b.ds"));
    HOLDS(!SamePath("C:\\Windows\\twain_64", "C:\\Windows\\twain_6"));
    HOLDS(IsBelow("C:\\Windows\\twain_64\\x.ds", "c:\\windows\\TWAIN_64"));
    HOLDS(IsBelow("C:\\Windows\\twain_64\\x.ds", "C:\\Windows\\twain_64\\"));
    HOLDS(!IsBelow("C:\\Windows\\twain_640\\x.ds", "C:\\Windows\\twain_64"));
    HOLDS(!IsBelow("C:\\Windows\\twain_64", "C:\\Windows\\twain_64"));
    HOLDS(IsBelow("C:\\x.ds", "C:\\"));
    HOLDS(DirName("C:\\x.ds") == "C:\\");
    HOLDS(DirName("C:\\a\\b.ds") == "C:\\a");
    HOLDS(DirName("C:/a/b.ds") == "C:/a");
    HOLDS(DirName("\\\\server\\share\\x.ds") == "\\\\server\\share\\");
    HOLDS(BaseName("C:/a\\b.ds") == "b.ds");
    HOLDS(Join("C:\\", "x") == "C:\\x");
    HOLDS(Join("C:\\a", "x") == "C:\\a\\x");
    HOLDS(IsAbsolute("C:\\x") && IsAbsolute("\\\\server\\share\\x"));
    HOLDS(!IsAbsolute("x\\y") && !IsAbsolute("C:x") && !IsAbsolute("\\x"));
    HOLDS(IsAbsolute(AbsolutePath("x.ds")) && BaseName(AbsolutePath("x.ds")) == "x.ds");

    // Changes in a folder whose name is not ASCII.
    std::string base;
    Check(RealDirectory(argv[1], &base), std::string("RealDirectory ") + argv[1]);
    const std::string folder = Join(base, "Acm\xC3\xA9");
    const std::string source = Join(folder, "Acm\xC3\xA9 Scan.ds");
    const std::string hidden = Join(folder, "Acm\xC3\xA9 Scan-ds.tracewell-hidden");
    const std::string content("MZ\0\x01\xFF bytes", 10);
    Check(MakeDirectory(folder, 0755).empty(), "MakeDirectory " + folder);
    Check(!MakeDirectory(folder, 0755).empty(), "MakeDirectory of an existing folder refused");
    Check(WriteNewFile(source, content, 0644).empty(), "WriteNewFile " + source);
    Check(!WriteNewFile(source, "other", 0644).empty(), "WriteNewFile over an existing file refused");
    std::string read, why;
    Check(ReadWholeFile(source, &read, &why) && read == content, "ReadWholeFile gives the bytes written: " + why);
    const Facts facts = Inspect(source);
    Check(facts.exists && facts.regular && !facts.directory && !facts.link, "Inspect " + source);
    Check(Inspect(folder).directory && IsDirectory(folder), "Inspect " + folder);
    std::string real;
    Check(RealDirectory(Join(base, "ACM\xC3\x89"), &real) && real == folder, "RealDirectory gives the name on disk: " + real);
    Check(WriteNewFile(hidden, "in the way", 0644).empty(), "WriteNewFile " + hidden);
    Check(!Rename(source, hidden).empty(), "Rename onto an existing file refused");
    Check(RemoveFile(hidden).empty(), "RemoveFile " + hidden);
    Check(Rename(source, hidden).empty() && !Exists(source) && Exists(hidden), "Rename " + source);
    const std::vector<std::string> entries = Entries(folder);
    Check(entries == std::vector<std::string>{"Acm\xC3\xA9 Scan-ds.tracewell-hidden"}, "Entries of " + folder);
    Check(!RemoveDirectory(folder).empty(), "RemoveDirectory of a folder with a file refused");
    Check(CanAddFiles(folder) && Entries(folder).size() == 1, "CanAddFiles leaves nothing behind");
    Check(RemoveFile(hidden).empty() && RemoveDirectory(folder).empty() && !Exists(folder), "RemoveDirectory " + folder);

    printf("host checks: %d held, %d did not\n", g_held, g_failed);
    return g_failed == 0 ? 0 : 1;
}
