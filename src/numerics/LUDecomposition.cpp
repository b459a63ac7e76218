#include "numerics/LUDecomposition.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/FloatEnvironment.h"

namespace fi {

namespace {

// The arithmetic of one solve runs with the failure flags cleared; the
// caller's flags are put back on the way out, whatever happens.
class TMathCheck {
public:
    TMathCheck() : Saved(RaisedFailureFlags()) { SetFailureFlags({}); }
    ~TMathCheck() { SetFailureFlags(Saved); }
    TMathCheck(const TMathCheck&) = delete;
    TMathCheck& operator=(const TMathCheck&) = delete;

    // What the arithmetic since the last clear has raised, the first of
    // invalid operation, division by zero and overflow.
    static TSolveStatus FlagStatus() {
        const unsigned Raised = RaisedFailureFlags().Any();
        if (Raised & FlagInvalid) return TSolveStatus::InvalidOperation;
        if (Raised & FlagDivideByZero) return TSolveStatus::DivisionByZero;
        if (Raised & FlagOverflow) return TSolveStatus::Overflow;
        return TSolveStatus::Solved;
    }
    // The same, and a result that is not finite (non-finite input passes
    // through the arithmetic without raising a flag) fails as well.
    static TSolveStatus ResultStatus(const TFloatMap& Result) {
        const TSolveStatus Flags = FlagStatus();
        if (Flags != TSolveStatus::Solved) return Flags;
        for (std::int32_t i = 0; i < Result.Count; ++i)
            if (!std::isfinite(Result.Map[i])) return TSolveStatus::InvalidOperation;
        return TSolveStatus::Solved;
    }

private:
    TFailureFlags Saved;
};

// A work-record slot, or a temporary owned by the call when there is no record.
template <class T>
T& Slot(std::unique_ptr<T>* RecordSlot, std::unique_ptr<T>& Own) {
    std::unique_ptr<T>& Target = RecordSlot != nullptr ? *RecordSlot : Own;
    if (!Target) Target = std::make_unique<T>();
    return *Target;
}

TSolveStatus Decompose(const TMatrix& A, TMatrix& LU, TIntVector& Indx, TLUDecompWork* Work) {
    const std::int32_t n = A.Width;
    LU.Assign(&A);
    std::unique_ptr<TVector> OwnVV;
    TVector& VV = Slot(Work != nullptr ? &Work->VV : nullptr, OwnVV);
    VV.SetDimensions(n, 1);
    double* const a = LU.Map;
    double* const vv = VV.Map;

    for (std::int32_t i = 0; i < A.Height; ++i) {
        const double* Row = a + std::intptr_t(i) * n;
        double Big = 0.0;
        for (std::int32_t j = 0; j < n; ++j) {
            const double Temp = std::fabs(Row[j]);
            if (Temp > Big) Big = Temp;
        }
        if (Big == 0.0) return TSolveStatus::SingularRowOfZeros;
        vv[i] = 1.0 / Big;
    }

    for (std::int32_t j = 0; j < n; ++j) {
        for (std::int32_t i = 0; i < j; ++i) {
            double* Row = a + std::intptr_t(i) * n;
            double Sum = Row[j];
            for (std::int32_t k = 0; k < i; ++k) Sum -= Row[k] * a[std::intptr_t(k) * n + j];
            Row[j] = Sum;
        }
        double Big = 0.0;
        // Stays on the diagonal when no candidate compares (a NaN column).
        std::int32_t IMax = j;
        for (std::int32_t i = j; i < n; ++i) {
            double* Row = a + std::intptr_t(i) * n;
            double Sum = Row[j];
            for (std::int32_t k = 0; k < j; ++k) Sum -= Row[k] * a[std::intptr_t(k) * n + j];
            Row[j] = Sum;
            const double Dum = vv[i] * std::fabs(Sum);
            // The last of several equal candidates wins.
            if (Dum >= Big) {
                Big = Dum;
                IMax = i;
            }
        }
        if (IMax != j) {
            double* RowMax = a + std::intptr_t(IMax) * n;
            double* RowJ = a + std::intptr_t(j) * n;
            for (std::int32_t k = 0; k < n; ++k) {
                const double Dum = RowMax[k];
                RowMax[k] = RowJ[k];
                RowJ[k] = Dum;
            }
            vv[IMax] = vv[j];
        }
        Indx.Item(j + 1) = IMax + 1;
        const double Pivot = a[std::intptr_t(j) * n + j];
        if (Pivot == 0.0) return TSolveStatus::SingularZeroPivot;
        if (j != n - 1) {
            const double Dum = 1.0 / Pivot;
            for (std::int32_t i = j + 1; i < n; ++i) a[std::intptr_t(i) * n + j] *= Dum;
        }
    }
    return TSolveStatus::Solved;
}

void BackSubstitute(const TMatrix& LU, const TIntVector& Indx, TVector& B) {
    const std::int32_t n = LU.Height;
    const std::int32_t w = LU.Width;
    const double* const a = LU.Map;
    double* const b = B.Map;
    // Index of the first non-zero element of the permuted right-hand side;
    // -1 while there is none, so that leading zeros cost nothing.
    std::int32_t ii = -1;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t ip = Indx.Item(i + 1) - 1;
        double Sum = b[ip];
        b[ip] = b[i];
        if (ii >= 0) {
            const double* Row = a + std::intptr_t(i) * w;
            for (std::int32_t j = ii; j < i; ++j) Sum -= Row[j] * b[j];
        } else if (Sum != 0.0) {
            ii = i;
        }
        b[i] = Sum;
    }
    for (std::int32_t i = n - 1; i >= 0; --i) {
        const double* Row = a + std::intptr_t(i) * w;
        double Sum = b[i];
        for (std::int32_t j = i + 1; j < n; ++j) Sum -= Row[j] * b[j];
        b[i] = Sum / Row[i];
    }
}

// LUSolve without its own flag handling; fails when the solution (and, with
// Invert, the inverse) is not sound, before A is touched.
TSolveStatus Solve(TMatrix& A, TVector& X, const TVector& B, bool Invert, TLUSolveWork* Work) {
    X.Assign(&B);
    std::unique_ptr<TMatrix> OwnLU;
    std::unique_ptr<TIntVector> OwnIndx;
    TMatrix& LU = Slot(Work != nullptr ? &Work->LU : nullptr, OwnLU);
    TIntVector& Indx = Slot(Work != nullptr ? &Work->Indx : nullptr, OwnIndx);
    Indx.SetCount(A.Width);
    if (const TSolveStatus Status = Decompose(A, LU, Indx, Work != nullptr ? &Work->Decomp : nullptr);
        Status != TSolveStatus::Solved)
        return Status;
    BackSubstitute(LU, Indx, X);
    if (const TSolveStatus Status = TMathCheck::ResultStatus(X); Status != TSolveStatus::Solved || !Invert)
        return Status;

    const std::int32_t n = A.Width;
    TMatrix Inverse(A.Height, n);
    TVector e(n);
    for (std::int32_t i = 1; i <= A.Height; ++i) {
        e.ZeroAll();
        e.Item(i) = 1.0;
        BackSubstitute(LU, Indx, e);
        for (std::int32_t j = 1; j <= n; ++j) Inverse.Item(j, i) = e.Item(j);
    }
    if (const TSolveStatus Status = TMathCheck::ResultStatus(Inverse); Status != TSolveStatus::Solved) return Status;
    if (A.Size > 0) std::memcpy(A.Map, Inverse.Map, std::size_t(A.Size));
    return TSolveStatus::Solved;
}

// The regularised least-squares solve; Condition as in SolveLeastSquares.
TSolveStatus LeastSquares(const TMatrix& A, const TVector& B, TVector& X, double Lambda, double* Condition,
                          TLeastSquaresWork* Work) {
    const TMathCheck Check;
    std::unique_ptr<TMatrix> OwnAtA;
    std::unique_ptr<TVector> OwnAtb;
    TMatrix& AtA = Slot(Work != nullptr ? &Work->AtA : nullptr, OwnAtA);
    TVector& Atb = Slot(Work != nullptr ? &Work->Atb : nullptr, OwnAtb);
    TransposeProduct(AtA, A);
    if (Lambda != 0.0) {
        const double L2 = Lambda * Lambda;
        for (std::int32_t k = 1; k <= AtA.Rows(); ++k) AtA.Item(k, k) += L2;
    }
    TransposeMulVector(Atb, A, B);
    if (const TSolveStatus Status = TMathCheck::FlagStatus(); Status != TSolveStatus::Solved) return Status;
    if (Condition != nullptr) {
        // The quotient may be infinite for a singular matrix; that is no
        // failure of the solve.
        *Condition = ConditionNumber(AtA);
        SetFailureFlags({});
    }
    return Solve(AtA, X, Atb, false, Work != nullptr ? &Work->Solve : nullptr);
}

} // namespace

