// Loading a data source module, finding sources in a folder as the Windows Source Manager does,
// and the TWAIN 2 Source Manager's duties: its own calls, the entry points, and the source's
// messages delivered to the application.
#include "DataSource.h"

#include <cstring>

#include "FixedCode.h"
#include "HandleHeap.h"
#include "HostMemory.h"
#include "HostSystem.h"
#include "Transcript.h"

namespace {

CDataSource* g_manager = nullptr;

TW_UINT16 TW_CALLINGCONV ManagerEntry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT,
                                      TW_UINT16 MSG, TW_MEMREF pData) {
    return g_manager != nullptr ? g_manager->FromSource(pOrigin, pDest, DG, DAT, MSG, pData) : TWRC_FAILURE;
}

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
    std::string reason;
    m_module = LoadSourceModule(path, &reason);
    if (m_module == nullptr) {
        m_error = "cannot load the data source module " + path + ": " + reason;
        return false;
    }
    m_entry = SourceEntry(m_module);
    if (m_entry == nullptr) {
        m_error = path + " is not a data source: it exports no DS_Entry";
        Unload();
        return false;
    }
    return true;
}

void CDataSource::Unload() {
    if (m_module != nullptr) FreeSourceModule(m_module);
    m_module = nullptr;
    m_entry = nullptr;
}

bool CDataSource::UseFolder(const std::string& folder) {
    m_folderSources = FindDataSources(folder);
    if (m_folderSources.empty()) {
        m_error = "no data source (*.ds) in " + folder;
        return false;
    }
    m_folder = folder;
    return true;
}

// As the Windows Source Manager builds its list when the application opens it: each source is
// loaded, asked who it is and freed again. A file that cannot be loaded or answers nothing is left
// out, as it is there.
void CDataSource::ListSources(TW_IDENTITY* origin) {
    m_list.clear();
    TW_IDENTITY* identity = static_cast<TW_IDENTITY*>(handleheap::NewBlock(sizeof(TW_IDENTITY)));
    if (identity == nullptr) return;
    for (const std::string& path : m_folderSources) {
        if (!Load(path)) continue;
        memset(identity, 0, sizeof(*identity));
        if (Forward(origin, DG_CONTROL, DAT_IDENTITY, MSG_GET, identity) == TWRC_SUCCESS)
            m_list.push_back({path, *identity});
        Unload();
    }
    handleheap::DisposeBlock(identity);
    m_error.clear();
}

const CDataSource::ListedSource* CDataSource::Listed(const TW_IDENTITY* wanted) const {
    for (const ListedSource& listed : m_list) {
        if (wanted == nullptr || wanted->ProductName[0] == '\0' ||
            strncmp(listed.identity.ProductName, wanted->ProductName, sizeof(wanted->ProductName)) == 0)
            return &listed;
    }
    return nullptr;
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
    RouteSourceCalls(ManagerEntry);
    return true;
}

TW_UINT16 CDataSource::Call(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (!m_twain2) return Forward(origin, dg, dat, msg, data);
    TW_UINT16 rc;
    if (AnswerOwnCall(origin, dg, dat, msg, data, &rc)) return rc;
    const bool opening = Is(dg, dat, msg, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS) && data != nullptr;
    if (!m_folder.empty() && !m_sourceOpen && !AnswerFromList(dg, dat, msg, data, &rc)) return rc;
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
        if (!m_folder.empty()) Unload();  // the Windows Source Manager frees a source once it is closed
    } else if (opening && !m_folder.empty() && !m_sourceOpen) {
        Unload();
    }
    return rc;
}

// A source found in the folder is loaded only while it is open. Before that the Source Manager
// answers for it from its list: its identity, and for anything else that no source is open.
// MSG_OPENDS loads the source the identity names (the first one listed when it names none).
// False when the call was answered here (*rc).
bool CDataSource::AnswerFromList(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, TW_UINT16* rc) {
    TW_IDENTITY* identity = static_cast<TW_IDENTITY*>(data);
    const ListedSource* listed = dat == DAT_IDENTITY && data != nullptr ? Listed(identity) : nullptr;
    if (Is(dg, dat, msg, DG_CONTROL, DAT_IDENTITY, MSG_GET) && listed != nullptr) {
        *identity = listed->identity;
        *rc = TWRC_SUCCESS;
        return false;
    }
    if (Is(dg, dat, msg, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS) && listed != nullptr && m_module == nullptr) {
        const TW_ID id = identity->Id;
        *identity = listed->identity;
        identity->Id = id;
        if (Load(listed->path)) {
            m_opened = *listed;
            return true;
        }
    }
    *rc = TWRC_FAILURE;
    return false;
}

TW_UINT16 CDataSource::Forward(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (m_entry == nullptr) return TWRC_FAILURE;
    ++m_calls;
    const int call = m_calls;
    const bool outer = !m_inCall;
    m_inCall = true;
    const TW_UINT16 rc = m_entry(origin, dg, dat, msg, data);
    if (outer) m_inCall = false;
    // What the source answered with is the application's from now on.
    if (dat == DAT_CAPABILITY && data != nullptr) ReceiveHandle(static_cast<TW_CAPABILITY*>(data)->hContainer);
    else if (dat == DAT_IMAGENATIVEXFER && data != nullptr) ReceiveHandle(*static_cast<TW_HANDLE*>(data));
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
        if (!m_folder.empty()) ListSources(origin);
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
