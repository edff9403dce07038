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
    if (held) {
        ++g_held;
    } else {
        ++g_failed;
        printf("FAILED: %s\n", what.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    using namespace host;
    const struct {
        std::string a, b;
        bool same;
    } kPaths[] = {
        {"C:\\Windows\\twain_64\\J\xC3\xBCrgen\\a.ds", "c:\\WINDOWS\\TWAIN_64\\J\xC3\x9CRGEN\\A.DS", true},
        {"C:\\Windows\\twain_64\\a.ds", "C:\\Windows\\twain_64\\b.ds", false},
        {"C:\\Windows\\twain_64", "C:\\Windows\\twain_6", false},
    };
    for (const auto& p : kPaths) Check(SamePath(p.a, p.b) == p.same, "SamePath " + p.a + " " + p.b);

    const struct {
        std::string path, dir;
        bool below;
    } kBelow[] = {
        {"C:\\Windows\\twain_64\\x.ds", "c:\\windows\\TWAIN_64", true},
        {"C:\\Windows\\twain_64\\x.ds", "C:\\Windows\\twain_64\\", true},
        {"C:\\Windows\\twain_640\\x.ds", "C:\\Windows\\twain_64", false},
        {"C:\\Windows\\twain_64", "C:\\Windows\\twain_64", false},
        {"C:\\x.ds", "C:\\", true},
    };
    for (const auto& b : kBelow) Check(IsBelow(b.path, b.dir) == b.below, "IsBelow " + b.path + " " + b.dir);

    const struct {
        std::string got, want;
    } kNames[] = {
        {DirName("C:\\x.ds"), "C:\\"},
        {DirName("C:\\a\\b.ds"), "C:\\a"},
        {DirName("C:/a/b.ds"), "C:/a"},
        {DirName("\\\\server\\share\\x.ds"), "\\\\server\\share\\"},
        {BaseName("C:/a\\b.ds"), "b.ds"},
        {Join("C:\\", "x"), "C:\\x"},
        {Join("C:\\a", "x"), "C:\\a\\x"},
    };
    for (const auto& n : kNames) Check(n.got == n.want, "name " + n.got + " is not " + n.want);
    const struct {
        std::string path;
        bool absolute;
    } kAbsolute[] = {{"C:\\x", true}, {"\\\\server\\share\\x", true}, {"x\\y", false}, {"C:x", false}, {"\\x", false}};
    for (const auto& a : kAbsolute) Check(IsAbsolute(a.path) == a.absolute, "IsAbsolute " + a.path);
    Check(IsAbsolute(AbsolutePath("x.ds")) && BaseName(AbsolutePath("x.ds")) == "x.ds", "AbsolutePath x.ds");

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
