// Speed of the filter training: one regularised least-squares solve of 49
// samples (a 7 x 7 training region) for 9 weights (the default filter) and
// for 25, with the work record reused as the reference engine does; and the
// fast engine's solves of whole blocks of keys.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "numerics/LUDecomposition.h"
#include "wiener/LaneSolver.h"

namespace {

void FillRandom(fi::TFloatMap& M, std::mt19937& Rng) {
    std::uniform_real_distribution<double> U(0.0, 255.0);
    for (std::int32_t i = 0; i < M.Count; ++i) M.Map[i] = U(Rng);
}

void BM_SolveLeastSquares(benchmark::State& State) {
    const auto Cols = static_cast<std::int32_t>(State.range(0));
    std::mt19937 Rng(1);
    fi::TMatrix A(49, Cols);
    fi::TVector B(49), X;
    FillRandom(A, Rng);
    FillRandom(B, Rng);
    fi::TLeastSquaresWork Work{};
    for (auto _ : State) {
        fi::SolveLeastSquares(A, B, X, 0.5, nullptr, &Work);
        benchmark::DoNotOptimize(X.Map);
        benchmark::ClobberMemory();
    }
    State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_SolveLeastSquares)->Arg(9)->Arg(25);

// The same without a work record: every call allocates its temporaries.
void BM_SolveLeastSquaresNoRecord(benchmark::State& State) {
    const auto Cols = static_cast<std::int32_t>(State.range(0));
    std::mt19937 Rng(1);
    fi::TMatrix A(49, Cols);
    fi::TVector B(49), X;
    FillRandom(A, Rng);
    FillRandom(B, Rng);
    for (auto _ : State) {
        fi::SolveLeastSquares(A, B, X, 0.5);
        benchmark::DoNotOptimize(X.Map);
        benchmark::ClobberMemory();
    }
    State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_SolveLeastSquaresNoRecord)->Arg(9)->Arg(25);

} // namespace

// The fast engine's kernel: blocks of neighbouring keys solved in the lanes
// of a vector, one or two per call, 7 x 7 training rows, one right-hand
// side, as the combined setups' passes call it.
void BM_SolveLanes(benchmark::State& State) {
    const auto n = static_cast<std::int32_t>(State.range(0));
    const auto Blocks = static_cast<std::int32_t>(State.range(1));
    const std::int32_t Side = 7;
    const std::int32_t L = fi::LaneCount();
    const std::ptrdiff_t Stride = Blocks * L + Side - 1;
    std::mt19937 Rng(1);
    std::uniform_real_distribution<double> U(0.0, 255.0);
    std::vector<double> Squares(std::size_t(Side * n * Stride)), Target(std::size_t(Side * Stride));
    for (double& v : Squares) v = U(Rng);
    for (double& v : Target) v = U(Rng);
    const double* Targets[] = {Target.data()};
    fi::TLaneSolveJob Job;
    Job.Weights = n;
    Job.Side = Side;
    Job.LambdaSquared = 1e-10;
    Job.Regularised = true;
    Job.Squares = Squares.data();
    Job.SquareStride = Stride;
    Job.RightHandSides = 1;
    Job.Targets = Targets;
    Job.TargetStride = Stride;
    fi::TLaneBuffer Solution(std::size_t(Blocks * n * L)), Scratch(fi::LaneScratchSize(n));
    bool Solved[fi::MaxLaneBlocks];
    for (auto _ : State) {
        fi::SolveLanes(Job, 0, Blocks, Solution.Data(), Scratch.Data(), Solved);
        if (!Solved[0] || !Solved[Blocks - 1]) State.SkipWithError("block not solved");
        benchmark::DoNotOptimize(Solution.Data());
        benchmark::ClobberMemory();
    }
    State.SetItemsProcessed(State.iterations() * Blocks * L);
    State.SetLabel(fi::LaneTarget());
}
BENCHMARK(BM_SolveLanes)->ArgNames({"weights", "blocks"})->ArgsProduct({{4, 5, 9, 13, 25}, {1, 2}});
