// Compiled once per vector unit by Highway's foreach_target; the dispatch
// at the end runs the unit in use (wiener/VectorUnits.h).
#include "wiener/LaneSolver.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
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

// Doubles of scratch space of one block: its matrix, row scalings, pivots
// and a sink, a lane vector each.
std::size_t BlockScratchSize(std::int32_t n) {
    return (std::size_t(n) * std::size_t(n + 2) + 1) * hn::Lanes(TTag());
}

// Scratch entries of one lane vector each.
struct TBlockScratch {
    double* G;    // n x n: the normal matrix, then its LU factors
    double* Rhs;  // g x n: the right-hand sides, then the weights
    double* VV;   // n: the row scalings
    double* Piv;  // n: the pivot rows, as doubles
    double* Sink; // where sums outside the matrix go
};

// P streams times Q streams over the training rows, (dy, dx) in order: sum
// p * Q + q adds X[p][dy * XStep + dx] times Y[q][dy * YStep + dx] into
// Out[p * Q + q]. Each stream is loaded once per row for all its sums.
template <std::size_t P, std::size_t Q>
struct TTile {
    const double* X[P];
    const double* Y[Q];
    std::ptrdiff_t YStep;
    double* Out[P * Q];
};

// The index packs unroll the tile, so that every sum stays in a register;
// each still adds its terms one after the other, and the tile's sums in
// flight together hide the adder's latency.
template <std::size_t P, std::size_t Q, std::size_t... K>
void RunTile(const TTile<P, Q>& T, std::ptrdiff_t XStep, std::int32_t b, std::index_sequence<K...>) {
    const TTag d;
    std::array Sum{((void)K, hn::Zero(d))...};
    for (std::int32_t dy = 0; dy < b; ++dy) {
        const double* X[P];
        const double* Y[Q];
        for (std::size_t p = 0; p < P; ++p) X[p] = T.X[p] + dy * XStep;
        for (std::size_t q = 0; q < Q; ++q) Y[q] = T.Y[q] + dy * T.YStep;
        for (std::int32_t dx = 0; dx < b; ++dx) {
            const auto Xv = [&]<std::size_t... I>(std::index_sequence<I...>) {
                return std::array{hn::LoadU(d, X[I] + dx)...};
            }(std::make_index_sequence<P>());
            const auto Yv = [&]<std::size_t... I>(std::index_sequence<I...>) {
                return std::array{hn::LoadU(d, Y[I] + dx)...};
            }(std::make_index_sequence<Q>());
            ((Sum[K] = hn::Add(Sum[K], hn::Mul(Xv[K / Q], Yv[K % Q]))), ...);
        }
    }
    (hn::StoreU(Sum[K], d, T.Out[K]), ...);
}

template <std::size_t P, std::size_t Q>
void RunTile(const TTile<P, Q>& T, std::ptrdiff_t XStep, std::int32_t b) {
    RunTile(T, XStep, b, std::make_index_sequence<P * Q>());
}

// The lower triangle of N streams with themselves: sum k of row p, column
// q <= p, at k = p (p + 1) / 2 + q, so a diagonal block computes no entry
// the mirror would overwrite.
template <std::size_t N>
struct TLowerTile {
    static constexpr std::size_t Sums = N * (N + 1) / 2;
    const double* X[N];
    // Each stream's step from one training row (dy) to the next.
    std::ptrdiff_t Step[N];
    double* Out[Sums];
};

template <std::size_t N>
constexpr std::array<std::size_t, TLowerTile<N>::Sums> LowerRows() {
    std::array<std::size_t, TLowerTile<N>::Sums> Rows{};
    for (std::size_t p = 0, k = 0; p < N; ++p)
        for (std::size_t q = 0; q <= p; ++q) Rows[k++] = p;
    return Rows;
}

template <std::size_t N, std::size_t... K>
void RunLowerTile(const TLowerTile<N>& T, std::int32_t b, std::index_sequence<K...>) {
    constexpr auto Row = LowerRows<N>();
    const TTag d;
    std::array Sum{((void)K, hn::Zero(d))...};
    for (std::int32_t dy = 0; dy < b; ++dy) {
        const double* X[N];
        for (std::size_t p = 0; p < N; ++p) X[p] = T.X[p] + dy * T.Step[p];
        for (std::int32_t dx = 0; dx < b; ++dx) {
            const auto Xv = [&]<std::size_t... I>(std::index_sequence<I...>) {
                return std::array{hn::LoadU(d, X[I] + dx)...};
            }(std::make_index_sequence<N>());
            ((Sum[K] = hn::Add(Sum[K], hn::Mul(Xv[Row[K]], Xv[K - Row[K] * (Row[K] + 1) / 2]))), ...);
        }
    }
    (hn::StoreU(Sum[K], d, T.Out[K]), ...);
}

