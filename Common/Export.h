// Marks what the data source module exports; everything else stays hidden inside it.
#pragma once

// What the module exports, and who calls it:
// - DS_Entry (Entry/DSEntry.h): the Source Manager, for every triplet.
// - MachO_Initialization, MachO_Termination (Entry/DSEntry.h): the module loader, at load and
//   unload; also run by the module itself from its constructor.
// - CDSMInterface (Common/DSMInterface.h): wrapped sources, for memory handles; LockMemory and
//   UnlockMemory also by the capability formatter.
// - CTwainLog::Message (Common/TwainLog/TwainLog.h): code outside the module that logs into the
//   trace file; nothing in the module calls it.
// - CParaAnalyze::HeaderMake and CParaAnalyze::Init (Common/TwainLog/ParaAnalyze.h): code outside the
//   module, for a banner and a caller tag; nothing in the module calls them.
// - CreateKSTempDirectory (Common/TwainLog/TwainLog.h): code outside the module that keeps
//   debug images there; nothing in the module calls it.
// On Windows the module-definition file of the module lists what it exports (DS_Entry by its plain
// name and as ordinal 1, and the load and unload sequences).
#ifdef _WIN32
#define TRACEWELL_EXPORT
#else
#define TRACEWELL_EXPORT __attribute__((visibility("default")))
#endif
