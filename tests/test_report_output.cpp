// The report's JSON document and XHTML page: each parsed back by a strict reader and held against
// what the report says, for the golden traces and for traces whose strings hold quotes, control
// characters and bytes that are not UTF-8.
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/property_tree/detail/rapidxml.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <gtest/gtest.h>

#include "Report.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

const std::string kGoldenDir = std::string(TRACEWELL_SOURCE_DIR) + "/tests/golden/";

namespace pt = boost::property_tree;
namespace rx = boost::property_tree::detail::rapidxml;
using Node = rx::xml_node<char>;

const pt::ptree& Item(const pt::ptree& array, size_t i) {
    if (i >= array.size()) throw std::out_of_range("item " + std::to_string(i));
    return std::next(array.begin(), static_cast<long>(i))->second;
}

// The elements named `name` (any with nullptr) at or below `node`, in document order.
std::vector<Node*> All(Node* node, const char* name) {
    std::vector<Node*> found;
    if (node->type() == rx::node_element && (!name || std::string(name) == node->name())) found.push_back(node);
    for (Node* c = node->first_node(); c; c = c->next_sibling()) {
        const std::vector<Node*> below = All(c, name);
        found.insert(found.end(), below.begin(), below.end());
    }
    return found;
}

std::vector<Node*> Children(const Node* node) {
    std::vector<Node*> children;
    for (Node* c = node->first_node(); c; c = c->next_sibling())
        if (c->type() == rx::node_element) children.push_back(c);
    return children;
}

std::string Attribute(const Node* node, const char* name) {
    const rx::xml_attribute<char>* a = node->first_attribute(name);
    return a ? a->value() : "";
}

std::string Text(const Node* node) {
    std::string text = node->type() == rx::node_data ? node->value() : "";
    for (const Node* c = node->first_node(); c; c = c->next_sibling()) text += Text(c);
    return text;
}

// `*page` read from `*buffer` (the text with a terminating zero) as well-formed XML, or why it could
// not be. The reader matches end tags to start tags; what it lets through is checked here: one root,
// no attribute twice, no control character nor reference to one, no '&' that starts no reference.
::testing::AssertionResult ReadXml(std::vector<char>* buffer, rx::xml_document<char>* page) {
    const std::string text(buffer->data());
    static const std::regex kReference("&(#x[0-9a-fA-F]+|#[0-9]+|amp|lt|gt|quot|apos);|&");
    for (std::sregex_iterator m(text.begin(), text.end(), kReference), end; m != end; ++m) {
        const std::string ref = (*m)[1];
        const long cp = ref.empty() ? 0 : ref[0] != '#' ? ' ' : ref[1] == 'x' ? strtol(ref.c_str() + 2, nullptr, 16)
                                                                               : strtol(ref.c_str() + 1, nullptr, 10);
        if (cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r')
            return ::testing::AssertionFailure() << "reference XML does not allow: " << m->str();
    }
    const auto control = std::find_if(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
    });
    if (control != text.end() || text.size() + 1 != buffer->size())  // a NUL ends `text` early
        return ::testing::AssertionFailure() << "control character at byte " << control - text.begin();
    try {
        page->parse<rx::parse_validate_closing_tags>(buffer->data());
    } catch (const rx::parse_error& e) {
        return ::testing::AssertionFailure() << e.what() << " at byte " << e.where<char>() - buffer->data();
    }
    size_t roots = 0;
    for (Node* c = page->first_node(); c; c = c->next_sibling()) roots += c->type() == rx::node_element;
    if (roots != 1) return ::testing::AssertionFailure() << roots << " root elements";
    for (const Node* e : All(page, nullptr)) {
        std::set<std::string> names;
        for (auto* a = e->first_attribute(); a; a = a->next_attribute())
            if (!names.insert(a->name()).second)
                return ::testing::AssertionFailure() << "attribute given twice: " << a->name() << " in <" << e->name() << ">";
    }
    return ::testing::AssertionSuccess();
}

// ---- The cases ----

constexpr char kRawLine[] = "\x00\x02 not a trace line ]]> \xfe\r\n";

