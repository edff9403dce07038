// How the adapter reaches the standard data source on this system: one file per system.
#pragma once

#include <string>

bool SourcePathIsAbsolute(const char* path);
// The loaded module, or null with *reason saying why.
void* OpenSourceModule(const char* path, std::string* reason);
void* SourceModuleExport(void* module, const char* name);
// The source's entry point as the Source Manager finds it.
void* SourceEntryPoint(void* module);
void CloseSourceModule(void* module);
