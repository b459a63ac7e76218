// JPEG files: lossy round trips and the comment marker.
#include "tools/JpegFile.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

TEST_F(TScratchFolder, JpegRoundTripStaysCloseAndKeepsItsComment) {
    for (const std::int32_t Channels : {1, 3}) {
        TImageData Image = SmoothImage(64, 48, Channels);
        Image.Caption = "photo x2";
        const std::string Path = PathOf("photo.jpg");
        WriteImageFile(Path, Image, TWriteOptions{95});
        const TImageData Back = ReadImageFile(Path);
        ASSERT_EQ(Back.Channels, Channels);
        ASSERT_EQ(Back.Samples.U8().size(), Image.Samples.U8().size());
        int Worst = 0;
        for (std::size_t i = 0; i < Image.Samples.U8().size(); ++i)
            Worst = std::max(Worst, std::abs(int(Back.Samples.U8()[i]) - int(Image.Samples.U8()[i])));
        EXPECT_LE(Worst, 6) << Channels << " channels";
        EXPECT_EQ(Back.Caption, "photo x2");
    }
}

// Re-encoding at the source's quality needs that quality: libjpeg's tables
// are recognised exactly.
TEST_F(TScratchFolder, JpegQualityIsEstimatedFromTheTables) {
    for (const std::int32_t Quality : {40, 75, 92, 100}) {
        WriteImageFile(PathOf("q.jpg"), SmoothImage(16, 16, 3), TWriteOptions{Quality});
        const TImageData Back = ReadImageFile(PathOf("q.jpg"));
        EXPECT_EQ(Back.SourceQuality, Quality);
        EXPECT_TRUE(Back.LossySource);
    }
    WriteImageFile(PathOf("g.jpg"), SmoothImage(16, 16, 1), TWriteOptions{60});
    EXPECT_EQ(ReadImageFile(PathOf("g.jpg")).SourceQuality, 60);
}

} // namespace
} // namespace fi::test
