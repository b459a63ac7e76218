#include "host/HostBitmapFile.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "image/BmpFormat.h"

namespace fi {

namespace {

// The largest side the host accepts; with the file-size check it keeps
// every offset well inside 32 bits.
constexpr std::int64_t MaxSide = 1 << 15;

std::vector<std::uint8_t> ReadWholeFile(const std::string& FileName) {
    std::ifstream File(FileName, std::ios::binary);
    if (!File) throw EHostFile("Cannot open " + FileName);
    std::vector<std::uint8_t> Bytes((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
    if (File.bad()) throw EHostFile("Cannot read " + FileName);
    return Bytes;
}

void WriteWholeFile(const std::string& FileName, const std::vector<std::uint8_t>& Bytes) {
    std::ofstream File(FileName, std::ios::binary | std::ios::trunc);
    if (!File) throw EHostFile("Cannot create " + FileName);
    File.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    File.close();
    if (!File) throw EHostFile("Cannot write " + FileName);
}

} // namespace

HostImage THostPicture::Descriptor() {
    HostImage Image;
    std::memset(&Image, 0, sizeof Image);
    Image.Width = Width;
    Image.Height = Height;
    Image.BytesPerLine = BytesPerLine;
    Image.Format = Format;
    Image.Pixels = Pixels.empty() ? nullptr : Pixels.data();
    Image.Palette = Palette.empty() ? nullptr : Palette.data();
    return Image;
}

std::int32_t HostPixelBytes(std::int32_t Format) {
    switch (Format) {
    case hfIndexed8: return 1;
    case hfBgr24: return 3;
    case hfBits32: return 4;
    case hfDouble: return 8;
    case hfDouble16: return 16;
    default: return 0;
    }
}

THostPicture CopyHostImage(const HostImage& Image) {
    const std::int32_t PixelBytes = HostPixelBytes(Image.Format);
    if (PixelBytes == 0) throw EHostFile("Unknown result format " + std::to_string(Image.Format));
    if (Image.Width < 1 || Image.Height < 1 || Image.Width > MaxSide || Image.Height > MaxSide ||
        Image.Pixels == nullptr)
        throw EHostFile("Invalid result image");
    const bool Float = Image.Format == hfDouble || Image.Format == hfDouble16;
    THostPicture Picture;
    Picture.Width = Image.Width;
    Picture.Height = Image.Height;
    Picture.Format = Float ? std::int32_t(hfDouble) : Image.Format;
    const std::int32_t OutPixel = HostPixelBytes(Picture.Format);
    Picture.BytesPerLine = Float ? 0 : Image.Width * OutPixel;
    // The float formats are packed; the bitmap formats follow bytes per line.
    const std::int64_t InLine =
        Float ? std::int64_t(Image.Width) * PixelBytes : std::int64_t(Image.BytesPerLine);
    if (!Float && InLine < std::int64_t(Image.Width) * PixelBytes) throw EHostFile("Invalid result image");
    const std::size_t OutLine = std::size_t(Image.Width) * OutPixel;
    Picture.Pixels.resize(OutLine * std::size_t(Image.Height));
    for (std::int32_t Y = 0; Y < Image.Height; ++Y) {
        const std::uint8_t* Row = Image.Pixels + InLine * Y;
        std::uint8_t* Out = Picture.Pixels.data() + OutLine * Y;
        if (Image.Format == hfDouble16)
            for (std::int32_t X = 0; X < Image.Width; ++X) std::memcpy(Out + 8 * X, Row + 16 * X, 8);
        else
            std::memcpy(Out, Row, OutLine);
    }
    if (Image.Format == hfIndexed8 && Image.Palette)
        Picture.Palette.assign(Image.Palette, Image.Palette + 3 * 256);
    return Picture;
}

THostPicture ReadBmpFile(const std::string& FileName) {
    const std::vector<std::uint8_t> B = ReadWholeFile(FileName);
    const std::string Bad = "Not a supported BMP file: " + FileName;
    TBmpHeader Header;
    if (B.size() < BmpFileHeaderSize + BmpInfoHeaderSize || ParseBmpHeader(B.data(), B.size(), Header) != TBmpHeaderStatus::Ok ||
        Header.InfoSize < BmpInfoHeaderSize)
        throw EHostFile(Bad);
    const std::int64_t Width = Header.Width, Height = Header.Height;
    const std::uint32_t Bits = Header.BitCount, DataOffset = Header.PixelOffset;
    if (Width < 1 || Height < 1 || Width > MaxSide || Height > MaxSide) throw EHostFile(Bad);
    if (Bits != 8 && Bits != 24 && Bits != 32) throw EHostFile(Bad);
    // Only plain layouts; 32-bit files may name the usual masks as bit fields.
    const std::uint8_t* Masks = B.data() + BmpFileHeaderSize + BmpInfoHeaderSize;
    bool PlainMasks = Header.Compression == BmpRgb;
    if (Bits == 32 && Header.Compression == BmpBitFields && B.size() >= BmpFileHeaderSize + BmpInfoHeaderSize + 12)
        PlainMasks = GetLe32(Masks) == 0xFF0000 && GetLe32(Masks + 4) == 0xFF00 && GetLe32(Masks + 8) == 0xFF;
    if (!PlainMasks) throw EHostFile(Bad);

    THostPicture Picture;
    Picture.Width = std::int32_t(Width);
    Picture.Height = std::int32_t(Height);
    Picture.Format = Bits == 8 ? hfIndexed8 : Bits == 24 ? hfBgr24 : hfBits32;
    const std::int64_t FileLine = BmpRowBytes(Width, Bits);
    // The host keeps the file's padded rows: the plug-in must follow bytes per line.
    Picture.BytesPerLine = std::int32_t(FileLine);
    if (DataOffset + FileLine * Height > std::int64_t(B.size())) throw EHostFile(Bad);
    Picture.Pixels.resize(std::size_t(FileLine * Height));
    for (std::int64_t Y = 0; Y < Height; ++Y) {
        const std::int64_t FileRow = Header.TopDown ? Y : Height - 1 - Y;
        std::memcpy(Picture.Pixels.data() + Y * FileLine, B.data() + DataOffset + FileRow * FileLine,
                    std::size_t(FileLine));
    }
    if (Bits == 8) {
        const std::uint32_t Colours = Header.ColorsUsed == 0 ? 256 : Header.ColorsUsed;
        const std::size_t PaletteAt = BmpFileHeaderSize + Header.InfoSize;
        if (Colours > 256 || PaletteAt + 4 * std::uint64_t(Colours) > DataOffset) throw EHostFile(Bad);
        Picture.Palette.assign(3 * 256, 0);
        for (std::uint32_t I = 0; I < Colours; ++I)
            std::memcpy(&Picture.Palette[3 * I], &B[PaletteAt + 4 * I], 3);
    }
    return Picture;
}

void WriteBmpFile(const std::string& FileName, const THostPicture& Picture) {
    const std::int32_t PixelBytes = HostPixelBytes(Picture.Format);
    if (Picture.Format != hfIndexed8 && Picture.Format != hfBgr24 && Picture.Format != hfBits32)
        throw EHostFile("Format " + std::to_string(Picture.Format) + " cannot be written as BMP");
    const std::uint16_t Bits = std::uint16_t(8 * PixelBytes);
    const std::int64_t FileLine = BmpRowBytes(Picture.Width, Bits);
    const std::uint32_t PaletteEntries = Picture.Format == hfIndexed8 ? 256 : 0;
    const std::size_t DataOffset = BmpFileHeaderSize + BmpInfoHeaderSize + 4 * PaletteEntries;
    std::vector<std::uint8_t> B(DataOffset + std::size_t(FileLine * Picture.Height), 0);
    PutBmpHeader(B.data(), Picture.Width, Picture.Height, Bits, PaletteEntries);
    for (std::size_t I = 0; I < PaletteEntries; ++I)
        for (std::size_t C = 0; C < 3; ++C)
            B[BmpFileHeaderSize + BmpInfoHeaderSize + 4 * I + C] =
                Picture.Palette.empty() ? std::uint8_t(I) : Picture.Palette[3 * I + C];
    const std::size_t Used = std::size_t(Picture.Width) * PixelBytes;
    for (std::int32_t Y = 0; Y < Picture.Height; ++Y)
        std::memcpy(B.data() + DataOffset + std::size_t(Picture.Height - 1 - Y) * FileLine,
                    Picture.Pixels.data() + std::size_t(Y) * Picture.BytesPerLine, Used);
    WriteWholeFile(FileName, B);
}

THostPicture ReadRawFile(const std::string& FileName, std::int32_t Width, std::int32_t Height, std::int32_t Format) {
    if (Format != hfDouble && Format != hfDouble16) throw EHostFile("Raw files hold formats 24 or 40");
    if (Width < 1 || Height < 1 || Width > MaxSide || Height > MaxSide) throw EHostFile("Invalid raw image size");
    const std::vector<std::uint8_t> B = ReadWholeFile(FileName);
    const std::size_t Count = std::size_t(Width) * std::size_t(Height);
    if (B.size() != 8 * Count)
        throw EHostFile(FileName + " does not hold " + std::to_string(Width) + " x " + std::to_string(Height) +
                        " doubles");
    THostPicture Picture;
    Picture.Width = Width;
    Picture.Height = Height;
    Picture.Format = Format;
    Picture.BytesPerLine = 0;
    if (Format == hfDouble) {
        Picture.Pixels = B;
    } else {
        // The unused halves hold all-ones bytes, a NaN if they were ever read as a value.
        Picture.Pixels.assign(16 * Count, 0xFF);
        for (std::size_t I = 0; I < Count; ++I) std::memcpy(&Picture.Pixels[16 * I], &B[8 * I], 8);
    }
    return Picture;
}

void WriteRawFile(const std::string& FileName, const THostPicture& Picture) {
    if (Picture.Format != hfDouble) throw EHostFile("Only format 24 is written as raw doubles");
    WriteWholeFile(FileName, Picture.Pixels);
}

} // namespace fi
