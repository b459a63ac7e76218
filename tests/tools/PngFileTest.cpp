// PNG files made by libpng directly: palettes, transparency, low depths,
// interlacing; and captions beyond ASCII.
#include "tools/PngFile.h"

#include <gtest/gtest.h>
#include <png.h>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

TEST_F(TScratchFolder, NonAsciiCaptionSurvivesPng) {
    TImageData Image = PatternImage(3, 2, 1, false, TSampleType::st8bit);
    Image.Caption = "Baum_\xC3\xA4\xC3\xB6 x2 region=7";
    WriteImageFile(PathOf("u.png"), Image);
    EXPECT_EQ(ReadImageFile(PathOf("u.png")).Caption, Image.Caption);
}

void WriteRawPng(const std::string& Path, std::uint32_t W, std::uint32_t H, int ColorType, int BitDepth,
                 const std::vector<std::vector<std::uint8_t>>& Rows, const std::vector<png_color>& Palette = {},
                 const std::vector<png_byte>& Transparency = {}, bool Interlace = false) {
    std::FILE* File = std::fopen(Path.c_str(), "wb");
    ASSERT_NE(File, nullptr);
    png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop Info = png_create_info_struct(Png);
    png_init_io(Png, File);
    png_set_IHDR(Png, Info, W, H, BitDepth, ColorType, Interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!Palette.empty()) png_set_PLTE(Png, Info, Palette.data(), int(Palette.size()));
    if (!Transparency.empty()) png_set_tRNS(Png, Info, Transparency.data(), int(Transparency.size()), nullptr);
    png_write_info(Png, Info);
    std::vector<png_bytep> Pointers;
    for (const auto& Row : Rows) Pointers.push_back(const_cast<png_bytep>(Row.data()));
    png_write_image(Png, Pointers.data());
    png_write_end(Png, Info);
    png_destroy_write_struct(&Png, &Info);
    std::fclose(File);
}

TEST_F(TScratchFolder, PngPalettesExpandToRgbWithTransparencyAsAlpha) {
    const std::vector<png_color> Palette = {{10, 20, 30}, {200, 100, 50}, {0, 255, 0}};
    // 2-bit indices, four to a byte: 0 1 2 1 / 2 2 0 0.
    const std::vector<std::vector<std::uint8_t>> Rows = {{0b00011001}, {0b10100000}};
    WriteRawPng(PathOf("p.png"), 4, 2, PNG_COLOR_TYPE_PALETTE, 2, Rows, Palette);
    TImageData Image = ReadImageFile(PathOf("p.png"));
    ASSERT_EQ(Image.Channels, 3);
    EXPECT_FALSE(Image.HasAlpha);
    EXPECT_EQ(Image.Samples.U8(), (std::vector<std::uint8_t>{10, 20, 30, 200, 100, 50, 0, 255, 0, 200, 100, 50,
                                                         0, 255, 0, 0, 255, 0, 10, 20, 30, 10, 20, 30}));

    WriteRawPng(PathOf("t.png"), 4, 2, PNG_COLOR_TYPE_PALETTE, 2, Rows, Palette, {0, 128});
    Image = ReadImageFile(PathOf("t.png"));
    ASSERT_EQ(Image.Channels, 4);
    EXPECT_TRUE(Image.HasAlpha);
    // Entries past the transparency table are opaque.
    EXPECT_EQ(std::vector<std::uint8_t>(Image.Samples.U8().begin(), Image.Samples.U8().begin() + 12),
              (std::vector<std::uint8_t>{10, 20, 30, 0, 200, 100, 50, 128, 0, 255, 0, 255}));
}

TEST_F(TScratchFolder, PngLowDepthGrayAndInterlacedImagesRead) {
    // 1-bit gray expands to 0 / 255.
    WriteRawPng(PathOf("g1.png"), 3, 1, PNG_COLOR_TYPE_GRAY, 1, {{0b10100000}});
    EXPECT_EQ(ReadImageFile(PathOf("g1.png")).Samples.U8(), (std::vector<std::uint8_t>{255, 0, 255}));

    std::vector<std::vector<std::uint8_t>> Rows(19, std::vector<std::uint8_t>(13 * 3));
    std::vector<std::uint8_t> Expected;
    for (std::size_t y = 0; y < Rows.size(); ++y)
        for (std::size_t i = 0; i < Rows[y].size(); ++i) Expected.push_back(Rows[y][i] = std::uint8_t(y * 31 + i * 7));
    WriteRawPng(PathOf("i.png"), 13, 19, PNG_COLOR_TYPE_RGB, 8, Rows, {}, {}, true);
    const TImageData Image = ReadImageFile(PathOf("i.png"));
    EXPECT_EQ(Image.Channels, 3);
    EXPECT_EQ(Image.Samples.U8(), Expected);
}

} // namespace
} // namespace fi::test
