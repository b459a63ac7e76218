#include "tools/BmpFile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/BmpFormat.h"
#include "image/LinearBitmap.h"

namespace fi {

namespace {

[[noreturn]] void Truncated(const std::string& FileName) { FailFile(FileName, "corrupt or truncated BMP"); }

struct TBitField {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Max = 0;
    std::uint8_t Take(std::uint32_t Pixel) const {
        if (Mask == 0) return 0;
        const std::uint32_t v = (Pixel & Mask) >> Shift;
        return Max == 255 ? std::uint8_t(v) : std::uint8_t((std::uint64_t(v) * 255 + Max / 2) / Max);
    }
};

TBitField MakeBitField(std::uint32_t Mask) {
    TBitField Field;
    if (Mask == 0) return Field;
    Field.Mask = Mask;
    Field.Shift = std::countr_zero(Mask);
    Field.Max = Mask >> Field.Shift;
    return Field;
}

// How the stored pixels become samples: a palette (Gray when every entry
// is), three bytes, or bit fields (red, green, blue, alpha).
struct TBmpPixels {
    TBmpHeader Header;
    bool Indexed = false;
    TBitField Fields[4];
    TPaletteEntry Palette[256] = {};
    bool Gray = false;
    std::int32_t Channels = 3;
    bool Alpha = false;
};

void ReadBitFields(const std::string& FileName, TFileBytes Bytes, TBmpPixels& P) {
    const TBmpHeader& H = P.Header;
    if (H.Compression == BmpRgb) {
        if (H.BitCount == 16) {
            P.Fields[0] = MakeBitField(0x7C00);
            P.Fields[1] = MakeBitField(0x03E0);
            P.Fields[2] = MakeBitField(0x001F);
        } else if (H.BitCount == 32) {
            P.Fields[0] = MakeBitField(0xFF0000);
            P.Fields[1] = MakeBitField(0xFF00);
            P.Fields[2] = MakeBitField(0xFF);
        } else if (!P.Indexed && H.BitCount != 24) {
            FailFile(FileName, "unsupported BMP of " + std::to_string(H.BitCount) + " bits per pixel");
        }
        return;
    }
    if ((H.Compression != BmpBitFields && H.Compression != BmpAlphaBitFields) || (H.BitCount != 16 && H.BitCount != 32))
        FailFile(FileName, "unsupported BMP compression " + std::to_string(H.Compression));
    // The masks follow a 40-byte header, or sit inside a longer one.
    std::uint8_t Masks[16] = {};
    const std::size_t MaskBytes = H.Compression == BmpAlphaBitFields ? 16 : 12;
    const std::size_t At = BmpFileHeaderSize + BmpInfoHeaderSize;
    const std::size_t Available = H.InfoSize == BmpInfoHeaderSize ? MaskBytes : std::min<std::size_t>(H.InfoSize - 40, 16);
    if (Bytes.size() < At + Available) Truncated(FileName);
    std::memcpy(Masks, Bytes.data() + At, Available);
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint32_t Mask = GetLe32(Masks + 4 * i);
        const std::uint32_t Shifted = Mask == 0 ? 0 : Mask >> std::countr_zero(Mask);
        if ((Shifted & (Shifted + 1)) != 0) FailFile(FileName, "unsupported BMP bit fields");
        P.Fields[i] = MakeBitField(Mask);
    }
}

void ReadPalette(const std::string& FileName, TFileBytes Bytes, TBmpPixels& P) {
    const TBmpHeader& H = P.Header;
    const std::uint32_t Limit = 1u << H.BitCount;
    std::uint32_t Count = H.ColorsUsed == 0 || H.ColorsUsed > Limit ? Limit : H.ColorsUsed;
    const std::uint32_t EntrySize = H.InfoSize == 12 ? 3 : 4;
    const std::uint32_t PaletteStart = std::uint32_t(BmpFileHeaderSize) + H.InfoSize;
    if (H.PixelOffset < PaletteStart) Truncated(FileName);
    Count = std::min<std::uint32_t>(Count, (H.PixelOffset - PaletteStart) / EntrySize);
    if (Bytes.size() < std::size_t(PaletteStart) + std::size_t(Count) * EntrySize) Truncated(FileName);
    P.Gray = true;
    for (std::uint32_t i = 0; i < Count; ++i) {
        const std::uint8_t* E = Bytes.data() + PaletteStart + i * EntrySize;
        P.Palette[i] = {E[0], E[1], E[2]};
        P.Gray = P.Gray && E[0] == E[1] && E[1] == E[2];
    }
}

// Converts pixel x of a stored row into the image's samples at Out.
void DecodePixel(const TBmpPixels& P, const std::uint8_t* Line, std::int32_t x, std::uint8_t* Out) {
    const std::uint32_t BitCount = P.Header.BitCount;
    if (P.Indexed) {
        const std::size_t Bit = std::size_t(x) * BitCount;
        const std::uint8_t Index = std::uint8_t((Line[Bit / 8] >> (8 - BitCount - Bit % 8)) & ((1u << BitCount) - 1));
        const TPaletteEntry& E = P.Palette[Index];
        Out[0] = E.Red;
        if (!P.Gray) {
            Out[1] = E.Green;
            Out[2] = E.Blue;
        }
    } else if (BitCount == 24) {
        const std::uint8_t* S = Line + std::size_t(x) * 3;
        Out[0] = S[2];
        Out[1] = S[1];
        Out[2] = S[0];
    } else {
        const std::uint32_t Pixel = BitCount == 16 ? GetLe16(Line + std::size_t(x) * 2) : GetLe32(Line + std::size_t(x) * 4);
        for (std::int32_t c = 0; c < P.Channels; ++c) Out[c] = P.Fields[c].Take(Pixel);
    }
}

TBmpPixels ReadBmpLayout(const std::string& FileName, TFileBytes Bytes) {
    TBmpPixels P;
    switch (ParseBmpHeader(Bytes.data(), Bytes.size(), P.Header)) {
    case TBmpHeaderStatus::Ok: break;
    case TBmpHeaderStatus::Unsupported: FailFile(FileName, "unsupported BMP header");
    default: Truncated(FileName);
    }
    const std::uint32_t BitCount = P.Header.BitCount;
    P.Indexed = BitCount == 1 || BitCount == 4 || BitCount == 8;
    ReadBitFields(FileName, Bytes, P);
    if (P.Indexed) ReadPalette(FileName, Bytes, P);
    P.Alpha = P.Fields[3].Mask != 0;
    P.Channels = P.Gray ? 1 : (P.Alpha ? 4 : 3);
    return P;
}

bool IsBmp(TFileBytes Bytes) { return Bytes.size() >= 2 && Bytes[0] == 'B' && Bytes[1] == 'M'; }

TImageData ReadBmp(const std::string& FileName, TFileBytes Bytes, const TReadOptions& Options) {
    if (Bytes.size() < BmpFileHeaderSize + 12) Truncated(FileName);
    const TBmpPixels P = ReadBmpLayout(FileName, Bytes);
    const TBmpHeader& H = P.Header;
    CheckShape(FileName, H.Width, H.Height, Options.MaxPixels);
    const std::int64_t Stride = BmpRowBytes(H.Width, H.BitCount);
    if (std::int64_t(H.PixelOffset) + Stride * H.Height > std::int64_t(Bytes.size())) Truncated(FileName);

    TImageData Image;
    Image.Allocate(std::int32_t(H.Width), std::int32_t(H.Height), P.Channels, P.Alpha, TSampleType::st8bit);
    for (std::int32_t r = 0; r < Image.Height; ++r) {
        const std::uint8_t* Line = Bytes.data() + H.PixelOffset + std::size_t(Stride) * std::size_t(r);
        std::uint8_t* Out = Image.Row<std::uint8_t>(H.TopDown ? r : Image.Height - 1 - r);
        for (std::int32_t x = 0; x < Image.Width; ++x) DecodePixel(P, Line, x, Out + std::size_t(x) * std::size_t(P.Channels));
    }
    Image.SourceFormat = TImageFormat::ifBmp;
    if (H.PixelsPerMetreX > 0 && H.PixelsPerMetreY > 0)
        Image.Metadata.Resolution = {H.PixelsPerMetreX / 100.0, H.PixelsPerMetreY / 100.0, TResolutionUnit::ruCentimetre};
    return Image;
}

void WriteBmp(TTempOutput& Output, const TImageData& Image, const TWriteOptions&, std::vector<std::string>&) {
    const bool Gray = Image.Channels == 1;
    const std::uint16_t Bits = Gray ? 8 : 24;
    const std::uint64_t Stride = std::uint64_t(BmpRowBytes(Image.Width, Bits));
    const std::uint32_t PaletteEntries = Gray ? 256 : 0;
    const std::uint64_t Offset = BmpFileHeaderSize + BmpInfoHeaderSize + 4 * PaletteEntries;
    if (Offset + Stride * std::uint64_t(Image.Height) > 0xFFFFFFFFu) FailFile(Output.Name(), "image too large for BMP");
    std::uint8_t Header[BmpFileHeaderSize + BmpInfoHeaderSize + 1024] = {};
    // 72 dots per inch when the image states no resolution.
    const TResolution& R = Image.Metadata.Resolution;
    PutBmpHeader(Header, Image.Width, Image.Height, Bits, PaletteEntries,
                 R.Known() ? R.PerMetre(R.X) : BmpDefaultPixelsPerMetre, R.Known() ? R.PerMetre(R.Y) : BmpDefaultPixelsPerMetre);
    for (std::uint32_t i = 0; i < PaletteEntries; ++i) {
        std::uint8_t* E = Header + BmpFileHeaderSize + BmpInfoHeaderSize + 4 * i;
        E[0] = E[1] = E[2] = std::uint8_t(i);
    }
    std::FILE* File = Output.OpenStream();
    std::fwrite(Header, 1, Offset, File);
    std::vector<std::uint8_t> Line(static_cast<std::size_t>(Stride), 0);
    for (std::int32_t r = Image.Height - 1; r >= 0; --r) {
        const std::uint8_t* In = Image.Row<std::uint8_t>(r);
        if (Gray) {
            std::memcpy(Line.data(), In, std::size_t(Image.Width));
        } else {
            for (std::int32_t x = 0; x < Image.Width; ++x) {
                Line[std::size_t(x) * 3] = In[std::size_t(x) * 3 + 2];
                Line[std::size_t(x) * 3 + 1] = In[std::size_t(x) * 3 + 1];
                Line[std::size_t(x) * 3 + 2] = In[std::size_t(x) * 3];
            }
        }
        if (std::fwrite(Line.data(), 1, Line.size(), File) != Line.size()) break;
    }
    Output.CloseStream();
}

} // namespace

const TImageCodec BmpCodec{IsBmp, ReadBmp, WriteBmp};

} // namespace fi
