#include "wiener/FloatMapFilter.h"

#include <algorithm>
#include <vector>

#include "parallel/Progress.h"
#include "wiener/FilterRows.h"

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
    const double* Wt = Weights;
    const double* Old = SourceData;
    std::int32_t First = Range.First;
    if (First < C.ky) {
        C.ForBorder([&](std::int32_t x, std::int32_t y, double Filtered) {
            const std::intptr_t i = std::intptr_t(y) * C.W + x;
            Out[i] = Wt == nullptr ? Filtered : (1.0 - Wt[i]) * Old[i] + Wt[i] * Filtered;
        });
        ++First;
    }
    // The interior a row at a time: every pixel's sum still adds its terms in
    // kernel order, only many pixels at once.
    const std::int32_t Count = C.W - C.kw + 1;
    if (Count <= 0) return;
    std::vector<double> Filtered(Wt == nullptr ? 0 : std::size_t(Count));
    for (std::int32_t y = First; y <= Range.Last; ++y) {
        const std::intptr_t Start = std::intptr_t(y) * C.W + C.kx;
        double* Sum = Wt == nullptr ? Out + Start : Filtered.data();
        std::fill(Sum, Sum + Count, 0.0);
        for (std::int32_t r = 0; r < C.kh; ++r)
            for (std::int32_t k = 0; k < C.kw; ++k)
                AddScaledRow(Sum, C.Src + std::intptr_t(y - C.ky + r) * C.W + k, C.K[r * C.kw + k], Count);
        if (Wt != nullptr) BlendRow(Out + Start, Old + Start, Wt + Start, Sum, Count);
    }
}

namespace {
void RunCorrelation(TFloatMap& Dest, const TMatrix& Kernel, const double* SourceData, const double* Weights) {
    if (Dest.Count == 0) return;
    TFloatFilterProcess Process(Dest, Kernel, SourceData, Weights);
    const std::int32_t kh = Kernel.Rows();
    const std::int32_t ky = kh / 2;
    Process.RunRange(ky - 1, Dest.Height - kh + ky, 2, TMultiCoreProcess::ProcessorCount());
}
} // namespace

void ConvolveMap(TFloatMap& Dest, const TMatrix& Kernel, const double* SourceData) {
    RunCorrelation(Dest, Kernel, SourceData, nullptr);
}

void ConvolveMapBlended(TFloatMap& Map, const TMatrix& Kernel, const TMatrix* Weights) {
    TFloatMap Old;
    Old.TakeOver(Map);
    Map.SetSize(Old.Width, Old.Height);
    RunCorrelation(Map, Kernel, Old.Map, Weights != nullptr ? Weights->Map : nullptr);
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
