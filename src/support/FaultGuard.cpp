#include "support/FaultGuard.h"

#include <cstdint>

#include "support/ThreadSlot.h"

namespace fi {

namespace {
// The calling thread's guard depth, kept as the slot's value.
const TThreadSlot& DepthSlot() {
    static const TThreadSlot Slot;
    return Slot;
}
std::uintptr_t Depth() { return reinterpret_cast<std::uintptr_t>(DepthSlot().Get()); }
void SetDepth(std::uintptr_t Value) { DepthSlot().Set(reinterpret_cast<void*>(Value)); }
} // namespace

TFaultGuard::TFaultGuard() { SetDepth(Depth() + 1); }

TFaultGuard::~TFaultGuard() { SetDepth(Depth() - 1); }

bool TFaultGuard::Held() { return Depth() > 0; }

} // namespace fi
