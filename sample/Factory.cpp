// The module's exports: the factory a data source looks up, and the hooks through which tests
// count and script what the scanner is asked. Build options leave the factory out
// (CORVALE_NO_FACTORY) or have it make no operator (CORVALE_NULL_OPERATOR).
#include <atomic>
#include <string>

#include "Scanner.h"
#include "ScannerHooks.h"

namespace {

constexpr int kNotScripted = -1;

struct Hooks {
    std::string factoryName;
    int factoryCalls = 0;
    int releases = 0;
    std::atomic<int> operateCalls{0};
    int scriptedReturnCode = kNotScripted;
    CorvaleAnswerFn answer = nullptr;
    void* answerContext = nullptr;
    CorvaleReleaseFn onRelease = nullptr;
    void* releaseContext = nullptr;
    const char* factoryNamePointer = nullptr;
    TW_IDENTITY* lastOrigin = nullptr;
    TW_UINT32 lastDG = 0;
    TW_UINT16 lastDAT = 0;
    TW_UINT16 lastMSG = 0;
    TW_MEMREF lastData = nullptr;
    CCorvaleScanner* scanner = nullptr;  // the scanner the factory made last, until it is released
};

Hooks g_hooks;

// The scanner as the factory hands it out: every call is counted and recorded first.
class CObservedScanner : public CCorvaleScanner {
public:
    TW_UINT16 OperateTriplet(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                             TW_MEMREF pData) override {
        ++g_hooks.operateCalls;
        g_hooks.lastOrigin = pOrigin;
        g_hooks.lastDG = DG;
        g_hooks.lastDAT = DAT;
        g_hooks.lastMSG = MSG;
        g_hooks.lastData = pData;
        if (g_hooks.answer != nullptr) return g_hooks.answer(g_hooks.answerContext, pOrigin, DG, DAT, MSG, pData);
        if (g_hooks.scriptedReturnCode != kNotScripted) return static_cast<TW_UINT16>(g_hooks.scriptedReturnCode);
        return CCorvaleScanner::OperateTriplet(pOrigin, DG, DAT, MSG, pData);
    }
    int Release() override {
        ++g_hooks.releases;
        if (g_hooks.scanner == this) g_hooks.scanner = nullptr;
        const int result = CCorvaleScanner::Release();
        if (g_hooks.onRelease != nullptr) g_hooks.onRelease(g_hooks.releaseContext);
        return result;
    }
};

}  // namespace

#if !defined(CORVALE_NO_FACTORY)
TRACEWELL_SOURCE_EXPORT int CreateCorvale(const char* moduleFileName, CTripletOperator** operatorOut) {
    ++g_hooks.factoryCalls;
    g_hooks.factoryName = moduleFileName != nullptr ? moduleFileName : "";
    g_hooks.factoryNamePointer = moduleFileName;
    if (operatorOut == nullptr) return -1;
#if defined(CORVALE_NULL_OPERATOR)
    return 0;
#else
    CObservedScanner* scanner = new CObservedScanner;
    g_hooks.scanner = scanner;
    *operatorOut = scanner;
    return 0;
#endif
}
#endif

TRACEWELL_SOURCE_EXPORT const char* CorvaleFactoryName() { return g_hooks.factoryName.c_str(); }
TRACEWELL_SOURCE_EXPORT int CorvaleFactoryCalls() { return g_hooks.factoryCalls; }
TRACEWELL_SOURCE_EXPORT int CorvaleReleases() { return g_hooks.releases; }
TRACEWELL_SOURCE_EXPORT int CorvaleOperateCalls() { return g_hooks.operateCalls; }

// rc >= 0: every following call returns rc untouched and does nothing else; -1: normal service.
TRACEWELL_SOURCE_EXPORT void CorvaleScriptReturnCode(int rc) {
    g_hooks.scriptedReturnCode = rc >= 0 ? rc : kNotScripted;
}

TRACEWELL_SOURCE_EXPORT void CorvaleScriptAnswer(CorvaleAnswerFn answer, void* context) {
    g_hooks.answer = answer;
    g_hooks.answerContext = context;
}

TRACEWELL_SOURCE_EXPORT void CorvaleScriptRelease(CorvaleReleaseFn onRelease, void* context) {
    g_hooks.onRelease = onRelease;
    g_hooks.releaseContext = context;
}

TRACEWELL_SOURCE_EXPORT const char* CorvaleFactoryNamePointer() { return g_hooks.factoryNamePointer; }

TRACEWELL_SOURCE_EXPORT void CorvaleLastCall(TW_IDENTITY** origin, TW_UINT32* dg, TW_UINT16* dat, TW_UINT16* msg,
                                    TW_MEMREF* data) {
    *origin = g_hooks.lastOrigin;
    *dg = g_hooks.lastDG;
    *dat = g_hooks.lastDAT;
    *msg = g_hooks.lastMSG;
    *data = g_hooks.lastData;
}

TRACEWELL_SOURCE_EXPORT TW_UINT16 CorvaleServe(TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                               TW_MEMREF data) {
    if (g_hooks.scanner == nullptr) return TWRC_FAILURE;
    return g_hooks.scanner->CCorvaleScanner::OperateTriplet(origin, dg, dat, msg, data);
}
