// `tracewell check`: reads each trace through the report's reader, checks every load and prints
// the findings.
#include "Check.h"

#include <cstdio>
#include <iostream>

#include "Escape.h"
#include "Writers.h"

namespace tracecheck {

namespace {

constexpr int kClean = 0;
constexpr int kErrors = 1;
constexpr int kUsage = 2;

const char kCheckHelp[] =
    "Usage: tracewell check [--json] TRACE...\n\n"
    "Holds each traced session against the rules of the TWAIN 2.5 standard and prints one finding per\n"
    "line: where (file, line and request number), the rule's identifier, its severity (error: the\n"
    "standard is broken; warning: allowed but almost always a mistake; info), the party at fault\n"
    "(application, source, Source Manager), what happened, and the rule with its place in the\n"
    "standard. The README lists every rule.\n\n"
    "  --json          one JSON document on standard output instead of the text\n"
    "  --rules         list the rules and end\n"
    "  --help          this text\n\n"
    "Exit status: 0 when no finding is an error, 1 when one is, 2 on a bad argument or a file that\n"
    "cannot be read or holds no TWAIN call.\n";

std::string Plural(long n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

}  // namespace

void Counts::Add(const Finding& finding) {
    switch (finding.rule->severity) {
        case Severity::Error: ++errors; break;
        case Severity::Warning: ++warnings; break;
        case Severity::Info: ++infos; break;
    }
}

std::string CountsText(const Counts& c) {
    return Plural(c.errors, "error", "errors") + ", " + Plural(c.warnings, "warning", "warnings") + ", " +
           Plural(c.infos, "info", "infos");
}

std::string RequestText(const Finding& f) {
    char text[48];
    if (f.seq >= 0)
        snprintf(text, sizeof(text), "[%05lld]", f.seq);
    else if (f.afterSeq >= 0)
        snprintf(text, sizeof(text), "[event after %05lld]", f.afterSeq);
    else
        snprintf(text, sizeof(text), "[event]");
    return text;
}

std::string FindingText(const Finding& f) {
    return std::string(f.rule->id) + " " + SeverityName(f.rule->severity) + " " + PartyName(f.rule->party) + " " +
           RequestText(f) + " " + f.call + ": " + f.what + " (rule: " + f.rule->title + "; " + f.rule->reference + ")";
}

std::string FindingLine(const std::string& file, const Finding& f) {
    return file + ":" + std::to_string(f.line) + ": " + FindingText(f);
}

void WriteJsonFinding(const std::string& file, int load, const Finding& f, std::ostream& out) {
    using tracereport::JsonString;
    out << "{\"id\":" << JsonString(f.rule->id) << ",\"severity\":" << JsonString(SeverityName(f.rule->severity))
        << ",\"party\":" << JsonString(PartyName(f.rule->party)) << ",\"file\":" << JsonString(file)
        << ",\"load\":" << load << ",\"line\":" << f.line << ",\"request\":"
        << (f.seq >= 0 ? std::to_string(f.seq) : "null") << ",\"eventAfter\":"
        << (f.seq < 0 && f.afterSeq >= 0 ? std::to_string(f.afterSeq) : "null") << ",\"call\":" << f.ordinal
        << ",\"triplet\":" << JsonString(f.call) << ",\"what\":" << JsonString(f.what)
        << ",\"rule\":" << JsonString(f.rule->title) << ",\"ruleText\":" << JsonString(f.rule->text)
        << ",\"reference\":" << JsonString(f.rule->reference) << "}";
}

int Check(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::vector<std::string> paths;
    bool options = true;
    for (const std::string& a : arguments) {
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            out << kCheckHelp;
            return kClean;
        } else if (options && a == "--rules") {
            WriteRuleTable(out);
            return kClean;
        } else if (options && a == "--json") {
            json = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            err << "tracewell check: unknown option '" << a << "'\nTry 'tracewell check --help'.\n";
            return kUsage;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty()) {
        err << "tracewell check: no trace file given\nTry 'tracewell check --help'.\n";
        return kUsage;
    }

    Counts counts;
    std::vector<tracereport::FileResult> files;
    bool first = true;
    if (json) out << "{\"findings\":[";
    for (const std::string& path : paths) {
        tracereport::FileResult file;
        file.path = path;
        CChecker checker([&](LoadFindings& load) {
            ++file.loads;
            file.calls += load.calls;
            for (const Finding& f : load.findings) {
                counts.Add(f);
                if (json) {
                    out << (first ? "" : ",");
                    WriteJsonFinding(path, load.index, f, out);
                } else {
                    out << FindingLine(path, f) << "\n";
                }
                first = false;
            }
            if (load.dropped > 0 && !json)
                out << path << ": load " << load.index << ": " << load.dropped << " more findings not shown\n";
        });
        file.read = tracereport::ReadTraceFile(path, checker, &file.error, &file.lines, false);
        files.push_back(file);
    }
    int status = counts.errors > 0 ? kErrors : kClean;
    for (const tracereport::FileResult& f : files) {
        if (!f.read) {
            err << "tracewell check: cannot read " << f.error << "\n";
            status = kUsage;
        } else if (f.calls == 0) {
            err << "tracewell check: " << f.path << " holds no TWAIN call (" << f.lines << " lines): not a trace\n";
            status = kUsage;
        }
    }
    if (json) {
        out << "],\"files\":[";
        for (size_t i = 0; i < files.size(); ++i) {
            const tracereport::FileResult& f = files[i];
            out << (i == 0 ? "" : ",") << "{\"path\":" << tracereport::JsonString(f.path)
                << ",\"read\":" << (f.read ? "true" : "false")
                << ",\"error\":" << (f.error.empty() ? "null" : tracereport::JsonString(f.error))
                << ",\"lines\":" << f.lines << ",\"loads\":" << f.loads << ",\"calls\":" << f.calls << "}";
        }
        out << "],\"errors\":" << counts.errors << ",\"warnings\":" << counts.warnings << ",\"infos\":" << counts.infos
            << "}\n";
    } else {
        long loads = 0, calls = 0;
        for (const tracereport::FileResult& f : files) loads += f.loads, calls += f.calls;
        out << CountsText(counts) << " in " << Plural(static_cast<long>(files.size()), "file", "files") << " ("
            << Plural(loads, "load", "loads") << ", " << Plural(calls, "call", "calls") << ")\n";
    }
    return status;
}

}  // namespace tracecheck

int RunCheck(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
    return tracecheck::Check(arguments, std::cout, std::cerr);
}
