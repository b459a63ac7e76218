#include "image/LinearBitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

namespace fi {

namespace {
struct TGrayRamp {
    TPalette Entries;
    TGrayRamp() {
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            Entries[i] = {v, v, v};
        }
    }
};
const TGrayRamp GrayRamp;
} // namespace

const TPalette& GrayPalette = GrayRamp.Entries;

std::int32_t PixelSizeOf(TPixelFormat Format) {
    switch (Format) {
    case TPixelFormat::pf8bit: return 1;
    case TPixelFormat::pf16bit: return 2;
    case TPixelFormat::pf24bit: return 3;
    case TPixelFormat::pf32bit: return 4;
    default: return 0;
    }
}

bool TLinearBitmap::OwnsBuffer(const void*) const { return true; }

void TLinearBitmap::FreeOwned(void* Buffer) const {
    if (Buffer != nullptr && OwnsBuffer(Buffer)) std::free(Buffer);
}

std::uint8_t* TLinearBitmap::AllocateBuffer(std::size_t Bytes) {
    auto* Buffer = static_cast<std::uint8_t*>(std::malloc(Bytes));
    if (Buffer == nullptr) throw ELinearBitmap(SOutOfMemory);
    return Buffer;
}

TLinearBitmap::TLinearBitmap(std::int32_t W, std::int32_t H, TPixelFormat Format) {
    SetSize(W, H, Format, 0);
}

TLinearBitmap::~TLinearBitmap() {
    // Clear is virtual; a descendant's destructor has already run its own.
    if (Present || Map != nullptr || Palette != nullptr) TLinearBitmap::Clear();
}

void TLinearBitmap::Clear() {
    FreeOwned(Map);
    FreeOwned(Palette);
    Map = nullptr;
    Palette = nullptr;
    Present = false;
    Width = Height = Size = PixelSize = 0;
    BytesPerLine = 0;
    PixelFormat = TPixelFormat::pfCustom;
}

void TLinearBitmap::SetSize(std::int32_t W, std::int32_t H, TPixelFormat Format, std::int32_t LineSize) {
    if (Present && W == Width && H == Height && Format == PixelFormat) return;
    const std::int32_t NewPixelSize = PixelSizeOf(Format);
    if (NewPixelSize == 0) throw ELinearBitmap(SUnsupportedPixelFormat);
    if (W < 1 || H < 1) throw ELinearBitmap(SInvalidBitmapSize);

    FreeOwned(Map);
    Map = nullptr;
    Present = false;
    // From here on a failure leaves the bitmap empty as after Clear.
    try {
        PixelSize = NewPixelSize;
        if (Format == TPixelFormat::pf8bit) {
            // A borrowed palette is only read: the bitmap's writes go to a copy.
            if (Palette == nullptr || !OwnsBuffer(Palette)) {
                auto* Own = reinterpret_cast<TPaletteEntry*>(AllocateBuffer(sizeof(TPalette)));
                if (Palette != nullptr) std::memcpy(Own, Palette, sizeof(TPalette));
                Palette = Own;
            }
        } else {
            FreeOwned(Palette);
            Palette = nullptr;
        }
        if (std::int64_t(W) * H * PixelSize >= 2147483647) throw ELinearBitmap(SOutOfMemory);
        Width = W;
        Height = H;
        BytesPerLine = W * PixelSize;
        if (LineSize != 0) {
            if (LineSize < BytesPerLine) throw ELinearBitmap(SInvalidBitmapSize);
            BytesPerLine = LineSize;
        }
        if (std::int64_t(BytesPerLine) * H >= 2147483647) throw ELinearBitmap(SOutOfMemory);
        PixelFormat = Format;
        Size = BytesPerLine * H;
        Map = AllocateBuffer(std::size_t(Size) + 1);
        Present = true;
    } catch (...) {
        Clear();
        throw;
    }
}

