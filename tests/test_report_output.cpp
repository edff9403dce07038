// The report's JSON document and XHTML page: each parsed back (a strict JSON reader and a strict
// XML reader of the test's own) and held against what the report says, for the golden traces and
// for traces whose strings hold quotes, control characters and bytes that are not UTF-8.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Report.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

const std::string kGoldenDir = std::string(TRACEWELL_SOURCE_DIR) + "/tests/golden/";

// ---- Strict readers of the test's own: each throws at the first thing its format does not allow ----

struct Json {
    enum Kind { Other, String, Array, Object } kind = Other;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](const std::string& key) const {
        static const Json missing;
        for (const auto& m : members)
            if (m.first == key) return m.second;
        return missing;
    }
    const Json& operator[](size_t i) const { return items.at(i); }
};

class Reader {
public:
    explicit Reader(const std::string& s) : m_s(s) {}

protected:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error(what + " at byte " + std::to_string(m_i));
    }
    void Blank() {
        while (m_i < m_s.size() && std::string(" \t\r\n").find(m_s[m_i]) != std::string::npos) ++m_i;
    }
    bool At(const std::string& word) const { return m_s.compare(m_i, word.size(), word) == 0; }
    void Expect(const std::string& word) {
        if (!At(word)) Fail("'" + word + "' expected");
        m_i += word.size();
    }

    const std::string& m_s;
    size_t m_i = 0;
};

// The whole input one value, strings valid UTF-8 with no raw control character.
class JsonReader : Reader {
public:
    using Reader::Reader;
    Json Document() {
        Json v = Value();
        Blank();
        if (m_i != m_s.size()) Fail("text after the document");
        return v;
    }

private:
    std::string Str() {
        Expect("\"");
        std::string out;
        while (m_i < m_s.size() && m_s[m_i] != '"') {
            const unsigned char c = static_cast<unsigned char>(m_s[m_i++]);
            static const std::string kSimple = "\"\\/bfnrt", kMeaning = "\"\\/\b\f\n\r\t";
            if (c < 0x20) Fail("raw control character in a string");
            if (c == '\\' && m_i < m_s.size() && kSimple.find(m_s[m_i]) != std::string::npos) {
                out += kMeaning[kSimple.find(m_s[m_i++])];
            } else if (c == '\\') {
                Expect("u");
                if (m_i + 4 > m_s.size() || m_s.substr(m_i, 4).find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                    Fail("bad escape");
                const unsigned cp = static_cast<unsigned>(std::stoul(m_s.substr(m_i, 4), nullptr, 16));
                m_i += 4;
                if (cp < 0x80) out += static_cast<char>(cp);
                else if (cp < 0x800) out += {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
                else out += {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | (cp >> 6 & 0x3F)),
                             static_cast<char>(0x80 | (cp & 0x3F))};
            } else {
                const size_t more = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 9;
                if (more == 9 || m_i + more > m_s.size()) Fail("byte that is not UTF-8");
                out += static_cast<char>(c);
                for (size_t k = 0; k < more; ++k, ++m_i) {
                    if ((static_cast<unsigned char>(m_s[m_i]) & 0xC0) != 0x80) Fail("byte that is not UTF-8");
                    out += m_s[m_i];
                }
            }
        }
        Expect("\"");
        return out;
    }
    Json Value() {
        Blank();
        Json v;
        if (At("{") || At("[")) {
            v.kind = At("{") ? Json::Object : Json::Array;
            const std::string close = At("{") ? "}" : "]";
            ++m_i;
            Blank();
            if (At(close)) return ++m_i, v;
            do {
                Blank();
                if (v.kind == Json::Array) {
                    v.items.push_back(Value());
                } else {
                    std::string key = Str();
                    Blank();
                    Expect(":");
                    v.members.emplace_back(std::move(key), Value());
                }
                Blank();
            } while (At(",") && ++m_i);
            Expect(close);
            return v;
        }
        if (At("\"")) return v.kind = Json::String, v.text = Str(), v;
        for (const char* word : {"true", "false", "null"})
            if (At(word)) return m_i += strlen(word), v.number = word[0] == 't', v;
        const char* start = m_s.c_str() + m_i;
        char* end = nullptr;
        v.number = strtod(start, &end);
        if (end == start || !(*start == '-' || isdigit(static_cast<unsigned char>(*start)))) Fail("value expected");
        m_i += static_cast<size_t>(end - start);
        return v;
    }
};

// Well-formed XML: elements with attributes and text, entities resolved.
struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;  // character data directly inside
    std::vector<std::unique_ptr<Element>> children;

