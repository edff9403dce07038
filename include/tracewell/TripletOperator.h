// The interface a wrapped data source implements so that Tracewell can forward triplets to it,
// and the factory Tracewell looks up in the wrapped module.
#pragma once

#include "twain.h"

// What a source module exports (the factory, DS_Entry); the rest of it may stay hidden.
#ifdef _WIN32
#define TRACEWELL_SOURCE_EXPORT extern "C" __declspec(dllexport)
#else
#define TRACEWELL_SOURCE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The order of the virtual operations is part of the contract with wrapped sources compiled
// separately: destructor (two slots), OperateTriplet, one reserved operation, Release.
class CTripletOperator {
public:
    virtual ~CTripletOperator() {}
    virtual TW_UINT16 OperateTriplet(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                     TW_MEMREF pData) = 0;
    virtual int Reserved() { return 0; }
    virtual int Release() = 0;
};

// The factory a wrapped source exports; it stores its operator into *operatorOut. The module file
// name stays valid until the operator's Release() has returned, so a source may keep the pointer.
extern "C" typedef int (*CreateCorvaleFn)(const char* moduleFileName, CTripletOperator** operatorOut);
#define TRACEWELL_FACTORY_NAME "CreateCorvale"

// Optional second factory of a wrapped source that forwards to a standard data source (the
// adapter): the same as the factory above, but the operator forwards to the data source at
// `adaptedSource` (an absolute path) instead of the one compiled into the wrapped source. The load
// sequence calls it instead of CreateCorvale when the settings file names an adapted source. Each
// operator keeps its own source: several data source modules of one process may share one
// loaded wrapped source and forward each to another data source.
extern "C" typedef int (*CreateAdaptingCorvaleFn)(const char* moduleFileName, const char* adaptedSource,
                                                   CTripletOperator** operatorOut);
#define TRACEWELL_ADAPTING_FACTORY_NAME "CreateCorvaleAdapting"
