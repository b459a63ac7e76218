#include "tools/ImageData.h"

#include <cerrno>
#include <cmath>
#include <climits>
#include <cstring>
#include <new>

#include "image/FloatMap.h"

namespace fi {

std::size_t TSampleBuffer::Size() const {
    return Visit([](const auto& V) { return V.size(); });
}

void TSampleBuffer::Reset(TSampleType Type) {
    switch (Type) {
    case TSampleType::st8bit: Samples.emplace<std::vector<std::uint8_t>>(); break;
    case TSampleType::st16bit: Samples.emplace<std::vector<std::uint16_t>>(); break;
    case TSampleType::stFloat64: Samples.emplace<std::vector<double>>(); break;
    }
}

void TSampleBuffer::Resize(std::size_t Count) {
    try {
        Visit([Count](auto& V) { V.resize(Count); });
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    } catch (const std::length_error&) {
        throw EOutOfMemory();
    }
}

std::uint32_t TResolution::PerMetre(double Value) const {
    const double PerMetreValue = Unit == TResolutionUnit::ruInch ? Value / 0.0254 : Value * 100.0;
    return PerMetreValue >= 0 && PerMetreValue < 4e9 ? std::uint32_t(std::lround(PerMetreValue)) : 0;
}

void TImageData::SetShape(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type) {
    Width = W;
    Height = H;
    Channels = ChannelCount;
    HasAlpha = Alpha;
    Samples.Reset(Type);
}

void TImageData::Allocate(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type) {
    if (W < 0 || H < 0 || ChannelCount < 1 || ChannelCount > 4 || (Alpha ? ChannelCount % 2 != 0 : ChannelCount % 2 != 1))
        throw EImageFile("invalid image shape");
    SetShape(W, H, ChannelCount, Alpha, Type);
    GrowRows(H);
}

void TImageData::GrowRows(std::int32_t Rows) { Samples.Resize(RowSamples() * std::size_t(Rows)); }

void FailFile(const std::string& FileName, const std::string& Reason) { throw EImageFile(FileName + ": " + Reason); }

std::string SystemErrorText() { return std::strerror(errno); }

std::string DimensionsText(std::int64_t W, std::int64_t H) { return std::to_string(W) + " x " + std::to_string(H); }

void CheckPixels(const std::string& FileName, const std::string& What, std::int64_t W, std::int64_t H,
                 std::int64_t MaxPixels) {
    const std::int64_t Limit = MaxPixels < MaxFloatMapElements ? MaxPixels : MaxFloatMapElements;
    // FitsFloatMap first: the product of two header fields may overflow.
    if (!FitsFloatMap(W, H) || W * H > Limit)
        FailFile(FileName, What + " of " + DimensionsText(W, H) + " pixels is too large (at most " +
                               std::to_string(Limit) + " pixels)");
}

void CheckFiniteSamples(const std::string& FileName, const TImageData& Image) {
    if (Image.SampleType() != TSampleType::stFloat64) return;
    const std::vector<double>& Samples = Image.Samples.Float();
    std::size_t Count = 0, First = 0;
    for (std::size_t i = 0; i < Samples.size(); ++i)
        if (!std::isfinite(Samples[i]) && Count++ == 0) First = i;
    if (Count == 0) return;
    const std::size_t Pixel = First / std::size_t(Image.Channels);
    std::string Where = "x " + std::to_string(Pixel % std::size_t(Image.Width)) + ", y " +
                        std::to_string(Pixel / std::size_t(Image.Width));
    if (Image.Channels > 1) Where += ", channel " + std::to_string(First % std::size_t(Image.Channels));
    FailFile(FileName, std::to_string(Count) + " of " + std::to_string(Samples.size()) + " samples " +
                           (Count == 1 ? "is" : "are") + " not finite (infinity or NaN; the first at " + Where + ")");
}

void CheckShape(const std::string& FileName, std::int64_t W, std::int64_t H, std::int64_t MaxPixels) {
    if (W < 1 || H < 1) FailFile(FileName, "invalid image size " + DimensionsText(W, H));
    CheckPixels(FileName, "the image", W, H, MaxPixels);
}

} // namespace fi
