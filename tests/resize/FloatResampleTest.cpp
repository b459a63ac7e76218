// The centred cubic: where its samples sit, what it keeps, and its edges.
#include "resize/FloatResample.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fi::test {
namespace {

// Destination sample k of an axis lies at (k + 0.5) * From / To - 0.5; the
// cubic reproduces a linear ramp there away from the clamped edges when
// enlarging (a widened kernel only nearly, its taps falling between its
// knots), and keeps a constant everywhere.
TEST(FloatResample, SamplesSitCentredAndKeepRampsAndConstants) {
    struct TCase {
        std::int32_t From, To;
    };
    for (const TCase C : {TCase{10, 20}, TCase{10, 15}, TCase{12, 36}, TCase{40, 30}, TCase{40, 20}}) {
        TFloatMap Ramp(C.From, 3), Flat(C.From, 3);
        for (std::int32_t y = 0; y < 3; ++y)
            for (std::int32_t x = 0; x < C.From; ++x) {
                *Ramp.PixelPtr(x, y) = 2.0 * x + 1;
                *Flat.PixelPtr(x, y) = 7.25;
            }
        ResampleCubic(Ramp, C.To, 5);
        ResampleCubic(Flat, C.To, 5);
        ASSERT_EQ(Ramp.Width, C.To);
        ASSERT_EQ(Ramp.Height, 5);
        const double Ratio = double(C.From) / C.To;
        // The kernel reaches two source samples, widened by a reduction.
        const double Reach = 2 * std::fmax(1.0, Ratio) + 1;
        for (std::int32_t y = 0; y < 5; ++y)
            for (std::int32_t k = 0; k < C.To; ++k) {
                EXPECT_NEAR(*Flat.PixelPtr(k, y), 7.25, 1e-12) << C.From << "->" << C.To << " at " << k;
                const double At = (k + 0.5) * Ratio - 0.5;
                if (At - Reach < 0 || At + Reach > C.From - 1) continue;
                EXPECT_NEAR(*Ramp.PixelPtr(k, y), 2.0 * At + 1, Ratio > 1 ? 0.05 : 1e-9)
                    << C.From << "->" << C.To << " at " << k;
            }
    }
}

// A single pixel, a same-size call and an edge step that must not overshoot
// far: Catmull-Rom's overshoot is bounded by an eighth of the step.
TEST(FloatResample, TinyMapsSameSizeAndStepOvershoot) {
    TFloatMap One(1, 1);
    One.Map[0] = 3;
    ResampleCubic(One, 4, 3);
    for (std::int32_t i = 0; i < One.Count; ++i) EXPECT_DOUBLE_EQ(One.Map[i], 3);

    TFloatMap Step(8, 1);
    for (std::int32_t x = 0; x < 8; ++x) Step.Map[x] = x < 4 ? 0 : 100;
    const double* Before = Step.Map;
    ResampleCubic(Step, 8, 1);
    EXPECT_EQ(Step.Map, Before);
    ResampleCubic(Step, 24, 1);
    for (std::int32_t x = 0; x < 24; ++x) {
        EXPECT_GE(Step.Map[x], -12.5);
        EXPECT_LE(Step.Map[x], 112.5);
    }
    EXPECT_LT(Step.Map[0], 1e-12);
    EXPECT_GT(Step.Map[23], 100 - 1e-12);
}

} // namespace
} // namespace fi::test
