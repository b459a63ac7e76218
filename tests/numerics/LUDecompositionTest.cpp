#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/AllocationCount.h"
#include "numerics/LUDecomposition.h"

namespace fi {
namespace {

TMatrix MakeMatrix(std::int32_t Rows, std::int32_t Cols, std::initializer_list<double> Values) {
    TMatrix M(Rows, Cols);
    std::int32_t i = 0;
    for (double v : Values) M.Map[i++] = v;
    return M;
}

TVector MakeVector(std::initializer_list<double> Values) {
    TVector V(std::int32_t(Values.size()));
    std::int32_t i = 0;
    for (double v : Values) V.Map[i++] = v;
    return V;
}

template <class F>
std::string Failure(F&& Body) {
    try {
        Body();
    } catch (const ESingluarMatrix& E) {
        return std::string("singular: ") + E.what();
    } catch (const EMathError& E) {
        return std::string("math: ") + E.what();
    }
    return "";
}

bool SameBits(const TFloatMap& A, const TFloatMap& B) {
    return A.Width == B.Width && A.Height == B.Height && std::memcmp(A.Map, B.Map, std::size_t(A.Size)) == 0;
}

// Uniform values in [-1, 1) from a seeded generator.
void FillRandom(TFloatMap& M, std::mt19937& Rng) {
    std::uniform_real_distribution<double> U(-1.0, 1.0);
    for (std::int32_t i = 0; i < M.Count; ++i) M.Map[i] = U(Rng);
}

TEST(LUSolve, TwoByTwoAndItsInverse) {
    TMatrix A = MakeMatrix(2, 2, {2, 1, 1, 3});
    const TVector B = MakeVector({3, 5});
    TVector X;
    LUSolve(A, X, B);
    EXPECT_DOUBLE_EQ(X.Item(1), 0.8);
    EXPECT_DOUBLE_EQ(X.Item(2), 1.4);
    EXPECT_EQ(A.Item(1, 2), 1.0);
    EXPECT_EQ(B.Item(1), 3.0);

    LUSolve(A, X, B, true);
    EXPECT_DOUBLE_EQ(A.Item(1, 1), 0.6);
    EXPECT_DOUBLE_EQ(A.Item(1, 2), -0.2);
    EXPECT_DOUBLE_EQ(A.Item(2, 1), -0.2);
    EXPECT_DOUBLE_EQ(A.Item(2, 2), 0.4);

    TMatrix One = MakeMatrix(1, 1, {4});
    LUSolve(One, X, MakeVector({2}));
    EXPECT_EQ(X.Rows(), 1);
    EXPECT_EQ(X.Item(1), 0.5);

    // The solution may overwrite its own right-hand side.
    TVector Same = MakeVector({3, 5});
    TMatrix A2 = MakeMatrix(2, 2, {2, 1, 1, 3});
    LUSolve(A2, Same, Same);
    EXPECT_DOUBLE_EQ(Same.Item(2), 1.4);
}

TEST(LUDecomp, PivotFollowsTheScaledMagnitudeAndTiesGoToTheLastRow) {
    TMatrix LU;
    TIntVector Indx(2);
    LUDecomp(MakeMatrix(2, 2, {1, 1000, 2, 1}), LU, Indx);
    EXPECT_EQ(Indx.Item(1), 2);
    EXPECT_EQ(Indx.Item(2), 2);
    EXPECT_EQ(LU.Item(1, 1), 2.0);
    EXPECT_EQ(LU.Item(2, 1), 0.5);
    EXPECT_EQ(LU.Item(2, 2), 999.5);

    // Plain partial pivoting would take row 1 here (2 > 1), the scaled
    // magnitudes (1/100 against 1/1) take row 2.
    LUDecomp(MakeMatrix(2, 2, {2, 200, 1, 1}), LU, Indx);
    EXPECT_EQ(Indx.Item(1), 2);

    // Equal scaled candidates: the last one wins.
    LUDecomp(MakeMatrix(2, 2, {1, 1, 1, -1}), LU, Indx);
    EXPECT_EQ(Indx.Item(1), 2);
    EXPECT_EQ(LU.Item(1, 2), -1.0);
}

TEST(LUDecomp, FactorsRebuildThePermutedMatrix) {
    std::mt19937 Rng(11);
    for (std::int32_t n : {3, 5, 9, 25}) {
        TMatrix A(n, n), LU;
        FillRandom(A, Rng);
        TMatrix Original;
        Original.Assign(&A);
        TIntVector Indx(n);
        LUDecomp(A, LU, Indx);
        EXPECT_TRUE(SameBits(A, Original));
        // Apply the recorded exchanges to A and compare with L * U.
        TMatrix P;
        P.Assign(&A);
        for (std::int32_t j = 1; j <= n; ++j)
            for (std::int32_t c = 1; c <= n; ++c) std::swap(P.Item(j, c), P.Item(Indx.Item(j), c));
        for (std::int32_t r = 1; r <= n; ++r)
            for (std::int32_t c = 1; c <= n; ++c) {
                double s = r <= c ? LU.Item(r, c) : 0.0;
                for (std::int32_t k = 1; k < r && k <= c; ++k) s += LU.Item(r, k) * LU.Item(k, c);
                ASSERT_NEAR(s, P.Item(r, c), 1e-12) << n << " " << r << " " << c;
            }
    }
}

TEST(LUDecomp, SingularMessages) {
    TMatrix LU;
    TIntVector Indx(3);
    // The zero row is found before any elimination, even after a good row.
    EXPECT_EQ(Failure([&] { LUDecomp(MakeMatrix(3, 3, {1, 2, 3, 0, 0, 0, 0, 0, 0}), LU, Indx); }),
              std::string("singular: ") + SSingularRowOfZeros);
    Indx.SetCount(2);
    EXPECT_EQ(Failure([&] { LUDecomp(MakeMatrix(2, 2, {1, 2, 2, 4}), LU, Indx); }),
              std::string("singular: ") + SSingularZeroPivot);
    // Column 1 was done: its exchange is recorded.
    EXPECT_EQ(Indx.Item(1), 2);

    TMatrix A = MakeMatrix(2, 2, {1, 2, 2, 4});
    TVector X;
    EXPECT_EQ(Failure([&] { LUSolve(A, X, MakeVector({1, 1}), true); }), std::string("singular: ") + SSingularZeroPivot);
    EXPECT_EQ(A.Item(2, 2), 4.0);
}

TEST(LUBackSubstitute, LeadingZerosOfThePermutedRightHandSide) {
    TMatrix A = MakeMatrix(3, 3, {4, 1, 2, 1, 5, 1, 2, 1, 6});
    TMatrix LU;
    TIntVector Indx(3);
    LUDecomp(A, LU, Indx);
    EXPECT_EQ(Indx.Item(1), 1);
    // An infinite factor next to a zero of b must not turn the solution into NaN.
    LU.Item(2, 1) = std::numeric_limits<double>::infinity();
    TVector B = MakeVector({0, 0, 3});
    LUBackSubstitute(LU, Indx, B);
    TVector X = MakeVector({0, 0, 3});
    TMatrix A2;
    A2.Assign(&A);
    LUSolve(A2, X, MakeVector({0, 0, 3}));
    for (std::int32_t i = 1; i <= 3; ++i) EXPECT_EQ(B.Item(i), X.Item(i));
}

TEST(LUSolve, FailedArithmeticIsAFailedSolve) {
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_DIVBYZERO);
    // A tiny pivot: no singular matrix, but the solution overflows.
    TMatrix A = MakeMatrix(2, 2, {1e-300, 0, 0, 1});
    TVector X;
    EXPECT_EQ(Failure([&] { LUSolve(A, X, MakeVector({1e300, 1}), true); }), std::string("math: ") + SOverflow);
    EXPECT_EQ(A.Item(1, 1), 1e-300);
    // The caller's flags are as they were.
    EXPECT_EQ(std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW), FE_DIVBYZERO);

