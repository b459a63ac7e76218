#include "plugin/PluginLinearBitmap.h"

#include <cstdlib>
#include <cstring>

namespace fi {

void TProgressUpdate::ProgressUpdate(std::int32_t Progress) {
    if (CallHost(hrProgress, &Progress) == 0) Abort();
}

TPluginLinearBitmap::TPluginLinearBitmap(const HostImage* Image) { AttachHostImage(Image); }

TPluginLinearBitmap::~TPluginLinearBitmap() { TPluginLinearBitmap::Clear(); }

void TPluginLinearBitmap::Clear() {
    // Frees only the plug-in's own buffers: OwnsBuffer still knows the host's.
    TLinearBitmap::Clear();
    HostPixels = nullptr;
    HostPalette = nullptr;
}

bool TPluginLinearBitmap::OwnsBuffer(const void* Buffer) const { return Buffer != HostPixels && Buffer != HostPalette; }

void TPluginLinearBitmap::AttachHostImage(const HostImage* Image) {
    Clear();
    if (Image->Width < 1 || Image->Height < 1 || Image->Pixels == nullptr) throw ELinearBitmap(SInvalidBitmapSize);
    TPixelFormat Format;
    switch (Image->Format) {
    case hfIndexed8: Format = TPixelFormat::pf8bit; break;
    case hfBgr24: Format = TPixelFormat::pf24bit; break;
    case hfBits32: Format = TPixelFormat::pf32bit; break;
    default: throw ELinearBitmap(SUnsupportedPixelFormat);
    }
    const std::int32_t Bytes = Image->Format; // the code is the pixel size for these three
    // Rows shorter than a pixel row would overlap, or run past the host's buffer.
    const std::int64_t RowBytes = std::int64_t(Image->Width) * Bytes;
    const std::int64_t Stride = Image->BytesPerLine < 0 ? -std::int64_t(Image->BytesPerLine) : Image->BytesPerLine;
    if (Stride < RowBytes || Stride * Image->Height >= 2147483647) throw ELinearBitmap(SInvalidBitmapSize);

    if (Format == TPixelFormat::pf8bit) {
        const auto* HostEntries = reinterpret_cast<const TPaletteEntry*>(Image->Palette);
        if (HostEntries != nullptr) {
            // The host's palette is only read, never written or freed.
            Palette = const_cast<TPaletteEntry*>(HostEntries);
        } else {
            Palette = reinterpret_cast<TPaletteEntry*>(AllocateBuffer(sizeof(TPalette)));
            std::memcpy(Palette, GrayPalette, sizeof(TPalette));
        }
        HostPalette = HostEntries;
    }
    HostPixels = Image->Pixels;
    PixelFormat = Format;
    PixelSize = Bytes;
    Map = Image->Pixels;
    Width = Image->Width;
    Height = Image->Height;
    BytesPerLine = Image->BytesPerLine;
    Size = std::int32_t(Stride * Height);
    Present = true;
}

void TPluginLinearBitmap::DetachFromHost() {
    if (!Present || Map != HostPixels) return;
    std::uint8_t* Own = CopyRowsPacked();
    HostPixels = nullptr;
    Map = Own;
    BytesPerLine = Width * PixelSize;
    Size = BytesPerLine * Height;
}

void TPluginLinearBitmap::PackRows() {
    if (!Present || Width * PixelSize == BytesPerLine) return;
    std::uint8_t* Own = CopyRowsPacked();
    FreeOwned(Map);
    HostPixels = nullptr;
    Map = Own;
    BytesPerLine = Width * PixelSize;
    Size = BytesPerLine * Height;
}

void TPluginLinearBitmap::ExportToHost(TPluginLinearBitmap* Self, HostImage& Record, bool Detach) {
    std::memset(&Record, 0, sizeof Record);
    if (Self == nullptr) return;
    switch (Self->PixelFormat) {
    case TPixelFormat::pf8bit: Record.Format = hfIndexed8; break;
    case TPixelFormat::pf24bit: Record.Format = hfBgr24; break;
    default: throw ELinearBitmap(SUnsupportedPixelFormat);
    }
    Record.Width = Self->Width;
    Record.Height = Self->Height;
    Record.BytesPerLine = Self->BytesPerLine;
    Record.Pixels = Self->Map;
    Record.Palette = Self->PixelFormat == TPixelFormat::pf8bit ? reinterpret_cast<std::uint8_t*>(Self->Palette) : nullptr;
    if (Detach) {
        Self->Map = nullptr;
        Self->Palette = nullptr;
        Self->Clear();
    }
}

} // namespace fi
