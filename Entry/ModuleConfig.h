// What one build of the module is configured with beyond its two paths: the settings file read
// beside the module at load, and the operator made with the adapted source it names.
#pragma once

#include "tracewell/TripletOperator.h"

// Reads tracewell.conf beside the module file at `modulePath` (null: the module was not found,
// nothing is read) and applies it: the log directory, the timing switch, the adapted source.
// What is wrong with the file is printed on standard error, one line each; it never stops the load.
void ReadModuleSettings(const char* modulePath);

// Has the wrapped module make the process's operator: through its adapting factory when the
// settings name an adapted source, else through `factory`.
void CreateOperator(void* module, CreateCorvaleFn factory, const char* moduleFileName);

// The source whose triplets this load traces: the adapted source the settings name, else the
// wrapped source itself.
const char* TracedSourcePath();
