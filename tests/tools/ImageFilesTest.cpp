#include "tools/ImageFiles.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

// ---------------------------------------------------------------------------
// Round trips: every format and depth written and read back.

struct TRoundTrip {
    const char* Extension;
    std::int32_t Channels;
    bool Alpha;
    TSampleType Type;
    std::int32_t FloatBits;
    bool HasMetadata;
};

std::string Describe(const ::testing::TestParamInfo<TRoundTrip>& Info) {
    const TRoundTrip& P = Info.param;
    const char* Type = P.Type == TSampleType::st8bit ? "8" : P.Type == TSampleType::st16bit ? "16" : "float";
    return std::string(P.Extension) + "_" + std::to_string(P.Channels) + "ch_" + Type +
           (P.Type == TSampleType::stFloat64 ? std::to_string(P.FloatBits) : "");
}

class ImageFilesRoundTrip : public TScratchFolder, public ::testing::WithParamInterface<TRoundTrip> {};

TEST_P(ImageFilesRoundTrip, SamplesAndCaptionComeBackExactly) {
    const TRoundTrip& P = GetParam();
    // Odd sizes catch row padding and strides.
    TImageData Image = PatternImage(37, 23, P.Channels, P.Alpha, P.Type);
    Image.FloatBits = P.FloatBits;
    if (P.Type == TSampleType::stFloat64 && P.FloatBits == 32)
        for (double& v : Image.SamplesFloat) v = double(float(v));
    Image.Caption = "tree x2 region=7 regul=0.001 filter=1 clampw=0 normalize=0 clampres=0";
    const std::string Path = PathOf(std::string("image.") + P.Extension);
    WriteImageFile(Path, Image);
    const TImageData Back = ReadImageFile(Path);
    EXPECT_EQ(Back.Width, 37);
    EXPECT_EQ(Back.Height, 23);
    EXPECT_EQ(Back.Channels, P.Channels);
    EXPECT_EQ(Back.HasAlpha, P.Alpha);
    ASSERT_EQ(Back.SampleType, P.Type);
    EXPECT_EQ(Back.Samples8, Image.Samples8);
    EXPECT_EQ(Back.Samples16, Image.Samples16);
    EXPECT_EQ(Back.SamplesFloat, Image.SamplesFloat);
    if (P.Type == TSampleType::stFloat64) {
        EXPECT_EQ(Back.FloatBits, P.FloatBits);
    }
    EXPECT_EQ(Back.Caption, P.HasMetadata ? Image.Caption : std::string());
    EXPECT_EQ(Entries(), std::vector<std::string>{std::string("image.") + P.Extension});
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ImageFilesRoundTrip,
    ::testing::Values(TRoundTrip{"png", 1, false, TSampleType::st8bit, 64, true},
                      TRoundTrip{"png", 2, true, TSampleType::st8bit, 64, true},
                      TRoundTrip{"png", 3, false, TSampleType::st8bit, 64, true},
                      TRoundTrip{"png", 4, true, TSampleType::st8bit, 64, true},
                      TRoundTrip{"png", 1, false, TSampleType::st16bit, 64, true},
                      TRoundTrip{"png", 2, true, TSampleType::st16bit, 64, true},
                      TRoundTrip{"png", 3, false, TSampleType::st16bit, 64, true},
                      TRoundTrip{"png", 4, true, TSampleType::st16bit, 64, true},
                      TRoundTrip{"tif", 1, false, TSampleType::st8bit, 64, true},
                      TRoundTrip{"tif", 4, true, TSampleType::st8bit, 64, true},
                      TRoundTrip{"tif", 2, true, TSampleType::st16bit, 64, true},
                      TRoundTrip{"tiff", 3, false, TSampleType::st16bit, 64, true},
                      TRoundTrip{"tif", 1, false, TSampleType::stFloat64, 32, true},
                      TRoundTrip{"tif", 3, false, TSampleType::stFloat64, 32, true},
                      TRoundTrip{"tif", 1, false, TSampleType::stFloat64, 64, true},
                      TRoundTrip{"tif", 4, true, TSampleType::stFloat64, 64, true},
                      TRoundTrip{"bmp", 1, false, TSampleType::st8bit, 64, false},
                      TRoundTrip{"BMP", 3, false, TSampleType::st8bit, 64, false}),
    Describe);

