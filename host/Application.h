// The application's side of a session: its identity and every structure it passes, placed in the
// shared fixed-address heap so that their addresses print the same on every run, its containers in
// the system's handle memory, and calls that are checked against what the scenario expects. A
// failed call is followed by DAT_STATUS, as a careful application does, and its condition code is
// checked too. As a TWAIN 2 application it registers a callback, which only notes the source's
// messages: the application acts on them once the call it is in has returned.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "DataSource.h"
#include "tracewell/twain.h"

constexpr TW_UINT16 kAnyReturnCode = 0xFFFF;

class CApplication {
public:
    explicit CApplication(CDataSource& source);
    ~CApplication();
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    // False when the fixed-address heap could not give the structures a place.
    bool Ready() const;

    // From now on a TWAIN 2 application (one at a time: the callback reaches the one that became
    // it last).
    void BecomeTwain2();
    bool Twain2() const { return m_twain2; }
    // The callback to register, and the oldest message it noted and the application has not yet
    // acted on (MSG_NULL when there is none).
    TW_CALLBACK* Callback();
    TW_UINT16 TakeMessage();
    // What the callback is called with.
    TW_UINT16 Notify(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                     TW_MEMREF data);

    // One call through the data source. `what` describes it in reports.
    TW_UINT16 Call(const std::string& what, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                   TW_UINT16 expected = TWRC_SUCCESS, TW_UINT16 condition = TWCC_SUCCESS);

    // Notes an answer the scenario did not expect.
    void Unexpected(const std::string& text) { m_unexpected.push_back(text); }

    // The structures, each at a fixed address and prepared for the call that passes it.
    TW_MEMREF Window() { return m_window; }
    TW_IDENTITY* SourceIdentity() { return m_source; }
    // The source to open, by the ProductName it answers with; without one the Source Manager's first.
    void AskForSource(const std::string& productName);
    // The Source Manager's part of opening a source: giving it an Id.
    void AssignSourceId() { m_source->Id = 2; }
    TW_CAPABILITY* Capability(TW_UINT16 cap);
    TW_CAPABILITY* OneValue(TW_UINT16 cap, TW_UINT16 itemType, const void* item);
    TW_CAPABILITY* WithContainer(TW_UINT16 cap, TW_UINT16 conType, TW_HANDLE container);
    TW_USERINTERFACE* UserInterface(bool showUI);
    TW_EVENT* Event();
    TW_PENDINGXFERS* PendingXfers();
    TW_SETUPMEMXFER* SetupMemXfer();
    TW_IMAGEINFO* ImageInfo();
    TW_IMAGELAYOUT* ImageLayout();
    // A strip buffer of the given size is made on first use and kept.
    TW_IMAGEMEMXFER* ImageMemXfer(TW_UINT32 bufferSize);
    TW_HANDLE* NativeImage();
    TWKV_HARDWAREINFO* HardwareInfo();
    TWKV_AUTOEXPOSURE* AutoExposure(TW_INT16 left, TW_INT16 top, TW_INT16 right, TW_INT16 bottom, TW_UINT16 filmType);
    TWKV_USMINFO* UsmInfo(TW_UINT16 resolution);

    // The container the source answered the last capability call with, locked until it is disposed
    // of; null when there is none.
    const void* Container() const;
    size_t ContainerBytes() const;
    // A copy of that container, owned by the caller.
    TW_HANDLE CopyContainer() const;

    // Gives back the last container, the strip buffer and the native image.
    void ReleaseTransients();

    int Pages() const { return m_pages; }
    void CountPage() { ++m_pages; }
    const std::vector<std::string>& Rejections() const { return m_rejections; }
    const std::vector<std::string>& UnexpectedAnswers() const { return m_unexpected; }

private:
    template <typename T>
    T* Fresh(T* structure);
    void DisposeContainer();
    TW_UINT16 ConditionCode();

    CDataSource& m_dataSource;
    TW_IDENTITY* m_self;
    TW_IDENTITY* m_source;
    TW_HANDLE* m_window;
    void* m_windowRecord;
    void* m_eventRecord;
    TW_CAPABILITY* m_capability;
    TW_STATUS* m_status;
    TW_USERINTERFACE* m_userInterface;
    TW_EVENT* m_event;
    TW_PENDINGXFERS* m_pending;
    TW_SETUPMEMXFER* m_setupMemXfer;
    TW_IMAGEINFO* m_imageInfo;
    TW_IMAGELAYOUT* m_imageLayout;
    TW_IMAGEMEMXFER* m_imageMemXfer;
    TW_HANDLE* m_nativeImage;
    TWKV_HARDWAREINFO* m_hardwareInfo;
    TWKV_AUTOEXPOSURE* m_autoExposure;
    TWKV_USMINFO* m_usmInfo;
    mutable void* m_containerBlock = nullptr;  // the container, while it is locked
    void* m_stripBuffer = nullptr;
    TW_UINT32 m_stripBufferSize = 0;

    bool m_twain2 = false;
    TW_CALLBACK m_callback = {};
    std::deque<TW_UINT16> m_messages;

    int m_pages = 0;
    std::vector<std::string> m_rejections;
    std::vector<std::string> m_unexpected;
};

// Bytes of one item of a TWAIN item type in a container.
size_t ItemBytes(TW_UINT16 itemType);
