// Memory services on the platform's relocatable blocks.
#include "DSMInterface.h"

#include "Platform/Platform.h"

TW_HANDLE CDSMInterface::AllocMemory(TW_UINT32 size) { return NewHandleClear(size); }

void CDSMInterface::FreeMemory(TW_HANDLE handle) { DisposeHandle(handle); }

TW_MEMREF CDSMInterface::LockMemory(TW_HANDLE handle) { return HLock(handle); }

void CDSMInterface::UnlockMemory(TW_HANDLE handle) { HUnlock(handle); }

TW_UINT16 CDSMInterface::NotifyRequest(TW_UINT16, TW_IDENTITY, TW_IDENTITY) { return 0; }
