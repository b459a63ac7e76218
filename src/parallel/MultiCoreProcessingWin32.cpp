#include <windows.h>
#include <xmmintrin.h>

#include <cfenv>

#include "parallel/MultiCoreProcessing.h"

namespace fi {

std::int32_t SystemProcessorCount() {
    SYSTEM_INFO Info;
    GetSystemInfo(&Info);
    return std::int32_t(Info.dwNumberOfProcessors);
}

void LoadDefaultFloatEnvironment() {
    std::fesetenv(FE_DFL_ENV);
    // The runtime's default environment resets only the x87 unit, but doubles
    // are computed in SSE2 registers: reset their control register as well
    // (round to nearest, every exception masked, no flush to zero).
    _mm_setcsr(0x1F80);
}

namespace {
// A DLL is initialised under the loader lock: a worker started then could
// not attach to the module, and joining it would hang. In a DLL the module's
// loader notifications enable threading; an executable may use threads now.
bool InExecutable() {
    HMODULE Self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ProcessorCountCache), &Self))
        return false;
    return Self == GetModuleHandleW(nullptr);
}

const bool Enabled = InExecutable() && (EnableMultiThreading(), true);
} // namespace

} // namespace fi
