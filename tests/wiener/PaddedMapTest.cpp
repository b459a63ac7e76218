#include <gtest/gtest.h>

#include "wiener/PaddedMap.h"

namespace fi {
namespace {

// Pads wider than the map repeat its edge values all the way out.
TEST(PaddedMap, EveryPaddedValueIsTheClampedRead) {
    const std::pair<int, int> Sizes[] = {{1, 1}, {3, 2}, {2, 5}, {6, 4}};
    for (const auto& [W, H] : Sizes) {
        TFloatMap Map(W, H);
        for (int i = 0; i < Map.Count; ++i) Map.Map[i] = 10.0 * i + 1.0;
        for (int Pad : {0, 1, 3, 7}) {
            const TPaddedMap Padded(Map, Pad);
            EXPECT_EQ(Padded.Stride(), W + 2 * Pad);
            for (int y = -Pad; y < H + Pad; ++y)
                for (int x = -Pad; x < W + Pad; ++x)
                    ASSERT_EQ(Padded.Row(y)[x], Map.GetClamped(x, y)) << W << "x" << H << " pad " << Pad << " at " << x
                                                                      << "," << y;
        }
    }
}

} // namespace
} // namespace fi
