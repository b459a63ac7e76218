#pragma once
// The fast engine of the fixed double-size process. The training matrix of
// output pixel (x, y, s, u) depends only on the key (x - s, y - u), so one
// normal matrix and one decomposition serve the up to four output pixels of
// a key, and neighbouring keys share the vector unit (LaneSolver). Maps are
// read through padded copies instead of the edge-clamped accessor; any block
// whose vector solve fails is redone pixel by pixel the reference way.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "wiener/PaddedMap.h"
#include "parallel/MultiCoreProcessing.h"

namespace fi {

class TFractalInterpolateProcess;

class TFractalLanePass {
public:
    // The pass for Process's source and phase maps, or null where the
    // reference runs instead: the reference engine is selected, or a phase
    // map is empty (a source side of 1 or 2).
    static std::unique_ptr<TFractalLanePass> For(const TFractalInterpolateProcess& Process);

    TFractalLanePass(const TFractalInterpolateProcess& Process, std::int32_t Lanes);

    // The number of items a run takes: the threads the framework offers.
    std::int32_t Stripes() const { return FStripes; }

    // Writes every output pixel whose key row (-1 .. source height - 1) lies
    // in the bands of LaneBandRows rows numbered Stripe, Stripe + Stripes(),
    // ...: costly parts of a picture are shared out among the items. Progress
    // from the calling thread's item only.
    void ProcessStripe(const TFractalInterpolateProcess& Process, std::int32_t Stripe, bool ReportProgress) const;

private:
    // Squares[(Row * Weights + c) * Stride + i] := entry c of the training
    // row of T = FirstKey - r + i in the row TY = FirstRow + Row, for Rows
    // rows and Entries values of T.
    void GatherSquares(std::int32_t FirstKey, std::int32_t Entries, std::int32_t FirstRow, std::int32_t Rows,
                       std::int32_t Weights, std::ptrdiff_t Stride, double* Squares) const;

    // The output of source pixel (x, y) for the weights Weights[0], Weights[Step], ...:
    // its input square times the weights, summed in order.
    double Predict(std::int32_t x, std::int32_t y, const double* Weights, std::int32_t Step) const;

    std::int32_t FLanes;
    std::int32_t FStripes;
    std::int32_t FRegionRadius;
    std::int32_t FNeighbourRadius;
    TPaddedMap FSource;
    // [column phase][row phase], as the process's phase maps.
    std::vector<TPaddedMap> FPhases;
};

} // namespace fi
