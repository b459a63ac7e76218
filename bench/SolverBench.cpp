// Speed of the per-pixel filter training: one regularised least-squares solve
// of 49 samples (a 7 x 7 training region) for 9 weights (the default filter)
// and for 25, with the work record reused as the engine does.
#include <benchmark/benchmark.h>

#include <random>

#include "numerics/LUDecomposition.h"

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
