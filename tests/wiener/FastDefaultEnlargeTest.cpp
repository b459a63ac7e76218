#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "colour/ColourPlanes.h"
#include "resize/BitmapResize.h"
#include "wiener/FastDefaultEnlarge.h"

namespace fi {
namespace {

// The default setting's regularisation and artefact filter strength.
constexpr double DefaultLambda = 0.01;
constexpr float DefaultStrength = 8.0f;

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<TLinearBitmap> Pattern(std::int32_t W, std::int32_t H, TPixelFormat Format, std::uint32_t Seed) {
    auto Bitmap = std::make_unique<TLinearBitmap>(W, H, Format);
    std::uint32_t State = Seed * 2654435761u + 7u;
    for (std::int32_t y = 0; y < H; ++y)
        for (std::int32_t i = 0; i < Bitmap->BytesPerLine; ++i) {
            State = State * 1664525u + 1013904223u;
            // Smooth ramps with some noise, like a photograph.
            Bitmap->Line(y)[i] = std::uint8_t((i / Bitmap->PixelSize) * 5 + y * 3 + (i % Bitmap->PixelSize) * 40 +
                                              (State >> 28));
        }
    if (Format == TPixelFormat::pf8bit) std::memcpy(Bitmap->Palette, GrayPalette, sizeof(TPalette));
    return Bitmap;
}

Bytes Pixels(const TLinearBitmap& Bitmap) { return Bytes(Bitmap.Map, Bitmap.Map + Bitmap.Size); }

TEST(FastDefaultEnlarge, GrayInPlaceAndSeparateAgree) {
    auto Source = Pattern(17, 11, TPixelFormat::pf8bit, 1);
    const Bytes Before = Pixels(*Source);
    TLinearBitmap Dest;
    FastDefaultEnlarge(*Source, &Dest, DefaultLambda, DefaultStrength);
    EXPECT_EQ(Pixels(*Source), Before);
    ASSERT_EQ(Dest.Width, 34);
    ASSERT_EQ(Dest.Height, 22);
    ASSERT_EQ(Dest.PixelFormat, TPixelFormat::pf8bit);
    EXPECT_EQ(std::memcmp(Dest.Palette, GrayPalette, sizeof(TPalette)), 0);
    // An enlargement, not noise: each output pixel stays near its source pixel.
    for (std::int32_t y = 0; y < 22; ++y)
        for (std::int32_t x = 0; x < 34; ++x)
            EXPECT_LE(std::abs(Dest.Line(y)[x] - Source->Line(y / 2)[x / 2]), 40) << x << "," << y;

    FastDefaultEnlarge(*Source, nullptr, DefaultLambda, DefaultStrength);
    EXPECT_EQ(Source->Width, 34);
    EXPECT_EQ(Pixels(*Source), Pixels(Dest));
    EXPECT_EQ(std::memcmp(Source->Palette, GrayPalette, sizeof(TPalette)), 0);
}

TEST(FastDefaultEnlarge, ColourEnlargesLumaAndDoublesDifferences) {
    auto Source = Pattern(15, 12, TPixelFormat::pf24bit, 2);
    const Bytes Before = Pixels(*Source);
    TLinearBitmap Dest;
    FastDefaultEnlarge(*Source, &Dest, DefaultLambda, DefaultStrength);
    EXPECT_EQ(Pixels(*Source), Before);
    ASSERT_EQ(Dest.Width, 30);
    ASSERT_EQ(Dest.Height, 24);
    ASSERT_EQ(Dest.PixelFormat, TPixelFormat::pf24bit);

    // The same steps by hand: the luma plane through the gray path, the
    // differences through plain doubling, merged with the inverse matrix.
    TColourPlanes Planes;
    SplitColourPlanes(*Source, Planes, YCbCrMatrix);
    FastDefaultEnlarge(*Planes.Luma, nullptr, DefaultLambda, DefaultStrength);
    DoubleBitmap(*Planes.BlueDiff, nullptr, 1.0f);
    DoubleBitmap(*Planes.RedDiff, nullptr, 1.0f);
    TLinearBitmap Expected;
    MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, InverseYCbCrMatrix, Expected);
    EXPECT_EQ(Pixels(Dest), Pixels(Expected));

    FastDefaultEnlarge(*Source, nullptr, DefaultLambda, DefaultStrength);
    EXPECT_EQ(Pixels(*Source), Pixels(Dest));
}

TEST(FastDefaultEnlarge, GrayStoredAsColourStaysGray) {
    auto Gray = Pattern(16, 10, TPixelFormat::pf8bit, 3);
    TLinearBitmap Colour(16, 10, TPixelFormat::pf24bit);
    for (std::int32_t i = 0; i < Gray->Size; ++i) std::memset(Colour.Map + 3 * i, Gray->Map[i], 3);
    FastDefaultEnlarge(Colour, nullptr, DefaultLambda, DefaultStrength);
    ASSERT_EQ(Colour.Size, 32 * 20 * 3);
    for (std::int32_t i = 0; i < 32 * 20; ++i) {
        const std::uint8_t* P = Colour.Map + 3 * i;
        EXPECT_LE(std::max({P[0], P[1], P[2]}) - std::min({P[0], P[1], P[2]}), 2) << i;
    }
}

// Images one pixel wide or high, in place and not, under AddressSanitizer.
TEST(FastDefaultEnlarge, OnePixelWideOrHigh) {
    const std::int32_t Sizes[][2] = {{1, 1}, {1, 6}, {6, 1}, {2, 1}, {1, 2}};
    for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf24bit})
        for (const auto& Size : Sizes) {
            auto Source = Pattern(Size[0], Size[1], Format, 4);
            TLinearBitmap Dest;
            FastDefaultEnlarge(*Source, &Dest, DefaultLambda, DefaultStrength);
            EXPECT_EQ(Dest.Width, 2 * Size[0]);
            EXPECT_EQ(Dest.Height, 2 * Size[1]);
            EXPECT_EQ(Dest.PixelFormat, Format);
            FastDefaultEnlarge(*Source, nullptr, DefaultLambda, DefaultStrength);
            EXPECT_EQ(Pixels(*Source), Pixels(Dest));
        }
    // A single colour pixel comes back as four pixels of nearly its colour.
    TLinearBitmap Dot(1, 1, TPixelFormat::pf24bit);
    const std::uint8_t Colour[3] = {30, 140, 220};
    std::memcpy(Dot.Map, Colour, 3);
    FastDefaultEnlarge(Dot, nullptr, DefaultLambda, DefaultStrength);
    for (std::int32_t i = 0; i < 12; ++i) EXPECT_LE(std::abs(Dot.Map[i] - Colour[i % 3]), 2) << i;
}

std::uint64_t Fnv1a(std::uint64_t Hash, const TLinearBitmap& Bitmap) {
    for (std::int32_t i = 0; i < Bitmap.Size; ++i) Hash = (Hash ^ Bitmap.Map[i]) * 1099511628211ull;
    return Hash;
}

// Fixed gray and colour bitmaps: both targets must give this very constant.
TEST(FastDefaultEnlarge, SameBitsOnEveryTarget) {
    std::uint64_t Hash = 14695981039346656037ull;
    for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf24bit})
        for (float Strength : {DefaultStrength, 0.0f}) {
            auto Source = Pattern(23, 19, Format, 5);
            FastDefaultEnlarge(*Source, nullptr, DefaultLambda, Strength);
            Hash = Fnv1a(Hash, *Source);
        }
    EXPECT_EQ(Hash, 12965867045002529611ull);
}

} // namespace
} // namespace fi
