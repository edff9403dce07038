// Shared test helpers.
#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "ScannerHooks.h"

extern "C" int CreateCorvale(const char* moduleFileName, CTripletOperator** operatorOut);

void* FixedArena::Alloc(size_t size) {
    const size_t start = (m_used + 15) & ~static_cast<size_t>(15);
    if (start + size > m_size) throw std::bad_alloc();
    m_used = start + size;
    return reinterpret_cast<void*>(m_base + start);
}

#if defined(TRACEWELL_ABI_MACOS)
TW_HANDLE FixedArena::NewHandle(size_t size) {
    char** master = static_cast<char**>(Alloc(sizeof(char*)));
    *master = static_cast<char*>(Alloc(size));
    return master;
}
void* FixedArena::Block(TW_HANDLE handle) { return *handle; }
#else
TW_HANDLE FixedArena::NewHandle(size_t size) { return Alloc(size); }
void* FixedArena::Block(TW_HANDLE handle) { return handle; }
#endif

TraceCapture::TraceCapture() : m_previous(g_pLogFile) { g_pLogFile = tmpfile(); }

TraceCapture::~TraceCapture() {
    fclose(g_pLogFile);
    g_pLogFile = m_previous;
}

std::string TraceCapture::Text() {
    fflush(g_pLogFile);
    std::string text;
    rewind(g_pLogFile);
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof(chunk), g_pLogFile)) > 0) text.append(chunk, n);
    fseek(g_pLogFile, 0, SEEK_END);
    return text;
}

ScriptedScanner::ScriptedScanner() {
    CreateCorvale("tracewell.ds", &m_scanner);
    CorvaleScriptNothing();
    CorvaleScriptAnswer(Answer, this);
    g_pcTripletOperator = m_scanner;
}

ScriptedScanner::~ScriptedScanner() {
    g_pcTripletOperator = nullptr;
    CorvaleScriptNothing();
    if (m_scanner != nullptr) m_scanner->Release();
}

TW_UINT16 ScriptedScanner::Answer(void* self, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF data) {
    ScriptedScanner& scanner = *static_cast<ScriptedScanner*>(self);
    ++scanner.calls;
    CorvaleLastCall(&scanner.lastOrigin, &scanner.lastDG, &scanner.lastDAT, &scanner.lastMSG, &scanner.lastData);
    if (scanner.fill) scanner.fill(data);
    return scanner.returnCode;
}

std::string MalformedAt(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool lineEnd = (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') || (c == '\n' && i > 0 && text[i - 1] == '\r');
        if (lineEnd) continue;
        if (c < 0x20 || c == 0x7F || (c == '\r' && i + 1 == text.size()))
            return "control character " + std::to_string(c) + " at byte " + std::to_string(i);
    }
    if (!text.empty() && text.back() != '\n') return "the text does not end in a line end";
    return "";
}

std::string Crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string PointerText(const void* pointer) {
    char text[16];
    snprintf(text, sizeof(text), "<0x%08x>", static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)));
    return text;
}

std::string Render(const std::function<void(CParaAnalyze&)>& render) {
    CParaAnalyze analyzer;
    analyzer.SetTwainStatus(3);
    CTraceText text;
    analyzer.SetOutput(&text);
    render(analyzer);
    return std::string(text.Data(), text.Length());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

void FixTraceClock(long microseconds) {
    static TraceClock fixed;
    fixed = {};
    fixed.local.tm_year = 2021 - 1900;
    fixed.local.tm_mon = 2;
    fixed.local.tm_mday = 3;
    fixed.local.tm_hour = 9;
    fixed.local.tm_min = 5;
    fixed.local.tm_sec = 7;
    fixed.microseconds = microseconds;
    SetTraceClock([] { return fixed; });
}

static std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string FirstDifference(const std::string& expected, const std::string& actual) {
    if (expected == actual) return "";
    const std::vector<std::string> want = SplitLines(expected), got = SplitLines(actual);
    for (size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
        const std::string a = i < want.size() ? want[i] : "(end of text)";
        const std::string b = i < got.size() ? got[i] : "(end of text)";
        if (a != b) return "line " + std::to_string(i + 1) + ": expected '" + a + "', got '" + b + "'";
    }
    return "the texts differ in their line ends";
}

void ExpectMatchesGolden(const std::string& name, const std::string& text) {
    const std::string path = std::string(TRACEWELL_SOURCE_DIR) + "/tests/golden/" + name;
    const char* update = getenv("TRACEWELL_UPDATE_GOLDEN");
    if (update != nullptr && strcmp(update, "1") == 0) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        ASSERT_TRUE(out.good()) << "cannot write " << path;
        return;
    }
    const std::string golden = ReadFile(path);
    ASSERT_FALSE(golden.empty()) << "missing " << path << "; run with TRACEWELL_UPDATE_GOLDEN=1";
    EXPECT_EQ(FirstDifference(golden, text), "") << "differs from " << path;
}

std::string MaskPointers(const std::string& text) {
    return std::regex_replace(text, std::regex("<0x[0-9a-fA-F]+>"), "<0x...>");
}

// The Windows builds' traces hold the pointers of the system's allocator where the others hold the
// shared heap's, and a 32-bit build's entry points are smaller; in every other byte they are the
// linux build's trace.
void ExpectMatchesSessionGolden(const std::string& stem, const std::string& text) {
    const std::string name = stem + "_" SESSION_GOLDEN_ABI ".txt";
    if (!GOLDEN_MASKS_POINTERS) return ExpectMatchesGolden(name, text);
    const std::string path = std::string(TRACEWELL_SOURCE_DIR) + "/tests/golden/" + name;
    const std::string golden = ReadFile(path);
    ASSERT_FALSE(golden.empty()) << "missing " << path;
    // A 32-bit build's entry points (five pointers and a 32-bit field) are smaller than the golden's.
    const std::string sized = std::regex_replace(golden, std::regex("(  TW_ENTRYPOINT = \\{\r\n    Size += \\[)[0-9]+"),
                                                 "$01" + std::to_string(sizeof(TW_ENTRYPOINT)));
    EXPECT_EQ(FirstDifference(MaskPointers(sized), MaskPointers(text)), "")
        << "differs from " << path << " with pointer values masked";
}

namespace {

// Every in-process test starts out rendering as Tracewell does for the wrapped maker's own source,
// whose vendor names apply, whatever the test before it traced; a test of another maker's source
// says so.
class MakersSource : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { TraceAsMakersSource(); }
};
const bool g_makersSource = (::testing::UnitTest::GetInstance()->listeners().Append(new MakersSource), true);

}  // namespace

void TraceAsMakersSource() { FollowSourceManufacturer(kVendorManufacturer, sizeof(kVendorManufacturer)); }

void TraceAsAnotherMakersSource() { FollowSourceManufacturer("Another maker", sizeof("Another maker")); }
