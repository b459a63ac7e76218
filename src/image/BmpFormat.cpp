#include "image/BmpFormat.h"

namespace fi {

std::uint16_t GetLe16(const std::uint8_t* Bytes) { return std::uint16_t(Bytes[0] | (Bytes[1] << 8)); }

std::uint32_t GetLe32(const std::uint8_t* Bytes) {
    return std::uint32_t(Bytes[0]) | (std::uint32_t(Bytes[1]) << 8) | (std::uint32_t(Bytes[2]) << 16) |
           (std::uint32_t(Bytes[3]) << 24);
}

void PutLe16(std::uint8_t* Bytes, std::uint16_t Value) {
    Bytes[0] = std::uint8_t(Value);
    Bytes[1] = std::uint8_t(Value >> 8);
}

void PutLe32(std::uint8_t* Bytes, std::uint32_t Value) {
    PutLe16(Bytes, std::uint16_t(Value & 0xFFFF));
    PutLe16(Bytes + 2, std::uint16_t(Value >> 16));
}

std::int64_t BmpRowBytes(std::int64_t Width, std::int64_t BitsPerPixel) { return (Width * BitsPerPixel + 31) / 32 * 4; }

TBmpHeaderStatus ParseBmpHeader(const std::uint8_t* Bytes, std::size_t Size, TBmpHeader& Header) {
    if (Size < 2 || Bytes[0] != 'B' || Bytes[1] != 'M') return TBmpHeaderStatus::NotBmp;
    if (Size < BmpFileHeaderSize + 4) return TBmpHeaderStatus::Truncated;
    Header.PixelOffset = GetLe32(Bytes + 10);
    Header.InfoSize = GetLe32(Bytes + 14);
    if (Header.InfoSize != 12 && (Header.InfoSize < BmpInfoHeaderSize || Header.InfoSize > BmpMaxInfoHeaderSize))
        return TBmpHeaderStatus::Unsupported;
    if (Size < BmpFileHeaderSize + Header.InfoSize) return TBmpHeaderStatus::Truncated;
    const std::uint8_t* Info = Bytes + BmpFileHeaderSize;
    if (Header.InfoSize == 12) {
        // The OS/2 core header: 16-bit sizes, no compression.
        Header.Width = GetLe16(Info + 4);
        Header.Height = GetLe16(Info + 6);
        Header.BitCount = GetLe16(Info + 10);
        Header.Compression = BmpRgb;
        Header.ColorsUsed = 0;
    } else {
        Header.Width = std::int32_t(GetLe32(Info + 4));
        Header.Height = std::int32_t(GetLe32(Info + 8));
        Header.BitCount = GetLe16(Info + 14);
        Header.Compression = GetLe32(Info + 16);
        Header.PixelsPerMetreX = GetLe32(Info + 24);
        Header.PixelsPerMetreY = GetLe32(Info + 28);
        Header.ColorsUsed = GetLe32(Info + 32);
    }
    Header.TopDown = Header.Height < 0;
    if (Header.TopDown) Header.Height = -Header.Height;
    return TBmpHeaderStatus::Ok;
}

void PutBmpHeader(std::uint8_t* Out, std::int32_t Width, std::int32_t Height, std::uint16_t BitsPerPixel,
                  std::uint32_t PaletteEntries, std::uint32_t PixelsPerMetreX, std::uint32_t PixelsPerMetreY) {
    const std::uint64_t PixelBytes = std::uint64_t(BmpRowBytes(Width, BitsPerPixel)) * std::uint64_t(Height);
    const std::uint64_t Offset = BmpFileHeaderSize + BmpInfoHeaderSize + 4 * std::uint64_t(PaletteEntries);
    for (std::size_t i = 0; i < BmpFileHeaderSize + BmpInfoHeaderSize; ++i) Out[i] = 0;
    Out[0] = 'B';
    Out[1] = 'M';
    PutLe32(Out + 2, std::uint32_t(Offset + PixelBytes));
    PutLe32(Out + 10, std::uint32_t(Offset));
    std::uint8_t* Info = Out + BmpFileHeaderSize;
    PutLe32(Info, BmpInfoHeaderSize);
    PutLe32(Info + 4, std::uint32_t(Width));
    PutLe32(Info + 8, std::uint32_t(Height));
    PutLe16(Info + 12, 1);
    PutLe16(Info + 14, BitsPerPixel);
    PutLe32(Info + 16, BmpRgb);
    PutLe32(Info + 20, std::uint32_t(PixelBytes));
    PutLe32(Info + 24, PixelsPerMetreX);
    PutLe32(Info + 28, PixelsPerMetreY);
    PutLe32(Info + 32, PaletteEntries);
}

} // namespace fi
