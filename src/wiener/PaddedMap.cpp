#include "wiener/PaddedMap.h"

#include <algorithm>

#include "parallel/MultiCoreProcessing.h"
#include "support/LargeBlocks.h"

namespace fi {

TPaddedMap::TPaddedMap(const TFloatMap& Map, std::int32_t Pad)
    : FData(std::make_unique_for_overwrite<double[]>(std::size_t(Map.Width + 2 * Pad) *
                                                     std::size_t(Map.Height + 2 * Pad))),
      FStride(Map.Width + 2 * Pad), FOrigin(FData.get() + Pad * FStride + Pad) {
    AdviseLargeBlock(FData.get(), std::size_t(FStride) * std::size_t(Map.Height + 2 * Pad) * sizeof(double));
    // Every row is written whole, so the buffer is never cleared first.
    RunRows(-Pad, Map.Height + Pad - 1, 64, [&](const TRowRange& Rows) {
        for (std::int32_t y = Rows.First; y <= Rows.Last; ++y) {
            const double* In = Map.RowPtr(std::clamp(y, 0, Map.Height - 1));
            double* Out = FData.get() + std::ptrdiff_t(y + Pad) * FStride;
            Out = std::fill_n(Out, Pad, In[0]);
            Out = std::copy_n(In, Map.Width, Out);
            std::fill_n(Out, Pad, In[Map.Width - 1]);
        }
    });
}

} // namespace fi
