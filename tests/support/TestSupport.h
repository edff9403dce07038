// Shared test helpers: memory at fixed addresses so that traces printing pointers are
// reproducible, a trace file captured in memory, and rendering through a fresh analyzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <new>
#include <string>

#include "Common/TwainLog/ParaAnalyze.h"
#include "tracewell/TripletOperator.h"
#include "tracewell/twain.h"

// A mapping at a fixed address; objects placed in it print the same pointers on every run.
class FixedArena {
public:
    explicit FixedArena(uintptr_t address = 0x10000000, size_t size = 64 << 20);
    ~FixedArena();
    FixedArena(const FixedArena&) = delete;
    FixedArena& operator=(const FixedArena&) = delete;

    // Zero-filled bytes, 16-byte aligned, placed one after another.
    void* Alloc(size_t size);
    template <typename T>
    T* New(size_t extraBytes = 0) {
        return new (Alloc(sizeof(T) + extraBytes)) T();
    }
    // A handle in the ABI's convention whose block of `size` bytes lies in the arena
    // (macos: a master pointer in the arena pointing at the block; linux: the block's address).
    TW_HANDLE NewHandle(size_t size);
    // The block behind a handle made by NewHandle.
    static void* Block(TW_HANDLE handle);

    uintptr_t Base() const { return m_base; }

private:
    uintptr_t m_base;
    size_t m_size;
    size_t m_used;
};

// Routes the trace file to a temporary file for the life of the object.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    std::string Text();

private:
    FILE* m_previous;
};

// An in-process wrapped source: records the last triplet, optionally fills the data, returns a
// scripted code. Installed as the process's operator for the life of the object.
class ScriptedOperator : public CTripletOperator {
public:
    ScriptedOperator();
    ~ScriptedOperator() override;
    TW_UINT16 OperateTriplet(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                             TW_MEMREF pData) override;
    int Release() override { return 0; }

    TW_UINT16 returnCode = TWRC_SUCCESS;
    std::function<void(TW_MEMREF)> fill;
    int calls = 0;
    TW_IDENTITY* lastOrigin = nullptr;
    TW_UINT32 lastDG = 0;
    TW_UINT16 lastDAT = 0;
    TW_UINT16 lastMSG = 0;
    TW_MEMREF lastData = nullptr;
};

// "" when every line of the text ends in "\r\n" and no other control character stands in it;
// else where it first goes wrong.
std::string MalformedAt(const std::string& text);

// Lines joined, each ended by "\r\n".
std::string Crlf(std::initializer_list<std::string> lines);

// The text that `render` appends through a fresh analyzer (tracked state 3, tag "APP").
std::string Render(const std::function<void(CParaAnalyze&)>& render);

// Reads a whole file; empty when it is missing.
std::string ReadFile(const std::string& path);

// "" when the texts are equal, else the first line that differs.
std::string FirstDifference(const std::string& expected, const std::string& actual);

// Compares `text` byte for byte with tests/golden/<name>; with TRACEWELL_UPDATE_GOLDEN=1 in the
// environment it rewrites the golden file instead.
void ExpectMatchesGolden(const std::string& name, const std::string& text);
