// The bitmap entry of the interpolator: gray bitmaps through float maps,
// colour bitmaps through their luma plane.
#include <cstring>
#include <memory>

#include "colour/ColourPlanes.h"
#include "resize/BitmapResize.h"
#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/PlaneTransfer.h"

namespace fi {

void TBitmapWienerInterpolation::InterpolateBitmap(TLinearBitmap& Src, TLinearBitmap* Dst) {
    if (Dst == nullptr) Dst = &Src;
    if (Src.PixelFormat == TPixelFormat::pf24bit) {
        EnlargeThroughPlanes(
            Src, *Dst, [this](TLinearBitmap& Luma) { InterpolateBitmap(Luma, nullptr); },
            [](TLinearBitmap& Plane, std::int32_t W, std::int32_t H) { ResizeBitmapInPlace(Plane, W, H, 1.0f); });
        return;
    }

    auto SourceMap = std::make_unique<TFloatMap>();
    auto DestMap = std::make_unique<TFloatMap>();
    ReadPlane(Src, *SourceMap);
    Interpolate(*SourceMap, *DestMap);
    WritePlane(*DestMap, *Dst);
    // A separate 8-bit Dst would otherwise keep whatever palette it had.
    if (Dst != &Src && Src.PixelFormat == TPixelFormat::pf8bit)
        std::memcpy(Dst->Palette, Src.Palette, sizeof(TPalette));
}

} // namespace fi