TEST_F(TScratchFolder, JpegRoundTripStaysCloseAndKeepsItsComment) {
    for (const std::int32_t Channels : {1, 3}) {
        TImageData Image = SmoothImage(64, 48, Channels);
        Image.Caption = "photo x2";
        const std::string Path = PathOf("photo.jpg");
        WriteImageFile(Path, Image, 95);
        const TImageData Back = ReadImageFile(Path);
        ASSERT_EQ(Back.Channels, Channels);
        ASSERT_EQ(Back.Samples8.size(), Image.Samples8.size());
        int Worst = 0;
        for (std::size_t i = 0; i < Image.Samples8.size(); ++i)
            Worst = std::max(Worst, std::abs(int(Back.Samples8[i]) - int(Image.Samples8[i])));
        EXPECT_LE(Worst, 6) << Channels << " channels";
        EXPECT_EQ(Back.Caption, "photo x2");
    }
}

TEST_F(TScratchFolder, NonAsciiCaptionSurvivesPng) {
    TImageData Image = PatternImage(3, 2, 1, false, TSampleType::st8bit);
    Image.Caption = "Baum_\xC3\xA4\xC3\xB6 x2 region=7";
    WriteImageFile(PathOf("u.png"), Image);
    EXPECT_EQ(ReadImageFile(PathOf("u.png")).Caption, Image.Caption);
}

TEST_F(TScratchFolder, WriteReplacesAnExistingFile) {
    WriteImageFile(PathOf("a.png"), PatternImage(5, 5, 3, false, TSampleType::st8bit));
    WriteImageFile(PathOf("a.png"), PatternImage(2, 9, 1, false, TSampleType::st8bit));
    const TImageData Back = ReadImageFile(PathOf("a.png"));
    EXPECT_EQ(Back.Width, 2);
    EXPECT_EQ(Back.Height, 9);
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.png"});
}

TEST_F(TScratchFolder, FormatsRefuseWhatTheyCannotHold) {
    const std::string Png = PathOf("x.png"), Jpg = PathOf("x.jpg"), Bmp = PathOf("x.bmp");
    EXPECT_THROW(WriteImageFile(Png, PatternImage(2, 2, 1, false, TSampleType::stFloat64)), EImageFile);
    EXPECT_THROW(WriteImageFile(Jpg, PatternImage(2, 2, 3, false, TSampleType::st16bit)), EImageFile);
    EXPECT_THROW(WriteImageFile(Jpg, PatternImage(2, 2, 4, true, TSampleType::st8bit)), EImageFile);
    EXPECT_THROW(WriteImageFile(Bmp, PatternImage(2, 2, 2, true, TSampleType::st8bit)), EImageFile);
    EXPECT_THROW(WriteImageFile(PathOf("x.gif"), PatternImage(2, 2, 1, false, TSampleType::st8bit)), EImageFile);
    TImageData Short = PatternImage(4, 4, 3, false, TSampleType::st8bit);
    Short.Samples8.pop_back();
    EXPECT_THROW(WriteImageFile(Png, Short), EImageFile);
    EXPECT_TRUE(Entries().empty());
}

TEST(ImageFilesFormat, FromExtension) {
    EXPECT_EQ(FormatFromFileName("a.PNG"), TImageFormat::ifPng);
    EXPECT_EQ(FormatFromFileName("dir/a.b.jpeg"), TImageFormat::ifJpeg);
    EXPECT_EQ(FormatFromFileName("a.JPG"), TImageFormat::ifJpeg);
    EXPECT_EQ(FormatFromFileName("/x/a.Tiff"), TImageFormat::ifTiff);
    EXPECT_EQ(FormatFromFileName("a.bmp"), TImageFormat::ifBmp);
    EXPECT_THROW(FormatFromFileName("folder.png/name"), EImageFile);
    EXPECT_THROW(FormatFromFileName("name"), EImageFile);
    try {
        FormatFromFileName("out.webp");
        FAIL();
    } catch (const EImageFile& E) {
        EXPECT_EQ(std::string(E.what()).rfind("out.webp: ", 0), 0u) << E.what();
    }
}

