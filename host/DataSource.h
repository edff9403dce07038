// A data source module as the Source Manager sees it: loaded by path, reached through DS_Entry,
// and every call counted.
#pragma once

#include <cstdio>
#include <string>

#include "tracewell/twain.h"

class CDataSource {
public:
    CDataSource() = default;
    ~CDataSource();
    CDataSource(const CDataSource&) = delete;
    CDataSource& operator=(const CDataSource&) = delete;

    // Loads the module and finds DS_Entry; false with Error() saying why.
    bool Load(const std::string& path);
    // Unloads the module, which closes its trace.
    void Unload();
    const std::string& Error() const { return m_error; }

    TW_UINT16 Call(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

    // Every later call is written to `transcript` as well (null: to nowhere).
    void RecordTo(FILE* transcript) { m_transcript = transcript; }

    int Calls() const { return m_calls; }
    int Failures() const { return m_failures; }

private:
    void* m_module = nullptr;
    DSENTRYPROC m_entry = nullptr;
    std::string m_error;
    int m_calls = 0;
    int m_failures = 0;
    FILE* m_transcript = nullptr;
};
