#include "support/FaultGuard.h"

#include <atomic>

namespace fi {

namespace {
// Guards are held by one thread at a time, the one that runs the forms.
std::atomic<int> Depth{0};
std::atomic<std::uintptr_t> Holder{0};
} // namespace

TFaultGuard::TFaultGuard() {
    if (Depth.fetch_add(1) == 0) Holder.store(CurrentThreadId());
}

TFaultGuard::~TFaultGuard() {
    if (Depth.fetch_sub(1) == 1) Holder.store(0);
}

bool TFaultGuard::Held() { return Depth.load() > 0 && Holder.load() == CurrentThreadId(); }

} // namespace fi
