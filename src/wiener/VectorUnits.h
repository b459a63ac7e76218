#pragma once
// The vector units the fast kernels are compiled for, and the one they run
// on. Natively Highway's library picks the best the processor has; the
// Windows build has Highway's headers only and picks by CPUID itself. Every
// unit gives the same bits, only in more or fewer lanes at a time.
//
// For tests and benchmarks, FI_VECTOR=scalar|ssse3|sse4|avx2|avx512 in the
// environment makes the kernels start on that unit instead, when the build
// and the processor have it (else a one-line note, and the best is used).
#include <cstddef>
#include <cstdint>

namespace fi {

// The units this build can use on this processor, best first; for tests,
// which run the kernels on each in turn.
std::int32_t VectorUnitCount();
// Makes every kernel use unit Index of that list; -1 returns to the unit
// the process started on.
void ForceVectorUnit(std::int32_t Index);

// For the platform layers: the index in Units (Highway's target bits, best
// first) of the unit FI_VECTOR names; 0, the best, when it is not set, or
// with a one-line note when it names none of them.
std::size_t StartingVectorUnit(const std::int64_t* Units, std::size_t Count);

// Applies FI_VECTOR once, before the first kernel runs; the dispatch of
// every kernel calls it.
void StartVectorUnitOnce();

} // namespace fi
