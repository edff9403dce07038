// The route of a TWAIN 1.x source's calls to the Source Manager: such a source imports DSM_Entry
// from TWAIN_32.DLL, and the Source Manager redirects that import in each source it loads, but not
// in the source Tracewell loads in turn. Windows only.
#pragma once

#include <vector>

// The modules loaded in the process now.
std::vector<void*> LoadedModules();

// In every module loaded since `before` was taken, redirects the import of TWAIN_32.DLL!DSM_Entry
// (by name, or by its ordinal 1) to Tracewell's own DSM_Entry, which traces each call and forwards
// it to the Source Manager that loaded Tracewell: the module whose code made the call at
// `callerAddress` when it exports DSM_Entry, else TWAINDSM.DLL or TWAIN_32.DLL already loaded.
void RouteSourceImports(const std::vector<void*>& before, const void* callerAddress);
