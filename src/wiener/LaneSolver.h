#pragma once
// The vector kernel of the fast engine: the regularised least-squares
// filters of neighbouring training keys, one key per lane of a vector. Every
// lane performs the reference solve's IEEE operations in the reference order
// (normal matrix and right-hand sides summed row by row, Crout decomposition
// with implicit partial pivoting, substitution), so a block that succeeds
// gives the reference's weights bit for bit. A block in which anything could
// differ (a singular system, a raised failure flag, a weight that is not
// finite) reports failure, and the caller redoes its pixels the reference way.
//
// One training matrix may serve several right-hand sides: the output pixels
// that share a key.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fi {

// One block of LaneCount() consecutive keys.
struct TLaneSolveJob {
    // Filter weights, at most MaxLaneWeights.
    std::int32_t Weights = 0;
    // Side of the square of training rows.
    std::int32_t Side = 0;
    // Lambda^2, added to the diagonal when Regularised.
    double LambdaSquared = 0.0;
    bool Regularised = false;
    // Training entry (dy, dx, c) of the key with index k is
    // Squares[(dy * Weights + c) * SquareStride + k + dx], dy and dx counted
    // from 0 across the square.
    const double* Squares = nullptr;
    std::ptrdiff_t SquareStride = 0;
    // Right-hand side g's target (dy, dx) of key k is
    // Targets[g][dy * TargetStride + k + dx].
    std::int32_t RightHandSides = 0;
    const double* const* Targets = nullptr;
    std::ptrdiff_t TargetStride = 0;
};

inline constexpr std::int32_t MaxLaneWeights = 25;
// The filter sizes the kernel is compiled for with the size as a constant;
// others up to MaxLaneWeights run a slower loop of variable size.
inline constexpr std::int32_t LaneWeightCounts[] = {4, 5, 9, 13, 25};

// How the passes feed the kernel: keys per segment of a key row, whose
// training entries are gathered once and stay in the cache while its blocks
// are solved, and key rows per band, whose overlapping training rows are
// gathered once for all of them.
inline constexpr std::int32_t LaneSegmentKeys = 64;
inline constexpr std::int32_t LaneBandRows = 16;

// Keys per block on the vector unit in use.
std::int32_t LaneCount();
// Its name, for benchmarks and test output.
const char* LaneTarget();
// Doubles starting at a cache line, for the kernels' scratch space and
// weights: a lane vector of the widest unit there never straddles two lines
// (a fifth less time for a solve than at malloc's alignment).
class TLaneBuffer {
public:
    explicit TLaneBuffer(std::size_t Count);
    double* Data() { return FData; }
    const double* Data() const { return FData; }

private:
    std::vector<double> FStorage;
    double* FData;
};

// Doubles of scratch space a call of SolveLanes needs for Weights weights.
std::size_t LaneScratchSize(std::int32_t Weights);

// Blocks solved in one call, their steps interleaved.
inline constexpr std::int32_t MaxLaneBlocks = 2;

// Solves Blocks (1 to MaxLaneBlocks) consecutive blocks, the first of the
// keys starting at index KeyIndex. Weight c of right-hand side g for lane l
// of block b goes to Solution[((b * RightHandSides + g) * Weights + c) *
// LaneCount() + l]. Solved[b] is false when block b must be redone the
// reference way; its weights are then undefined. The caller's failure flags
// are kept.
void SolveLanes(const TLaneSolveJob& Job, std::int32_t KeyIndex, std::int32_t Blocks, double* Solution,
                double* Scratch, bool* Solved);

// Doubles of weights a call of SolveLanes writes for Weights weights and
// RightHandSides right-hand sides.
inline std::size_t LaneSolutionSize(std::int32_t Weights, std::int32_t RightHandSides) {
    return std::size_t(MaxLaneBlocks) * std::size_t(RightHandSides) * std::size_t(Weights) * std::size_t(LaneCount());
}

// Solves the Keys keys of Job from index 0, MaxLaneBlocks blocks per call,
// and calls Use(Block, Solved, Weights) for every block in key order: Block
// its first key index, Weights its weights as SolveLanes lays out block 0's.
template <class TUse>
void SolveKeys(const TLaneSolveJob& Job, std::int32_t Keys, TLaneBuffer& Solution, TLaneBuffer& Scratch,
               const TUse& Use) {
    const std::int32_t L = LaneCount();
    const std::size_t BlockWeights = std::size_t(Job.RightHandSides) * std::size_t(Job.Weights) * std::size_t(L);
    for (std::int32_t First = 0; First < Keys; First += MaxLaneBlocks * L) {
        const std::int32_t Blocks = std::min(MaxLaneBlocks, (Keys - First + L - 1) / L);
        bool Solved[MaxLaneBlocks];
        SolveLanes(Job, First, Blocks, Solution.Data(), Scratch.Data(), Solved);
        for (std::int32_t b = 0; b < Blocks; ++b)
            Use(First + b * L, Solved[b], Solution.Data() + std::size_t(b) * BlockWeights);
    }
}

// The weight switches on one right-hand side's solved weights, Weights[c *
// LaneCount() + l], every lane as the per-pixel code does it: clamped to
// [0, 1], then scaled by the reciprocal of their sum unless it is zero, and
// equal weights where the sum or a scaled weight is not finite.
void AdjustLaneWeights(double* Weights, std::int32_t Count, bool Clamp, bool Normalize);

// The predictions of one block from its lanes' weights: Out[l * OutStep] :=
// the sum over c < Count, from +0 in order, of Inputs[c][l * Steps[c]] *
// Weights[c * LaneCount() + l], for every lane l; with Clamp, clamped to
// the range of the lane's inputs. As the per-pixel code computes it. Count
// is at most MaxLaneWeights.
void PredictLanes(std::int32_t Count, const double* const* Inputs, const std::int32_t* Steps, const double* Weights,
                  bool Clamp, double* Out, std::int32_t OutStep);

} // namespace fi
