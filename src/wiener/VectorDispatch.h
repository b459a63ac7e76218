#pragma once
// How a kernel's entry point reaches the kernel compiled for the vector unit
// in use; for the HWY_ONCE part of a file compiled once per unit by
// Highway's foreach_target, after highway.h.
//
//   FI_EXPORT(Kernel);                   at namespace fi scope, once
//   FI_DISPATCH(Kernel)(Arguments...);   calls the unit in use
#include <cstddef>
#include <cstdint>
#include <hwy/detect_targets.h>

#include "wiener/VectorUnits.h"

#if FI_OWN_VECTOR_DISPATCH
namespace fi {

// The Windows build's units in the order of every kernel's table, the
// fallback (one lane) last.
inline constexpr std::int64_t DispatchedUnits[] = {HWY_AVX2, HWY_SSE4, HWY_SSSE3, HWY_SCALAR | HWY_EMU128};
inline constexpr std::size_t DispatchedUnitCount = sizeof(DispatchedUnits) / sizeof(DispatchedUnits[0]);

// The table slot of the unit in use.
std::size_t VectorUnitSlot();

} // namespace fi

// A unit the build did not compile has a null entry, which VectorUnitSlot
// never names.
#define FI_EXPORT(Kernel)                                                                                             \
    static decltype(&HWY_STATIC_DISPATCH(Kernel)) const Kernel##ByUnit[::fi::DispatchedUnitCount] = {                 \
        HWY_CHOOSE_AVX2(Kernel), HWY_CHOOSE_SSE4(Kernel), HWY_CHOOSE_SSSE3(Kernel), HWY_CHOOSE_FALLBACK(Kernel)}
#define FI_DISPATCH(Kernel) (*Kernel##ByUnit[::fi::VectorUnitSlot()])
#else
#define FI_EXPORT(Kernel) HWY_EXPORT(Kernel)
#define FI_DISPATCH(Kernel) (::fi::StartVectorUnitOnce(), HWY_DYNAMIC_DISPATCH(Kernel))
#endif
