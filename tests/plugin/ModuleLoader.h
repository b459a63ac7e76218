#pragma once
// Loads the plug-in module the way a host does and resolves its exports.
#include <cstdint>
#include <string>

#include "plugin/HostProtocol.h"

namespace fi::test {

// The module's two exports.
using TRegisterPlugin = std::int32_t(FI_STDCALL*)(HostCallback);
using TProcessImage = std::int32_t(FI_STDCALL*)(std::int32_t, const HostImage*);

class TModule {
public:
    explicit TModule(const std::string& Path);
    ~TModule();
    TModule(const TModule&) = delete;
    TModule& operator=(const TModule&) = delete;

    bool Loaded() const { return Handle != nullptr; }
    void* Export(const char* Name) const;
    TRegisterPlugin RegisterPlugin() const { return reinterpret_cast<TRegisterPlugin>(Export("RegisterPlugin")); }
    TProcessImage ProcessImage() const { return reinterpret_cast<TProcessImage>(Export("ProcessImage")); }

private:
    void* Handle = nullptr;
};

} // namespace fi::test
