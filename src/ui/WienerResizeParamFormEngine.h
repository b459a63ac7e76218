#pragma once
// The dialog's side of the interpolator, kept apart from the form headers:
// the form units and the engine each declare their own point type.
#include <cstdint>
#include <memory>

namespace fi {

class TBitmapWienerInterpolation;

struct TInterpolatorDeleter {
    void operator()(TBitmapWienerInterpolation* Interpolator) const;
};
using TInterpolatorPtr = std::unique_ptr<TBitmapWienerInterpolation, TInterpolatorDeleter>;

// The settings the dialog shows and the driver reads.
struct TInterpolatorSettings {
    std::int32_t ScaleFactor = 0;
    std::int32_t TrainingRegion = 0;
    double Lambda = 0.0;
    float FilterStrength = 0.0f;
    bool ClampWeights = false;
    bool NormalizeWeights = false;
    bool ClampResult = false;
};

TInterpolatorPtr NewInterpolator();
// Setup Index of the dialog's list (0 to 6) with Scale where it applies;
// false for any other index.
bool ApplySetup(TBitmapWienerInterpolation& Interpolator, int Index, std::int32_t Scale);
TInterpolatorSettings ReadSettings(const TBitmapWienerInterpolation& Interpolator);
// Stores every setting but ScaleFactor, which belongs to the setup.
void WriteFineTuning(TBitmapWienerInterpolation& Interpolator, const TInterpolatorSettings& Settings);

} // namespace fi
