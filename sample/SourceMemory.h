// The memory the virtual scanner hands to the application (capability containers, native images)
// and reads from it: through the Source Manager's memory functions once DAT_ENTRYPOINT gave them,
// through the system's own handle memory until then.
#pragma once

#include <cstddef>

#include "tracewell/twain.h"

namespace sourcememory {

// The Source Manager's functions from now on; null goes back to the system's.
void Use(const TW_ENTRYPOINT* entryPoints);

TW_HANDLE Allocate(size_t size);
void* Lock(TW_HANDLE handle);
void Unlock(TW_HANDLE handle);

// The memory functions a source of this system uses without a Source Manager's: one file per
// system. Only the four memory functions are set.
const TW_ENTRYPOINT& SystemMemory();

}  // namespace sourcememory
