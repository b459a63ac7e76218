#include <gtest/gtest.h>

#include <cstring>

#include "image/LinearBitmapWin32.h"

namespace fi {
namespace {

TEST(GuiBitmap, EightBitRoundTripKeepsPixelsAndPalette) {
    TLinearBitmap Source(5, 3, TPixelFormat::pf8bit);
    for (int i = 0; i < Source.Size; ++i) Source.Map[i] = std::uint8_t(i * 11);
    for (int i = 0; i < 256; ++i) Source.Palette[i] = {std::uint8_t(i), std::uint8_t(255 - i), 7};
    TGuiBitmap Gui;
    Source.AssignTo(&Gui);
    EXPECT_EQ(Gui.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(Gui.Width(), 5);
    EXPECT_EQ(Gui.PaletteCount(), 256);
    // Palette entries are written red, green, blue with the flag 1.
    EXPECT_EQ(Gui.PaletteEntries()[3].peRed, 7);
    EXPECT_EQ(Gui.PaletteEntries()[3].peBlue, 3);
    EXPECT_EQ(Gui.PaletteEntries()[3].peFlags, 1);
    EXPECT_EQ(Gui.ScanLine(2)[1], std::uint8_t(11 * 11));

    TLinearBitmap Back;
    Back.Assign(&Gui);
    ASSERT_TRUE(Back.Present);
    EXPECT_EQ(Back.PixelFormat, TPixelFormat::pf8bit);
    EXPECT_EQ(std::memcmp(Back.Map, Source.Map, std::size_t(Source.Size)), 0);
    EXPECT_EQ(std::memcmp(Back.Palette, Source.Palette, sizeof(TPalette)), 0);
}

TEST(GuiBitmap, SixteenBitExportsItsHighByteAsGray) {
    TLinearBitmap Source(2, 2, TPixelFormat::pf16bit);
    const std::uint16_t Values[4] = {0x1234, 0xFF00, 0x0001, 0x8080};
    std::memcpy(Source.Map, Values, 8);
    TGuiBitmap Gui;
    Gui.Assign(&Source);
    EXPECT_EQ(Gui.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(Gui.ScanLine(0)[0], 0x12);
    EXPECT_EQ(Gui.ScanLine(0)[1], 0xFF);
    EXPECT_EQ(Gui.ScanLine(1)[0], 0x00);
    EXPECT_EQ(Gui.ScanLine(1)[1], 0x80);
    EXPECT_EQ(Gui.PaletteEntries()[200].peGreen, 200);
}

TEST(GuiBitmap, ImportRules) {
    // Short palette: entries beyond it are black; no palette: the gray ramp.
    TGuiBitmap Gui;
    Gui.SetPixelFormat(TPixelFormat::pf8bit);
    PALETTEENTRY Two[2] = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    Gui.SetPalette(Two, 2);
    Gui.SetSize(3, 2);
    TLinearBitmap Bitmap;
    Bitmap.Assign(&Gui);
    EXPECT_EQ(Bitmap.Palette[1].Red, 40);
    EXPECT_EQ(Bitmap.Palette[1].Blue, 60);
    EXPECT_EQ(Bitmap.Palette[2].Red, 0);
    Gui.SetPalette(nullptr, 0);
    Bitmap.Assign(&Gui);
    EXPECT_TRUE(Bitmap.IsGrayscale());

    // A 16-bit GUI bitmap is drawn into a 24-bit one first.
    TGuiBitmap Wide;
    Wide.SetPixelFormat(TPixelFormat::pf16bit);
    Wide.SetSize(4, 4);
    Bitmap.Assign(&Wide);
    EXPECT_EQ(Bitmap.PixelFormat, TPixelFormat::pf24bit);
    EXPECT_EQ(Bitmap.Width, 4);

    TGuiBitmap Empty;
    Bitmap.Assign(&Empty);
    EXPECT_FALSE(Bitmap.Present);

    TLinearBitmap Colour(3, 2, TPixelFormat::pf24bit);
    for (int i = 0; i < Colour.Size; ++i) Colour.Map[i] = std::uint8_t(i);
    TGuiBitmap Copy;
    Copy.Assign(&Colour);
    Bitmap.Assign(&Copy);
    EXPECT_EQ(std::memcmp(Bitmap.Map, Colour.Map, 18), 0);
}

} // namespace
} // namespace fi
