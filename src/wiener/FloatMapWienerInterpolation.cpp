#include "wiener/FloatMapWienerInterpolation.h"

#include <cmath>
#include <utility>

#include "numerics/LUDecomposition.h"
#include "numerics/Matrix.h"
#include "parallel/Progress.h"
#include "wiener/FloatMapFilter.h"
#include "wiener/WienerLanePass.h"

namespace fi {

TPointArray::TPointArray(std::initializer_list<TPoint> Points) : TPointArray(std::vector<TPoint>(Points)) {}

TPointArray::TPointArray(std::vector<TPoint> Points) {
    if (!Points.empty()) FData = std::make_shared<const std::vector<TPoint>>(std::move(Points));
}

namespace {

// The neighbourhood patterns of the setups. Every call builds a new array.
TPointArray Diagonal1() { return {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}}; }
TPointArray Axial1VerticalFirst() { return {{0, -1}, {0, 1}, {-1, 0}, {1, 0}}; }
TPointArray Axial1HorizontalFirst() { return {{-1, 0}, {1, 0}, {0, -1}, {0, 1}}; }
TPointArray Diagonal2() { return {{-2, -2}, {2, -2}, {-2, 2}, {2, 2}}; }
TPointArray Axial2() { return {{0, -2}, {0, 2}, {-2, 0}, {2, 0}}; }
TPointArray Corner4() { return {{0, 0}, {1, 0}, {0, 1}, {1, 1}}; }

TPointArray Star5() {
    std::vector<TPoint> Points;
    for (std::int32_t Y = -1; Y <= 1; ++Y)
        for (std::int32_t X = -1; X <= 1; ++X)
            if (X == 0 || Y == 0) Points.push_back({X, Y});
    return TPointArray(std::move(Points));
}

TPointArray Square(std::int32_t R) {
    std::vector<TPoint> Points;
    for (std::int32_t Y = -R; Y <= R; ++Y)
        for (std::int32_t X = -R; X <= R; ++X) Points.push_back({X, Y});
    return TPointArray(std::move(Points));
}

// Gives Relation the position and all four arrays of Model.
void CopyArrays(TPixelRelations& Relation, const TPixelRelations& Model, std::int32_t X, std::int32_t Y) {
    Relation.X = X;
    Relation.Y = Y;
    Relation.HighResOffsets = Model.HighResOffsets;
    Relation.LowResOffsets = Model.LowResOffsets;
    Relation.HighResTrainingOffsets = Model.HighResTrainingOffsets;
    Relation.LowResTrainingOffsets = Model.LowResTrainingOffsets;
}

} // namespace

void TBitmapWienerInterpolation::ClearRelations() { Relations.clear(); }

void TBitmapWienerInterpolation::SetRelationCount(std::int32_t N) {
    ClearRelations();
    Relations.reserve(std::size_t(N > 0 ? N : 0));
    for (std::int32_t i = 0; i < N; ++i) Relations.push_back(std::make_unique<TPixelRelations>());
}

void TBitmapWienerInterpolation::SetupXinLi2x() {
    ScaleFactor = 2;
    TrainingRegion = 4;
    Lambda = 1e-7;
    ClampWeights = true;
    NormalizeWeights = true;
    ClampResult = false;
    FilterStrength = 0.0f;
    SetRelationCount(3);
    TPixelRelations& Diagonal = *Relations[0];
    Diagonal.X = 1;
    Diagonal.Y = 1;
    Diagonal.HighResOffsets = Diagonal1();
    Diagonal.HighResTrainingOffsets = Diagonal.HighResOffsets;
    TPixelRelations& Axial = *Relations[1];
    Axial.X = 1;
    Axial.Y = 0;
    Axial.HighResOffsets = Axial1VerticalFirst();
    Axial.HighResTrainingOffsets = Axial.HighResOffsets;
    CopyArrays(*Relations[2], Axial, 0, 1);
}

