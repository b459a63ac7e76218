#include "tools/TiffFile.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include <tiffio.h>

#include "tools/ImageMetadata.h"

namespace fi {

namespace {

// libtiff reports errors through return values; its messages are caught per
// handle instead of going to stderr.
struct TTiffMessages {
    std::string FileName;
    std::string First;
};

int TiffError(TIFF*, void* UserData, const char* Module, const char* Format, va_list Arguments) {
    auto* Messages = static_cast<TTiffMessages*>(UserData);
    if (Messages->First.empty()) {
        char Text[512];
        std::vsnprintf(Text, sizeof Text, Format, Arguments);
        std::string Message = Module != nullptr && *Module != 0 ? std::string(Module) + ": " + Text : std::string(Text);
        // The caller's message names the file already.
        const std::string Named = Messages->FileName + ": ";
        for (std::size_t At; (At = Message.find(Named)) != std::string::npos;) Message.erase(At, Named.size());
        Messages->First = Message;
    }
    return 1;
}

int TiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TTiffCloser {
    void operator()(TIFF* Tiff) const { TIFFClose(Tiff); }
};
using TTiffPtr = std::unique_ptr<TIFF, TTiffCloser>;

struct TTiffOptionsFree {
    void operator()(TIFFOpenOptions* Options) const { TIFFOpenOptionsFree(Options); }
};

// The largest buffer an image of MaxPixels within the containers' limits
// needs: a strip, tile or row of the whole image at the deepest samples.
// It bounds libtiff's allocations and ours, as a header may claim any
// number of samples per pixel.
std::int64_t MaxBufferBytes(std::int64_t MaxPixels) {
    const std::int64_t Limit = std::int64_t(1) << 31;
    return MaxPixels < Limit / 64 ? MaxPixels * 64 : Limit;
}

std::unique_ptr<TIFFOpenOptions, TTiffOptionsFree> TiffOptions(TTiffMessages& Messages, std::int64_t MaxPixels) {
    std::unique_ptr<TIFFOpenOptions, TTiffOptionsFree> Options(TIFFOpenOptionsAlloc());
    if (!Options) throw EOutOfMemory();
    TIFFOpenOptionsSetErrorHandlerExtR(Options.get(), TiffError, &Messages);
    TIFFOpenOptionsSetWarningHandlerExtR(Options.get(), TiffWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(Options.get(), tmsize_t(MaxBufferBytes(MaxPixels)));
    return Options;
}

// A file held in memory, as libtiff's client procedures see it.
struct TTiffMemory {
    TFileBytes Bytes;
    toff_t Position = 0;
};

tmsize_t TiffMemoryRead(thandle_t Handle, void* Buffer, tmsize_t Size) {
    auto* File = static_cast<TTiffMemory*>(Handle);
    if (Size < 0) return -1;
    const toff_t Left = File->Position < File->Bytes.size() ? File->Bytes.size() - File->Position : 0;
    const toff_t Count = std::min<toff_t>(Left, toff_t(Size));
    if (Count > 0) std::memcpy(Buffer, File->Bytes.data() + File->Position, std::size_t(Count));
    File->Position += Count;
    return tmsize_t(Count);
}

tmsize_t TiffMemoryWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t TiffMemorySeek(thandle_t Handle, toff_t Offset, int Whence) {
    auto* File = static_cast<TTiffMemory*>(Handle);
    const toff_t Base = Whence == SEEK_CUR ? File->Position : Whence == SEEK_END ? File->Bytes.size() : 0;
    File->Position = Base + Offset;
    return File->Position;
}

int TiffMemoryClose(thandle_t) { return 0; }
toff_t TiffMemorySize(thandle_t Handle) { return static_cast<TTiffMemory*>(Handle)->Bytes.size(); }
int TiffMemoryMap(thandle_t, void**, toff_t*) { return 0; }
void TiffMemoryUnmap(thandle_t, void*, toff_t) {}

// What the directory says about the pixels, and how they map to the image.
struct TTiffLayout {
    std::uint32_t Width = 0, Height = 0;
    std::uint16_t Spp = 1, Bits = 1, Format = SAMPLEFORMAT_UINT, Photometric = 0, Planar = PLANARCONFIG_CONTIG,
                  Compression = COMPRESSION_NONE;
    std::int32_t ColorSamples = 0;
    bool Palette = false, Invert = false, Alpha = false, Associated = false;
    TSampleType Type = TSampleType::st8bit;
    std::int32_t Channels = 0;
    const std::uint16_t *MapRed = nullptr, *MapGreen = nullptr, *MapBlue = nullptr;
    int MapShift = 0;
    // Which file sample fills which image channel; a palette index fills three.
    std::vector<std::pair<std::int32_t, std::int32_t>> Plan;

    bool Contig() const { return Planar == PLANARCONFIG_CONTIG || Spp == 1; }
};

void ReadTiffTags(const std::string& FileName, TIFF* Tiff, TTiffLayout& L) {
    if (TIFFGetField(Tiff, TIFFTAG_IMAGEWIDTH, &L.Width) != 1 || TIFFGetField(Tiff, TIFFTAG_IMAGELENGTH, &L.Height) != 1)
        FailFile(FileName, "TIFF without image size");
    if (TIFFGetField(Tiff, TIFFTAG_PHOTOMETRIC, &L.Photometric) != 1)
        FailFile(FileName, "TIFF without photometric interpretation");
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_SAMPLESPERPIXEL, &L.Spp);
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_BITSPERSAMPLE, &L.Bits);
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_SAMPLEFORMAT, &L.Format);
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_PLANARCONFIG, &L.Planar);
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_COMPRESSION, &L.Compression);
    if (L.Photometric == PHOTOMETRIC_YCBCR && L.Compression == COMPRESSION_JPEG) {
        // Let the codec hand out RGB.
        TIFFSetField(Tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        L.Photometric = PHOTOMETRIC_RGB;
    }
}