    // Non-finite input passes some arithmetic silently; the result tells.
    TMatrix Inf = MakeMatrix(2, 2, {1, 0, 0, 1});
    EXPECT_EQ(Failure([&] { LUSolve(Inf, X, MakeVector({std::numeric_limits<double>::infinity(), 1})); }),
              std::string("math: ") + SInvalidOp);
    TMatrix Nan = MakeMatrix(2, 2, {1, std::numeric_limits<double>::quiet_NaN(), 0, 1});
    EXPECT_EQ(Failure([&] { LUSolve(Nan, X, MakeVector({1, 1})); }), std::string("math: ") + SInvalidOp);

    // A sound solve leaves the caller's flags alone as well.
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_OVERFLOW);
    TMatrix Good = MakeMatrix(2, 2, {2, 1, 1, 3});
    LUSolve(Good, X, MakeVector({3, 5}));
    EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW), FE_OVERFLOW);
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(NormalProducts, ExactlySymmetricInRowOrder) {
    std::mt19937 Rng(5);
    TMatrix A(49, 9), AtA;
    FillRandom(A, Rng);
    TransposeProduct(AtA, A);
    ASSERT_EQ(AtA.Rows(), 9);
    ASSERT_EQ(AtA.Cols(), 9);
    for (std::int32_t c = 1; c <= 9; ++c)
        for (std::int32_t d = 1; d <= c; ++d) {
            double s = 0.0;
            for (std::int32_t k = 1; k <= 49; ++k) s += A.Item(k, c) * A.Item(k, d);
            EXPECT_EQ(AtA.Item(c, d), s);
            EXPECT_EQ(AtA.Item(d, c), s);
        }

    // Only as many rows as b has elements take part.
    TVector B(30), Atb;
    FillRandom(B, Rng);
    TransposeMulVector(Atb, A, B);
    ASSERT_EQ(Atb.Rows(), 9);
    for (std::int32_t c = 1; c <= 9; ++c) {
        double s = 0.0;
        for (std::int32_t k = 1; k <= 30; ++k) s += A.Item(k, c) * B.Item(k);
        EXPECT_EQ(Atb.Item(c), s);
    }
}