namespace {
void RaiseSolveFailure(TSolveStatus Status) {
    switch (Status) {
    case TSolveStatus::Solved: return;
    case TSolveStatus::SingularRowOfZeros: throw ESingluarMatrix(SSingularRowOfZeros);
    case TSolveStatus::SingularZeroPivot: throw ESingluarMatrix(SSingularZeroPivot);
    case TSolveStatus::InvalidOperation: throw EMathError(SInvalidOp);
    case TSolveStatus::DivisionByZero: throw EMathError(SZeroDivide);
    case TSolveStatus::Overflow: throw EMathError(SOverflow);
    }
}
} // namespace

void LUDecomp(const TMatrix& A, TMatrix& LU, TIntVector& Indx, TLUDecompWork* Work) {
    RaiseSolveFailure(Decompose(A, LU, Indx, Work));
}

void LUBackSubstitute(const TMatrix& LU, const TIntVector& Indx, TVector& B) { BackSubstitute(LU, Indx, B); }

void LUSolve(TMatrix& A, TVector& X, const TVector& B, bool Invert, TLUSolveWork* Work) {
    const TMathCheck Check;
    RaiseSolveFailure(Solve(A, X, B, Invert, Work));
}

void TransposeProduct(TMatrix& AtA, const TMatrix& A) {
    const std::int32_t C = A.Width;
    AtA.SetDimensions(C, C);
    double* const p = AtA.Map;
    // Every sum of the lower triangle runs over the rows in row order; the
    // rows are walked once, each sum still adding its terms in that order.
    for (std::int32_t c = 0; c < C; ++c)
        for (std::int32_t d = 0; d <= c; ++d) p[std::intptr_t(c) * C + d] = 0.0;
    // Four rows at a time, still added one after the other: fewer passes
    // over the triangle, the same sums.
    std::int32_t k = 0;
    for (; k + 4 <= A.Height; k += 4) {
        const double* R0 = A.Map + std::intptr_t(k) * C;
        const double* R1 = R0 + C;
        const double* R2 = R1 + C;
        const double* R3 = R2 + C;
        for (std::int32_t c = 0; c < C; ++c) {
            const double C0 = R0[c], C1 = R1[c], C2 = R2[c], C3 = R3[c];
            double* Out = p + std::intptr_t(c) * C;
            std::int32_t d = 0;
            // Pairs of independent sums, which the compiler can pack.
            for (; d + 1 <= c; d += 2) {
                const double S0 = Out[d] + C0 * R0[d] + C1 * R1[d] + C2 * R2[d] + C3 * R3[d];
                const double S1 = Out[d + 1] + C0 * R0[d + 1] + C1 * R1[d + 1] + C2 * R2[d + 1] + C3 * R3[d + 1];
                Out[d] = S0;
                Out[d + 1] = S1;
            }
            if (d == c) Out[d] = Out[d] + C0 * R0[d] + C1 * R1[d] + C2 * R2[d] + C3 * R3[d];
        }
    }
    for (; k < A.Height; ++k) {
        const double* Row = A.Map + std::intptr_t(k) * C;
        for (std::int32_t c = 0; c < C; ++c) {
            const double Rc = Row[c];
            double* Out = p + std::intptr_t(c) * C;
            for (std::int32_t d = 0; d <= c; ++d) Out[d] += Rc * Row[d];
        }
    }
    for (std::int32_t c = 0; c < C; ++c)
        for (std::int32_t d = 0; d < c; ++d) p[std::intptr_t(d) * C + c] = p[std::intptr_t(c) * C + d];
}

