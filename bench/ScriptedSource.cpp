// The scripted virtual scanner of the in-process benchmarks and the text of one traced call.
#include "ScriptedSource.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "BenchFiles.h"
#include "Common/DSMInterface.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "Platform/Platform.h"
#include "ScannerHooks.h"

extern "C" int CreateCorvale(const char* moduleFileName, CTripletOperator** operatorOut);

ScriptedSource::ScriptedSource(TW_UINT32 items, bool foreign) : m_previous(g_pcTripletOperator), m_foreign(foreign) {
    const size_t size =
        items == 0 ? sizeof(TW_ONEVALUE) : offsetof(TW_ENUMERATION, ItemList) + items * sizeof(TW_UINT16);
    if (foreign) {
        m_block = static_cast<char*>(calloc(1, size));
        m_master = m_block;
#if defined(TRACEWELL_ABI_MACOS)
        m_container = &m_master;
#else
        m_container = m_block;
#endif
    } else {
        m_container = CDSMInterface::AllocMemory(static_cast<TW_UINT32>(size));
    }
    void* block = foreign ? m_block : CDSMInterface::LockMemory(m_container);
    if (items == 0) {
        *static_cast<TW_ONEVALUE*>(block) = {TWTY_UINT16, 2};
    } else {
        auto* enumeration = static_cast<TW_ENUMERATION*>(block);
        *enumeration = {TWTY_UINT16, items, 2, 0, {}};
        for (TW_UINT32 i = 0; i < items; ++i) {
            const TW_UINT16 pixelType = static_cast<TW_UINT16>(i % 9);
            memcpy(enumeration->ItemList + i * sizeof(TW_UINT16), &pixelType, sizeof(pixelType));
        }
    }
    if (!foreign) CDSMInterface::UnlockMemory(m_container);

    CreateCorvale("tracewell.ds", &m_scanner);
    const TW_CAPABILITY answer = {ICAP_PIXELTYPE, static_cast<TW_UINT16>(items == 0 ? TWON_ONEVALUE : TWON_ENUMERATION),
                                  m_container};
    CorvaleScriptTriplet(DG_CONTROL, DAT_CAPABILITY, MSG_GET, TWRC_SUCCESS, &answer, sizeof(answer));
    g_pcTripletOperator = m_scanner;
}

ScriptedSource::~ScriptedSource() {
    g_pcTripletOperator = m_previous;
    CorvaleScriptNothing();
    if (m_scanner != nullptr) m_scanner->Release();
    if (m_foreign) free(m_block);
    else CDSMInterface::FreeMemory(m_container);
}

TraceTo::TraceTo(const char* path) : m_previous(g_pLogFile) {
    g_pLogFile = path != nullptr ? OpenTraceFile(path) : nullptr;
}

TraceTo::~TraceTo() {
    if (g_pLogFile != nullptr) fclose(g_pLogFile);
    g_pLogFile = m_previous;
}

const TracedCallText& OneValueCallText() {
    static const TracedCallText text = [] {
        ScratchFile file;
        {
            ScriptedSource source;
            TraceTo to(file.Path());
            TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
            DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
        }
        std::string trace;
        if (FILE* in = PlatformOpenFile(file.Path(), "rb")) {
            char chunk[4096];
            for (size_t n; (n = fread(chunk, 1, sizeof(chunk), in)) > 0;) trace.append(chunk, n);
            fclose(in);
        }
        const size_t lineEnd = trace.find("\r\n");
        if (lineEnd == std::string::npos) return TracedCallText{trace, ""};
        return TracedCallText{trace.substr(0, lineEnd + 2), trace.substr(lineEnd + 2)};
    }();
    return text;
}