TEST(SolveLeastSquares, RegularisationOnTheRankOneSystem) {
    const TMatrix A = MakeMatrix(3, 2, {1, 1, 2, 2, 3, 3});
    const TVector B = MakeVector({1, 2, 3});
    TVector X;
    EXPECT_EQ(Failure([&] { SolveLeastSquares(A, B, X, 0.0); }), std::string("singular: ") + SSingularZeroPivot);
    SolveLeastSquares(A, B, X, 1.0);
    EXPECT_DOUBLE_EQ(X.Item(1), 14.0 / 29.0);
    EXPECT_DOUBLE_EQ(X.Item(2), 14.0 / 29.0);
    // Lambda enters squared.
    SolveLeastSquares(A, B, X, -2.0);
    EXPECT_DOUBLE_EQ(X.Item(1), 14.0 / 32.0);

    // Square and invertible without regularisation: the plain solution.
    const TMatrix S = MakeMatrix(2, 2, {2, 1, 1, 3});
    double Condition = 0;
    SolveLeastSquares(S, MakeVector({3, 5}), X, 0.0, &Condition);
    EXPECT_NEAR(X.Item(1), 0.8, 1e-15);
    EXPECT_NEAR(X.Item(2), 1.4, 1e-15);
    // AtA = [[5, 5], [5, 10]]: eigenvalues (15 +- sqrt(125)) / 2.
    EXPECT_NEAR(Condition, (15 + std::sqrt(125.0)) / (15 - std::sqrt(125.0)), 1e-12);

    // A singular normal matrix still reports its condition before failing.
    Condition = 0;
    EXPECT_NE(Failure([&] { SolveLeastSquares(A, B, X, 0.0, &Condition); }), "");
    EXPECT_TRUE(std::fabs(Condition) > 1e15 || std::isnan(Condition));
}

