#include "wiener/WienerLanePass.h"

#include <algorithm>
#include <cstdlib>

#include "wiener/EngineChoice.h"
#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/LaneSolver.h"

namespace fi {

namespace {

// Source pixels per segment of a row and rows per band, as in the
// double-size pass: a segment's training entries stay in the cache, and a
// band's overlapping training rows are gathered once.
constexpr std::int32_t SegmentPixels = 64;
constexpr std::int32_t BandRows = 16;

// The largest offset any relation of the interpolator reads.
std::int32_t LargestOffset(const TBitmapWienerInterpolation& I) {
    std::int32_t Largest = 0;
    for (const auto& R : I.Relations)
        for (const TPointArray* Offsets :
             {&R->HighResOffsets, &R->LowResOffsets, &R->HighResTrainingOffsets, &R->LowResTrainingOffsets})
            for (const TPoint& o : *Offsets) Largest = std::max({Largest, std::abs(o.X), std::abs(o.Y)});
    return Largest;
}

} // namespace

std::unique_ptr<TWienerLanePass> TWienerLanePass::For(const TWienerRun& Run) {
    const TBitmapWienerInterpolation& I = Run.Interpolator;
    if (SelectedEngine() == TEngine::Reference || I.TrainingRegion < 1 || Run.Source.Count == 0) return nullptr;
    for (const auto& R : I.Relations) {
        const std::int32_t n = R->WeightCount();
        // The training columns must be the filter's weights.
        if (n < 1 || n > MaxLaneWeights || R->HighResTrainingOffsets.Length() + R->LowResTrainingOffsets.Length() != n)
            return nullptr;
        if (!R->LowResTrainingOffsets.Empty())
            for (const auto& Column : Run.PhaseMaps)
                for (const auto& Phase : Column)
                    if (Phase->Count == 0) return nullptr;
    }
    return std::make_unique<TWienerLanePass>(Run, LaneCount(), LargestOffset(I));
}

TWienerLanePass::TWienerLanePass(const TWienerRun& Run, std::int32_t Lanes, std::int32_t Reach)
    : FLanes(Lanes), FSource(Run.Source, Run.Interpolator.TrainingRegion + Lanes + Reach + 2) {
    // Training pixels lie up to the region plus a block outside the source;
    // their phase-map positions a factor closer.
    const std::int32_t S = Run.Interpolator.ScaleFactor;
    const std::int32_t PhasePad = (Run.Interpolator.TrainingRegion + Lanes + S) / S + Reach + 3;
    for (const auto& Column : Run.PhaseMaps)
        for (const auto& Phase : Column)
            if (Phase) FPhases.emplace_back(*Phase, PhasePad);
}

void TWienerLanePass::GatherSquares(const TWienerRun& Run, const TPixelRelations& R, std::int32_t First,
                                    std::int32_t Entries, std::int32_t FirstRow, std::int32_t Rows,
                                    std::ptrdiff_t Stride, double* Squares) const {
    const std::int32_t S = Run.Interpolator.ScaleFactor;
    const std::int32_t n = R.WeightCount();
    const std::int32_t High = R.HighResTrainingOffsets.Length();
    for (std::int32_t Row = 0; Row < Rows; ++Row) {
        const std::int32_t TY = FirstRow + Row;
        double* Entry = Squares + std::ptrdiff_t(Row) * n * Stride;
        // High-resolution training values: the source around the training pixel.
        for (const TPoint& o : R.HighResTrainingOffsets) {
            const double* Values = FSource.Row(TY + o.Y) + First + o.X;
            std::copy(Values, Values + Entries, Entry);
            Entry += Stride;
        }
        if (High == n) continue;
        // Low-resolution ones: the phase map of the training pixel relative
        // to the block, around its position there (truncated toward zero).
        const std::int32_t PY = TY - R.Y;
        const std::size_t RowPhase = std::size_t(PhaseOf(PY, S));
        for (const TPoint& o : R.LowResTrainingOffsets) {
            for (std::int32_t i = 0; i < Entries; ++i) {
                const std::int32_t PX = First + i - R.X;
                const TPaddedMap& Phase = FPhases[std::size_t(PhaseOf(PX, S)) * std::size_t(S) + RowPhase];
                Entry[i] = Phase.Row(PY / S + o.Y)[PX / S + o.X];
            }
            Entry += Stride;
        }
    }
}

void TWienerLanePass::ProcessRows(const TWienerRun& Run, const TRowRange& Range, bool ReportProgress) const {
    const TBitmapWienerInterpolation& I = Run.Interpolator;
    const TPixelRelations& R = *I.Relations[std::size_t(Run.CurrentRelation)];
    const std::int32_t Width = Run.Source.Width;
    const std::int32_t L = FLanes;
    const std::int32_t n = R.WeightCount();
    const std::int32_t b = I.TrainingRegion;
    // The training square of source pixel (x, y) starts at (x + Low, y + Low).
    const std::int32_t Low = b / 2 - b + 1;
    const std::int32_t Segment = std::max(L, SegmentPixels / L * L);
    const std::ptrdiff_t Stride = Segment + b - 1;

    // The working sets of the item, reused for every block.
    std::vector<double> Squares(std::size_t(BandRows + b - 1) * std::size_t(n) * std::size_t(Stride));
    std::vector<double> Scratch(LaneScratchSize(n));
    std::vector<double> Solution(std::size_t(n * L));
    TWienerWork Work(b * b, n);

    const double* Target = nullptr;
    TLaneSolveJob Job;
    Job.Weights = n;
    Job.Side = b;
    Job.LambdaSquared = Run.EffectiveLambda * Run.EffectiveLambda;
    Job.Regularised = Run.EffectiveLambda != 0.0;
    Job.SquareStride = Stride;
    Job.RightHandSides = 1;
    Job.Targets = &Target;
    Job.TargetStride = FSource.Stride();

    for (std::int32_t Band = Range.First; Band <= Range.Last; Band += BandRows) {
        const std::int32_t BandEnd = std::min(Band + BandRows - 1, Range.Last);
        for (std::int32_t First = 0; First < Width; First += Segment) {
            const std::int32_t Pixels = std::min(Segment, Width - First);
            // Whole blocks: the last one may reach into the padding.
            const std::int32_t Entries = (Pixels + L - 1) / L * L + b - 1;
            GatherSquares(Run, R, First + Low, Entries, Band + Low, BandEnd - Band + b, Stride, Squares.data());
            for (std::int32_t y = Band; y <= BandEnd; ++y) {
                Job.Squares = Squares.data() + std::ptrdiff_t(y - Band) * n * Stride;
                // The training targets: the source at the training pixels.
                Target = FSource.Row(y + Low) + First + Low;
                for (std::int32_t Block = 0; Block < Pixels; Block += L) {
                    const bool Solved = SolveLanes(Job, Block, Solution.data(), Scratch.data());
                    for (std::int32_t l = 0; l < L && Block + l < Pixels; ++l) {
                        const std::int32_t x = First + Block + l;
                        if (!Solved) {
                            Run.ReferencePixel(R, x, y, Work);
                            continue;
                        }
                        for (std::int32_t c = 0; c < n; ++c) Work.w.Map[c] = Solution[std::size_t(c * L + l)];
                        Run.PredictWithWeights(R, x, y, Work);
                    }
                }
            }
        }
        for (std::int32_t y = Band; ReportProgress && y <= BandEnd; ++y) Run.ReportRow(y, Range);
    }
}

} // namespace fi