void TBitmapWienerInterpolation::SetupXinLi4x() {
    ScaleFactor = 4;
    TrainingRegion = 6;
    Lambda = 1e-7;
    ClampWeights = true;
    NormalizeWeights = true;
    ClampResult = false;
    FilterStrength = 0.0f;
    SetRelationCount(15);

    TPixelRelations& Centre = *Relations[0];
    Centre.X = 2;
    Centre.Y = 2;
    Centre.LowResOffsets = Corner4();
    Centre.HighResTrainingOffsets = Diagonal2();

    TPixelRelations& Edge = *Relations[1];
    Edge.X = 2;
    Edge.Y = 0;
    Edge.HighResOffsets = Axial2();
    Edge.HighResTrainingOffsets = Axial2();
    CopyArrays(*Relations[2], Edge, 0, 2);

    TPixelRelations& Diagonal = *Relations[3];
    Diagonal.X = 1;
    Diagonal.Y = 1;
    Diagonal.HighResOffsets = Diagonal1();
    Diagonal.HighResTrainingOffsets = Diagonal.HighResOffsets;
    CopyArrays(*Relations[4], Diagonal, 3, 1);
    CopyArrays(*Relations[5], Diagonal, 1, 3);
    CopyArrays(*Relations[6], Diagonal, 3, 3);

    TPixelRelations& Axial = *Relations[7];
    Axial.X = 1;
    Axial.Y = 0;
    Axial.HighResOffsets = Axial1HorizontalFirst();
    Axial.HighResTrainingOffsets = Axial.HighResOffsets;
    static const TPoint AxialPositions[] = {{3, 0}, {0, 1}, {2, 1}, {1, 2}, {3, 2}, {0, 3}, {2, 3}};
    std::size_t Next = 8;
    for (const TPoint& P : AxialPositions) CopyArrays(*Relations[Next++], Axial, P.X, P.Y);
}

void TBitmapWienerInterpolation::SetupFractalStar(std::int32_t Scale) {
    ScaleFactor = Scale;
    TrainingRegion = 7;
    Lambda = 1e-4;
    ClampWeights = false;
    NormalizeWeights = false;
    ClampResult = true;
    FilterStrength = 4.0f;
    SetRelationCount(Scale * Scale);
    for (std::int32_t Y = 0; Y < Scale; ++Y)
        for (std::int32_t X = 0; X < Scale; ++X) {
            TPixelRelations& Relation = *Relations[std::size_t(Scale * Y + X)];
            Relation.X = X;
            Relation.Y = Y;
            Relation.LowResOffsets = Star5();
            Relation.LowResTrainingOffsets = Relation.LowResOffsets;
        }
}

void TBitmapWienerInterpolation::SetupFractalSquare(std::int32_t Scale, std::int32_t Radius) {
    ScaleFactor = Scale;
    TrainingRegion = 7;
    Lambda = 0.01;
    ClampWeights = false;
    NormalizeWeights = false;
    ClampResult = false;
    FilterStrength = 8.0f;
    SetRelationCount(Scale * Scale);
    for (std::int32_t Y = 0; Y < Scale; ++Y)
        for (std::int32_t X = 0; X < Scale; ++X) {
            TPixelRelations& Relation = *Relations[std::size_t(Scale * Y + X)];
            Relation.X = X;
            Relation.Y = Y;
            Relation.LowResOffsets = Square(Radius);
            Relation.LowResTrainingOffsets = Relation.LowResOffsets;
        }
}

namespace {

// The four relations of the combined setups: the (0, 0) pass filters the
// source pixel first, then the diagonal and the two axial passes also read the
// values already written around them. Pattern builds each low-resolution array.
template <typename TPattern>
void BuildCombinedRelations(TPixelRelationsArray& Relations, TPattern Pattern) {
    static const TPoint Positions[] = {{0, 0}, {1, 1}, {1, 0}, {0, 1}};
    for (std::size_t i = 0; i < 4; ++i) {
        TPixelRelations& Relation = *Relations[i];
        Relation.X = Positions[i].X;
        Relation.Y = Positions[i].Y;
        Relation.LowResOffsets = Pattern();
        Relation.LowResTrainingOffsets = Relation.LowResOffsets;
        if (i == 1) Relation.HighResOffsets = Diagonal1();
        if (i >= 2) Relation.HighResOffsets = Axial1VerticalFirst();
        Relation.HighResTrainingOffsets = Relation.HighResOffsets;
    }
}

} // namespace

void TBitmapWienerInterpolation::SetupFractalStarXinLi() {
    ScaleFactor = 2;
    TrainingRegion = 5;
    Lambda = 1e-5;
    ClampWeights = false;
    NormalizeWeights = false;
    ClampResult = true;
    FilterStrength = 4.0f;
    SetRelationCount(4);
    BuildCombinedRelations(Relations, Star5);
}