// An independent solve of the regularised normal equations: products in
// extended precision, Gaussian elimination with plain partial pivoting.
std::vector<long double> ReferenceSolve(const TMatrix& A, const TVector& B, double Lambda) {
    const std::int32_t n = A.Cols();
    std::vector<long double> M(std::size_t(n) * (n + 1), 0.0L);
    auto At = [&](std::int32_t r, std::int32_t c) -> long double& { return M[std::size_t(r) * (n + 1) + c]; };
    for (std::int32_t r = 0; r < n; ++r) {
        for (std::int32_t c = 0; c < n; ++c)
            for (std::int32_t k = 1; k <= A.Rows(); ++k)
                At(r, c) += static_cast<long double>(A.Item(k, r + 1)) * A.Item(k, c + 1);
        At(r, r) += static_cast<long double>(Lambda) * Lambda;
        for (std::int32_t k = 1; k <= A.Rows(); ++k) At(r, n) += static_cast<long double>(A.Item(k, r + 1)) * B.Item(k);
    }
    for (std::int32_t c = 0; c < n; ++c) {
        std::int32_t Best = c;
        for (std::int32_t r = c + 1; r < n; ++r)
            if (std::fabs(At(r, c)) > std::fabs(At(Best, c))) Best = r;
        for (std::int32_t k = 0; k <= n; ++k) std::swap(At(c, k), At(Best, k));
        for (std::int32_t r = c + 1; r < n; ++r) {
            const long double f = At(r, c) / At(c, c);
            for (std::int32_t k = c; k <= n; ++k) At(r, k) -= f * At(c, k);
        }
    }
    std::vector<long double> X(static_cast<std::size_t>(n));
    for (std::int32_t r = n - 1; r >= 0; --r) {
        long double s = At(r, n);
        for (std::int32_t k = r + 1; k < n; ++k) s -= At(r, k) * X[std::size_t(k)];
        X[std::size_t(r)] = s / At(r, r);
    }
    return X;
}

TEST(SolveLeastSquares, AgreesWithAStraightforwardSolveAndReusesItsRecord) {
    std::mt19937 Rng(2024);
    TLeastSquaresWork Work{};
    const std::int32_t Shapes[][2] = {{49, 9}, {49, 25}, {9, 9}, {16, 4}, {81, 13}, {49, 9}, {5, 1}};
    const double Lambdas[] = {0.0, 0.01, 0.5};
    for (const auto& Shape : Shapes) {
        for (double Lambda : Lambdas) {
            TMatrix A(Shape[0], Shape[1]);
            TVector B(Shape[0]), X, Plain;
            FillRandom(A, Rng);
            FillRandom(B, Rng);
            // A strong diagonal in the leading square keeps the system well
            // conditioned, also when it is square and unregularised.
            for (std::int32_t k = 1; k <= Shape[1]; ++k) A.Item(k, k) += 2.0;
            SolveLeastSquares(A, B, X, Lambda, nullptr, &Work);
            const std::vector<long double> Expected = ReferenceSolve(A, B, Lambda);
            ASSERT_EQ(X.Rows(), Shape[1]);
            for (std::int32_t i = 1; i <= Shape[1]; ++i)
                EXPECT_NEAR(X.Item(i), double(Expected[std::size_t(i - 1)]), 1e-13) << Shape[0] << "x" << Shape[1];
            // With or without a record, the same bits.
            SolveLeastSquares(A, B, Plain, Lambda);
            EXPECT_TRUE(SameBits(X, Plain));
        }
    }
    ASSERT_NE(Work.AtA, nullptr);
    ASSERT_NE(Work.Solve.LU, nullptr);
    EXPECT_EQ(Work.Solve.LU->Rows(), 1);
    EXPECT_EQ(Work.Solve.Decomp.VV->Rows(), 1);
}