template <std::size_t N>
void RunLowerTile(const TLowerTile<N>& T, std::int32_t b) {
    RunLowerTile(T, b, std::make_index_sequence<TLowerTile<N>::Sums>());
}

// The lower triangle of G from column and row C on, N wide; entries past the
// matrix go to the sink.
template <std::size_t N, class TColumn, class TEntry>
void LowerBlock(std::int32_t C, std::int32_t n, const TColumn& Column, const TEntry& Entry, std::ptrdiff_t XStep,
                std::int32_t b, double* Sink) {
    TLowerTile<N> T{};
    for (std::size_t p = 0, k = 0; p < N; ++p) {
        T.X[p] = Column(C + std::int32_t(p));
        T.Step[p] = XStep;
        for (std::size_t q = 0; q <= p; ++q, ++k)
            T.Out[k] = C + std::int32_t(p) < n ? Entry(C + std::int32_t(p), C + std::int32_t(q)) : Sink;
    }
    RunLowerTile(T, b);
}

// The square of G's rows C .. C + P - 1 and columns E .. E + Q - 1, left of
// the diagonal.
template <std::size_t P, std::size_t Q, class TColumn, class TEntry>
void SquareBlock(std::int32_t C, std::int32_t E, const TColumn& Column, const TEntry& Entry, std::ptrdiff_t XStep,
                 std::int32_t b) {
    TTile<P, Q> T{};
    T.YStep = XStep;
    for (std::size_t p = 0; p < P; ++p) T.X[p] = Column(C + std::int32_t(p));
    for (std::size_t q = 0; q < Q; ++q) T.Y[q] = Column(E + std::int32_t(q));
    for (std::size_t p = 0; p < P; ++p)
        for (std::size_t q = 0; q < Q; ++q) T.Out[p * Q + q] = Entry(C + std::int32_t(p), E + std::int32_t(q));
    RunTile(T, XStep, b);
}

// F(Value) with Value as a compile-time constant of type T, so that what F
// keeps per unit of it stays in registers: one of Values, else Otherwise.
template <class T, T Otherwise, T... Values, class TFunction>
void WithConstant(std::int32_t Value, const TFunction& F) {
    const bool Listed = ((Value == std::int32_t(Values) && (F(std::integral_constant<T, Values>()), true)) || ...);
    if (!Listed) F(std::integral_constant<T, Otherwise>());
}

// F(n) with a weight count of LaneWeightCounts as a constant, else 0.
template <class TFunction, std::size_t... Index>
void WithListedWeights(std::int32_t Weights, const TFunction& F, std::index_sequence<Index...>) {
    WithConstant<std::int32_t, 0, LaneWeightCounts[Index]...>(Weights, F);
}

// F(width) with a block width of 2, 3 or 4 as a constant.
template <class TFunction>
void WithBlockWidth(std::int32_t Width, const TFunction& F) {
    WithConstant<std::size_t, 4, 2, 3>(Width, F);
}

// F(width) with a right-hand side tile's width of 4 to 8 as a constant; a
// narrower one (systems of under four weights) runs eight wide, its extra
// sums going to the sink.
template <class TFunction>
void WithTileWidth(std::int32_t Width, const TFunction& F) {
    WithConstant<std::size_t, 8, 4, 5, 6, 7>(Width, F);
}

