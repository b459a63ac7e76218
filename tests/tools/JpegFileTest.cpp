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
        WriteImageFile(Path, Image, 95);
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

} // namespace
} // namespace fi::test
