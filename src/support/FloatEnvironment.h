#pragma once
// The floating-point state of a thread, read and written directly: the x87
// environment (control word with precision and rounding, status flags) and
// the SSE control/status register. Both targets are x86 with SSE2, so one
// implementation serves; the C runtime's fenv functions are avoided because
// some runtimes probe the processor on every call.
#include <cmath>
#include <cstdint>

namespace fi {

struct TFloatEnvironment {
    // The x87 environment as FNSTENV stores it (protected-mode layout).
    std::uint8_t X87[28];
    std::uint32_t Mxcsr;
};

// The module's own environment: 64-bit x87 precision, round to nearest,
// every exception masked; SSE round to nearest, every exception masked, no
// flush-to-zero, no denormals-are-zero; no flag raised.
inline constexpr std::uint16_t DefaultX87ControlWord = 0x037F;
inline constexpr std::uint32_t DefaultMxcsr = 0x1F80;

TFloatEnvironment SaveFloatEnvironment();
void RestoreFloatEnvironment(const TFloatEnvironment& Environment);
void LoadDefaultFloatEnvironment();

// The x87 control word and the SSE control/status register on their own.
std::uint16_t X87ControlWord();
void SetX87ControlWord(std::uint16_t ControlWord);
std::uint32_t SseControlStatus();
void SetSseControlStatus(std::uint32_t Mxcsr);

// The flags of a failed computation: invalid operation (1), division by zero
// (4) and overflow (8), the same bits in the x87 status word and the SSE
// register. Read and written directly, a few instructions, where the C
// runtime's flag functions may cost far more per call.
inline constexpr unsigned FlagInvalid = 0x01;
inline constexpr unsigned FlagDivideByZero = 0x04;
inline constexpr unsigned FlagOverflow = 0x08;
inline constexpr unsigned FailureFlags = FlagInvalid | FlagDivideByZero | FlagOverflow;

struct TFailureFlags {
    unsigned X87 = 0;
    unsigned Sse = 0;
    // Raised in either unit.
    unsigned Any() const { return X87 | Sse; }
};

TFailureFlags RaisedFailureFlags();
// Sets exactly these failure flags in each unit; every other flag stays.
void SetFailureFlags(const TFailureFlags& Flags);

// Round to nearest, ties to even, of an extended value inside the 32-bit
// range. A single FRNDINT, which follows the rounding control but not the
// precision control, so a 53-bit precision setting cannot spoil it.
inline std::int32_t RoundExtended(long double V) { return std::int32_t(double(std::rint(V))); }

// While one exists, the thread runs in the module's default environment;
// whatever environment it had comes back when the scope ends, on every way
// out.
class TDefaultFloatScope {
public:
    TDefaultFloatScope() : Saved(SaveFloatEnvironment()) { LoadDefaultFloatEnvironment(); }
    ~TDefaultFloatScope() { RestoreFloatEnvironment(Saved); }
    TDefaultFloatScope(const TDefaultFloatScope&) = delete;
    TDefaultFloatScope& operator=(const TDefaultFloatScope&) = delete;

    const TFloatEnvironment& SavedEnvironment() const { return Saved; }

private:
    TFloatEnvironment Saved;
};

} // namespace fi
