// A stand-in for the TWAIN 1.x Source Manager library, TWAIN_32.DLL, that a legacy source imports
// DSM_Entry from. Nothing should reach it once the Source Manager has redirected the import: it
// refuses every call.
#include "tracewell/twain.h"

extern "C" TW_UINT16 TW_CALLINGCONV DSM_Entry(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16,
                                                                    TW_UINT16, TW_MEMREF) {
    return TWRC_FAILURE;
}
