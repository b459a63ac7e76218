// TIFF files made by libtiff directly, in the variants our writer never
// makes: palettes, white as zero, planes, premultiplied alpha, tiles.
#include "tools/TiffFile.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

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
    EXPECT_EQ(Image.Samples.U8(), (std::vector<std::uint8_t>{255, 0, 0, 0, 128, 1, 0, 0, 0}));

    Write("white.tif", [&](TIFF* Tiff) {
        Common(Tiff, 1, PHOTOMETRIC_MINISWHITE, PLANARCONFIG_CONTIG);
        std::uint8_t Row[3] = {0, 55, 255};
        TIFFWriteScanline(Tiff, Row, 0, 0);
    });
    EXPECT_EQ(ReadImageFile(PathOf("white.tif")).Samples.U8(), (std::vector<std::uint8_t>{255, 200, 0}));

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
    EXPECT_EQ(Image.Samples.U8(), (std::vector<std::uint8_t>{128, 64, 0, 100, 100, 200, 255, 255, 0, 0, 0, 0}));
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
                                Tile[At] = Image.Samples.U16()[(y * 37 + x) * 4 + c];
                            }
                    ASSERT_GE(TIFFWriteTile(Tiff, Tile.data(), x0, y0, 0, Plane), 0);
                }
        TIFFClose(Tiff);
        const TImageData Back = ReadImageFile(Path);
        EXPECT_TRUE(Back.HasAlpha);
        EXPECT_EQ(Back.Samples.U16(), Image.Samples.U16()) << (Contig ? "interleaved" : "planar");
    }
}

TEST_F(TScratchFolder, RowBuffersAreBoundedLikeTheImage) {
    // 16 RGB pixels carrying 197 extra samples each: a row of 3200 bytes.
    const std::string Path = PathOf("extra.tif");
    TIFF* Tiff = TIFFOpen(Path.c_str(), "w");
    ASSERT_NE(Tiff, nullptr);
    const std::uint16_t Spp = 200;
    TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, 16u);
    TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(Tiff, TIFFTAG_SAMPLESPERPIXEL, Spp);
    TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(Tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(Tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    const std::vector<std::uint16_t> Extra(Spp - 3, EXTRASAMPLE_UNSPECIFIED);
    TIFFSetField(Tiff, TIFFTAG_EXTRASAMPLES, std::uint16_t(Extra.size()), Extra.data());
    std::vector<std::uint8_t> Row(16 * Spp);
    for (std::size_t i = 0; i < Row.size(); ++i) Row[i] = std::uint8_t(i);
    ASSERT_GE(TIFFWriteScanline(Tiff, Row.data(), 0, 0), 0);
    TIFFClose(Tiff);

    const TImageData Image = ReadImageFile(Path);
    ASSERT_EQ(Image.Channels, 3);
    EXPECT_EQ(Image.Samples.U8()[3 * 15 + 2], Row[15 * Spp + 2]);
    // An image of at most 32 pixels needs no row beyond 2048 bytes, so a
    // header claiming more is refused before the buffer is taken.
    TReadOptions Small;
    Small.MaxPixels = 32;
    try {
        ReadImageFile(Path, Small);
        ADD_FAILURE() << "read with a 3200-byte row";
    } catch (const EImageFile& E) {
        EXPECT_NE(std::string(E.what()).find("a TIFF row or tile of 3200 bytes is too large (at most 2048 bytes)"),
                  std::string::npos)
            << E.what();
    }
}

// Pages are refused as animations are, naming their count; a preview in
// the second directory is no page.
TEST_F(TScratchFolder, MultiPageTiffIsRefusedPreviewsAreNoPages) {
    const auto WritePages = [&](const std::string& Path, int Pages, bool Preview) {
        TIFF* Tiff = TIFFOpen(Path.c_str(), "w");
        ASSERT_NE(Tiff, nullptr);
        for (int Page = 0; Page < Pages; ++Page) {
            const std::uint32_t Side = Preview && Page > 0 ? 2 : 4;
            TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, Side);
            TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, Side);
            TIFFSetField(Tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            if (Preview && Page > 0) TIFFSetField(Tiff, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
            std::vector<std::uint8_t> Row(Side, std::uint8_t(40 * Page + 9));
            for (std::uint32_t y = 0; y < Side; ++y) ASSERT_GE(TIFFWriteScanline(Tiff, Row.data(), y, 0), 0);
            ASSERT_EQ(TIFFWriteDirectory(Tiff), 1);
        }
        TIFFClose(Tiff);
    };
    WritePages(PathOf("pages.tif"), 3, false);
    try {
        ReadImageFile(PathOf("pages.tif"));
        ADD_FAILURE() << "read the first of three pages";
    } catch (const EImageFile& E) {
        EXPECT_EQ(std::string(E.what()),
                  PathOf("pages.tif") + ": unsupported multi-page TIFF (3 pages; only single images are enlarged)");
    }
    WritePages(PathOf("preview.tif"), 2, true);
    const TImageData Image = ReadImageFile(PathOf("preview.tif"));
    EXPECT_EQ(Image.Width, 4);
    EXPECT_EQ(Image.Samples.U8()[0], 9);
}

} // namespace
} // namespace fi::test
