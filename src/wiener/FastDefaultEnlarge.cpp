#include "wiener/FastDefaultEnlarge.h"

#include "colour/ColourPlanes.h"
#include "image/FloatMap.h"
#include "resize/BitmapResize.h"
#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/PlaneTransfer.h"

namespace fi {

void FastDefaultEnlarge(TLinearBitmap& Bitmap, TLinearBitmap* Dest, double Lambda, float FilterStrength) {
    if (Dest == nullptr) Dest = &Bitmap;
    // The fixed process doubles a gray plane in place.
    const auto Double = [&](TFloatMap& Map) { FractalInterpolate(Map, 3, 1, nullptr, FilterStrength, Lambda); };
    if (Bitmap.PixelFormat != TPixelFormat::pf24bit) {
        EnlargeBitmapPlane(Bitmap, *Dest, Double);
        return;
    }
    EnlargeThroughPlanes(
        Bitmap, *Dest, [&](TLinearBitmap& Luma) { EnlargeBitmapPlane(Luma, Luma, Double); },
        [](TLinearBitmap& Plane, std::int32_t, std::int32_t) { DoubleBitmap(Plane, nullptr, 1.0f); });
}

} // namespace fi
