// Fuzz target of the trace reader: any bytes, fed in pieces of every size, through the summary,
// the text and JSON forms and the escaping, must end in a report and never in a fault.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "tools/report/SessionSummary.h"
#include "tools/report/Writers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::ostringstream text, json;
    long lines = 0;
    tracereport::CSummaryBuilder builder([&](tracereport::LoadSummary& load) {
        tracereport::WriteTextLoad(load, text);
        tracereport::WriteJsonLoad(load, json);
        lines += load.lastLine - load.firstLine + 1;
    });
    tracereport::CTraceReader reader(builder, "fuzz");
    // The first byte chooses the piece size, so that lines split across reads are exercised.
    const size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    for (size_t at = 0; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        reader.Feed(reinterpret_cast<const char*>(data) + at, n);
    }
    reader.Finish();
    if (lines != reader.Lines()) __builtin_trap();  // every line belongs to exactly one load
    return 0;
}