// Colour model and sample type, and whether the first extra sample is alpha.
void ClassifyTiff(const std::string& FileName, TIFF* Tiff, TTiffLayout& L) {
    switch (L.Photometric) {
    case PHOTOMETRIC_MINISWHITE: L.Invert = true; L.ColorSamples = 1; break;
    case PHOTOMETRIC_MINISBLACK: L.ColorSamples = 1; break;
    case PHOTOMETRIC_RGB: L.ColorSamples = 3; break;
    case PHOTOMETRIC_PALETTE: L.Palette = true; L.ColorSamples = 1; break;
    default: FailFile(FileName, "unsupported TIFF photometric interpretation " + std::to_string(L.Photometric));
    }
    if (L.Spp < L.ColorSamples) FailFile(FileName, "TIFF with too few samples per pixel");

    if (L.Format == SAMPLEFORMAT_UINT && L.Bits == 8) L.Type = TSampleType::st8bit;
    else if (L.Format == SAMPLEFORMAT_UINT && L.Bits == 16) L.Type = TSampleType::st16bit;
    else if (L.Format == SAMPLEFORMAT_IEEEFP && (L.Bits == 32 || L.Bits == 64)) L.Type = TSampleType::stFloat64;
    else
        FailFile(FileName, "unsupported TIFF samples (" + std::to_string(L.Bits) + " bits, format " +
                               std::to_string(L.Format) + ")");
    if (L.Palette && L.Type != TSampleType::st8bit)
        FailFile(FileName, "unsupported TIFF palette of " + std::to_string(L.Bits) + " bits");
    if (L.Invert && L.Type == TSampleType::stFloat64)
        FailFile(FileName, "unsupported floating-point TIFF with white as zero");

    std::uint16_t ExtraCount = 0;
    std::uint16_t* ExtraTypes = nullptr;
    if (L.Spp > L.ColorSamples && TIFFGetField(Tiff, TIFFTAG_EXTRASAMPLES, &ExtraCount, &ExtraTypes) == 1 &&
        ExtraCount > 0 && (ExtraTypes[0] == EXTRASAMPLE_ASSOCALPHA || ExtraTypes[0] == EXTRASAMPLE_UNASSALPHA)) {
        L.Alpha = true;
        L.Associated = ExtraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    L.Channels = (L.Palette ? 3 : L.ColorSamples) + (L.Alpha ? 1 : 0);
    for (std::int32_t c = 0; c < (L.Palette ? 1 : L.ColorSamples); ++c) L.Plan.emplace_back(c, c);
    if (L.Alpha) L.Plan.emplace_back(L.Channels - 1, L.ColorSamples);
}

void ReadTiffPalette(const std::string& FileName, TIFF* Tiff, TTiffLayout& L) {
    std::uint16_t *Red = nullptr, *Green = nullptr, *Blue = nullptr;
    if (TIFFGetField(Tiff, TIFFTAG_COLORMAP, &Red, &Green, &Blue) != 1)
        FailFile(FileName, "palette TIFF without colour map");
    // Some writers store 8-bit entries in the 16-bit colour map.
    bool Wide = false;
    for (int i = 0; i < 256; ++i) Wide = Wide || Red[i] > 255 || Green[i] > 255 || Blue[i] > 255;
    L.MapShift = Wide ? 8 : 0;
    L.MapRed = Red;
    L.MapGreen = Green;
    L.MapBlue = Blue;
}

// Refuses a TIFF of several pages, as animated PNG and WebP are: the first
// alone would drop the others unseen. Reduced-resolution copies (previews)
// are no pages. Leaves the first directory current, its errors as they were.
void CheckSinglePage(const std::string& FileName, TIFF* Tiff, TTiffMessages& Messages) {
    if (TIFFNumberOfDirectories(Tiff) <= 1) return;
    const std::string Before = Messages.First;
    std::int64_t Pages = 1;
    // In file order, each directory read once however long the chain.
    while (TIFFReadDirectory(Tiff) == 1) {
        std::uint32_t Type = 0;
        if (TIFFGetField(Tiff, TIFFTAG_SUBFILETYPE, &Type) != 1 || (Type & FILETYPE_REDUCEDIMAGE) == 0) ++Pages;
    }
    Messages.First = Before;
    if (TIFFSetDirectory(Tiff, 0) != 1) FailFile(FileName, "corrupt or truncated TIFF (" + Messages.First + ")");
    if (Pages > 1)
        FailFile(FileName, "unsupported multi-page TIFF (" + std::to_string(Pages) + " pages; only single images are "
                           "enlarged)");
}

TTiffLayout ReadTiffLayout(const std::string& FileName, TIFF* Tiff, std::int64_t FileSize, std::int64_t MaxPixels) {
    TTiffLayout L;
    ReadTiffTags(FileName, Tiff, L);
    ClassifyTiff(FileName, Tiff, L);
    CheckShape(FileName, L.Width, L.Height, MaxPixels);
    const std::int64_t BytesPerSample = L.Bits / 8;
    if (L.Compression == COMPRESSION_NONE && std::int64_t(L.Width) * L.Height * L.Spp * BytesPerSample > FileSize)
        FailFile(FileName, "corrupt or truncated TIFF (" + DimensionsText(L.Width, L.Height) +
                               " pixels cannot fit in " + std::to_string(FileSize) + " bytes)");
    if (L.Palette) ReadTiffPalette(FileName, Tiff, L);
    return L;
}

// Copies one channel of a scanline into the image row, inverting where white
// is zero. The line's samples are copied out byte-wise, as the buffer holds
// bytes.
template <class S, class D>
void CopyScanline(const std::uint8_t* Source, std::size_t Step, std::size_t First, std::int32_t Width, D* Dest,
                  std::size_t DestStep, bool Invert) {
    for (std::int32_t x = 0; x < Width; ++x) {
        S v;
        std::memcpy(&v, Source + (std::size_t(x) * Step + First) * sizeof(S), sizeof(S));
        if constexpr (std::is_integral_v<S>) {
            if (Invert) v = S(~v);
        }
        Dest[std::size_t(x) * DestStep] = D(v);
    }
}

// Moves decoded samples into the image.
class TTiffConverter {
public:
    TTiffConverter(const TTiffLayout& Layout, TImageData& Target) : L(Layout), Image(Target) {}

    // Count pixels of one decoded row, Step samples apart from sample First,
    // into channel Channel of the image from column X0 of row Row.
    void Convert(const std::uint8_t* Source, std::int32_t Row, std::int32_t X0, std::int32_t Count,
                 std::int32_t Channel, std::size_t Step, std::size_t First) {
        const std::size_t C = std::size_t(L.Channels);
        const std::size_t At = std::size_t(X0) * C + std::size_t(Channel);
        const bool InvertChannel = L.Invert && Channel < L.ColorSamples;
        switch (L.Type) {
        case TSampleType::st8bit:
            if (L.Palette && Channel == 0)
                ExpandPalette(Source, Image.Row<std::uint8_t>(Row) + At, Count, Step, First);
            else
                CopyScanline<std::uint8_t>(Source, Step, First, Count, Image.Row<std::uint8_t>(Row) + At, C,
                                           InvertChannel);
            break;
        case TSampleType::st16bit:
            CopyScanline<std::uint16_t>(Source, Step, First, Count, Image.Row<std::uint16_t>(Row) + At, C,
                                        InvertChannel);
            break;
        case TSampleType::stFloat64:
            if (L.Bits == 32)
                CopyScanline<float>(Source, Step, First, Count, Image.Row<double>(Row) + At, C, false);
            else
                CopyScanline<double>(Source, Step, First, Count, Image.Row<double>(Row) + At, C, false);
            break;
        }
    }

private:
    void ExpandPalette(const std::uint8_t* Source, std::uint8_t* Out, std::int32_t Count, std::size_t Step,
                       std::size_t First) const {
        for (std::int32_t x = 0; x < Count; ++x) {
            const std::uint8_t Index = Source[std::size_t(x) * Step + First];
            std::uint8_t* P = Out + std::size_t(x) * std::size_t(L.Channels);
            P[0] = std::uint8_t(L.MapRed[Index] >> L.MapShift);
            P[1] = std::uint8_t(L.MapGreen[Index] >> L.MapShift);
            P[2] = std::uint8_t(L.MapBlue[Index] >> L.MapShift);
        }
    }

    const TTiffLayout& L;
    TImageData& Image;
};

// The open file and what its failures say.
struct TTiffSource {
    TIFF* Tiff;
    const std::string& FileName;
    const TTiffMessages& Messages;
    std::int64_t MaxBuffer;

    [[noreturn]] void Corrupt() const { FailFile(FileName, "corrupt or truncated TIFF (" + Messages.First + ")"); }
    // A decoding buffer of Size bytes, refused when no image within the
    // limits needs one that large.
    std::vector<std::uint8_t> Buffer(tmsize_t Size) const {
        if (Size <= 0) Corrupt();
        if (Size > MaxBuffer)
            FailFile(FileName, "a TIFF row or tile of " + std::to_string(Size) + " bytes is too large (at most " +
                                   std::to_string(MaxBuffer) + " bytes)");
        return std::vector<std::uint8_t>(static_cast<std::size_t>(Size));
    }
};

void ReadTiffTiles(const TTiffSource& File, const TTiffLayout& L, TImageData& Image) {
    TIFF* Tiff = File.Tiff;
    std::uint32_t TileWidth = 0, TileHeight = 0;
    TIFFGetField(Tiff, TIFFTAG_TILEWIDTH, &TileWidth);
    TIFFGetField(Tiff, TIFFTAG_TILELENGTH, &TileHeight);
    const tmsize_t TileSize = TIFFTileSize(Tiff), TileRowSize = TIFFTileRowSize(Tiff);
    if (TileWidth == 0 || TileHeight == 0 || TileRowSize <= 0) File.Corrupt();
    std::vector<std::uint8_t> Tile = File.Buffer(TileSize);
    // Tiles cover the image in any order, so all of it is needed at once;
    // its size was checked against the containers before.
    Image.GrowRows(Image.Height);
    TTiffConverter Converter(L, Image);
    const bool Contig = L.Contig();
    // Interleaved tiles are read once for all channels, planar ones per plane.
    const std::size_t Passes = Contig ? 1 : L.Plan.size();
    for (std::size_t Pass = 0; Pass < Passes; ++Pass)
        for (std::uint32_t y0 = 0; y0 < L.Height; y0 += TileHeight)
            for (std::uint32_t x0 = 0; x0 < L.Width; x0 += TileWidth) {
                const std::uint16_t Plane = Contig ? 0 : std::uint16_t(L.Plan[Pass].second);
                if (TIFFReadTile(Tiff, Tile.data(), x0, y0, 0, Plane) < 0) File.Corrupt();
                const std::int32_t Count = std::int32_t(std::min(TileWidth, L.Width - x0));
                for (std::uint32_t r = 0; r < TileHeight && y0 + r < L.Height; ++r) {
                    const std::uint8_t* Source = Tile.data() + std::size_t(r) * std::size_t(TileRowSize);
                    for (std::size_t k = Contig ? 0 : Pass; k < (Contig ? L.Plan.size() : Pass + 1); ++k)
                        Converter.Convert(Source, std::int32_t(y0 + r), std::int32_t(x0), Count, L.Plan[k].first,
                                          Contig ? L.Spp : 1, Contig ? std::size_t(L.Plan[k].second) : 0);
                }
            }
}

void ReadTiffStrips(const TTiffSource& File, const TTiffLayout& L, TImageData& Image) {
    TIFF* Tiff = File.Tiff;
    std::vector<std::uint8_t> Line = File.Buffer(TIFFScanlineSize(Tiff));
    TTiffConverter Converter(L, Image);
    if (L.Contig()) {
        const std::int32_t Chunk = 64;
        for (std::int32_t y = 0; y < Image.Height; ++y) {
            if (y % Chunk == 0) Image.GrowRows(std::min(Image.Height, y + Chunk));
            if (TIFFReadScanline(Tiff, Line.data(), std::uint32_t(y), 0) < 0) File.Corrupt();
            for (const auto& [Channel, Sample] : L.Plan)
                Converter.Convert(Line.data(), y, 0, Image.Width, Channel, L.Spp, std::size_t(Sample));
        }
        return;
    }
    Image.GrowRows(Image.Height);
    for (const auto& [Channel, Sample] : L.Plan)
        for (std::int32_t y = 0; y < Image.Height; ++y) {
            if (TIFFReadScanline(Tiff, Line.data(), std::uint32_t(y), std::uint16_t(Sample)) < 0) File.Corrupt();
            Converter.Convert(Line.data(), y, 0, Image.Width, Channel, 1, 0);
        }
}

// Undoes premultiplied alpha, rounding integers to nearest.
void Unpremultiply(TImageData& Image) {
    const std::size_t C = std::size_t(Image.Channels);
    Image.Samples.Visit([C](auto& Samples) {
        using T = typename std::decay_t<decltype(Samples)>::value_type;
        for (std::size_t p = 0; p < Samples.size(); p += C) {
            const double a = Samples[p + C - 1];
            for (std::size_t c = 0; c + 1 < C; ++c) {
                T& v = Samples[p + c];
                if constexpr (std::is_integral_v<T>) {
                    const double Max = double(std::numeric_limits<T>::max());
                    v = a == 0 ? T(0) : T(std::min(Max, std::nearbyint(v * Max / a)));
                } else {
                    v = a == 0 ? 0 : v / a;
                }
            }
        }
    });
}

// The profile, XMP, resolution and orientation from the directory; EXIF
// through exiv2, since it sits in directories of its own.
void ReadTiffMetadata(const std::string& FileName, TIFF* Tiff, TFileBytes Bytes, TImageData& Image) {
    TImageMetadata& M = Image.Metadata;
    std::uint32_t Length = 0;
    void* Data = nullptr;
    if (TIFFGetField(Tiff, TIFFTAG_ICCPROFILE, &Length, &Data) == 1 && Data != nullptr) {
        const auto* Bytes8 = static_cast<const std::uint8_t*>(Data);
        M.IccProfile.assign(Bytes8, Bytes8 + Length);
    }
    if (TIFFGetField(Tiff, TIFFTAG_XMLPACKET, &Length, &Data) == 1 && Data != nullptr)
        M.Xmp.assign(static_cast<const char*>(Data), Length);
    float X = 0, Y = 0;
    std::uint16_t Unit = RESUNIT_INCH, Orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_RESOLUTIONUNIT, &Unit);
    if (TIFFGetField(Tiff, TIFFTAG_XRESOLUTION, &X) == 1 && TIFFGetField(Tiff, TIFFTAG_YRESOLUTION, &Y) == 1 && X > 0 &&
        Y > 0 && std::isfinite(X) && std::isfinite(Y) && (Unit == RESUNIT_INCH || Unit == RESUNIT_CENTIMETER))
        M.Resolution = {X, Y, Unit == RESUNIT_INCH ? TResolutionUnit::ruInch : TResolutionUnit::ruCentimetre};
    if (TIFFGetField(Tiff, TIFFTAG_ORIENTATION, &Orientation) == 1 && Orientation >= 1 && Orientation <= 8)
        M.Orientation = Orientation;
    try {
        M.Exif = ExifBlockOfTiff(FileName, Bytes);
    } catch (const EImageFile& E) {
        Image.Warnings.push_back(std::string(E.what()) + ", EXIF dropped");
    }
}

