#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "colour/ColourPlanes.h"

namespace fi {
namespace {

struct TTriple {
    int R0, R1, R2;
    bool operator==(const TTriple&) const = default;
};

TTriple Transform(int A, int B, int C, const TColourMatrix& Matrix) {
    std::uint8_t R0, R1, R2;
    TransformPixel(std::uint8_t(A), std::uint8_t(B), std::uint8_t(C), Matrix, R0, R1, R2);
    return {R0, R1, R2};
}

// The same rows in plain double arithmetic.
int DoubleRow(const double* Row, int A, int B, int C) {
    const double V = Row[0] * A + Row[1] * B + Row[2] * C + Row[3];
    return int(std::min(255L, std::max(0L, std::lrint(V))));
}

TEST(ColourPlanes, TransformOfKnownColours) {
    // Red, green, blue in; black gives differences of 127.5 rounded to even.
    EXPECT_EQ(Transform(0, 0, 0, YCbCrMatrix), (TTriple{0, 128, 128}));
    EXPECT_EQ(Transform(255, 0, 0, YCbCrMatrix), (TTriple{76, 84, 255}));
    // The blue-difference weights sum to -0.00001: white lies just below 127.5.
    EXPECT_EQ(Transform(255, 255, 255, YCbCrMatrix), (TTriple{255, 127, 128}));
    // 0.114 * 250 lies just above 28.5: extended precision sees it, double does not.
    EXPECT_EQ(Transform(0, 0, 250, YCbCrMatrix).R0, 29);
    EXPECT_EQ(DoubleRow(&YCbCrMatrix[0], 0, 0, 250), 28);
    // Out-of-range results clamp.
    EXPECT_EQ(Transform(0, 0, 255, InverseYCbCrMatrix).R2, 0);
    EXPECT_EQ(Transform(255, 0, 255, InverseYCbCrMatrix).R0, 255);
}

TEST(ColourPlanes, ExtendedPrecisionDecidesExactlyTheKnownCount) {
    // Over all colours, the split channel values whose rounding differs
    // between extended and double arithmetic.
    int Differences = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const TTriple T = Transform(r, g, b, YCbCrMatrix);
                Differences += (T.R0 != DoubleRow(&YCbCrMatrix[0], r, g, b)) +
                               (T.R1 != DoubleRow(&YCbCrMatrix[4], r, g, b)) +
                               (T.R2 != DoubleRow(&YCbCrMatrix[8], r, g, b));
            }
    EXPECT_EQ(Differences, 6907);
}

TEST(ColourPlanes, InverseMatrixUndoesTheSplit) {
    TColourMatrix Product{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) Product[i * 4 + j] += YCbCrMatrix[i * 4 + k] * InverseYCbCrMatrix[k * 4 + j];
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(Product[i], i % 5 == 0 ? 1.0 : 0.0, 1e-12) << i;
    EXPECT_NEAR(InverseYCbCrMatrix[3], -1.402 * 127.5, 0.01);

    // Round trips stay within the rounding of the two conversions.
    int Worst = 0;
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 3)
            for (int b = 0; b < 256; b += 7) {
                const TTriple S = Transform(r, g, b, YCbCrMatrix);
                const TTriple Back = Transform(S.R0, S.R1, S.R2, InverseYCbCrMatrix);
                Worst = std::max({Worst, std::abs(Back.R0 - r), std::abs(Back.R1 - g), std::abs(Back.R2 - b)});
            }
    EXPECT_LE(Worst, 2);
    // Gray stored as colour comes back gray up to that rounding.
    for (int v = 0; v < 256; ++v) {
        const TTriple S = Transform(v, v, v, YCbCrMatrix);
        EXPECT_EQ(S.R0, v);
        EXPECT_LE(std::abs(S.R1 - 128) + std::abs(S.R2 - 128), 2) << v;
        const TTriple Back = Transform(S.R0, S.R1, S.R2, InverseYCbCrMatrix);
        EXPECT_LE(std::max({std::abs(Back.R0 - v), std::abs(Back.R1 - v), std::abs(Back.R2 - v)}), 1) << v;
    }
}

