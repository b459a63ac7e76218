#pragma once
// An 8-bit plane into a float map and back, with the values of the map's
// Assign and AssignTo, the rows spread over the processors: the engine's
// planes are large enough for this to count on every enlargement.
#include <functional>

#include "image/FloatMap.h"
#include "image/LinearBitmap.h"

namespace fi {

// Map := Bitmap, read as packed 8-bit whatever its format.
void ReadPlane(const TLinearBitmap& Bitmap, TFloatMap& Map);

// Bitmap := Map as an 8-bit bitmap of its size.
void WritePlane(const TFloatMap& Map, TLinearBitmap& Bitmap);

// Dst := Src's plane, read into a map, enlarged there by Enlarge and written
// back. Dst may be Src; a separate Dst of an 8-bit Src takes its palette.
void EnlargeBitmapPlane(const TLinearBitmap& Src, TLinearBitmap& Dst,
                        const std::function<void(TFloatMap& Map)>& Enlarge);

} // namespace fi
