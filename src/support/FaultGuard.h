#pragma once
// The marker of code that wants processor faults as exceptions: while a
// guard exists on a thread, the fault hooks (when installed) turn a fault on
// that thread (access violation, integer division by zero, privileged
// instruction) into an exception that unwinds from the faulting instruction
// instead of ending the process. The forms' event dispatch holds one around
// every handler. Nested guards are allowed.

namespace fi {

class TFaultGuard {
public:
    TFaultGuard();
    ~TFaultGuard();
    TFaultGuard(const TFaultGuard&) = delete;
    TFaultGuard& operator=(const TFaultGuard&) = delete;

    // Whether a guard is held on the calling thread. Safe to ask from a
    // fault handler.
    static bool Held();
};

} // namespace fi
