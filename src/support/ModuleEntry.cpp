#include "support/ModuleEntry.h"

namespace fi {

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
