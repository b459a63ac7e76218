// The innermost entry of each thread in a thread-specific slot. Not a
// thread_local variable: in a loaded library its first use on a thread may
// allocate, and the fault handlers read it from inside a signal handler.
#include <pthread.h>

#include "support/ModuleEntry.h"

namespace fi {

namespace {
class TThreadSlot {
public:
    TThreadSlot() { Created = pthread_key_create(&Key, nullptr) == 0; }
    ~TThreadSlot() {
        if (Created) pthread_key_delete(Key);
    }
    TThreadSlot(const TThreadSlot&) = delete;
    TThreadSlot& operator=(const TThreadSlot&) = delete;

    void* Get() const { return Created ? pthread_getspecific(Key) : nullptr; }
    void Set(void* Value) const {
        if (Created) pthread_setspecific(Key, Value);
    }

private:
    pthread_key_t Key{};
    bool Created = false;
};

const TThreadSlot& Slot() {
    static const TThreadSlot Instance;
    return Instance;
}
} // namespace

TModuleEntry* InnermostEntry() { return static_cast<TModuleEntry*>(Slot().Get()); }
void SetInnermostEntry(TModuleEntry* Entry) { Slot().Set(Entry); }

} // namespace fi