void TBitmapWienerInterpolation::SetupFractalSquareXinLi(std::int32_t Radius) {
    ScaleFactor = 2;
    TrainingRegion = 7;
    Lambda = 1e-5;
    ClampWeights = false;
    NormalizeWeights = false;
    ClampResult = true;
    FilterStrength = 4.0f;
    SetRelationCount(4);
    BuildCombinedRelations(Relations, [Radius] { return Square(Radius); });
}

TInterpolatorSettings ReadSettings(const TBitmapWienerInterpolation& I) {
    TInterpolatorSettings S;
    S.ScaleFactor = I.ScaleFactor;
    S.TrainingRegion = I.TrainingRegion;
    S.Lambda = I.Lambda;
    S.FilterStrength = I.FilterStrength;
    S.ClampWeights = I.ClampWeights;
    S.NormalizeWeights = I.NormalizeWeights;
    S.ClampResult = I.ClampResult;
    return S;
}

void WriteFineTuning(TBitmapWienerInterpolation& I, const TInterpolatorSettings& S) {
    I.TrainingRegion = S.TrainingRegion;
    I.Lambda = S.Lambda;
    I.FilterStrength = S.FilterStrength;
    I.ClampWeights = S.ClampWeights;
    I.NormalizeWeights = S.NormalizeWeights;
    I.ClampResult = S.ClampResult;
}

void ReadOffsets(const TFloatMap& Map, std::int32_t X, std::int32_t Y, double* Out, const TPointArray& Offsets) {
    for (const TPoint& o : Offsets) *Out++ = Map.GetClamped(X + o.X, Y + o.Y);
}

void BoxReduce(TFloatMap& Src, std::int32_t Factor, TFloatMap* Dst, std::int32_t RowPhase, std::int32_t ColumnPhase) {
    if (Dst != nullptr && Dst != &Src) {
        BoxReduce(std::as_const(Src), Factor, *Dst, RowPhase, ColumnPhase);
        return;
    }
    TFloatMap Temporary;
    BoxReduce(std::as_const(Src), Factor, Temporary, RowPhase, ColumnPhase);
    Src.TakeOver(Temporary);
}

void BoxReduce(const TFloatMap& Src, std::int32_t Factor, TFloatMap& Out, std::int32_t RowPhase,
               std::int32_t ColumnPhase) {
    Out.SetSize((Src.Width - ColumnPhase) / Factor, (Src.Height - RowPhase) / Factor);
    const double Reciprocal = 1.0 / double(Factor * Factor);
    RunRows(0, Out.Height - 1, 32, [&](const TRowRange& Rows) {
        for (std::int32_t f = Rows.First; f <= Rows.Last; ++f) {
            double* OutRow = Out.RowPtr(f);
            for (std::int32_t h = 0; h < Out.Width; ++h) {
                double Sum = 0.0;
                for (std::int32_t r = 0; r < Factor; ++r) {
                    const double* Block = Src.PixelPtr(ColumnPhase + Factor * h, RowPhase + Factor * f + r);
                    for (std::int32_t k = 0; k < Factor; ++k) Sum += Block[k];
                }
                OutRow[h] = Sum * Reciprocal;
            }
        }
    });
}

void ReplicateEnlarge(const TFloatMap& Src, TFloatMap& Dst, std::int32_t Factor) {
    Dst.SetSize(Factor * Src.Width, Factor * Src.Height);
    for (std::int32_t a = 0; a < Src.Height; ++a) {
        const double* In = Src.RowPtr(a);
        double* First = Dst.RowPtr(Factor * a);
        for (std::int32_t x = 0; x < Src.Width; ++x)
            for (std::int32_t k = 0; k < Factor; ++k) First[Factor * x + k] = In[x];
        for (std::int32_t r = 1; r < Factor; ++r) {
            double* Copy = Dst.RowPtr(Factor * a + r);
            for (std::int32_t i = 0; i < Dst.Width; ++i) Copy[i] = First[i];
        }
    }
}

bool IsConstantRange(double MinValue, double MaxValue) {
    const double Tolerance = std::fmax(1e-12 * std::fmin(std::fabs(MinValue), std::fabs(MaxValue)), 1e-12);
    return std::fabs(MaxValue - MinValue) <= Tolerance;
}

bool AllFinite(const TVector& V) {
    for (std::int32_t i = 0; i < V.Count; ++i)
        if (!std::isfinite(V.Map[i])) return false;
    return true;
}