// Each right-hand side's sums with every column: four targets at a time
// where they come in fours, else one at a time.
template <class TColumn, class TEntry>
void SumRightHandSides(const TLaneSolveJob& J, std::int32_t KeyIndex, const TBlockScratch& S, const TColumn& Column,
                       const TEntry& Entry, std::ptrdiff_t XStep) {
    const std::int32_t n = J.Weights;
    if (J.RightHandSides % 4 == 0) {
        for (std::int32_t g = 0; g < J.RightHandSides; g += 4)
            for (std::int32_t c = 0; c < n; c += 2) {
                TTile<2, 4> T{{Column(c), Column(c + 1)}, {}, J.TargetStride, {}};
                for (std::int32_t q = 0; q < 4; ++q) {
                    T.Y[q] = J.Targets[g + q] + KeyIndex;
                    for (std::int32_t p = 0; p < 2; ++p) T.Out[p * 4 + q] = Entry(S.Rhs, g + q, c + p);
                }
                RunTile(T, XStep, J.Side);
            }
    } else {
        // Columns in as few tiles of at most eight as will do, of even
        // widths, so that no tile sums past the matrix and each has sums
        // enough in flight.
        const std::int32_t Tiles = (n + 7) / 8;
        for (std::int32_t g = 0; g < J.RightHandSides; ++g)
            for (std::int32_t t = 0, c = 0; t < Tiles; ++t) {
                const std::int32_t Width = (n - c) / (Tiles - t);
                WithTileWidth(Width, [&](auto P) {
                    TTile<P, 1> T{{}, {J.Targets[g] + KeyIndex}, J.TargetStride, {}};
                    for (std::size_t p = 0; p < P; ++p) {
                        T.X[p] = Column(c + std::int32_t(p));
                        T.Out[p] = Entry(S.Rhs, g, c + std::int32_t(p));
                    }
                    RunTile(T, XStep, J.Side);
                });
                c += Width;
            }
    }
}

// G (lower triangle, then mirrored, with Lambda^2 on the diagonal) and the
// right-hand sides, each sum adding its rows in training order. Tiles that
// reach past the matrix read its last column again and store into Sink.
void FormNormalEquations(const TLaneSolveJob& J, std::int32_t KeyIndex, const TBlockScratch& S) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = J.Weights;
    const std::ptrdiff_t Stride = J.SquareStride;
    const std::ptrdiff_t XStep = std::ptrdiff_t(n) * Stride;
    const double* Squares = J.Squares + KeyIndex;
    const auto Column = [&](std::int32_t c) { return Squares + std::min(c, n - 1) * Stride; };
    const auto Entry = [&](double* Base, std::int32_t Row, std::int32_t c) {
        return c < n ? Base + (std::size_t(Row) * n + c) * L : S.Sink;
    };
    const auto GEntry = [&](std::int32_t Row, std::int32_t c) { return Entry(S.G, Row, c); };
    // Up to four weights (the edge-directed setups) fit one triangle, whose
    // ten sums hide the adder's latency, and a single right-hand side joins
    // it as a fifth stream: its row of the triangle holds the target's sums
    // with each column. Larger systems go in blocks of three: a triangle on
    // the diagonal, squares left of it.
    const bool WithTarget = n <= 4 && J.RightHandSides == 1;
    if (WithTarget) {
        TLowerTile<5> T{};
        for (std::size_t p = 0, k = 0; p < 5; ++p)
            for (std::size_t q = 0; q <= p; ++q, ++k) {
                const std::int32_t Row = std::int32_t(p), Col = std::int32_t(q);
                T.Out[k] = p < 4 ? (Row < n ? GEntry(Row, Col) : S.Sink) : (q < 4 ? Entry(S.Rhs, 0, Col) : S.Sink);
            }
        for (std::size_t p = 0; p < 4; ++p) {
            T.X[p] = Column(std::int32_t(p));
            T.Step[p] = XStep;
        }
        T.X[4] = J.Targets[0] + KeyIndex;
        T.Step[4] = J.TargetStride;
        RunLowerTile(T, J.Side);
    } else if (n <= 4) {
        LowerBlock<4>(0, n, Column, GEntry, XStep, J.Side, S.Sink);
    } else {
        // The first block takes four or two columns where three does not
        // divide n, so that no tile sums past the matrix.
        const std::int32_t First = n % 3 == 1 ? 4 : (n % 3 == 2 ? 2 : 3);
        const auto Width = [&](std::int32_t c) { return c == 0 ? First : 3; };
        for (std::int32_t c = 0; c < n; c += Width(c)) {
            for (std::int32_t e = 0; e < c; e += Width(e))
                WithBlockWidth(Width(c), [&](auto P) {
                    WithBlockWidth(Width(e), [&](auto Q) { SquareBlock<P, Q>(c, e, Column, GEntry, XStep, J.Side); });
                });
            WithBlockWidth(Width(c), [&](auto P) { LowerBlock<P>(c, n, Column, GEntry, XStep, J.Side, S.Sink); });
        }
    }
    // A single right-hand side of a small system was summed with its triangle.
    if (!WithTarget) SumRightHandSides(J, KeyIndex, S, Column, Entry, XStep);
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

