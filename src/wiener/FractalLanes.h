#pragma once
// The vector kernel of the fast double-size pass: one training matrix per
// key (x - s, y - u) serves the up to four output pixels (s, u) that share
// it, and neighbouring keys run in the lanes of a vector. Every lane performs
// the reference solve's IEEE operations in the reference order, so a block
// that succeeds gives the reference's doubles; a block in which anything
// could differ (a singular system, a raised failure flag, a weight that is
// not finite) reports failure and is redone pixel by pixel by the caller.
#include <cstddef>
#include <cstdint>

namespace fi {

// One block of LaneCount() consecutive keys of one key row.
struct TFractalBlockJob {
    // Neighbourhood radius n; Weights = (2n + 1)^2.
    std::int32_t NeighbourRadius = 0;
    std::int32_t Weights = 0;
    // Training radius r; the training square has side 2r + 1.
    std::int32_t RegionRadius = 0;
    // Lambda^2, added to the diagonal when Regularised.
    double LambdaSquared = 0.0;
    bool Regularised = false;
    // The training matrices' entries: entry (dy, dx, c) of the key with
    // index k of the run is Squares[(dy * Weights + c) * SquareStride + k + dx],
    // dy and dx counted from 0 across the training square.
    const double* Squares = nullptr;
    std::ptrdiff_t SquareStride = 0;
    // Source(column, row) = Source[row * SourceStride + column], readable for
    // every column and row the block touches (the caller pads the map).
    const double* Source = nullptr;
    std::ptrdiff_t SourceStride = 0;
    std::int32_t KeyRow = 0;
};

// The vector units this build can use on this processor, best first; for
// tests, which run the kernels on each in turn. The Windows build compiles
// for one unit only.
std::int32_t VectorUnitCount();
// Makes every kernel use unit Index of that list; -1 returns to the best.
void ForceVectorUnit(std::int32_t Index);

// Keys per block on the vector unit in use.
std::int32_t FractalLaneCount();
// Its name, for benchmarks and test output.
const char* FractalLaneTarget();
// Doubles of scratch space one block needs for Weights weights.
std::size_t FractalScratchSize(std::int32_t Weights);

// Out[(2u + s) * LaneCount() + l] := output pixel (s, u) of the key
// (FirstKey + l, KeyRow), whose training entries start at index KeyIndex of
// the run. False when the block must be redone the reference way; Out is
// then undefined. The caller's failure flags are kept.
bool SolveFractalBlock(const TFractalBlockJob& Job, std::int32_t KeyIndex, std::int32_t FirstKey, double* Out,
                       double* Scratch);

} // namespace fi
