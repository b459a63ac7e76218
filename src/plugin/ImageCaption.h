#pragma once
// The one-line caption handed back with every result: the image's name and
// the settings it was enlarged with.
#include <string>

#include "wiener/FloatMapWienerInterpolation.h"

namespace fi {

// The name without its directory (up to the last backslash, slash or colon)
// and without its extension (from the last full stop).
std::string CaptionImageName(const std::string& HostName);

// e.g. "tree x2 region=7 regul=0.001 filter=1 clampw=0 normalize=0 clampres=0"
std::string ImageCaption(const std::string& HostName, const TInterpolatorSettings& Settings, char DecimalSeparator);

} // namespace fi
