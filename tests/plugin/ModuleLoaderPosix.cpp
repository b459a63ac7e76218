#include <dlfcn.h>

#include "plugin/ModuleLoader.h"

namespace fi::test {

TModule::TModule(const std::string& Path) : Handle(dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
TModule::~TModule() {
    if (Handle) dlclose(Handle);
}
void* TModule::Export(const char* Name) const { return dlsym(Handle, Name); }

} // namespace fi::test
