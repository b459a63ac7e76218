// The host's image files: BMP and raw round trips, and what it refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "host/HostBitmapFile.h"

namespace fi {
namespace {

THostPicture Filled(std::int32_t Format, std::int32_t Width, std::int32_t Height) {
    THostPicture P;
    P.Width = Width;
    P.Height = Height;
    P.Format = Format;
    P.BytesPerLine = Width * HostPixelBytes(Format);
    P.Pixels.resize(std::size_t(P.BytesPerLine) * Height);
    for (std::size_t I = 0; I < P.Pixels.size(); ++I) P.Pixels[I] = std::uint8_t(I * 37 + 11);
    return P;
}

// Pixel I of row Y, whatever the rows' padding.
std::vector<std::uint8_t> Row(const THostPicture& P, std::int32_t Y) {
    const auto* Start = P.Pixels.data() + std::size_t(Y) * P.BytesPerLine;
    return {Start, Start + std::size_t(P.Width) * HostPixelBytes(P.Format)};
}

void ExpectSamePixels(const THostPicture& A, const THostPicture& B) {
    ASSERT_EQ(A.Width, B.Width);
    ASSERT_EQ(A.Height, B.Height);
    ASSERT_EQ(A.Format, B.Format);
    for (std::int32_t Y = 0; Y < A.Height; ++Y) EXPECT_EQ(Row(A, Y), Row(B, Y)) << "row " << Y;
}

TEST(HostBitmapFile, BmpRoundTripsEveryDepthWithPaddedRows) {
    const std::string File = "host_roundtrip.bmp";
    for (std::int32_t Format : {hfIndexed8, hfBgr24, hfBits32}) {
        // Width 3 pads every 8- and 24-bit row of the file.
        THostPicture Out = Filled(Format, 3, 2);
        if (Format == hfIndexed8) {
            Out.Palette.resize(768);
            for (std::size_t I = 0; I < 768; ++I) Out.Palette[I] = std::uint8_t(255 - I % 251);
        }
        WriteBmpFile(File, Out);
        const THostPicture In = ReadBmpFile(File);
        ExpectSamePixels(Out, In);
        EXPECT_EQ(In.BytesPerLine % 4, 0);
        EXPECT_EQ(In.Palette, Out.Palette);
    }
    // An 8-bit picture without a palette is written with the gray ramp.
    THostPicture Gray = Filled(hfIndexed8, 2, 2);
    WriteBmpFile(File, Gray);
    const THostPicture In = ReadBmpFile(File);
    ASSERT_EQ(In.Palette.size(), 768u);
    EXPECT_EQ(In.Palette[3 * 200], 200);
    EXPECT_EQ(In.Palette[3 * 200 + 2], 200);
    std::remove(File.c_str());
}

TEST(HostBitmapFile, ReadsTopDownFilesAndRefusesDamagedOnes) {
    const std::string File = "host_damaged.bmp";
    THostPicture Out = Filled(hfBgr24, 2, 3);
    WriteBmpFile(File, Out);
    std::vector<char> Bytes;
    {
        std::ifstream F(File, std::ios::binary);
        Bytes.assign(std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>());
    }
    auto Write = [&](const std::vector<char>& B) {
        std::ofstream F(File, std::ios::binary | std::ios::trunc);
        F.write(B.data(), std::streamsize(B.size()));
    };
    // Negative height: the same rows stored top row first.
    std::vector<char> TopDown = Bytes;
    const std::int32_t Minus3 = -3;
    std::memcpy(&TopDown[22], &Minus3, 4);
    for (int Y = 0; Y < 3; ++Y) std::memcpy(&TopDown[54 + 8 * Y], &Bytes[54 + 8 * (2 - Y)], 8);
    Write(TopDown);
    ExpectSamePixels(Out, ReadBmpFile(File));

    std::vector<char> Truncated(Bytes.begin(), Bytes.end() - 1);
    Write(Truncated);
    EXPECT_THROW(ReadBmpFile(File), EHostFile);
    std::vector<char> Compressed = Bytes;
    Compressed[30] = 1;
    Write(Compressed);
    EXPECT_THROW(ReadBmpFile(File), EHostFile);
    std::vector<char> Huge = Bytes;
    const std::int32_t Wide = 1 << 20;
    std::memcpy(&Huge[18], &Wide, 4);
    Write(Huge);
    EXPECT_THROW(ReadBmpFile(File), EHostFile);
    Write({'B', 'M'});
    EXPECT_THROW(ReadBmpFile(File), EHostFile);
    std::remove(File.c_str());
    EXPECT_THROW(ReadBmpFile(File), EHostFile);
}

TEST(HostBitmapFile, RawDoublesInBothFloatFormats) {
    const std::string File = "host_raw.bin";
    const double Values[6] = {0.5, -1.25, 3e10, 0, 7, 1.0 / 3};
    {
        std::ofstream F(File, std::ios::binary | std::ios::trunc);
        F.write(reinterpret_cast<const char*>(Values), sizeof Values);
    }
    EXPECT_THROW(ReadRawFile(File, 2, 2), EHostFile);
    const THostPicture Packed = ReadRawFile(File, 3, 2);
    EXPECT_EQ(Packed.Format, hfDouble);
    EXPECT_EQ(std::memcmp(Packed.Pixels.data(), Values, sizeof Values), 0);

    // Format 40 comes back from the copy as format 24 with the first double of each pixel.
    THostPicture Wide = ReadRawFile(File, 3, 2, hfDouble16);
    ASSERT_EQ(Wide.Pixels.size(), 96u);
    const THostPicture Copied = CopyHostImage(Wide.Descriptor());
    EXPECT_EQ(Copied.Format, hfDouble);
    EXPECT_EQ(Copied.Pixels, Packed.Pixels);
    WriteRawFile(File, Copied);
    EXPECT_EQ(ReadRawFile(File, 2, 3).Pixels, Packed.Pixels);
    EXPECT_THROW(WriteBmpFile(File, Copied), EHostFile);
    std::remove(File.c_str());
}

TEST(HostBitmapFile, CopyFollowsBytesPerLineAndRefusesBadDescriptors) {
    THostPicture Padded = Filled(hfBgr24, 2, 2);
    Padded.BytesPerLine = 8;
    Padded.Pixels.assign(16, 0);
    for (int I = 0; I < 6; ++I) Padded.Pixels[8 + I] = std::uint8_t(I + 1);
    const THostPicture Copy = CopyHostImage(Padded.Descriptor());
    EXPECT_EQ(Copy.BytesPerLine, 6);
    EXPECT_EQ(Row(Copy, 1), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(Copy.Palette.empty());

    HostImage Bad = Padded.Descriptor();
    Bad.BytesPerLine = 5;
    EXPECT_THROW(CopyHostImage(Bad), EHostFile);
    Bad = Padded.Descriptor();
    Bad.Pixels = nullptr;
    EXPECT_THROW(CopyHostImage(Bad), EHostFile);
    Bad = Padded.Descriptor();
    Bad.Height = 0;
    EXPECT_THROW(CopyHostImage(Bad), EHostFile);
    Bad = Padded.Descriptor();
    Bad.Format = 2;
    EXPECT_THROW(CopyHostImage(Bad), EHostFile);
}

} // namespace
} // namespace fi
