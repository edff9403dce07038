// The triplets the virtual scanner answers and how each moves the session along.
#include "Scanner.h"

#include <algorithm>
#include <cstring>

#include "SourceMemory.h"
#include "TwainExtras.h"

namespace {

constexpr TW_UINT32 kPreferredBuffer = 320 * 1024;
constexpr TW_UINT32 kLargestBuffer = 1024 * 1024;
constexpr int kEventsBeforeFirstPage = 2;  // the lamp warms up for a moment after MSG_ENABLEDS

template <typename T>
T* As(TW_MEMREF data) {
    return static_cast<T*>(data);
}

}  // namespace

using S = CCorvaleScanner;

const S::Route S::kRoutes[] = {
    {DG_CONTROL, DAT_PARENT, MSG_OPENDSM, kLoaded, kLoaded, false, &S::OpenDsm},
    {DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, kLoaded, kLoaded, false, &S::CloseDsm},
    {DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, kLoaded, kLoaded, true, &S::SetEntryPoints},
    {DG_CONTROL, DAT_IDENTITY, MSG_GET, kLoaded, kTransferring, true, &S::GetIdentity},
    {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, kLoaded, kLoaded, true, &S::OpenDs},
    {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, kOpen, kOpen, false, &S::CloseDs},
    {DG_CONTROL, DAT_STATUS, MSG_GET, kLoaded, kTransferring, true, &S::GetStatus},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET, kOpen, kTransferring, true, &S::CapabilityGet},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, kOpen, kTransferring, true, &S::CapabilityGetCurrent},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT, kOpen, kTransferring, true, &S::CapabilityGetDefault},
    {DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, kOpen, kTransferring, true, &S::CapabilityQuerySupport},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET, kOpen, kOpen, true, &S::CapabilitySet},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, kOpen, kOpen, true, &S::CapabilityReset},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, kOpen, kOpen, true, &S::EnableDs},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, kOpen, kOpen, true, &S::EnableDsUiOnly},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, kEnabled, kEnabled, true, &S::DisableDs},
    {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, kEnabled, kTransferring, true, &S::ProcessEvent},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, kOpen, kTransferReady, true, &S::GetSetupMemXfer},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, kOpen, kTransferring, true, &S::GetPendingXfers},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, kTransferReady, kTransferring, true, &S::EndXfer},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, kTransferReady, kTransferReady, true, &S::ResetPendingXfers},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, kTransferReady, kTransferring, true, &S::GetImageInfo},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, kOpen, kTransferring, true, &S::GetImageLayout},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, kOpen, kOpen, true, &S::SetImageLayout},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, kOpen, kOpen, true, &S::ResetImageLayout},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, kTransferReady, kTransferring, true, &S::TransferMemory},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, kTransferReady, kTransferReady, true, &S::TransferNative},
    {DG_CONTROL, DAT_KV_HARDWAREINFO, MSG_GET, kOpen, kTransferring, true, &S::GetHardwareInfo},
    {DG_IMAGE, DAT_KV_AUTOEXPOSURE, MSG_GET, kOpen, kOpen, true, &S::GetAutoExposure},
    {DG_IMAGE, DAT_KV_USMINFO, MSG_GET, kOpen, kOpen, true, &S::GetUsmInfo},
};

TW_UINT16 S::OperateTriplet(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    // The condition code describes the call before; only DAT_STATUS reads it rather than replacing it.
    if (DAT != DAT_STATUS) m_condition = TWCC_SUCCESS;
    const Route* route = FindRoute(DG, DAT, MSG);
    if (route == nullptr) return Fail(TWCC_BADPROTOCOL);
    if (m_state < route->first || m_state > route->last) return Fail(TWCC_SEQERROR);
    if (route->needsData && pData == nullptr) return Fail(TWCC_BADVALUE);
    return (this->*route->handler)(pOrigin, pData);
}

