// Loading a data source module with the dynamic loader, and the TWAIN 2 Source Manager's duties:
// its own calls, the entry points, and the source's messages delivered to the application.
#include "DataSource.h"

#include <dlfcn.h>

#include "FixedCode.h"
#include "HandleHeap.h"
#include "Transcript.h"

namespace {

CDataSource* g_manager = nullptr;

TW_UINT16 ManagerEntry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                       TW_MEMREF pData) {
    return g_manager != nullptr ? g_manager->FromSource(pOrigin, pDest, DG, DAT, MSG, pData) : TWRC_FAILURE;
}

// The Source Manager's memory functions are the platform's, here the shared heap's.
TW_HANDLE ManagerAllocate(TW_UINT32 size) { return handleheap::NewHandle(size); }
void ManagerFree(TW_HANDLE handle) { handleheap::DisposeHandle(handle); }
TW_MEMREF ManagerLock(TW_HANDLE handle) { return handleheap::Lock(handle); }
void ManagerUnlock(TW_HANDLE handle) { handleheap::Unlock(handle); }

bool Is(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_UINT32 wantDg, TW_UINT16 wantDat, TW_UINT16 wantMsg) {
    return dg == wantDg && dat == wantDat && msg == wantMsg;
}

}  // namespace

CDataSource::~CDataSource() {
    Unload();
    if (g_manager == this) g_manager = nullptr;
    handleheap::DisposeBlock(m_entryPoints);
}

bool CDataSource::Load(const std::string& path) {
    // As the Linux Source Manager loads a source: lazily, and reaching only DS_Entry.
    m_module = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (m_module == nullptr) {
        const char* reason = dlerror();
        m_error = "cannot load the data source module " + path + ": " + (reason != nullptr ? reason : "unknown reason");
        return false;
    }
    m_entry = reinterpret_cast<DSENTRYPROC>(dlsym(m_module, "DS_Entry"));
    if (m_entry == nullptr) {
        m_error = path + " is not a data source: it exports no DS_Entry";
        Unload();
        return false;
    }
    return true;
}

void CDataSource::Unload() {
    if (m_module != nullptr) dlclose(m_module);
    m_module = nullptr;
    m_entry = nullptr;
}

// The entry points go through fixed-address stubs so that the addresses the source is given (and
// a trace shows) are the same on every run.
bool CDataSource::PlayTwain2Manager() {
    if (m_entryPoints == nullptr) m_entryPoints = static_cast<TW_ENTRYPOINT*>(handleheap::NewBlock(sizeof(TW_ENTRYPOINT)));
    if (m_entryPoints == nullptr) return false;
    m_entryPoints->Size = sizeof(TW_ENTRYPOINT);
    m_entryPoints->DSM_Entry = FixedCode(ManagerEntry);
    m_entryPoints->DSM_MemAllocate = FixedCode(ManagerAllocate);
    m_entryPoints->DSM_MemFree = FixedCode(ManagerFree);
    m_entryPoints->DSM_MemLock = FixedCode(ManagerLock);
    m_entryPoints->DSM_MemUnlock = FixedCode(ManagerUnlock);
    if (m_entryPoints->DSM_Entry == nullptr || m_entryPoints->DSM_MemAllocate == nullptr ||
        m_entryPoints->DSM_MemFree == nullptr || m_entryPoints->DSM_MemLock == nullptr ||
        m_entryPoints->DSM_MemUnlock == nullptr)
        return false;
    m_given = *m_entryPoints;
    m_twain2 = true;
    g_manager = this;
    return true;
}

