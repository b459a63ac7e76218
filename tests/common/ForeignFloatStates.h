#pragma once
// Floating-point states a host program may be in when it calls the module:
// each is an x87 control word and an SSE control/status register value.
#include <cstdint>

namespace fi::test {

struct TForeignFloatState {
    const char* Name;
    std::uint16_t X87ControlWord;
    std::uint32_t Mxcsr;
};

inline constexpr TForeignFloatState ForeignFloatStates[] = {
    {"53-bit x87 precision", 0x027F, 0x1F80},
    {"24-bit x87 precision", 0x007F, 0x1F80},
    {"round toward zero", 0x0F7F, 0x7F80},
    {"round toward +inf", 0x0B7F, 0x5F80},
    {"flush-to-zero and denormals-are-zero", 0x037F, 0x9FC0},
    // Invalid operation, division by zero and overflow unmasked.
    {"unmasked exceptions", 0x0372, 0x1980},
};

} // namespace fi::test
