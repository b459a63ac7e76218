#pragma once
// The command-line enlarger's in-memory image: packed samples of one type,
// the caption, and the checks every image-file reader makes before it takes
// memory for what a header claims.
#include <climits>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "support/Exceptions.h"

namespace fi {

// Every failure of reading, writing or converting a file; the message names
// the file and fits on one line.
class EImageFile : public Exception {
public:
    explicit EImageFile(const std::string& Message) : Exception(Message) {}
};

// The bytes of a whole file, as the readers take them.
using TFileBytes = std::span<const std::uint8_t>;

enum class TSampleType : std::uint8_t { st8bit, st16bit, stFloat64 };

enum class TImageFormat : std::uint8_t { ifPng, ifJpeg, ifTiff, ifBmp, ifWebp };

enum class TResolutionUnit : std::uint8_t { ruNone, ruInch, ruCentimetre };

// Pixels per unit as the file states them; ruNone when it states none.
struct TResolution {
    double X = 0;
    double Y = 0;
    TResolutionUnit Unit = TResolutionUnit::ruNone;

    bool Known() const { return Unit != TResolutionUnit::ruNone && X > 0 && Y > 0; }
    // Value (X or Y) in pixels per metre, the unit of PNG and BMP.
    std::uint32_t PerMetre(double Value) const;
    bool operator==(const TResolution&) const = default;
};

// What a photo carries besides its pixels and caption. Blocks are kept as
// the files hold them: Exif is the TIFF-structured block (without the
// "Exif\0\0" of JPEG), Xmp the XML packet.
struct TImageMetadata {
    std::vector<std::uint8_t> IccProfile;
    std::vector<std::uint8_t> Exif;
    std::string Xmp;
    TResolution Resolution;
    // The EXIF orientation, 1 (as stored) to 8; a written EXIF block and a
    // TIFF's own tag get this value.
    std::int32_t Orientation = 1;
};

// The samples of an image, all of one type. Asking for the vector of another
// type than the buffer holds raises std::bad_variant_access.
class TSampleBuffer {
public:
    TSampleType Type() const { return TSampleType(Samples.index()); }
    std::size_t Size() const;
    // Empties the buffer and gives it Type.
    void Reset(TSampleType Type);
    // Grows or shrinks to Count samples; new ones are zero. Memory the system
    // refuses becomes EOutOfMemory.
    void Resize(std::size_t Count);

    template <class T> std::vector<T>& Vector() { return std::get<std::vector<T>>(Samples); }
    template <class T> const std::vector<T>& Vector() const { return std::get<std::vector<T>>(Samples); }
    std::vector<std::uint8_t>& U8() { return Vector<std::uint8_t>(); }
    const std::vector<std::uint8_t>& U8() const { return Vector<std::uint8_t>(); }
    std::vector<std::uint16_t>& U16() { return Vector<std::uint16_t>(); }
    const std::vector<std::uint16_t>& U16() const { return Vector<std::uint16_t>(); }
    std::vector<double>& Float() { return Vector<double>(); }
    const std::vector<double>& Float() const { return Vector<double>(); }

    // Calls F with the vector the buffer holds, for code alike for every type.
    template <class F> decltype(auto) Visit(F&& Function) { return std::visit(Function, Samples); }
    template <class F> decltype(auto) Visit(F&& Function) const { return std::visit(Function, Samples); }

    bool operator==(const TSampleBuffer&) const = default;

private:
    // In the order of TSampleType.
    std::variant<std::vector<std::uint8_t>, std::vector<std::uint16_t>, std::vector<double>> Samples;
};

// An image as the files hold it: Channels samples per pixel, packed row after
// row without padding (gray, gray+alpha, RGB or RGB+alpha; palettes are
// expanded to RGB on reading).
struct TImageData {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Channels = 0;
    bool HasAlpha = false;
    // Precision of float samples in the file (32 or 64); a TIFF written from
    // this image keeps it.
    std::int32_t FloatBits = 64;
    TSampleBuffer Samples;
    std::string Caption;
    TImageMetadata Metadata;
    // Where the image came from: the format, and for a JPEG the quality its
    // tables were made with (0 when unknown), so that a lossy source can be
    // written back alike.
    TImageFormat SourceFormat = TImageFormat::ifPng;
    bool LossySource = false;
    std::int32_t SourceQuality = 0;
    // One line each: what reading had to drop (a damaged profile, say).
    std::vector<std::string> Warnings;

    TSampleType SampleType() const { return Samples.Type(); }
    std::int32_t ColorChannels() const { return HasAlpha ? Channels - 1 : Channels; }
    std::size_t SampleCount() const { return std::size_t(Width) * std::size_t(Height) * std::size_t(Channels); }
    std::size_t RowSamples() const { return std::size_t(Width) * std::size_t(Channels); }
    // Sets the geometry and sizes the samples of Type (contents zero).
    // Channels 1 to 4; an alpha channel needs a colour channel beside it.
    void Allocate(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type);
    // Sets the geometry and an empty buffer of Type, for readers that grow it.
    void SetShape(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type);
    // Sizes the samples for the first Rows rows; readers of compressed data
    // grow them as rows arrive, so that a header promising more than the
    // data holds fails before the memory is taken.
    void GrowRows(std::int32_t Rows);
    // The first sample of row Row in the vector of type T.
    template <class T> T* Row(std::int32_t RowIndex);
    template <class T> const T* Row(std::int32_t RowIndex) const;
};

template <class T> T* TImageData::Row(std::int32_t RowIndex) {
    return Samples.Vector<T>().data() + std::size_t(RowIndex) * RowSamples();
}
template <class T> const T* TImageData::Row(std::int32_t RowIndex) const {
    return Samples.Vector<T>().data() + std::size_t(RowIndex) * RowSamples();
}

// Raises EImageFile with "FileName: Reason".
[[noreturn]] void FailFile(const std::string& FileName, const std::string& Reason);

// The text of the last system error (errno).
std::string SystemErrorText();

// "W x H", for messages.
std::string DimensionsText(std::int64_t W, std::int64_t H);

// Refuses an image with floating-point samples that are not finite numbers
// (infinities, NaN): one of them spreads through the filters' training to
// most of the result. The message gives their count and the first one's
// position.
void CheckFiniteSamples(const std::string& FileName, const TImageData& Image);

// Refuses What ("the image", "the result") of W x H pixels when it is more
// than one of the engine's planes holds (MaxFloatMapElements, the limit of
// every front end) or than MaxPixels, naming the size and the limit.
void CheckPixels(const std::string& FileName, const std::string& What, std::int64_t W, std::int64_t H,
                 std::int64_t MaxPixels = INT64_MAX);

// Refuses a header's size before anything is allocated for it, so that a
// lying header costs nothing: an empty or negative size, or one CheckPixels
// refuses.
void CheckShape(const std::string& FileName, std::int64_t W, std::int64_t H, std::int64_t MaxPixels = INT64_MAX);

} // namespace fi
