// Compiled once per vector unit by Highway's foreach_target; the dispatch
// table at the end picks the best the processor has.
#include "wiener/LaneSolver.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "wiener/LaneSolver.cpp"
#include <hwy/foreach_target.h> // must come before highway.h
#include <hwy/highway.h>

#include "support/FloatEnvironment.h"

HWY_BEFORE_NAMESPACE();
namespace fi {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using TTag = hn::ScalableTag<double>;

std::int32_t Lanes() { return std::int32_t(hn::Lanes(TTag())); }

const char* TargetName() { return hwy::TargetName(HWY_TARGET); }

// Scratch entries of one lane vector each.
struct TBlockScratch {
    double* G;    // n x n: the normal matrix, then its LU factors
    double* Rhs;  // g x n: the right-hand sides, then the weights
    double* VV;   // n: the row scalings
    double* Piv;  // n: the pivot rows, as doubles
};

// One sum of products over the training rows, (dy, dx) in order: X[dy * XStep
// + dx] times Y[dy * YStep + dx], into Out.
struct TChain {
    const double* X;
    const double* Y;
    std::ptrdiff_t YStep;
    double* Out;
};

constexpr std::size_t ChainGroup = 8;

// Runs ChainGroup chains side by side: each adds its own terms one after the
// other, and enough of them are in flight to hide the adder's latency. The
// index pack unrolls the chains, so that every sum stays in a register.
template <std::size_t... K>
void RunChainGroup(const TChain* Chains, std::ptrdiff_t XStep, std::int32_t b, std::index_sequence<K...>) {
    const TTag d;
    std::array Sum{((void)K, hn::Zero(d))...};
    for (std::int32_t dy = 0; dy < b; ++dy) {
        const double* const X[] = {(Chains[K].X + dy * XStep)...};
        const double* const Y[] = {(Chains[K].Y + dy * Chains[K].YStep)...};
        for (std::int32_t dx = 0; dx < b; ++dx)
            ((Sum[K] = hn::Add(Sum[K], hn::Mul(hn::LoadU(d, X[K] + dx), hn::LoadU(d, Y[K] + dx)))), ...);
    }
    (hn::StoreU(Sum[K], d, Chains[K].Out), ...);
}

// The chains of one block in order: the lower triangle of the normal matrix
// row by row, then every right-hand side.
class TChainList {
public:
    TChainList(const TLaneSolveJob& J, std::int32_t KeyIndex, const TBlockScratch& S)
        : Job(J), Key(KeyIndex), Scratch(S), Triangle(J.Weights * (J.Weights + 1) / 2),
          Count(Triangle + J.RightHandSides * J.Weights) {}

    std::int32_t Size() const { return Count; }

    TChain operator[](std::int32_t i) const {
        const std::size_t L = hn::Lanes(TTag());
        const std::int32_t n = Job.Weights;
        const double* Squares = Job.Squares + Key;
        const std::ptrdiff_t Stride = Job.SquareStride;
        if (i < Triangle) {
            // Row c of the triangle starts at c (c + 1) / 2.
            std::int32_t c = 0;
            while ((c + 1) * (c + 2) / 2 <= i) ++c;
            const std::int32_t e = i - c * (c + 1) / 2;
            return {Squares + c * Stride, Squares + e * Stride, n * Stride, Scratch.G + (std::size_t(c) * n + e) * L};
        }
        const std::int32_t g = (i - Triangle) / n;
        const std::int32_t c = (i - Triangle) % n;
        return {Squares + c * Stride, Job.Targets[g] + Key, Job.TargetStride, Scratch.Rhs + (std::size_t(g) * n + c) * L};
    }

private:
    const TLaneSolveJob& Job;
    std::int32_t Key;
    const TBlockScratch& Scratch;
    std::int32_t Triangle;
    std::int32_t Count;
};

// G (lower triangle, then mirrored, with Lambda^2 on the diagonal) and the
// right-hand sides, each sum adding its rows in training order.
void FormNormalEquations(const TLaneSolveJob& J, std::int32_t KeyIndex, const TBlockScratch& S) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = J.Weights;
    const TChainList List(J, KeyIndex, S);
    const std::ptrdiff_t XStep = std::ptrdiff_t(n) * J.SquareStride;
    for (std::int32_t First = 0; First < List.Size(); First += std::int32_t(ChainGroup)) {
        // The last group repeats its last chain, which stores the same sum again.
        TChain Group[ChainGroup];
        for (std::int32_t k = 0; k < std::int32_t(ChainGroup); ++k)
            Group[k] = List[std::min(First + k, List.Size() - 1)];
        RunChainGroup(Group, XStep, J.Side, std::make_index_sequence<ChainGroup>());
    }
    for (std::int32_t c = 0; c < n; ++c)
        for (std::int32_t e = 0; e < c; ++e)
            hn::StoreU(hn::LoadU(d, S.G + (std::size_t(c) * n + e) * L), d, S.G + (std::size_t(e) * n + c) * L);
    if (J.Regularised) {
        const auto L2 = hn::Set(d, J.LambdaSquared);
        for (std::int32_t k = 0; k < n; ++k) {
            double* Diagonal = S.G + (std::size_t(k) * n + k) * L;
            hn::StoreU(hn::Add(hn::LoadU(d, Diagonal), L2), d, Diagonal);
        }
    }
}

