// Memory services on relocatable blocks (handles), offered to wrapped sources and used by the
// capability formatter to reach container memory.
#pragma once

#include "Common/Export.h"
#include "tracewell/twain.h"

class CDSMInterface {
public:
    TRACEWELL_EXPORT static TW_HANDLE AllocMemory(TW_UINT32 size);
    TRACEWELL_EXPORT static void FreeMemory(TW_HANDLE handle);
    TRACEWELL_EXPORT static TW_MEMREF LockMemory(TW_HANDLE handle);
    TRACEWELL_EXPORT static void UnlockMemory(TW_HANDLE handle);
    TRACEWELL_EXPORT static TW_UINT16 NotifyRequest(TW_UINT16 msg, TW_IDENTITY origin, TW_IDENTITY dest);
};
