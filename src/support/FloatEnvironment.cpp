#include "support/FloatEnvironment.h"

#if !defined(__i386__) && !defined(__x86_64__)
#error "The floating-point environment is written for x86 processors with SSE2."
#endif

namespace fi {

TFloatEnvironment SaveFloatEnvironment() {
    TFloatEnvironment Environment;
    // FNSTENV masks every x87 exception as a side effect; FLDENV puts the
    // stored control word straight back.
    asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(Environment.X87) : : "memory");
    asm volatile("stmxcsr %0" : "=m"(Environment.Mxcsr) : : "memory");
    return Environment;
}

void RestoreFloatEnvironment(const TFloatEnvironment& Environment) {
    asm volatile("fldenv %0" : : "m"(Environment.X87) : "memory");
    asm volatile("ldmxcsr %0" : : "m"(Environment.Mxcsr) : "memory");
}

void LoadDefaultFloatEnvironment() {
    // FNINIT clears the x87 flags and sets 0x037F, the default control word.
    asm volatile("fninit" : : : "memory");
    SetSseControlStatus(DefaultMxcsr);
}

std::uint16_t X87ControlWord() {
    std::uint16_t ControlWord;
    asm volatile("fnstcw %0" : "=m"(ControlWord) : : "memory");
    return ControlWord;
}

void SetX87ControlWord(std::uint16_t ControlWord) { asm volatile("fldcw %0" : : "m"(ControlWord) : "memory"); }

std::uint32_t SseControlStatus() {
    std::uint32_t Mxcsr;
    asm volatile("stmxcsr %0" : "=m"(Mxcsr) : : "memory");
    return Mxcsr;
}

void SetSseControlStatus(std::uint32_t Mxcsr) { asm volatile("ldmxcsr %0" : : "m"(Mxcsr) : "memory"); }

} // namespace fi
