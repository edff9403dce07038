// The smallest standard data source: DS_Entry answers every triplet with success and writes one
// field, so that a benchmark measures the hops in front of it and not the source's own work.
#include "tracewell/TripletOperator.h"
#include "tracewell/twain_values.h"

TRACEWELL_SOURCE_EXPORT TW_UINT16 DS_Entry(TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF pData) {
    if (pData != nullptr) static_cast<TW_CAPABILITY*>(pData)->ConType = TWON_ONEVALUE;
    return TWRC_SUCCESS;
}
