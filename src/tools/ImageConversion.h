#pragma once
// The in-memory image to and from the engine's containers: 8-bit images as
// the plug-in's bitmaps, deeper ones as one float map per channel; and the
// image turned upright.
#include <cstdint>
#include <memory>
#include <vector>

#include "image/FloatMap.h"
#include "image/LinearBitmap.h"
#include "tools/ImageData.h"

namespace fi {

// 8-bit images and the bitmap path: the colour channels become an 8-bit gray
// bitmap with the gray palette or a 24-bit blue-green-red one; with Alpha
// non-null the alpha channel becomes its own 8-bit gray bitmap (cleared when
// the image has none).
void ImageToBitmaps(const TImageData& Image, TLinearBitmap& Color, TLinearBitmap* Alpha);

// The inverse: an 8-bit gray (any gray palette) or 8-bit palette bitmap, or a
// 24-bit one, with an optional 8-bit alpha bitmap of the same size.
TImageData BitmapsToImage(const TLinearBitmap& Color, const TLinearBitmap* Alpha);

using TFloatMapList = std::vector<std::unique_ptr<TFloatMap>>;

// The float path: one map per channel in the image's order (alpha last).
// Samples keep their values: 8-bit as 0..255, 16-bit as 0..65535, floats as
// they are.
TFloatMapList ImageToFloatMaps(const TImageData& Image);

// The inverse: integer types round to nearest and clamp to their range;
// FloatBits is taken over for float images.
TImageData FloatMapsToImage(const TFloatMapList& Maps, bool HasAlpha, TSampleType Type,
                            std::int32_t FloatBits = 64);

// Turns the pixels as the EXIF orientation asks a viewer to show them and
// sets the orientation to 1; a quarter turn swaps the sides and the
// resolution's X and Y.
void ApplyOrientation(TImageData& Image);

} // namespace fi
