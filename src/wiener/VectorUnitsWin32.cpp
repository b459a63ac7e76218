// The Windows build has Highway's headers but not its library, so it asks
// the processor itself which of the compiled units it can run: each needs
// every instruction set the unit's code is compiled with.
#include "wiener/VectorUnits.h"

#include <atomic>
#include <cpuid.h>

#include "wiener/VectorDispatch.h"

namespace fi {
namespace {

struct TProcessor {
    bool Ssse3 = false;
    bool Sse4 = false;
    bool Avx2 = false;
};

TProcessor ReadProcessor() {
    unsigned A = 0, B = 0, C = 0, D = 0;
    TProcessor P;
    if (!__get_cpuid(1, &A, &B, &C, &D)) return P;
    const auto Bit = [](unsigned Word, int N) { return ((Word >> N) & 1u) != 0; };
    P.Ssse3 = Bit(D, 26) && Bit(C, 0) && Bit(C, 9);
    P.Sse4 = P.Ssse3 && Bit(C, 19) && Bit(C, 20);
    // AVX state must also be saved by the system (XCR0 bits 1 and 2).
    const bool Avx = P.Sse4 && Bit(C, 27) && Bit(C, 28) && Bit(C, 12) && Bit(C, 29);
    if (!Avx) return P;
    unsigned Xcr0 = 0, Xcr0High = 0;
    __asm__ __volatile__("xgetbv" : "=a"(Xcr0), "=d"(Xcr0High) : "c"(0));
    if ((Xcr0 & 6u) != 6u || __get_cpuid_max(0, nullptr) < 7) return P;
    __cpuid_count(7, 0, A, B, C, D);
    P.Avx2 = Bit(B, 5) && Bit(B, 3) && Bit(B, 8);
    return P;
}

bool CanRun(const TProcessor& P, std::int64_t Unit) {
    if ((Unit & HWY_TARGETS) == 0) return false;
    if (Unit == HWY_AVX2) return P.Avx2;
    if (Unit == HWY_SSE4) return P.Sse4;
    if (Unit == HWY_SSSE3) return P.Ssse3;
    return true;
}

struct TUnits {
    std::size_t Slot[DispatchedUnitCount] = {};
    std::int32_t Count = 0;
    std::size_t Starting = 0;
};

const TUnits& Usable() {
    static const TUnits Units = [] {
        TUnits U;
        const TProcessor P = ReadProcessor();
        std::int64_t Targets[DispatchedUnitCount] = {};
        for (std::size_t s = 0; s < DispatchedUnitCount; ++s)
            if (s + 1 == DispatchedUnitCount || CanRun(P, DispatchedUnits[s])) {
                Targets[U.Count] = DispatchedUnits[s];
                U.Slot[U.Count++] = s;
            }
        U.Starting = U.Slot[StartingVectorUnit(Targets, std::size_t(U.Count))];
        return U;
    }();
    return Units;
}

// Set while no kernel runs (before a pass, by tests); the passes' threads
// only read it.
std::atomic<std::size_t> Slot{DispatchedUnitCount};

} // namespace

void StartVectorUnitOnce() {
    static const bool Started = [] {
        Slot.store(Usable().Starting, std::memory_order_relaxed);
        return true;
    }();
    (void)Started;
}

std::size_t VectorUnitSlot() {
    StartVectorUnitOnce();
    return Slot.load(std::memory_order_relaxed);
}

std::int32_t VectorUnitCount() { return Usable().Count; }

void ForceVectorUnit(std::int32_t Index) {
    StartVectorUnitOnce();
    Slot.store(Index < 0 ? Usable().Starting : Usable().Slot[std::size_t(Index)], std::memory_order_relaxed);
}

} // namespace fi
