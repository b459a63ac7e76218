// The bitmap entry of the interpolator: gray bitmaps through float maps,
// colour bitmaps through their luma plane.
#include <cstring>
#include <memory>

#include "image/ColourPlanes.h"
#include "resize/BitmapResize.h"
#include "wiener/FloatMapWienerInterpolation.h"

namespace fi {

void TBitmapWienerInterpolation::InterpolateBitmap(TLinearBitmap& Src, TLinearBitmap* Dst) {
    if (Dst == nullptr) Dst = &Src;
    if (Src.PixelFormat == TPixelFormat::pf24bit) {
        TColourPlanes Planes;
        SplitColourPlanes(Src, Planes, YCbCrMatrix);
        // The planes hold all that is still needed.
        if (Dst == &Src) Src.Clear();
        InterpolateBitmap(*Planes.Luma, nullptr);
        for (TLinearBitmap* Plane : {Planes.BlueDiff.get(), Planes.RedDiff.get()}) {
            std::memcpy(Plane->Palette, GrayPalette, sizeof(TPalette));
            ResizeBitmapInPlace(*Plane, Planes.Luma->Width, Planes.Luma->Height, 1.0f);
        }
        MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, InverseYCbCrMatrix, *Dst);
        return;
    }

    auto SourceMap = std::make_unique<TFloatMap>();
    auto DestMap = std::make_unique<TFloatMap>();
    SourceMap->Assign(&Src);
    struct TReleaseMaps {
        TBitmapWienerInterpolation& Self;
        ~TReleaseMaps() { Self.Source = Self.Dest = nullptr; }
    } ReleaseMaps{*this};
    Source = SourceMap.get();
    Dest = DestMap.get();
    Interpolate();
    Dst->Assign(DestMap.get());
    // A separate 8-bit Dst would otherwise keep whatever palette it had.
    if (Dst != &Src && Src.PixelFormat == TPixelFormat::pf8bit)
        std::memcpy(Dst->Palette, Src.Palette, sizeof(TPalette));
}

} // namespace fi