void TransposeMulVector(TVector& Atb, const TMatrix& A, const TVector& B) {
    const std::int32_t C = A.Width;
    Atb.SetDimensions(C, 1);
    double* const p = Atb.Map;
    for (std::int32_t c = 0; c < C; ++c) p[c] = 0.0;
    for (std::int32_t k = 0; k < B.Count; ++k) {
        const double* Row = A.Map + std::intptr_t(k) * C;
        const double Bk = B.Map[k];
        for (std::int32_t c = 0; c < C; ++c) p[c] += Row[c] * Bk;
    }
}

void SolveLeastSquares(const TMatrix& A, const TVector& B, TVector& X, double Lambda, double* Condition,
                       TLeastSquaresWork* Work) {
    RaiseSolveFailure(LeastSquares(A, B, X, Lambda, Condition, Work));
}

TSolveStatus TrySolveLeastSquares(const TMatrix& A, const TVector& B, TVector& X, double Lambda,
                                  TLeastSquaresWork& Work) {
    return LeastSquares(A, B, X, Lambda, nullptr, &Work);
}

namespace {
// Sorts the n eigenvalues d descending, the columns of the n x n
// eigenvector matrix v with them; of equal values the last one goes first.
void SortEigenDescending(std::int32_t n, double* d, double* v) {
    for (std::int32_t i = 0; i < n - 1; ++i) {
        std::int32_t k = i;
        double p = d[i];
        for (std::int32_t j = i + 1; j < n; ++j) {
            if (d[j] >= p) {
                k = j;
                p = d[j];
            }
        }
        if (k != i) {
            d[k] = d[i];
            d[i] = p;
            for (std::int32_t j = 0; j < n; ++j) {
                double* Row = v + std::intptr_t(j) * n;
                const double Dum = Row[i];
                Row[i] = Row[k];
                Row[k] = Dum;
            }
        }
    }
}
} // namespace

