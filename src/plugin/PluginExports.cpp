// The module's two exports. They only forward into the library, each inside
// the module's boundary scope: the host's floating-point state is put aside
// for the call and comes back unchanged, and nothing thrown reaches the host.
#include "crash/CrashHooks.h"
#include "plugin/HostProtocol.h"
#include "plugin/ProcessingDriver.h"
#include "support/ModuleEntry.h"

#if defined(_WIN32)
#define FI_EXPORT
#else
#define FI_EXPORT __attribute__((visibility("default")))
#endif

namespace {
// The fault hooks live exactly as long as the module is loaded: installed at
// start-up and taken out again at unload, before the code they point to goes.
const fi::TCrashHookInstallation CrashHooks;
} // namespace

extern "C" {

FI_EXPORT std::int32_t FI_STDCALL RegisterPlugin(fi::HostCallback Callback) {
    const fi::TModuleEntry Entry;
    try {
        return fi::RegisterWithHost(Callback);
    } catch (...) {
        return 0;
    }
}

FI_EXPORT std::int32_t FI_STDCALL ProcessImage(std::int32_t Command, const fi::HostImage* Image) {
    const fi::TModuleEntry Entry;
    try {
        return fi::ProcessHostImage(Command, Image);
    } catch (...) {
        return 0;
    }
}

}
