// A TWAIN 1.x data source of the old kind: it reaches the Source Manager through DSM_Entry imported
// from TWAIN_32.DLL, and tells the application a page is ready from inside MSG_ENABLEDS. It
// answers its identity, opening and closing, the user interface, DAT_STATUS and the end of the
// transfers; it refuses everything else with TWCC_BADPROTOCOL.
#include <cstring>

#include "tracewell/twain.h"
#include "tracewell/twain_values.h"

extern "C" __declspec(dllimport) TW_UINT16 TW_CALLINGCONV DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest,
                                                                    TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                                    TW_MEMREF pData);

namespace {

TW_IDENTITY g_self = {};
TW_IDENTITY g_application = {};
TW_UINT16 g_condition = TWCC_SUCCESS;

void Describe(TW_IDENTITY* identity) {
    const TW_ID id = identity->Id;
    memset(identity, 0, sizeof(*identity));
    identity->Id = id;
    identity->ProtocolMajor = 1;
    identity->ProtocolMinor = 9;
    identity->SupportedGroups = DG_CONTROL | DG_IMAGE;
    strcpy(identity->ProductName, "Oldco Legacy");
}

TW_UINT16 Refuse(TW_UINT16 condition) { return g_condition = condition, TWRC_FAILURE; }

}  // namespace

extern "C" __declspec(dllexport) TW_UINT16 TW_CALLINGCONV DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                                                   TW_UINT16 MSG, TW_MEMREF pData) {
    if (DG == DG_CONTROL && DAT == DAT_STATUS && MSG == MSG_GET && pData != nullptr) {
        static_cast<TW_STATUS*>(pData)->ConditionCode = g_condition;
        g_condition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    g_condition = TWCC_SUCCESS;
    if (DG == DG_CONTROL && DAT == DAT_IDENTITY && pData != nullptr) {
        TW_IDENTITY* identity = static_cast<TW_IDENTITY*>(pData);
        if (MSG == MSG_GET || MSG == MSG_OPENDS) Describe(identity);
        if (MSG == MSG_OPENDS) {
            g_self = *identity;
            if (pOrigin != nullptr) g_application = *pOrigin;
        }
        if (MSG == MSG_GET || MSG == MSG_OPENDS || MSG == MSG_CLOSEDS) return TWRC_SUCCESS;
    }
    if (DG == DG_CONTROL && DAT == DAT_USERINTERFACE && MSG == MSG_ENABLEDS)
        return DSM_Entry(&g_self, &g_application, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr) == TWRC_SUCCESS
                   ? TWRC_SUCCESS
                   : Refuse(TWCC_BUMMER);
    if (DG == DG_CONTROL && DAT == DAT_USERINTERFACE && MSG == MSG_DISABLEDS) return TWRC_SUCCESS;
    if (DG == DG_CONTROL && DAT == DAT_PENDINGXFERS && pData != nullptr) {
        static_cast<TW_PENDINGXFERS*>(pData)->Count = 0;
        return TWRC_SUCCESS;
    }
    return Refuse(TWCC_BADPROTOCOL);
}
