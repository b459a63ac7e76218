// The bitmap entry of the interpolator: gray bitmaps through float maps,
// colour bitmaps through their luma plane.
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

    EnlargeBitmapPlane(Src, *Dst, [this](TFloatMap& Map) {
        TFloatMap Enlarged;
        Interpolate(Map, Enlarged);
        Map.TakeOver(Enlarged);
    });
}

} // namespace fi
