// The innermost entry of each thread in a system TLS slot. Not a
// thread_local variable: the runtime emulates those with an allocation on a
// thread's first use, and the fault handler reads the slot on any thread.
#include <windows.h>

#include "support/ModuleEntry.h"

namespace fi {

namespace {
class TThreadSlot {
public:
    TThreadSlot() : Index(TlsAlloc()) {}
    ~TThreadSlot() {
        if (Index != TLS_OUT_OF_INDEXES) TlsFree(Index);
    }
    TThreadSlot(const TThreadSlot&) = delete;
    TThreadSlot& operator=(const TThreadSlot&) = delete;

    void* Get() const { return Index != TLS_OUT_OF_INDEXES ? TlsGetValue(Index) : nullptr; }
    void Set(void* Value) const {
        if (Index != TLS_OUT_OF_INDEXES) TlsSetValue(Index, Value);
    }

private:
    DWORD Index;
};

const TThreadSlot& Slot() {
    static const TThreadSlot Instance;
    return Instance;
}
} // namespace

TModuleEntry* InnermostEntry() { return static_cast<TModuleEntry*>(Slot().Get()); }
void SetInnermostEntry(TModuleEntry* Entry) { Slot().Set(Entry); }

} // namespace fi