TEST(SolveLeastSquares, AllocatesNothingOnceItsRecordIsFilled) {
    std::mt19937 Rng(7);
    for (const std::int32_t Cols : {9, 25}) {
        TMatrix A(49, Cols);
        TVector B(49), X;
        FillRandom(A, Rng);
        FillRandom(B, Rng);
        TLeastSquaresWork Work{};
        const std::int64_t Before = test::AllocationCount();
        SolveLeastSquares(A, B, X, 0.1, nullptr, &Work);
        // The allocation hook is live: the first call fills the record.
        EXPECT_GT(test::AllocationCount(), Before);
        const std::int64_t Filled = test::AllocationCount();
        for (int i = 0; i < 20; ++i) {
            A.Map[i] += 0.25;
            SolveLeastSquares(A, B, X, 0.1, nullptr, &Work);
        }
        EXPECT_EQ(test::AllocationCount(), Filled) << Cols;
    }
}

TEST(TrySolveLeastSquares, ReportsWhatTheRaisingSolveRaisesAndSolvesAlike) {
    TLeastSquaresWork Work{};
    TVector X, Y;
    const TVector B = MakeVector({1, 2, 3});
    const TMatrix Zero = MakeMatrix(3, 2, {0, 0, 0, 0, 0, 0});
    EXPECT_EQ(TrySolveLeastSquares(Zero, B, X, 0.0, Work), TSolveStatus::SingularRowOfZeros);
    const TMatrix Parallel = MakeMatrix(3, 2, {1, 2, 2, 4, 3, 6});
    EXPECT_EQ(TrySolveLeastSquares(Parallel, B, X, 0.0, Work), TSolveStatus::SingularZeroPivot);
    EXPECT_EQ(Failure([&] { SolveLeastSquares(Parallel, B, X, 0.0); }), std::string("singular: ") + SSingularZeroPivot);
    const TMatrix Huge = MakeMatrix(3, 2, {1e200, 0, 0, 1, 0, 0});
    EXPECT_EQ(TrySolveLeastSquares(Huge, B, X, 0.0, Work), TSolveStatus::Overflow);

    const TMatrix A = MakeMatrix(3, 2, {1, 2, 3, 5, 8, 13});
    ASSERT_EQ(TrySolveLeastSquares(A, B, X, 0.01, Work), TSolveStatus::Solved);
    SolveLeastSquares(A, B, Y, 0.01);
    EXPECT_TRUE(SameBits(X, Y));
}

