#include "wiener/FastDefaultEnlarge.h"

#include <cstring>

#include "colour/ColourPlanes.h"
#include "image/FloatMap.h"
#include "resize/BitmapResize.h"
#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/PlaneTransfer.h"

namespace fi {

namespace {

// Dst := Src (8-bit) doubled by the fractal pass, rounded and clamped to bytes.
void InterpolatePlane(const TLinearBitmap& Src, TLinearBitmap& Dst, double Lambda, float FilterStrength) {
    TFloatMap Map;
    ReadPlane(Src, Map);
    FractalInterpolate(Map, 3, 1, nullptr, FilterStrength, Lambda);
    WritePlane(Map, Dst);
    // A separate 8-bit Dst would otherwise keep whatever palette it had.
    if (&Dst != &Src && Src.PixelFormat == TPixelFormat::pf8bit)
        std::memcpy(Dst.Palette, Src.Palette, sizeof(TPalette));
}

} // namespace

void FastDefaultEnlarge(TLinearBitmap& Bitmap, TLinearBitmap* Dest, double Lambda, float FilterStrength) {
    if (Dest == nullptr) Dest = &Bitmap;
    if (Bitmap.PixelFormat != TPixelFormat::pf24bit) {
        InterpolatePlane(Bitmap, *Dest, Lambda, FilterStrength);
        return;
    }
    EnlargeThroughPlanes(
        Bitmap, *Dest, [&](TLinearBitmap& Luma) { InterpolatePlane(Luma, Luma, Lambda, FilterStrength); },
        [](TLinearBitmap& Plane, std::int32_t, std::int32_t) { DoubleBitmap(Plane, nullptr, 1.0f); });
}

} // namespace fi
