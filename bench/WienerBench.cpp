// Speed of the interpolation engine on a 512 x 512 map of values 0 .. 255:
// the fixed double-size process and the interpolator's setups, each on one
// and on two threads (the second argument), on the fast engine (third
// argument 0) and on the reference (1).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "parallel/MultiCoreProcessing.h"
#include "wiener/EngineChoice.h"
#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/FloatMapWienerInterpolation.h"

namespace {

void FillSource(fi::TFloatMap& Map, std::int32_t Side) {
    Map.SetSize(Side, Side);
    std::uint64_t State = 12345;
    for (std::int32_t i = 0; i < Map.Count; ++i) {
        State = State * 6364136223846793005ull + 1442695040888963407ull;
        // Smooth structure plus noise, so that the solves are not all alike.
        const std::int32_t x = i % Side, y = i / Side;
        Map.Map[i] = double(((x * 7 + y * 3) & 127) + ((State >> 33) % 128));
    }
}

// Runs the pass with the given number of threads.
class TThreads {
public:
    explicit TThreads(std::int64_t Count) : Saved(fi::ProcessorCountCache.load()) {
        fi::ProcessorCountCache.store(std::int32_t(Count));
    }
    ~TThreads() { fi::ProcessorCountCache.store(Saved); }

private:
    std::int32_t Saved;
};

void ReportOutputPixels(benchmark::State& State, std::int64_t OutputPixels) {
    State.counters["MP/s"] =
        benchmark::Counter(double(OutputPixels) * double(State.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// State.range(0): neighbour radius (1: 9-square, 2: 25-square), region 7.
void BM_FractalInterpolate(benchmark::State& State) {
    TThreads Threads(State.range(1));
    const fi::TEngineScope Engine(State.range(2) == 0 ? fi::TEngine::Fast : fi::TEngine::Reference);
    fi::TFloatMap Source;
    FillSource(Source, 512);
    fi::TFloatMap Dest;
    for (auto _ : State) {
        fi::FractalInterpolate(Source, 3, std::int32_t(State.range(0)), &Dest, 8.0f, 0.01);
        benchmark::DoNotOptimize(Dest.Map);
    }
    ReportOutputPixels(State, std::int64_t(Dest.Count));
}
BENCHMARK(BM_FractalInterpolate)
    ->ArgNames({"radius", "threads", "reference"})
    ->ArgsProduct({{1, 2}, {1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// State.range(0): 0 "Xin Li 2x", 1 "Fractal 5-star" at scale 3, 2 "Xin Li 4x",
// 3 "Fractal 9-square" at scale 2 (the interpolator's path for the default),
// 4 "Fractal 25-square" at scale 2, 5 "Fractal 5 / Xin Li", 6 "Fractal 9 / Xin Li".
void BM_Interpolate(benchmark::State& State) {
    TThreads Threads(State.range(1));
    const fi::TEngineScope Engine(State.range(2) == 0 ? fi::TEngine::Fast : fi::TEngine::Reference);
    fi::TFloatMap Source;
    FillSource(Source, 512);
    fi::TFloatMap Dest;
    fi::TBitmapWienerInterpolation Interpolator;
    switch (State.range(0)) {
    case 0: Interpolator.SetupXinLi2x(); break;
    case 1: Interpolator.SetupFractalStar(3); break;
    case 2: Interpolator.SetupXinLi4x(); break;
    case 3: Interpolator.SetupFractalSquare(2, 1); break;
    case 4: Interpolator.SetupFractalSquare(2, 2); break;
    case 5: Interpolator.SetupFractalStarXinLi(); break;
    default: Interpolator.SetupFractalSquareXinLi(1); break;
    }
    for (auto _ : State) {
        Interpolator.Interpolate(Source, Dest);
        benchmark::DoNotOptimize(Dest.Map);
    }
    ReportOutputPixels(State, std::int64_t(Dest.Count));
}
BENCHMARK(BM_Interpolate)
    ->ArgNames({"setup", "threads", "reference"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One enlargement of a 2000 x 2000 source at scale 2 by the interpolator,
// for measuring peak memory from outside (run it alone with its filter).
void BM_InterpolateLarge(benchmark::State& State) {
    fi::TFloatMap Source;
    FillSource(Source, 2000);
    fi::TFloatMap Dest;
    fi::TBitmapWienerInterpolation Interpolator;
    Interpolator.SetupFractalSquare(2, 1);
    Interpolator.FilterStrength = float(State.range(0));
    for (auto _ : State) {
        Interpolator.Interpolate(Source, Dest);
        benchmark::DoNotOptimize(Dest.Map);
    }
    ReportOutputPixels(State, std::int64_t(Dest.Count));
}
BENCHMARK(BM_InterpolateLarge)->ArgName("strength")->Arg(0)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
