#pragma once
// TIFF files through libtiff: gray, RGB and palette images of 8 and 16 bits
// and of 32- and 64-bit floats, in strips or tiles, interleaved or planar,
// with associated or unassociated alpha, read; written interleaved with
// deflate, keeping depth and float precision, the caption in
// ImageDescription.
#include "tools/ImageFiles.h"

namespace fi {

extern const TImageCodec TiffCodec;

} // namespace fi
