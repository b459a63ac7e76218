#include "support/ModuleEntry.h"

#include "support/ThreadSlot.h"

namespace fi {

namespace {
// The calling thread's innermost entry, null outside the module. The slot
// exists from its first use until the module unloads.
const TThreadSlot& EntrySlot() {
    static const TThreadSlot Slot;
    return Slot;
}
TModuleEntry* InnermostEntry() { return static_cast<TModuleEntry*>(EntrySlot().Get()); }
void SetInnermostEntry(TModuleEntry* Entry) { EntrySlot().Set(Entry); }
} // namespace

TModuleEntry::TModuleEntry() : Caller(SaveFloatEnvironment()), Outer(InnermostEntry()) {
    LoadDefaultFloatEnvironment();
    SetInnermostEntry(this);
}

TModuleEntry::~TModuleEntry() {
    SetInnermostEntry(Outer);
    RestoreFloatEnvironment(Caller);
}

bool TModuleEntry::Active() { return InnermostEntry() != nullptr; }

TForeignCall::TForeignCall() : Suspended(InnermostEntry()) {
    SetInnermostEntry(nullptr);
    if (Suspended != nullptr) RestoreFloatEnvironment(Suspended->Caller);
}

TForeignCall::~TForeignCall() {
    if (Suspended != nullptr) LoadDefaultFloatEnvironment();
    SetInnermostEntry(Suspended);
}

} // namespace fi
