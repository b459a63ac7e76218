#include "wiener/FractalLanePass.h"

#include <algorithm>

#include "image/FloatMap.h"
#include "parallel/Progress.h"
#include "wiener/EngineChoice.h"
#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/LaneSolver.h"

namespace fi {

namespace {

// How far the pass reads outside each map: the training square and the
// input square around keys one left of the map up to a block's width right of it.
std::int32_t SourcePad(const TFractalInterpolateProcess& P, std::int32_t Lanes) {
    return P.RegionRadius + P.NeighbourRadius + Lanes + 2;
}
std::int32_t PhasePad(const TFractalInterpolateProcess& P, std::int32_t Lanes) {
    return (P.RegionRadius + Lanes) / 2 + P.NeighbourRadius + 3;
}

} // namespace

std::unique_ptr<TFractalLanePass> TFractalLanePass::For(const TFractalInterpolateProcess& Process) {
    if (SelectedEngine() == TEngine::Reference) return nullptr;
    for (const auto& Column : Process.PhaseMaps)
        for (const auto& Phase : Column)
            if (Phase->Count == 0) return nullptr;
    return std::make_unique<TFractalLanePass>(Process, LaneCount());
}

TFractalLanePass::TFractalLanePass(const TFractalInterpolateProcess& Process, std::int32_t Lanes)
    : FLanes(Lanes), FStripes(TMultiCoreProcess::ThreadCount(1, 16)), FRegionRadius(Process.RegionRadius),
      FNeighbourRadius(Process.NeighbourRadius), FSource(*Process.Source, SourcePad(Process, Lanes)) {
    FPhases.reserve(4);
    for (std::size_t p = 0; p < 2; ++p)
        for (std::size_t q = 0; q < 2; ++q) FPhases.emplace_back(*Process.PhaseMaps[p][q], PhasePad(Process, Lanes));
}

void TFractalLanePass::GatherSquares(std::int32_t FirstKey, std::int32_t Entries, std::int32_t FirstRow,
                                     std::int32_t Rows, std::int32_t Weights, std::ptrdiff_t Stride,
                                     double* Squares) const {
    const std::int32_t n = FNeighbourRadius;
    const std::int32_t r = FRegionRadius;
    const std::int32_t c = 2 * n + 1;
    // Training row (dy, dx) of key k reads the phase map of T = k + dx - r
    // around (T / 2, TY / 2), truncated toward zero.
    for (std::int32_t Row = 0; Row < Rows; ++Row) {
        const std::int32_t TY = FirstRow + Row;
        const std::size_t RowPhase = std::size_t(TY & 1);
        for (std::int32_t ky = 0; ky < c; ++ky) {
            const double* Phase[2] = {FPhases[RowPhase].Row(TY / 2 + ky - n),
                                      FPhases[2 + RowPhase].Row(TY / 2 + ky - n)};
            for (std::int32_t kx = 0; kx < c; ++kx) {
                double* Entry = Squares + (std::ptrdiff_t(Row) * Weights + ky * c + kx) * Stride;
                for (std::int32_t i = 0; i < Entries; ++i) {
                    const std::int32_t T = FirstKey - r + i;
                    Entry[i] = Phase[T & 1][T / 2 + kx - n];
                }
            }
        }
    }
}

double TFractalLanePass::Predict(std::int32_t x, std::int32_t y, const double* Weights, std::int32_t Step) const {
    const std::int32_t n = FNeighbourRadius;
    double Sum = 0.0;
    for (std::int32_t ky = -n; ky <= n; ++ky) {
        const double* Row = FSource.Row(y + ky) + x;
        for (std::int32_t kx = -n; kx <= n; ++kx, Weights += Step) Sum += Row[kx] * *Weights;
    }
    return Sum;
}

void TFractalLanePass::ProcessStripe(const TFractalInterpolateProcess& Process, std::int32_t Stripe,
                                     bool ReportProgress) const {
    const TFloatMap& Src = *Process.Source;
    TFloatMap& Dst = *Process.Dest;
    const std::int32_t L = FLanes;
    const std::int32_t n = FNeighbourRadius;
    const std::int32_t r = FRegionRadius;
    const std::int32_t Weights = (2 * n + 1) * (2 * n + 1);
    const std::int32_t Segment = std::max(L, LaneSegmentKeys / L * L);
    const std::ptrdiff_t Stride = Segment + 2 * r;

    // The working sets of the item, reused for every block.
    std::vector<double> Squares(std::size_t(LaneBandRows + 2 * r) * std::size_t(Weights) * std::size_t(Stride));
    TLaneBuffer Scratch(LaneScratchSize(Weights));
    TLaneBuffer Solution(LaneSolutionSize(Weights, 4));
    TWienerWork Work((2 * r + 1) * (2 * r + 1), Weights);

    const double* Targets[4];
    TLaneSolveJob Job;
    Job.Weights = Weights;
    Job.Side = 2 * r + 1;
    Job.LambdaSquared = Process.EffectiveLambda * Process.EffectiveLambda;
    Job.Regularised = Process.EffectiveLambda != 0.0;
    Job.SquareStride = Stride;
    Job.RightHandSides = 4;
    Job.Targets = Targets;
    Job.TargetStride = FSource.Stride();

    const std::int32_t LastKey = Src.Height - 1;
    for (std::int32_t Band = -1 + Stripe * LaneBandRows; Band <= LastKey; Band += FStripes * LaneBandRows) {
        const std::int32_t BandEnd = std::min(Band + LaneBandRows - 1, LastKey);
        for (std::int32_t First = -1; First < Src.Width; First += Segment) {
            const std::int32_t Keys = std::min(Segment, Src.Width - First);
            // Whole blocks: the last one may reach into the padding.
            const std::int32_t Entries = (Keys + L - 1) / L * L + 2 * r;
            // The training rows of the band's keys, gathered once for all of them.
            GatherSquares(First, Entries, Band - r, BandEnd - Band + 1 + 2 * r, Weights, Stride, Squares.data());
            for (std::int32_t Key = Band; Key <= BandEnd; ++Key) {
                Job.Squares = Squares.data() + std::ptrdiff_t(Key - Band) * Weights * Stride;
                // The training targets of output pixel (s, u): source pixels
                // (key + s + dx - r, key row + u + dy - r).
                for (std::int32_t su = 0; su < 4; ++su)
                    Targets[su] = FSource.Row(Key + su / 2 - r) + First + su % 2 - r;
                SolveKeys(Job, Keys, Solution, Scratch, [&](std::int32_t Block, bool Solved, const double* Weighted) {
                    for (std::int32_t l = 0; l < L && Block + l < Keys; ++l)
                        for (std::int32_t su = 0; su < 4; ++su) {
                            const std::int32_t s = su % 2, u = su / 2;
                            const std::int32_t x = First + Block + l + s, y = Key + u;
                            if (x < 0 || x >= Src.Width || y < 0 || y >= Src.Height) continue;
                            *Dst.PixelPtr(2 * x + s, 2 * y + u) =
                                Solved ? Predict(x, y, Weighted + std::size_t(su * Weights * L + l), L)
                                       : Process.ReferencePixel(x, y, s, u, Work);
                        }
                });
            }
        }
        // After each source row, as the reference reports on one thread; the key row above the source is none.
        for (std::int32_t Key = std::max(Band, 0); ReportProgress && Key <= BandEnd; ++Key)
            if (ProgressHook != nullptr) ProgressHook(LastKey == 0 ? 98 : (Key * 98) / LastKey);
    }
}

} // namespace fi
