#pragma once
// JPEG files through libjpeg: gray and three-component files read as gray
// and RGB, 8-bit gray and RGB written, the caption in a comment marker.
#include "tools/ImageFiles.h"

namespace fi {

extern const TImageCodec JpegCodec;

} // namespace fi