void TLinearBitmap::Assign(const TAssignObject* Source) {
    const auto* Other = dynamic_cast<const TLinearBitmap*>(Source);
    if (Other == nullptr) {
        TAssignObject::Assign(Source);
        return;
    }
    if (Other == this) return;
    if (!Other->Present) {
        Clear();
        return;
    }
    SetSize(Other->Width, Other->Height, Other->PixelFormat, 0);
    if (BytesPerLine == Other->BytesPerLine) {
        std::memcpy(Map, Other->Map, std::size_t(Size));
    } else {
        for (std::int32_t y = 0; y < Height; ++y)
            std::memcpy(Line(y), Other->Line(y), std::size_t(BytesPerLine));
    }
    if (PixelFormat == TPixelFormat::pf8bit) std::memcpy(Palette, Other->Palette, sizeof(TPalette));
}

void TLinearBitmap::AssignTo(TAssignObject* Dest) const { TAssignObject::AssignTo(Dest); }

void TLinearBitmap::TakeOver(TLinearBitmap& Other) {
    if (&Other == this) return;
    Clear();
    if (typeid(Other) == typeid(TLinearBitmap)) {
        Width = Other.Width;
        Height = Other.Height;
        PixelFormat = Other.PixelFormat;
        BytesPerLine = Other.BytesPerLine;
        PixelSize = Other.PixelSize;
        Size = Other.Size;
        Present = Other.Present;
        Map = Other.Map;
        Palette = Other.Palette;
        Other.Map = nullptr;
        Other.Palette = nullptr;
        Other.Clear();
    } else {
        Assign(&Other);
        Other.Clear();
    }
}

std::uint8_t* TLinearBitmap::CopyRowsPacked() const {
    const std::size_t RowBytes = std::size_t(Width) * std::size_t(PixelSize);
    std::uint8_t* Packed = AllocateBuffer(RowBytes * std::size_t(Height) + 1);
    for (std::int32_t y = 0; y < Height; ++y) std::memcpy(Packed + RowBytes * std::size_t(y), Line(y), RowBytes);
    return Packed;
}

void TLinearBitmap::PackRows() {
    if (!Present || BytesPerLine == Width * PixelSize) return;
    std::uint8_t* Packed = CopyRowsPacked();
    FreeOwned(Map);
    Map = Packed;
    BytesPerLine = Width * PixelSize;
    Size = BytesPerLine * Height;
}

void TLinearBitmap::PasteImage(const TLinearBitmap& Source, std::int32_t X, std::int32_t Y,
                               std::int32_t MaxWidth, std::int32_t MaxHeight) {
    if (Source.PixelFormat != PixelFormat) throw ELinearBitmap(SUnsupportedPixelFormat);
    const std::int64_t Right = std::min<std::int64_t>(std::int64_t(X) + std::min(Source.Width, MaxWidth), Width);
    const std::int64_t Bottom = std::min<std::int64_t>(std::int64_t(Y) + std::min(Source.Height, MaxHeight), Height);
    const std::int32_t Left = std::max(X, 0);
    const std::int32_t Top = std::max(Y, 0);
    if (Right <= Left || Bottom <= Top) return;
    const std::uint8_t* From = Source.PixelPtr(std::max(0, -X), std::max(0, -Y));
    std::uint8_t* To = PixelPtr(Left, Top);
    const std::size_t RowBytes = std::size_t(Right - Left) * std::size_t(PixelSize);
    for (std::int64_t y = Top; y < Bottom; ++y) {
        std::memcpy(To, From, RowBytes);
        To += BytesPerLine;
        From += Source.BytesPerLine;
    }
}

bool TLinearBitmap::IsGrayscale() const {
    if (!Present) return false;
    switch (PixelFormat) {
    case TPixelFormat::pf8bit:
        for (int i = 0; i < 256; ++i)
            if (Palette[i].Blue != i || Palette[i].Green != i || Palette[i].Red != i) return false;
        return true;
    case TPixelFormat::pf16bit:
        return true;
    case TPixelFormat::pf24bit:
        // Row by row, so that padding between rows (or rows stored bottom-up
        // by a host) is never taken for pixels.
        for (std::int32_t y = 0; y < Height; ++y) {
            const std::uint8_t* P = Line(y);
            for (std::int32_t x = 0; x < Width; ++x, P += 3)
                if (P[0] != P[1] || P[1] != P[2]) return false;
        }
        return true;
    default:
        return false;
    }
}

} // namespace fi
