#pragma once
// A read-only copy of a float map with extra columns and rows on every side
// that hold what the edge-clamped accessor gives there, so that loops over
// neighbourhoods near the edges read through plain pointers.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/FloatMap.h"

namespace fi {

class TPaddedMap {
public:
    // Map must not be empty.
    TPaddedMap(const TFloatMap& Map, std::int32_t Pad);
    // Row Y, indexed by column; Y and the columns may lie up to Pad outside the map.
    const double* Row(std::int32_t Y) const { return FOrigin + std::ptrdiff_t(Y) * FStride; }
    std::ptrdiff_t Stride() const { return FStride; }

private:
    std::unique_ptr<double[]> FData;
    std::ptrdiff_t FStride;
    const double* FOrigin;
};

} // namespace fi
