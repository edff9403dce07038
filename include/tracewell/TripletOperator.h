// The interface a wrapped data source implements so that Tracewell can forward triplets to it,
// and the factory Tracewell looks up in the wrapped module.
#pragma once

#include "twain.h"

// What a source module exports (the factory, DS_Entry); the rest of it may stay hidden.
#define TRACEWELL_SOURCE_EXPORT extern "C" __attribute__((visibility("default")))

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

// The factory a wrapped source exports; it stores its operator into *operatorOut.
extern "C" typedef int (*CreateCorvaleFn)(const char* moduleFileName, CTripletOperator** operatorOut);
#define TRACEWELL_FACTORY_NAME "CreateCorvale"
