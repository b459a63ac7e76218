#include "resize/FloatResample.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace fi {
namespace {

// Catmull-Rom: the cubic through the samples with a = -1/2.
double CatmullRom(double x) {
    x = std::fabs(x);
    if (x < 1) return (1.5 * x - 2.5) * x * x + 1;
    if (x < 2) return ((-0.5 * x + 2.5) * x - 4) * x + 2;
    return 0;
}

// For each destination index along one axis, the first source index and
// the normalised weights of its taps, all rows of the same length.
struct TAxisTaps {
    std::int32_t Taps = 0;
    std::vector<std::int32_t> First;
    std::vector<double> Weights;

    TAxisTaps(std::int32_t SourceLength, std::int32_t DestLength) : First(std::size_t(DestLength)) {
        const double Ratio = double(SourceLength) / DestLength;
        const double Support = 2 * std::max(1.0, Ratio);
        const double Stretch = std::max(1.0, Ratio);
        Taps = std::int32_t(std::ceil(Support)) * 2 + 1;
        Weights.resize(std::size_t(DestLength) * std::size_t(Taps));
        for (std::int32_t k = 0; k < DestLength; ++k) {
            const double Centre = (k + 0.5) * Ratio - 0.5;
            const std::int32_t Start = std::int32_t(std::floor(Centre - Support)) + 1;
            First[std::size_t(k)] = Start;
            double* W = &Weights[std::size_t(k) * std::size_t(Taps)];
            double Sum = 0;
            for (std::int32_t t = 0; t < Taps; ++t) Sum += W[t] = CatmullRom((Start + t - Centre) / Stretch);
            for (std::int32_t t = 0; t < Taps; ++t) W[t] /= Sum;
        }
    }
};

} // namespace

void ResampleCubic(TFloatMap& Map, std::int32_t Width, std::int32_t Height) {
    if (Map.Width == Width && Map.Height == Height) return;
    const TFloatMap& Source = Map;
    const TAxisTaps Across(Source.Width, Width), Down(Source.Height, Height);
    // Rows first, into a map of the new width and the old height.
    TFloatMap Rows(Width, Source.Height);
    const std::int32_t LastX = Source.Width - 1, LastY = Source.Height - 1;
    for (std::int32_t y = 0; y < Source.Height; ++y) {
        const double* In = Source.RowPtr(y);
        double* Out = Rows.RowPtr(y);
        for (std::int32_t x = 0; x < Width; ++x) {
            const double* W = &Across.Weights[std::size_t(x) * std::size_t(Across.Taps)];
            const std::int32_t First = Across.First[std::size_t(x)];
            double Sum = 0;
            for (std::int32_t t = 0; t < Across.Taps; ++t) Sum += W[t] * In[std::clamp(First + t, 0, LastX)];
            Out[x] = Sum;
        }
    }
    TFloatMap Dest(Width, Height);
    for (std::int32_t y = 0; y < Height; ++y) {
        const double* W = &Down.Weights[std::size_t(y) * std::size_t(Down.Taps)];
        const std::int32_t First = Down.First[std::size_t(y)];
        double* Out = Dest.RowPtr(y);
        std::fill(Out, Out + Width, 0.0);
        for (std::int32_t t = 0; t < Down.Taps; ++t) {
            const double* In = Rows.RowPtr(std::clamp(First + t, 0, LastY));
            for (std::int32_t x = 0; x < Width; ++x) Out[x] += W[t] * In[x];
        }
    }
    Map.TakeOver(Dest);
}

} // namespace fi