// The Crout decomposition with implicit partial pivoting, each lane choosing
// its own pivots. False when a lane meets a row of zeros or a zero pivot.
bool Decompose(std::int32_t n, const TBlockScratch& S) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const auto Zero = hn::Zero(d);
    const auto One = hn::Set(d, 1.0);
    const auto At = [&](std::int32_t Row, std::int32_t Col) { return S.G + (std::size_t(Row) * n + Col) * L; };
    auto Singular = hn::Ne(Zero, Zero);
    for (std::int32_t i = 0; i < n; ++i) {
        auto Big = Zero;
        for (std::int32_t j = 0; j < n; ++j) {
            const auto Temp = hn::Abs(hn::LoadU(d, At(i, j)));
            Big = hn::IfThenElse(hn::Gt(Temp, Big), Temp, Big);
        }
        Singular = hn::Or(Singular, hn::Eq(Big, Zero));
        hn::StoreU(hn::Div(One, Big), d, S.VV + i * L);
    }
    for (std::int32_t j = 0; j < n; ++j) {
        for (std::int32_t i = 0; i < j; ++i) {
            auto Sum = hn::LoadU(d, At(i, j));
            for (std::int32_t k = 0; k < i; ++k)
                Sum = hn::Sub(Sum, hn::Mul(hn::LoadU(d, At(i, k)), hn::LoadU(d, At(k, j))));
            hn::StoreU(Sum, d, At(i, j));
        }
        auto Big = Zero;
        auto IMax = hn::Set(d, double(j));
        for (std::int32_t i = j; i < n; ++i) {
            auto Sum = hn::LoadU(d, At(i, j));
            for (std::int32_t k = 0; k < j; ++k)
                Sum = hn::Sub(Sum, hn::Mul(hn::LoadU(d, At(i, k)), hn::LoadU(d, At(k, j))));
            hn::StoreU(Sum, d, At(i, j));
            const auto Dum = hn::Mul(hn::LoadU(d, S.VV + i * L), hn::Abs(Sum));
            // The last of several equal candidates wins.
            const auto Better = hn::Ge(Dum, Big);
            Big = hn::IfThenElse(Better, Dum, Big);
            IMax = hn::IfThenElse(Better, hn::Set(d, double(i)), IMax);
        }
        for (std::int32_t i = j + 1; i < n; ++i) {
            const auto Swap = hn::Eq(IMax, hn::Set(d, double(i)));
            if (hn::AllFalse(d, Swap)) continue;
            for (std::int32_t k = 0; k < n; ++k) {
                const auto Rj = hn::LoadU(d, At(j, k));
                const auto Ri = hn::LoadU(d, At(i, k));
                hn::StoreU(hn::IfThenElse(Swap, Ri, Rj), d, At(j, k));
                hn::StoreU(hn::IfThenElse(Swap, Rj, Ri), d, At(i, k));
            }
            hn::StoreU(hn::IfThenElse(Swap, hn::LoadU(d, S.VV + j * L), hn::LoadU(d, S.VV + i * L)), d, S.VV + i * L);
        }
        hn::StoreU(IMax, d, S.Piv + j * L);
        const auto Pivot = hn::LoadU(d, At(j, j));
        Singular = hn::Or(Singular, hn::Eq(Pivot, Zero));
        if (j != n - 1) {
            const auto Dum = hn::Div(One, Pivot);
            for (std::int32_t i = j + 1; i < n; ++i) hn::StoreU(hn::Mul(hn::LoadU(d, At(i, j)), Dum), d, At(i, j));
        }
    }
    return hn::AllFalse(d, Singular);
}

