#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "wiener/EngineChoice.h"
#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/LaneSolver.h"
#include "wiener/WienerTestSupport.h"

namespace fi {
namespace {

using test::FillRandom;
using test::SameBits;

struct TCase {
    int RegionRadius;
    int NeighbourRadius;
    float Strength;
    double Lambda;
};

void Enlarge(TEngine Engine, const TFloatMap& Source, const TCase& C, TFloatMap& Dest) {
    const TEngineScope Scope(Engine);
    TFloatMap Copy(&Source);
    FractalInterpolate(Copy, C.RegionRadius, C.NeighbourRadius, &Dest, C.Strength, C.Lambda);
}

// The fast engine against the reference on one source; the message names the case.
void ExpectSameAsReference(const TFloatMap& Source, const TCase& C, const std::string& What) {
    TFloatMap Expected, Fast;
    Enlarge(TEngine::Reference, Source, C, Expected);
    Enlarge(TEngine::Fast, Source, C, Fast);
    EXPECT_TRUE(SameBits(Fast, Expected)) << What << " " << Source.Width << "x" << Source.Height << " region radius "
                                          << C.RegionRadius << " neighbour radius " << C.NeighbourRadius
                                          << " strength " << C.Strength << " lambda " << C.Lambda << " on "
                                          << LaneTarget();
}

// Sides below, at and above the training square, odd and even, and blocks
// of keys that end inside the row or reach past it.
TEST(FractalLanePass, SameDoublesAsTheReferenceOnNoise) {
    const std::pair<int, int> Sizes[] = {{1, 1}, {2, 2}, {3, 2}, {5, 5}, {13, 11}, {40, 3}, {3, 40}, {17, 16}};
    for (const auto& [W, H] : Sizes)
        for (int Region : {0, 1, 3, 6})
            for (int Neighbour : {1, 2}) {
                TFloatMap Source;
                FillRandom(Source, W, H, std::uint64_t(W * 31 + H));
                ExpectSameAsReference(Source, {Region, Neighbour, Region == 3 ? 8.0f : 0.0f, 0.01}, "noise");
            }
    TFloatMap Large;
    FillRandom(Large, 67, 53, 9);
    ExpectSameAsReference(Large, {3, 1, 8.0f, 0.01}, "noise");
}

// Unregularised solves of flat regions are singular, and huge values
// overflow: those blocks go the reference way, their neighbours do not.
TEST(FractalLanePass, SingularSystemsAndFailingArithmeticFallBackExactly) {
    TFloatMap Flat;
    FillRandom(Flat, 29, 23, 4);
    test::FlattenCorner(Flat, 14, 15, 42.0);
    for (int Region : {1, 3})
        for (int Neighbour : {1, 2}) ExpectSameAsReference(Flat, {Region, Neighbour, 0.0f, 0.0}, "flat block");

    const double Specials[] = {1e300, -1e300, 1e-310, std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    for (double Special : Specials) {
        TFloatMap Source;
        FillRandom(Source, 21, 19, 8);
        for (int i = 0; i < Source.Count; i += 37) Source.Map[i] = Special;
        ExpectSameAsReference(Source, {3, 1, 8.0f, 0.01}, "special " + std::to_string(Special));
        ExpectSameAsReference(Source, {1, 1, 0.0f, 0.0}, "special " + std::to_string(Special));
    }
    TFloatMap Huge;
    FillRandom(Huge, 19, 17, 5);
    for (int i = 0; i < Huge.Count; ++i) Huge.Map[i] *= 1e150;
    ExpectSameAsReference(Huge, {3, 1, 8.0f, 0.01}, "huge");
}

TEST(FractalLanePass, EveryVectorUnitAndThreadCountGivesTheSameDoubles) {
    TFloatMap Source;
    FillRandom(Source, 37, 41, 12);
    test::FlattenCorner(Source, 10, 30, 7.0);
    const TCase Cases[] = {{3, 1, 8.0f, 0.01}, {1, 2, 0.0f, 0.0}};
    for (const TCase& C : Cases) {
        TFloatMap Expected;
        Enlarge(TEngine::Reference, Source, C, Expected);
        test::ForEveryVectorUnitAndThreadCount([&](const std::string& Where) {
            TFloatMap Fast;
            Enlarge(TEngine::Fast, Source, C, Fast);
            EXPECT_TRUE(SameBits(Fast, Expected)) << Where;
        });
    }
}

} // namespace
} // namespace fi
