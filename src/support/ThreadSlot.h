#pragma once
// One pointer per thread in a slot of the system's own thread-local storage.
// Not a thread_local variable: in a loaded library its first use on a thread
// may allocate (the runtime's emulation on Windows, a loaded module's TLS
// block on Linux), and fault handlers read these slots on any thread.
#include <cstdint>

namespace fi {

class TThreadSlot {
public:
    TThreadSlot();
    ~TThreadSlot();
    TThreadSlot(const TThreadSlot&) = delete;
    TThreadSlot& operator=(const TThreadSlot&) = delete;

    // The calling thread's value, null until it sets one.
    void* Get() const;
    void Set(void* Value) const;

private:
    std::uintptr_t Key = 0;
    bool Created = false;
};

} // namespace fi