using TVec = decltype(hn::Zero(TTag()));

// A block's n x n matrix and row scalings where FormNormalEquations left
// them, one lane vector per entry. N is the size where it is known when
// compiling (0 where not): the loops over it then unroll and the entries'
// addresses become constants.
template <std::int32_t N>
class TScratchMatrix {
public:
    TScratchMatrix(const TBlockScratch& S, std::int32_t n) : FG(S.G), FVV(S.VV), FN(n) {}
    std::int32_t Size() const { return N != 0 ? N : FN; }
    TVec Get(std::int32_t Row, std::int32_t Col) const { return hn::LoadU(TTag(), At(Row, Col)); }
    void Set(std::int32_t Row, std::int32_t Col, TVec V) { hn::StoreU(V, TTag(), At(Row, Col)); }
    TVec Scaling(std::int32_t Row) const { return hn::LoadU(TTag(), FVV + Row * hn::Lanes(TTag())); }
    void SetScaling(std::int32_t Row, TVec V) { hn::StoreU(V, TTag(), FVV + Row * hn::Lanes(TTag())); }

private:
    double* At(std::int32_t Row, std::int32_t Col) const {
        return FG + (std::size_t(Row) * std::size_t(Size()) + std::size_t(Col)) * hn::Lanes(TTag());
    }
    double* FG;
    double* FVV;
    std::int32_t FN;
};

// The same held in registers for a size known when compiling (the
// edge-directed setups' four weights), where the decomposition's chain of
// dependent steps would otherwise wait on stores and loads.
template <std::int32_t N>
class TRegisterMatrix {
public:
    explicit TRegisterMatrix(const TBlockScratch& S) {
        const TScratchMatrix<N> From(S, N);
        for (std::int32_t Row = 0; Row < N; ++Row)
            for (std::int32_t Col = 0; Col < N; ++Col) Set(Row, Col, From.Get(Row, Col));
    }
    static constexpr std::int32_t Size() { return N; }
    TVec Get(std::int32_t Row, std::int32_t Col) const { return FM[std::size_t(Row * N + Col)]; }
    void Set(std::int32_t Row, std::int32_t Col, TVec V) { FM[std::size_t(Row * N + Col)] = V; }
    TVec Scaling(std::int32_t Row) const { return FVV[std::size_t(Row)]; }
    void SetScaling(std::int32_t Row, TVec V) { FVV[std::size_t(Row)] = V; }

private:
    std::array<TVec, std::size_t(N * N)> FM;
    std::array<TVec, std::size_t(N)> FVV;
};

// F(m) for m = 0 .. M - 1, m a constant, so that values kept per block or
// per right-hand side stay in registers.
template <std::size_t M, class TFunction>
void ForEachOf(const TFunction& F) {
    [&]<std::size_t... m>(std::index_sequence<m...>) {
        (F(std::integral_constant<std::size_t, m>()), ...);
    }(std::make_index_sequence<M>());
}

// {F(0), .., F(M - 1)}, m a constant.
template <std::size_t M, class TFunction>
auto ArrayOf(const TFunction& F) {
    return [&]<std::size_t... m>(std::index_sequence<m...>) {
        return std::array{F(std::integral_constant<std::size_t, m>())...};
    }(std::make_index_sequence<M>());
}

