// tracewell_host: plays a TWAIN application and Source Manager against a data source module, runs
// one scenario through it, unloads it and reports what happened and where the trace went.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Application.h"
#include "DataSource.h"
#include "HostMemory.h"
#include "HostSystem.h"
#include "Scenarios.h"
#include "TraceFiles.h"

#ifndef TRACEWELL_HOST_MODULE
#error "TRACEWELL_HOST_MODULE must name the default data source module"
#endif
#ifndef TRACEWELL_HOST_LOG_DIR
#error "TRACEWELL_HOST_LOG_DIR must name the default module's log directory"
#endif

namespace {

constexpr int kBadArguments = 2;
constexpr int kFailed = 1;

struct Options {
    std::string module = TRACEWELL_HOST_MODULE;
    std::string logDirectory = TRACEWELL_HOST_LOG_DIR;
    std::string scenario = "session";
    bool scenarioGiven = false;
    std::string transcript;
    std::string twainFolder;
    std::string sourceName;
    bool twain2 = false;
    int headLines = 10;
    bool help = false;
};

struct OptionRule {
    const char* name;
    bool takesValue;
    bool (*apply)(Options& options, const std::string& value);
};

bool ParseCount(const std::string& text, int* count) {
    char* end = nullptr;
    const long value = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > 100000) return false;
    *count = static_cast<int>(value);
    return true;
}

const OptionRule kOptions[] = {
    {"--module", true, [](Options& o, const std::string& v) { return o.module = v, true; }},
    {"--log-dir", true, [](Options& o, const std::string& v) { return o.logDirectory = v, true; }},
    {"--twain-dir", true, [](Options& o, const std::string& v) { return o.twainFolder = v, !v.empty(); }},
    // A ProductName is a TW_STR32: at most 33 characters.
    {"--source", true,
     [](Options& o, const std::string& v) { return o.sourceName = v, !v.empty() && v.size() < sizeof(TW_STR32); }},
    {"--transcript", true, [](Options& o, const std::string& v) { return o.transcript = v, !v.empty(); }},
    {"--head", true, [](Options& o, const std::string& v) { return ParseCount(v, &o.headLines); }},
    {"--twain2", false, [](Options& o, const std::string&) { return o.twain2 = true, true; }},
    {"--help", false, [](Options& o, const std::string&) { return o.help = true, true; }},
};

const OptionRule* FindOption(const std::string& name) {
    for (const OptionRule& rule : kOptions) {
        if (name == rule.name) return &rule;
    }
    return nullptr;
}

bool TakeScenario(Options* options, const std::string& name, std::string* error) {
    if (FindScenario(name) == nullptr) {
        *error = "unknown scenario '" + name + "' (see --help)";
        return false;
    }
    if (options->scenarioGiven) {
        *error = "one scenario at a time: '" + options->scenario + "' and '" + name + "' given";
        return false;
    }
    options->scenario = name;
    options->scenarioGiven = true;
    return true;
}

bool ParseArguments(const std::vector<std::string>& argv, Options* options, std::string* error) {
    const size_t argc = argv.size();
    for (size_t i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.compare(0, 1, "-") != 0) {
            if (!TakeScenario(options, argument, error)) return false;
            continue;
        }
        const OptionRule* rule = FindOption(argument);
        if (rule == nullptr) {
            *error = "unknown option '" + argument + "'";
            return false;
        }
        if (rule->takesValue && i + 1 == argc) {
            *error = "option " + argument + " needs a value";
            return false;
        }
        const std::string value = rule->takesValue ? argv[++i] : "";
        if (!rule->apply(*options, value)) {
            *error = "option " + argument + " does not take '" + value + "'";
            return false;
        }
    }
    if (!options->sourceName.empty() && options->twainFolder.empty()) {
        *error = "--source names one of the sources found below --twain-dir, which is not given";
        return false;
    }
    return true;
}

void PrintHelp() {
    printf("Usage: tracewell_host [options] [scenario]\n\n"
           "Plays a TWAIN application and Source Manager against a data source module: loads the module,\n"
           "runs one scenario through its DS_Entry, unloads it, and reports the calls made, the failures,\n"
           "the pages transferred and the trace file the module wrote.\n\nScenarios:\n");
    // The descriptions start in one column, two blanks after the longest name.
    int width = 0;
    for (const Scenario& scenario : Scenarios()) width = std::max(width, static_cast<int>(strlen(scenario.name)) + 2);
    for (const Scenario& scenario : Scenarios()) printf("  %-*s%s\n", width, scenario.name, scenario.description);
    printf("  (the default is session)\n\nOptions:\n"
           "  --module PATH   the data source module to load\n"
           "                  (default: %s)\n"
           "  --twain-dir DIR play the Windows Source Manager over the data sources (*.ds) below DIR (its\n"
           "                  twain_64 or twain_32 folder): it lists them as the application opens it,\n"
           "                  each loaded, asked its identity and freed, and loads the source the\n"
           "                  application opens only while it is open; implies a TWAIN 2 Source Manager\n"
           "  --source NAME   with --twain-dir: the source the application opens, by the ProductName it\n"
           "                  answers with (default: the first one listed)\n"
           "  --log-dir DIR   the directory the module traces into; it is made before the module loads,\n"
           "                  because tracing is on only when it exists then\n"
           "                  (default: %s)\n"
           "  --transcript FILE  write every call to FILE: its triplet, its return code and the bytes of\n"
           "                     the structure (and container, strip or image) after the call\n"
           "  --twain2        play a TWAIN 2 application and Source Manager: the Source Manager answers\n"
           "                  opening itself and the callback, gives a TWAIN 2 source its entry points\n"
           "                  (DAT_ENTRYPOINT) before opening it, and delivers the messages the source\n"
           "                  sends through them to the application's callback; the transcript then\n"
           "                  also holds each call the source made to the Source Manager\n"
           "  --head N        lines of the trace to show after the summary (default 10, 0 for none)\n"
           "  --help          this text\n\n"
           "Exit status: 0 when every call was answered as the scenario expects, 1 when one was not or the\n"
           "module cannot be used, 2 on a bad argument.\n",
           TRACEWELL_HOST_MODULE, TRACEWELL_HOST_LOG_DIR);
}

