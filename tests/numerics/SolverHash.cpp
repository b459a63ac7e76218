// Solves a fixed set of systems and prints one 64-bit hash of every result
// bit, so that the two targets can be compared: their solvers must agree to
// the last bit. The data come from a generator of our own, identical on both.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "numerics/LUDecomposition.h"

namespace {

using namespace fi;

class TLcg {
public:
    explicit TLcg(std::uint64_t Seed) : State(Seed) {}
    // Uniform in [0, 1) with 53 random bits: exact on every target.
    double Next() {
        State = State * 6364136223846793005ull + 1442695040888963407ull;
        return double(State >> 11) * (1.0 / 9007199254740992.0);
    }

private:
    std::uint64_t State;
};

class THash {
public:
    void Add(const void* Data, std::size_t Bytes) {
        const auto* p = static_cast<const std::uint8_t*>(Data);
        for (std::size_t i = 0; i < Bytes; ++i) {
            Value ^= p[i];
            Value *= 1099511628211ull;
        }
    }
    void Add(double v) { Add(&v, sizeof v); }
    void Add(std::int32_t v) { Add(&v, sizeof v); }
    void Add(const TFloatMap& M) {
        Add(M.Width);
        Add(M.Height);
        if (M.Size > 0) Add(M.Map, std::size_t(M.Size));
    }
    void Add(const std::string& s) { Add(s.data(), s.size()); }
    std::uint64_t Value = 14695981039346656037ull;
};

// Uniform values in [-1, 1), or image-like integer levels 0 ... 255 where
// every column is a near copy of the first, as on smooth image regions.
void Fill(TFloatMap& M, TLcg& Rng, bool ImageLike) {
    for (std::int32_t r = 0; r < M.Height; ++r)
        for (std::int32_t c = 0; c < M.Width; ++c) {
            double& v = M.Map[std::intptr_t(r) * M.Width + c];
            if (!ImageLike)
                v = 2.0 * Rng.Next() - 1.0;
            else if (c == 0)
                v = double(std::int32_t(Rng.Next() * 256.0));
            else
                v = M.Map[std::intptr_t(r) * M.Width] + double(std::int32_t(Rng.Next() * 3.0)) - 1.0;
        }
}

void Solve(THash& Hash, TLeastSquaresWork& Work, std::int32_t Rows, std::int32_t Cols, std::uint64_t Seed,
           bool ImageLike, double Lambda, bool WithCondition) {
    TLcg Rng(Seed);
    TMatrix A(Rows, Cols);
    TVector B(Rows), X;
    Fill(A, Rng, ImageLike);
    Fill(B, Rng, ImageLike);
    double Condition = 0.0;
    try {
        SolveLeastSquares(A, B, X, Lambda, WithCondition ? &Condition : nullptr, &Work);
        Hash.Add(X);
    } catch (const Exception& E) {
        Hash.Add(std::string(E.what()));
    }
    if (WithCondition) Hash.Add(Condition);
}

} // namespace

int main() {
    THash Hash;
    TLeastSquaresWork Work{};
    for (std::uint64_t i = 0; i < 40; ++i) {
        const double Lambda = i % 3 == 0 ? 0.0 : (i % 3 == 1 ? 0.001 : 0.75);
        Solve(Hash, Work, 49, 9, 1000 + i, i % 2 == 1, Lambda, i % 5 == 0);
        Solve(Hash, Work, 49, 25, 2000 + i, i % 2 == 1, Lambda * 255.0, i % 7 == 0);
    }
    const std::int32_t Small[][2] = {{1, 1}, {3, 2}, {4, 4}, {9, 3}, {16, 4}, {25, 9}, {81, 13}};
    for (std::uint64_t i = 0; i < 7; ++i)
        for (const bool ImageLike : {false, true})
            Solve(Hash, Work, Small[i][0], Small[i][1], 3000 + i, ImageLike, ImageLike ? 0.0 : 0.01, true);

    // A full eigen-decomposition and an inverse.
    TLcg Rng(4242);
    TMatrix R(12, 12), S(12, 12), V;
    TVector D, X;
    Fill(R, Rng, false);
    for (std::int32_t r = 1; r <= 12; ++r)
        for (std::int32_t c = 1; c <= 12; ++c) S.Item(r, c) = R.Item(r, c) + R.Item(c, r);
    Hash.Add(JacobiEigen(S, V, D));
    Hash.Add(V);
    Hash.Add(D);
    TVector B(12);
    Fill(B, Rng, false);
    LUSolve(R, X, B, true);
    Hash.Add(R);
    Hash.Add(X);
    double M[16];
    for (double& m : M) m = Rng.Next();
    InvertAffine4x4(M, M);
    Hash.Add(M, sizeof M);

    char Text[17];
    for (int i = 0; i < 16; ++i) Text[i] = "0123456789abcdef"[(Hash.Value >> (60 - 4 * i)) & 15];
    Text[16] = 0;
    std::puts(Text);
    return 0;
}
