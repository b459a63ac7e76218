// Speed of the resamplers, the colour-plane conversion and the two bitmap
// enlargements on photo-sized 24-bit bitmaps. The thread argument is the processor count the framework
// may use (1: every pass stays on the calling thread).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "colour/ColourPlanes.h"
#include "parallel/MultiCoreProcessing.h"
#include "resize/BitmapResize.h"
#include "wiener/FastDefaultEnlarge.h"
#include "wiener/FloatMapWienerInterpolation.h"

namespace {

void FillPattern(fi::TLinearBitmap& Bitmap) {
    std::uint32_t State = 12345;
    for (std::int32_t i = 0; i < Bitmap.Size; ++i) {
        State = State * 1664525u + 1013904223u;
        Bitmap.Map[i] = std::uint8_t((State >> 24) / 2 + (i % 97));
    }
}

// Pins the processor count the passes see for the length of one benchmark.
class TThreadScope {
public:
    explicit TThreadScope(std::int32_t Threads) : Saved(fi::ProcessorCountCache.load()) {
        fi::ProcessorCountCache.store(Threads);
    }
    ~TThreadScope() { fi::ProcessorCountCache.store(Saved); }

private:
    std::int32_t Saved;
};

// Args: source width, height, destination width, height, threads; Gamma 1.
void BM_ResizeBitmap(benchmark::State& State) {
    const auto W = std::int32_t(State.range(0)), H = std::int32_t(State.range(1));
    const auto NewW = std::int32_t(State.range(2)), NewH = std::int32_t(State.range(3));
    TThreadScope Threads(std::int32_t(State.range(4)));
    fi::TLinearBitmap Source(W, H, fi::TPixelFormat::pf24bit), Dest;
    FillPattern(Source);
    for (auto _ : State) {
        fi::ResizeBitmap(Source, Dest, NewW, NewH, 1.0f);
        benchmark::DoNotOptimize(Dest.Map);
    }
    // Items are output pixels: items_per_second / 1e6 is output megapixels per second.
    State.SetItemsProcessed(std::int64_t(State.iterations()) * NewW * NewH);
}
BENCHMARK(BM_ResizeBitmap)
    ->ArgNames({"w", "h", "nw", "nh", "threads"})
    ->Args({1000, 1000, 1500, 1500, 1})
    ->Args({1000, 1000, 1500, 1500, 2})
    ->Args({1000, 1000, 2000, 2000, 1})
    ->Args({1024, 768, 3072, 2304, 1})
    ->Args({1024, 768, 3072, 2304, 2})
    ->Args({1024, 768, 2048, 1536, 1})
    ->Args({1024, 768, 300, 200, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The gamma-correct bilinear path at 2.2, table building included.
void BM_ResizeBitmapGamma(benchmark::State& State) {
    TThreadScope Threads(std::int32_t(State.range(0)));
    fi::TLinearBitmap Source(1000, 1000, fi::TPixelFormat::pf24bit), Dest;
    FillPattern(Source);
    for (auto _ : State) {
        fi::ResizeBitmap(Source, Dest, 1500, 1500, 2.2f);
        benchmark::DoNotOptimize(Dest.Map);
    }
    State.SetItemsProcessed(std::int64_t(State.iterations()) * 1500 * 1500);
}
BENCHMARK(BM_ResizeBitmapGamma)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Split of a 1024 x 768 colour image into its planes and the merge back.
void BM_SplitMergeColourPlanes(benchmark::State& State) {
    fi::TLinearBitmap Source(1024, 768, fi::TPixelFormat::pf24bit), Dest;
    FillPattern(Source);
    for (auto _ : State) {
        fi::TColourPlanes Planes;
        fi::SplitColourPlanes(Source, Planes, fi::YCbCrMatrix);
        fi::MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, fi::InverseYCbCrMatrix, Dest);
        benchmark::DoNotOptimize(Dest.Map);
    }
    State.SetItemsProcessed(std::int64_t(State.iterations()) * 1024 * 768);
}
BENCHMARK(BM_SplitMergeColourPlanes)->Unit(benchmark::kMillisecond);

// The default setting's 2x enlargement of a 1024 x 768 colour image; arg: threads.
void BM_FastDefaultEnlarge(benchmark::State& State) {
    TThreadScope Threads(std::int32_t(State.range(0)));
    fi::TLinearBitmap Source(1024, 768, fi::TPixelFormat::pf24bit), Dest;
    FillPattern(Source);
    for (auto _ : State) {
        fi::FastDefaultEnlarge(Source, &Dest, 0.01, 8.0f);
        benchmark::DoNotOptimize(Dest.Map);
    }
    State.SetItemsProcessed(std::int64_t(State.iterations()) * 2048 * 1536);
}
BENCHMARK(BM_FastDefaultEnlarge)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// "Fractal 9-square" through the general interpolator on a 1024 x 768 colour
// image; args: scale, threads.
void BM_InterpolateBitmap(benchmark::State& State) {
    const auto Scale = std::int32_t(State.range(0));
    TThreadScope Threads(std::int32_t(State.range(1)));
    fi::TLinearBitmap Source(1024, 768, fi::TPixelFormat::pf24bit), Dest;
    FillPattern(Source);
    fi::TBitmapWienerInterpolation Interpolator;
    Interpolator.SetupFractalSquare(Scale, 1);
    for (auto _ : State) {
        Interpolator.InterpolateBitmap(Source, &Dest);
        benchmark::DoNotOptimize(Dest.Map);
    }
    State.SetItemsProcessed(std::int64_t(State.iterations()) * 1024 * 768 * Scale * Scale);
}
BENCHMARK(BM_InterpolateBitmap)
    ->ArgNames({"scale", "threads"})
    ->Args({2, 1})
    ->Args({2, 2})
    ->Args({3, 1})
    ->Args({3, 2})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
