// The application's structures and its checked calls.
#include "Application.h"

#include <algorithm>
#include <cstring>

#include "HandleHeap.h"
#include "HostMemory.h"
#include "Names.h"
#include "TwainExtras.h"

namespace {

template <typename T>
T* NewStructure() {
    return static_cast<T*>(handleheap::NewBlock(sizeof(T)));
}

template <size_t N>
void CopyText(char (&field)[N], const char* text) {
    strncpy(field, text, N - 1);
}

void FillOwnIdentity(TW_IDENTITY* self) {
    self->Id = 1;
    self->Version.MajorNum = 1;
    self->Version.MinorNum = 0;
    self->Version.Language = static_cast<TW_UINT16>(TWLG_ENGLISH_USA);
    self->Version.Country = TWCY_USA;
    CopyText(self->Version.Info, "1.0 session host");
    self->ProtocolMajor = 1;
    self->ProtocolMinor = 9;
    self->SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyText(self->Manufacturer, "Tracewell");
    CopyText(self->ProductFamily, "Session host");
    CopyText(self->ProductName, "tracewell_host");
}

CApplication* g_twain2Application = nullptr;

TW_UINT16 TW_CALLINGCONV ApplicationCallback(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                              TW_MEMREF pData) {
    return g_twain2Application != nullptr ? g_twain2Application->Notify(pOrigin, pDest, DG, DAT, MSG, pData)
                                          : TWRC_FAILURE;
}

}  // namespace

size_t ItemBytes(TW_UINT16 itemType) {
    static const size_t kSizes[] = {1, 2, 4, 1, 2, 4, 2, 4, sizeof(TW_FRAME), 34, 66, 130, 256};
    return itemType < sizeof(kSizes) / sizeof(kSizes[0]) ? kSizes[itemType] : 0;
}

CApplication::CApplication(CDataSource& source)
    : m_dataSource(source),
      m_self(NewStructure<TW_IDENTITY>()),
      m_source(NewStructure<TW_IDENTITY>()),
      m_window(NewStructure<TW_HANDLE>()),
      m_windowRecord(handleheap::NewBlock(64)),
      m_eventRecord(handleheap::NewBlock(64)),
      m_capability(NewStructure<TW_CAPABILITY>()),
      m_status(NewStructure<TW_STATUS>()),
      m_userInterface(NewStructure<TW_USERINTERFACE>()),
      m_event(NewStructure<TW_EVENT>()),
      m_pending(NewStructure<TW_PENDINGXFERS>()),
      m_setupMemXfer(NewStructure<TW_SETUPMEMXFER>()),
      m_imageInfo(NewStructure<TW_IMAGEINFO>()),
      m_imageLayout(NewStructure<TW_IMAGELAYOUT>()),
      m_imageMemXfer(NewStructure<TW_IMAGEMEMXFER>()),
      m_nativeImage(NewStructure<TW_HANDLE>()),
      m_hardwareInfo(NewStructure<TWKV_HARDWAREINFO>()),
      m_autoExposure(NewStructure<TWKV_AUTOEXPOSURE>()),
      m_usmInfo(NewStructure<TWKV_USMINFO>()) {
    if (!Ready()) return;
    FillOwnIdentity(m_self);
    *m_window = reinterpret_cast<TW_HANDLE>(m_windowRecord);
}

CApplication::~CApplication() {
    if (g_twain2Application == this) g_twain2Application = nullptr;
    if (Ready()) ReleaseTransients();
}

void CApplication::BecomeTwain2() {
    m_twain2 = true;
    g_twain2Application = this;
    m_self->ProtocolMajor = 2;
    m_self->ProtocolMinor = 4;
    m_self->SupportedGroups |= DF_APP2;
}

void CApplication::AskForSource(const std::string& productName) {
    CopyText(m_source->ProductName, productName.c_str());
}

TW_CALLBACK* CApplication::Callback() {
    m_callback = {};
    m_callback.CallBackProc = reinterpret_cast<TW_MEMREF>(ApplicationCallback);
    return &m_callback;
}