// The Crout decomposition with implicit partial pivoting of M blocks'
// matrices, each lane choosing its own pivots; block m's pivot rows go to
// Piv[m]. The blocks' steps are interleaved: each step is a chain of
// dependent operations, and only independent chains hide the latency. False
// when a lane of any block meets a row of zeros or a zero pivot.
template <std::size_t M, class TMatrix>
bool Decompose(std::array<TMatrix, M>& G, const std::array<double*, M>& Piv) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = G[0].Size();
    const auto Zero = hn::Zero(d);
    const auto One = hn::Set(d, 1.0);
    const auto ForEach = [](auto F) { ForEachOf<M>(F); };
    auto Singular = hn::Ne(Zero, Zero);
    std::array<TVec, M> Big;
    for (std::int32_t i = 0; i < n; ++i) {
        Big.fill(Zero);
        for (std::int32_t j = 0; j < n; ++j)
            ForEach([&](auto m) {
                const auto Temp = hn::Abs(G[m].Get(i, j));
                Big[m] = hn::IfThenElse(hn::Gt(Temp, Big[m]), Temp, Big[m]);
            });
        ForEach([&](auto m) {
            Singular = hn::Or(Singular, hn::Eq(Big[m], Zero));
            G[m].SetScaling(i, hn::Div(One, Big[m]));
        });
    }
    std::array<TVec, M> IMax;
    for (std::int32_t j = 0; j < n; ++j) {
        for (std::int32_t i = 0; i < j; ++i) {
            std::array<TVec, M> Sum;
            ForEach([&](auto m) { Sum[m] = G[m].Get(i, j); });
            for (std::int32_t k = 0; k < i; ++k)
                ForEach([&](auto m) { Sum[m] = hn::Sub(Sum[m], hn::Mul(G[m].Get(i, k), G[m].Get(k, j))); });
            ForEach([&](auto m) { G[m].Set(i, j, Sum[m]); });
        }
        Big.fill(Zero);
        IMax.fill(hn::Set(d, double(j)));
        const auto Choose = [&](auto m, std::int32_t i) {
            const auto Dum = hn::Mul(G[m].Scaling(i), hn::Abs(G[m].Get(i, j)));
            // The last of several equal candidates wins.
            const auto Better = hn::Ge(Dum, Big[m]);
            Big[m] = hn::IfThenElse(Better, Dum, Big[m]);
            IMax[m] = hn::IfThenElse(Better, hn::Set(d, double(i)), IMax[m]);
        };
        // The pivot candidates' sums depend only on the rows above the
        // diagonal: four rows at a time, each still subtracting in order.
        std::int32_t Row = j;
        for (; Row + 4 <= n; Row += 4) {
            std::array<std::array<TVec, 4>, M> S;
            ForEach([&](auto m) {
                for (std::int32_t q = 0; q < 4; ++q) S[m][q] = G[m].Get(Row + q, j);
            });
            for (std::int32_t k = 0; k < j; ++k)
                ForEach([&](auto m) {
                    const auto Ukj = G[m].Get(k, j);
                    for (std::int32_t q = 0; q < 4; ++q) S[m][q] = hn::Sub(S[m][q], hn::Mul(G[m].Get(Row + q, k), Ukj));
                });
            ForEach([&](auto m) {
                for (std::int32_t q = 0; q < 4; ++q) G[m].Set(Row + q, j, S[m][q]);
            });
            for (std::int32_t q = 0; q < 4; ++q) ForEach([&](auto m) { Choose(m, Row + q); });
        }
        for (; Row < n; ++Row) {
            std::array<TVec, M> Sum;
            ForEach([&](auto m) { Sum[m] = G[m].Get(Row, j); });
            for (std::int32_t k = 0; k < j; ++k)
                ForEach([&](auto m) { Sum[m] = hn::Sub(Sum[m], hn::Mul(G[m].Get(Row, k), G[m].Get(k, j))); });
            ForEach([&](auto m) {
                G[m].Set(Row, j, Sum[m]);
                Choose(m, Row);
            });
        }
        for (std::int32_t i = j + 1; i < n; ++i)
            ForEach([&](auto m) {
                const auto Swap = hn::Eq(IMax[m], hn::Set(d, double(i)));
                if (hn::AllFalse(d, Swap)) return;
                for (std::int32_t k = 0; k < n; ++k) {
                    const auto Rj = G[m].Get(j, k);
                    const auto Ri = G[m].Get(i, k);
                    G[m].Set(j, k, hn::IfThenElse(Swap, Ri, Rj));
                    G[m].Set(i, k, hn::IfThenElse(Swap, Rj, Ri));
                }
                G[m].SetScaling(i, hn::IfThenElse(Swap, G[m].Scaling(j), G[m].Scaling(i)));
            });
        ForEach([&](auto m) {
            hn::StoreU(IMax[m], d, Piv[m] + j * L);
            Singular = hn::Or(Singular, hn::Eq(G[m].Get(j, j), Zero));
        });
        // The last pivot divides nothing: its reciprocal could overflow.
        if (j == n - 1) break;
        std::array<TVec, M> Dum;
        ForEach([&](auto m) { Dum[m] = hn::Div(One, G[m].Get(j, j)); });
        for (std::int32_t i = j + 1; i < n; ++i)
            ForEach([&](auto m) { G[m].Set(i, j, hn::Mul(G[m].Get(i, j), Dum[m])); });
    }
    return hn::AllFalse(d, Singular);
}

