// The in-memory image: its size limit and its sample buffer.
#include "tools/ImageData.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace fi::test {
namespace {

std::string Refusal(const std::function<void()>& Check) {
    try {
        Check();
    } catch (const EImageFile& E) {
        return E.what();
    }
    return "";
}

// One limit for every shape and depth, the engine's planes', stated with
// the size asked for; header fields whose products overflow 64 bits too.
TEST(ImageData, SizeLimitIsTheEnginesAndNamesTheSize) {
    EXPECT_EQ(Refusal([] { CheckShape("a.png", 25000, 10000); }), "");
    EXPECT_EQ(Refusal([] { CheckShape("a.png", 25000, 10001); }),
              "a.png: the image of 25000 x 10001 pixels is too large (at most 250000000 pixels)");
    EXPECT_EQ(Refusal([] { CheckShape("a.bmp", 0x7FFFFFFF, 0x7FFFFFFF); }),
              "a.bmp: the image of 2147483647 x 2147483647 pixels is too large (at most 250000000 pixels)");
    EXPECT_EQ(Refusal([] { CheckShape("a.tif", 0xFFFFFFFFLL, 0xFFFFFFFFLL); }).find("4294967295 x 4294967295"), 20u);
    EXPECT_EQ(Refusal([] { CheckShape("a.png", 0, 10); }), "a.png: invalid image size 0 x 10");
    EXPECT_EQ(Refusal([] { CheckShape("a.png", 2000, 1000, 1000000); }),
              "a.png: the image of 2000 x 1000 pixels is too large (at most 1000000 pixels)");
    EXPECT_EQ(Refusal([] { CheckPixels("g.png", "the result", 16000, 16000); }),
              "g.png: the result of 16000 x 16000 pixels is too large (at most 250000000 pixels)");
}

TEST(ImageData, OneSampleBufferOfOneType) {
    TImageData Image;
    Image.Allocate(3, 2, 2, true, TSampleType::st16bit);
    EXPECT_EQ(Image.SampleType(), TSampleType::st16bit);
    EXPECT_EQ(Image.Samples.Size(), 12u);
    Image.Row<std::uint16_t>(1)[5] = 7;
    EXPECT_EQ(Image.Samples.U16().back(), 7);
    // Another type's vector is refused, not handed out empty.
    EXPECT_THROW(Image.Samples.U8(), std::bad_variant_access);
    TSampleBuffer Bytes;
    Bytes.Reset(TSampleType::st8bit);
    TSampleBuffer Doubles;
    Doubles.Reset(TSampleType::stFloat64);
    EXPECT_NE(Bytes, Doubles); // both empty, yet of different types
    EXPECT_THROW(Image.Allocate(2, 2, 3, true, TSampleType::st8bit), EImageFile);
}

} // namespace
} // namespace fi::test
