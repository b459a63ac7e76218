// The dispatch: every format and depth written and read back by name,
// replacing files, and what each format refuses.
#include "tools/ImageFiles.h"

#include <gtest/gtest.h>

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
        for (double& v : Image.Samples.Float()) v = double(float(v));
    Image.Caption = "tree x2 region=7 regul=0.001 filter=1 clampw=0 normalize=0 clampres=0";
    const std::string Path = PathOf(std::string("image.") + P.Extension);
    WriteImageFile(Path, Image);
    const TImageData Back = ReadImageFile(Path);
    EXPECT_EQ(Back.Width, 37);
    EXPECT_EQ(Back.Height, 23);
    EXPECT_EQ(Back.Channels, P.Channels);
    EXPECT_EQ(Back.HasAlpha, P.Alpha);
    ASSERT_EQ(Back.SampleType(), P.Type);
    EXPECT_EQ(Back.Samples, Image.Samples);
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
                      TRoundTrip{"webp", 3, false, TSampleType::st8bit, 64, false},
                      TRoundTrip{"webp", 4, true, TSampleType::st8bit, 64, false},
                      TRoundTrip{"bmp", 1, false, TSampleType::st8bit, 64, false},
                      TRoundTrip{"BMP", 3, false, TSampleType::st8bit, 64, false}),
    Describe);

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
    Short.Samples.U8().pop_back();
    EXPECT_THROW(WriteImageFile(Png, Short), EImageFile);
    EXPECT_TRUE(Entries().empty());
}

TEST(ImageFilesFormat, FromExtension) {
    EXPECT_EQ(FormatFromFileName("a.PNG"), TImageFormat::ifPng);
    EXPECT_EQ(FormatFromFileName("dir/a.b.jpeg"), TImageFormat::ifJpeg);
    EXPECT_EQ(FormatFromFileName("a.JPG"), TImageFormat::ifJpeg);
    EXPECT_EQ(FormatFromFileName("/x/a.Tiff"), TImageFormat::ifTiff);
    EXPECT_EQ(FormatFromFileName("a.bmp"), TImageFormat::ifBmp);
    EXPECT_EQ(FormatFromFileName("a.WebP"), TImageFormat::ifWebp);
    EXPECT_THROW(FormatFromFileName("folder.png/name"), EImageFile);
    EXPECT_THROW(FormatFromFileName("name"), EImageFile);
    try {
        FormatFromFileName("out.gif");
        FAIL();
    } catch (const EImageFile& E) {
        EXPECT_EQ(std::string(E.what()).rfind("out.gif: ", 0), 0u) << E.what();
    }
}

} // namespace
} // namespace fi::test