bool SolveFilterWeights(const TMatrix& A, const TVector& t, TVector& w, double Lambda, TLeastSquaresWork& Work) {
    return TrySolveLeastSquares(A, t, w, Lambda, Work) == TSolveStatus::Solved && AllFinite(w);
}

TWienerWork::TWienerWork(std::int32_t Samples, std::int32_t Weights)
    : A(Samples, Weights), t(Samples), w(Weights), v(Weights) {}

void TBitmapWienerInterpolation::Interpolate(const TFloatMap& Src, TFloatMap& Dst) {
    const std::int32_t S = ScaleFactor;
    double MinValue;
    double MaxValue;
    Src.GetMinMax(MinValue, MaxValue);
    if (IsConstantRange(MinValue, MaxValue)) {
        Dst.SetSize(S * Src.Width, S * Src.Height);
        Dst.Fill(Src.Map[0]);
        return;
    }
    {
        TWienerRun Run(*this, Src, Dst, (MaxValue - MinValue) * Lambda);
        struct TShowRun {
            const TWienerRun*& Shown;
            ~TShowRun() { Shown = nullptr; }
        } ShowRun{FRun};
        FRun = &Run;
        Run.RunPasses();
    }
    if (FilterStrength > 0.0f) ArtefactFilter(Dst, float(double(FilterStrength) / (MaxValue - MinValue)));
}

TWienerRun::TWienerRun(const TBitmapWienerInterpolation& AInterpolator, const TFloatMap& ASource, TFloatMap& ADest,
                       double AEffectiveLambda)
    : Interpolator(AInterpolator), Source(ASource), Dest(ADest), EffectiveLambda(AEffectiveLambda) {}

TWienerRun::~TWienerRun() = default;

void TWienerRun::RunPasses() {
    const std::int32_t S = Interpolator.ScaleFactor;
    PhaseMaps.resize(std::size_t(S));
    for (auto& Column : PhaseMaps) Column.resize(std::size_t(S));
    bool TrainsOnPhases = false;
    for (const auto& Relation : Interpolator.Relations)
        TrainsOnPhases = TrainsOnPhases || !Relation->LowResTrainingOffsets.Empty();
    if (TrainsOnPhases)
        for (std::int32_t q = 0; q < S; ++q)
            for (std::int32_t p = 0; p < S; ++p) {
                PhaseMaps[p][q] = std::make_unique<TFloatMap>();
                BoxReduce(Source, S, *PhaseMaps[p][q], q, p);
            }
    ReplicateEnlarge(Source, Dest, S);
    FLanes = TWienerLanePass::For(*this);
    for (std::int32_t r = 0; r < std::int32_t(Interpolator.Relations.size()); ++r) {
        CurrentRelation = r;
        RunRange(0, Source.Height - 1, 16, 0);
    }
}