    void All(const std::string& wanted, std::vector<const Element*>* out) const {
        if (name == wanted) out->push_back(this);
        for (const auto& c : children) c->All(wanted, out);
    }
    std::string Text() const {
        std::string t = text;
        for (const auto& c : children) t += c->Text();
        return t;
    }
};

class XmlReader : Reader {
public:
    using Reader::Reader;
    Element Document() {
        Element root;
        Skip("<?xml", "?>");
        while (Skip("<!--", "-->") || Skip("<!DOCTYPE", ">")) continue;
        Blank();
        Parse(&root);
        while (Skip("<!--", "-->")) continue;
        Blank();
        if (m_i != m_s.size()) Fail("text after the root element");
        return root;
    }

private:
    // Skips blanks and then a construct from `open` to `close`; false when none starts there.
    bool Skip(const std::string& open, const std::string& close) {
        Blank();
        if (!At(open)) return false;
        const size_t end = m_s.find(close, m_i);
        if (end == std::string::npos) Fail("not closed: " + open);
        m_i = end + close.size();
        return true;
    }
    std::string Name() {
        const size_t start = m_i;
        while (m_i < m_s.size() && (isalnum(static_cast<unsigned char>(m_s[m_i])) ||
                                    std::string("_-:.").find(m_s[m_i]) != std::string::npos))
            ++m_i;
        return m_s.substr(start, m_i - start);
    }
    std::string CharData(const std::string& raw) const {
        static const std::map<std::string, std::string> kEntities = {
            {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
        std::string out;
        for (size_t i = 0; i < raw.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(raw[i]);
            if (c < 0x20 && c != '\n' && c != '\t' && c != '\r') Fail("control character XML does not allow");
            if (c == '<') Fail("'<' in character data");
            if (c != '&') {
                out += static_cast<char>(c);
                continue;
            }
            const size_t semi = raw.find(';', i);
            if (semi == std::string::npos) Fail("'&' without ';'");
            const std::string entity = raw.substr(i + 1, semi - i - 1);
            i = semi;
            if (kEntities.count(entity)) {
                out += kEntities.at(entity);
                continue;
            }
            if (entity.size() < 2 || entity[0] != '#') Fail("unknown entity &" + entity + ";");
            const long cp = entity[1] == 'x' ? strtol(entity.c_str() + 2, nullptr, 16) : strtol(entity.c_str() + 1, nullptr, 10);
            if (cp < 0x20 && cp != 9 && cp != 10 && cp != 13) Fail("character reference XML does not allow");
            out += cp < 0x80 ? static_cast<char>(cp) : '?';
        }
        return out;
    }
    void Parse(Element* e) {
        Expect("<");
        if ((e->name = Name()).empty()) Fail("element name expected");
        for (Blank(); !At(">"); Blank()) {
            if (At("/>")) return void(m_i += 2);
            const std::string attribute = Name();
            if (attribute.empty()) Fail("attribute name expected in <" + e->name + ">");
            Blank();
            Expect("=");
            Blank();
            const char quote = m_i < m_s.size() ? m_s[m_i++] : '\0';
            const size_t end = m_s.find(quote, m_i);
            if ((quote != '"' && quote != '\'') || end == std::string::npos) Fail("quoted attribute expected");
            if (!e->attributes.emplace(attribute, CharData(m_s.substr(m_i, end - m_i))).second)
                Fail("attribute given twice: " + attribute);
            m_i = end + 1;
        }
        ++m_i;
        for (;;) {
            const size_t lt = m_s.find('<', m_i);
            if (lt == std::string::npos) Fail("element <" + e->name + "> not closed");
            e->text += CharData(m_s.substr(m_i, lt - m_i));
            m_i = lt;
            if (Skip("<!--", "-->")) continue;
            if (At("</")) {
                m_i += 2;
                if (Name() != e->name) Fail("end tag does not match <" + e->name + ">");
                Blank();
                return Expect(">");
            }
            e->children.push_back(std::make_unique<Element>());
            Parse(e->children.back().get());
        }
    }
};

// `*out` read from `text`, or why it could not be.
template <class TReader, class T>
::testing::AssertionResult Read(const std::string& text, T* out) {
    try {
        *out = TReader(text).Document();
        return ::testing::AssertionSuccess();
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << e.what() << "\n" << text.substr(0, 2000);
    }
}

// ---- The cases ----

constexpr char kRawLine[] = "\x00\x02 not a trace line ]]> \xfe\r\n";

// Strings that a JSON or XML writer gets wrong when it does not escape: quotes, backslashes,
// markup, control characters and bytes that are not UTF-8, in the request line and in values.
std::string HostileTrace() {
    return Crlf({"[00001] [APP] DG_CONTROL/DAT_PARENT/MSG_OPENDSM", "        Return Code = [TWRC_SUCCESS]",
                 "pData   = <0x5c000190>", "  pOrigin:TW_IDENTITY = {",
                 std::string("    ProductName     = [say \"hi\" \\ <b>&amp; \x01\x1f\xff\xc3\x28 caf\xc3\xa9]"),
                 "  }", "", "TWAIN Status = [3]",
                 "[00002] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_SET (ERROR!(4131))",
                 "        Return Code = [TWRC_FAILURE]", "pData   = <0x5c000250>", "  TW_CAPABILITY = {",
                 "    TW_ONEVALUE = {", "      Item     = [</pre><script>x</script>]", "    }", "  }",
                 "*** Inspect Error Status Start ***", "*** Inspect Error Status End   ***",
                 "[00003] [APP] DG_CONTROL/DAT_NULL/MSG_NULL", "        Time = [99:99:99.999999]",
                 "        Took = [nan ms]", "        Return Code = [TWRC_SUCCESS]"}) +
           std::string(kRawLine, sizeof(kRawLine) - 1) + "[2026/12/07 00:42:18.123] ERROR from \"x\" <&>\n";
}

// The runs the step line draws: (call, state) wherever the state changes, from its points.
std::vector<std::pair<long, int>> RunsDrawn(const std::string& points) {
    std::vector<std::pair<long, int>> runs;
    std::istringstream in(points);
    std::string point;
    while (in >> point) {
        const long x = atol(point.c_str());
        const int y = atoi(point.c_str() + point.find(',') + 1);
        if (runs.empty() || runs.back().second != y) runs.push_back({x, y});
    }
    return runs;
}

TEST(ReportOutput, JsonAndPageAreWellFormedWithEveryStringEscapedAndTheSameTimeline) {
    ScratchDir dir;
    const std::string golden = ReadFile(kGoldenDir + "session_macos.txt");
    std::mt19937 random(7);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const std::pair<std::string, std::string> kInputs[] = {  // name, path
        {"golden linux", kGoldenDir + "session_linux.txt"},
        {"two loads", dir.Write("two.txt", golden + golden)},
        {"hostile strings", dir.Write("hostile.txt", HostileTrace())},
        {"cut short", dir.Write("cut.txt", golden.substr(0, golden.size() / 3))},
        {"random bytes", dir.Write("noise.bin", noise)}};
    for (const auto& input : kInputs) {
        SCOPED_TRACE(input.first);
        const std::string page = dir.File("page.html");
        std::ostringstream out, err;
        const int status = tracereport::Report({"--json", "--html", page, input.second}, out, err);
        EXPECT_EQ(status, input.first == "random bytes" ? 1 : 0) << err.str();
        Json doc;
        ASSERT_TRUE(Read<JsonReader>(out.str(), &doc));
        ASSERT_EQ(doc.kind, Json::Object);
        EXPECT_EQ(doc["files"].items.size(), 1u);
        for (const Json& load : doc["loads"].items) {
            for (const Json& run : load["states"].items) {
                EXPECT_GE(run["state"].number, 1);
                EXPECT_LE(run["state"].number, 7);
            }
            EXPECT_EQ(load["calls"]["intoSource"].number,
                      load["calls"]["requests"].number + load["calls"]["events"].number);
        }

        const std::string html = ReadFile(page);
        Element root;
        ASSERT_TRUE(Read<XmlReader>(html, &root));
        EXPECT_EQ(root.name, "html");
        EXPECT_EQ(root.attributes["xmlns"], "http://www.w3.org/1999/xhtml");
        EXPECT_EQ(html.find("<script"), std::string::npos) << "no script, and the trace's text is escaped";
        EXPECT_EQ(html.find(" src="), std::string::npos) << "nothing from the network";

        std::vector<const Element*> svgs, details, links, timelines;
        root.All("svg", &svgs);
        root.All("details", &details);
        root.All("a", &links);
        for (const Element* svg : svgs)
            if (svg->attributes.count("id") && svg->attributes.at("id").compare(0, 9, "timeline-") == 0)
                timelines.push_back(svg);
        ASSERT_EQ(timelines.size(), doc["loads"].items.size());
        size_t calls = 0;
        for (size_t i = 0; i < timelines.size(); ++i) {
            const Json& load = doc["loads"][i];
            calls += static_cast<size_t>(load["calls"]["intoSource"].number + load["calls"]["fromSource"].number);
            std::vector<const Element*> lines, polylines;
            timelines[i]->All("polyline", &polylines);
            timelines[i]->All("line", &lines);
            std::vector<std::pair<long, int>> expected;
            for (const Json& run : load["states"].items)
                expected.push_back({static_cast<long>(run["call"].number), static_cast<int>(run["state"].number)});
            ASSERT_EQ(polylines.size(), expected.empty() ? 0u : 1u);
            EXPECT_EQ(polylines.empty() ? expected : RunsDrawn(polylines[0]->attributes.at("points")), expected);
            std::vector<long> marked, failed;
            for (const Element* l : lines)
                if (l->attributes.count("class") && l->attributes.at("class") == "failure")
                    marked.push_back(atol(l->attributes.at("x1").c_str()));
            for (const Json& f : load["failureList"].items) failed.push_back(static_cast<long>(f["call"].number));
            EXPECT_EQ(marked, failed);
        }
        EXPECT_EQ(details.size(), calls) << "each call's text one click away";
        for (const Element* d : details) {
            ASSERT_EQ(d->children.size(), 2u);
            EXPECT_EQ(d->children[0]->name, "summary");
            EXPECT_EQ(d->children[1]->name, "pre");
        }
        for (const Element* a : links) {
            ASSERT_EQ(a->attributes.at("href").compare(0, 1, "#"), 0) << "links stay on the page";
            const std::string target = a->attributes.at("href").substr(1);
            EXPECT_NE(html.find("id=\"" + target + "\""), std::string::npos) << target;
        }
        if (input.first != "hostile strings") continue;
        // The strings come back as the trace wrote them, in the document and on the page.
        const Json& load = doc["loads"][0];
        EXPECT_EQ(load["application"]["productName"].text,
                  "say \"hi\" \\ <b>&amp; \x01\x1f\xc3\xbf\xc3\x83( caf\xc3\xa9");  // not UTF-8: read as Latin-1
        EXPECT_EQ(load["failureList"][0]["capability"].text, "ERROR!(4131)");
        EXPECT_EQ(load["failureList"][0]["asked"].text, "</pre><script>x</script>");
        EXPECT_EQ(load["unparsed"]["lines"].number, 1);
        EXPECT_EQ(load["unparsed"]["ranges"][0]["first"].number, 23);
        EXPECT_EQ(load["notices"]["counts"]["logger"].number, 1);
        ASSERT_EQ(details.size(), 3u);
        EXPECT_EQ(details[1]->attributes.at("class"), "failure");
        const std::string text = details[1]->children[1]->Text();
        EXPECT_EQ(text.substr(0, text.find('\n')), "[00002] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_SET (ERROR!(4131))");
        EXPECT_NE(text.find("Item     = [</pre><script>x</script>]"), std::string::npos);
        EXPECT_NE(text.find("*** Inspect Error Status End   ***"), std::string::npos);
        const std::string first = details[0]->children[1]->Text();
        EXPECT_NE(first.find("say \"hi\" \\ <b>&amp; \\x01\\x1f\\xff\\xc3( caf\xc3\xa9"), std::string::npos) << first;
    }
}

TEST(ReportOutput, JsonCountsAndTimelineOfTheGoldenSession) {
    std::ostringstream out, err;
    EXPECT_EQ(tracereport::Report({"--json", kGoldenDir + "session_macos.txt"}, out, err), 0);
    Json doc;
    ASSERT_TRUE(Read<JsonReader>(out.str(), &doc));
    const Json& load = doc["loads"][0];
    EXPECT_EQ(load["calls"]["intoSource"].number, 48);
    EXPECT_EQ(load["failures"].number, 1);
    EXPECT_EQ(load["pages"].number, 2);
    EXPECT_EQ(load["transfers"]["byMode"]["memory"].number, 2);
    EXPECT_EQ(load["transfers"]["images"][0]["width"].text, "850");
    EXPECT_EQ(load["transfers"]["images"][0]["pixelType"].text, "TWPT_GRAY");
    EXPECT_EQ(load["failureList"][0]["conditionCode"].text, "TWCC_BADVALUE");
    std::vector<int> states;
    for (const Json& run : load["states"].items) states.push_back(static_cast<int>(run["state"].number));
    EXPECT_EQ(states, (std::vector<int>{3, 4, 5, 6, 7, 6, 7, 5, 4, 3}));
    EXPECT_EQ(load["triplets"]["DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET"].number, 6);
    EXPECT_EQ(load["source"]["productName"].text, "Corvale F40");
}

}  // namespace
