// What the application gave the source and the source is not meant to change: a copy of those
// bytes taken before the call is forwarded, compared after it, and the result section marked
// where the source changed them ("ShowUI = [FALSE] (sent TRUE)").
#pragma once

#include <cstddef>
#include <cstdint>

#include "TraceText.h"
#include "twaintbl.h"
#include "tracewell/twain.h"

// The macOS build keeps the original trace, which never compares.
inline constexpr bool kTraceShowsWhatTheSourceChanged = kTraceGoesBeyondTheOriginal;

class CSentCopy {
public:
    // Most of a capability's container that is kept: more could not be shown in one call's text.
    static constexpr size_t kContainerBytes = CTraceText::kWrittenLimit;

    // Copies what the application filled in, for a triplet whose data the source must leave as
    // it is (the container of a MSG_SET or MSG_SETCONSTRAINT, ShowUI and hParent of
    // DAT_USERINTERFACE, DAT_SETUPFILEXFER and DAT_IMAGELAYOUT on MSG_SET, the Memory of
    // DAT_IMAGEMEMXFER); false, copying nothing, for any other call.
    bool Take(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, const void* pData);
    // Whether Take copies anything for the triplet.
    static bool Watches(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG);
    // True when the source changed any of the copied bytes.
    bool Changed(const void* pData) const;
    // The call's data as the application sent it: the structure as it is now with the copied
    // bytes put back, a capability's container a block of its own; valid until ReleaseSent().
    char* Sent(const void* pData);
    void ReleaseSent();
    // The container handle of Sent()'s structure, and the application's own that it stands for.
    const void* SentHandle() const { return m_sentHandle; }
    const void* GivenHandle() const { return m_givenHandle; }

private:
    struct Region {
        size_t offset, size;
    };
    static size_t Watched(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, Region* regions, size_t* structureSize,
                          bool* container);
    static size_t CopyContainer(TW_HANDLE handle, unsigned char* dest);

    // Taken only for the calls it watches: nothing here is cleared beforehand.
    static constexpr size_t kStructureBytes = 512;
    Region m_regions[2];
    size_t m_regionCount = 0;
    size_t m_size = 0;  // of the structure
    alignas(16) unsigned char m_structure[kStructureBytes];
    alignas(16) unsigned char m_sent[kStructureBytes];
    bool m_container = false;
    size_t m_containerSize = 0;
    alignas(16) unsigned char m_containerBytes[kContainerBytes];
    TW_HANDLE m_sentHandle = nullptr;
    TW_HANDLE m_givenHandle = nullptr;
};

// Marks in `result` (a result section) each line of the structure that differs from `sent`, the
// same structure rendered from what the application sent: a value line gets " (sent VALUE)";
// where the two do not line up, the sent rendering follows the structure as a block of its own.
// Writes the marked text into `out`; false, writing nothing, when no line differs. A pointer that
// `sent` shows as `shownHandle` is the application's `givenHandle`, and shown as that.
bool MarkWhatTheSourceChanged(const CTraceText& result, const CTraceText& sent, CTraceText& out,
                              const void* shownHandle = nullptr, const void* givenHandle = nullptr);
