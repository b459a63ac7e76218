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

// F(width) with a block width of 2, 3 or 4 as a constant, so that a tile's
// sums stay in registers.
template <class TFunction>
void WithBlockWidth(std::int32_t Width, const TFunction& F) {
    switch (Width) {
    case 2: F(std::integral_constant<std::size_t, 2>()); break;
    case 3: F(std::integral_constant<std::size_t, 3>()); break;
    default: F(std::integral_constant<std::size_t, 4>()); break;
    }
}

// F(width) with a right-hand side tile's width of 4 to 8 as a constant; a
// narrower one (systems of under four weights) runs eight wide, its extra
// sums going to the sink.
template <class TFunction>
void WithTileWidth(std::int32_t Width, const TFunction& F) {
    switch (Width) {
    case 4: F(std::integral_constant<std::size_t, 4>()); break;
    case 5: F(std::integral_constant<std::size_t, 5>()); break;
    case 6: F(std::integral_constant<std::size_t, 6>()); break;
    case 7: F(std::integral_constant<std::size_t, 7>()); break;
    default: F(std::integral_constant<std::size_t, 8>()); break;
    }
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
// them, one lane vector per entry.
class TScratchMatrix {
public:
    TScratchMatrix(const TBlockScratch& S, std::int32_t n) : FS(S), FN(n) {}
    std::int32_t Size() const { return FN; }
    TVec Get(std::int32_t Row, std::int32_t Col) const { return hn::LoadU(TTag(), At(Row, Col)); }
    void Set(std::int32_t Row, std::int32_t Col, TVec V) { hn::StoreU(V, TTag(), At(Row, Col)); }
    TVec Scaling(std::int32_t Row) const { return hn::LoadU(TTag(), FS.VV + Row * hn::Lanes(TTag())); }
    void SetScaling(std::int32_t Row, TVec V) { hn::StoreU(V, TTag(), FS.VV + Row * hn::Lanes(TTag())); }

private:
    double* At(std::int32_t Row, std::int32_t Col) const {
        return FS.G + (std::size_t(Row) * std::size_t(FN) + std::size_t(Col)) * hn::Lanes(TTag());
    }
    const TBlockScratch& FS;
    std::int32_t FN;
};

// The same held in registers for a size known when compiling (the
// edge-directed setups' four weights), where the decomposition's chain of
// dependent steps would otherwise wait on stores and loads.
template <std::int32_t N>
class TRegisterMatrix {
public:
    explicit TRegisterMatrix(const TBlockScratch& S) {
        const TScratchMatrix From(S, N);
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

// The Crout decomposition with implicit partial pivoting, each lane choosing
// its own pivots; the pivot rows go to Piv. False when a lane meets a row of
// zeros or a zero pivot.
template <class TMatrix>
bool Decompose(TMatrix& G, double* Piv) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = G.Size();
    const auto Zero = hn::Zero(d);
    const auto One = hn::Set(d, 1.0);
    auto Singular = hn::Ne(Zero, Zero);
    for (std::int32_t i = 0; i < n; ++i) {
        auto Big = Zero;
        for (std::int32_t j = 0; j < n; ++j) {
            const auto Temp = hn::Abs(G.Get(i, j));
            Big = hn::IfThenElse(hn::Gt(Temp, Big), Temp, Big);
        }
        Singular = hn::Or(Singular, hn::Eq(Big, Zero));
        G.SetScaling(i, hn::Div(One, Big));
    }
    for (std::int32_t j = 0; j < n; ++j) {
        for (std::int32_t i = 0; i < j; ++i) {
            auto Sum = G.Get(i, j);
            for (std::int32_t k = 0; k < i; ++k) Sum = hn::Sub(Sum, hn::Mul(G.Get(i, k), G.Get(k, j)));
            G.Set(i, j, Sum);
        }
        auto Big = Zero;
        auto IMax = hn::Set(d, double(j));
        // The pivot candidates' sums depend only on the rows above the
        // diagonal: four rows at a time, each still subtracting in order.
        const auto Choose = [&](std::int32_t i) {
            const auto Dum = hn::Mul(G.Scaling(i), hn::Abs(G.Get(i, j)));
            // The last of several equal candidates wins.
            const auto Better = hn::Ge(Dum, Big);
            Big = hn::IfThenElse(Better, Dum, Big);
            IMax = hn::IfThenElse(Better, hn::Set(d, double(i)), IMax);
        };
        std::int32_t Row = j;
        for (; Row + 4 <= n; Row += 4) {
            auto S0 = G.Get(Row, j), S1 = G.Get(Row + 1, j), S2 = G.Get(Row + 2, j), S3 = G.Get(Row + 3, j);
            for (std::int32_t k = 0; k < j; ++k) {
                const auto Ukj = G.Get(k, j);
                S0 = hn::Sub(S0, hn::Mul(G.Get(Row, k), Ukj));
                S1 = hn::Sub(S1, hn::Mul(G.Get(Row + 1, k), Ukj));
                S2 = hn::Sub(S2, hn::Mul(G.Get(Row + 2, k), Ukj));
                S3 = hn::Sub(S3, hn::Mul(G.Get(Row + 3, k), Ukj));
            }
            G.Set(Row, j, S0);
            G.Set(Row + 1, j, S1);
            G.Set(Row + 2, j, S2);
            G.Set(Row + 3, j, S3);
            for (std::int32_t q = 0; q < 4; ++q) Choose(Row + q);
        }
        for (; Row < n; ++Row) {
            auto Sum = G.Get(Row, j);
            for (std::int32_t k = 0; k < j; ++k) Sum = hn::Sub(Sum, hn::Mul(G.Get(Row, k), G.Get(k, j)));
            G.Set(Row, j, Sum);
            Choose(Row);
        }
        for (std::int32_t i = j + 1; i < n; ++i) {
            const auto Swap = hn::Eq(IMax, hn::Set(d, double(i)));
            if (hn::AllFalse(d, Swap)) continue;
            for (std::int32_t k = 0; k < n; ++k) {
                const auto Rj = G.Get(j, k);
                const auto Ri = G.Get(i, k);
                G.Set(j, k, hn::IfThenElse(Swap, Ri, Rj));
                G.Set(i, k, hn::IfThenElse(Swap, Rj, Ri));
            }
            G.SetScaling(i, hn::IfThenElse(Swap, G.Scaling(j), G.Scaling(i)));
        }
        hn::StoreU(IMax, d, Piv + j * L);
        const auto Pivot = G.Get(j, j);
        Singular = hn::Or(Singular, hn::Eq(Pivot, Zero));
        if (j != n - 1) {
            const auto Dum = hn::Div(One, Pivot);
            for (std::int32_t i = j + 1; i < n; ++i) G.Set(i, j, hn::Mul(G.Get(i, j), Dum));
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
//
// Gs right-hand sides go together, their sums side by side: each is a chain
// of dependent subtractions, and only independent chains hide the latency.
template <std::size_t Gs, class TMatrix>
void BackSubstitute(const TMatrix& A, const double* Piv, double* B) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = A.Size();
    const auto Bg = [&](std::size_t g, std::int32_t i) { return B + (g * std::size_t(n) + std::size_t(i)) * L; };
    // F(g) for every right-hand side, g a constant, so that the sums stay in registers.
    const auto ForEach = [](auto F) {
        [&]<std::size_t... g>(std::index_sequence<g...>) {
            (F(std::integral_constant<std::size_t, g>()), ...);
        }(std::make_index_sequence<Gs>());
    };
    std::array<TVec, Gs> Sum;
    std::array<TVec, Gs> Bi;
    for (std::int32_t i = 0; i < n; ++i) {
        const auto Ip = hn::LoadU(d, Piv + i * L);
        ForEach([&](auto g) { Sum[g] = Bi[g] = hn::LoadU(d, Bg(g, i)); });
        for (std::int32_t k = i + 1; k < n; ++k) {
            const auto Here = hn::Eq(Ip, hn::Set(d, double(k)));
            if (hn::AllFalse(d, Here)) continue;
            ForEach([&](auto g) {
                const auto Bk = hn::LoadU(d, Bg(g, k));
                Sum[g] = hn::IfThenElse(Here, Bk, Sum[g]);
                hn::StoreU(hn::IfThenElse(Here, Bi[g], Bk), d, Bg(g, k));
            });
        }
        for (std::int32_t j = 0; j < i; ++j) {
            const auto Lij = A.Get(i, j);
            ForEach([&](auto g) { Sum[g] = hn::Sub(Sum[g], hn::Mul(Lij, hn::LoadU(d, Bg(g, j)))); });
        }
        ForEach([&](auto g) { hn::StoreU(Sum[g], d, Bg(g, i)); });
    }
    for (std::int32_t i = n - 1; i >= 0; --i) {
        ForEach([&](auto g) { Sum[g] = hn::LoadU(d, Bg(g, i)); });
        for (std::int32_t j = i + 1; j < n; ++j) {
            const auto Uij = A.Get(i, j);
            ForEach([&](auto g) { Sum[g] = hn::Sub(Sum[g], hn::Mul(Uij, hn::LoadU(d, Bg(g, j)))); });
        }
        const auto Pivot = A.Get(i, i);
        ForEach([&](auto g) { hn::StoreU(hn::Div(Sum[g], Pivot), d, Bg(g, i)); });
    }
}

// The decomposition and every right-hand side's substitution.
template <class TMatrix>
bool Factorise(TMatrix& G, const TLaneSolveJob& J, const TBlockScratch& S) {
    if (!Decompose(G, S.Piv)) return false;
    const std::size_t Block = std::size_t(J.Weights) * hn::Lanes(TTag());
    std::int32_t g = 0;
    for (; g + 4 <= J.RightHandSides; g += 4) BackSubstitute<4>(G, S.Piv, S.Rhs + std::size_t(g) * Block);
    for (; g < J.RightHandSides; ++g) BackSubstitute<1>(G, S.Piv, S.Rhs + std::size_t(g) * Block);
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

bool Solve(const TLaneSolveJob& J, std::int32_t KeyIndex, double* Solution, double* Scratch) {
    const TTag d;
    const std::size_t L = hn::Lanes(d);
    const std::int32_t n = J.Weights;
    const TBlockScratch S{Scratch, Solution, Scratch + std::size_t(n) * n * L, Scratch + std::size_t(n) * (n + 1) * L,
                          Scratch + std::size_t(n) * (n + 2) * L};

    // The block's arithmetic is all in the vector unit, so only its flags
    // can change here; they are written only when raised before or during
    // the block, as writing the register costs far more than reading it.
    const std::uint32_t Saved = SseControlStatus();
    if ((Saved & FailureFlags) != 0) SetSseControlStatus(Saved & ~FailureFlags);
    FormNormalEquations(J, KeyIndex, S);
    bool Solved;
    if (n == 4) {
        TRegisterMatrix<4> G(S);
        Solved = Factorise(G, J, S);
    } else {
        TScratchMatrix G(S, n);
        Solved = Factorise(G, J, S);
    }
    const std::uint32_t After = SseControlStatus();
    Solved = Solved && (After & FailureFlags) == 0 && AllFinite(J.RightHandSides * n, S.Rhs);
    if (((After ^ Saved) & FailureFlags) != 0) SetSseControlStatus((After & ~FailureFlags) | (Saved & FailureFlags));
    return Solved;
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
HWY_EXPORT(AdjustWeights);
HWY_EXPORT(Predict);

std::int32_t LaneCount() { return HWY_DYNAMIC_DISPATCH(Lanes)(); }

const char* LaneTarget() { return HWY_DYNAMIC_DISPATCH(TargetName)(); }

std::size_t LaneScratchSize(std::int32_t Weights) {
    return (std::size_t(Weights) * std::size_t(Weights + 2) + 1) * std::size_t(LaneCount());
}

bool SolveLanes(const TLaneSolveJob& Job, std::int32_t KeyIndex, double* Solution, double* Scratch) {
    return HWY_DYNAMIC_DISPATCH(Solve)(Job, KeyIndex, Solution, Scratch);
}

void AdjustLaneWeights(double* Weights, std::int32_t Count, bool Clamp, bool Normalize) {
    HWY_DYNAMIC_DISPATCH(AdjustWeights)(Weights, Count, Clamp, Normalize);
}

void PredictLanes(std::int32_t Count, const double* const* Inputs, const std::int32_t* Steps, const double* Weights,
                  bool Clamp, double* Out, std::int32_t OutStep) {
    HWY_DYNAMIC_DISPATCH(Predict)(Count, Inputs, Steps, Weights, Clamp, Out, OutStep);
}

} // namespace fi
#endif
