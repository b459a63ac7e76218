#pragma once
// The one-line caption handed back with every result: the image's name and
// the settings it was enlarged with.
#include <string>

#include "wiener/BestQualityEnlarge.h"
#include "wiener/FloatMapWienerInterpolation.h"

namespace fi {

// The name without its directory (up to the last backslash, slash or colon)
// and without its extension (from the last full stop).
std::string CaptionImageName(const std::string& HostName);

// e.g. "tree x2 region=7 regul=0.001 filter=1 clampw=0 normalize=0 clampres=0"
std::string ImageCaption(const std::string& HostName, const TInterpolatorSettings& Settings, char DecimalSeparator);

// The same for a best-quality enlargement by Scale, in the user's decimal
// separator: its training region, regularisation and filter, switches off.
std::string BestQualityCaption(const std::string& HostName, std::int32_t Scale, const TBestQualitySettings& Settings);

} // namespace fi
