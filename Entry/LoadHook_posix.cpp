// When the sequences run on a POSIX system: the load sequence from the module's constructor, the
// unload sequence when the dynamic loader unloads the module (or the process exits).
#include "DSEntry.h"

extern "C" void* __dso_handle;
extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* dso);

static void RunTermination(void*) { MachO_Termination(); }

// The analyzer is constant-initialised before any code of the module runs; then the load
// sequence, then the unload sequence is tied to this module.
__attribute__((constructor)) static void LoadSequence() {
    MachO_Initialization();
    __cxa_atexit(RunTermination, nullptr, &__dso_handle);
}
