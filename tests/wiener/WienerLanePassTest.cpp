#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "wiener/EngineChoice.h"
#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/SetupTable.h"
#include "wiener/LaneSolver.h"
#include "wiener/WienerTestSupport.h"

namespace fi {
namespace {

using test::FillRandom;
using test::SameBits;

struct TSettings {
    int Setup;
    int Scale;
    int Region;
    double Lambda;
    bool ClampWeights;
    bool NormalizeWeights;
    bool ClampResult;
};

std::string Describe(const TSettings& S, const TFloatMap& Source) {
    return std::string(SetupNames[S.Setup]) + " x" + std::to_string(S.Scale) + " region " +
           std::to_string(S.Region) + " lambda " + std::to_string(S.Lambda) + " switches " +
           std::to_string(S.ClampWeights) + std::to_string(S.NormalizeWeights) + std::to_string(S.ClampResult) +
           " on " + std::to_string(Source.Width) + "x" + std::to_string(Source.Height) + ", " + LaneTarget();
}

void Enlarge(TEngine Engine, const TFloatMap& Source, const TSettings& S, TFloatMap& Dest) {
    const TEngineScope Scope(Engine);
    TBitmapWienerInterpolation I;
    ApplySetup(I, S.Setup, S.Scale);
    I.TrainingRegion = S.Region;
    I.Lambda = S.Lambda;
    I.ClampWeights = S.ClampWeights;
    I.NormalizeWeights = S.NormalizeWeights;
    I.ClampResult = S.ClampResult;
    I.Interpolate(Source, Dest);
}

void ExpectSameAsReference(const TFloatMap& Source, const TSettings& S) {
    TFloatMap Expected, Fast;
    Enlarge(TEngine::Reference, Source, S, Expected);
    Enlarge(TEngine::Fast, Source, S, Fast);
    EXPECT_TRUE(SameBits(Fast, Expected)) << Describe(S, Source);
}

// Every setup with its own parameters, then regions below and above them,
// every switch, and sides around the training square and the factor.
TEST(WienerLanePass, EverySetupGivesTheReferenceDoubles) {
    const std::pair<int, int> Sizes[] = {{1, 1}, {3, 2}, {7, 9}, {23, 17}};
    for (int Setup = 0; Setup < SetupCount; ++Setup)
        for (int Scale : {2, 3, 4}) {
            TBitmapWienerInterpolation Defaults;
            ApplySetup(Defaults, Setup, Scale);
            if (!SetupHasScale(Setup) && Scale != Defaults.ScaleFactor) continue;
            for (const auto& [W, H] : Sizes) {
                TFloatMap Source;
                FillRandom(Source, W, H, std::uint64_t(W * 7 + H + Setup));
                ExpectSameAsReference(Source, {Setup, Scale, Defaults.TrainingRegion, Defaults.Lambda,
                                               Defaults.ClampWeights, Defaults.NormalizeWeights, Defaults.ClampResult});
            }
        }
    TFloatMap Source;
    FillRandom(Source, 19, 14, 3);
    for (int Setup = 0; Setup < SetupCount; ++Setup)
        for (int Region : {1, 3, 7, 13})
            for (int Switches = 0; Switches < 8; Switches += 3)
                ExpectSameAsReference(Source, {Setup, 2, Region, 0.01, (Switches & 1) != 0, (Switches & 2) != 0,
                                               (Switches & 4) != 0});
    TFloatMap Small;
    FillRandom(Small, 5, 4, 6);
    for (int Setup : {2, 3}) ExpectSameAsReference(Small, {Setup, 16, 7, 0.01, false, false, true});
}

// Flat regions without regularisation are singular; huge values overflow,
// NaN and infinities poison the sums: the reference's fallbacks, exactly.
TEST(WienerLanePass, FailingSolvesFallBackExactly) {
    TFloatMap Flat;
    FillRandom(Flat, 26, 21, 4);
    test::FlattenCorner(Flat, 13, 14, 42.0);
    for (int Setup = 0; Setup < SetupCount; ++Setup) ExpectSameAsReference(Flat, {Setup, 2, 5, 0.0, false, true, true});

    const double Specials[] = {1e300, -1e300, 1e-310, std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    for (double Special : Specials) {
        TFloatMap Source;
        FillRandom(Source, 17, 15, 8);
        for (int i = 0; i < Source.Count; i += 29) Source.Map[i] = Special;
        for (int Setup : {0, 2, 6}) ExpectSameAsReference(Source, {Setup, 2, 4, 0.001, true, true, true});
    }
}

TEST(WienerLanePass, EveryVectorUnitAndThreadCountGivesTheSameDoubles) {
    TFloatMap Source;
    FillRandom(Source, 29, 40, 12);
    // Relations of their own passes, and the shared passes of fractal
    // setups, whose key rows the passes and their items divide among them.
    const std::pair<int, int> SetupsAndScales[] = {{1, 4}, {2, 2}, {6, 2}, {3, 3}};
    for (const auto& [Setup, Scale] : SetupsAndScales) {
        const TSettings S{Setup, Scale, 5, 1e-4, false, true, true};
        TFloatMap Expected;
        Enlarge(TEngine::Reference, Source, S, Expected);
        test::ForEveryVectorUnitAndThreadCount([&](const std::string& Where) {
            TFloatMap Fast;
            Enlarge(TEngine::Fast, Source, S, Fast);
            EXPECT_TRUE(SameBits(Fast, Expected)) << Describe(S, Source) << ", " << Where;
        });
    }
}

} // namespace
} // namespace fi
