// Compiled once per vector unit by Highway's foreach_target.
#include "wiener/FilterRows.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "wiener/FilterRows.cpp"
#include <hwy/foreach_target.h> // must come before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace fi {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void AddScaled(double* Sum, const double* Values, double Factor, std::int32_t Count) {
    const hn::ScalableTag<double> d;
    const std::int32_t L = std::int32_t(hn::Lanes(d));
    const auto F = hn::Set(d, Factor);
    std::int32_t i = 0;
    for (; i + L <= Count; i += L)
        hn::StoreU(hn::Add(hn::LoadU(d, Sum + i), hn::Mul(F, hn::LoadU(d, Values + i))), d, Sum + i);
    for (; i < Count; ++i) Sum[i] = Sum[i] + Factor * Values[i];
}

// The scalar tail is CurvatureWeight's formula.
void CurvatureWeights(double* Row, double Factor, std::int32_t Count) {
    const hn::ScalableTag<double> d;
    const std::int32_t L = std::int32_t(hn::Lanes(d));
    const auto F = hn::Set(d, Factor);
    const auto Zero = hn::Zero(d);
    const auto One = hn::Set(d, 1.0);
    std::int32_t i = 0;
    for (; i + L <= Count; i += L) {
        const auto W = hn::Mul(hn::Abs(hn::LoadU(d, Row + i)), F);
        // Comparisons with a NaN are false: it passes both selections.
        hn::StoreU(hn::IfThenElse(hn::Gt(W, One), One, hn::IfThenElse(hn::Lt(W, Zero), Zero, W)), d, Row + i);
    }
    for (; i < Count; ++i) Row[i] = CurvatureWeight(Row[i], Factor);
}

void Blend(double* Out, const double* Old, const double* Weight, const double* Filtered, std::int32_t Count) {
    const hn::ScalableTag<double> d;
    const std::int32_t L = std::int32_t(hn::Lanes(d));
    const auto One = hn::Set(d, 1.0);
    std::int32_t i = 0;
    for (; i + L <= Count; i += L) {
        const auto W = hn::LoadU(d, Weight + i);
        hn::StoreU(hn::Add(hn::Mul(hn::Sub(One, W), hn::LoadU(d, Old + i)), hn::Mul(W, hn::LoadU(d, Filtered + i))), d,
                   Out + i);
    }
    for (; i < Count; ++i) Out[i] = (1.0 - Weight[i]) * Old[i] + Weight[i] * Filtered[i];
}

} // namespace HWY_NAMESPACE
} // namespace fi
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "wiener/VectorDispatch.h"

namespace fi {

FI_EXPORT(AddScaled);
FI_EXPORT(CurvatureWeights);
FI_EXPORT(Blend);

void AddScaledRow(double* Sum, const double* Values, double Factor, std::int32_t Count) {
    FI_DISPATCH(AddScaled)(Sum, Values, Factor, Count);
}

void CurvatureWeightRow(double* Row, double Factor, std::int32_t Count) {
    FI_DISPATCH(CurvatureWeights)(Row, Factor, Count);
}

void BlendRow(double* Out, const double* Old, const double* Weight, const double* Filtered, std::int32_t Count) {
    FI_DISPATCH(Blend)(Out, Old, Weight, Filtered, Count);
}

} // namespace fi
#endif
