// The module's two exports. They only forward into the library.
#include "plugin/HostProtocol.h"
#include "plugin/ProcessingDriver.h"

#if defined(_WIN32)
#define FI_EXPORT
#else
#define FI_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

FI_EXPORT std::int32_t FI_STDCALL RegisterPlugin(fi::HostCallback Callback) { return fi::RegisterWithHost(Callback); }

FI_EXPORT std::int32_t FI_STDCALL ProcessImage(std::int32_t Command, const fi::HostImage* Image) {
    return fi::ProcessHostImage(Command, Image);
}

}
