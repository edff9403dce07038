// What the session host needs of the system it runs on: one file per system.
#pragma once

#include <string>
#include <vector>

#include "tracewell/twain.h"

// The program's arguments as UTF-8, the program's name first.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// The loaded module, or null with *reason saying why.
void* LoadSourceModule(const std::string& path, std::string* reason);
// The module's DS_Entry as a Source Manager finds it (on Windows the export with ordinal 1 when
// the name is missing); null when there is none.
DSENTRYPROC SourceEntry(void* module);
void FreeSourceModule(void* module);

// The data sources (files named *.ds) below `folder`, at any depth, in sorted order.
std::vector<std::string> FindDataSources(const std::string& folder);

// An exported function of whichever loaded module exports it; null when none does.
void* LoadedExport(const char* name);

// From now on the Source Manager's DSM_Entry: each source loaded after this has its import of
// TWAIN_32.DLL!DSM_Entry (a TWAIN 1.x source's way to the Source Manager) redirected to it, as the
// Windows Source Manager does, and the program's own export DSM_Entry reaches it. Nothing where
// sources import no Source Manager.
void RouteSourceCalls(DSMENTRYPROC entry);
