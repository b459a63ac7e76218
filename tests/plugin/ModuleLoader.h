#pragma once
// Loads the plug-in module the way a host does and resolves its exports.
#include <string>

namespace fi::test {

class TModule {
public:
    explicit TModule(const std::string& Path);
    ~TModule();
    TModule(const TModule&) = delete;
    TModule& operator=(const TModule&) = delete;

    bool Loaded() const { return Handle != nullptr; }
    void* Export(const char* Name) const;

private:
    void* Handle = nullptr;
};

} // namespace fi::test
