#include "tools/ImageConversion.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "parallel/MultiCoreProcessing.h"

namespace fi {

namespace {
// Rows are independent; fewer than this are not worth a thread.
constexpr std::int32_t RowsPerItem = 32;
} // namespace

void ImageToBitmaps(const TImageData& Image, TLinearBitmap& Color, TLinearBitmap* Alpha) {
    if (Image.SampleType() != TSampleType::st8bit) throw EImageFile("only 8-bit images convert to bitmaps");
    const std::int32_t C = Image.Channels;
    const bool Gray = Image.ColorChannels() == 1;
    Color.SetSize(Image.Width, Image.Height, Gray ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    if (Gray) std::memcpy(Color.Palette, GrayPalette, sizeof(TPalette));
    RunRows(0, Image.Height - 1, RowsPerItem, [&](const TRowRange& Rows) {
        for (std::int32_t y = Rows.First; y <= Rows.Last; ++y) {
            const std::uint8_t* In = Image.Row<std::uint8_t>(y);
            std::uint8_t* Out = Color.Line(y);
            for (std::int32_t x = 0; x < Image.Width; ++x, In += C)
                if (Gray) {
                    Out[x] = In[0];
                } else {
                    Out[3 * x] = In[2];
                    Out[3 * x + 1] = In[1];
                    Out[3 * x + 2] = In[0];
                }
        }
    });
    if (Alpha == nullptr) return;
    if (!Image.HasAlpha) {
        Alpha->Clear();
        return;
    }
    Alpha->SetSize(Image.Width, Image.Height, TPixelFormat::pf8bit);
    std::memcpy(Alpha->Palette, GrayPalette, sizeof(TPalette));
    for (std::int32_t y = 0; y < Image.Height; ++y) {
        const std::uint8_t* In = Image.Row<std::uint8_t>(y) + (C - 1);
        std::uint8_t* Out = Alpha->Line(y);
        for (std::int32_t x = 0; x < Image.Width; ++x, In += C) Out[x] = *In;
    }
}

TImageData BitmapsToImage(const TLinearBitmap& Color, const TLinearBitmap* Alpha) {
    if (!Color.Present ||
        (Color.PixelFormat != TPixelFormat::pf8bit && Color.PixelFormat != TPixelFormat::pf24bit))
        throw EImageFile("only 8-bit and 24-bit bitmaps convert to images");
    const bool HasAlpha = Alpha != nullptr && Alpha->Present;
    if (HasAlpha && (Alpha->PixelFormat != TPixelFormat::pf8bit || Alpha->Width != Color.Width ||
                     Alpha->Height != Color.Height))
        throw EImageFile("the alpha bitmap does not match the colour bitmap");
    // An 8-bit bitmap is gray when every palette entry is; no palette means the ramp.
    bool Gray = Color.PixelFormat == TPixelFormat::pf8bit;
    if (Gray && Color.Palette != nullptr)
        for (int i = 0; i < 256; ++i)
            Gray = Gray && Color.Palette[i].Red == Color.Palette[i].Green && Color.Palette[i].Green == Color.Palette[i].Blue;
    TImageData Image;
    const std::int32_t C = (Gray ? 1 : 3) + (HasAlpha ? 1 : 0);
    Image.Allocate(Color.Width, Color.Height, C, HasAlpha, TSampleType::st8bit);
    RunRows(0, Image.Height - 1, RowsPerItem, [&](const TRowRange& Rows) {
        for (std::int32_t y = Rows.First; y <= Rows.Last; ++y) {
            const std::uint8_t* In = Color.Line(y);
            const std::uint8_t* A = HasAlpha ? Alpha->Line(y) : nullptr;
            std::uint8_t* Out = Image.Row<std::uint8_t>(y);
            for (std::int32_t x = 0; x < Image.Width; ++x, Out += C) {
                if (Color.PixelFormat == TPixelFormat::pf24bit) {
                    Out[0] = In[3 * x + 2];
                    Out[1] = In[3 * x + 1];
                    Out[2] = In[3 * x];
                } else if (Color.Palette == nullptr) {
                    Out[0] = In[x];
                } else {
                    const TPaletteEntry& E = Color.Palette[In[x]];
                    Out[0] = E.Red;
                    if (!Gray) {
                        Out[1] = E.Green;
                        Out[2] = E.Blue;
                    }
                }
                if (HasAlpha) Out[C - 1] = Alpha->Palette != nullptr ? Alpha->Palette[A[x]].Red : A[x];
            }
        }
    });
    return Image;
}

TFloatMapList ImageToFloatMaps(const TImageData& Image) {
    const std::size_t C = std::size_t(Image.Channels);
    const std::size_t Pixels = std::size_t(Image.Width) * std::size_t(Image.Height);
    TFloatMapList Maps;
    for (std::size_t c = 0; c < C; ++c) {
        auto Map = std::make_unique<TFloatMap>(Image.Width, Image.Height);
        double* Out = Map->Map;
        Image.Samples.Visit([&](const auto& Samples) {
            for (std::size_t p = 0; p < Pixels; ++p) Out[p] = double(Samples[p * C + c]);
        });
        Maps.push_back(std::move(Map));
    }
    return Maps;
}

TImageData FloatMapsToImage(const TFloatMapList& Maps, bool HasAlpha, TSampleType Type, std::int32_t FloatBits) {
    const std::int32_t C = std::int32_t(Maps.size());
    if (C < 1 || C > 4 || (HasAlpha ? C % 2 != 0 : C % 2 != 1)) throw EImageFile("wrong number of channel maps");
    for (const auto& Map : Maps)
        if (!Map || Map->Width != Maps[0]->Width || Map->Height != Maps[0]->Height)
            throw EImageFile("the channel maps differ in size");
    TImageData Image;
    Image.Allocate(Maps[0]->Width, Maps[0]->Height, C, HasAlpha, Type);
    Image.FloatBits = FloatBits == 32 ? 32 : 64;
    const std::size_t Pixels = std::size_t(Image.Width) * std::size_t(Image.Height);
    Image.Samples.Visit([&](auto& Samples) {
        using T = typename std::decay_t<decltype(Samples)>::value_type;
        for (std::size_t c = 0; c < std::size_t(C); ++c) {
            const double* In = Maps[c]->Map;
            for (std::size_t p = 0; p < Pixels; ++p) {
                T& Out = Samples[p * std::size_t(C) + c];
                if constexpr (std::is_floating_point_v<T>) {
                    Out = In[p];
                } else {
                    Out = RoundToSample<T>(In[p]);
                }
            }
        }
    });
    return Image;
}

void ApplyOrientation(TImageData& Image) {
    const std::int32_t Orientation = Image.Metadata.Orientation;
    Image.Metadata.Orientation = 1;
    if (Orientation < 2 || Orientation > 8) return;
    const std::int64_t W = Image.Width, H = Image.Height;
    const bool Turned = Orientation >= 5;
    const std::int64_t OutW = Turned ? H : W, OutH = Turned ? W : H;
    // The stored pixel shown at (x, y).
    const auto Source = [&](std::int64_t x, std::int64_t y) -> std::int64_t {
        switch (Orientation) {
        case 2: return y * W + (W - 1 - x);
        case 3: return (H - 1 - y) * W + (W - 1 - x);
        case 4: return (H - 1 - y) * W + x;
        case 5: return x * W + y;
        case 6: return (H - 1 - x) * W + y;
        case 7: return (H - 1 - x) * W + (W - 1 - y);
        default: return x * W + (W - 1 - y);
        }
    };
    const std::size_t C = std::size_t(Image.Channels);
    Image.Samples.Visit([&](auto& Samples) {
        std::decay_t<decltype(Samples)> Turn(Samples.size());
        for (std::int64_t y = 0; y < OutH; ++y)
            for (std::int64_t x = 0; x < OutW; ++x) {
                const std::size_t From = std::size_t(Source(x, y)) * C, To = std::size_t(y * OutW + x) * C;
                for (std::size_t c = 0; c < C; ++c) Turn[To + c] = Samples[From + c];
            }
        Samples.swap(Turn);
    });
    Image.Width = std::int32_t(OutW);
    Image.Height = std::int32_t(OutH);
    if (Turned) std::swap(Image.Metadata.Resolution.X, Image.Metadata.Resolution.Y);
}

} // namespace fi
