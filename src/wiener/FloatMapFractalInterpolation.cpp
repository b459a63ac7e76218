#include "wiener/FloatMapFractalInterpolation.h"

#include <cmath>

#include "parallel/Progress.h"
#include "wiener/FloatMapFilter.h"
#include "wiener/FractalLanePass.h"
#include "wiener/FloatMapWienerInterpolation.h"

namespace fi {

void ReadSquare(const TFloatMap& Map, std::int32_t X, std::int32_t Y, double* Out, std::int32_t Radius) {
    for (std::int32_t Row = Y - Radius; Row <= Y + Radius; ++Row)
        for (std::int32_t Column = X - Radius; Column <= X + Radius; ++Column) *Out++ = Map.GetClamped(Column, Row);
}

TFractalInterpolateProcess::TFractalInterpolateProcess(TFloatMap& ASource, TFloatMap& ADest,
                                                       std::int32_t ARegionRadius, std::int32_t ANeighbourRadius,
                                                       double ALambda)
    : Source(&ASource), Dest(&ADest), Lambda(ALambda), RegionRadius(ARegionRadius),
      NeighbourRadius(ANeighbourRadius) {}

TFractalInterpolateProcess::~TFractalInterpolateProcess() = default;

void TFractalInterpolateProcess::Run(float FilterStrength) {
    TFloatMap& Src = *Source;
    TFloatMap& Dst = *Dest;
    Dst.SetSize(2 * Src.Width, 2 * Src.Height);
    Src.GetMinMax(MinValue, MaxValue);
    if (IsConstantRange(MinValue, MaxValue)) {
        Dst.Fill(Src.Map[0]);
        return;
    }
    EffectiveLambda = (MaxValue - MinValue) * Lambda;
    {
        struct TFreeOnExit {
            TFractalInterpolateProcess& Self;
            ~TFreeOnExit() {
                Self.FLanes.reset();
                for (auto& Column : Self.PhaseMaps)
                    for (auto& Phase : Column) Phase.reset();
            }
        } FreeOnExit{*this};
        for (std::int32_t q = 0; q < 2; ++q)
            for (std::int32_t p = 0; p < 2; ++p) {
                PhaseMaps[p][q] = std::make_unique<TFloatMap>();
                BoxReduce(Src, 2, PhaseMaps[p][q].get(), q, p);
            }
        FLanes = TFractalLanePass::For(*this);
        // The fast pass's items are its stripes of key rows.
        if (FLanes)
            RunRange(0, FLanes->Stripes() - 1, 1, FLanes->Stripes());
        else
            RunRange(0, Src.Height - 1, 16, 0);
    }
    if (FilterStrength > 0.0f) ArtefactFilter(Dst, float(double(FilterStrength) / (MaxValue - MinValue)));
}

double TFractalInterpolateProcess::ReferencePixel(std::int32_t x, std::int32_t y, std::int32_t s, std::int32_t u,
                                                  TWienerWork& Work) const {
    const TFloatMap& Src = *Source;
    const std::int32_t n = NeighbourRadius;
    const std::int32_t r = RegionRadius;
    // Cannot be formed where a phase map it needs is empty (a source side of 1 or 2).
    bool Formed = true;
    std::int32_t j = 0;
    for (std::int32_t ty = y - r; Formed && ty <= y + r; ++ty)
        for (std::int32_t tx = x - r; tx <= x + r; ++tx) {
            const TFloatMap& Phase = *PhaseMaps[std::size_t(PhaseOf(tx - s, 2))][std::size_t(PhaseOf(ty - u, 2))];
            if (Phase.Count == 0) {
                Formed = false;
                break;
            }
            // Division truncating toward zero, also left of and above the map.
            ReadSquare(Phase, (tx - s) / 2, (ty - u) / 2, Work.A.RowPtr(j), n);
            Work.t.Map[j] = Src.GetClamped(tx, ty);
            ++j;
        }
    if (!(Formed && SolveFilterWeights(Work.A, Work.t, Work.w, EffectiveLambda, Work.Solver)))
        Work.w.Fill(1.0 / Work.w.Count);
    ReadSquare(Src, x, y, Work.v.Map, n);
    return Work.v.Dot(Work.w);
}

void TFractalInterpolateProcess::ProcessItem(TMultiCoreProcessThread* Thread, void* Data) {
    const TRowRange& Range = *static_cast<const TRowRange*>(Data);
    if (FLanes) {
        FLanes->ProcessStripe(*this, Range.First, Thread == nullptr);
        return;
    }
    const TFloatMap& Src = *Source;
    const std::int32_t b = 2 * RegionRadius + 1;
    const std::int32_t c = 2 * NeighbourRadius + 1;
    TWienerWork Work(b * b, c * c);
    for (std::int32_t y = Range.First; y <= Range.Last; ++y) {
        for (std::int32_t x = 0; x < Src.Width; ++x)
            for (std::int32_t u = 0; u < 2; ++u)
                for (std::int32_t s = 0; s < 2; ++s)
                    *Dest->PixelPtr(2 * x + s, 2 * y + u) = ReferencePixel(x, y, s, u, Work);
        if (Thread == nullptr && ProgressHook != nullptr) ProgressHook(Range.Last == 0 ? 98 : (y * 98) / Range.Last);
    }
}

void FractalInterpolate(TFloatMap& Source, std::int32_t RegionRadius, std::int32_t NeighbourRadius, TFloatMap* Dest,
                        float FilterStrength, double Lambda) {
    if (ProgressHook != nullptr) ProgressHook(0);
    const bool InPlace = Dest == nullptr || Dest == &Source;
    TFloatMap Temporary;
    {
        TFractalInterpolateProcess Process(Source, InPlace ? Temporary : *Dest, RegionRadius, NeighbourRadius, Lambda);
        Process.Run(FilterStrength);
    }
    if (InPlace) Source.TakeOver(Temporary);
}

} // namespace fi