// ---------------------------------------------------------------------------
// Files made by the libraries directly: palettes, transparency, low depths,
// interlacing, and the TIFF variants our writer never makes.

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
    EXPECT_EQ(Image.Samples8, (std::vector<std::uint8_t>{10, 20, 30, 200, 100, 50, 0, 255, 0, 200, 100, 50,
                                                         0, 255, 0, 0, 255, 0, 10, 20, 30, 10, 20, 30}));

    WriteRawPng(PathOf("t.png"), 4, 2, PNG_COLOR_TYPE_PALETTE, 2, Rows, Palette, {0, 128});
    Image = ReadImageFile(PathOf("t.png"));
    ASSERT_EQ(Image.Channels, 4);
    EXPECT_TRUE(Image.HasAlpha);
    // Entries past the transparency table are opaque.
    EXPECT_EQ(std::vector<std::uint8_t>(Image.Samples8.begin(), Image.Samples8.begin() + 12),
              (std::vector<std::uint8_t>{10, 20, 30, 0, 200, 100, 50, 128, 0, 255, 0, 255}));
}

TEST_F(TScratchFolder, PngLowDepthGrayAndInterlacedImagesRead) {
    // 1-bit gray expands to 0 / 255.
    WriteRawPng(PathOf("g1.png"), 3, 1, PNG_COLOR_TYPE_GRAY, 1, {{0b10100000}});
    EXPECT_EQ(ReadImageFile(PathOf("g1.png")).Samples8, (std::vector<std::uint8_t>{255, 0, 255}));

    std::vector<std::vector<std::uint8_t>> Rows(19, std::vector<std::uint8_t>(13 * 3));
    std::vector<std::uint8_t> Expected;
    for (std::size_t y = 0; y < Rows.size(); ++y)
        for (std::size_t i = 0; i < Rows[y].size(); ++i) Expected.push_back(Rows[y][i] = std::uint8_t(y * 31 + i * 7));
    WriteRawPng(PathOf("i.png"), 13, 19, PNG_COLOR_TYPE_RGB, 8, Rows, {}, {}, true);
    const TImageData Image = ReadImageFile(PathOf("i.png"));
    EXPECT_EQ(Image.Channels, 3);
    EXPECT_EQ(Image.Samples8, Expected);
}

TEST_F(TScratchFolder, TiffPaletteWhiteIsZeroPlanesAndPremultipliedAlpha) {
    const auto Write = [&](const std::string& Name, auto Fill) {
        TIFF* Tiff = TIFFOpen(PathOf(Name).c_str(), "w");
        ASSERT_NE(Tiff, nullptr);
        Fill(Tiff);
        TIFFClose(Tiff);
    };
    const auto Common = [](TIFF* Tiff, std::uint16_t Spp, std::uint16_t Photometric, std::uint16_t Planar) {
        TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, 3u);
        TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, 1u);
        TIFFSetField(Tiff, TIFFTAG_SAMPLESPERPIXEL, Spp);
        TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, Photometric);
        TIFFSetField(Tiff, TIFFTAG_PLANARCONFIG, Planar);
        TIFFSetField(Tiff, TIFFTAG_ROWSPERSTRIP, 1u);
    };
    Write("palette.tif", [&](TIFF* Tiff) {
        Common(Tiff, 1, PHOTOMETRIC_PALETTE, PLANARCONFIG_CONTIG);
        std::vector<std::uint16_t> R(256, 0), G(256, 0), B(256, 0);
        R[1] = 65535;
        G[2] = 32896; // 128 * 257
        B[2] = 257;
        TIFFSetField(Tiff, TIFFTAG_COLORMAP, R.data(), G.data(), B.data());
        std::uint8_t Row[3] = {1, 2, 0};
        TIFFWriteScanline(Tiff, Row, 0, 0);
    });
    TImageData Image = ReadImageFile(PathOf("palette.tif"));
    EXPECT_EQ(Image.Channels, 3);
    EXPECT_EQ(Image.Samples8, (std::vector<std::uint8_t>{255, 0, 0, 0, 128, 1, 0, 0, 0}));

    Write("white.tif", [&](TIFF* Tiff) {
        Common(Tiff, 1, PHOTOMETRIC_MINISWHITE, PLANARCONFIG_CONTIG);
        std::uint8_t Row[3] = {0, 55, 255};
        TIFFWriteScanline(Tiff, Row, 0, 0);
    });
    EXPECT_EQ(ReadImageFile(PathOf("white.tif")).Samples8, (std::vector<std::uint8_t>{255, 200, 0}));

    Write("planes.tif", [&](TIFF* Tiff) {
        Common(Tiff, 4, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE);
        const std::uint16_t Extra = EXTRASAMPLE_ASSOCALPHA;
        TIFFSetField(Tiff, TIFFTAG_EXTRASAMPLES, 1, &Extra);
        std::uint8_t Planes[4][3] = {{50, 100, 0}, {25, 200, 0}, {0, 255, 0}, {100, 255, 0}};
        for (std::uint16_t s = 0; s < 4; ++s) TIFFWriteScanline(Tiff, Planes[s], 0, s);
    });
    Image = ReadImageFile(PathOf("planes.tif"));
    ASSERT_EQ(Image.Channels, 4);
    EXPECT_TRUE(Image.HasAlpha);
    // Premultiplied colours are divided by alpha; transparent ones become 0.
    EXPECT_EQ(Image.Samples8, (std::vector<std::uint8_t>{128, 64, 0, 100, 100, 200, 255, 255, 0, 0, 0, 0}));
}

