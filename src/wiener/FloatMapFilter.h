#pragma once
// Correlation of a float map with a small kernel, mirrored at the edges, and
// the artefact filter built on it: a curvature-weighted blend of each pixel
// toward the mean of itself and its two neighbours, once along the columns
// and once along the rows.
//
// Mirroring for index i on an axis of length N: i < 0 -> -i (the edge element
// is not repeated), i >= N -> 2N - 1 - i (the edge element is repeated). A map
// must be at least as long as the kernel along each axis the kernel runs
// along; shorter lines are read with their indices kept inside the map.
#include <cstdint>

#include "image/FloatMap.h"
#include "numerics/Matrix.h"
#include "parallel/MultiCoreProcessing.h"

namespace fi {

// One multi-threaded correlation: every item computes its own rows of Dest,
// and the first item (which starts one row early) also every border pixel.
class TFloatFilterProcess : public TMultiCoreProcess {
public:
    // Receives the result; its size is the geometry of the source.
    TFloatMap* Dest = nullptr;
    const TMatrix* Kernel = nullptr;
    // Width x Height doubles in row order; never Dest's own buffer.
    const double* SourceData = nullptr;
    // With a curvature kernel, each result is blended with the source value
    // as in BlendByCurvature; it has Kernel's shape.
    const TMatrix* Curvature = nullptr;
    double Strength = 0.0;

    TFloatFilterProcess(TFloatMap& ADest, const TMatrix& AKernel, const double* ASourceData)
        : Dest(&ADest), Kernel(&AKernel), SourceData(ASourceData) {}

    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override;
};

// Dest(x, y) := sum over kernel rows r and columns k of
// Kernel(r, k) * Source(x - kx + k, y - ky + r), kx = columns div 2,
// ky = rows div 2. Dest already has the source's size.
void ConvolveMap(TFloatMap& Dest, const TMatrix& Kernel, const double* SourceData);

// Map(x, y) := (1 - Wt) * Old(x, y) + Wt * (the correlation of Old with
// Kernel), where Wt is |the correlation of Old with Curvature| * Strength,
// clamped to 0..1, at the same row and column: one pass, so the weights
// never take a map of their own. Spare is a buffer the pass may take; on
// return it holds the old values' buffer for the next pass.
void BlendByCurvature(TFloatMap& Map, const TMatrix& Kernel, const TMatrix& Curvature, double Strength,
                      TFloatMap& Spare);

// Smooths oscillations in Map, vertically then horizontally, reporting
// progress 99 and 100. A curvature of 1 / Strength or more is fully smoothed;
// Strength <= 0 does nothing.
void ArtefactFilter(TFloatMap& Map, float Strength);

} // namespace fi
