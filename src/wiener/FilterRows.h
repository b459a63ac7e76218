#pragma once
// Row operations of the artefact filter on the vector unit. Each element
// gets the same IEEE operations as its scalar formula, so the rows come out
// bit for bit as computed one pixel at a time.
#include <cmath>
#include <cstdint>

namespace fi {

// Sum[i] := Sum[i] + Factor * Values[i] for i < Count.
void AddScaledRow(double* Sum, const double* Values, double Factor, std::int32_t Count);

// One weight of the artefact filter: |Curvature| * Factor clamped to 0..1 (a
// NaN stays).
inline double CurvatureWeight(double Curvature, double Factor) {
    const double W = std::fabs(Curvature) * Factor;
    return W > 1.0 ? 1.0 : (W < 0.0 ? 0.0 : W);
}

// Row[i] := CurvatureWeight(Row[i], Factor) for i < Count.
void CurvatureWeightRow(double* Row, double Factor, std::int32_t Count);

// Out[i] := (1 - Weight[i]) * Old[i] + Weight[i] * Filtered[i] for i < Count.
void BlendRow(double* Out, const double* Old, const double* Weight, const double* Filtered, std::int32_t Count);

} // namespace fi
