#include <benchmark/benchmark.h>

#include "expr/ExpressionEval.h"

namespace {

// A typical formula typed into a numeric field (30 characters).
void BM_EvaluateFormula(benchmark::State& State) {
    fi::TSymbolTable Table;
    const std::string Text = ":r=2.5; pi*r^2+sqrt(16)/4-1e-3";
    for (auto _ : State) benchmark::DoNotOptimize(fi::EvaluateExpression(Text, &Table));
}
BENCHMARK(BM_EvaluateFormula);

// The solver re-parses its expression for every trial.
void BM_SolveQuadratic(benchmark::State& State) {
    fi::TSymbolTable Table;
    for (auto _ : State) benchmark::DoNotOptimize(fi::EvaluateExpression("num.solve(x^2=2, x)", &Table));
}
BENCHMARK(BM_SolveQuadratic)->Unit(benchmark::kMicrosecond);

// A search that finds no improvement: the step halves down to the resolution
// of x, then the search gives up with an error.
void BM_SolveNoSolution(benchmark::State& State) {
    fi::TSymbolTable Table;
    for (auto _ : State) {
        try {
            fi::EvaluateExpression("num.root(x*0+1, x)", &Table);
        } catch (const fi::EExpressionError&) {
        }
    }
}
BENCHMARK(BM_SolveNoSolution)->Unit(benchmark::kMicrosecond);

// Every trial improves: the search runs all 5000 rounds (5001 evaluations).
void BM_SolveLongestSearch(benchmark::State& State) {
    fi::TSymbolTable Table;
    for (auto _ : State) benchmark::DoNotOptimize(fi::EvaluateExpression("num.min(-x, x)", &Table));
}
BENCHMARK(BM_SolveLongestSearch)->Unit(benchmark::kMicrosecond);

} // namespace
