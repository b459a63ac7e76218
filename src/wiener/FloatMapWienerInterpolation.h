#pragma once
// Enlargement of a float map by an integer factor with a linear filter that is
// trained anew for every source pixel by regularised least squares. Each place
// inside the ScaleFactor x ScaleFactor block of an output pixel has a pixel
// relation: which known values feed its prediction, and which values stand for
// them when the filter is trained on the source itself. The setups fill the
// relations and the parameters; Interpolate runs one pass per relation.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "image/FloatMap.h"
#include "image/LinearBitmap.h"
#include "numerics/LUDecomposition.h"
#include "numerics/Matrix.h"
#include "parallel/MultiCoreProcessing.h"
#include "support/Geometry.h"

namespace fi {

// A dynamic array of integer points. Copies share one immutable buffer, which
// is how several relations of a setup share an offset list; an empty array
// holds no buffer at all.
class TPointArray {
public:
    TPointArray() = default;
    TPointArray(std::initializer_list<TPoint> Points);
    explicit TPointArray(std::vector<TPoint> Points);

    std::int32_t Length() const { return FData ? std::int32_t(FData->size()) : 0; }
    bool Empty() const { return !FData; }
    const TPoint& operator[](std::int32_t I) const { return (*FData)[std::size_t(I)]; }
    const TPoint* begin() const { return FData ? FData->data() : nullptr; }
    const TPoint* end() const { return FData ? FData->data() + FData->size() : nullptr; }
    // True when both refer to the same buffer (two empty arrays do).
    bool SameArray(const TPointArray& Other) const { return FData == Other.FData; }

private:
    std::shared_ptr<const std::vector<TPoint>> FData;
};

// How the output pixel at (X, Y) inside each block is predicted and trained.
// Prediction inputs: the HighResOffsets values (output grid, relative to the
// predicted pixel) followed by the LowResOffsets values (source grid, relative
// to the block's source pixel). Training columns: the HighResTrainingOffsets
// values (source grid, relative to the training pixel) followed by the
// LowResTrainingOffsets values (phase map, relative to the parent sample).
class TPixelRelations {
public:
    std::int32_t X = 0;
    std::int32_t Y = 0;
    TPointArray HighResOffsets;
    TPointArray LowResOffsets;
    TPointArray HighResTrainingOffsets;
    TPointArray LowResTrainingOffsets;

    // The number of filter weights.
    std::int32_t WeightCount() const { return HighResOffsets.Length() + LowResOffsets.Length(); }
};

using TPixelRelationsArray = std::vector<std::unique_ptr<TPixelRelations>>;

class TWienerRun;
class TWienerLanePass;

// The interpolator: parameters and relations in pass order.
class TBitmapWienerInterpolation {
public:
    std::int32_t ScaleFactor = 0;
    TPixelRelationsArray Relations;
    // Regularisation relative to the source's value range.
    double Lambda = 0.0;
    // Side of the square training region, in source pixels.
    std::int32_t TrainingRegion = 0;
    bool ClampWeights = false;
    bool NormalizeWeights = false;
    // Clamp each prediction to the range of its own inputs.
    bool ClampResult = false;
    // Strength of the artefact filter after the passes; 0 = none.
    float FilterStrength = 0.0f;

    TBitmapWienerInterpolation() = default;
    TBitmapWienerInterpolation(const TBitmapWienerInterpolation&) = delete;
    TBitmapWienerInterpolation& operator=(const TBitmapWienerInterpolation&) = delete;

    // Frees all relations, then makes N new empty ones.
    void SetRelationCount(std::int32_t N);
    void ClearRelations();

    // Each overwrites every parameter and rebuilds the relations.
    void SetupXinLi2x();
    void SetupXinLi4x();
    void SetupFractalStar(std::int32_t Scale);
    void SetupFractalSquare(std::int32_t Scale, std::int32_t Radius);
    void SetupFractalStarXinLi();
    void SetupFractalSquareXinLi(std::int32_t Radius);

    // Enlarges Source by ScaleFactor into Dest (resized here; not Source),
    // one pass per relation, then applies the artefact filter. ScaleFactor
    // must be at least 1.
    void Interpolate(const TFloatMap& Source, TFloatMap& Dest);

    // Enlarges an 8-bit gray or 24-bit bitmap by ScaleFactor into Dst (null:
    // in place). Colour images go through their luma plane; the two
    // colour-difference planes are resized by ordinary resampling.
    void InterpolateBitmap(TLinearBitmap& Src, TLinearBitmap* Dst);

