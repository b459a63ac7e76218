#include <windows.h>

#include "support/FaultGuard.h"

namespace fi {

std::uintptr_t CurrentThreadId() { return GetCurrentThreadId(); }

} // namespace fi
