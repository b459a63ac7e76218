#pragma once
// The fixed double-size fractal enlargement: one pass that computes all four
// output pixels of each source pixel's 2 x 2 block with square neighbourhoods,
// sharing the input neighbourhood between them. It gives the same pixels as
// the square fractal setup of the interpolator at factor 2 with all weight and
// result options off.
#include <array>
#include <cstdint>
#include <memory>

#include "image/FloatMap.h"
#include "parallel/MultiCoreProcessing.h"
#include "wiener/FloatMapWienerInterpolation.h"

namespace fi {

class TFractalLanePass;

class TFractalInterpolateProcess : public TMultiCoreProcess {
public:
    // [column phase][row phase], present only during Run.
    std::array<std::array<std::unique_ptr<TFloatMap>, 2>, 2> PhaseMaps;
    double MinValue = 0.0;
    double MaxValue = 0.0;
    double EffectiveLambda = 0.0;
    TFloatMap* Source = nullptr;
    TFloatMap* Dest = nullptr;
    double Lambda = 0.0;
    // The training square has side 2 * RegionRadius + 1.
    std::int32_t RegionRadius = 0;
    // The input square has side 2 * NeighbourRadius + 1.
    std::int32_t NeighbourRadius = 0;

    TFractalInterpolateProcess(TFloatMap& ASource, TFloatMap& ADest, std::int32_t ARegionRadius,
                               std::int32_t ANeighbourRadius, double ALambda);
    ~TFractalInterpolateProcess() override;

    // Dest := Source doubled, then the artefact filter when FilterStrength > 0.
    // Dest must not be Source.
    void Run(float FilterStrength);

    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override;

    // Output pixel (2x + s, 2y + u) computed the reference way, in a working
    // set of (2r + 1)^2 samples and (2n + 1)^2 weights.
    double ReferencePixel(std::int32_t x, std::int32_t y, std::int32_t s, std::int32_t u, TWienerWork& Work) const;

private:
    // The fast engine's state during Run, when it serves this source.
    std::unique_ptr<TFractalLanePass> FLanes;
};

// Doubles Source into Dest; a null Dest, or Dest = Source, enlarges Source in
// place (Source is left unchanged when the run fails).
void FractalInterpolate(TFloatMap& Source, std::int32_t RegionRadius, std::int32_t NeighbourRadius, TFloatMap* Dest,
                        float FilterStrength, double Lambda);

// Out[m] := Map.GetClamped(column, row) over the square of the given radius
// around (X, Y), row by row.
void ReadSquare(const TFloatMap& Map, std::int32_t X, std::int32_t Y, double* Out, std::int32_t Radius);

} // namespace fi
