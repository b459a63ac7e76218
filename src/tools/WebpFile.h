#pragma once
// WebP files through libwebp: still images, lossy or lossless, with or
// without alpha, read as RGB or RGB+alpha; written lossless or lossy (gray
// as RGB), the ICC profile, EXIF and XMP in their chunks. The resolution
// travels in EXIF, WebP having no field of its own; there is no caption.
#include "tools/ImageFiles.h"

namespace fi {

// WebP's largest side.
inline constexpr std::int32_t WebpMaxSide = 16383;

extern const TImageCodec WebpCodec;

} // namespace fi