bool IsTiff(TFileBytes B) {
    return B.size() >= 4 && ((B[0] == 'I' && B[1] == 'I' && (B[2] == 42 || B[2] == 43) && B[3] == 0) ||
                             (B[0] == 'M' && B[1] == 'M' && B[2] == 0 && (B[3] == 42 || B[3] == 43)));
}

TImageData ReadTiff(const std::string& FileName, TFileBytes Bytes, const TReadOptions& Options) {
    TTiffMessages Messages{FileName, {}};
    TTiffMemory Memory{Bytes, 0};
    const auto OpenOptions = TiffOptions(Messages, Options.MaxPixels);
    TTiffPtr Owner(TIFFClientOpenExt(FileName.c_str(), "rm", &Memory, TiffMemoryRead, TiffMemoryWrite,
                                     TiffMemorySeek, TiffMemoryClose, TiffMemorySize, TiffMemoryMap, TiffMemoryUnmap,
                                     OpenOptions.get()));
    const TTiffSource File{Owner.get(), FileName, Messages, MaxBufferBytes(Options.MaxPixels)};
    if (!Owner) File.Corrupt();
    CheckSinglePage(FileName, File.Tiff, Messages);
    const TTiffLayout Layout = ReadTiffLayout(FileName, File.Tiff, std::int64_t(Bytes.size()), Options.MaxPixels);

    TImageData Image;
    Image.SetShape(std::int32_t(Layout.Width), std::int32_t(Layout.Height), Layout.Channels, Layout.Alpha,
                   Layout.Type);
    Image.FloatBits = Layout.Type == TSampleType::stFloat64 ? Layout.Bits : 64;
    char* Description = nullptr;
    if (TIFFGetField(File.Tiff, TIFFTAG_IMAGEDESCRIPTION, &Description) == 1 && Description != nullptr)
        Image.Caption = Description;
    if (TIFFIsTiled(File.Tiff))
        ReadTiffTiles(File, Layout, Image);
    else
        ReadTiffStrips(File, Layout, Image);
    if (Layout.Associated) Unpremultiply(Image);
    Image.SourceFormat = TImageFormat::ifTiff;
    ReadTiffMetadata(FileName, File.Tiff, Bytes, Image);
    CheckReadMetadata(FileName, Image);
    return Image;
}

