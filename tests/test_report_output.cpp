// The report's JSON document and XHTML page: each parsed back (a strict JSON reader and a strict
// XML reader of the test's own) and held against what the report says, for the golden traces and
// for traces whose strings hold quotes, control characters and bytes that are not UTF-8.
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Report.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

const std::string kGoldenDir = std::string(TRACEWELL_SOURCE_DIR) + "/tests/golden/";

// ---- A strict JSON reader: the whole input one value, strings valid UTF-8 ----

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
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

class JsonReader {
public:
    explicit JsonReader(const std::string& s) : m_s(s) {}
    bool Document(Json* out, std::string* error) {
        if (!Value(out, 0)) {
            *error = m_error + " at byte " + std::to_string(m_i);
            return false;
        }
        Blank();
        if (m_i != m_s.size()) {
            *error = "text after the document at byte " + std::to_string(m_i);
            return false;
        }
        return true;
    }

private:
    void Blank() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\n' || m_s[m_i] == '\t' || m_s[m_i] == '\r')) ++m_i;
    }
    bool Fail(const char* what) {
        m_error = what;
        return false;
    }
    bool Literal(const char* word) {
        const std::string w = word;
        if (m_s.compare(m_i, w.size(), w) != 0) return Fail("bad literal");
        m_i += w.size();
        return true;
    }
    static void Utf8(unsigned cp, std::string* out) {
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out += static_cast<char>(0xC0 | (cp >> 6));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out += static_cast<char>(0xE0 | (cp >> 12));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    bool Str(std::string* out) {
        if (m_s[m_i] != '"') return Fail("string expected");
        ++m_i;
        while (m_i < m_s.size() && m_s[m_i] != '"') {
            const unsigned char c = static_cast<unsigned char>(m_s[m_i]);
            if (c < 0x20) return Fail("raw control character in a string");
            if (c == '\\') {
                if (++m_i >= m_s.size()) return Fail("cut escape");
                const char e = m_s[m_i++];
                static const std::string kSimple = "\"\\/bfnrt", kMeaning = "\"\\/\b\f\n\r\t";
                if (kSimple.find(e) != std::string::npos) {
                    *out += kMeaning[kSimple.find(e)];
                } else if (e == 'u') {
                    if (m_i + 4 > m_s.size()) return Fail("cut \\u escape");
                    char* end = nullptr;
                    const std::string hex = m_s.substr(m_i, 4);
                    const unsigned cp = static_cast<unsigned>(strtoul(hex.c_str(), &end, 16));
                    if (*end != '\0') return Fail("bad \\u escape");
                    Utf8(cp, out);
                    m_i += 4;
                } else {
                    return Fail("unknown escape");
                }
                continue;
            }
            if (c >= 0x80) {
                const size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
                if (n == 0 || m_i + n > m_s.size()) return Fail("byte that is not UTF-8");
                for (size_t k = 1; k < n; ++k)
                    if ((static_cast<unsigned char>(m_s[m_i + k]) & 0xC0) != 0x80) return Fail("byte that is not UTF-8");
                out->append(m_s, m_i, n);
                m_i += n;
                continue;
            }
            *out += static_cast<char>(c);
            ++m_i;
        }
        if (m_i >= m_s.size()) return Fail("string not closed");
        ++m_i;
        return true;
    }
    bool Value(Json* out, int depth) {
        if (depth > 64) return Fail("too deep");
        Blank();
        if (m_i >= m_s.size()) return Fail("value expected");
        const char c = m_s[m_i];
        if (c == '{') {
            out->kind = Json::Object;
            ++m_i;
            Blank();
            if (m_i < m_s.size() && m_s[m_i] == '}') return ++m_i, true;
            for (;;) {
                Blank();
                std::pair<std::string, Json> member;
                if (m_i >= m_s.size() || !Str(&member.first)) return Fail("member name expected");
                Blank();
                if (m_i >= m_s.size() || m_s[m_i++] != ':') return Fail("':' expected");
                if (!Value(&member.second, depth + 1)) return false;
                out->members.push_back(std::move(member));
                Blank();
                if (m_i < m_s.size() && m_s[m_i] == ',') {
                    ++m_i;
                    continue;
                }
                if (m_i < m_s.size() && m_s[m_i] == '}') return ++m_i, true;
                return Fail("',' or '}' expected");
            }
        }
        if (c == '[') {
            out->kind = Json::Array;
            ++m_i;
            Blank();
            if (m_i < m_s.size() && m_s[m_i] == ']') return ++m_i, true;
            for (;;) {
                Json item;
                if (!Value(&item, depth + 1)) return false;
                out->items.push_back(std::move(item));
                Blank();
                if (m_i < m_s.size() && m_s[m_i] == ',') {
                    ++m_i;
                    continue;
                }
                if (m_i < m_s.size() && m_s[m_i] == ']') return ++m_i, true;
                return Fail("',' or ']' expected");
            }
        }
        if (c == '"') {
            out->kind = Json::String;
            return Str(&out->text);
        }
        if (c == 't') return out->kind = Json::Bool, out->number = 1, Literal("true");
        if (c == 'f') return out->kind = Json::Bool, Literal("false");
        if (c == 'n') return Literal("null");
        const char* start = m_s.c_str() + m_i;
        char* end = nullptr;
        out->kind = Json::Number;
        out->number = strtod(start, &end);
        if (end == start || !(c == '-' || (c >= '0' && c <= '9'))) return Fail("value expected");
        m_i += static_cast<size_t>(end - start);
        return true;
    }

    const std::string& m_s;
    size_t m_i = 0;
    std::string m_error;
};

