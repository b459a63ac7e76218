#include "plugin/HostProtocol.h"

#include <cstring>

#include "parallel/MultiCoreProcessing.h"
#include "support/ModuleEntry.h"

namespace fi {

HostCallback Host = nullptr;
HostWindowHandle OwnerWindow = 0;

std::int32_t CallHost(std::int32_t Request, void* Record) {
    const TForeignCall Foreign;
    return Host(Request, Record);
}

std::int32_t RegisterWithHost(HostCallback Callback) {
    // The exports never run under the loader lock; a host that starts no
    // thread after loading the module sends no other loader notification.
    EnableMultiThreading();
    Host = Callback;
    HostRegistration Record;
    std::memset(&Record, 0, sizeof Record);
    Record.Category = SPluginCategory;
    Record.Title = SPluginTitle;
    Record.Description = SPluginDescription;
    Record.One = 1;
    if (Callback == nullptr) return 0;
    return CallHost(hrRegister, &Record);
}

void RequestOwnerWindow() {
    EnableMultiThreading();
    HostWindowHandle Window = 0;
    if (CallHost(hrMainWindow, &Window) != 0) OwnerWindow = Window;
}

std::string LookupImageName(const std::uint8_t* Pixels) {
    HostImageQuery Query;
    std::memset(&Query, 0, sizeof Query);
    for (Query.Index = 0; CallHost(hrImageQuery, &Query) != 0; ++Query.Index) {
        if (Query.Pixels == Pixels) return Query.Name ? Query.Name : "";
    }
    return "";
}

} // namespace fi
