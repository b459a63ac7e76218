#include <gtest/gtest.h>

#include <cstring>

#include "image/LinearBitmap.h"

namespace fi {
namespace {

std::string SizeError(TLinearBitmap& Bitmap, std::int32_t W, std::int32_t H, TPixelFormat Format,
                      std::int32_t LineSize = 0) {
    try {
        Bitmap.SetSize(W, H, Format, LineSize);
    } catch (const ELinearBitmap& Failure) {
        return Failure.what();
    }
    return "";
}

void ExpectEmpty(const TLinearBitmap& Bitmap) {
    EXPECT_FALSE(Bitmap.Present);
    EXPECT_EQ(Bitmap.Map, nullptr);
    EXPECT_EQ(Bitmap.Width, 0);
    EXPECT_EQ(Bitmap.Height, 0);
    EXPECT_EQ(Bitmap.Size, 0);
    EXPECT_EQ(Bitmap.PixelSize, 0);
    EXPECT_EQ(Bitmap.PixelFormat, TPixelFormat::pfCustom);
}

TEST(LinearBitmap, GrayPaletteIsTheRamp) {
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(GrayPalette[i].Blue, i);
        EXPECT_EQ(GrayPalette[i].Green, i);
        EXPECT_EQ(GrayPalette[i].Red, i);
    }
}

TEST(LinearBitmap, SetSizeGeometryAndLimits) {
    TLinearBitmap Bitmap;
    EXPECT_EQ(SizeError(Bitmap, 0, 5, TPixelFormat::pf24bit), SInvalidBitmapSize);
    EXPECT_EQ(SizeError(Bitmap, 5, -1, TPixelFormat::pf24bit), SInvalidBitmapSize);
    EXPECT_EQ(SizeError(Bitmap, 10, 10, TPixelFormat::pf24bit, 29), SInvalidBitmapSize);
    ExpectEmpty(Bitmap);
    EXPECT_EQ(SizeError(Bitmap, 10, 10, TPixelFormat::pf24bit, 32), "");
    EXPECT_EQ(Bitmap.BytesPerLine, 32);
    EXPECT_EQ(Bitmap.Size, 320);
    EXPECT_EQ(Bitmap.PixelSize, 3);
    EXPECT_EQ(Bitmap.ScanLine(2), Bitmap.Map + 64);
    EXPECT_EQ(Bitmap.PixelPtr(1, 2), Bitmap.Map + 67);
    EXPECT_EQ(SizeError(Bitmap, 10, 10, TPixelFormat::pf15bit), SUnsupportedPixelFormat);
    EXPECT_EQ(SizeError(Bitmap, 10, 10, TPixelFormat::pfCustom), SUnsupportedPixelFormat);
    // A format refusal comes before any change: the old image stays.
    EXPECT_TRUE(Bitmap.Present);
    EXPECT_EQ(SizeError(Bitmap, 65536, 32768, TPixelFormat::pf8bit), SOutOfMemory);
    ExpectEmpty(Bitmap);
    EXPECT_EQ(Bitmap.Palette, nullptr);
}

TEST(LinearBitmap, SizeLimitLiesJustBelowTwoGigabytes) {
    // 46,340 squared is below 2^31 - 1: the limit test passes (the allocation may then fail).
    TLinearBitmap Bitmap;
    const std::string Result = SizeError(Bitmap, 46340, 46340, TPixelFormat::pf8bit);
    EXPECT_TRUE(Result.empty() || Result == SOutOfMemory);
    if (Result.empty()) {
        EXPECT_EQ(Bitmap.Size, 46340 * 46340);
    }
}

TEST(LinearBitmap, SameSizeKeepsPixelsAndFormatDecidesPalette) {
    TLinearBitmap Bitmap(4, 3, TPixelFormat::pf8bit);
    ASSERT_NE(Bitmap.Palette, nullptr);
    std::uint8_t* Pixels = Bitmap.Map;
    Pixels[5] = 77;
    Bitmap.SetSize(4, 3, TPixelFormat::pf8bit, 99); // LineSize is ignored when nothing changes
    EXPECT_EQ(Bitmap.Map, Pixels);
    EXPECT_EQ(Bitmap.Map[5], 77);
    EXPECT_EQ(Bitmap.BytesPerLine, 4);
    Bitmap.SetSize(4, 3, TPixelFormat::pf24bit);
    EXPECT_EQ(Bitmap.Palette, nullptr);
    EXPECT_EQ(Bitmap.BytesPerLine, 12);
    Bitmap.SetSize(2, 2, TPixelFormat::pf8bit);
    EXPECT_NE(Bitmap.Palette, nullptr);
    Bitmap.SetSize(2, 2, TPixelFormat::pf16bit);
    EXPECT_EQ(Bitmap.Palette, nullptr);
    EXPECT_EQ(Bitmap.PixelSize, 2);
}

TEST(LinearBitmap, IsGrayscaleByFormat) {
    TLinearBitmap Empty;
    EXPECT_FALSE(Empty.IsGrayscale());

    TLinearBitmap Indexed(3, 3, TPixelFormat::pf8bit);
    std::memcpy(Indexed.Palette, GrayPalette, sizeof(TPalette));
    EXPECT_TRUE(Indexed.IsGrayscale());
    // Gray entries, but not in ramp order.
    std::swap(Indexed.Palette[10], Indexed.Palette[11]);
    EXPECT_FALSE(Indexed.IsGrayscale());

    TLinearBitmap Gray16(3, 3, TPixelFormat::pf16bit);
    EXPECT_TRUE(Gray16.IsGrayscale());

    TLinearBitmap Colour;
    Colour.SetSize(3, 2, TPixelFormat::pf24bit, 12);
    std::memset(Colour.Map, 9, std::size_t(Colour.Size));
    // Padding bytes at the end of each row are not pixels.
    Colour.Map[9] = 1;
    Colour.Map[21] = 2;
    EXPECT_TRUE(Colour.IsGrayscale());
    Colour.PixelPtr(2, 1)[1] = 10;
    EXPECT_FALSE(Colour.IsGrayscale());

    TLinearBitmap Wide(2, 2, TPixelFormat::pf32bit);
    EXPECT_FALSE(Wide.IsGrayscale());
}

TEST(LinearBitmap, AssignCopiesRowsAndPalette) {
    TLinearBitmap Source;
    Source.SetSize(3, 2, TPixelFormat::pf8bit, 5);
    for (int i = 0; i < Source.Size; ++i) Source.Map[i] = std::uint8_t(i);
    for (int i = 0; i < 256; ++i) Source.Palette[i] = {std::uint8_t(i), 0, std::uint8_t(255 - i)};
    TLinearBitmap Copy;
    Copy.Assign(&Source);
    ASSERT_TRUE(Copy.Present);
    EXPECT_EQ(Copy.BytesPerLine, 3);
    EXPECT_EQ(Copy.Map[0], 0);
    EXPECT_EQ(Copy.Map[2], 2);
    EXPECT_EQ(Copy.Map[3], 5);
    EXPECT_EQ(Copy.Map[5], 7);
    EXPECT_EQ(std::memcmp(Copy.Palette, Source.Palette, sizeof(TPalette)), 0);

    TLinearBitmap Empty;
    Copy.Assign(&Empty);
    ExpectEmpty(Copy);
}

class TDescendantBitmap : public TLinearBitmap {
public:
    const char* ClassName() const override { return "TDescendantBitmap"; }
};

TEST(LinearBitmap, TakeOverMovesFromPlainBitmapAndCopiesFromDescendant) {
    TLinearBitmap Plain(2, 2, TPixelFormat::pf24bit);
    std::uint8_t* Buffer = Plain.Map;
    Plain.Map[0] = 42;
    TLinearBitmap Target(1, 1, TPixelFormat::pf8bit);
    Target.TakeOver(Plain);
    EXPECT_EQ(Target.Map, Buffer);
    EXPECT_EQ(Target.Width, 2);
    EXPECT_EQ(Target.Palette, nullptr);
    ExpectEmpty(Plain);

    TDescendantBitmap Derived;
    Derived.SetSize(3, 1, TPixelFormat::pf24bit);
    Derived.Map[8] = 13;
    Target.TakeOver(Derived);
    EXPECT_NE(Target.Map, nullptr);
    EXPECT_EQ(Target.Width, 3);
    EXPECT_EQ(Target.Map[8], 13);
    ExpectEmpty(Derived);
}

TEST(LinearBitmap, PackRowsDropsPadding) {
    TLinearBitmap Bitmap;
    Bitmap.SetSize(2, 3, TPixelFormat::pf16bit, 7);
    for (int i = 0; i < Bitmap.Size; ++i) Bitmap.Map[i] = std::uint8_t(i);
    Bitmap.PackRows();
    EXPECT_EQ(Bitmap.BytesPerLine, 4);
    EXPECT_EQ(Bitmap.Size, 12);
    const std::uint8_t Expected[12] = {0, 1, 2, 3, 7, 8, 9, 10, 14, 15, 16, 17};
    EXPECT_EQ(std::memcmp(Bitmap.Map, Expected, 12), 0);
}

TEST(LinearBitmap, PasteImageClipsToBothBitmaps) {
    TLinearBitmap Target(4, 4, TPixelFormat::pf8bit);
    std::memset(Target.Map, 0, 16);
    TLinearBitmap Source(3, 3, TPixelFormat::pf8bit);
    for (int i = 0; i < 9; ++i) Source.Map[i] = std::uint8_t(i + 1);

    Target.PasteImage(Source, -1, 2, 10, 10);
    // Source columns 1..2 of rows 0..1 land at target (0..1, 2..3).
    const std::uint8_t Expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 0, 0, 5, 6, 0, 0};
    EXPECT_EQ(std::memcmp(Target.Map, Expected, 16), 0);

    std::memset(Target.Map, 0, 16);
    Target.PasteImage(Source, 1, 0, 1, 2);
    EXPECT_EQ(Target.Map[1], 1);
    EXPECT_EQ(Target.Map[5], 4);
    EXPECT_EQ(Target.Map[2], 0);
    EXPECT_EQ(Target.Map[9], 0);

    std::memset(Target.Map, 0, 16);
    Target.PasteImage(Source, 4, 0, 3, 3);
    Target.PasteImage(Source, -3, 0, 3, 3);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(Target.Map[i], 0);

    TLinearBitmap Colour(2, 2, TPixelFormat::pf24bit);
    EXPECT_THROW(Target.PasteImage(Colour, 0, 0, 2, 2), ELinearBitmap);
}

} // namespace
} // namespace fi