TW_UINT16 CDataSource::Call(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (!m_twain2) return Forward(origin, dg, dat, msg, data);
    TW_UINT16 rc;
    if (AnswerOwnCall(origin, dg, dat, msg, data, &rc)) return rc;
    const bool opening = Is(dg, dat, msg, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS) && data != nullptr;
    // As the Linux Source Manager does: a source that says it is a TWAIN 2 one gets the entry
    // points just before it is opened, whatever it answers. A second MSG_OPENDS is passed on alone,
    // for the source to refuse.
    if (opening && !m_sourceOpen && (static_cast<TW_IDENTITY*>(data)->SupportedGroups & DF_DS2) != 0)
        Forward(origin, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, m_entryPoints);
    rc = Forward(origin, dg, dat, msg, data);
    if (opening && rc == TWRC_SUCCESS) {
        m_sourceId = static_cast<TW_IDENTITY*>(data)->Id;
        m_sourceOpen = true;
    } else if (Is(dg, dat, msg, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS) && rc == TWRC_SUCCESS) {
        m_sourceOpen = false;
        m_callback = {};
    }
    return rc;
}

TW_UINT16 CDataSource::Forward(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    ++m_calls;
    const int call = m_calls;
    const bool outer = !m_inCall;
    m_inCall = true;
    const TW_UINT16 rc = m_entry(origin, dg, dat, msg, data);
    if (outer) m_inCall = false;
    if (rc == TWRC_FAILURE) ++m_failures;
    if (m_transcript != nullptr) {
        if (dat == DAT_ENTRYPOINT && data == m_entryPoints)
            WriteEntryPointsLine(m_transcript, call, dg, dat, msg, m_entryPoints, m_given, rc);
        else
            WriteTranscriptLine(m_transcript, call, dg, dat, msg, data, rc);
    }
    return rc;
}

// The calls a Source Manager answers itself rather than passing them to the source: opening and
// closing the Source Manager (it marks a TWAIN 2 application's identity as it opens), and the
// application's callback, which the source never sees.
bool CDataSource::AnswerOwnCall(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                                TW_UINT16* rc) {
    if (Is(dg, dat, msg, DG_CONTROL, DAT_PARENT, MSG_OPENDSM)) {
        if (origin == nullptr) {
            *rc = TWRC_FAILURE;
            return true;
        }
        if ((origin->SupportedGroups & DF_APP2) != 0) origin->SupportedGroups |= DF_DSM2;
        m_applicationId = origin->Id;
        *rc = TWRC_SUCCESS;
        return true;
    }
    if (Is(dg, dat, msg, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM)) {
        *rc = m_sourceOpen ? TWRC_FAILURE : TWRC_SUCCESS;
        return true;
    }
    if (Is(dg, dat, msg, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK)) {
        const TW_CALLBACK* callback = static_cast<const TW_CALLBACK*>(data);
        const bool fine = m_sourceOpen && callback != nullptr && callback->CallBackProc != nullptr;
        if (fine) m_callback = *callback;
        *rc = fine ? TWRC_SUCCESS : TWRC_FAILURE;
        return true;
    }
    return false;
}

TW_UINT16 CDataSource::FromSource(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat,
                                  TW_UINT16 msg, TW_MEMREF data) {
    ++m_sourceMessages;
    const int number = m_sourceMessages;
    const int call = m_calls;
    const bool inCall = m_inCall;
    const TW_UINT16 rc = Deliver(origin, destination, dg, dat, msg, data);
    if (m_transcript != nullptr)
        WriteSourceMessageLine(m_transcript, number, call, inCall, origin, destination, dg, dat, msg, data, rc);
    return rc;
}

// A message for the application from the source it opened goes to the application's callback at
// once, from within whatever the source is doing; the application decides when to act on it.
TW_UINT16 CDataSource::Deliver(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat,
                               TW_UINT16 msg, TW_MEMREF data) {
    const bool message = msg == MSG_XFERREADY || msg == MSG_CLOSEDSREQ || msg == MSG_CLOSEDSOK || msg == MSG_DEVICEEVENT;
    if (dg != DG_CONTROL || dat != DAT_NULL || !message) return TWRC_FAILURE;
    if (origin == nullptr || destination == nullptr || !m_sourceOpen || origin->Id != m_sourceId ||
        destination->Id != m_applicationId || m_callback.CallBackProc == nullptr)
        return TWRC_FAILURE;
    const DSMENTRYPROC callback = reinterpret_cast<DSMENTRYPROC>(m_callback.CallBackProc);
    return callback(origin, destination, dg, dat, msg, data);
}
