#include <gtest/gtest.h>

#include "common/AllocationCount.h"
#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/WienerTestSupport.h"

namespace fi {
namespace {

using test::AllocationCount;
using test::FillRandom;

// Allocations of one enlargement of a W x 20 noise map on one thread (so
// that no worker threads are counted).
template <typename TEnlarge>
std::int64_t CountAllocations(int W, TEnlarge Enlarge) {
    test::TProcessorCountOverride Override(1);
    TFloatMap Source;
    FillRandom(Source, W, 20, 3);
    TFloatMap Dest;
    const std::int64_t Before = AllocationCount();
    Enlarge(Source, Dest);
    return AllocationCount() - Before;
}

// Four times the pixels, the same number of allocations: nothing is
// allocated per pixel, only per pass and per work item.
TEST(WienerAllocations, DoNotGrowWithThePixelCount) {
    for (int Setup = 0; Setup < 4; ++Setup) {
        auto Enlarge = [Setup](TFloatMap& Source, TFloatMap& Dest) {
            TBitmapWienerInterpolation I;
            if (Setup == 0) I.SetupXinLi2x();
            if (Setup == 1) I.SetupXinLi4x();
            if (Setup == 2) I.SetupFractalStar(3);
            if (Setup == 3) I.SetupFractalSquareXinLi(1);
            I.FilterStrength = 4.0f;
            I.Interpolate(Source, Dest);
        };
        // The first run also makes what the module keeps for good (how many
        // depends on the build: link-time optimisation moves some of it).
        CountAllocations(12, Enlarge);
        const std::int64_t Small = CountAllocations(12, Enlarge);
        EXPECT_GT(Small, 0);
        EXPECT_EQ(CountAllocations(48, Enlarge), Small) << "setup " << Setup;
    }
    auto Fixed = [](TFloatMap& Source, TFloatMap& Dest) { FractalInterpolate(Source, 3, 1, &Dest, 8.0f, 0.01); };
    EXPECT_EQ(CountAllocations(48, Fixed), CountAllocations(12, Fixed));
}

} // namespace
} // namespace fi
