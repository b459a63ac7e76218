#pragma once
// The GUI toolkit's bitmap on Windows: a top-down DIB section with a pixel
// format and a logical palette. TLinearBitmap copies to and from it through
// the Assign/AssignTo pair; this class handles both directions.
#include <windows.h>

#include <cstdint>

#include "image/LinearBitmap.h"

namespace fi {

class TGuiBitmap : public TAssignObject {
public:
    TGuiBitmap() = default;
    ~TGuiBitmap() override;
    TGuiBitmap(const TGuiBitmap&) = delete;
    TGuiBitmap& operator=(const TGuiBitmap&) = delete;

    std::int32_t Width() const { return FWidth; }
    std::int32_t Height() const { return FHeight; }
    TPixelFormat PixelFormat() const { return FPixelFormat; }
    HBITMAP Handle() const { return FHandle; }

    // Each change recreates the DIB section; its pixels are then undefined.
    void SetPixelFormat(TPixelFormat Format);
    void SetSize(std::int32_t W, std::int32_t H);
    // Up to 256 entries; 0 removes the palette.
    void SetPalette(const PALETTEENTRY* Entries, int Count);
    int PaletteCount() const { return FPaletteCount; }
    const PALETTEENTRY* PaletteEntries() const { return FPalette; }

    std::int32_t BytesPerLine() const;
    std::uint8_t* ScanLine(std::int32_t Row) const { return FBits + std::intptr_t(Row) * BytesPerLine(); }

    // From a TLinearBitmap: the bitmap's format (16-bit becomes 8-bit), palette and pixels.
    void Assign(const TAssignObject* Source) override;
    // Into a TLinearBitmap: the bitmap's size, format, scan lines and palette.
    void AssignTo(TAssignObject* Dest) const override;
    const char* ClassName() const override { return "TBitmap"; }

private:
    void Recreate();
    void ExportFrom(const TLinearBitmap& Source);

    std::int32_t FWidth = 0;
    std::int32_t FHeight = 0;
    TPixelFormat FPixelFormat = TPixelFormat::pf24bit;
    HBITMAP FHandle = nullptr;
    std::uint8_t* FBits = nullptr;
    PALETTEENTRY FPalette[256] = {};
    int FPaletteCount = 0;
};

} // namespace fi
