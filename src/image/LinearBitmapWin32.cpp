#include "image/LinearBitmapWin32.h"

#include <cstring>

namespace fi {

namespace {
int BitsOf(TPixelFormat Format) {
    switch (Format) {
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf32bit: return 32;
    default: return 24;
    }
}
} // namespace

TGuiBitmap::~TGuiBitmap() {
    if (FHandle) DeleteObject(FHandle);
}

std::int32_t TGuiBitmap::BytesPerLine() const { return (FWidth * BitsOf(FPixelFormat) + 31) / 32 * 4; }

void TGuiBitmap::Recreate() {
    if (FHandle) DeleteObject(FHandle);
    FHandle = nullptr;
    FBits = nullptr;
    if (FWidth <= 0 || FHeight <= 0) return;
    struct {
        BITMAPINFOHEADER Header;
        RGBQUAD Colours[256];
    } Info{};
    Info.Header.biSize = sizeof(BITMAPINFOHEADER);
    Info.Header.biWidth = FWidth;
    Info.Header.biHeight = -FHeight; // top-down: row 0 first in memory
    Info.Header.biPlanes = 1;
    Info.Header.biBitCount = WORD(BitsOf(FPixelFormat));
    Info.Header.biCompression = BI_RGB;
    if (FPixelFormat == TPixelFormat::pf8bit) {
        Info.Header.biClrUsed = 256;
        for (int i = 0; i < FPaletteCount; ++i)
            Info.Colours[i] = {FPalette[i].peBlue, FPalette[i].peGreen, FPalette[i].peRed, 0};
    }
    void* Bits = nullptr;
    FHandle = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&Info), DIB_RGB_COLORS, &Bits, nullptr, 0);
    if (FHandle == nullptr) throw EOutOfMemory();
    FBits = static_cast<std::uint8_t*>(Bits);
}

void TGuiBitmap::SetPixelFormat(TPixelFormat Format) {
    FPixelFormat = Format;
    Recreate();
}

void TGuiBitmap::SetSize(std::int32_t W, std::int32_t H) {
    FWidth = W;
    FHeight = H;
    Recreate();
}

void TGuiBitmap::SetPalette(const PALETTEENTRY* Entries, int Count) {
    FPaletteCount = Count < 0 ? 0 : (Count > 256 ? 256 : Count);
    std::memcpy(FPalette, Entries, sizeof(PALETTEENTRY) * std::size_t(FPaletteCount));
    if (FBits && FPixelFormat == TPixelFormat::pf8bit) {
        RGBQUAD Colours[256];
        for (int i = 0; i < FPaletteCount; ++i)
            Colours[i] = {FPalette[i].peBlue, FPalette[i].peGreen, FPalette[i].peRed, 0};
        HDC Dc = CreateCompatibleDC(nullptr);
        HGDIOBJ Old = SelectObject(Dc, FHandle);
        SetDIBColorTable(Dc, 0, UINT(FPaletteCount), Colours);
        SelectObject(Dc, Old);
        DeleteDC(Dc);
    }
}

void TGuiBitmap::AssignTo(TAssignObject* Dest) const {
    auto* Bitmap = dynamic_cast<TLinearBitmap*>(Dest);
    if (Bitmap == nullptr) {
        TAssignObject::AssignTo(Dest);
        return;
    }
    if (FPixelFormat != TPixelFormat::pf8bit && FPixelFormat != TPixelFormat::pf24bit &&
        FPixelFormat != TPixelFormat::pf32bit) {
        // Other formats are drawn into a 24-bit bitmap first.
        TGuiBitmap Converted;
        Converted.FPixelFormat = TPixelFormat::pf24bit;
        Converted.SetSize(FWidth, FHeight);
        if (FHandle != nullptr) {
            HDC From = CreateCompatibleDC(nullptr);
            HDC To = CreateCompatibleDC(nullptr);
            HGDIOBJ OldFrom = SelectObject(From, FHandle);
            HGDIOBJ OldTo = SelectObject(To, Converted.FHandle);
            BitBlt(To, 0, 0, FWidth, FHeight, From, 0, 0, SRCCOPY);
            SelectObject(From, OldFrom);
            SelectObject(To, OldTo);
            DeleteDC(From);
            DeleteDC(To);
        }
        Converted.AssignTo(Dest);
        return;
    }
    if (FWidth == 0 || FHeight == 0) {
        Bitmap->Clear();
        return;
    }
    Bitmap->SetSize(FWidth, FHeight, FPixelFormat, 0);
    for (std::int32_t y = 0; y < FHeight; ++y) std::memcpy(Bitmap->ScanLine(y), ScanLine(y), std::size_t(Bitmap->BytesPerLine));
    if (FPixelFormat != TPixelFormat::pf8bit) return;
    if (FPaletteCount == 0) {
        std::memcpy(Bitmap->Palette, GrayPalette, sizeof(TPalette));
        return;
    }
    for (int i = 0; i < 256; ++i) {
        Bitmap->Palette[i] = i < FPaletteCount ? TPaletteEntry{FPalette[i].peBlue, FPalette[i].peGreen, FPalette[i].peRed}
                                               : TPaletteEntry{0, 0, 0};
    }
}

void TGuiBitmap::Assign(const TAssignObject* Source) {
    const auto* Bitmap = dynamic_cast<const TLinearBitmap*>(Source);
    if (Bitmap == nullptr) {
        TAssignObject::Assign(Source);
        return;
    }
    if (Bitmap->Present) ExportFrom(*Bitmap);
}

void TGuiBitmap::ExportFrom(const TLinearBitmap& Source) {
    const TPixelFormat Own = Source.PixelFormat;
    FPixelFormat = Own == TPixelFormat::pf16bit ? TPixelFormat::pf8bit : Own;
    if (Own == TPixelFormat::pf8bit || Own == TPixelFormat::pf16bit) {
        const TPaletteEntry* From = Own == TPixelFormat::pf8bit ? Source.Palette : GrayPalette;
        PALETTEENTRY Entries[256];
        for (int i = 0; i < 256; ++i) Entries[i] = {From[i].Red, From[i].Green, From[i].Blue, 1};
        FPaletteCount = 0;
        SetPalette(Entries, 256);
    } else {
        FPaletteCount = 0;
    }
    SetSize(Source.Width, Source.Height);
    if (Own == TPixelFormat::pf16bit) {
        for (std::int32_t y = 0; y < FHeight; ++y) {
            const std::uint8_t* From = Source.ScanLine(y);
            std::uint8_t* To = ScanLine(y);
            for (std::int32_t x = 0; x < FWidth; ++x) To[x] = From[2 * x + 1]; // the high byte
        }
    } else {
        const std::size_t RowBytes = std::size_t(Source.Width) * std::size_t(Source.PixelSize);
        for (std::int32_t y = 0; y < FHeight; ++y) std::memcpy(ScanLine(y), Source.ScanLine(y), RowBytes);
    }
}

} // namespace fi
