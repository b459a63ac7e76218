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
    const double* Old = SourceData;
    const bool Blended = Curvature != nullptr;
    std::int32_t First = Range.First;
    if (First < C.ky) {
        if (Blended) {
            const TCorrelation Curving(*Dest, *Curvature, SourceData);
            C.ForBorder([&](std::int32_t x, std::int32_t y, double Filtered) {
                const std::intptr_t i = std::intptr_t(y) * C.W + x;
                const double Wt = CurvatureWeight(Curving.Mirrored(x, y), Strength);
                Out[i] = (1.0 - Wt) * Old[i] + Wt * Filtered;
            });
        } else {
            C.ForBorder(
                [&](std::int32_t x, std::int32_t y, double Filtered) { Out[std::intptr_t(y) * C.W + x] = Filtered; });
        }
        ++First;
    }
    // The interior a row at a time: every pixel's sum still adds its terms in
    // kernel order, only many pixels at once.
    const std::int32_t Count = C.W - C.kw + 1;
    if (Count <= 0) return;
    std::vector<double> Filtered(Blended ? std::size_t(Count) : 0);
    std::vector<double> Weights(Blended ? std::size_t(Count) : 0);
    auto Correlate = [&](double* Sum, const double* K, std::int32_t y) {
        std::fill(Sum, Sum + Count, 0.0);
        for (std::int32_t r = 0; r < C.kh; ++r)
            for (std::int32_t k = 0; k < C.kw; ++k)
                AddScaledRow(Sum, C.Src + std::intptr_t(y - C.ky + r) * C.W + k, K[r * C.kw + k], Count);
    };
    for (std::int32_t y = First; y <= Range.Last; ++y) {
        const std::intptr_t Start = std::intptr_t(y) * C.W + C.kx;
        if (!Blended) {
            Correlate(Out + Start, C.K, y);
            continue;
        }
        Correlate(Weights.data(), Curvature->Map, y);
        CurvatureWeightRow(Weights.data(), Strength, Count);
        Correlate(Filtered.data(), C.K, y);
        BlendRow(Out + Start, Old + Start, Weights.data(), Filtered.data(), Count);
    }
}

namespace {
void RunCorrelation(TFloatFilterProcess& Process) {
    if (Process.Dest->Count == 0) return;
    const std::int32_t kh = Process.Kernel->Rows();
    const std::int32_t ky = kh / 2;
    Process.RunRange(ky - 1, Process.Dest->Height - kh + ky, 2, TMultiCoreProcess::ProcessorCount());
}
} // namespace

void ConvolveMap(TFloatMap& Dest, const TMatrix& Kernel, const double* SourceData) {
    TFloatFilterProcess Process(Dest, Kernel, SourceData);
    RunCorrelation(Process);
}

void BlendByCurvature(TFloatMap& Map, const TMatrix& Kernel, const TMatrix& Curvature, double Strength,
                      TFloatMap& Spare) {
    TFloatMap Old;
    Old.TakeOver(Map);
    Map.TakeOver(Spare);
    Map.SetSize(Old.Width, Old.Height);
    TFloatFilterProcess Process(Map, Kernel, Old.Map);
    Process.Curvature = &Curvature;
    Process.Strength = Strength;
    RunCorrelation(Process);
    Spare.TakeOver(Old);
}

void ArtefactFilter(TFloatMap& Map, float Strength) {
    if (Strength <= 0.0f || Map.Count == 0) return;
    // Columns first; the second pass runs along the rows, where a column
    // vector becomes a row by its shape alone.
    TMatrix Curvature(3, 1);
    Curvature.Map[0] = 0.25;
    Curvature.Map[1] = -0.5;
    Curvature.Map[2] = 0.25;
    TMatrix Mean(3, 1);
    Mean.Fill(1.0 / 3.0);
    // The second pass's map reuses the first pass's old values' buffer.
    TFloatMap Spare;
    for (std::int32_t Pass = 0; Pass < 2; ++Pass) {
        if (Pass == 1) {
            Curvature.Transpose();
            Mean.Transpose();
        }
        BlendByCurvature(Map, Mean, Curvature, double(Strength), Spare);
        if (ProgressHook != nullptr) ProgressHook(Pass == 0 ? 99 : 100);
    }
}

} // namespace fi