// Strings that a JSON or XML writer gets wrong when it does not escape: quotes, backslashes,
// markup, control characters and bytes that are not UTF-8, in the request line and in values.
std::string HostileTrace() {
    return Crlf({"*** Process: 7 /opt/\"a\"\\b <&> ***", "*** System: S ***",
                 "[00001] [APP] DG_CONTROL/DAT_PARENT/MSG_OPENDSM", "        Return Code = [TWRC_SUCCESS]",
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
        const std::string pagePath = dir.File("page.html");
        std::ostringstream out, err;
        const int status = tracereport::Report({"--json", "--html", pagePath, input.second}, out, err);
        EXPECT_EQ(status, input.first == "random bytes" ? 1 : 0) << err.str();
        // Read by a strict JSON reader: raw control characters, bytes that are not UTF-8 and text
        // after the document are refused.
        pt::ptree doc;
        std::istringstream json(out.str());
        ASSERT_NO_THROW(pt::read_json(json, doc)) << out.str().substr(0, 2000);
        ASSERT_EQ(out.str().front(), '{');
        EXPECT_EQ(doc.get_child("files").size(), 1u);
        const pt::ptree& loads = doc.get_child("loads");
        for (const auto& load : loads) {
            for (const auto& run : load.second.get_child("states")) {
                EXPECT_GE(run.second.get<int>("state"), 1);
                EXPECT_LE(run.second.get<int>("state"), 7);
            }
            EXPECT_EQ(load.second.get<long>("calls.intoSource"),
                      load.second.get<long>("calls.requests") + load.second.get<long>("calls.events"));
        }

        const std::string html = ReadFile(pagePath);
        std::vector<char> buffer(html.begin(), html.end());
        buffer.push_back('\0');
        rx::xml_document<char> page;
        ASSERT_TRUE(ReadXml(&buffer, &page));
        Node* root = page.first_node();
        EXPECT_STREQ(root->name(), "html");
        EXPECT_EQ(Attribute(root, "xmlns"), "http://www.w3.org/1999/xhtml");
        EXPECT_EQ(html.find("<script"), std::string::npos) << "no script, and the trace's text is escaped";
        EXPECT_EQ(html.find(" src="), std::string::npos) << "nothing from the network";

        std::vector<Node*> timelines;
        for (Node* svg : All(root, "svg"))
            if (Attribute(svg, "id").compare(0, 9, "timeline-") == 0) timelines.push_back(svg);
        ASSERT_EQ(timelines.size(), loads.size());
        size_t calls = 0;
        for (size_t i = 0; i < timelines.size(); ++i) {
            const pt::ptree& load = Item(loads, i);
            calls += load.get<size_t>("calls.intoSource") + load.get<size_t>("calls.fromSource");
            std::vector<std::pair<long, int>> expected;
            for (const auto& run : load.get_child("states"))
                expected.push_back({run.second.get<long>("call"), run.second.get<int>("state")});
            const std::vector<Node*> polylines = All(timelines[i], "polyline");
            ASSERT_EQ(polylines.size(), expected.empty() ? 0u : 1u);
            EXPECT_EQ(polylines.empty() ? expected : RunsDrawn(Attribute(polylines[0], "points")), expected);
            std::vector<long> marked, failed;
            for (const Node* l : All(timelines[i], "line"))
                if (Attribute(l, "class") == "failure") marked.push_back(atol(Attribute(l, "x1").c_str()));
            for (const auto& f : load.get_child("failureList")) failed.push_back(f.second.get<long>("call"));
            EXPECT_EQ(marked, failed);
        }
        const std::vector<Node*> details = All(root, "details");
        EXPECT_EQ(details.size(), calls) << "each call's text one click away";
        for (const Node* d : details) {
            const std::vector<Node*> parts = Children(d);
            ASSERT_EQ(parts.size(), 2u);
            EXPECT_STREQ(parts[0]->name(), "summary");
            EXPECT_STREQ(parts[1]->name(), "pre");
        }
        for (const Node* a : All(root, "a")) {
            ASSERT_EQ(Attribute(a, "href").compare(0, 1, "#"), 0) << "links stay on the page";
            const std::string target = Attribute(a, "href").substr(1);
            EXPECT_NE(html.find("id=\"" + target + "\""), std::string::npos) << target;
        }
        if (input.first == "two loads") {
            // The golden session's counts and timeline, each where the document puts it.
            const pt::ptree& load = Item(loads, 1);
            const std::pair<const char*, const char*> kValues[] = {
                {"calls.intoSource", "48"}, {"failures", "1"}, {"pages", "2"}, {"transfers.pages", "2"},
                {"transfers.byMode.memory", "2"}, {"triplets.DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET", "6"},
                {"source.productName", "Corvale F40"}};
            for (const auto& v : kValues) EXPECT_EQ(load.get<std::string>(v.first), v.second) << v.first;
            EXPECT_EQ(Item(load.get_child("failureList"), 0).get<std::string>("conditionCode"), "TWCC_BADVALUE");
            const pt::ptree& image = Item(load.get_child("transfers.images"), 0);
            EXPECT_EQ(image.get<std::string>("width") + " " + image.get<std::string>("pixelType"), "850 TWPT_GRAY");
            std::vector<int> states;
            for (const auto& run : load.get_child("states")) states.push_back(run.second.get<int>("state"));
            EXPECT_EQ(states, (std::vector<int>{3, 4, 5, 6, 7, 6, 7, 5, 4, 3}));
        }
        if (input.first != "hostile strings") continue;
        // The strings come back as the trace wrote them, in the document and on the page.
        const pt::ptree& load = Item(loads, 0);
        EXPECT_EQ(load.get<std::string>("application.productName"),
                  "say \"hi\" \\ <b>&amp; \x01\x1f\xc3\xbf\xc3\x83( caf\xc3\xa9");  // not UTF-8: read as Latin-1
        const pt::ptree& failure = Item(load.get_child("failureList"), 0);
        EXPECT_EQ(failure.get<std::string>("capability"), "ERROR!(4131)");
        EXPECT_EQ(failure.get<std::string>("asked"), "</pre><script>x</script>");
        EXPECT_EQ(load.get<int>("unparsed.lines"), 1);
        EXPECT_EQ(Item(load.get_child("unparsed.ranges"), 0).get<int>("first"), 25);
        EXPECT_EQ(load.get<std::string>("environment.Process"), "7 /opt/\"a\"\\b <&>");
        EXPECT_EQ(load.get<int>("notices.counts.logger"), 1);
        ASSERT_EQ(details.size(), 3u);
        EXPECT_EQ(Attribute(details[1], "class"), "failure");
        const std::string text = Text(Children(details[1])[1]);
        EXPECT_EQ(text.substr(0, text.find('\n')), "[00002] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_SET (ERROR!(4131))");
        EXPECT_NE(text.find("Item     = [</pre><script>x</script>]"), std::string::npos);
        EXPECT_NE(text.find("*** Inspect Error Status End   ***"), std::string::npos);
        const std::string first = Text(Children(details[0])[1]);
        EXPECT_NE(first.find("say \"hi\" \\ <b>&amp; \\x01\\x1f\\xff\\xc3( caf\xc3\xa9"), std::string::npos) << first;
    }
}

}  // namespace
