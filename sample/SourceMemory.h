// The memory the virtual scanner hands to the application (capability containers, native images)
// and reads from it: through the Source Manager's memory functions once DAT_ENTRYPOINT gave them,
// through the shared handle heap until then.
#pragma once

#include <cstddef>

#include "tracewell/twain.h"

namespace sourcememory {

// The Source Manager's functions from now on; null goes back to the shared heap.
void Use(const TW_ENTRYPOINT* entryPoints);

TW_HANDLE Allocate(size_t size);
void* Lock(TW_HANDLE handle);
void Unlock(TW_HANDLE handle);

}  // namespace sourcememory