TEST_F(TScratchFolder, TiledTiffsReadInterleavedAndPlanar) {
    // 37 x 23 pixels in 16 x 16 tiles: the right and bottom tiles hang over.
    for (const std::uint16_t Planar : {PLANARCONFIG_CONTIG, PLANARCONFIG_SEPARATE}) {
        const TImageData Image = PatternImage(37, 23, 4, true, TSampleType::st16bit);
        const std::string Path = PathOf("tiles.tif");
        TIFF* Tiff = TIFFOpen(Path.c_str(), "w");
        ASSERT_NE(Tiff, nullptr);
        TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, 37u);
        TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, 23u);
        TIFFSetField(Tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
        TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(Tiff, TIFFTAG_PLANARCONFIG, Planar);
        TIFFSetField(Tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        const std::uint16_t Extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(Tiff, TIFFTAG_EXTRASAMPLES, 1, &Extra);
        TIFFSetField(Tiff, TIFFTAG_TILEWIDTH, 16u);
        TIFFSetField(Tiff, TIFFTAG_TILELENGTH, 16u);
        const bool Contig = Planar == PLANARCONFIG_CONTIG;
        std::vector<std::uint16_t> Tile(16 * 16 * 4);
        for (std::uint16_t Plane = 0; Plane < (Contig ? 1 : 4); ++Plane)
            for (std::uint32_t y0 = 0; y0 < 23; y0 += 16)
                for (std::uint32_t x0 = 0; x0 < 37; x0 += 16) {
                    std::fill(Tile.begin(), Tile.end(), std::uint16_t(0));
                    for (std::uint32_t y = y0; y < std::min(23u, y0 + 16); ++y)
                        for (std::uint32_t x = x0; x < std::min(37u, x0 + 16); ++x)
                            for (std::uint32_t c = 0; c < 4; ++c) {
                                if (!Contig && c != Plane) continue;
                                const std::size_t At = Contig ? ((y - y0) * 16 + (x - x0)) * 4 + c : (y - y0) * 16 + (x - x0);
                                Tile[At] = Image.Samples16[(y * 37 + x) * 4 + c];
                            }
                    ASSERT_GE(TIFFWriteTile(Tiff, Tile.data(), x0, y0, 0, Plane), 0);
                }
        TIFFClose(Tiff);
        const TImageData Back = ReadImageFile(Path);
        EXPECT_TRUE(Back.HasAlpha);
        EXPECT_EQ(Back.Samples16, Image.Samples16) << (Contig ? "interleaved" : "planar");
    }
}

// ---------------------------------------------------------------------------
// BMP files made byte by byte.

