#include "wiener/PlaneTransfer.h"

#include <cstring>

#include "parallel/MultiCoreProcessing.h"

namespace fi {

namespace {
// Rows are independent; fewer than this are not worth a thread.
constexpr std::int32_t RowsPerItem = 64;
} // namespace

void ReadPlane(const TLinearBitmap& Bitmap, TFloatMap& Map) {
    Map.SetSize(Bitmap.Width, Bitmap.Height);
    const std::int32_t W = Map.Width;
    RunRows(0, Map.Height - 1, RowsPerItem, [&](const TRowRange& Rows) {
        const std::intptr_t Start = std::intptr_t(Rows.First) * W;
        BytesToDoubles(Bitmap.Map + Start, Map.Map + Start, (Rows.Last - Rows.First + 1) * W);
    });
}

void WritePlane(const TFloatMap& Map, TLinearBitmap& Bitmap) {
    Bitmap.SetSize(Map.Width, Map.Height, TPixelFormat::pf8bit, 0);
    const std::int32_t W = Map.Width;
    RunRows(0, Map.Height - 1, RowsPerItem, [&](const TRowRange& Rows) {
        const std::intptr_t Start = std::intptr_t(Rows.First) * W;
        DoublesToBytes(Map.Map + Start, Bitmap.Map + Start, (Rows.Last - Rows.First + 1) * W);
    });
}

void EnlargeBitmapPlane(const TLinearBitmap& Src, TLinearBitmap& Dst,
                        const std::function<void(TFloatMap& Map)>& Enlarge) {
    TFloatMap Map;
    ReadPlane(Src, Map);
    Enlarge(Map);
    WritePlane(Map, Dst);
    // A separate 8-bit Dst would otherwise keep whatever palette it had.
    if (&Dst != &Src && Src.PixelFormat == TPixelFormat::pf8bit)
        std::memcpy(Dst.Palette, Src.Palette, sizeof(TPalette));
}

} // namespace fi