// Solves L U x = P b in place in B, each lane with its own permutation. The
// scalar substitution skips the leading zeros of the permuted right-hand
// side; here their terms are subtracted. That changes no bit: those zeros
// are sums begun at +0 and so +0 themselves, and +0 minus a finite product
// with +0 is +0. A non-finite factor would raise the invalid-operation flag
// and send the block the reference way.
//
// Gs right-hand sides of each of M blocks go together (block m's g-th at
// B[m] + g n lanes), their sums side by side: each is a chain of dependent
// subtractions, and only independent chains hide the latency.
template <std::size_t M, std::size_t Gs, class TMatrix>
void BackSubstitute(const std::array<TMatrix, M>& A, const std::array<double*, M>& Piv,
                    const std::array<double*, M>& B) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = A[0].Size();
    const auto Bg = [&](std::size_t m, std::size_t g, std::int32_t i) {
        return B[m] + (g * std::size_t(n) + std::size_t(i)) * L;
    };
    // F(m, g) for every right-hand side of every block.
    const auto ForEach = [](auto F) {
        ForEachOf<M>([&](auto m) { ForEachOf<Gs>([&](auto g) { F(m, g); }); });
    };
    std::array<std::array<TVec, Gs>, M> Sum;
    std::array<std::array<TVec, Gs>, M> Bi;
    for (std::int32_t i = 0; i < n; ++i) {
        ForEach([&](auto m, auto g) { Sum[m][g] = Bi[m][g] = hn::LoadU(d, Bg(m, g, i)); });
        ForEachOf<M>([&](auto m) {
            const auto Ip = hn::LoadU(d, Piv[m] + i * L);
            for (std::int32_t k = i + 1; k < n; ++k) {
                const auto Here = hn::Eq(Ip, hn::Set(d, double(k)));
                if (hn::AllFalse(d, Here)) continue;
                ForEachOf<Gs>([&](auto g) {
                    const auto Bk = hn::LoadU(d, Bg(m, g, k));
                    Sum[m][g] = hn::IfThenElse(Here, Bk, Sum[m][g]);
                    hn::StoreU(hn::IfThenElse(Here, Bi[m][g], Bk), d, Bg(m, g, k));
                });
            }
        });
        for (std::int32_t j = 0; j < i; ++j)
            ForEachOf<M>([&](auto m) {
                const auto Lij = A[m].Get(i, j);
                ForEachOf<Gs>([&](auto g) {
                    Sum[m][g] = hn::Sub(Sum[m][g], hn::Mul(Lij, hn::LoadU(d, Bg(m, g, j))));
                });
            });
        ForEach([&](auto m, auto g) { hn::StoreU(Sum[m][g], d, Bg(m, g, i)); });
    }
    for (std::int32_t i = n - 1; i >= 0; --i) {
        ForEach([&](auto m, auto g) { Sum[m][g] = hn::LoadU(d, Bg(m, g, i)); });
        for (std::int32_t j = i + 1; j < n; ++j)
            ForEachOf<M>([&](auto m) {
                const auto Uij = A[m].Get(i, j);
                ForEachOf<Gs>([&](auto g) {
                    Sum[m][g] = hn::Sub(Sum[m][g], hn::Mul(Uij, hn::LoadU(d, Bg(m, g, j))));
                });
            });
        ForEachOf<M>([&](auto m) {
            const auto Pivot = A[m].Get(i, i);
            ForEachOf<Gs>([&](auto g) { hn::StoreU(hn::Div(Sum[m][g], Pivot), d, Bg(m, g, i)); });
        });
    }
}

