#pragma once
// Whether the tests run on QEMU's translating processor emulator, whose x87
// unit departs from real processors in one corner the tests reach.
#include <cpuid.h>
#include <cstring>

namespace fi::test {

inline bool RunsOnQemuTranslator() {
    unsigned A = 0, B = 0, C = 0, D = 0;
    // A hypervisor announces itself in bit 31 of leaf 1's ECX and names
    // itself in leaf 0x40000000; the translator's name is "TCGTCGTCGTCG".
    if (!__get_cpuid(1, &A, &B, &C, &D) || (C & (1u << 31)) == 0)
        return false;
    __cpuid(0x40000000, A, B, C, D);
    char Vendor[13] = {};
    std::memcpy(Vendor, &B, 4);
    std::memcpy(Vendor + 4, &C, 4);
    std::memcpy(Vendor + 8, &D, 4);
    return std::strcmp(Vendor, "TCGTCGTCGTCG") == 0;
}

} // namespace fi::test
