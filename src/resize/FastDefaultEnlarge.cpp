#include "resize/FastDefaultEnlarge.h"

#include <cstring>

#include "image/ColourPlanes.h"
#include "image/FloatMap.h"
#include "resize/BitmapResize.h"
#include "wiener/FloatMapFractalInterpolation.h"

namespace fi {

namespace {

// Dst := Src (8-bit) doubled by the fractal pass, rounded and clamped to bytes.
void InterpolatePlane(const TLinearBitmap& Src, TLinearBitmap& Dst, double Lambda, float FilterStrength) {
    TFloatMap Map;
    Map.Assign(&Src);
    FractalInterpolate(Map, 3, 1, nullptr, FilterStrength, Lambda);
    Dst.Assign(&Map);
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
    TColourPlanes Planes;
    SplitColourPlanes(Bitmap, Planes, YCbCrMatrix);
    // The planes hold all that is still needed: the source and the enlarged
    // image are never held at once.
    if (Dest == &Bitmap) Bitmap.Clear();
    InterpolatePlane(*Planes.Luma, *Planes.Luma, Lambda, FilterStrength);
    for (TLinearBitmap* Plane : {Planes.BlueDiff.get(), Planes.RedDiff.get()}) {
        std::memcpy(Plane->Palette, GrayPalette, sizeof(TPalette));
        DoubleBitmap(*Plane, nullptr, 1.0f);
    }
    MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, InverseYCbCrMatrix, *Dest);
}

} // namespace fi
