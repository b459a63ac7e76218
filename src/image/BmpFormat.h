#pragma once
// The BMP file layout shared by every BMP reader and writer of the project:
// little-endian fields, the file and info headers, and the row padding.
#include <cstddef>
#include <cstdint>

namespace fi {

inline constexpr std::size_t BmpFileHeaderSize = 14;
inline constexpr std::size_t BmpInfoHeaderSize = 40;
// The largest info header (version 5).
inline constexpr std::size_t BmpMaxInfoHeaderSize = 124;
inline constexpr std::uint32_t BmpRgb = 0;
inline constexpr std::uint32_t BmpBitFields = 3;
inline constexpr std::uint32_t BmpAlphaBitFields = 6;
// 72 dots per inch, what a file without a resolution of its own gets.
inline constexpr std::uint32_t BmpDefaultPixelsPerMetre = 2835;

std::uint16_t GetLe16(const std::uint8_t* Bytes);
std::uint32_t GetLe32(const std::uint8_t* Bytes);
void PutLe16(std::uint8_t* Bytes, std::uint16_t Value);
void PutLe32(std::uint8_t* Bytes, std::uint32_t Value);

// Bytes of one stored row: rows are padded to whole 32-bit words.
std::int64_t BmpRowBytes(std::int64_t Width, std::int64_t BitsPerPixel);

// The headers' fields; Height is positive, TopDown says the file stored it
// negative (rows top row first).
struct TBmpHeader {
    std::uint32_t PixelOffset = 0;
    std::uint32_t InfoSize = 0;
    std::int64_t Width = 0;
    std::int64_t Height = 0;
    bool TopDown = false;
    std::uint32_t BitCount = 0;
    std::uint32_t Compression = BmpRgb;
    std::uint32_t ColorsUsed = 0;
    std::uint32_t PixelsPerMetreX = 0;
    std::uint32_t PixelsPerMetreY = 0;
};

enum class TBmpHeaderStatus : std::uint8_t { Ok, NotBmp, Truncated, Unsupported };

// Reads the file header and the info header (the 12-byte core header or one
// of 40 to 124 bytes) from the first Size bytes of a file.
TBmpHeaderStatus ParseBmpHeader(const std::uint8_t* Bytes, std::size_t Size, TBmpHeader& Header);

// Fills the file header and a 40-byte info header of an uncompressed
// bottom-up image whose pixels follow PaletteEntries palette entries; Out
// holds BmpFileHeaderSize + BmpInfoHeaderSize bytes. The file size must fit
// 32 bits (the caller checks).
void PutBmpHeader(std::uint8_t* Out, std::int32_t Width, std::int32_t Height, std::uint16_t BitsPerPixel,
                  std::uint32_t PaletteEntries, std::uint32_t PixelsPerMetreX = BmpDefaultPixelsPerMetre,
                  std::uint32_t PixelsPerMetreY = BmpDefaultPixelsPerMetre);

} // namespace fi