int S::Release() {
    if (m_manager.DSM_Entry != nullptr) sourcememory::Use(nullptr);
    delete this;
    return 0;
}

const S::Route* S::FindRoute(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) const {
    for (const Route& route : kRoutes) {
        if (route.dg == dg && route.dat == dat && route.msg == msg) return &route;
    }
    return nullptr;
}

TW_UINT16 S::Fail(TW_UINT16 condition) {
    m_condition = condition;
    return TWRC_FAILURE;
}

TW_UINT16 S::Outcome(TW_UINT16 condition) { return condition == TWCC_SUCCESS ? TWRC_SUCCESS : Fail(condition); }

// The Source Manager tells the source which application window it serves; nothing to keep.
TW_UINT16 S::OpenDsm(TW_IDENTITY*, TW_MEMREF) { return TWRC_SUCCESS; }

TW_UINT16 S::CloseDsm(TW_IDENTITY*, TW_MEMREF) { return TWRC_SUCCESS; }

namespace {

// A TWAIN 2 Source Manager marks the application's identity as it opens; only to such a one does
// the scanner present itself as a TWAIN 2 source.
bool ThroughTwain2Manager(const TW_IDENTITY* origin) {
    return origin != nullptr && (origin->SupportedGroups & DF_DSM2) != 0;
}

}  // namespace

// The Source Manager's DSM_Entry and memory functions, kept for as long as the source is loaded;
// the containers and images the scanner hands out come from them from now on.
TW_UINT16 S::SetEntryPoints(TW_IDENTITY*, TW_MEMREF data) {
    const TW_ENTRYPOINT* entryPoints = As<TW_ENTRYPOINT>(data);
    if (entryPoints->Size < sizeof(TW_ENTRYPOINT) || entryPoints->DSM_Entry == nullptr ||
        entryPoints->DSM_MemAllocate == nullptr || entryPoints->DSM_MemFree == nullptr ||
        entryPoints->DSM_MemLock == nullptr || entryPoints->DSM_MemUnlock == nullptr)
        return Fail(TWCC_BADVALUE);
    memcpy(&m_manager, entryPoints, sizeof(m_manager));
    m_manager.Size = sizeof(m_manager);
    sourcememory::Use(&m_manager);
    return TWRC_SUCCESS;
}

TW_UINT16 S::GetIdentity(TW_IDENTITY* origin, TW_MEMREF data) {
    FillIdentity(As<TW_IDENTITY>(data), ThroughTwain2Manager(origin));
    return TWRC_SUCCESS;
}

TW_UINT16 S::OpenDs(TW_IDENTITY* origin, TW_MEMREF data) {
    FillIdentity(As<TW_IDENTITY>(data), ThroughTwain2Manager(origin));
    memcpy(&m_self, data, sizeof(m_self));
    if (origin != nullptr) memcpy(&m_application, origin, sizeof(m_application));
    // An application the Source Manager did not mark as a TWAIN 2 one learns of pages from events.
    m_messagesThroughManager = m_manager.DSM_Entry != nullptr && ThroughTwain2Manager(origin);
    m_state = kOpen;
    return TWRC_SUCCESS;
}

// The application learns of a page or of the closed window from the Source Manager, which the
// source tells through DSM_Entry: from itself to the application that opened it.
void S::SendToApplication(TW_UINT16 msg) {
    m_manager.DSM_Entry(&m_self, &m_application, DG_CONTROL, DAT_NULL, msg, nullptr);
}

// Closing forgets the negotiation: the next session starts from the defaults.
TW_UINT16 S::CloseDs(TW_IDENTITY*, TW_MEMREF) {
    m_capabilities = CCapabilities();
    m_state = kLoaded;
    return TWRC_SUCCESS;
}

TW_UINT16 S::GetStatus(TW_IDENTITY*, TW_MEMREF data) {
    TW_STATUS* status = As<TW_STATUS>(data);
    status->ConditionCode = m_condition;
    status->Reserved = 0;
    m_condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
}

