#pragma once
// Memory whose pages can be made read-only, to prove that code under test
// never writes a buffer that it only borrows.
#include <cstddef>
#include <cstdint>

namespace fi::test {

class TProtectedMemory {
public:
    explicit TProtectedMemory(std::size_t Bytes);
    ~TProtectedMemory();
    TProtectedMemory(const TProtectedMemory&) = delete;
    TProtectedMemory& operator=(const TProtectedMemory&) = delete;

    // The buffer ends exactly at a page boundary followed by an inaccessible
    // guard page, so reading one byte too many faults as well.
    std::uint8_t* Data() const { return Begin; }
    void MakeReadOnly();

private:
    std::uint8_t* Base = nullptr;
    std::size_t Total = 0;
    std::size_t Usable = 0;
    std::uint8_t* Begin = nullptr;
};

} // namespace fi::test
