// Shared test helpers: memory at fixed addresses so that traces printing pointers are
// reproducible, a trace file captured in memory, the scripted virtual scanner as the wrapped
// source, and rendering through a fresh analyzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "Common/TwainLog/ParaAnalyze.h"
#include "tracewell/TripletOperator.h"
#include "tracewell/twain.h"

// Whether the build traces as the product does (linux and the Windows builds), not as the macos
// reference.
inline constexpr bool kLinux = !TRACEWELL_ABI_REFERENCE;

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

// `size` bytes whose last is the last readable one: the page after them cannot be read, so any
// read past them faults. With size 0, Data() is the first byte of that page.
class GuardedBytes {
public:
    explicit GuardedBytes(size_t size);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    char* Data() { return m_data; }
    // A readable page of its own before the bytes (where a master pointer may lie).
    char* Spare() { return m_map; }

private:
    size_t m_size;
    char* m_map;
    char* m_data;
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

// The virtual scanner, made in this process by its own factory, as the wrapped source for the life
// of the object, scripted through its answer hook: each call is recorded, `fill` (if set) writes
// the call's data and `returnCode` is what the call returns.
class ScriptedScanner {
public:
    ScriptedScanner();
    ~ScriptedScanner();
    ScriptedScanner(const ScriptedScanner&) = delete;
    ScriptedScanner& operator=(const ScriptedScanner&) = delete;

    TW_UINT16 returnCode = TWRC_SUCCESS;
    std::function<void(TW_MEMREF)> fill;
    int calls = 0;
    TW_IDENTITY* lastOrigin = nullptr;
    TW_UINT32 lastDG = 0;
    TW_UINT16 lastDAT = 0;
    TW_UINT16 lastMSG = 0;
    TW_MEMREF lastData = nullptr;

private:
    static TW_UINT16 Answer(void* self, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF data);
    CTripletOperator* m_scanner = nullptr;
};

// "" when every line of the text ends in "\r\n" and no other control character stands in it;
// else where it first goes wrong.
std::string MalformedAt(const std::string& text);

// Lines joined, each ended by "\r\n".
std::string Crlf(const std::vector<std::string>& lines);

// The text that `render` appends through a fresh analyzer (tracked state 3, tag "APP").
std::string Render(const std::function<void(CParaAnalyze&)>& render);

// A value of pointer size or less from the low bytes of `bits`: only printed, never followed.
template <typename T>
T PointerValue(uint64_t bits) {
    static_assert(sizeof(T) <= sizeof(uintptr_t), "at most pointer-sized");
    const uintptr_t low = static_cast<uintptr_t>(bits);
    T value;
    memcpy(&value, &low, sizeof(value));
    return value;
}

// A pointer as the trace prints it: "<0x" and the eight hexadecimal digits of its low 32 bits, ">".
std::string PointerText(const void* pointer);

// Reads a whole file; empty when it is missing.
std::string ReadFile(const std::string& path);
// Writes `text` to the file at `path`, byte for byte.
void WriteText(const std::string& path, const std::string& text);

// "" when the texts are equal, else the first line that differs.
std::string FirstDifference(const std::string& expected, const std::string& actual);

// Compares `text` byte for byte with tests/golden/<name>; with TRACEWELL_UPDATE_GOLDEN=1 in the
// environment it rewrites the golden file instead.
void ExpectMatchesGolden(const std::string& name, const std::string& text);
// `text` against the session golden <stem>_<ABI>.txt; the Windows builds take the linux build's
// golden and compare with every pointer value (<0x...>) masked.
void ExpectMatchesSessionGolden(const std::string& stem, const std::string& text);
// `text` with each pointer value the trace writes (<0x5c000250>) replaced by <0x...>.
std::string MaskPointers(const std::string& text);

// Makes the trace clock read 2021-03-03 09:05:07 local time and `microseconds` past it, until the
// next call or SetTraceClock(nullptr).
void FixTraceClock(long microseconds);

// Whose vendor names the in-process analyzer uses: the wrapped maker's (the tests' default), or
// those of no maker, as for any other maker's source.
void TraceAsMakersSource();
void TraceAsAnotherMakersSource();
