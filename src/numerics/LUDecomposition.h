#pragma once
// The linear solvers that train the filters: LU decomposition with implicit
// (row-scaled) partial pivoting, substitution, the normal-equation products,
// the regularised least-squares solve, and the Jacobi eigen-decomposition of
// a symmetric matrix with the condition number built on it.
//
// Floating-point exceptions are masked in this system. A solve (LUSolve,
// SolveLeastSquares) whose arithmetic divides by zero, overflows or performs
// an invalid operation, or whose result is not finite, fails with EMathError
// instead of handing back a meaningless solution.
#include <cstdint>
#include <memory>

#include "numerics/Matrix.h"
#include "support/Exceptions.h"

namespace fi {

inline constexpr const char* SSingularRowOfZeros = "LUDecomp: Singular matrix in LUDecomp, found row of zeros";
inline constexpr const char* SSingularZeroPivot = "LUDecomp: Singular Matrix, pivot value is zero";

inline constexpr const char* SZeroDivide = "Floating point division by zero";
inline constexpr const char* SOverflow = "Floating point overflow";
inline constexpr const char* SInvalidOp = "Invalid floating point operation";

// Raised by LUDecomp for a row of zeros or an exactly zero pivot.
class ESingluarMatrix : public Exception {
public:
    explicit ESingluarMatrix(const std::string& Message) : Exception(Message) {}
};

// A solve whose arithmetic failed (see above) raises EMathError; the message
// names the first of invalid operation, division by zero and overflow that
// occurred.

// How a solve ended, for callers that handle failures as a matter of course.
enum class TSolveStatus : std::uint8_t {
    Solved,
    SingularRowOfZeros,
    SingularZeroPivot,
    InvalidOperation,
    DivisionByZero,
    Overflow,
};

// Work records: temporaries of the solvers, created lazily in empty slots and
// reused (resized as needed) afterwards, so that a caller solving many small
// systems allocates them once. Value-initialise a record before first use;
// whatever its slots hold is freed with the record.
struct TLUDecompWork {
    std::unique_ptr<TVector> VV;
};

struct TLUSolveWork {
    std::unique_ptr<TMatrix> LU;
    std::unique_ptr<TIntVector> Indx;
    TLUDecompWork Decomp;
};

struct TLeastSquaresWork {
    std::unique_ptr<TMatrix> AtA;
    std::unique_ptr<TVector> Atb;
    TLUSolveWork Solve;
};

// LU := the Crout decomposition of the row-permuted square matrix A: unit
// lower factor below the diagonal, upper factor on and above it. Indx must
// already hold one entry per column; Indx[j] receives the row exchanged with
// row j at step j. A is not changed.
void LUDecomp(const TMatrix& A, TMatrix& LU, TIntVector& Indx, TLUDecompWork* Work = nullptr);

// Solves L*U*x = P*b in place: B holds b on entry and x on return.
void LUBackSubstitute(const TMatrix& LU, const TIntVector& Indx, TVector& B);

// X := inverse(A) * B; B is not changed. With Invert, A is replaced by its
// inverse; otherwise, and whenever the solve fails, A is left unchanged.
void LUSolve(TMatrix& A, TVector& X, const TVector& B, bool Invert = false, TLUSolveWork* Work = nullptr);

// AtA := transpose(A) * A, exactly symmetric.
void TransposeProduct(TMatrix& AtA, const TMatrix& A);

// Atb := transpose(A) * B over the length of B.
void TransposeMulVector(TVector& Atb, const TMatrix& A, const TVector& B);

// X := inverse(transpose(A) * A + Lambda^2 * I) * transpose(A) * B; Lambda = 0
// leaves the normal matrix unregularised. Condition, when given, receives the
// condition number of the regularised normal matrix.
void SolveLeastSquares(const TMatrix& A, const TVector& B, TVector& X, double Lambda,
                       double* Condition = nullptr, TLeastSquaresWork* Work = nullptr);

// The same solve without a condition number, reporting instead of raising:
// for the per-pixel filters, whose failures are expected and answered with
// a fallback. The same operations in the same order as SolveLeastSquares.
TSolveStatus TrySolveLeastSquares(const TMatrix& A, const TVector& B, TVector& X, double Lambda,
                                  TLeastSquaresWork& Work);

// Eigen-decomposition of the symmetric matrix A (not changed) by cyclic
// Jacobi rotations: V receives the eigenvectors as columns, D the eigenvalues
// in descending order. Returns the number of rotations; never fails.
std::int32_t JacobiEigen(const TMatrix& A, TMatrix& V, TVector& D);

// Largest eigenvalue of the symmetric matrix A divided by its smallest (the
// plain quotient: infinite or NaN when the smallest is 0).
double ConditionNumber(const TMatrix& A);

} // namespace fi
