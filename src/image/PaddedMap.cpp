#include "image/PaddedMap.h"

namespace fi {

TPaddedMap::TPaddedMap(const TFloatMap& Map, std::int32_t Pad)
    : FData(std::size_t(Map.Width + 2 * Pad) * std::size_t(Map.Height + 2 * Pad)), FStride(Map.Width + 2 * Pad),
      FOrigin(FData.data() + Pad * FStride + Pad) {
    double* Out = FData.data();
    for (std::int32_t y = -Pad; y < Map.Height + Pad; ++y)
        for (std::int32_t x = -Pad; x < Map.Width + Pad; ++x) *Out++ = Map.GetClamped(x, y);
}

} // namespace fi
