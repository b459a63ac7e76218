// Speed of the container operations that every enlargement runs once per image.
#include <benchmark/benchmark.h>

#include <vector>

#include "image/FloatMap.h"
#include "plugin/PluginLinearBitmap.h"

namespace {

void BM_DetachFromHost(benchmark::State& State) {
    const std::int32_t W = 2000, H = 1500, Stride = W * 3 + 4;
    std::vector<std::uint8_t> Pixels(std::size_t(Stride) * H, 128);
    fi::HostImage Image{W, H, Stride, fi::hfBgr24, Pixels.data(), nullptr, 0};
    for (auto _ : State) {
        fi::TPluginLinearBitmap Bitmap(&Image);
        Bitmap.DetachFromHost();
        benchmark::DoNotOptimize(Bitmap.Map);
    }
    State.SetBytesProcessed(std::int64_t(State.iterations()) * W * H * 3);
}
BENCHMARK(BM_DetachFromHost);

void BM_FloatMapFromBitmap(benchmark::State& State) {
    fi::TLinearBitmap Bitmap(2000, 1500, fi::TPixelFormat::pf8bit);
    for (fi::TFloatMap Map; auto _ : State) {
        Map.Assign(&Bitmap);
        benchmark::DoNotOptimize(Map.Map);
    }
    State.SetItemsProcessed(std::int64_t(State.iterations()) * 2000 * 1500);
}
BENCHMARK(BM_FloatMapFromBitmap);

void BM_GetMinMax(benchmark::State& State) {
    fi::TFloatMap Map(2000, 1500);
    for (std::int32_t i = 0; i < Map.Count; ++i) Map.Map[i] = i % 251;
    for (auto _ : State) {
        double Min, Max;
        Map.GetMinMax(Min, Max);
        benchmark::DoNotOptimize(Min + Max);
    }
    State.SetItemsProcessed(std::int64_t(State.iterations()) * Map.Count);
}
BENCHMARK(BM_GetMinMax);

} // namespace
