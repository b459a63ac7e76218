#pragma once
// An integer image held as one contiguous block of rows: 8-bit indexed,
// 16-bit gray, 24-bit blue-green-red or 32-bit, with an optional palette.
#include <cstdint>

#include "image/AssignObject.h"

namespace fi {

// The GUI toolkit's pixel-format enumeration; the bitmap accepts 8, 16, 24 and
// 32 bits and uses pfCustom to mean "no image".
enum class TPixelFormat : std::uint8_t {
    pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom
};

class ELinearBitmap : public Exception {
public:
    explicit ELinearBitmap(const std::string& Message) : Exception(Message) {}
};

inline constexpr const char* SUnsupportedPixelFormat = "Unsupported pixel format";
inline constexpr const char* SInvalidBitmapSize = "Invalid bitmap size";
inline constexpr const char* SOutOfMemory = "Out of memory";

// One palette entry, stored blue, green, red.
struct TPaletteEntry {
    std::uint8_t Blue, Green, Red;
};
using TPalette = TPaletteEntry[256];
static_assert(sizeof(TPalette) == 768);

// The module-wide gray ramp: entry i = (i, i, i).
extern const TPalette& GrayPalette;

class TLinearBitmap : public TAssignObject {
public:
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    TPixelFormat PixelFormat = TPixelFormat::pfCustom;
    std::int32_t BytesPerLine = 0;
    std::int32_t PixelSize = 0;
    std::int32_t Size = 0;
    bool Present = false;
    std::uint8_t* Map = nullptr;
    TPaletteEntry* Palette = nullptr;

    TLinearBitmap() = default;
    TLinearBitmap(std::int32_t W, std::int32_t H, TPixelFormat Format);
    ~TLinearBitmap() override;
    TLinearBitmap(const TLinearBitmap&) = delete;
    TLinearBitmap& operator=(const TLinearBitmap&) = delete;

    void Assign(const TAssignObject* Source) override;
    void AssignTo(TAssignObject* Dest) const override;
    const char* ClassName() const override { return "TLinearBitmap"; }

    virtual std::uint8_t* ScanLine(std::int32_t Row) const { return Map + std::intptr_t(Row) * BytesPerLine; }
    virtual void Clear();
    virtual void TakeOver(TLinearBitmap& Other);
    virtual void PackRows();
    virtual void PasteImage(const TLinearBitmap& Source, std::int32_t X, std::int32_t Y,
                            std::int32_t MaxWidth, std::int32_t MaxHeight);

    // Non-virtual twin of ScanLine for the inner loops of the resamplers.
    std::uint8_t* Line(std::int32_t Row) const { return Map + std::intptr_t(Row) * BytesPerLine; }
    std::uint8_t* PixelPtr(std::int32_t X, std::int32_t Y) const {
        return Map + std::intptr_t(Y) * BytesPerLine + std::intptr_t(X) * PixelSize;
    }

    // LineSize 0 means packed rows. Contents after a real change are undefined.
    void SetSize(std::int32_t W, std::int32_t H, TPixelFormat Format, std::int32_t LineSize = 0);
    bool IsGrayscale() const;

protected:
    // Whether Buffer (the pixels or the palette) belongs to this bitmap; a
    // descendant that wraps foreign memory answers no for that memory.
    virtual bool OwnsBuffer(const void* Buffer) const;
    // Frees Buffer (allocated by AllocateBuffer) when it belongs to this bitmap.
    void FreeOwned(void* Buffer) const;
    // Allocates Bytes bytes; a failure raises ELinearBitmap "Out of memory".
    static std::uint8_t* AllocateBuffer(std::size_t Bytes);
    // A new buffer of Width * PixelSize * Height + 1 bytes holding the rows packed.
    std::uint8_t* CopyRowsPacked() const;
};

// Bytes per pixel of an accepted format, 0 for any other.
std::int32_t PixelSizeOf(TPixelFormat Format);

} // namespace fi