struct TBmpBuilder {
    std::vector<char> Bytes;
    void U8(int v) { Bytes.push_back(char(v)); }
    void U16(std::uint32_t v) { U8(int(v & 255)), U8(int(v >> 8 & 255)); }
    void U32(std::uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    // File and info header; HeaderSize 40 or 108. Sizes are patched by Close.
    void Start(std::int32_t W, std::int32_t H, int Bits, std::uint32_t Compression, std::uint32_t HeaderSize = 40,
               std::uint32_t Colors = 0) {
        U8('B'), U8('M'), U32(0), U32(0), U32(0);
        U32(HeaderSize), U32(std::uint32_t(W)), U32(std::uint32_t(H)), U16(1), U16(std::uint32_t(Bits)),
            U32(Compression), U32(0), U32(2835), U32(2835), U32(Colors), U32(0);
    }
    void PixelsStartHere() {
        const auto Offset = std::uint32_t(Bytes.size());
        std::memcpy(&Bytes[10], &Offset, 4);
    }
    void Pad() {
        while ((Bytes.size() - Offset()) % 4 != 0) U8(0);
    }
    std::uint32_t Offset() const {
        std::uint32_t v;
        std::memcpy(&v, &Bytes[10], 4);
        return v;
    }
};

TEST_F(TScratchFolder, BmpPalettesGrayAndBitFields) {
    // Colour palette, 8 bits, bottom-up rows: expands to RGB.
    TBmpBuilder Color;
    Color.Start(2, 2, 8, 0, 40, 2);
    Color.U8(30), Color.U8(20), Color.U8(10), Color.U8(0); // entry 0: R10 G20 B30
    Color.U8(0), Color.U8(0), Color.U8(255), Color.U8(0);  // entry 1: red
    Color.PixelsStartHere();
    Color.U8(0), Color.U8(1), Color.Pad(); // bottom row
    Color.U8(1), Color.U8(1), Color.Pad(); // top row
    Save(PathOf("c.bmp"), Color.Bytes);
    TImageData Image = ReadImageFile(PathOf("c.bmp"));
    ASSERT_EQ(Image.Channels, 3);
    EXPECT_EQ(Image.Samples8, (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 0, 10, 20, 30, 255, 0, 0}));

    // A gray palette that is no ramp stays gray, through the palette.
    TBmpBuilder Gray;
    Gray.Start(3, 1, 8, 0, 40, 2);
    Gray.U8(7), Gray.U8(7), Gray.U8(7), Gray.U8(0);
    Gray.U8(90), Gray.U8(90), Gray.U8(90), Gray.U8(0);
    Gray.PixelsStartHere();
    Gray.U8(1), Gray.U8(0), Gray.U8(1), Gray.Pad();
    Save(PathOf("g.bmp"), Gray.Bytes);
    Image = ReadImageFile(PathOf("g.bmp"));
    ASSERT_EQ(Image.Channels, 1);
    EXPECT_EQ(Image.Samples8, (std::vector<std::uint8_t>{90, 7, 90}));

    // 32 bits without fields: the fourth byte is padding; rows top-down.
    TBmpBuilder Plain;
    Plain.Start(1, -2, 32, 0);
    Plain.PixelsStartHere();
    Plain.U8(1), Plain.U8(2), Plain.U8(3), Plain.U8(99);
    Plain.U8(4), Plain.U8(5), Plain.U8(6), Plain.U8(99);
    Save(PathOf("p.bmp"), Plain.Bytes);
    Image = ReadImageFile(PathOf("p.bmp"));
    ASSERT_EQ(Image.Channels, 3);
    EXPECT_EQ(Image.Samples8, (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4}));

    // 32 bits with an alpha mask in a version-4 header.
    TBmpBuilder Fields;
    Fields.Start(2, 1, 32, 3, 108);
    Fields.U32(0x0000FF00), Fields.U32(0x00FF0000), Fields.U32(0xFF000000), Fields.U32(0x000000FF);
    while (Fields.Bytes.size() < 14 + 108) Fields.U8(0);
    Fields.PixelsStartHere();
    Fields.U32(0x11223344), Fields.U32(0xAABBCCDD);
    Save(PathOf("f.bmp"), Fields.Bytes);
    Image = ReadImageFile(PathOf("f.bmp"));
    ASSERT_EQ(Image.Channels, 4);
    EXPECT_TRUE(Image.HasAlpha);
    EXPECT_EQ(Image.Samples8, (std::vector<std::uint8_t>{0x33, 0x22, 0x11, 0x44, 0xCC, 0xBB, 0xAA, 0xDD}));

    // 16 bits, 5-6-5 fields after a 40-byte header: 5-bit maxima scale to 255.
    TBmpBuilder Short;
    Short.Start(1, 1, 16, 3);
    Short.U32(0xF800), Short.U32(0x07E0), Short.U32(0x001F);
    Short.PixelsStartHere();
    Short.U16(0xF81F), Short.Pad();
    Save(PathOf("s.bmp"), Short.Bytes);
    EXPECT_EQ(ReadImageFile(PathOf("s.bmp")).Samples8, (std::vector<std::uint8_t>{255, 0, 255}));
}