// Solves L U x = P b in place in B, each lane with its own permutation. The
// scalar substitution skips the leading zeros of the permuted right-hand
// side; here their terms are subtracted. That changes no bit: those zeros
// are sums begun at +0 and so +0 themselves, and +0 minus a finite product
// with +0 is +0. A non-finite factor would raise the invalid-operation flag
// and send the block the reference way.
void BackSubstitute(std::int32_t n, const TBlockScratch& S, double* B) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const auto At = [&](std::int32_t Row, std::int32_t Col) { return S.G + (std::size_t(Row) * n + Col) * L; };
    for (std::int32_t i = 0; i < n; ++i) {
        const auto Ip = hn::LoadU(d, S.Piv + i * L);
        const auto Bi = hn::LoadU(d, B + i * L);
        auto Sum = Bi;
        for (std::int32_t k = i + 1; k < n; ++k) {
            const auto Here = hn::Eq(Ip, hn::Set(d, double(k)));
            const auto Bk = hn::LoadU(d, B + k * L);
            Sum = hn::IfThenElse(Here, Bk, Sum);
            hn::StoreU(hn::IfThenElse(Here, Bi, Bk), d, B + k * L);
        }
        for (std::int32_t j = 0; j < i; ++j)
            Sum = hn::Sub(Sum, hn::Mul(hn::LoadU(d, At(i, j)), hn::LoadU(d, B + j * L)));
        hn::StoreU(Sum, d, B + i * L);
    }
    for (std::int32_t i = n - 1; i >= 0; --i) {
        auto Sum = hn::LoadU(d, B + i * L);
        for (std::int32_t j = i + 1; j < n; ++j)
            Sum = hn::Sub(Sum, hn::Mul(hn::LoadU(d, At(i, j)), hn::LoadU(d, B + j * L)));
        hn::StoreU(hn::Div(Sum, hn::LoadU(d, At(i, i))), d, B + i * L);
    }
}

bool AllFinite(std::int32_t Count, const double* Values) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const auto Infinity = hn::Set(d, HUGE_VAL);
    auto Finite = hn::Eq(Infinity, Infinity);
    for (std::int32_t i = 0; i < Count; ++i)
        Finite = hn::And(Finite, hn::Lt(hn::Abs(hn::LoadU(d, Values + i * L)), Infinity));
    return hn::AllTrue(d, Finite);
}

bool Solve(const TLaneSolveJob& J, std::int32_t KeyIndex, double* Solution, double* Scratch) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = J.Weights;
    const TBlockScratch S{Scratch, Solution, Scratch + std::size_t(n) * n * L, Scratch + std::size_t(n) * (n + 1) * L};

    const TFailureFlags Saved = RaisedFailureFlags();
    SetFailureFlags({});
    FormNormalEquations(J, KeyIndex, S);
    bool Solved = Decompose(n, S);
    if (Solved) {
        for (std::int32_t g = 0; g < J.RightHandSides; ++g) BackSubstitute(n, S, S.Rhs + std::size_t(g) * n * L);
        Solved = (RaisedFailureFlags().Any() & FailureFlags) == 0 && AllFinite(J.RightHandSides * n, S.Rhs);
    }
    SetFailureFlags(Saved);
    return Solved;
}

} // namespace HWY_NAMESPACE
} // namespace fi
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fi {

// Run-time dispatch where Highway's library chooses the unit; otherwise
// the one unit compiled in.
#if HWY_HAVE_RUNTIME_DISPATCH && !defined(HWY_COMPILE_ONLY_STATIC)
std::int32_t VectorUnitCount() { return std::int32_t(hwy::SupportedAndGeneratedTargets().size()); }

void ForceVectorUnit(std::int32_t Index) {
    hwy::SetSupportedTargetsForTest(Index < 0 ? 0 : hwy::SupportedAndGeneratedTargets()[std::size_t(Index)]);
}
#else
std::int32_t VectorUnitCount() { return 1; }

void ForceVectorUnit(std::int32_t) {}
#endif

HWY_EXPORT(Lanes);
HWY_EXPORT(TargetName);
HWY_EXPORT(Solve);

std::int32_t LaneCount() { return HWY_DYNAMIC_DISPATCH(Lanes)(); }

const char* LaneTarget() { return HWY_DYNAMIC_DISPATCH(TargetName)(); }

std::size_t LaneScratchSize(std::int32_t Weights) {
    return std::size_t(Weights) * std::size_t(Weights + 2) * std::size_t(LaneCount());
}

bool SolveLanes(const TLaneSolveJob& Job, std::int32_t KeyIndex, double* Solution, double* Scratch) {
    return HWY_DYNAMIC_DISPATCH(Solve)(Job, KeyIndex, Solution, Scratch);
}

} // namespace fi
#endif
