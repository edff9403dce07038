// The virtual scanner's triplet operator: a table of the triplets it answers, each allowed in a
// range of TWAIN states, and the session state that the triplets move through. Given the Source
// Manager's entry points (DAT_ENTRYPOINT) and opened by a TWAIN 2 application through it, it
// behaves as a TWAIN 2 source: it sends its messages to the application through DSM_Entry instead
// of answering events with them.
#pragma once

#include "Capabilities.h"
#include "Device.h"
#include "tracewell/TripletOperator.h"

class CCorvaleScanner : public CTripletOperator {
public:
    TW_UINT16 OperateTriplet(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                             TW_MEMREF pData) override;
    int Release() override;

private:
    // The TWAIN states the source itself goes through.
    enum State { kLoaded = 3, kOpen = 4, kEnabled = 5, kTransferReady = 6, kTransferring = 7 };

    using Handler = TW_UINT16 (CCorvaleScanner::*)(TW_IDENTITY* origin, TW_MEMREF data);
    struct Route {
        TW_UINT32 dg;
        TW_UINT16 dat;
        TW_UINT16 msg;
        State first;  // the states in which the triplet is allowed
        State last;
        bool needsData;
        Handler handler;
    };
    static const Route kRoutes[];

    const Route* FindRoute(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) const;
    TW_UINT16 Fail(TW_UINT16 condition);
    TW_UINT16 Outcome(TW_UINT16 condition);
    TW_UINT16 Negotiate(TW_UINT16 msg, TW_MEMREF data);

    TW_UINT16 OpenDsm(TW_IDENTITY*, TW_MEMREF);
    TW_UINT16 CloseDsm(TW_IDENTITY*, TW_MEMREF);
    TW_UINT16 SetEntryPoints(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 GetIdentity(TW_IDENTITY* origin, TW_MEMREF data);
    TW_UINT16 OpenDs(TW_IDENTITY* origin, TW_MEMREF data);
    TW_UINT16 CloseDs(TW_IDENTITY*, TW_MEMREF);
    TW_UINT16 GetStatus(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 CapabilityGet(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 CapabilityGetCurrent(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 CapabilityGetDefault(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 CapabilitySet(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 CapabilityReset(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 CapabilityQuerySupport(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 EnableDs(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 EnableDsUiOnly(TW_IDENTITY*, TW_MEMREF);
    TW_UINT16 DisableDs(TW_IDENTITY*, TW_MEMREF);
    TW_UINT16 ProcessEvent(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 GetSetupMemXfer(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 GetPendingXfers(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 EndXfer(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 ResetPendingXfers(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 GetImageInfo(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 GetImageLayout(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 SetImageLayout(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 ResetImageLayout(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 TransferMemory(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 TransferNative(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 GetHardwareInfo(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 GetAutoExposure(TW_IDENTITY*, TW_MEMREF data);
    TW_UINT16 GetUsmInfo(TW_IDENTITY*, TW_MEMREF data);

    bool TransfersBy(TW_UINT16 mechanism) const;
    bool MessagesThroughManager() const { return m_messagesThroughManager; }
    void SendToApplication(TW_UINT16 msg);

    State m_state = kLoaded;
    TW_UINT16 m_condition = TWCC_SUCCESS;
    TW_IDENTITY m_application = {};  // who opened the source
    TW_IDENTITY m_self = {};         // the source as it was opened, with the Id it was given
    TW_ENTRYPOINT m_manager = {};    // the Source Manager's entry points; DSM_Entry null without them
    bool m_messagesThroughManager = false;  // fixed at MSG_OPENDS
    CCapabilities m_capabilities;

    // The scan in progress, fixed at MSG_ENABLEDS.
    ImageGeometry m_geometry = {};
    TW_INT16 m_pending = 0;        // pages still to transfer, the current one included
    int m_page = 0;                // pages transferred so far
    int m_eventsUntilReady = 0;    // MSG_PROCESSEVENT calls before the first page is ready
    TW_INT32 m_nextRow = 0;        // first row of the next memory strip
    bool m_pageDone = false;       // the current page has been transferred in full
    bool m_showUI = false;         // the application asked for the scanner's window
    bool m_uiOnly = false;         // the window is shown for settings only: no scan
    bool m_closeRequested = false;  // its window was closed after the last page; not yet told
};
