#pragma once
// The boundary between a host program and this module's code. Every way in
// from outside (an export, a window procedure, a worker thread's start)
// holds a TModuleEntry for as long as module code runs; every call out to
// the host holds a TForeignCall. Together they keep two promises: the module
// always computes in its own floating-point environment while the host's
// state comes back unchanged, and the fault hooks can tell the module's
// faults from the host's.
#include "support/FloatEnvironment.h"

namespace fi {

class TModuleEntry {
public:
    TModuleEntry();
    ~TModuleEntry();
    TModuleEntry(const TModuleEntry&) = delete;
    TModuleEntry& operator=(const TModuleEntry&) = delete;

    // True while module code runs on the calling thread (not inside a call
    // out to the host). Safe to ask from a fault handler.
    static bool Active();

private:
    TFloatEnvironment Caller;
    TModuleEntry* Outer;
    friend class TForeignCall;
};

// A call from module code out to the host: the host runs in the environment
// it had when it called in, and its faults are its own. The module's
// environment is loaded again afterwards.
class TForeignCall {
public:
    TForeignCall();
    ~TForeignCall();
    TForeignCall(const TForeignCall&) = delete;
    TForeignCall& operator=(const TForeignCall&) = delete;

private:
    TModuleEntry* Suspended;
};

} // namespace fi
