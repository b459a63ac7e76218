#pragma once
// The dedicated 2x enlargement of an 8-bit gray or 24-bit colour bitmap for
// the plug-in's default setting: one pass of the fixed double-size fractal
// process on the gray image or the luma plane, and plain doubling of the two
// colour-difference planes.
#include "image/LinearBitmap.h"

namespace fi {

// Dest becomes Bitmap enlarged to 2W x 2H in Bitmap's format; a null Dest
// means Bitmap itself. Bitmap is not changed when Dest is another bitmap.
void FastDefaultEnlarge(TLinearBitmap& Bitmap, TLinearBitmap* Dest, double Lambda, float FilterStrength);

} // namespace fi