// ---- A strict XML reader: well-formedness, elements with attributes and text ----

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;  // character data directly inside, entities resolved
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

class XmlReader {
public:
    explicit XmlReader(const std::string& s) : m_s(s) {}
    bool Document(Element* root, std::string* error) {
        const bool ok = Prolog() && ElementAt(root, 0) && Trailer();
        if (!ok) *error = m_error + " at byte " + std::to_string(m_i);
        return ok;
    }

private:
    bool Fail(const std::string& what) {
        if (m_error.empty()) m_error = what;
        return false;
    }
    void Blank() {
        while (m_i < m_s.size() && isspace(static_cast<unsigned char>(m_s[m_i]))) ++m_i;
    }
    bool Skip(const std::string& open, const std::string& close) {
        if (m_s.compare(m_i, open.size(), open) != 0) return false;
        const size_t end = m_s.find(close, m_i);
        if (end == std::string::npos) return Fail("not closed: " + open);
        m_i = end + close.size();
        return true;
    }
    bool Prolog() {
        Blank();
        Skip("<?xml", "?>");
        for (;;) {
            Blank();
            if (Skip("<!--", "-->") || Skip("<!DOCTYPE", ">")) continue;
            return m_error.empty();
        }
    }
    bool Trailer() {
        for (;;) {
            Blank();
            if (m_i == m_s.size()) return true;
            if (!Skip("<!--", "-->")) return Fail("text after the root element");
        }
    }
    static bool NameChar(char c) {
        return isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ':' || c == '.';
    }
    std::string Name() {
        const size_t start = m_i;
        while (m_i < m_s.size() && NameChar(m_s[m_i])) ++m_i;
        return m_s.substr(start, m_i - start);
    }
    bool CharData(const std::string& raw, std::string* out) {
        for (size_t i = 0; i < raw.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(raw[i]);
            if (c < 0x20 && c != '\n' && c != '\t' && c != '\r') return Fail("control character XML does not allow");
            if (c == '<') return Fail("'<' in character data");
            if (c != '&') {
                *out += static_cast<char>(c);
                continue;
            }
            const size_t semi = raw.find(';', i);
            if (semi == std::string::npos) return Fail("'&' without ';'");
            const std::string entity = raw.substr(i + 1, semi - i - 1);
            static const std::map<std::string, std::string> kEntities = {
                {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
            if (kEntities.count(entity)) {
                *out += kEntities.at(entity);
            } else if (entity.size() > 1 && entity[0] == '#') {
                const long cp = entity[1] == 'x' ? strtol(entity.c_str() + 2, nullptr, 16) : strtol(entity.c_str() + 1, nullptr, 10);
                if (cp < 0x20 && cp != 9 && cp != 10 && cp != 13) return Fail("character reference XML does not allow");
                if (cp < 0x80) *out += static_cast<char>(cp);
                else *out += "?";
            } else {
                return Fail("unknown entity &" + entity + ";");
            }
            i = semi;
        }
        return true;
    }
    bool ElementAt(Element* e, int depth) {
        if (depth > 200) return Fail("too deep");
        if (m_i >= m_s.size() || m_s[m_i] != '<') return Fail("element expected");
        ++m_i;
        e->name = Name();
        if (e->name.empty()) return Fail("element name expected");
        for (;;) {
            Blank();
            if (m_i >= m_s.size()) return Fail("tag not closed");
            if (m_s.compare(m_i, 2, "/>") == 0) return m_i += 2, true;
            if (m_s[m_i] == '>') {
                ++m_i;
                break;
            }
            const std::string attribute = Name();
            if (attribute.empty()) return Fail("attribute name expected in <" + e->name + ">");
            Blank();
            if (m_i >= m_s.size() || m_s[m_i++] != '=') return Fail("'=' expected");
            Blank();
            if (m_i >= m_s.size() || (m_s[m_i] != '"' && m_s[m_i] != '\'')) return Fail("quoted attribute expected");
            const char quote = m_s[m_i++];
            const size_t end = m_s.find(quote, m_i);
            if (end == std::string::npos) return Fail("attribute not closed");
            std::string value;
            if (!CharData(m_s.substr(m_i, end - m_i), &value)) return false;
            if (e->attributes.count(attribute)) return Fail("attribute given twice: " + attribute);
            e->attributes[attribute] = value;
            m_i = end + 1;
        }
        for (;;) {
            const size_t lt = m_s.find('<', m_i);
            if (lt == std::string::npos) return Fail("element <" + e->name + "> not closed");
            if (!CharData(m_s.substr(m_i, lt - m_i), &e->text)) return false;
            m_i = lt;
            if (Skip("<!--", "-->")) continue;
            if (m_s.compare(m_i, 2, "</") == 0) {
                m_i += 2;
                if (Name() != e->name) return Fail("end tag does not match <" + e->name + ">");
                Blank();
                if (m_i >= m_s.size() || m_s[m_i++] != '>') return Fail("'>' expected");
                return true;
            }
            e->children.push_back(std::make_unique<Element>());
            if (!ElementAt(e->children.back().get(), depth + 1)) return false;
        }
    }

    const std::string& m_s;
    size_t m_i = 0;
    std::string m_error;
};

// ---- The cases ----

std::string Crlf(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

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

std::string ScratchFile(const ScratchDir& dir, const std::string& name, const std::string& text) {
    const std::string path = dir.File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct Inputs {
    ScratchDir dir;
    std::vector<std::pair<std::string, std::string>> files;  // name, path
    Inputs() {
        const std::string golden = ReadFile(kGoldenDir + "session_macos.txt");
        std::mt19937 random(7);
        std::string noise(4096, '\0');
        for (char& c : noise) c = static_cast<char>(random());
        files = {{"golden linux", kGoldenDir + "session_linux.txt"},
                 {"two loads", ScratchFile(dir, "two.txt", golden + golden)},
                 {"hostile strings", ScratchFile(dir, "hostile.txt", HostileTrace())},
                 {"cut short", ScratchFile(dir, "cut.txt", golden.substr(0, golden.size() / 3))},
                 {"random bytes", ScratchFile(dir, "noise.bin", noise)}};
    }
};

Json ReportJson(const std::vector<std::string>& paths, int* status) {
    std::vector<std::string> arguments = {"--json"};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    std::ostringstream out, err;
    *status = tracereport::Report(arguments, out, err);
    Json document;
    std::string error;
    EXPECT_TRUE(JsonReader(out.str()).Document(&document, &error)) << error << "\n" << out.str().substr(0, 2000);
    return document;
}

TEST(ReportOutput, JsonIsOneDocumentWithEveryStringEscaped) {
    const Inputs inputs;
    for (const auto& input : inputs.files) {
        SCOPED_TRACE(input.first);
        int status = -1;
        const Json doc = ReportJson({input.second}, &status);
        ASSERT_EQ(doc.kind, Json::Object);
        EXPECT_EQ(doc["files"].items.size(), 1u);
        EXPECT_EQ(status, input.first == "random bytes" ? 1 : 0);
        for (const Json& load : doc["loads"].items) {
            // The timeline's runs say the same as its text, and every state lies between 1 and 7.
            for (const Json& run : load["states"].items) {
                EXPECT_GE(run["state"].number, 1);
                EXPECT_LE(run["state"].number, 7);
            }
            EXPECT_EQ(load["calls"]["intoSource"].number,
                      load["calls"]["requests"].number + load["calls"]["events"].number);
        }
    }
    int status = -1;
    const Json hostile = ReportJson({inputs.files[2].second}, &status);
    const Json& load = hostile["loads"][0];
    EXPECT_EQ(load["application"]["productName"].text,
              "say \"hi\" \\ <b>&amp; \x01\x1f\xc3\xbf\xc3\x83( caf\xc3\xa9");  // not UTF-8: read as Latin-1
    EXPECT_EQ(load["failureList"][0]["capability"].text, "ERROR!(4131)");
    EXPECT_EQ(load["failureList"][0]["asked"].text, "</pre><script>x</script>");
    EXPECT_EQ(load["unparsed"]["lines"].number, 1);
    EXPECT_EQ(load["unparsed"]["ranges"][0]["first"].number, 23);
    EXPECT_EQ(load["notices"]["counts"]["logger"].number, 1);
}

TEST(ReportOutput, JsonCountsAndTimelineOfTheGoldenSession) {
    int status = -1;
    const Json doc = ReportJson({kGoldenDir + "session_macos.txt"}, &status);
    EXPECT_EQ(status, 0);
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

TEST(ReportOutput, PageIsWellFormedAndItsTimelineIsTheReportsTimeline) {
    const Inputs inputs;
    for (const auto& input : inputs.files) {
        SCOPED_TRACE(input.first);
        const std::string page = inputs.dir.File("page.html");
        std::ostringstream out, err;
        const int status = tracereport::Report({"--json", "--html", page, input.second}, out, err);
        EXPECT_EQ(status, input.first == "random bytes" ? 1 : 0) << err.str();
        Json doc;
        std::string error;
        ASSERT_TRUE(JsonReader(out.str()).Document(&doc, &error)) << error;

        const std::string html = ReadFile(page);
        Element root;
        ASSERT_TRUE(XmlReader(html).Document(&root, &error)) << error;
        EXPECT_EQ(root.name, "html");
        EXPECT_EQ(root.attributes["xmlns"], "http://www.w3.org/1999/xhtml");
        EXPECT_EQ(html.find("<script"), std::string::npos) << "no script, and the trace's text is escaped";
        EXPECT_EQ(html.find(" src="), std::string::npos) << "nothing from the network";

        std::vector<const Element*> svgs, details, links;
        root.All("svg", &svgs);
        root.All("details", &details);
        root.All("a", &links);
        std::vector<const Element*> timelines;
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
            if (expected.empty()) {
                EXPECT_TRUE(polylines.empty());
            } else {
                ASSERT_EQ(polylines.size(), 1u);
                EXPECT_EQ(RunsDrawn(polylines[0]->attributes.at("points")), expected);
            }
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
    }
}

TEST(ReportOutput, CallTextOnThePageIsTheTraceText) {
    ScratchDir dir;
    const std::string page = dir.File("page.html");
    const std::string trace = ScratchFile(dir, "hostile.txt", HostileTrace());
    std::ostringstream out, err;
    ASSERT_EQ(tracereport::Report({"--html", page, trace}, out, err), 0) << err.str();
    Element root;
    std::string error;
    const std::string html = ReadFile(page);
    ASSERT_TRUE(XmlReader(html).Document(&root, &error)) << error;
    std::vector<const Element*> details;
    root.All("details", &details);
    ASSERT_EQ(details.size(), 3u);
    EXPECT_EQ(details[1]->attributes.at("class"), "failure");
    const std::string text = details[1]->children[1]->Text();
    EXPECT_EQ(text.substr(0, text.find('\n')), "[00002] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_SET (ERROR!(4131))");
    EXPECT_NE(text.find("Item     = [</pre><script>x</script>]"), std::string::npos);
    EXPECT_NE(text.find("*** Inspect Error Status End   ***"), std::string::npos);
    const std::string first = details[0]->children[1]->Text();
    EXPECT_NE(first.find("say \"hi\" \\ <b>&amp; \\x01\\x1f\\xff\\xc3( caf\xc3\xa9"), std::string::npos) << first;
}

}  // namespace
