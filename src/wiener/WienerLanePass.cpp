#include "wiener/WienerLanePass.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "wiener/EngineChoice.h"
#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/LaneSolver.h"

namespace fi {

namespace {

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
    : FLanes(Lanes),
      FSource(Run.Source, Run.Interpolator.TrainingRegion + Lanes + Reach + Run.Interpolator.ScaleFactor + 2) {
    // Training pixels lie up to the region, a block and a block position
    // outside the source; their phase-map positions a factor closer.
    const std::int32_t S = Run.Interpolator.ScaleFactor;
    const std::int32_t PhasePad = (Run.Interpolator.TrainingRegion + Lanes + S) / S + Reach + 3;
    for (const auto& Column : Run.PhaseMaps)
        for (const auto& Phase : Column)
            if (Phase) FPhases.emplace_back(*Phase, PhasePad);
    // Relations that read only the source and train on the same reduced
    // neighbourhoods share one training matrix per key: one pass may
    // compute them all.
    const auto& Relations = Run.Interpolator.Relations;
    bool Shared = Relations.size() > 1;
    for (const auto& R : Relations) {
        Shared = Shared && R->HighResOffsets.Empty() && R->HighResTrainingOffsets.Empty() &&
                 std::equal(R->LowResTrainingOffsets.begin(), R->LowResTrainingOffsets.end(),
                            Relations[0]->LowResTrainingOffsets.begin(), Relations[0]->LowResTrainingOffsets.end(),
                            [](const TPoint& A, const TPoint& B) { return A.X == B.X && A.Y == B.Y; });
        FReachX = std::max(FReachX, R->X);
        FReachY = std::max(FReachY, R->Y);
    }
    if (Shared)
        for (const auto& R : Relations) FShared.push_back(R.get());
}

void TWienerLanePass::GatherSquares(const TWienerRun& Run, const TPixelRelations& R, std::int32_t First,
                                    std::int32_t Entries, std::int32_t FirstRow, std::int32_t Rows,
                                    std::ptrdiff_t Stride, double* Squares) const {
    const std::int32_t S = Run.Interpolator.ScaleFactor;
    const std::int32_t n = R.WeightCount();
    const std::int32_t High = R.HighResTrainingOffsets.Length();
    std::vector<const double*> PhaseRows(High == n ? 0 : std::size_t(S));
    for (std::int32_t Row = 0; Row < Rows; ++Row) {
        const std::int32_t PY = FirstRow + Row;
        double* Entry = Squares + std::ptrdiff_t(Row) * n * Stride;
        // High-resolution training values: the source around the training
        // pixel, which lies (X, Y) from the key's position.
        for (const TPoint& o : R.HighResTrainingOffsets) {
            const double* Values = FSource.Row(PY + R.Y + o.Y) + First + R.X + o.X;
            std::copy(Values, Values + Entries, Entry);
            Entry += Stride;
        }
        if (High == n) continue;
        // Low-resolution ones: the phase map of the key's position, around
        // its place there (truncated toward zero). Left of the map the
        // truncation breaks the pattern; from column 0 on, the phase and
        // the place step along without a division.
        const std::size_t RowPhase = std::size_t(PhaseOf(PY, S));
        for (const TPoint& o : R.LowResTrainingOffsets) {
            for (std::size_t p = 0; p < std::size_t(S); ++p)
                PhaseRows[p] = FPhases[p * std::size_t(S) + RowPhase].Row(PY / S + o.Y) + o.X;
            std::int32_t i = 0;
            for (; i < Entries && First + i < 0; ++i)
                Entry[i] = PhaseRows[std::size_t(PhaseOf(First + i, S))][(First + i) / S];
            for (std::int32_t Phase = (First + i) % S, Place = (First + i) / S; i < Entries; ++i) {
                Entry[i] = PhaseRows[std::size_t(Phase)][Place];
                if (++Phase == S) {
                    Phase = 0;
                    ++Place;
                }
            }
            Entry += Stride;
        }
    }
}

TWienerLanePass::TKeyRows TWienerLanePass::KeyRowsOf(const TWienerRun& Run, const TRowRange& Range) const {
    const TPixelRelations& R = *Run.Interpolator.Relations[std::size_t(Run.CurrentRelation)];
    if (FShared.empty()) return {Range.First - R.Y, Range.Last - R.Y, R.Y, false, 0, 0};
    // Pass r takes the r-th slice of all key rows, and each of its items the
    // keys whose position, spread over the source rows, falls in its rows.
    const std::int32_t H = Run.Source.Height;
    const std::int32_t Passes = std::int32_t(Run.Interpolator.Relations.size());
    const std::int32_t FirstKey = -FReachY;
    const std::int32_t Keys = H + FReachY;
    TKeyRows Rows{};
    Rows.Sliced = true;
    const auto SliceStart = [&](std::int32_t Pass) {
        return FirstKey + std::int32_t(std::int64_t(Keys) * Pass / Passes);
    };
    Rows.SliceFirst = SliceStart(Run.CurrentRelation);
    Rows.SliceLength = SliceStart(Run.CurrentRelation + 1) - Rows.SliceFirst;
    Rows.First = Rows.SliceFirst;
    while (Rows.First < Rows.SliceFirst + Rows.SliceLength && Rows.Position(Rows.First, H) < Range.First) ++Rows.First;
    Rows.Last = Rows.First - 1;
    while (Rows.Last + 1 < Rows.SliceFirst + Rows.SliceLength && Rows.Position(Rows.Last + 1, H) <= Range.Last)
        ++Rows.Last;
    return Rows;
}

bool TWienerLanePass::PredictBlock(const TWienerRun& Run, const TPixelRelations& R, std::int32_t x, std::int32_t y,
                                   const double* Weights) const {
    const TBitmapWienerInterpolation& I = Run.Interpolator;
    const TFloatMap& Src = Run.Source;
    TFloatMap& Dst = Run.Dest;
    const std::int32_t S = I.ScaleFactor;
    const std::int32_t Last = x + FLanes - 1;
    if (x < 0 || Last >= Src.Width || y < 0 || y >= Src.Height) return false;
    const std::int32_t OutX = S * x + R.X, OutLast = S * Last + R.X, OutY = S * y + R.Y;
    const auto Inside = [](const TFloatMap& Map, std::int32_t X0, std::int32_t X1, std::int32_t Y) {
        return X0 >= 0 && X1 < Map.Width && Y >= 0 && Y < Map.Height;
    };
    std::array<const double*, MaxLaneWeights> Inputs;
    std::array<std::int32_t, MaxLaneWeights> Steps;
    std::size_t c = 0;
    for (const TPoint& o : R.HighResOffsets) {
        // An input on the relation's own grid could be another lane's output.
        if (o.X % S == 0 && o.Y % S == 0) return false;
        if (!Inside(Dst, OutX + o.X, OutLast + o.X, OutY + o.Y)) return false;
        Inputs[c] = Dst.PixelPtr(OutX + o.X, OutY + o.Y);
        Steps[c++] = S;
    }
    for (const TPoint& o : R.LowResOffsets) {
        if (!Inside(Src, x + o.X, Last + o.X, y + o.Y)) return false;
        Inputs[c] = Src.PixelPtr(x + o.X, y + o.Y);
        Steps[c++] = 1;
    }
    PredictLanes(std::int32_t(c), Inputs.data(), Steps.data(), Weights, I.ClampResult, Dst.PixelPtr(OutX, OutY), S);
    return true;
}

void TWienerLanePass::PredictKeys(const TWienerRun& Run, const std::vector<const TPixelRelations*>& Group,
                                  std::int32_t First, std::int32_t Block, std::int32_t Keys, std::int32_t Key,
                                  bool Solved, double* Solution, TWienerWork& Work) const {
    const TBitmapWienerInterpolation& I = Run.Interpolator;
    const std::int32_t L = FLanes;
    const std::int32_t n = I.Relations[std::size_t(Run.CurrentRelation)]->WeightCount();
    const std::size_t G = Group.size();
    if (Solved)
        for (std::size_t g = 0; g < G; ++g)
            AdjustLaneWeights(Solution + g * std::size_t(n * L), n, I.ClampWeights, I.NormalizeWeights);
    // Whole blocks inside the maps are predicted all lanes at once, the
    // others lane by lane. A group of several relations reads only the
    // source, so their outputs may come in any order.
    for (std::size_t g = 0; g < G; ++g) {
        const TPixelRelations& Relation = *Group[g];
        const double* Weights = Solution + g * std::size_t(n * L);
        if (Solved && Keys == L && PredictBlock(Run, Relation, First + Block + Relation.X, Key + Relation.Y, Weights))
            continue;
        for (std::int32_t l = 0; l < Keys; ++l) {
            const std::int32_t x = First + Block + l + Relation.X, y = Key + Relation.Y;
            if (x < 0 || x >= Run.Source.Width || y < 0 || y >= Run.Source.Height) continue;
            if (!Solved) {
                Run.ReferencePixel(Relation, x, y, Work);
                continue;
            }
            for (std::int32_t c = 0; c < n; ++c) Work.w.Map[c] = Weights[std::size_t(c * L + l)];
            Run.PredictWithWeights(Relation, x, y, Work);
        }
    }
}

void TWienerLanePass::ProcessRows(const TWienerRun& Run, const TRowRange& Range, bool ReportProgress) const {
    const TBitmapWienerInterpolation& I = Run.Interpolator;
    const TPixelRelations& R = *I.Relations[std::size_t(Run.CurrentRelation)];
    // The relations that train on one matrix per key (x - X, y - Y).
    const std::vector<const TPixelRelations*> Single{&R};
    const std::vector<const TPixelRelations*>& Group = FShared.empty() ? Single : FShared;
    const std::int32_t G = std::int32_t(Group.size());
    const std::int32_t Width = Run.Source.Width;
    const std::int32_t Height = Run.Source.Height;
    const std::int32_t L = FLanes;
    const std::int32_t n = R.WeightCount();
    const std::int32_t b = I.TrainingRegion;
    // The training square of source pixel (x, y) starts at (x + Low, y + Low).
    const std::int32_t Low = b / 2 - b + 1;
    const std::int32_t Segment = std::max(L, LaneSegmentKeys / L * L);
    const std::ptrdiff_t Stride = Segment + b - 1;
    // Keys of a key row: every x - X of the group inside the source.
    const std::int32_t FirstKey = FShared.empty() ? -R.X : -FReachX;
    const std::int32_t LastKey = FShared.empty() ? Width - 1 - R.X : Width - 1;
    const TKeyRows Rows = KeyRowsOf(Run, Range);

    // The working sets of the item, reused for every block.
    std::vector<double> Squares(std::size_t(LaneBandRows + b - 1) * std::size_t(n) * std::size_t(Stride));
    TLaneBuffer Scratch(LaneScratchSize(n));
    TLaneBuffer Solution(LaneSolutionSize(n, G));
    std::vector<const double*> Targets(std::size_t(G), nullptr);
    TWienerWork Work(b * b, n);

    TLaneSolveJob Job;
    Job.Weights = n;
    Job.Side = b;
    Job.LambdaSquared = Run.EffectiveLambda * Run.EffectiveLambda;
    Job.Regularised = Run.EffectiveLambda != 0.0;
    Job.SquareStride = Stride;
    Job.RightHandSides = G;
    Job.Targets = Targets.data();
    Job.TargetStride = FSource.Stride();

    std::int32_t Reported = Range.First;
    for (std::int32_t Band = Rows.First; Band <= Rows.Last; Band += LaneBandRows) {
        const std::int32_t BandEnd = std::min(Band + LaneBandRows - 1, Rows.Last);
        for (std::int32_t First = FirstKey; First <= LastKey; First += Segment) {
            const std::int32_t Keys = std::min(Segment, LastKey + 1 - First);
            // Whole blocks: the last one may reach into the padding.
            const std::int32_t Entries = (Keys + L - 1) / L * L + b - 1;
            GatherSquares(Run, R, First + Low, Entries, Band + Low, BandEnd - Band + b, Stride, Squares.data());
            for (std::int32_t Key = Band; Key <= BandEnd; ++Key) {
                Job.Squares = Squares.data() + std::ptrdiff_t(Key - Band) * n * Stride;
                // The training targets: the source at the training pixels.
                for (std::int32_t g = 0; g < G; ++g)
                    Targets[std::size_t(g)] = FSource.Row(Key + Group[std::size_t(g)]->Y + Low) + First +
                                              Group[std::size_t(g)]->X + Low;
                SolveKeys(Job, Keys, Solution, Scratch, [&](std::int32_t Block, bool Solved, double* Weights) {
                    PredictKeys(Run, Group, First, Block, std::min(L, Keys - Block), Key, Solved, Weights, Work);
                });
            }
        }
        // The reference's progress values, in its order, as far as the work has come.
        for (const std::int32_t Until = Rows.Position(BandEnd, Height); ReportProgress && Reported <= Until; ++Reported)
            Run.ReportRow(Reported, Range);
    }
    for (; ReportProgress && Reported <= Range.Last; ++Reported) Run.ReportRow(Reported, Range);
}

} // namespace fi
