#include <windows.h>

#include <stdexcept>

#include "common/ProtectedMemory.h"

namespace fi::test {

namespace {
std::size_t PageSize() {
    SYSTEM_INFO Info;
    GetSystemInfo(&Info);
    return Info.dwPageSize;
}
} // namespace

TProtectedMemory::TProtectedMemory(std::size_t Bytes) {
    const std::size_t Page = PageSize();
    Usable = (Bytes + Page - 1) / Page * Page;
    Total = Usable + Page;
    Base = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, Total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (Base == nullptr) throw std::runtime_error("VirtualAlloc failed");
    DWORD Old = 0;
    VirtualProtect(Base + Usable, Page, PAGE_NOACCESS, &Old);
    Begin = Base + Usable - Bytes;
}

TProtectedMemory::~TProtectedMemory() { VirtualFree(Base, 0, MEM_RELEASE); }

void TProtectedMemory::MakeReadOnly() {
    DWORD Old = 0;
    VirtualProtect(Base, Usable, PAGE_READONLY, &Old);
}

} // namespace fi::test