// The decompositions and every right-hand side's substitution of M blocks.
template <std::size_t M, class TMatrix>
bool Factorise(std::array<TMatrix, M>& G, const TLaneSolveJob& J, const std::array<TBlockScratch, M>& S) {
    const auto Piv = ArrayOf<M>([&](auto m) { return S[m].Piv; });
    if (!Decompose<M>(G, Piv)) return false;
    const std::size_t Block = std::size_t(J.Weights) * hn::Lanes(TTag());
    const auto From = [&](std::int32_t g) {
        return ArrayOf<M>([&](auto m) { return S[m].Rhs + std::size_t(g) * Block; });
    };
    std::int32_t g = 0;
    for (; g + 4 <= J.RightHandSides; g += 4) BackSubstitute<M, 4>(G, Piv, From(g));
    for (; g < J.RightHandSides; ++g) BackSubstitute<M, 1>(G, Piv, From(g));
    return true;
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

// M consecutive blocks from KeyIndex, block m's weights at Solution + m
// RightHandSides n lanes, its scratch at Scratch + m BlockScratchSize; false
// when any of them must be redone.
template <std::size_t M>
bool SolveBlocks(const TLaneSolveJob& J, std::int32_t KeyIndex, double* Solution, double* Scratch) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = J.Weights;
    const auto S = ArrayOf<M>([&](auto m) {
        double* Own = Scratch + m * BlockScratchSize(n);
        return TBlockScratch{Own, Solution + m * std::size_t(J.RightHandSides) * std::size_t(n) * L,
                             Own + std::size_t(n) * n * L, Own + std::size_t(n) * (n + 1) * L,
                             Own + std::size_t(n) * (n + 2) * L};
    });

    // The blocks' arithmetic is all in the vector unit, so only its flags
    // can change here; they are written only when raised before or during
    // the blocks, as writing the register costs far more than reading it.
    const std::uint32_t Saved = SseControlStatus();
    if ((Saved & FailureFlags) != 0) SetSseControlStatus(Saved & ~FailureFlags);
    ForEachOf<M>([&](auto m) { FormNormalEquations(J, KeyIndex + std::int32_t(m * L), S[m]); });
    bool Solved;
    if (n == 4) {
        auto G = ArrayOf<M>([&](auto m) { return TRegisterMatrix<4>(S[m]); });
        Solved = Factorise<M>(G, J, S);
    } else {
        // The setups' sizes: five or nine weights, with four more where
        // edge-directed relations add their neighbours, and twenty-five.
        const auto WithSize = [&](auto N) {
            auto G = ArrayOf<M>([&](auto m) { return TScratchMatrix<N>(S[m], n); });
            Solved = Factorise<M>(G, J, S);
        };
        WithListedWeights(n, WithSize, std::make_index_sequence<std::size(LaneWeightCounts)>());
    }
    const std::uint32_t After = SseControlStatus();
    Solved = Solved && (After & FailureFlags) == 0 && AllFinite(std::int32_t(M) * J.RightHandSides * n, Solution);
    if (((After ^ Saved) & FailureFlags) != 0) SetSseControlStatus((After & ~FailureFlags) | (Saved & FailureFlags));
    return Solved;
}

void Solve(const TLaneSolveJob& J, std::int32_t KeyIndex, std::int32_t Blocks, double* Solution, double* Scratch,
           bool* Solved) {
    if (Blocks == 2 && SolveBlocks<2>(J, KeyIndex, Solution, Scratch)) {
        Solved[0] = Solved[1] = true;
        return;
    }
    // Alone, a block that can be solved is not sent the reference way with the other.
    const std::size_t Block = std::size_t(J.RightHandSides) * std::size_t(J.Weights) * hn::Lanes(TTag());
    for (std::int32_t b = 0; b < Blocks; ++b)
        Solved[b] = SolveBlocks<1>(J, KeyIndex + b * Lanes(), Solution + std::size_t(b) * Block, Scratch);
}

void AdjustWeights(double* Weights, std::int32_t n, bool Clamp, bool Normalize) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const auto Zero = hn::Zero(d);
    const auto One = hn::Set(d, 1.0);
    if (Clamp)
        for (std::int32_t c = 0; c < n; ++c) {
            auto w = hn::LoadU(d, Weights + c * L);
            // NaN fails both tests and stays.
            w = hn::IfThenElse(hn::Lt(One, w), One, w);
            w = hn::IfThenElse(hn::Lt(w, Zero), Zero, w);
            hn::StoreU(w, d, Weights + c * L);
        }
    if (!Normalize) return;
    auto Sum = Zero;
    for (std::int32_t c = 0; c < n; ++c) Sum = hn::Add(Sum, hn::LoadU(d, Weights + c * L));
    const auto Scaled = hn::Ne(Sum, Zero);
    // Lanes whose sum is zero keep their weights and divide nothing.
    const auto Factor = hn::Div(One, hn::IfThenElse(Scaled, Sum, One));
    const auto Infinity = hn::Set(d, HUGE_VAL);
    auto Finite = hn::Lt(hn::Abs(Sum), Infinity);
    for (std::int32_t c = 0; c < n; ++c) {
        const auto w = hn::IfThenElse(Scaled, hn::Mul(hn::LoadU(d, Weights + c * L), Factor),
                                      hn::LoadU(d, Weights + c * L));
        Finite = hn::And(Finite, hn::Lt(hn::Abs(w), Infinity));
        hn::StoreU(w, d, Weights + c * L);
    }
    const auto Equal = hn::Set(d, 1.0 / n);
    for (std::int32_t c = 0; c < n; ++c)
        hn::StoreU(hn::IfThenElse(Finite, hn::LoadU(d, Weights + c * L), Equal), d, Weights + c * L);
}

