#pragma once
// PNG files through libpng: every colour type and depth read (palettes and
// transparency become RGB and alpha, low depths 8 bits), 8 and 16 bits
// written, the caption in a "Description" text chunk.
#include "tools/ImageFiles.h"

namespace fi {

extern const TImageCodec PngCodec;

} // namespace fi
