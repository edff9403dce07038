// The adapter: a wrapped source whose operator loads a standard TWAIN data source (a shared object
// or DLL exporting DS_Entry) and hands every triplet to it unchanged. A source that cannot be used makes
// every call fail, with TWCC_BUMMER as the condition DAT_STATUS reports. Each operator loads its
// own source, the one compiled in or the one its factory call named.
#include <cstdio>
#include <new>
#include <string>

#include "SourceModule.h"

#include "tracewell/TripletOperator.h"
#include "tracewell/twain_values.h"

#ifndef TRACEWELL_ADAPTED_SOURCE
#error "TRACEWELL_ADAPTED_SOURCE must name the standard data source to adapt"
#endif

namespace {

const char kAdaptedSource[] = TRACEWELL_ADAPTED_SOURCE;

// Exported by every build of Tracewell itself: adapting one would hand each call back to the
// module that is forwarding it, without end.
const char kTracewellMarker[] = "MachO_Initialization";

class CAdapterOperator final : public CTripletOperator {
public:
    explicit CAdapterOperator(const char* path) {
        // A relative name would be searched for along the library path, and an empty one would
        // name the application itself.
        if (path[0] == '\0') {
            fputs("tracewell-adapter: no data source to trace is set (adapted_source in tracewell.conf)\n", stderr);
            return;
        }
        if (!SourcePathIsAbsolute(path)) {
            Report(path, "its path is not absolute");
            return;
        }
        std::string reason;
        m_module = OpenSourceModule(path, &reason);
        if (m_module == nullptr) {
            Report(path, reason.empty() ? "it cannot be loaded" : reason.c_str());
            return;
        }
        if (SourceModuleExport(m_module, kTracewellMarker) != nullptr) {
            Report(path, "it is a build of Tracewell, not the source to trace");
        } else {
            m_entry = reinterpret_cast<DSENTRYPROC>(SourceEntryPoint(m_module));
            if (m_entry == nullptr) Report(path, "it exports no DS_Entry");
        }
        if (m_entry == nullptr) {
            CloseSourceModule(m_module);
            m_module = nullptr;
        }
    }

    ~CAdapterOperator() override {
        if (m_module != nullptr) CloseSourceModule(m_module);
    }

    CAdapterOperator(const CAdapterOperator&) = delete;
    CAdapterOperator& operator=(const CAdapterOperator&) = delete;

    TW_UINT16 OperateTriplet(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                             TW_MEMREF pData) override {
        if (m_entry != nullptr) return m_entry(pOrigin, DG, DAT, MSG, pData);
        if (DG == DG_CONTROL && DAT == DAT_STATUS && MSG == MSG_GET && pData != nullptr) {
            TW_STATUS* status = static_cast<TW_STATUS*>(pData);
            status->ConditionCode = TWCC_BUMMER;
            status->Reserved = 0;
            return TWRC_SUCCESS;
        }
        return TWRC_FAILURE;
    }

    int Release() override {
        delete this;
        return 0;
    }

private:
    // The one place a person setting Tracewell up learns why every call fails.
    static void Report(const char* path, const char* reason) {
        fprintf(stderr, "tracewell-adapter: cannot use the data source %s: %s\n", path, reason);
    }

    void* m_module = nullptr;
    DSENTRYPROC m_entry = nullptr;
};

}  // namespace

TRACEWELL_SOURCE_EXPORT int CreateCorvaleAdapting(const char*, const char* adaptedSource,
                                                  CTripletOperator** operatorOut) {
    if (operatorOut == nullptr) return -1;
    *operatorOut = new (std::nothrow) CAdapterOperator(adaptedSource != nullptr ? adaptedSource : "");
    return *operatorOut != nullptr ? 0 : -1;
}

TRACEWELL_SOURCE_EXPORT int CreateCorvale(const char* moduleFileName, CTripletOperator** operatorOut) {
    return CreateCorvaleAdapting(moduleFileName, kAdaptedSource, operatorOut);
}
