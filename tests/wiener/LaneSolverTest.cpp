#include <gtest/gtest.h>

#include <cfenv>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "wiener/LaneSolver.h"
#include "wiener/VectorUnits.h"

namespace fi {
namespace {

// Two neighbouring blocks of keys with 9 weights over 5 x 5 training rows
// and one right-hand side, of random values.
struct TTwoBlocks {
    static constexpr std::int32_t Weights = 9;
    static constexpr std::int32_t Side = 5;
    std::int32_t L = LaneCount();
    std::ptrdiff_t Stride = 2 * L + Side - 1;
    std::vector<double> Squares = std::vector<double>(std::size_t(Side * Weights * Stride));
    std::vector<double> Target = std::vector<double>(std::size_t(Side * Stride));
    const double* Targets[1] = {Target.data()};
    TLaneSolveJob Job;

    TTwoBlocks() {
        std::mt19937 Rng(5);
        std::uniform_real_distribution<double> U(0.0, 255.0);
        for (double& v : Squares) v = U(Rng);
        for (double& v : Target) v = U(Rng);
        Job.Weights = Weights;
        Job.Side = Side;
        Job.LambdaSquared = 1e-6;
        Job.Regularised = true;
        Job.Squares = Squares.data();
        Job.SquareStride = Stride;
        Job.RightHandSides = 1;
        Job.Targets = Targets;
        Job.TargetStride = Stride;
    }

    std::size_t BlockDoubles() const { return std::size_t(Weights * L); }
};

// Solved together or one at a time, each block gets the same weights and
// the same verdict; a block that fails does not take its neighbour with it,
// and the caller's flags come back as they were.
TEST(LaneSolver, PairedBlocksKeepEachBlocksWeightsAndVerdict) {
    for (std::int32_t Unit = 0; Unit < VectorUnitCount(); ++Unit) {
        ForceVectorUnit(Unit);
        TTwoBlocks B;
        TLaneBuffer Scratch(LaneScratchSize(B.Weights));
        TLaneBuffer Pair(2 * B.BlockDoubles()), Alone(B.BlockDoubles());
        bool Solved[MaxLaneBlocks] = {false, false};
        SolveLanes(B.Job, 0, 2, Pair.Data(), Scratch.Data(), Solved);
        EXPECT_TRUE(Solved[0] && Solved[1]) << LaneTarget();
        for (std::int32_t Block = 0; Block < 2; ++Block) {
            bool AloneSolved = false;
            SolveLanes(B.Job, Block * B.L, 1, Alone.Data(), Scratch.Data(), &AloneSolved);
            EXPECT_TRUE(AloneSolved);
            EXPECT_EQ(0, std::memcmp(Pair.Data() + Block * B.BlockDoubles(), Alone.Data(),
                                     B.BlockDoubles() * sizeof(double)))
                << "block " << Block << ", " << LaneTarget();
        }

        // Only the first key of the first block reads the first entry.
        B.Squares[0] = std::numeric_limits<double>::infinity();
        std::feclearexcept(FE_ALL_EXCEPT);
        std::feraiseexcept(FE_OVERFLOW);
        SolveLanes(B.Job, 0, 2, Pair.Data(), Scratch.Data(), Solved);
        EXPECT_FALSE(Solved[0]) << LaneTarget();
        EXPECT_TRUE(Solved[1]) << LaneTarget();
        EXPECT_EQ(FE_OVERFLOW, std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW)) << LaneTarget();
        std::feclearexcept(FE_ALL_EXCEPT);
        bool AloneSolved = false;
        SolveLanes(B.Job, B.L, 1, Alone.Data(), Scratch.Data(), &AloneSolved);
        EXPECT_EQ(0, std::memcmp(Pair.Data() + B.BlockDoubles(), Alone.Data(), B.BlockDoubles() * sizeof(double)))
            << LaneTarget();
    }
    ForceVectorUnit(-1);
}

} // namespace
} // namespace fi