TW_UINT16 S::Negotiate(TW_UINT16 msg, TW_MEMREF data) {
    return Outcome(m_capabilities.Negotiate(msg, As<TW_CAPABILITY>(data)));
}

TW_UINT16 S::CapabilityGet(TW_IDENTITY*, TW_MEMREF data) { return Negotiate(MSG_GET, data); }
TW_UINT16 S::CapabilityGetCurrent(TW_IDENTITY*, TW_MEMREF data) { return Negotiate(MSG_GETCURRENT, data); }
TW_UINT16 S::CapabilityGetDefault(TW_IDENTITY*, TW_MEMREF data) { return Negotiate(MSG_GETDEFAULT, data); }
TW_UINT16 S::CapabilitySet(TW_IDENTITY*, TW_MEMREF data) { return Negotiate(MSG_SET, data); }
TW_UINT16 S::CapabilityReset(TW_IDENTITY*, TW_MEMREF data) { return Negotiate(MSG_RESET, data); }
TW_UINT16 S::CapabilityQuerySupport(TW_IDENTITY*, TW_MEMREF data) { return Negotiate(MSG_QUERYSUPPORT, data); }

// The scanner has no window of its own. Answering events, it ignores ShowUI and scans as soon as
// the lamp is warm. As a TWAIN 2 source without its window it scans at once and tells the
// application before MSG_ENABLEDS returns; with its window shown, the user starts the scan while
// the application waits (the second event it passes), and closes the window after the last page.
// The feeder holds a few sheets; the flatbed one.
TW_UINT16 S::EnableDs(TW_IDENTITY*, TW_MEMREF data) {
    const TW_INT16 sheets = m_capabilities.Current<TW_BOOL>(CAP_FEEDERENABLED) != 0 ? kFeederSheets : 1;
    const TW_INT16 wanted = m_capabilities.Current<TW_INT16>(CAP_XFERCOUNT);
    m_geometry = GeometryOf(m_capabilities);
    m_pending = wanted == -1 ? sheets : std::min(wanted, sheets);
    m_page = 0;
    m_nextRow = 0;
    m_pageDone = false;
    m_eventsUntilReady = kEventsBeforeFirstPage;
    m_showUI = As<TW_USERINTERFACE>(data)->ShowUI != 0;
    m_closeRequested = false;
    m_state = kEnabled;
    if (MessagesThroughManager() && !m_showUI) {
        m_eventsUntilReady = 0;
        m_state = kTransferReady;
        SendToApplication(MSG_XFERREADY);
    }
    return TWRC_SUCCESS;
}

// The window for the settings alone: the user presses OK while the application waits (the second
// event it passes).
TW_UINT16 S::EnableDsUiOnly(TW_IDENTITY*, TW_MEMREF) {
    m_pending = 0;
    m_eventsUntilReady = kEventsBeforeFirstPage;
    m_showUI = true;
    m_uiOnly = true;
    m_closeRequested = false;
    m_state = kEnabled;
    return TWRC_SUCCESS;
}

TW_UINT16 S::DisableDs(TW_IDENTITY*, TW_MEMREF) {
    m_uiOnly = false;
    m_pending = 0;
    m_eventsUntilReady = 0;
    m_closeRequested = false;
    m_state = kOpen;
    return TWRC_SUCCESS;
}

TW_UINT16 S::ProcessEvent(TW_IDENTITY*, TW_MEMREF data) {
    TW_EVENT* event = As<TW_EVENT>(data);
    event->TWMessage = MSG_NULL;
    if (m_state != kEnabled) return TWRC_NOTDSEVENT;
    if (m_closeRequested && MessagesThroughManager()) {
        m_closeRequested = false;
        SendToApplication(MSG_CLOSEDSREQ);
        return TWRC_NOTDSEVENT;
    }
    if (m_eventsUntilReady == 0 || --m_eventsUntilReady > 0) return TWRC_NOTDSEVENT;
    if (m_uiOnly) {
        if (!MessagesThroughManager()) {
            event->TWMessage = MSG_CLOSEDSOK;
            return TWRC_DSEVENT;
        }
        SendToApplication(MSG_CLOSEDSOK);
        return TWRC_NOTDSEVENT;
    }
    m_state = kTransferReady;
    if (MessagesThroughManager()) {
        SendToApplication(MSG_XFERREADY);
        return TWRC_NOTDSEVENT;
    }
    event->TWMessage = MSG_XFERREADY;
    return TWRC_DSEVENT;
}

