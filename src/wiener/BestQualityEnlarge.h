#pragma once
// The enlargement of photographs at the best quality measured: the engine's
// fractal doubling on the luma of a colour image, the colour differences
// resampled centred on it, and scales that are no power of two reached by a
// last cubic resampling from the largest doubling below them.
#include <cstdint>
#include <vector>

#include "image/FloatMap.h"

namespace fi {

// The engine's parameters for each doubling (region 13, 3x3 neighbourhood).
struct TBestQualitySettings {
    std::int32_t RegionRadius = 6;
    std::int32_t NeighbourRadius = 1;
    float FilterStrength = 2.0f;
    double Lambda = 0.03;
};

// Enlarges Planes by Scale (at least 1) in place: one plane is gray, three
// are red, green and blue of the same size. Values are on the scale of 8-bit
// samples, which the regularisation and the filter strength are measured on.
void EnlargeBestQuality(const std::vector<TFloatMap*>& Planes, std::int32_t Scale,
                        const TBestQualitySettings& Settings = {});

// How many of the engine's doublings an enlargement by Scale runs, one
// progress pass each.
std::int32_t BestQualityDoublings(std::int32_t Scale);

} // namespace fi
