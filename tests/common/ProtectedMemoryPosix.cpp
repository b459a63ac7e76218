#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

#include "common/ProtectedMemory.h"

namespace fi::test {

namespace {
std::size_t PageSize() { return std::size_t(sysconf(_SC_PAGESIZE)); }
} // namespace

TProtectedMemory::TProtectedMemory(std::size_t Bytes) {
    const std::size_t Page = PageSize();
    Usable = (Bytes + Page - 1) / Page * Page;
    Total = Usable + Page;
    void* P = mmap(nullptr, Total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (P == MAP_FAILED) throw std::runtime_error("mmap failed");
    Base = static_cast<std::uint8_t*>(P);
    mprotect(Base + Usable, Page, PROT_NONE);
    Begin = Base + Usable - Bytes;
}

TProtectedMemory::~TProtectedMemory() { munmap(Base, Total); }

void TProtectedMemory::MakeReadOnly() { mprotect(Base, Usable, PROT_READ); }

} // namespace fi::test
