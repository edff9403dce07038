// The module's exports: the factory a data source looks up, and the hooks through which tests,
// benchmarks and fuzz targets count and script what the scanner is asked. Build options leave the
// factory out (CORVALE_NO_FACTORY) or have it make no operator (CORVALE_NULL_OPERATOR).
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
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
    bool tripletScripted = false;
    TW_UINT32 scriptedDG = 0;
    TW_UINT16 scriptedDAT = 0;
    TW_UINT16 scriptedMSG = 0;
    TW_UINT16 scriptedTripletCode = 0;
    size_t scriptedSize = 0;
    unsigned char scriptedAnswer[kCorvaleAnswerBytes] = {};
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

// The scripted answer over a call's data, word by word: a few inline moves for a structure of a
// few fields, where a call of memcpy would cost as much as the rest of the call.
void CopyAnswer(unsigned char* data) {
    const size_t size = g_hooks.scriptedSize;
    size_t done = 0;
    for (; done + sizeof(uint64_t) <= size; done += sizeof(uint64_t)) {
        uint64_t word;
        memcpy(&word, g_hooks.scriptedAnswer + done, sizeof(word));
        memcpy(data + done, &word, sizeof(word));
    }
    for (; done < size; ++done) data[done] = g_hooks.scriptedAnswer[done];
}

// The scanner as the factory hands it out: every call is counted and recorded first.
class CObservedScanner : public CCorvaleScanner {
public:
    TW_UINT16 OperateTriplet(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                             TW_MEMREF pData) override {
        // Not a locked increment: a count that two threads race on may lose one, but no call pays
        // a bus lock for it.
        g_hooks.operateCalls.store(g_hooks.operateCalls.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        g_hooks.lastOrigin = pOrigin;
        g_hooks.lastDG = DG;
        g_hooks.lastDAT = DAT;
        g_hooks.lastMSG = MSG;
        g_hooks.lastData = pData;
        if (g_hooks.answer != nullptr) return g_hooks.answer(g_hooks.answerContext, pOrigin, DG, DAT, MSG, pData);
        if (g_hooks.tripletScripted && DG == g_hooks.scriptedDG && DAT == g_hooks.scriptedDAT &&
            MSG == g_hooks.scriptedMSG) {
            if (pData != nullptr) CopyAnswer(static_cast<unsigned char*>(pData));
            return g_hooks.scriptedTripletCode;
        }
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

TRACEWELL_SOURCE_EXPORT void CorvaleScriptReturnCode(int rc) {
    g_hooks.scriptedReturnCode = rc >= 0 ? rc : kNotScripted;
}

TRACEWELL_SOURCE_EXPORT void CorvaleScriptAnswer(CorvaleAnswerFn answer, void* context) {
    g_hooks.answer = answer;
    g_hooks.answerContext = context;
}

TRACEWELL_SOURCE_EXPORT void CorvaleScriptTriplet(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 rc,
                                                  const void* answer, size_t size) {
    g_hooks.scriptedDG = dg;
    g_hooks.scriptedDAT = dat;
    g_hooks.scriptedMSG = msg;
    g_hooks.scriptedTripletCode = rc;
    g_hooks.scriptedSize = answer != nullptr ? std::min(size, sizeof(g_hooks.scriptedAnswer)) : 0;
    if (g_hooks.scriptedSize != 0) memcpy(g_hooks.scriptedAnswer, answer, g_hooks.scriptedSize);
    g_hooks.tripletScripted = true;
}

TRACEWELL_SOURCE_EXPORT void CorvaleScriptNothing() {
    g_hooks.answer = nullptr;
    g_hooks.answerContext = nullptr;
    g_hooks.tripletScripted = false;
    g_hooks.scriptedReturnCode = kNotScripted;
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
