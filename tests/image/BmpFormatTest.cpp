// The BMP layout both BMP codecs share: headers written and read back, the
// old core header, and what a header may not say.
#include "image/BmpFormat.h"

#include <gtest/gtest.h>

#include <vector>

namespace fi {
namespace {

TEST(BmpFormat, HeaderWrittenIsHeaderRead) {
    std::vector<std::uint8_t> Bytes(BmpFileHeaderSize + BmpInfoHeaderSize);
    PutBmpHeader(Bytes.data(), 3, 5, 24, 0, 3780, 1000);
    TBmpHeader H;
    ASSERT_EQ(ParseBmpHeader(Bytes.data(), Bytes.size(), H), TBmpHeaderStatus::Ok);
    EXPECT_EQ(H.Width, 3);
    EXPECT_EQ(H.Height, 5);
    EXPECT_FALSE(H.TopDown);
    EXPECT_EQ(H.BitCount, 24u);
    EXPECT_EQ(H.PixelOffset, 54u);
    EXPECT_EQ(H.PixelsPerMetreX, 3780u);
    EXPECT_EQ(H.PixelsPerMetreY, 1000u);
    // Rows of 3 pixels of 24 bits pad from 9 to 12 bytes.
    EXPECT_EQ(GetLe32(&Bytes[2]), 54u + 5 * 12);
    EXPECT_EQ(BmpRowBytes(3, 24), 12);
    EXPECT_EQ(BmpRowBytes(9, 1), 4);

    // A palette moves the pixels; a negative height means top-down rows.
    PutBmpHeader(Bytes.data(), 2, 2, 8, 256);
    PutLe32(&Bytes[22], std::uint32_t(-2));
    ASSERT_EQ(ParseBmpHeader(Bytes.data(), Bytes.size(), H), TBmpHeaderStatus::Ok);
    EXPECT_EQ(H.PixelOffset, 54u + 1024);
    EXPECT_EQ(H.ColorsUsed, 256u);
    EXPECT_EQ(H.Height, 2);
    EXPECT_TRUE(H.TopDown);
}

TEST(BmpFormat, CoreHeaderAndBadHeaders) {
    // The 12-byte header has 16-bit sizes.
    std::vector<std::uint8_t> Core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0,
                                      12, 0, 0, 0, 0x34, 0x12, 7, 0, 1, 0, 24, 0};
    TBmpHeader H;
    ASSERT_EQ(ParseBmpHeader(Core.data(), Core.size(), H), TBmpHeaderStatus::Ok);
    EXPECT_EQ(H.Width, 0x1234);
    EXPECT_EQ(H.Height, 7);
    EXPECT_EQ(H.BitCount, 24u);
    EXPECT_EQ(ParseBmpHeader(Core.data(), Core.size() - 1, H), TBmpHeaderStatus::Truncated);
    EXPECT_EQ(ParseBmpHeader(Core.data(), 10, H), TBmpHeaderStatus::Truncated);
    Core[14] = 20;
    EXPECT_EQ(ParseBmpHeader(Core.data(), Core.size(), H), TBmpHeaderStatus::Unsupported);
    Core[1] = 'A';
    EXPECT_EQ(ParseBmpHeader(Core.data(), Core.size(), H), TBmpHeaderStatus::NotBmp);
}

} // namespace
} // namespace fi