// A ProductName its source may have filled to the last byte.
std::string NameOf(const TW_IDENTITY& identity) {
    return std::string(identity.ProductName, strnlen(identity.ProductName, sizeof(identity.ProductName)));
}

bool Lists(const CDataSource& source, const std::string& productName) {
    for (const CDataSource::ListedSource& found : source.SourcesListed()) {
        if (NameOf(found.identity) == productName) return true;
    }
    return false;
}

void PrintList(const char* title, const std::vector<std::string>& lines) {
    printf("%-20s%s\n", title, lines.empty() ? "none" : "");
    for (const std::string& line : lines) printf("  %s\n", line.c_str());
}

void PrintSummary(const Options& options, const CDataSource& source, const CApplication& app,
                  const std::string& trace) {
    printf("%-20s%s\n", "Scenario:", options.scenario.c_str());
    if (options.twainFolder.empty()) {
        printf("%-20s%s\n", "Data source:", options.module.c_str());
    } else {
        std::vector<std::string> listed;
        for (const CDataSource::ListedSource& found : source.SourcesListed())
            listed.push_back(NameOf(found.identity) + ": " + found.path);
        PrintList("Sources listed:", listed);
        const CDataSource::ListedSource& opened = source.SourceOpened();
        printf("%-20s%s\n", "Source opened:",
               opened.path.empty() ? "none" : (NameOf(opened.identity) + ": " + opened.path).c_str());
    }
    printf("%-20s%d\n", "Calls made:", source.Calls());
    printf("%-20s%d\n", "Failures:", source.Failures());
    if (options.twain2) printf("%-20s%d\n", "Source messages:", source.SourceMessages());
    printf("%-20s%d\n", "Pages transferred:", app.Pages());
    PrintList("Refused as expected:", app.Rejections());
    PrintList("Unexpected answers:", app.UnexpectedAnswers());
    if (trace.empty()) {
        printf("%-20snone written (tracing is on only when %s exists as the module loads)\n", "Trace file:",
               options.logDirectory.c_str());
        return;
    }
    printf("%-20s%s\n", "Trace file:", trace.c_str());
    const std::vector<std::string> head = FirstLines(trace, options.headLines);
    if (!head.empty()) printf("First lines of the trace:\n");
    for (const std::string& line : head) printf("  %s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseArguments(ProgramArguments(argc, argv), &options, &error)) {
        fprintf(stderr, "tracewell_host: %s\nTry 'tracewell_host --help'.\n", error.c_str());
        return kBadArguments;
    }
    if (options.help) {
        PrintHelp();
        return 0;
    }
    if (!MakeDirectories(options.logDirectory, &error)) {
        fprintf(stderr, "tracewell_host: cannot make the log directory %s\n", error.c_str());
        return kFailed;
    }
    const TraceListing before = ListTraceFiles(options.logDirectory);

    CDataSource source;
    CApplication app(source);  // its structures take their fixed places before the module allocates
    if (!app.Ready()) {
        fprintf(stderr, "tracewell_host: the fixed-address memory for the session cannot be mapped\n");
        return kFailed;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> transcript(nullptr, fclose);
    if (!options.transcript.empty()) {
        transcript.reset(fopen(options.transcript.c_str(), "wb"));
        if (transcript == nullptr) {
            fprintf(stderr, "tracewell_host: cannot write the transcript %s\n", options.transcript.c_str());
            return kFailed;
        }
        source.RecordTo(transcript.get());
    }
    if (options.twain2) app.BecomeTwain2();
    if (!options.sourceName.empty()) app.AskForSource(options.sourceName);
    if (options.twain2 || !options.twainFolder.empty()) {
        if (!source.PlayTwain2Manager()) {
            fprintf(stderr, "tracewell_host: the Source Manager's entry points cannot be given a place\n");
            return kFailed;
        }
    }
    const size_t heldBySelf = MemoryInUse();
    if (!options.twainFolder.empty() ? !source.UseFolder(options.twainFolder) : !source.Load(options.module)) {
        fprintf(stderr, "tracewell_host: %s\n", source.Error().c_str());
        return kFailed;
    }
    FindScenario(options.scenario)->play(app);
    source.Unload();
    // Every container and image the source handed over has been disposed of by now.
    app.ReleaseTransients();
    if (MemoryInUse() != heldBySelf)
        app.Unexpected(std::to_string(MemoryInUse() - heldBySelf) + " bytes of memory blocks were left allocated");
    if (!options.sourceName.empty() && !Lists(source, options.sourceName)) {
        std::string listed;
        for (const CDataSource::ListedSource& found : source.SourcesListed())
            listed += (listed.empty() ? "'" : ", '") + NameOf(found.identity) + "'";
        fprintf(stderr, "tracewell_host: no source below %s answers with the ProductName '%s' (listed: %s)\n",
                options.twainFolder.c_str(), options.sourceName.c_str(), listed.empty() ? "none" : listed.c_str());
        return kFailed;
    }

    PrintSummary(options, source, app, WrittenTrace(options.logDirectory, before, ListTraceFiles(options.logDirectory)));
    return app.UnexpectedAnswers().empty() ? 0 : kFailed;
}