namespace {

// Rows of Work.A and entries of Work.t: the training pairs of source pixel
// (x, y) over its TrainingRegion square. False where a phase map it needs is
// empty (a source side too short for the factor).
bool FormTrainingSet(const TWienerRun& Run, const TPixelRelations& R, std::int32_t x, std::int32_t y,
                     TWienerWork& Work) {
    const TFloatMap& Src = Run.Source;
    const std::int32_t S = Run.Interpolator.ScaleFactor;
    const std::int32_t b = Run.Interpolator.TrainingRegion;
    const std::int32_t Half = b / 2;
    const std::int32_t HighTraining = R.HighResTrainingOffsets.Length();
    std::int32_t j = 0;
    for (std::int32_t ty = y + Half - b + 1; ty <= y + Half; ++ty)
        for (std::int32_t tx = x + Half - b + 1; tx <= x + Half; ++tx) {
            double* Row = Work.A.RowPtr(j);
            if (HighTraining > 0) ReadOffsets(Src, tx, ty, Row, R.HighResTrainingOffsets);
            if (!R.LowResTrainingOffsets.Empty()) {
                const TFloatMap& Phase =
                    *Run.PhaseMaps[std::size_t(PhaseOf(tx - R.X, S))][std::size_t(PhaseOf(ty - R.Y, S))];
                if (Phase.Count == 0) return false;
                // Division truncating toward zero, also left of and above the map.
                ReadOffsets(Phase, (tx - R.X) / S, (ty - R.Y) / S, Row + HighTraining, R.LowResTrainingOffsets);
            }
            Work.t.Map[j] = Src.GetClamped(tx, ty);
            ++j;
        }
    return true;
}

// Work.w, the filter when Solved, clamped and normalised as the switches say;
// equal weights where the solve or the normalisation failed.
void AdjustWeights(const TBitmapWienerInterpolation& I, bool Solved, std::int32_t n, TWienerWork& Work) {
    if (Solved && I.ClampWeights)
        for (std::int32_t k = 0; k < n; ++k) {
            double& Weight = Work.w.Map[k];
            if (Weight > 1.0) Weight = 1.0;
            if (Weight < 0.0) Weight = 0.0;
        }
    if (Solved && I.NormalizeWeights) {
        const double Sum = Work.w.Sum();
        if (Sum != 0.0) {
            const double Factor = 1.0 / Sum;
            for (std::int32_t k = 0; k < n; ++k) Work.w.Map[k] *= Factor;
        }
        // An overflowing sum or reciprocal fails like the solve.
        Solved = std::isfinite(Sum) && AllFinite(Work.w);
    }
    if (!Solved) Work.w.Fill(1.0 / n);
}

// The output pixel of relation R for source pixel (x, y), from its inputs
// and Work.w, clamped to the inputs' range where asked.
void Predict(const TWienerRun& Run, const TPixelRelations& R, std::int32_t x, std::int32_t y, TWienerWork& Work) {
    TFloatMap& Dst = Run.Dest;
    const std::int32_t HighInputs = R.HighResOffsets.Length();
    const std::int32_t OutX = Run.Interpolator.ScaleFactor * x + R.X;
    const std::int32_t OutY = Run.Interpolator.ScaleFactor * y + R.Y;
    if (HighInputs > 0) ReadOffsets(Dst, OutX, OutY, Work.v.Map, R.HighResOffsets);
    if (!R.LowResOffsets.Empty()) ReadOffsets(Run.Source, x, y, Work.v.Map + HighInputs, R.LowResOffsets);
    double Prediction = Work.v.Dot(Work.w);
    if (Run.Interpolator.ClampResult) {
        double Lo;
        double Hi;
        Work.v.GetMinMax(Lo, Hi);
        if (Prediction < Lo) Prediction = Lo;
        if (Prediction > Hi) Prediction = Hi;
    }
    *Dst.PixelPtr(OutX, OutY) = Prediction;
}

} // namespace

void TWienerRun::ReferencePixel(const TPixelRelations& R, std::int32_t x, std::int32_t y, TWienerWork& Work) const {
    const bool Formed = FormTrainingSet(*this, R, x, y, Work);
    const std::int32_t n = R.WeightCount();
    AdjustWeights(Interpolator, Formed && SolveFilterWeights(Work.A, Work.t, Work.w, EffectiveLambda, Work.Solver), n,
                  Work);
    Predict(*this, R, x, y, Work);
}

void TWienerRun::PredictWithWeights(const TPixelRelations& R, std::int32_t x, std::int32_t y, TWienerWork& Work) const {
    Predict(*this, R, x, y, Work);
}

void TWienerRun::ReportRow(std::int32_t y, const TRowRange& Range) const {
    if (ProgressHook == nullptr) return;
    const double RelationCount = double(Interpolator.Relations.size());
    const double Progress = Range.Last == 0 ? 98.0 * (CurrentRelation + 1) / RelationCount
                                            : 98.0 / RelationCount * (double(y) / Range.Last + CurrentRelation);
    ProgressHook(std::int32_t(std::nearbyint(Progress)));
}

void TWienerRun::ProcessItem(TMultiCoreProcessThread* Thread, void* Data) {
    const TRowRange& Range = *static_cast<const TRowRange*>(Data);
    if (FLanes) {
        FLanes->ProcessRows(*this, Range, Thread == nullptr);
        return;
    }
    const TPixelRelations& R = *Interpolator.Relations[std::size_t(CurrentRelation)];
    const std::int32_t b = Interpolator.TrainingRegion;
    TWienerWork Work(b > 0 ? b * b : 0, R.WeightCount());
    for (std::int32_t y = Range.First; y <= Range.Last; ++y) {
        for (std::int32_t x = 0; x < Source.Width; ++x) ReferencePixel(R, x, y, Work);
        if (Thread == nullptr) ReportRow(y, Range);
    }
}

} // namespace fi
