// The wrapped source of the in-process benchmarks: the virtual scanner, made by its own factory and
// scripted to answer MSG_GET of ICAP_PIXELTYPE with a container filled once, so that the calls
// measure Tracewell and not the source's own work.
#pragma once

#include <string>

#include "tracewell/TripletOperator.h"
#include "tracewell/twain.h"

class ScriptedSource {
public:
    // items 0: a one-value container; else an enumeration of that many TWTY_UINT16 pixel types.
    // foreign: the container is a block of another allocator, whose size Tracewell cannot know.
    explicit ScriptedSource(TW_UINT32 items = 0, bool foreign = false);
    ~ScriptedSource();
    ScriptedSource(const ScriptedSource&) = delete;
    ScriptedSource& operator=(const ScriptedSource&) = delete;

    CTripletOperator* Scanner() const { return m_scanner; }

private:
    CTripletOperator* m_scanner = nullptr;
    CTripletOperator* m_previous;
    bool m_foreign;
    char* m_block = nullptr;
    char* m_master = nullptr;  // the master pointer of the macos handle convention
    TW_HANDLE m_container = nullptr;
};

// Routes the trace to `path` (opened as the data source opens it; null: tracing off) for the life
// of the object.
class TraceTo {
public:
    explicit TraceTo(const char* path);
    ~TraceTo();

private:
    FILE* m_previous;
};

// The text one traced MSG_GET of the one-value container writes: its request line and its result
// section, each as it leaves in one write.
struct TracedCallText {
    std::string requestLine;
    std::string resultSection;
};
const TracedCallText& OneValueCallText();
