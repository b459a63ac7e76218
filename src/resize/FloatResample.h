#pragma once
// Centre-aligned resampling of a float map with the Catmull-Rom cubic:
// destination sample k of an axis sits at source position
// (k + 0.5) * Source / Dest - 0.5, edges are clamped, and a reduction widens
// the kernel by the reduction factor so that it also smooths.
#include <cstdint>

#include "image/FloatMap.h"

namespace fi {

// Map resampled in place to Width x Height (each at least 1); unchanged when
// it has that size already.
void ResampleCubic(TFloatMap& Map, std::int32_t Width, std::int32_t Height);

} // namespace fi