TEST(JacobiEigen, DiagonalAndTwoByTwo) {
    TMatrix V;
    TVector D;
    EXPECT_EQ(JacobiEigen(MakeMatrix(3, 3, {1, 0, 0, 0, 3, 0, 0, 0, 2}), V, D), 0);
    EXPECT_EQ(D.Item(1), 3.0);
    EXPECT_EQ(D.Item(2), 2.0);
    EXPECT_EQ(D.Item(3), 1.0);
    const double Columns[9] = {0, 0, 1, 1, 0, 0, 0, 1, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(V.Map[i], Columns[i]);

    EXPECT_EQ(JacobiEigen(MakeMatrix(2, 2, {2, 1, 1, 2}), V, D), 1);
    EXPECT_DOUBLE_EQ(D.Item(1), 3.0);
    EXPECT_DOUBLE_EQ(D.Item(2), 1.0);
    EXPECT_NEAR(std::fabs(V.Item(1, 1)), std::sqrt(0.5), 1e-15);

    // Equal eigenvalues: the last of equals moves to the front.
    JacobiEigen(MakeMatrix(2, 2, {5, 0, 0, 5}), V, D);
    EXPECT_EQ(V.Item(1, 1), 0.0);
    EXPECT_EQ(V.Item(2, 1), 1.0);

    EXPECT_EQ(ConditionNumber(MakeMatrix(2, 2, {4, 0, 0, 1})), 4.0);
    EXPECT_EQ(ConditionNumber(MakeMatrix(1, 1, {7})), 1.0);
}

TEST(JacobiEigen, NeverFailsOnAMatrixThatCannotConverge) {
    // A NaN off the diagonal: no threshold is ever passed, all sweeps run,
    // and the diagonal comes back sorted.
    TMatrix A = MakeMatrix(3, 3, {1, 0, 0, 0, 2, std::numeric_limits<double>::quiet_NaN(), 0, 0, 4});
    TMatrix V;
    TVector D;
    EXPECT_EQ(JacobiEigen(A, V, D), 0);
    EXPECT_EQ(D.Item(1), 4.0);
    EXPECT_EQ(D.Item(2), 2.0);
    EXPECT_EQ(D.Item(3), 1.0);
    EXPECT_TRUE(std::isnan(A.Item(2, 3)));
}

// V orthonormal, D descending and V * D * transpose(V) = A.
void ExpectDecomposition(const TMatrix& A, const TMatrix& V, const TVector& D, double Tolerance) {
    const std::int32_t n = A.Rows();
    double Scale = 0.0;
    for (std::int32_t i = 0; i < A.Count; ++i) Scale = std::max(Scale, std::fabs(A.Map[i]));
    for (std::int32_t i = 1; i < n; ++i) EXPECT_GE(D.Item(i), D.Item(i + 1));
    for (std::int32_t r = 1; r <= n; ++r)
        for (std::int32_t c = 1; c <= n; ++c) {
            double Dot = 0.0, Rebuilt = 0.0;
            for (std::int32_t k = 1; k <= n; ++k) {
                Dot += V.Item(k, r) * V.Item(k, c);
                Rebuilt += V.Item(r, k) * D.Item(k) * V.Item(c, k);
            }
            ASSERT_NEAR(Dot, r == c ? 1.0 : 0.0, 1e-13) << n;
            ASSERT_NEAR(Rebuilt, A.Item(r, c), Tolerance * Scale) << n;
        }
}

TEST(JacobiEigen, RebuildsRandomSymmetricMatrices) {
    std::mt19937 Rng(99);
    for (std::int32_t n : {2, 3, 4, 9, 16, 25}) {
        TMatrix R(n, n), A(n, n), V;
        TVector D;
        FillRandom(R, Rng);
        for (std::int32_t r = 1; r <= n; ++r)
            for (std::int32_t c = 1; c <= n; ++c) A.Item(r, c) = R.Item(r, c) + R.Item(c, r);
        TMatrix Original;
        Original.Assign(&A);
        EXPECT_GT(JacobiEigen(A, V, D), 0);
        EXPECT_TRUE(SameBits(A, Original));
        ExpectDecomposition(A, V, D, 1e-13);
    }
}

TEST(JacobiEigen, RebuildsNearSingularNormalMatrices) {
    // Normal matrices of nearly dependent columns, as the engine builds them
    // on flat image regions: one column is another plus 1e-7 noise.
    std::mt19937 Rng(3);
    for (std::int32_t n : {3, 9, 25}) {
        TMatrix A(49, n), AtA, V;
        TVector D;
        FillRandom(A, Rng);
        std::uniform_real_distribution<double> Noise(-1e-7, 1e-7);
        for (std::int32_t k = 1; k <= 49; ++k) A.Item(k, n) = A.Item(k, 1) + Noise(Rng);
        TransposeProduct(AtA, A);
        JacobiEigen(AtA, V, D);
        ExpectDecomposition(AtA, V, D, 1e-13);
        EXPECT_LT(std::fabs(D.Item(n)), 1e-10 * D.Item(1));
        EXPECT_GT(std::fabs(ConditionNumber(AtA)), 1e10);
    }
}

} // namespace
} // namespace fi
