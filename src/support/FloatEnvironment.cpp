#include "support/FloatEnvironment.h"

#include <cstring>

#if !defined(__i386__) && !defined(__x86_64__)
#error "The floating-point environment is written for x86 processors with SSE2."
#endif

namespace fi {

namespace {
// Words of the x87 environment as FNSTENV stores it in 32-bit and 64-bit mode.
constexpr int ControlWordAt = 0;
constexpr int StatusWordAt = 4;
// Of the status word only the exception flags, the stack fault and the error
// summary are environment; the register stack's top and the condition codes
// belong to whatever values the compiler keeps in x87 registers right now.
constexpr std::uint16_t EnvironmentStatusBits = 0x00FF;
} // namespace

TFloatEnvironment SaveFloatEnvironment() {
    TFloatEnvironment Environment;
    // FNSTENV masks every x87 exception as a side effect; FLDENV puts the
    // stored control word straight back.
    asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(Environment.X87) : : "memory");
    asm volatile("stmxcsr %0" : "=m"(Environment.Mxcsr) : : "memory");
    return Environment;
}

void RestoreFloatEnvironment(const TFloatEnvironment& Environment) {
    // Loaded over the current environment, so that the register tags and the
    // stack top stay as they are: loading the saved ones would discard
    // values held in x87 registers across this call.
    std::uint8_t Current[sizeof Environment.X87];
    asm volatile("fnstenv %0" : "=m"(Current) : : "memory");
    std::uint16_t Control, Status, SavedStatus;
    std::memcpy(&Control, Environment.X87 + ControlWordAt, 2);
    std::memcpy(&Status, Current + StatusWordAt, 2);
    std::memcpy(&SavedStatus, Environment.X87 + StatusWordAt, 2);
    Status = std::uint16_t((Status & ~EnvironmentStatusBits) | (SavedStatus & EnvironmentStatusBits));
    std::memcpy(Current + ControlWordAt, &Control, 2);
    std::memcpy(Current + StatusWordAt, &Status, 2);
    asm volatile("fldenv %0" : : "m"(Current) : "memory");
    asm volatile("ldmxcsr %0" : : "m"(Environment.Mxcsr) : "memory");
}

void LoadDefaultFloatEnvironment() {
    // Not FNINIT: that would also empty the register stack under values the
    // compiler may hold there.
    asm volatile("fnclex" : : : "memory");
    SetX87ControlWord(DefaultX87ControlWord);
    SetSseControlStatus(DefaultMxcsr);
}

TFailureFlags RaisedFailureFlags() {
    std::uint16_t Status;
    asm volatile("fnstsw %0" : "=m"(Status) : : "memory");
    return {Status & FailureFlags, SseControlStatus() & FailureFlags};
}

void SetFailureFlags(const TFailureFlags& Flags) {
    SetSseControlStatus((SseControlStatus() & ~FailureFlags) | (Flags.Sse & FailureFlags));
    std::uint16_t Status;
    asm volatile("fnstsw %0" : "=m"(Status) : : "memory");
    if ((Status & FailureFlags) == (Flags.X87 & FailureFlags)) return;
    // The x87 flags change only through its whole environment.
    std::uint8_t Environment[sizeof TFloatEnvironment::X87];
    asm volatile("fnstenv %0" : "=m"(Environment) : : "memory");
    std::memcpy(&Status, Environment + StatusWordAt, 2);
    Status = std::uint16_t((Status & ~FailureFlags) | (Flags.X87 & FailureFlags));
    std::memcpy(Environment + StatusWordAt, &Status, 2);
    asm volatile("fldenv %0" : : "m"(Environment) : "memory");
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
