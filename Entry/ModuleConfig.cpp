// The two paths one build of the module is configured with, and the settings file beside the
// module that overrides the log directory, the timing switch and the adapted source at load.
#include "ModuleConfig.h"

#include <cstdio>
#include <string>
#include <vector>

#include "Common/Settings.h"
#include "Common/TwainLog/TwainLog.h"
#include "DSEntry.h"
#include "Platform/Platform.h"

#ifndef TRACEWELL_WRAPPED_SOURCE
#error "TRACEWELL_WRAPPED_SOURCE must name the wrapped data source"
#endif
#ifndef TRACEWELL_LOG_DIR
#error "TRACEWELL_LOG_DIR must name the log directory"
#endif

static_assert(sizeof(TRACEWELL_LOG_DIR) < 256, "the log directory must fit its 256-byte array");

const char g_szLogDirectory[256] = TRACEWELL_LOG_DIR;
const char g_szWrappedSource[] = TRACEWELL_WRAPPED_SOURCE;

// The load sequence runs before the module's other globals are constructed: these are made on
// first use. The adapted source is empty when the wrapped source forwards to its own.
static std::string& AdaptedSource() {
    static std::string source;
    return source;
}
static std::string& SettingsPath() {
    static std::string path;
    return path;
}

void ReadModuleSettings(const char* modulePath) {
    AdaptedSource().clear();
    SetLogDirectory(nullptr);
    g_bTraceTiming = false;
    if (modulePath == nullptr) return;

    SettingsPath() = SettingsPathBeside(modulePath);
    std::vector<SettingsProblem> problems;
    const TracewellSettings settings = ReadSettingsFile(SettingsPath(), &problems);
    for (const SettingsProblem& problem : problems)
        fprintf(stderr, "%s\n", DescribeSettingsProblem(SettingsPath(), problem).c_str());
    if (settings.logDirectory) SetLogDirectory(settings.logDirectory->c_str());
    if (settings.timing) g_bTraceTiming = *settings.timing;
    if (settings.adaptedSource) AdaptedSource() = *settings.adaptedSource;
}

void CreateOperator(void* module, CreateCorvaleFn factory, const char* moduleFileName) {
    if (!AdaptedSource().empty()) {
        const auto adapting =
            reinterpret_cast<CreateAdaptingCorvaleFn>(PlatformModuleSymbol(module, TRACEWELL_ADAPTING_FACTORY_NAME));
        if (adapting != nullptr) {
            adapting(moduleFileName, AdaptedSource().c_str(), &g_pcTripletOperator);
            return;
        }
        fprintf(stderr, "tracewell: %s: adapted_source is set, but the wrapped source %s takes none; ignored\n",
                SettingsPath().c_str(), g_szWrappedSource);
    }
    factory(moduleFileName, &g_pcTripletOperator);
}

const char* TracedSourcePath() { return !AdaptedSource().empty() ? AdaptedSource().c_str() : g_szWrappedSource; }
