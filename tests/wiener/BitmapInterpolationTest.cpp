#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "colour/ColourPlanes.h"
#include "resize/BitmapResize.h"
#include "wiener/FloatMapWienerInterpolation.h"

namespace fi {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<TLinearBitmap> Pattern(std::int32_t W, std::int32_t H, TPixelFormat Format, std::uint32_t Seed) {
    auto Bitmap = std::make_unique<TLinearBitmap>(W, H, Format);
    std::uint32_t State = Seed * 2654435761u + 3u;
    for (std::int32_t i = 0; i < Bitmap->Size; ++i) {
        State = State * 1664525u + 1013904223u;
        const std::int32_t x = (i / Bitmap->PixelSize) % W, y = i / Bitmap->BytesPerLine;
        Bitmap->Map[i] = std::uint8_t(x * 9 + y * 5 + (i % Bitmap->PixelSize) * 50 + (State >> 27));
    }
    if (Format == TPixelFormat::pf8bit) std::memcpy(Bitmap->Palette, GrayPalette, sizeof(TPalette));
    return Bitmap;
}

Bytes Pixels(const TLinearBitmap& Bitmap) { return Bytes(Bitmap.Map, Bitmap.Map + Bitmap.Size); }

std::unique_ptr<TBitmapWienerInterpolation> Interpolator(std::int32_t Scale) {
    auto Result = std::make_unique<TBitmapWienerInterpolation>();
    Result->SetupFractalSquare(Scale, 1);
    return Result;
}

TEST(InterpolateBitmap, GrayComesBackEnlargedWithItsPalette) {
    auto Engine = Interpolator(3);
    auto Source = Pattern(9, 7, TPixelFormat::pf8bit, 1);
    // Any palette stays as it is; the engine works on the indices.
    for (int i = 0; i < 256; ++i) Source->Palette[i] = {std::uint8_t(i), 0, 0};
    const Bytes Before = Pixels(*Source);
    TLinearBitmap Dest;
    Engine->InterpolateBitmap(*Source, &Dest);
    EXPECT_EQ(Pixels(*Source), Before);
    ASSERT_EQ(Dest.Width, 27);
    ASSERT_EQ(Dest.Height, 21);
    ASSERT_EQ(Dest.PixelFormat, TPixelFormat::pf8bit);
    EXPECT_EQ(std::memcmp(Dest.Palette, Source->Palette, sizeof(TPalette)), 0);
    EXPECT_EQ(Engine->CurrentRun(), nullptr);

    // The float-map run, rounded into bytes.
    TFloatMap In, Out;
    In.Assign(Source.get());
    Engine->Interpolate(In, Out);
    TLinearBitmap Expected;
    Expected.Assign(&Out);
    EXPECT_EQ(Pixels(Dest), Pixels(Expected));

    Engine->InterpolateBitmap(*Source, nullptr);
    EXPECT_EQ(Pixels(*Source), Pixels(Dest));
    EXPECT_EQ(Source->Palette[7].Blue, 7);
    EXPECT_EQ(Source->Palette[7].Red, 0);
}

// Colour: the luma plane through the engine, the differences through the
// resize dispatcher (bilinear at 3x, doubling at 2x), at the luma's size.
TEST(InterpolateBitmap, ColourThroughLumaAndResampledDifferences) {
    for (std::int32_t Scale : {2, 3}) {
        auto Engine = Interpolator(Scale);
        auto Source = Pattern(10, 8, TPixelFormat::pf24bit, 2);
        const Bytes Before = Pixels(*Source);
        TLinearBitmap Dest;
        Engine->InterpolateBitmap(*Source, &Dest);
        EXPECT_EQ(Pixels(*Source), Before);
        ASSERT_EQ(Dest.Width, 10 * Scale);
        ASSERT_EQ(Dest.Height, 8 * Scale);
        ASSERT_EQ(Dest.PixelFormat, TPixelFormat::pf24bit);

        TColourPlanes Planes;
        SplitColourPlanes(*Source, Planes, YCbCrMatrix);
        Engine->InterpolateBitmap(*Planes.Luma, nullptr);
        ResizeBitmapInPlace(*Planes.BlueDiff, 10 * Scale, 8 * Scale, 1.0f);
        ResizeBitmapInPlace(*Planes.RedDiff, 10 * Scale, 8 * Scale, 1.0f);
        TLinearBitmap Expected;
        MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, InverseYCbCrMatrix, Expected);
        EXPECT_EQ(Pixels(Dest), Pixels(Expected)) << Scale;

        Engine->InterpolateBitmap(*Source, nullptr);
        EXPECT_EQ(Pixels(*Source), Pixels(Dest)) << Scale;
    }
}

// Images one pixel wide or high send one-pixel colour-difference planes to
// the resamplers; under AddressSanitizer nothing may be read outside them.
TEST(InterpolateBitmap, OnePixelWideOrHigh) {
    const std::int32_t Sizes[][2] = {{1, 1}, {1, 5}, {5, 1}, {2, 1}};
    for (std::int32_t Scale : {2, 3})
        for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf24bit})
            for (const auto& Size : Sizes) {
                auto Engine = Interpolator(Scale);
                auto Source = Pattern(Size[0], Size[1], Format, 3);
                TLinearBitmap Dest;
                Engine->InterpolateBitmap(*Source, &Dest);
                EXPECT_EQ(Dest.Width, Scale * Size[0]);
                EXPECT_EQ(Dest.Height, Scale * Size[1]);
                EXPECT_EQ(Dest.PixelFormat, Format);
                Engine->InterpolateBitmap(*Source, nullptr);
                EXPECT_EQ(Pixels(*Source), Pixels(Dest));
            }
}

std::uint64_t Fnv1a(std::uint64_t Hash, const TLinearBitmap& Bitmap) {
    for (std::int32_t i = 0; i < Bitmap.Size; ++i) Hash = (Hash ^ Bitmap.Map[i]) * 1099511628211ull;
    return Hash;
}

// Fixed gray and colour bitmaps: both targets must give this very constant.
TEST(InterpolateBitmap, SameBitsOnEveryTarget) {
    std::uint64_t Hash = 14695981039346656037ull;
    for (std::int32_t Scale : {2, 3})
        for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf24bit}) {
            auto Engine = Interpolator(Scale);
            auto Source = Pattern(14, 11, Format, 4);
            Engine->InterpolateBitmap(*Source, nullptr);
            Hash = Fnv1a(Hash, *Source);
        }
    EXPECT_EQ(Hash, 7170974409117260525ull);
}

} // namespace
} // namespace fi
