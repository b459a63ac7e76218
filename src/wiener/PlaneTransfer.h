#pragma once
// An 8-bit plane into a float map and back, with the values of the map's
// Assign and AssignTo, the rows spread over the processors: the engine's
// planes are large enough for this to count on every enlargement.
#include "image/FloatMap.h"
#include "image/LinearBitmap.h"

namespace fi {

// Map := Bitmap, read as packed 8-bit whatever its format.
void ReadPlane(const TLinearBitmap& Bitmap, TFloatMap& Map);

// Bitmap := Map as an 8-bit bitmap of its size.
void WritePlane(const TFloatMap& Map, TLinearBitmap& Bitmap);

} // namespace fi
