#include <windows.h>

#include "parallel/MultiCoreProcessing.h"

namespace fi {

std::int32_t SystemProcessorCount() {
    SYSTEM_INFO Info;
    GetSystemInfo(&Info);
    return std::int32_t(Info.dwNumberOfProcessors);
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