TW_UINT16 CApplication::TakeMessage() {
    if (m_messages.empty()) return MSG_NULL;
    const TW_UINT16 msg = m_messages.front();
    m_messages.pop_front();
    return msg;
}

TW_UINT16 CApplication::Notify(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat,
                               TW_UINT16 msg, TW_MEMREF) {
    const bool known = msg == MSG_XFERREADY || msg == MSG_CLOSEDSREQ || msg == MSG_CLOSEDSOK || msg == MSG_DEVICEEVENT;
    if (origin == nullptr || origin->Id != m_source->Id || destination == nullptr || destination->Id != m_self->Id ||
        dg != DG_CONTROL || dat != DAT_NULL || !known) {
        m_unexpected.push_back("the callback was called with a message that is not the source's to this application");
        return TWRC_FAILURE;
    }
    if (msg != MSG_DEVICEEVENT) m_messages.push_back(msg);
    return TWRC_SUCCESS;
}

void CApplication::ReleaseTransients() {
    DisposeContainer();
    DisposeAnyHandle(*m_nativeImage);
    *m_nativeImage = nullptr;
    handleheap::DisposeBlock(m_stripBuffer);
    m_stripBuffer = nullptr;
    m_stripBufferSize = 0;
}

bool CApplication::Ready() const {
    const void* structures[] = {m_self,         m_source,       m_window,       m_windowRecord, m_eventRecord, m_capability,
                                m_status,       m_userInterface, m_event,       m_pending,     m_setupMemXfer,
                                m_imageInfo,    m_imageLayout,  m_imageMemXfer, m_nativeImage, m_hardwareInfo,
                                m_autoExposure, m_usmInfo};
    return std::all_of(std::begin(structures), std::end(structures), [](const void* p) { return p != nullptr; });
}

TW_UINT16 CApplication::Call(const std::string& what, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                             TW_UINT16 expected, TW_UINT16 condition) {
    const TW_UINT16 rc = m_dataSource.Call(m_self, dg, dat, msg, data);
    const TW_UINT16 cc = rc == TWRC_FAILURE ? ConditionCode() : TWCC_SUCCESS;
    if (expected != kAnyReturnCode && (rc != expected || cc != condition)) {
        std::string text = what + ": expected " + ReturnCodeName(expected);
        if (expected == TWRC_FAILURE) text += " (" + ConditionCodeName(condition) + ")";
        text += ", got " + ReturnCodeName(rc);
        if (rc == TWRC_FAILURE) text += " (" + ConditionCodeName(cc) + ")";
        m_unexpected.push_back(text);
    } else if (rc == TWRC_FAILURE) {
        m_rejections.push_back(what + ": " + ConditionCodeName(cc));
    }
    return rc;
}

TW_UINT16 CApplication::ConditionCode() {
    Fresh(m_status);
    const TW_UINT16 rc = m_dataSource.Call(m_self, DG_CONTROL, DAT_STATUS, MSG_GET, m_status);
    return rc == TWRC_SUCCESS ? m_status->ConditionCode : TWCC_BUMMER;
}

template <typename T>
T* CApplication::Fresh(T* structure) {
    memset(structure, 0, sizeof(T));
    return structure;
}

void CApplication::DisposeContainer() {
    if (m_containerBlock != nullptr) UnlockHandle(m_capability->hContainer);
    m_containerBlock = nullptr;
    DisposeAnyHandle(m_capability->hContainer);
    m_capability->hContainer = nullptr;
}

TW_CAPABILITY* CApplication::Capability(TW_UINT16 cap) {
    return WithContainer(cap, static_cast<TW_UINT16>(TWON_DONTCARE16), nullptr);
}

TW_CAPABILITY* CApplication::WithContainer(TW_UINT16 cap, TW_UINT16 conType, TW_HANDLE container) {
    DisposeContainer();
    m_capability->Cap = cap;
    m_capability->ConType = conType;
    m_capability->hContainer = container;
    return m_capability;
}

