// Fuzz target of the trace reader and of the checker built on it: any bytes, fed in pieces of
// every size, through the summary, the text and JSON forms, the escaping and the checker's findings
// in both their forms, must end in a report and never in a fault.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "tools/check/Check.h"
#include "tools/check/Checker.h"
#include "tools/report/SessionSummary.h"
#include "tools/report/Writers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::ostringstream text, json;
    long lines = 0;
    std::vector<long> callsPerLoad;
    tracereport::CSummaryBuilder builder([&](tracereport::LoadSummary& load) {
        tracereport::WriteTextLoad(load, text);
        tracereport::WriteJsonLoad(load, json);
        lines += load.lastLine - load.firstLine + 1;
        callsPerLoad.push_back(load.ordinals);
    });
    tracereport::CTraceReader reader(builder, "fuzz");

    std::ostringstream findings;
    tracecheck::Counts counts;
    std::vector<tracecheck::LoadFindings> checked;
    tracecheck::CChecker checker([&](tracecheck::LoadFindings& load) {
        long last = 0;
        for (const tracecheck::Finding& f : load.findings) {
            // Every finding names a rule and a line of the trace, in the order of the lines.
            if (f.rule == nullptr || f.line < last) __builtin_trap();
            last = f.line;
            counts.Add(f);
            findings << tracecheck::FindingLine(load.file, f) << "\n";
            tracecheck::WriteJsonFinding(load.file, load.index, f, findings);
        }
        if (load.findings.size() > tracecheck::CChecker::kMaxFindings) __builtin_trap();
        checked.push_back(std::move(load));
    });
    tracereport::CTraceReader checkReader(checker, "fuzz", false);

    // The first byte chooses the piece size, so that lines split across reads are exercised.
    const size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    for (size_t at = 0; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        reader.Feed(reinterpret_cast<const char*>(data) + at, n);
        checkReader.Feed(reinterpret_cast<const char*>(data) + at, n);
    }
    reader.Finish();
    checkReader.Finish();
    findings << tracecheck::CountsText(counts) << "\n";

    if (lines != reader.Lines()) __builtin_trap();  // every line belongs to exactly one load
    // The checker takes the same loads and calls as the summary, and its findings lie in the trace.
    if (checked.size() != callsPerLoad.size()) __builtin_trap();
    for (size_t i = 0; i < checked.size(); ++i) {
        if (checked[i].calls != callsPerLoad[i]) __builtin_trap();
        for (const tracecheck::Finding& f : checked[i].findings)
            if (f.line < 1 || f.line > checkReader.Lines()) __builtin_trap();
    }
    return 0;
}
