// Gathering and writing the lines that say where a load runs.
#include "LoadEnvironment.h"

#include <ctime>
#include <string_view>

#include "Platform/Platform.h"
#include "twaintbl.h"

#ifndef TRACEWELL_VERSION
#error "TRACEWELL_VERSION must name Tracewell's version"
#endif
#ifndef TRACEWELL_ABI
#error "TRACEWELL_ABI must name the TWAIN ABI of this build"
#endif

namespace {

using namespace traceformat;

template <size_t N>
std::string_view FieldView(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

std::string_view Known(const char* text) { return text[0] != '\0' ? std::string_view(text) : kUnknownValue; }

// One line "*** Key: value ***": the value is formatted first, so the line is cut as a whole.
template <typename S, typename... Args>
void EnvironmentLine(CTraceText& out, const char* key, const S& format, Args... args) {
    char value[1024];
    const auto result = fmt::format_to_n(value, sizeof(value), format, args...);
    const size_t length = result.size < sizeof(value) ? result.size : sizeof(value);
    out.Line(FMT_STRING(kEnvironmentLine), key, std::string_view(value, length));
}

// The names of the bits of TW_IDENTITY.SupportedGroups: data groups and TWAIN 2 flags.
void GroupNames(TW_UINT32 groups, char* dest, size_t size) {
    size_t used = 0;
    auto add = [&](const char* name) {
        const auto r = fmt::format_to_n(dest + used, size - 1 - used, used == 0 ? "{}" : " {}", name);
        used += r.size < size - 1 - used ? r.size : size - 1 - used;
    };
    for (TW_UINT32 bit = 1; bit != 0; bit <<= 1) {
        if ((groups & bit) == 0) continue;
        const char* name = FindName(dg_macros, sizeof(dg_macros) / sizeof(dg_macros[0]) - 1, bit);
        if (name == nullptr) name = FindName(df_macros, sizeof(df_macros) / sizeof(df_macros[0]) - 1, bit);
        if (name != nullptr) add(name);
    }
    dest[used] = '\0';
}

}  // namespace

LoadFacts GatherLoadFacts(const char* sourcePath, long long now) {
    LoadFacts facts;
    facts.processId = PlatformProcessId();
    PlatformExecutablePath(facts.executable, sizeof(facts.executable));
    PlatformSystemName(facts.system, sizeof(facts.system));
    PlatformTimeZone(now, facts.timeZone, sizeof(facts.timeZone));
    if (sourcePath != nullptr) {
        const auto r = fmt::format_to_n(facts.source, sizeof(facts.source) - 1, "{}", sourcePath);
        facts.source[r.size < sizeof(facts.source) - 1 ? r.size : sizeof(facts.source) - 1] = '\0';
        facts.sourceFound = PlatformFileFacts(sourcePath, &facts.sourceSize, &facts.sourceModified);
    }
    return facts;
}

void RenderLoadFacts(const LoadFacts& facts, CTraceText& out) {
    EnvironmentLine(out, kEnvironmentTracewell, FMT_STRING(kTracewellValue), TRACEWELL_VERSION, TRACEWELL_ABI);
    EnvironmentLine(out, kEnvironmentProcess, FMT_STRING(kProcessValue), facts.processId, Known(facts.executable));
    EnvironmentLine(out, kEnvironmentSystem, FMT_STRING("{}"), Known(facts.system));
    EnvironmentLine(out, kEnvironmentTimeZone, FMT_STRING("{}"), Known(facts.timeZone));
    if (facts.source[0] == '\0') return;
    if (!facts.sourceFound) {
        EnvironmentLine(out, kEnvironmentSource, FMT_STRING(kSourceNotFoundValue), FieldView(facts.source));
        return;
    }
    tm utc = {};
    PlatformUtcTime(facts.sourceModified, &utc);
    EnvironmentLine(out, kEnvironmentSource, FMT_STRING(kSourceValue), FieldView(facts.source), facts.sourceSize,
                    utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

void RenderSourceManager(const void* sourceManagerEntry, CTraceText& out) {
    char path[512];
    if (PlatformModulePathOf(sourceManagerEntry, path, sizeof(path)))
        EnvironmentLine(out, kEnvironmentSourceManager, FMT_STRING("{}"), std::string_view(path));
    else
        EnvironmentLine(out, kEnvironmentSourceManager, FMT_STRING(kNoModuleValue),
                        static_cast<unsigned>(reinterpret_cast<uintptr_t>(sourceManagerEntry)));
}

void RenderApplication(const TW_IDENTITY& origin, CTraceText& out) {
    char groups[256];
    GroupNames(origin.SupportedGroups, groups, sizeof(groups));
    EnvironmentLine(out, kEnvironmentApplication, FMT_STRING(kApplicationValue), FieldView(origin.Manufacturer),
                    FieldView(origin.ProductFamily), FieldView(origin.ProductName), origin.Version.MajorNum,
                    origin.Version.MinorNum, FieldView(origin.Version.Info), origin.ProtocolMajor,
                    origin.ProtocolMinor, static_cast<TW_UINT32>(origin.SupportedGroups), groups);
}

void CLoadEnvironment::ShowApplication(const TW_IDENTITY* origin, CTraceText& out) {
    if (!kTraceNamesItsEnvironment || m_applicationShown || origin == nullptr) return;
    m_applicationShown = true;
    RenderApplication(*origin, out);
}

void CLoadEnvironment::ShowSourceManager(const void* sourceManagerEntry, CTraceText& out) {
    if (!kTraceNamesItsEnvironment || m_sourceManagerShown || sourceManagerEntry == nullptr) return;
    m_sourceManagerShown = true;
    RenderSourceManager(sourceManagerEntry, out);
}