    // The run in progress, none outside Interpolate.
    const TWienerRun* CurrentRun() const { return FRun; }

private:
    const TWienerRun* FRun = nullptr;
};

// The working set of the reference computation of one work item: allocated
// once, reused for every pixel.
struct TWienerWork {
    TMatrix A;
    TVector t;
    TVector w;
    // The prediction inputs of the pixel in hand.
    TVector v;
    TLeastSquaresWork Solver{};

    TWienerWork(std::int32_t Samples, std::int32_t Weights);
};

// One run of Interpolate: the maps it reads and writes, the reduced copies
// it trains on and the pass in progress. It lives only as long as the run.
class TWienerRun : public TMultiCoreProcess {
public:
    TWienerRun(const TBitmapWienerInterpolation& AInterpolator, const TFloatMap& ASource, TFloatMap& ADest,
               double AEffectiveLambda);
    ~TWienerRun() override;

    const TBitmapWienerInterpolation& Interpolator;
    const TFloatMap& Source;
    TFloatMap& Dest;
    // [column phase][row phase]: the ScaleFactor-fold reduced copies of the
    // source, made only when a relation trains on them.
    std::vector<std::vector<std::unique_ptr<TFloatMap>>> PhaseMaps;
    // Regularisation scaled to the source's value range.
    const double EffectiveLambda;
    std::int32_t CurrentRelation = 0;

    // Dest := Source replicated, then one pass per relation over it.
    void RunPasses();

    // The output pixel of relation R for source pixel (x, y), computed the
    // reference way: training set, solve, switches, prediction.
    void ReferencePixel(const TPixelRelations& R, std::int32_t x, std::int32_t y, TWienerWork& Work) const;
    // The same from weights in Work.w that were solved and adjusted by the
    // switches already.
    void PredictWithWeights(const TPixelRelations& R, std::int32_t x, std::int32_t y, TWienerWork& Work) const;
    // The progress after source row y of the current pass, for the calling thread's item.
    void ReportRow(std::int32_t y, const TRowRange& Range) const;

protected:
    // Computes the current relation for the source rows of one TRowRange.
    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override;

private:
    // The fast engine's state, when it serves this run.
    std::unique_ptr<TWienerLanePass> FLanes;
};

// The settings a user can see and change, apart from the relations.
struct TInterpolatorSettings {
    std::int32_t ScaleFactor = 0;
    std::int32_t TrainingRegion = 0;
    double Lambda = 0.0;
    float FilterStrength = 0.0f;
    bool ClampWeights = false;
    bool NormalizeWeights = false;
    bool ClampResult = false;
};

TInterpolatorSettings ReadSettings(const TBitmapWienerInterpolation& Interpolator);
// Stores every setting but ScaleFactor, which belongs to the setup.
void WriteFineTuning(TBitmapWienerInterpolation& Interpolator, const TInterpolatorSettings& Settings);

// The phase of a coordinate relative to a block corner, always in 0 .. S-1:
// which of the S-fold reduced copies holds it.
inline std::int32_t PhaseOf(std::int32_t Offset, std::int32_t S) {
    const std::int32_t Phase = Offset % S;
    return Phase < 0 ? Phase + S : Phase;
}

// Out[m] := Map.GetClamped(X + o.X, Y + o.Y) for each offset o, in order.
void ReadOffsets(const TFloatMap& Map, std::int32_t X, std::int32_t Y, double* Out, const TPointArray& Offsets);

// Dst := the Factor-fold box reduction of Src starting at the given phases:
// (Src.Width - ColumnPhase) div Factor by (Src.Height - RowPhase) div Factor
// block means. A null Dst, or Dst = Src, reduces Src in place.
void BoxReduce(TFloatMap& Src, std::int32_t Factor, TFloatMap* Dst, std::int32_t RowPhase, std::int32_t ColumnPhase);
// The same into a map of its own; Dst must not be Src.
void BoxReduce(const TFloatMap& Src, std::int32_t Factor, TFloatMap& Dst, std::int32_t RowPhase,
               std::int32_t ColumnPhase);

// Dst := Src enlarged Factor times by repeating every value over its block.
// Dst must not be Src.
void ReplicateEnlarge(const TFloatMap& Src, TFloatMap& Dst, std::int32_t Factor);

// True when the value range counts as constant: MaxValue - MinValue within
// max(1e-12 * min(|MinValue|, |MaxValue|), 1e-12).
bool IsConstantRange(double MinValue, double MaxValue);

// True when every element of V is finite.
bool AllFinite(const TVector& V);

// w := the regularised least-squares filter for A w ~ t. False when the
// normal matrix is singular, the arithmetic failed or a weight is not finite;
// the caller then uses equal weights.
bool SolveFilterWeights(const TMatrix& A, const TVector& t, TVector& w, double Lambda, TLeastSquaresWork& Work);

} // namespace fi
