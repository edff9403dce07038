// Loading a data source module with the dynamic loader.
#include "DataSource.h"

#include <dlfcn.h>

#include "Transcript.h"

CDataSource::~CDataSource() { Unload(); }

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

TW_UINT16 CDataSource::Call(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    ++m_calls;
    const TW_UINT16 rc = m_entry(origin, dg, dat, msg, data);
    if (rc == TWRC_FAILURE) ++m_failures;
    if (m_transcript != nullptr) WriteTranscriptLine(m_transcript, m_calls, dg, dat, msg, data, rc);
    return rc;
}
