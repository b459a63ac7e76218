#pragma once
// Image files for the command-line enlarger: PNG, JPEG, TIFF and BMP read into
// one small in-memory form and written back, with the caption kept in the
// file's metadata, and the conversions to and from the engine's containers.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/FloatMap.h"
#include "image/LinearBitmap.h"
#include "support/Exceptions.h"

namespace fi {

// Every failure of reading, writing or converting a file; the message names
// the file and fits on one line.
class EImageFile : public Exception {
public:
    explicit EImageFile(const std::string& Message) : Exception(Message) {}
};

enum class TSampleType : std::uint8_t { st8bit, st16bit, stFloat64 };

enum class TImageFormat : std::uint8_t { ifPng, ifJpeg, ifTiff, ifBmp };

// An image as the files hold it: Channels samples per pixel, packed row after
// row without padding (gray, gray+alpha, RGB or RGB+alpha; palettes are
// expanded to RGB on reading). Only the sample vector of SampleType is used.
struct TImageData {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Channels = 0;
    bool HasAlpha = false;
    TSampleType SampleType = TSampleType::st8bit;
    // Precision of float samples in the file (32 or 64); a TIFF written from
    // this image keeps it.
    std::int32_t FloatBits = 64;
    std::vector<std::uint8_t> Samples8;
    std::vector<std::uint16_t> Samples16;
    std::vector<double> SamplesFloat;
    std::string Caption;

    std::int32_t ColorChannels() const { return HasAlpha ? Channels - 1 : Channels; }
    std::size_t SampleCount() const { return std::size_t(Width) * std::size_t(Height) * std::size_t(Channels); }
    // Sets the geometry and sizes the sample vector of Type (contents zero).
    // Channels 1 to 4; an alpha channel needs a colour channel beside it.
    void Allocate(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type);
};

// Whether an image of this shape fits the containers it is enlarged in: the
// 8-bit path's bitmaps (colour and alpha planes) or one float map per channel.
bool FitsContainers(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type);

// The output format named by the file's extension (.png, .jpg/.jpeg,
// .tif/.tiff, .bmp, any case); another extension raises EImageFile.
TImageFormat FormatFromFileName(const std::string& FileName);

// Reads any supported file; the format is recognised by its contents.
TImageData ReadImageFile(const std::string& FileName);

// Writes Image in the format of the file's extension, caption included where
// the format has metadata (PNG text chunk "Description", TIFF
// ImageDescription, JPEG comment). The file appears only when complete: a
// failure leaves an existing file of that name as it was. PNG holds 8 and
// 16 bits, JPEG and BMP 8 bits without alpha, TIFF everything.
void WriteImageFile(const std::string& FileName, const TImageData& Image, std::int32_t JpegQuality = 92);

// 8-bit images and the bitmap path: the colour channels become an 8-bit gray
// bitmap with the gray palette or a 24-bit blue-green-red one; with Alpha
// non-null the alpha channel becomes its own 8-bit gray bitmap (cleared when
// the image has none).
void ImageToBitmaps(const TImageData& Image, TLinearBitmap& Color, TLinearBitmap* Alpha);

// The inverse: an 8-bit gray (any gray palette) or 8-bit palette bitmap, or a
// 24-bit one, with an optional 8-bit alpha bitmap of the same size.
TImageData BitmapsToImage(const TLinearBitmap& Color, const TLinearBitmap* Alpha);

using TFloatMapList = std::vector<std::unique_ptr<TFloatMap>>;

// The float path: one map per channel in the image's order (alpha last).
// Samples keep their values: 8-bit as 0..255, 16-bit as 0..65535, floats as
// they are.
TFloatMapList ImageToFloatMaps(const TImageData& Image);

// The inverse: integer types round to nearest and clamp to their range;
// FloatBits is taken over for float images.
TImageData FloatMapsToImage(const TFloatMapList& Maps, bool HasAlpha, TSampleType Type,
                            std::int32_t FloatBits = 64);

} // namespace fi
