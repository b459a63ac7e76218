#include <windows.h>

#include "support/ThreadSlot.h"

namespace fi {

TThreadSlot::TThreadSlot() {
    const DWORD Index = TlsAlloc();
    Created = Index != TLS_OUT_OF_INDEXES;
    if (Created) Key = Index;
}

TThreadSlot::~TThreadSlot() {
    if (Created) TlsFree(DWORD(Key));
}

void* TThreadSlot::Get() const { return Created ? TlsGetValue(DWORD(Key)) : nullptr; }

void TThreadSlot::Set(void* Value) const {
    if (Created) TlsSetValue(DWORD(Key), Value);
}

} // namespace fi
