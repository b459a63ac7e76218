#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/WienerTestSupport.h"

namespace fi {
namespace {

using test::FillRandom;
using test::SameBits;
using test::TProcessorCountOverride;
using test::TProgressRecorder;

// The interpolator set up as the fixed process claims to behave.
void SquareSetupReference(const TFloatMap& Source, int RegionRadius, int NeighbourRadius, float Strength,
                          double Lambda, TFloatMap& Dest) {
    TFloatMap Copy(&Source);
    TBitmapWienerInterpolation I;
    I.SetupFractalSquare(2, NeighbourRadius);
    I.TrainingRegion = 2 * RegionRadius + 1;
    I.FilterStrength = Strength;
    I.Lambda = Lambda;
    I.Interpolate(Copy, Dest);
}

// Noise with a flat block in it, where an unregularised solve is singular.
void FillWithFlatBlock(TFloatMap& Map, int W, int H, std::uint64_t Seed) {
    FillRandom(Map, W, H, Seed);
    for (int y = 0; y < H * 2 / 3; ++y)
        for (int x = 0; x < W / 2; ++x) *Map.PixelPtr(x, y) = 42.0;
}

TEST(FractalInterpolate, SamePixelsAsTheSquareSetupAtFactorTwo) {
    const std::pair<int, int> Sizes[] = {{13, 11}, {5, 5}, {3, 2}, {2, 7}, {1, 6}, {6, 1}, {2, 2}};
    int Compared = 0;
    for (const auto& [W, H] : Sizes)
        for (int Neighbour : {1, 2})
            for (int Region : {1, 3})
                for (float Strength : {0.0f, 8.0f})
                    for (bool Flat : {false, true}) {
                        TFloatMap Source;
                        if (Flat)
                            FillWithFlatBlock(Source, W, H, std::uint64_t(W + H));
                        else
                            FillRandom(Source, W, H, std::uint64_t(W * H));
                        const double Lambda = Flat ? 0.0 : 0.01;
                        TFloatMap Expected;
                        SquareSetupReference(Source, Region, Neighbour, Strength, Lambda, Expected);
                        TFloatMap Dest;
                        FractalInterpolate(Source, Region, Neighbour, &Dest, Strength, Lambda);
                        ASSERT_TRUE(SameBits(Dest, Expected))
                            << W << "x" << H << " neighbour " << Neighbour << " region " << Region << " strength "
                            << Strength << (Flat ? " flat" : "");
                        ++Compared;
                    }
    EXPECT_EQ(Compared, 7 * 16);
}

TEST(FractalInterpolate, InPlaceAndSeparateDestination) {
    TFloatMap Source;
    FillRandom(Source, 7, 6, 31);
    const TFloatMap Original(&Source);
    TFloatMap Dest;
    FractalInterpolate(Source, 3, 1, &Dest, 8.0f, 0.01);
    EXPECT_TRUE(SameBits(Source, Original));
    ASSERT_EQ(Dest.Width, 14);
    ASSERT_EQ(Dest.Height, 12);

    FractalInterpolate(Source, 3, 1, nullptr, 8.0f, 0.01);
    EXPECT_TRUE(SameBits(Source, Dest));
    Source.Assign(&Original);
    FractalInterpolate(Source, 3, 1, &Source, 8.0f, 0.01);
    EXPECT_TRUE(SameBits(Source, Dest));

    // A constant source doubles unfiltered, without progress beyond the start.
    Source.SetSize(3, 4);
    Source.Fill(-2.5);
    TProgressRecorder Progress;
    FractalInterpolate(Source, 3, 1, nullptr, 8.0f, 0.01);
    ASSERT_EQ(Source.Width, 6);
    ASSERT_EQ(Source.Height, 8);
    for (int i = 0; i < Source.Count; ++i) EXPECT_EQ(Source.Map[i], -2.5);
    EXPECT_EQ(Progress.Values, (std::vector<int>{0}));
}

TEST(FractalInterpolate, ProgressAndCancel) {
    TFloatMap Source;
    FillRandom(Source, 4, 5, 6);
    {
        TProgressRecorder Progress;
        FractalInterpolate(Source, 1, 1, nullptr, 8.0f, 0.01);
        // The start, (y * 98) div 4 after each row, then the filter.
        EXPECT_EQ(Progress.Values, (std::vector<int>{0, 0, 24, 49, 73, 98, 99, 100}));
    }
    {
        FillRandom(Source, 4, 1, 6);
        TProgressRecorder Progress;
        FractalInterpolate(Source, 1, 1, nullptr, 0.0f, 0.01);
        EXPECT_EQ(Progress.Values, (std::vector<int>{0, 98}));
    }
    // A cancel leaves the source as it was and every worker ended.
    FillRandom(Source, 5, 64, 7);
    const TFloatMap Original(&Source);
    for (int AbortAt : {2, 10, 18}) {
        TProcessorCountOverride Override(4);
        TProgressRecorder Progress(AbortAt);
        EXPECT_THROW(FractalInterpolate(Source, 3, 1, nullptr, 8.0f, 0.01), EAbort);
        EXPECT_TRUE(SameBits(Source, Original));
        EXPECT_EQ(LiveWorkerCount.load(), 0);
    }
}

TEST(FractalInterpolate, ThreadCountAndTargetIndependent) {
    TFloatMap Source;
    FillWithFlatBlock(Source, 11, 70, 5);
    TFloatMap Reference;
    for (int Processors : {1, 2, 7}) {
        TProcessorCountOverride Override(Processors);
        TFloatMap Dest;
        FractalInterpolate(Source, 3, 1, &Dest, 8.0f, 0.01);
        if (Processors == 1)
            Reference.Assign(&Dest);
        else
            EXPECT_TRUE(SameBits(Dest, Reference)) << Processors << " processors";
    }
    std::uint64_t Hash = test::HashMap(Reference);
    TFloatMap Dest;
    FractalInterpolate(Source, 2, 2, &Dest, 0.0f, 0.001);
    Hash = test::HashMap(Dest, Hash);
    std::printf("fixed double-size: %016llx\n", static_cast<unsigned long long>(Hash));
    EXPECT_EQ(Hash, 0x45fd74a3b8681d1full);
}

} // namespace
} // namespace fi