TW_CAPABILITY* CApplication::OneValue(TW_UINT16 cap, TW_UINT16 itemType, const void* item) {
    const size_t bytes = std::max(sizeof(TW_ONEVALUE), offsetof(TW_ONEVALUE, Item) + ItemBytes(itemType));
    TW_HANDLE container = NewApplicationHandle(bytes);
    if (TW_ONEVALUE* one = static_cast<TW_ONEVALUE*>(LockHandle(container))) {
        one->ItemType = itemType;
        memcpy(reinterpret_cast<char*>(one) + offsetof(TW_ONEVALUE, Item), item, ItemBytes(itemType));
        UnlockHandle(container);
    }
    return WithContainer(cap, static_cast<TW_UINT16>(TWON_ONEVALUE), container);
}

// Locked once, on the first read, until the container is disposed of.
const void* CApplication::Container() const {
    if (m_containerBlock == nullptr) m_containerBlock = LockHandle(m_capability->hContainer);
    return m_containerBlock;
}

size_t CApplication::ContainerBytes() const { return HandleBytes(m_capability->hContainer); }

TW_HANDLE CApplication::CopyContainer() const {
    const size_t bytes = ContainerBytes();
    if (bytes == 0) return nullptr;
    const void* const container = Container();
    TW_HANDLE copy = container != nullptr ? NewApplicationHandle(bytes) : nullptr;
    if (void* const block = LockHandle(copy)) {
        memcpy(block, container, bytes);
        UnlockHandle(copy);
    }
    return copy;
}

TW_USERINTERFACE* CApplication::UserInterface(bool showUI) {
    Fresh(m_userInterface);
    m_userInterface->ShowUI = showUI ? 1 : 0;
    m_userInterface->hParent = *m_window;
    return m_userInterface;
}

TW_EVENT* CApplication::Event() {
    Fresh(m_event);
    m_event->pEvent = m_eventRecord;
    return m_event;
}

TW_PENDINGXFERS* CApplication::PendingXfers() { return Fresh(m_pending); }
TW_SETUPMEMXFER* CApplication::SetupMemXfer() { return Fresh(m_setupMemXfer); }
TW_IMAGEINFO* CApplication::ImageInfo() { return Fresh(m_imageInfo); }
TW_IMAGELAYOUT* CApplication::ImageLayout() { return Fresh(m_imageLayout); }
TWKV_HARDWAREINFO* CApplication::HardwareInfo() { return Fresh(m_hardwareInfo); }

// The fields the source fills start as "don't care", the buffer is the application's own.
TW_IMAGEMEMXFER* CApplication::ImageMemXfer(TW_UINT32 bufferSize) {
    if (m_stripBuffer == nullptr) {
        m_stripBuffer = handleheap::NewBlock(bufferSize);
        m_stripBufferSize = m_stripBuffer != nullptr ? bufferSize : 0;
    }
    TW_IMAGEMEMXFER* xfer = Fresh(m_imageMemXfer);
    xfer->Compression = static_cast<TW_UINT16>(TWON_DONTCARE16);
    xfer->BytesPerRow = xfer->Columns = xfer->Rows = TWON_DONTCARE32;
    xfer->XOffset = xfer->YOffset = xfer->BytesWritten = TWON_DONTCARE32;
    xfer->Memory.Flags = twext::TWMF_APPOWNS | twext::TWMF_POINTER;
    xfer->Memory.Length = m_stripBufferSize;
    xfer->Memory.TheMem = m_stripBuffer;
    return xfer;
}

TW_HANDLE* CApplication::NativeImage() {
    DisposeAnyHandle(*m_nativeImage);
    *m_nativeImage = nullptr;
    return m_nativeImage;
}

TWKV_AUTOEXPOSURE* CApplication::AutoExposure(TW_INT16 left, TW_INT16 top, TW_INT16 right, TW_INT16 bottom,
                                              TW_UINT16 filmType) {
    TWKV_AUTOEXPOSURE* exposure = Fresh(m_autoExposure);
    exposure->Left = left;
    exposure->Top = top;
    exposure->Right = right;
    exposure->Bottom = bottom;
    exposure->FilmType = filmType;
    return exposure;
}

TWKV_USMINFO* CApplication::UsmInfo(TW_UINT16 resolution) {
    Fresh(m_usmInfo)->InputResolution = resolution;
    return m_usmInfo;
}
