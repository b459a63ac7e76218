#pragma once
// BMP files: uncompressed 1, 4 and 8 bits with a palette, 16 and 32 bits
// with bit fields (alpha when a mask says so), 24 bits; rows bottom-up
// unless the height is negative. Written as 8-bit gray or 24-bit colour.
// The headers are read and written by image/BmpFormat, which the reference
// host's BMP files use as well.
#include "tools/ImageFiles.h"

namespace fi {

extern const TImageCodec BmpCodec;

} // namespace fi
