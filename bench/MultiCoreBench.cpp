// Cost of the multi-core process framework: the fixed cost of one pass, and
// the speed-up of independent heavy items on one thread against two.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "parallel/MultiCoreProcessing.h"

namespace {

// Touches only its own row slot, so the pass measures the framework alone.
class TTrivialProcess : public fi::TMultiCoreProcess {
public:
    std::vector<std::int32_t> Rows = std::vector<std::int32_t>(1024);

protected:
    void ProcessItem(fi::TMultiCoreProcessThread*, void* Data) override {
        const auto& Range = *static_cast<fi::TRowRange*>(Data);
        Rows[std::size_t(Range.Index)] = Range.Last - Range.First;
    }
};

// A range of 1024 rows with chunks of at least 16, on State.range(0) threads
// (0: the framework decides).
void BM_RunRangeTrivial(benchmark::State& State) {
    TTrivialProcess Process;
    const auto Threads = std::int32_t(State.range(0));
    for (auto _ : State) {
        Process.RunRange(0, 1023, 16, Threads);
        benchmark::DoNotOptimize(Process.Rows.data());
    }
}
BENCHMARK(BM_RunRangeTrivial)->Arg(1)->Arg(2)->Arg(4)->Arg(0)->UseRealTime();

// Each row runs a long dependent chain of square roots, independent of every
// other row; only the row's own result is written.
class THeavyProcess : public fi::TMultiCoreProcess {
public:
    std::vector<double> Rows = std::vector<double>(64);

protected:
    void ProcessItem(fi::TMultiCoreProcessThread*, void* Data) override {
        const auto& Range = *static_cast<fi::TRowRange*>(Data);
        for (std::int32_t Row = Range.First; Row <= Range.Last; ++Row) {
            double Value = 1.0 + Row;
            for (int i = 0; i < 200000; ++i) Value = std::sqrt(Value + 2.0);
            Rows[std::size_t(Row)] = Value;
        }
    }
};

// 64 rows, one row per chunk at least, on State.range(0) threads.
void BM_HeavyItems(benchmark::State& State) {
    THeavyProcess Process;
    const auto Threads = std::int32_t(State.range(0));
    for (auto _ : State) {
        Process.RunRange(0, 63, 1, Threads);
        benchmark::DoNotOptimize(Process.Rows.data());
    }
}
BENCHMARK(BM_HeavyItems)->Arg(1)->Arg(2)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