std::int32_t JacobiEigen(const TMatrix& A, TMatrix& V, TVector& D) {
    const std::int32_t n = A.Height;
    V.SetDimensions(n, n);
    V.SetIdentity();
    D.SetDimensions(n, 1);
    TMatrix Work;
    Work.Assign(&A);
    double* const a = Work.Map;
    double* const v = V.Map;
    double* const d = D.Map;
    std::vector<double> b(static_cast<std::size_t>(n)), z(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) {
        b[i] = d[i] = a[std::intptr_t(i) * n + i];
        z[i] = 0.0;
    }
    const auto Rotate = [](double& x, double& y, double s, double Tau) {
        const double g = x, h = y;
        x = g - s * (h + g * Tau);
        y = h + s * (g - h * Tau);
    };
    const auto At = [a, n](std::int32_t Row, std::int32_t Col) -> double& { return a[std::intptr_t(Row) * n + Col]; };

    std::int32_t Rotations = 0;
    bool Converged = false;
    for (std::int32_t Sweep = 1; Sweep <= 50; ++Sweep) {
        double Sm = 0.0;
        for (std::int32_t p = 0; p < n - 1; ++p)
            for (std::int32_t q = p + 1; q < n; ++q) Sm += std::fabs(At(p, q));
        if (Sm == 0.0) {
            Converged = true;
            break;
        }
        const double Tresh = Sweep <= 3 ? 0.2 * Sm / (double(n) * double(n)) : 0.0;
        for (std::int32_t p = 0; p < n - 1; ++p) {
            for (std::int32_t q = p + 1; q < n; ++q) {
                const double g = 100.0 * std::fabs(At(p, q));
                const long double Dp = std::fabs(d[p]), Dq = std::fabs(d[q]);
                if (Sweep > 4 && Dp + static_cast<long double>(g) == Dp && Dq + static_cast<long double>(g) == Dq) {
                    At(p, q) = 0.0;
                } else if (std::fabs(At(p, q)) > Tresh) {
                    double h = d[q] - d[p];
                    double t;
                    if (std::fabs(h) + g == std::fabs(h)) {
                        t = At(p, q) / h;
                    } else {
                        const double Theta = 0.5 * h / At(p, q);
                        t = 1.0 / (std::fabs(Theta) + std::sqrt(Theta * Theta + 1.0));
                        if (Theta < 0.0) t = -t;
                    }
                    const double c = 1.0 / std::sqrt(t * t + 1.0);
                    const double s = t * c;
                    const double Tau = s / (1.0 + c);
                    h = t * At(p, q);
                    z[p] -= h;
                    z[q] += h;
                    d[p] -= h;
                    d[q] += h;
                    At(p, q) = 0.0;
                    for (std::int32_t j = 0; j < p; ++j) Rotate(At(j, p), At(j, q), s, Tau);
                    for (std::int32_t j = p + 1; j < q; ++j) Rotate(At(p, j), At(j, q), s, Tau);
                    for (std::int32_t j = q + 1; j < n; ++j) Rotate(At(p, j), At(q, j), s, Tau);
                    for (std::int32_t j = 0; j < n; ++j)
                        Rotate(v[std::intptr_t(j) * n + p], v[std::intptr_t(j) * n + q], s, Tau);
                    ++Rotations;
                }
            }
        }
    }
    if (!Converged) {
        for (std::int32_t i = 0; i < n; ++i) {
            b[i] += z[i];
            d[i] = b[i];
            z[i] = 0.0;
        }
    }
    SortEigenDescending(n, d, v);
    return Rotations;
}

double ConditionNumber(const TMatrix& A) {
    if (A.Height == 0) return std::numeric_limits<double>::quiet_NaN();
    TMatrix V;
    TVector D;
    JacobiEigen(A, V, D);
    return D.Item(1) / D.Item(D.Rows());
}

} // namespace fi