void SetTiffTags(TIFF* Tiff, const TImageData& Image, std::uint16_t Bits) {
    const bool Float = Image.SampleType() == TSampleType::stFloat64;
    TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(Image.Width));
    TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(Image.Height));
    TIFFSetField(Tiff, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(Image.Channels));
    TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, Bits);
    TIFFSetField(Tiff, TIFFTAG_SAMPLEFORMAT, Float ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, Image.ColorChannels() == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(Tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(Tiff, TIFFTAG_ORIENTATION, std::uint16_t(Image.Metadata.Orientation));
    TIFFSetField(Tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(Tiff, TIFFTAG_PREDICTOR, Float ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
    if (Image.HasAlpha) {
        const std::uint16_t Extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(Tiff, TIFFTAG_EXTRASAMPLES, std::uint16_t(1), &Extra);
    }
    if (!Image.Caption.empty()) TIFFSetField(Tiff, TIFFTAG_IMAGEDESCRIPTION, Image.Caption.c_str());
    TIFFSetField(Tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(Tiff, 0));
    const TImageMetadata& M = Image.Metadata;
    if (!M.IccProfile.empty())
        TIFFSetField(Tiff, TIFFTAG_ICCPROFILE, std::uint32_t(M.IccProfile.size()), M.IccProfile.data());
    if (!M.Xmp.empty()) TIFFSetField(Tiff, TIFFTAG_XMLPACKET, std::uint32_t(M.Xmp.size()), M.Xmp.data());
    if (M.Resolution.Known()) {
        TIFFSetField(Tiff, TIFFTAG_XRESOLUTION, float(M.Resolution.X));
        TIFFSetField(Tiff, TIFFTAG_YRESOLUTION, float(M.Resolution.Y));
        TIFFSetField(Tiff, TIFFTAG_RESOLUTIONUNIT,
                     M.Resolution.Unit == TResolutionUnit::ruInch ? RESUNIT_INCH : RESUNIT_CENTIMETER);
    }
}

// Row y of Image as the file stores it.
void TiffRow(const TImageData& Image, std::int32_t y, std::uint16_t Bits, std::vector<std::uint8_t>& Line) {
    const std::size_t RowSamples = Image.RowSamples();
    if (Bits == 32) {
        const double* In = Image.Row<double>(y);
        for (std::size_t i = 0; i < RowSamples; ++i) {
            const float v = static_cast<float>(In[i]);
            std::memcpy(Line.data() + i * 4, &v, 4);
        }
        return;
    }
    Image.Samples.Visit([&](const auto& Samples) {
        std::memcpy(Line.data(), Samples.data() + RowSamples * std::size_t(y), Line.size());
    });
}

void WriteTiff(TTempOutput& Output, const TImageData& Image, const TWriteOptions&, std::vector<std::string>&) {
    const std::string& FileName = Output.Name();
    TTiffMessages Messages{FileName, {}};
    const auto Options = TiffOptions(Messages, INT64_MAX);
    const int Fd = Output.ReleaseFd();
    TTiffPtr Owner(TIFFFdOpenExt(Fd, FileName.c_str(), "w", Options.get()));
    const auto Failed = [&] { FailFile(FileName, "cannot write TIFF (" + Messages.First + ")"); };
    if (!Owner) {
        ::close(Fd);
        Failed();
    }
    TIFF* Tiff = Owner.get();
    const bool Float = Image.SampleType() == TSampleType::stFloat64;
    const std::uint16_t Bits = Float ? std::uint16_t(Image.FloatBits == 32 ? 32 : 64)
                                     : (Image.SampleType() == TSampleType::st16bit ? 16 : 8);
    SetTiffTags(Tiff, Image, Bits);
    if (!Messages.First.empty()) Failed();

    // The encoder may work in place, so each row goes through a copy.
    std::vector<std::uint8_t> Line(Image.RowSamples() * (Bits / 8u));
    for (std::int32_t y = 0; y < Image.Height; ++y) {
        TiffRow(Image, y, Bits, Line);
        if (TIFFWriteScanline(Tiff, Line.data(), std::uint32_t(y), 0) < 0) Failed();
    }
    if (TIFFFlush(Tiff) != 1 || !Messages.First.empty()) Failed();
    // Closing also flushes; no error can be reported from here on.
    Owner.reset();
    const std::vector<std::uint8_t> Exif = ExifForOutput(Image);
    if (!Exif.empty()) AddExifToTiff(Output.TemporaryPath(), FileName, Exif);
}

} // namespace

const TImageCodec TiffCodec{IsTiff, ReadTiff, WriteTiff};

} // namespace fi
