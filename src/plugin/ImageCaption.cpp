#include "plugin/ImageCaption.h"

#include "support/FloatFormat.h"

namespace fi {

std::string CaptionImageName(const std::string& HostName) {
    // A slash separates directories on Windows as well and never occurs in a file name.
    const auto Slash = HostName.find_last_of("\\/:");
    std::string Name = Slash == std::string::npos ? HostName : HostName.substr(Slash + 1);
    const auto Dot = Name.rfind('.');
    if (Dot != std::string::npos) Name.erase(Dot);
    return Name;
}

std::string ImageCaption(const std::string& HostName, const TInterpolatorSettings& Settings, char DecimalSeparator) {
    return CaptionImageName(HostName) + " x" + std::to_string(Settings.ScaleFactor) +
           " region=" + std::to_string(Settings.TrainingRegion) +
           " regul=" + FormatFloat("0.00######", Settings.Lambda, DecimalSeparator) +
           " filter=" + FormatFloat("0.##", Settings.FilterStrength, DecimalSeparator) +
           " clampw=" + (Settings.ClampWeights ? "1" : "0") +
           " normalize=" + (Settings.NormalizeWeights ? "1" : "0") +
           " clampres=" + (Settings.ClampResult ? "1" : "0");
}

std::string BestQualityCaption(const std::string& HostName, std::int32_t Scale, const TBestQualitySettings& Settings) {
    TInterpolatorSettings Shown;
    Shown.ScaleFactor = Scale;
    Shown.TrainingRegion = 2 * Settings.RegionRadius + 1;
    Shown.Lambda = Settings.Lambda;
    Shown.FilterStrength = Settings.FilterStrength;
    return ImageCaption(HostName, Shown, UserDecimalSeparator());
}

} // namespace fi