void Predict(std::int32_t Count, const double* const* Inputs, const std::int32_t* Steps, const double* Weights,
             bool Clamp, double* Out, std::int32_t OutStep) {
    const TTag d;
    const hn::RebindToSigned<TTag> di;
    const std::size_t L = hn::Lanes(d);
    const auto Lane = hn::Iota(di, 0);
    auto Sum = hn::Zero(d);
    auto Lo = hn::Set(d, 1.7e+308);
    auto Hi = hn::Set(d, -1.7e+308);
    for (std::int32_t c = 0; c < Count; ++c) {
        const auto v = Steps[c] == 1 ? hn::LoadU(d, Inputs[c])
                                     : hn::GatherIndex(d, Inputs[c], hn::Mul(Lane, hn::Set(di, Steps[c])));
        Sum = hn::Add(Sum, hn::Mul(v, hn::LoadU(d, Weights + c * L)));
        if (!Clamp) continue;
        // The inputs' range as the per-pixel code finds it: a NaN input
        // becomes the minimum.
        Hi = hn::IfThenElse(hn::Gt(v, Hi), v, Hi);
        Lo = hn::IfThenElse(hn::Not(hn::Ge(v, Lo)), v, Lo);
    }
    if (Clamp) {
        Sum = hn::IfThenElse(hn::Lt(Sum, Lo), Lo, Sum);
        Sum = hn::IfThenElse(hn::Gt(Sum, Hi), Hi, Sum);
    }
    if (OutStep == 1)
        hn::StoreU(Sum, d, Out);
    else
        hn::ScatterIndex(Sum, d, Out, hn::Mul(Lane, hn::Set(di, OutStep)));
}

} // namespace HWY_NAMESPACE
} // namespace fi
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "wiener/VectorDispatch.h"

namespace fi {

namespace {
constexpr std::size_t LineDoubles = 64 / sizeof(double);
} // namespace

FI_EXPORT(Lanes);
FI_EXPORT(BlockScratchSize);
FI_EXPORT(TargetName);
FI_EXPORT(Solve);
FI_EXPORT(AdjustWeights);
FI_EXPORT(Predict);

TLaneBuffer::TLaneBuffer(std::size_t Count) : FStorage(Count + LineDoubles - 1) {
    const auto At = reinterpret_cast<std::uintptr_t>(FStorage.data()) / sizeof(double);
    FData = FStorage.data() + (LineDoubles - At % LineDoubles) % LineDoubles;
}

std::int32_t LaneCount() { return FI_DISPATCH(Lanes)(); }

const char* LaneTarget() { return FI_DISPATCH(TargetName)(); }

std::size_t LaneScratchSize(std::int32_t Weights) {
    return std::size_t(MaxLaneBlocks) * FI_DISPATCH(BlockScratchSize)(Weights);
}

void SolveLanes(const TLaneSolveJob& Job, std::int32_t KeyIndex, std::int32_t Blocks, double* Solution,
                double* Scratch, bool* Solved) {
    FI_DISPATCH(Solve)(Job, KeyIndex, Blocks, Solution, Scratch, Solved);
}

void AdjustLaneWeights(double* Weights, std::int32_t Count, bool Clamp, bool Normalize) {
    FI_DISPATCH(AdjustWeights)(Weights, Count, Clamp, Normalize);
}

void PredictLanes(std::int32_t Count, const double* const* Inputs, const std::int32_t* Steps, const double* Weights,
                  bool Clamp, double* Out, std::int32_t OutStep) {
    FI_DISPATCH(Predict)(Count, Inputs, Steps, Weights, Clamp, Out, OutStep);
}

} // namespace fi
#endif
