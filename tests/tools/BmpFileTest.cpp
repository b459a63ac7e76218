// BMP files made byte by byte.
#include "tools/BmpFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

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
    EXPECT_EQ(Image.Samples.U8(), (std::vector<std::uint8_t>{255, 0, 0, 255, 0, 0, 10, 20, 30, 255, 0, 0}));

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
    EXPECT_EQ(Image.Samples.U8(), (std::vector<std::uint8_t>{90, 7, 90}));

    // 32 bits without fields: the fourth byte is padding; rows top-down.
    TBmpBuilder Plain;
    Plain.Start(1, -2, 32, 0);
    Plain.PixelsStartHere();
    Plain.U8(1), Plain.U8(2), Plain.U8(3), Plain.U8(99);
    Plain.U8(4), Plain.U8(5), Plain.U8(6), Plain.U8(99);
    Save(PathOf("p.bmp"), Plain.Bytes);
    Image = ReadImageFile(PathOf("p.bmp"));
    ASSERT_EQ(Image.Channels, 3);
    EXPECT_EQ(Image.Samples.U8(), (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4}));

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
    EXPECT_EQ(Image.Samples.U8(), (std::vector<std::uint8_t>{0x33, 0x22, 0x11, 0x44, 0xCC, 0xBB, 0xAA, 0xDD}));

    // 16 bits, 5-6-5 fields after a 40-byte header: 5-bit maxima scale to 255.
    TBmpBuilder Short;
    Short.Start(1, 1, 16, 3);
    Short.U32(0xF800), Short.U32(0x07E0), Short.U32(0x001F);
    Short.PixelsStartHere();
    Short.U16(0xF81F), Short.Pad();
    Save(PathOf("s.bmp"), Short.Bytes);
    EXPECT_EQ(ReadImageFile(PathOf("s.bmp")).Samples.U8(), (std::vector<std::uint8_t>{255, 0, 255}));
}

} // namespace
} // namespace fi::test