TEST(ColourPlanes, SplitAndMergeByteLayout) {
    // Two pixels stored blue, green, red: pure red and (0, 0, 250).
    TLinearBitmap Source(2, 1, TPixelFormat::pf24bit);
    const std::uint8_t Pixels[6] = {0, 0, 255, 250, 0, 0};
    std::memcpy(Source.Map, Pixels, 6);
    TColourPlanes Planes;
    SplitColourPlanes(Source, Planes, YCbCrMatrix);
    ASSERT_TRUE(Planes.Luma && Planes.BlueDiff && Planes.RedDiff);
    for (const TLinearBitmap* Plane : {Planes.Luma.get(), Planes.BlueDiff.get(), Planes.RedDiff.get()}) {
        EXPECT_EQ(Plane->Width, 2);
        EXPECT_EQ(Plane->Height, 1);
        EXPECT_EQ(Plane->PixelFormat, TPixelFormat::pf8bit);
        EXPECT_TRUE(Plane->IsGrayscale());
    }
    EXPECT_EQ(Planes.Luma->Map[0], 76);
    EXPECT_EQ(Planes.BlueDiff->Map[0], 84);
    EXPECT_EQ(Planes.RedDiff->Map[0], 255);
    EXPECT_EQ(Planes.Luma->Map[1], 29);

    // Merging with the identity writes red, green, blue as bytes 2, 1, 0.
    TColourMatrix Identity{};
    Identity[0] = Identity[5] = Identity[10] = Identity[15] = 1;
    TLinearBitmap Dest;
    MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, Identity, Dest);
    ASSERT_EQ(Dest.PixelFormat, TPixelFormat::pf24bit);
    ASSERT_EQ(Dest.Size, 6);
    EXPECT_EQ(Dest.Map[0], 255);
    EXPECT_EQ(Dest.Map[1], 84);
    EXPECT_EQ(Dest.Map[2], 76);

    MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, InverseYCbCrMatrix, Dest);
    for (int i = 0; i < 6; ++i) EXPECT_LE(std::abs(Dest.Map[i] - Pixels[i]), 2) << i;

    // Merging into one of the planes reads it before it is replaced.
    TLinearBitmap Expected;
    Expected.Assign(&Dest);
    MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, InverseYCbCrMatrix, *Planes.Luma);
    EXPECT_EQ(std::memcmp(Planes.Luma->Map, Expected.Map, 6), 0);

    FreePlanes(Planes);
    EXPECT_FALSE(Planes.Luma || Planes.BlueDiff || Planes.RedDiff);
}

TEST(ColourPlanes, PaddedRowsAndRefusedInputs) {
    TLinearBitmap Padded;
    Padded.SetSize(3, 2, TPixelFormat::pf24bit, 12);
    std::memset(Padded.Map, 255, std::size_t(Padded.Size));
    for (std::int32_t y = 0; y < 2; ++y) std::memset(Padded.Line(y), 0, 9);
    TColourPlanes Planes;
    SplitColourPlanes(Padded, Planes, YCbCrMatrix);
    EXPECT_EQ(Planes.Luma->Size, 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Planes.Luma->Map[i], 0);

    TLinearBitmap Gray(3, 2, TPixelFormat::pf8bit);
    TColourPlanes Refused;
    EXPECT_THROW(SplitColourPlanes(Gray, Refused, YCbCrMatrix), ELinearBitmap);
    EXPECT_FALSE(Refused.Luma);

    TLinearBitmap Small(2, 2, TPixelFormat::pf8bit), Dest;
    EXPECT_THROW(MergeColourPlanes(*Planes.Luma, Small, *Planes.RedDiff, YCbCrMatrix, Dest), ELinearBitmap);
    EXPECT_THROW(MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, Padded, YCbCrMatrix, Dest), ELinearBitmap);
    EXPECT_FALSE(Dest.Present);
}

} // namespace
} // namespace fi
