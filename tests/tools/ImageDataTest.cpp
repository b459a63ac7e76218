// The in-memory image: its container limits and its sample buffer.
#include "tools/ImageData.h"

#include <gtest/gtest.h>


namespace fi::test {
namespace {

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
