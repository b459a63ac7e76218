#include "parallel/Progress.h"

#include "support/ThreadSlot.h"

namespace fi {

namespace {
const TThreadSlot& EventSlot() {
    static const TThreadSlot Slot;
    return Slot;
}
} // namespace

TProgressHook& TProgressHook::operator=(TProgressEvent Event) {
    EventSlot().Set(reinterpret_cast<void*>(Event));
    return *this;
}

TProgressHook::operator TProgressEvent() const { return reinterpret_cast<TProgressEvent>(EventSlot().Get()); }

TProgressHook ProgressHook;

} // namespace fi
