// The standard data source on Windows: a DLL loaded through the platform layer; its entry point is
// the export DS_Entry, or the export with ordinal 1 when the name is missing, as the Source
// Manager finds it.
#include "Common/SettingsFile.h"
#include "Platform/Platform.h"
#include "SourceModule.h"

bool SourcePathIsAbsolute(const char* path) { return IsAbsolutePath(path); }

void* OpenSourceModule(const char* path, std::string*) { return PlatformModuleOpen(path); }

void* SourceModuleExport(void* module, const char* name) { return PlatformModuleSymbol(module, name); }

void* SourceEntryPoint(void* module) {
    void* entry = PlatformModuleSymbol(module, "DS_Entry");
    return entry != nullptr ? entry : PlatformModuleOrdinal(module, 1);
}

void CloseSourceModule(void* module) { PlatformModuleRelease(module); }
