#include "tools/ImageData.h"

#include <cerrno>
#include <cmath>
#include <climits>
#include <cstring>
#include <new>

#include "image/LinearBitmap.h"

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

bool FitsContainers(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type) {
    if (W < 1 || H < 1 || ChannelCount < 1 || ChannelCount > 4) return false;
    const std::int64_t Pixels = std::int64_t(W) * H;
    if (Type == TSampleType::st8bit) {
        const std::int32_t ColorChannels = Alpha ? ChannelCount - 1 : ChannelCount;
        return Pixels * (ColorChannels == 1 ? 1 : 3) < 2147483647;
    }
    return Pixels * 8 <= 2000000000;
}

void FailFile(const std::string& FileName, const std::string& Reason) { throw EImageFile(FileName + ": " + Reason); }

std::string SystemErrorText() { return std::strerror(errno); }

std::string DimensionsText(std::int64_t W, std::int64_t H) { return std::to_string(W) + " x " + std::to_string(H); }

void CheckShape(const std::string& FileName, std::int64_t W, std::int64_t H, std::int32_t ChannelCount, bool Alpha,
                TSampleType Type, std::int64_t MaxPixels) {
    if (W < 1 || H < 1) FailFile(FileName, "invalid image size " + DimensionsText(W, H));
    if (W > INT32_MAX || H > INT32_MAX || W * H > MaxPixels ||
        !FitsContainers(std::int32_t(W), std::int32_t(H), ChannelCount, Alpha, Type))
        FailFile(FileName, std::string(SOutOfMemory) + " (image of " + DimensionsText(W, H) + " pixels)");
}

} // namespace fi
