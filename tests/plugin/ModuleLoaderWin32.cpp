#include <windows.h>

#include "plugin/ModuleLoader.h"

namespace fi::test {

TModule::TModule(const std::string& Path) : Handle(LoadLibraryA(Path.c_str())) {}
TModule::~TModule() {
    if (Handle) FreeLibrary(static_cast<HMODULE>(Handle));
}
void* TModule::Export(const char* Name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(Handle), Name));
}

} // namespace fi::test