TW_UINT16 S::GetSetupMemXfer(TW_IDENTITY*, TW_MEMREF data) {
    const ImageGeometry geometry = m_state >= kEnabled ? m_geometry : GeometryOf(m_capabilities);
    TW_SETUPMEMXFER* setup = As<TW_SETUPMEMXFER>(data);
    setup->MinBufSize = geometry.bytesPerRow;
    setup->MaxBufSize = std::max(kLargestBuffer, geometry.bytesPerRow);
    setup->Preferred = std::max(kPreferredBuffer, geometry.bytesPerRow);
    return TWRC_SUCCESS;
}

TW_UINT16 S::GetPendingXfers(TW_IDENTITY*, TW_MEMREF data) {
    TW_PENDINGXFERS* pending = As<TW_PENDINGXFERS>(data);
    pending->Count = static_cast<TW_UINT16>(m_state >= kTransferReady ? m_pending : 0);
    pending->EOJ = 0;
    return TWRC_SUCCESS;
}

// Ends the current page, transferred or not: the next one is ready at once, or the scan is over.
TW_UINT16 S::EndXfer(TW_IDENTITY*, TW_MEMREF data) {
    --m_pending;
    ++m_page;
    m_nextRow = 0;
    m_pageDone = false;
    m_state = m_pending > 0 ? kTransferReady : kEnabled;
    m_closeRequested = m_pending == 0 && m_showUI && MessagesThroughManager();
    return GetPendingXfers(nullptr, data);
}

TW_UINT16 S::ResetPendingXfers(TW_IDENTITY*, TW_MEMREF data) {
    m_pending = 0;
    m_state = kEnabled;
    return GetPendingXfers(nullptr, data);
}

TW_UINT16 S::GetImageInfo(TW_IDENTITY*, TW_MEMREF data) {
    FillImageInfo(m_geometry, As<TW_IMAGEINFO>(data));
    return TWRC_SUCCESS;
}

TW_UINT16 S::GetImageLayout(TW_IDENTITY*, TW_MEMREF data) {
    TW_IMAGELAYOUT* layout = As<TW_IMAGELAYOUT>(data);
    layout->Frame = m_state >= kEnabled ? m_geometry.frame : m_capabilities.Current<TW_FRAME>(ICAP_FRAMES);
    layout->DocumentNumber = 1;
    layout->PageNumber = static_cast<TW_UINT32>(m_page + 1);
    layout->FrameNumber = 1;
    return TWRC_SUCCESS;
}

TW_UINT16 S::SetImageLayout(TW_IDENTITY*, TW_MEMREF data) {
    CapItem frame;
    memcpy(frame.bytes, &As<TW_IMAGELAYOUT>(data)->Frame, sizeof(TW_FRAME));
    return Outcome(m_capabilities.Store(ICAP_FRAMES, frame));
}

TW_UINT16 S::ResetImageLayout(TW_IDENTITY*, TW_MEMREF data) {
    m_capabilities.Restore(ICAP_FRAMES);
    return GetImageLayout(nullptr, data);
}

bool S::TransfersBy(TW_UINT16 mechanism) const {
    return m_capabilities.Current<TW_UINT16>(ICAP_XFERMECH) == mechanism;
}

