// Conversions to the engine's containers and back.
#include "tools/ImageConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

TEST(ImageFilesConversion, EightBitImagesSplitIntoColourAndAlphaBitmapsAndBack) {
    for (const std::int32_t Channels : {1, 2, 3, 4}) {
        const bool Alpha = Channels % 2 == 0;
        const TImageData Image = PatternImage(5, 3, Channels, Alpha, TSampleType::st8bit);
        TLinearBitmap Color, AlphaPlane;
        ImageToBitmaps(Image, Color, &AlphaPlane);
        const bool Gray = Channels < 3;
        ASSERT_EQ(Color.PixelFormat, Gray ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
        if (Gray) {
            EXPECT_TRUE(Color.IsGrayscale());
        }
        // The bitmap stores blue, green, red.
        const std::uint8_t* First = Color.PixelPtr(4, 2);
        const std::uint8_t* Source = &Image.Samples.U8()[(2 * 5 + 4) * std::size_t(Channels)];
        if (Gray) {
            EXPECT_EQ(First[0], Source[0]);
        } else {
            EXPECT_TRUE(First[0] == Source[2] && First[1] == Source[1] && First[2] == Source[0]);
        }
        EXPECT_EQ(AlphaPlane.Present, Alpha);
        if (Alpha) {
            EXPECT_EQ(AlphaPlane.PixelFormat, TPixelFormat::pf8bit);
            EXPECT_EQ(*AlphaPlane.PixelPtr(4, 2), Source[Channels - 1]);
        }
        const TImageData Back = BitmapsToImage(Color, Alpha ? &AlphaPlane : nullptr);
        EXPECT_EQ(Back.Channels, Channels);
        EXPECT_EQ(Back.HasAlpha, Alpha);
        EXPECT_EQ(Back.Samples.U8(), Image.Samples.U8()) << Channels << " channels";
    }
}

TEST(ImageFilesConversion, PaletteBitmapsAndMismatchedAlpha) {
    TLinearBitmap Color(2, 1, TPixelFormat::pf8bit);
    std::memset(Color.Palette, 0, sizeof(TPalette));
    Color.Palette[5] = {1, 2, 3}; // blue, green, red
    Color.Map[0] = 5;
    Color.Map[1] = 0;
    TImageData Image = BitmapsToImage(Color, nullptr);
    ASSERT_EQ(Image.Channels, 3);
    EXPECT_EQ(Image.Samples.U8(), (std::vector<std::uint8_t>{3, 2, 1, 0, 0, 0}));

    TLinearBitmap Wrong(3, 1, TPixelFormat::pf8bit);
    EXPECT_THROW(BitmapsToImage(Color, &Wrong), EImageFile);
    EXPECT_THROW(ImageToBitmaps(PatternImage(2, 2, 1, false, TSampleType::st16bit), Color, nullptr), EImageFile);
}

TEST(ImageFilesConversion, DeepImagesGoThroughOneFloatMapPerChannel) {
    const TImageData Image = PatternImage(4, 3, 4, true, TSampleType::st16bit);
    const TFloatMapList Maps = ImageToFloatMaps(Image);
    ASSERT_EQ(Maps.size(), 4u);
    // 16-bit samples keep their values 0 .. 65535.
    EXPECT_EQ(*Maps[0]->PixelPtr(0, 0), 0.0);
    EXPECT_EQ(*Maps[1]->PixelPtr(0, 0), 65535.0);
    EXPECT_EQ(*Maps[3]->PixelPtr(3, 2), double(Image.Samples.U16()[(2 * 4 + 3) * 4 + 3]));
    EXPECT_EQ(FloatMapsToImage(Maps, true, TSampleType::st16bit).Samples.U16(), Image.Samples.U16());

    const TImageData Float = PatternImage(4, 3, 1, false, TSampleType::stFloat64);
    const TImageData FloatBack = FloatMapsToImage(ImageToFloatMaps(Float), false, TSampleType::stFloat64, 32);
    EXPECT_EQ(FloatBack.Samples.Float(), Float.Samples.Float());
    EXPECT_EQ(FloatBack.FloatBits, 32);
}

TEST(ImageFilesConversion, IntegerResultsRoundToEvenAndClamp) {
    TFloatMapList Maps;
    Maps.push_back(std::make_unique<TFloatMap>(6, 1));
    const double Values[6] = {2.5, 3.5, -3.0, 70000.0, std::nan(""), 65534.6};
    std::copy(Values, Values + 6, Maps[0]->Map);
    EXPECT_EQ(FloatMapsToImage(Maps, false, TSampleType::st16bit).Samples.U16(),
              (std::vector<std::uint16_t>{2, 4, 0, 65535, 0, 65535}));
    EXPECT_EQ(FloatMapsToImage(Maps, false, TSampleType::st8bit).Samples.U8(),
              (std::vector<std::uint8_t>{2, 4, 0, 255, 0, 255}));
    Maps.push_back(std::make_unique<TFloatMap>(6, 1));
    EXPECT_THROW(FloatMapsToImage(Maps, false, TSampleType::st8bit), EImageFile); // two maps, no alpha
    Maps.push_back(std::make_unique<TFloatMap>(5, 1));
    EXPECT_THROW(FloatMapsToImage(Maps, false, TSampleType::st8bit), EImageFile); // sizes differ
}

TEST(ImageFilesConversion, OrientationTurnsThePixelsUpright) {
    // Stored 3 x 2:  1 2 3 / 4 5 6, as each orientation shows it.
    const std::vector<std::vector<std::uint8_t>> Shown = {
        {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}, {6, 5, 4, 3, 2, 1}, {4, 5, 6, 1, 2, 3},
        {1, 4, 2, 5, 3, 6}, {4, 1, 5, 2, 6, 3}, {6, 3, 5, 2, 4, 1}, {3, 6, 2, 5, 1, 4}};
    for (std::int32_t Orientation = 1; Orientation <= 8; ++Orientation) {
        TImageData Image;
        Image.Allocate(3, 2, 1, false, TSampleType::st8bit);
        Image.Samples.U8() = {1, 2, 3, 4, 5, 6};
        Image.Metadata.Orientation = Orientation;
        Image.Metadata.Resolution = {300, 150, TResolutionUnit::ruInch};
        ApplyOrientation(Image);
        EXPECT_EQ(Image.Samples.U8(), Shown[std::size_t(Orientation - 1)]) << Orientation;
        EXPECT_EQ(Image.Width, Orientation >= 5 ? 2 : 3);
        EXPECT_EQ(Image.Metadata.Orientation, 1);
        EXPECT_EQ(Image.Metadata.Resolution.X, Orientation >= 5 ? 150 : 300);
    }
    // Every channel moves with its pixel.
    TImageData Rgba = PatternImage(4, 3, 4, true, TSampleType::st16bit);
    const std::vector<std::uint16_t> Before = Rgba.Samples.U16();
    Rgba.Metadata.Orientation = 6;
    ApplyOrientation(Rgba);
    // Shown (0, 0) is stored (0, H - 1).
    EXPECT_TRUE(std::equal(Before.begin() + 2 * 4 * 4, Before.begin() + 2 * 4 * 4 + 4, Rgba.Samples.U16().begin()));
}

} // namespace
} // namespace fi::test
