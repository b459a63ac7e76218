#include "wiener/FloatMapFilter.h"

#include "parallel/Progress.h"

namespace fi {

namespace {

// The mirror rule of the header. The final clamp only acts on lines shorter
// than the kernel, where a mirrored index could still leave the line.
std::int32_t Mirror(std::int32_t I, std::int32_t N) {
    if (I < 0) I = -I;
    if (I >= N) I = 2 * N - 1 - I;
    return I < 0 ? 0 : (I >= N ? N - 1 : I);
}

// The geometry of one correlation and its two sums, both in kernel order
// (kernel row by kernel row, left to right).
struct TCorrelation {
    const double* Src;
    const double* K;
    std::int32_t W, H, kh, kw, ky, kx;

    TCorrelation(const TFloatMap& Geometry, const TMatrix& Kernel, const double* SourceData)
        : Src(SourceData), K(Kernel.Map), W(Geometry.Width), H(Geometry.Height), kh(Kernel.Rows()),
          kw(Kernel.Cols()), ky(kh / 2), kx(kw / 2) {}

    // Every source index lies inside the map.
    double Interior(std::int32_t X, std::int32_t Y) const {
        double Sum = 0.0;
        for (std::int32_t r = 0; r < kh; ++r) {
            const double* Row = Src + std::intptr_t(Y - ky + r) * W + (X - kx);
            const double* KRow = K + std::intptr_t(r) * kw;
            for (std::int32_t k = 0; k < kw; ++k) Sum += KRow[k] * Row[k];
        }
        return Sum;
    }

    double Mirrored(std::int32_t X, std::int32_t Y) const {
        double Sum = 0.0;
        for (std::int32_t r = 0; r < kh; ++r) {
            const double* Row = Src + std::intptr_t(Mirror(Y - ky + r, H)) * W;
            const double* KRow = K + std::intptr_t(r) * kw;
            for (std::int32_t k = 0; k < kw; ++k) Sum += KRow[k] * Row[Mirror(X - kx + k, W)];
        }
        return Sum;
    }

    // The border pixels in their fixed order: top rows, bottom rows (both
    // over the interior columns), then the left and right columns over all rows.
    template <typename TStore>
    void ForBorder(TStore Store) const {
        for (std::int32_t y = 0; y < ky; ++y)
            for (std::int32_t x = kx; x <= W - kw + kx; ++x) Store(x, y, Mirrored(x, y));
        for (std::int32_t y = H - kh + ky + 1; y < H; ++y)
            for (std::int32_t x = kx; x <= W - kw + kx; ++x) Store(x, y, Mirrored(x, y));
        for (std::int32_t y = 0; y < H; ++y)
            for (std::int32_t x = 0; x < kx; ++x) Store(x, y, Mirrored(x, y));
        for (std::int32_t y = 0; y < H; ++y)
            for (std::int32_t x = W - kw + kx + 1; x < W; ++x) Store(x, y, Mirrored(x, y));
    }
};

} // namespace

void TFloatFilterProcess::ProcessItem(TMultiCoreProcessThread*, void* Data) {
    const TRowRange& Range = *static_cast<const TRowRange*>(Data);
    const TCorrelation C(*Dest, *Kernel, SourceData);
    double* Out = Dest->Map;
    std::int32_t First = Range.First;
    if (First < C.ky) {
        C.ForBorder([&](std::int32_t x, std::int32_t y, double v) { Out[std::intptr_t(y) * C.W + x] = v; });
        ++First;
    }
    for (std::int32_t y = First; y <= Range.Last; ++y) {
        double* Row = Out + std::intptr_t(y) * C.W;
        for (std::int32_t x = C.kx; x <= C.W - C.kw + C.kx; ++x) Row[x] = C.Interior(x, y);
    }
}

void ConvolveMap(TFloatMap& Dest, const TMatrix& Kernel, const double* SourceData) {
    if (Dest.Count == 0) return;
    TFloatFilterProcess Process(Dest, Kernel, SourceData);
    const std::int32_t kh = Kernel.Rows();
    const std::int32_t ky = kh / 2;
    Process.RunRange(ky - 1, Dest.Height - kh + ky, 2, TMultiCoreProcess::ProcessorCount());
}

void ConvolveMapBlended(TFloatMap& Map, const TMatrix& Kernel, const TMatrix* Weights) {
    TFloatMap Old;
    Old.TakeOver(Map);
    Map.SetSize(Old.Width, Old.Height);
    if (Weights == nullptr) {
        ConvolveMap(Map, Kernel, Old.Map);
        return;
    }
    if (Map.Count == 0) return;
    const TCorrelation C(Map, Kernel, Old.Map);
    const double* Wt = Weights->Map;
    double* Out = Map.Map;
    auto Store = [&](std::int32_t x, std::int32_t y, double Filtered) {
        const std::intptr_t i = std::intptr_t(y) * C.W + x;
        Out[i] = (1.0 - Wt[i]) * Old.Map[i] + Wt[i] * Filtered;
    };
    for (std::int32_t y = C.ky; y <= C.H - C.kh + C.ky; ++y)
        for (std::int32_t x = C.kx; x <= C.W - C.kw + C.kx; ++x) Store(x, y, C.Interior(x, y));
    C.ForBorder(Store);
}

void ArtefactFilter(TFloatMap& Map, float Strength) {
    if (Strength <= 0.0f || Map.Count == 0) return;
    // Created once for both passes.
    TMatrix Kernel(3, 1);
    TMatrix Weights(Map.Height, Map.Width);
    for (std::int32_t Pass = 0; Pass < 2; ++Pass) {
        // The second pass runs along the rows: the kernel becomes a row.
        if (Pass == 1) Kernel.Transpose();
        Kernel.Map[0] = 0.25;
        Kernel.Map[1] = -0.5;
        Kernel.Map[2] = 0.25;
        ConvolveMap(Weights, Kernel, Map.Map);
        Weights.AbsValues();
        Weights.Scale(double(Strength));
        Weights.Clamp(0.0, 1.0);
        Kernel.Fill(1.0 / 3.0);
        ConvolveMapBlended(Map, Kernel, &Weights);
        if (ProgressHook != nullptr) ProgressHook(Pass == 0 ? 99 : 100);
    }
}

} // namespace fi