// One strip of rows into the application's buffer; the last strip of the page ends with XFERDONE.
TW_UINT16 S::TransferMemory(TW_IDENTITY*, TW_MEMREF data) {
    if (!TransfersBy(TWSX_MEMORY) || m_pageDone) return Fail(TWCC_SEQERROR);
    TW_IMAGEMEMXFER* xfer = As<TW_IMAGEMEMXFER>(data);
    const bool byHandle = (xfer->Memory.Flags & twext::TWMF_HANDLE) != 0;
    TW_HANDLE handle = static_cast<TW_HANDLE>(xfer->Memory.TheMem);
    TW_UINT8* buffer = static_cast<TW_UINT8*>(byHandle ? sourcememory::Lock(handle) : xfer->Memory.TheMem);
    const TW_UINT32 rowsThatFit = xfer->Memory.Length / m_geometry.bytesPerRow;
    if (buffer == nullptr || rowsThatFit == 0) return Fail(TWCC_BADVALUE);

    const TW_INT32 rows = std::min(static_cast<TW_INT32>(rowsThatFit), m_geometry.length - m_nextRow);
    RenderRows(m_geometry, m_page, m_nextRow, rows, buffer);
    if (byHandle) sourcememory::Unlock(handle);
    xfer->Compression = TWCP_NONE;
    xfer->BytesPerRow = m_geometry.bytesPerRow;
    xfer->Columns = static_cast<TW_UINT32>(m_geometry.width);
    xfer->Rows = static_cast<TW_UINT32>(rows);
    xfer->XOffset = 0;
    xfer->YOffset = static_cast<TW_UINT32>(m_nextRow);
    xfer->BytesWritten = static_cast<TW_UINT32>(rows) * m_geometry.bytesPerRow;
    m_nextRow += rows;
    m_state = kTransferring;
    if (m_nextRow < m_geometry.length) return TWRC_SUCCESS;
    m_pageDone = true;
    return TWRC_XFERDONE;
}

// The whole page in one new handle: a CorvaleNativeImage header followed by the rows.
TW_UINT16 S::TransferNative(TW_IDENTITY*, TW_MEMREF data) {
    if (!TransfersBy(TWSX_NATIVE)) return Fail(TWCC_SEQERROR);
    const size_t bytes = size_t(m_geometry.bytesPerRow) * size_t(m_geometry.length);
    TW_HANDLE handle = sourcememory::Allocate(sizeof(CorvaleNativeImage) + bytes);
    if (handle == nullptr) return Fail(TWCC_LOWMEMORY);
    CorvaleNativeImage* image = static_cast<CorvaleNativeImage*>(sourcememory::Lock(handle));
    image->width = static_cast<TW_UINT32>(m_geometry.width);
    image->length = static_cast<TW_UINT32>(m_geometry.length);
    image->bitsPerPixel = static_cast<TW_UINT32>(m_geometry.BitsPerPixel());
    image->bytesPerRow = m_geometry.bytesPerRow;
    RenderRows(m_geometry, m_page, 0, m_geometry.length, reinterpret_cast<TW_UINT8*>(image + 1));
    sourcememory::Unlock(handle);
    *As<TW_HANDLE>(data) = handle;
    m_pageDone = true;
    m_state = kTransferring;
    return TWRC_XFERDONE;
}

TW_UINT16 S::GetHardwareInfo(TW_IDENTITY*, TW_MEMREF data) {
    FillHardwareInfo(As<TWKV_HARDWAREINFO>(data));
    return TWRC_SUCCESS;
}

TW_UINT16 S::GetAutoExposure(TW_IDENTITY*, TW_MEMREF data) {
    return Outcome(MeasureExposure(As<TWKV_AUTOEXPOSURE>(data)));
}

TW_UINT16 S::GetUsmInfo(TW_IDENTITY*, TW_MEMREF data) {
    const TW_UINT16 level = m_capabilities.Current<TW_UINT16>(ICAP_KV_UNSHARPMASKLEVEL);
    return Outcome(DescribeUnsharpMask(As<TWKV_USMINFO>(data), level));
}