// ---------------------------------------------------------------------------
// Conversions to the engine's containers.

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
        const std::uint8_t* Source = &Image.Samples8[(2 * 5 + 4) * std::size_t(Channels)];
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
        EXPECT_EQ(Back.Samples8, Image.Samples8) << Channels << " channels";
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
    EXPECT_EQ(Image.Samples8, (std::vector<std::uint8_t>{3, 2, 1, 0, 0, 0}));

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
    EXPECT_EQ(*Maps[3]->PixelPtr(3, 2), double(Image.Samples16[(2 * 4 + 3) * 4 + 3]));
    EXPECT_EQ(FloatMapsToImage(Maps, true, TSampleType::st16bit).Samples16, Image.Samples16);

    const TImageData Float = PatternImage(4, 3, 1, false, TSampleType::stFloat64);
    const TImageData FloatBack = FloatMapsToImage(ImageToFloatMaps(Float), false, TSampleType::stFloat64, 32);
    EXPECT_EQ(FloatBack.SamplesFloat, Float.SamplesFloat);
    EXPECT_EQ(FloatBack.FloatBits, 32);
}

TEST(ImageFilesConversion, IntegerResultsRoundToEvenAndClamp) {
    TFloatMapList Maps;
    Maps.push_back(std::make_unique<TFloatMap>(6, 1));
    const double Values[6] = {2.5, 3.5, -3.0, 70000.0, std::nan(""), 65534.6};
    std::copy(Values, Values + 6, Maps[0]->Map);
    EXPECT_EQ(FloatMapsToImage(Maps, false, TSampleType::st16bit).Samples16,
              (std::vector<std::uint16_t>{2, 4, 0, 65535, 0, 65535}));
    EXPECT_EQ(FloatMapsToImage(Maps, false, TSampleType::st8bit).Samples8,
              (std::vector<std::uint8_t>{2, 4, 0, 255, 0, 255}));
    Maps.push_back(std::make_unique<TFloatMap>(6, 1));
    EXPECT_THROW(FloatMapsToImage(Maps, false, TSampleType::st8bit), EImageFile); // two maps, no alpha
    Maps.push_back(std::make_unique<TFloatMap>(5, 1));
    EXPECT_THROW(FloatMapsToImage(Maps, false, TSampleType::st8bit), EImageFile); // sizes differ
}

TEST(ImageFilesConversion, ContainerLimits) {
    // 8-bit planes stay below 2^31 - 1 bytes, float maps at most 2e9 bytes.
    EXPECT_TRUE(FitsContainers(46340, 46340, 2, true, TSampleType::st8bit));
    EXPECT_FALSE(FitsContainers(46341, 46341, 1, false, TSampleType::st8bit));
    EXPECT_TRUE(FitsContainers(26754, 26754, 3, false, TSampleType::st8bit));
    EXPECT_FALSE(FitsContainers(26755, 26755, 4, true, TSampleType::st8bit));
    EXPECT_TRUE(FitsContainers(250000, 1000, 4, true, TSampleType::st16bit));
    EXPECT_FALSE(FitsContainers(250001, 1000, 1, false, TSampleType::stFloat64));
    EXPECT_FALSE(FitsContainers(0, 10, 1, false, TSampleType::st8bit));
}

} // namespace
} // namespace fi::test
