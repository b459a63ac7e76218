// WebP files: lossless round trips keep every sample, lossy ones stay close,
// gray goes as RGB, and what WebP cannot hold is refused.
#include "tools/WebpFile.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

TEST_F(TScratchFolder, LosslessWebpKeepsEverySampleEvenUnderTransparency) {
    for (const std::int32_t Channels : {3, 4}) {
        const TImageData Image = PatternImage(37, 23, Channels, Channels == 4, TSampleType::st8bit);
        WriteImageFile(PathOf("l.webp"), Image);
        const TImageData Back = ReadImageFile(PathOf("l.webp"));
        EXPECT_EQ(Back.Channels, Channels);
        EXPECT_EQ(Back.Samples, Image.Samples) << Channels;
        EXPECT_FALSE(Back.LossySource);
        EXPECT_EQ(Back.SourceFormat, TImageFormat::ifWebp);
    }
    // Gray, with and without alpha, comes back as RGB.
    const TImageData Gray = PatternImage(5, 4, 2, true, TSampleType::st8bit);
    WriteImageFile(PathOf("g.webp"), Gray);
    const TImageData Back = ReadImageFile(PathOf("g.webp"));
    ASSERT_EQ(Back.Channels, 4);
    EXPECT_EQ(Back.Samples.U8()[6 * 4 + 1], Gray.Samples.U8()[6 * 2]);
    EXPECT_EQ(Back.Samples.U8()[6 * 4 + 3], Gray.Samples.U8()[6 * 2 + 1]);
}

TEST_F(TScratchFolder, LossyWebpStaysCloseAndSaysItIsLossy) {
    const TImageData Image = SmoothImage(64, 48, 3);
    TWriteOptions Options;
    Options.WebpLossless = false;
    Options.Quality = 95;
    WriteImageFile(PathOf("p.webp"), Image, Options);
    const TImageData Back = ReadImageFile(PathOf("p.webp"));
    ASSERT_EQ(Back.Samples.Size(), Image.Samples.Size());
    int Worst = 0;
    for (std::size_t i = 0; i < Image.Samples.Size(); ++i)
        Worst = std::max(Worst, std::abs(int(Back.Samples.U8()[i]) - int(Image.Samples.U8()[i])));
    EXPECT_LE(Worst, 8);
    EXPECT_TRUE(Back.LossySource);
}

TEST_F(TScratchFolder, WebpRefusesDeepSamplesAndHugeSides) {
    EXPECT_THROW(WriteImageFile(PathOf("d.webp"), PatternImage(2, 2, 3, false, TSampleType::st16bit)), EImageFile);
    EXPECT_THROW(WriteImageFile(PathOf("f.webp"), PatternImage(2, 2, 1, false, TSampleType::stFloat64)), EImageFile);
    EXPECT_THROW(WriteImageFile(PathOf("w.webp"), PatternImage(WebpMaxSide + 1, 1, 1, false, TSampleType::st8bit)),
                 EImageFile);
    EXPECT_TRUE(Entries().empty());
}

} // namespace
} // namespace fi::test
