// The virtual scanner as a standard TWAIN data source: DS_Entry in front of the operator that the
// module's own factory makes when the module is loaded and releases when it is unloaded.
#include "tracewell/TripletOperator.h"
#include "tracewell/twain_values.h"

extern "C" int CreateCorvale(const char* moduleFileName, CTripletOperator** operatorOut);

namespace {

CTripletOperator* g_scanner = nullptr;

__attribute__((constructor)) void MakeScanner() { CreateCorvale("corvale.ds", &g_scanner); }

__attribute__((destructor)) void ReleaseScanner() {
    if (g_scanner != nullptr) g_scanner->Release();
    g_scanner = nullptr;
}

}  // namespace

TRACEWELL_SOURCE_EXPORT TW_UINT16 TW_CALLINGCONV DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                                          TW_UINT16 MSG, TW_MEMREF pData) {
    return g_scanner != nullptr ? g_scanner->OperateTriplet(pOrigin, DG, DAT, MSG, pData) : TWRC_FAILURE;
}
