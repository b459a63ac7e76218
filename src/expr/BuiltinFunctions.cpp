// The names every symbol table starts with: constants, the one-argument
// functions and the numeric solvers (the members of TOptimizationFunction and
// TSymbolTable::RegisterBuiltins declared in ExpressionEval.h).
#include <chrono>
#include <cmath>
#include <random>

#include "expr/ExpressionEval.h"
#include "expr/ExpressionText.h"

namespace fi {

using namespace ExpressionText;

namespace {

// ---- Built-in routines ---------------------------------------------------------------

constexpr long double TwoTo63 = 0x1p63L;

long double BuiltinSin(long double X) { return std::isless(std::fabs(X), TwoTo63) || std::isnan(X) ? std::sin(X) : 0; }
long double BuiltinCos(long double X) { return std::isless(std::fabs(X), TwoTo63) || std::isnan(X) ? std::cos(X) : 0; }
long double BuiltinArcTan(long double X) { return std::atan(X); }
long double BuiltinArcCos(long double X) { return std::atan2(std::sqrt(1 - X * X), X); }
long double BuiltinArcSin(long double X) { return std::atan2(X, std::sqrt(1 - X * X)); }
long double BuiltinTan(long double X) { return std::tan(X); }
long double BuiltinCot(long double X) { return 1 / std::tan(X); }
long double BuiltinSinh(long double X) { return std::sinh(X); }
long double BuiltinCosh(long double X) { return std::cosh(X); }
long double BuiltinTanh(long double X) { return std::tanh(X); }
long double BuiltinArcCosh(long double X) { return std::acosh(X); }
long double BuiltinArcSinh(long double X) { return std::asinh(X); }
long double BuiltinArcTanh(long double X) { return std::atanh(X); }
long double BuiltinLog10(long double X) { return std::log10(X); }
long double BuiltinLog2(long double X) { return std::log2(X); }
long double BuiltinLn(long double X) { return std::log(X); }
long double BuiltinSqrt(long double X) { return std::sqrt(X); }
long double BuiltinExp(long double X) { return std::exp(X); }
long double BuiltinAbs(long double X) { return std::fabs(X); }

long double BuiltinFac(long double X) {
    if (std::isnan(X)) throw EInvalidOperation();
    if (X < 0) throw Exception(SUndefined);
    if (std::isinf(X)) return Infinity;
    if (std::fabs(X - std::nearbyint(X)) > 0.000001L) throw Exception(SUndefined);
    // Beyond the 32-bit range the product is infinite long before the end.
    if (X >= 2147483648.0L) return Infinity;
    const std::int32_t N = std::int32_t(std::nearbyint(X));
    long double Result = 1;
    for (std::int32_t i = N; i >= 2 && !std::isinf(Result); --i) Result *= i;
    return Result;
}

// A rounded value of any finite size is exact in extended precision;
// infinities and NaN round to nothing. Zero comes back unsigned.
long double WholeNumber(long double Rounded) {
    if (!std::isfinite(Rounded)) throw EInvalidOperation();
    return Rounded == 0 ? 0 : Rounded;
}

long double BuiltinCeil(long double X) { return WholeNumber(std::ceil(X)); }
long double BuiltinFloor(long double X) { return WholeNumber(std::floor(X)); }
// To nearest, ties to even: the evaluation's rounding mode.
long double BuiltinRound(long double X) { return WholeNumber(std::nearbyint(X)); }

long double BuiltinFrac(long double X) { return X - std::trunc(X); }

std::mt19937_64& Generator() {
    static std::mt19937_64 Engine(std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    return Engine;
}

// Uniform in [0, 1): all 64 bits fit the extended mantissa exactly.
long double Uniform() { return static_cast<long double>(Generator()()) * 0x1p-64L; }

long double BuiltinRand(long double X) { return X * Uniform(); }

long double BuiltinRandN(long double X) {
    long double U, V, S;
    do {
        U = 2 * Uniform() - 1;
        V = 2 * Uniform() - 1;
        S = U * U + V * V;
    } while (S >= 1 || S == 0); // s = 0 would give 0 * infinity
    return std::sqrt(-2 * std::log(S) / S) * U * X;
}

long double BuiltinBin(long double X) {
    const long double R = std::nearbyint(X);
    std::string Digits;
    if (std::isnan(R) || std::isinf(R))
        Digits = "NAN";
    else if (std::fabs(R) < 1e18L)
        Digits = std::to_string(std::int64_t(R));
    else
        throw Exception(SMaxBinaryDigits);
    if (Digits.size() > 16) throw Exception(SMaxBinaryDigits);
    long double Result = 0;
    for (const char C : Digits) {
        if (C != '0' && C != '1') throw Exception(SInvalidBinaryNumber);
        Result = Result * 2 + (C - '0');
    }
    return Result;
}

} // namespace

// ---- Solvers ---------------------------------------------------------------------------

namespace {
struct TSearch {
    const std::string& Expression;
    TSymbolTable& Table;
    TSymbolValue& Variable;
    bool Absolute;

    long double F(long double X) const {
        Variable.Value = X;
        const long double Value = EvaluateText(Expression, Table, true);
        return Absolute ? std::fabs(Value) : Value;
    }
    // A trial that fails counts as no improvement.
    long double Trial(long double X, long double Fallback) const {
        try {
            return F(X);
        } catch (const std::exception&) {
            return Fallback;
        }
    }
};
} // namespace

long double TOptimizationFunction::EvaluateCall(const std::string& Text, std::int32_t& Pos, TSymbolTable& Table) {
    const std::int32_t Len = Length(Text);
    const std::int32_t ExpressionStart = Pos;
    for (int Depth = 0;; ++Pos) {
        if (Pos > Len) throw EExpressionError(FormatText(SCharExpected, ","), Pos);
        const char C = Text[std::size_t(Pos - 1)];
        if (C == '(') {
            ++Depth;
        } else if (C == ')') {
            if (--Depth < 0) throw EExpressionError(FormatText(SCharExpected, ","), Pos);
        } else if (C == ',' && Depth == 0) {
            break;
        }
    }
    std::string Expression = Text.substr(std::size_t(ExpressionStart - 1), std::size_t(Pos - ExpressionStart));
    ++Pos;
    SkipBlanks(Text, Pos);
    if (!IsNameStart(At(Text, Pos))) throw EExpressionError(SNameExpected, Pos);
    const std::int32_t VariableStart = Pos;
    const std::string Variable = ReadName(Text, Pos);

    const auto* Guess = dynamic_cast<const TSymbolValue*>(Table.FindSymbol("num.Guess"));
    if (!Guess) throw EExpressionError(SGuessUndefined, Pos);

    const TTemporaryBinding Binding(Table, Variable, Guess->Value);
    TSymbolValue& X = *Binding.Bound;

    // Offset of the expression text in Text, for positions of its errors.
    std::int32_t Offset = ExpressionStart - 1;
    if (Mode == omSolve) {
        const std::size_t Equal = Expression.find('=');
        if (Equal == std::string::npos) throw EExpressionError(FormatText(SCharNotFound, "="), VariableStart - 2);
        Expression = "(" + Expression.substr(0, Equal) + ")-(" + Expression.substr(Equal + 1) + ")";
        const std::size_t Extra = Expression.find('=');
        if (Extra != std::string::npos) throw EExpressionError(SExtraEqualFound, std::int32_t(Extra) + 1 + Offset);
        Offset -= 3;
    }

    const TSearch Search{Expression, Table, X, Mode == omRoot || Mode == omSolve};
    long double BestX = X.Value;
    long double BestF;
    try {
        BestF = Search.F(BestX);
    } catch (const EExpressionError& E) {
        throw EExpressionError(FormatText(SUnableToEvaluateGuess, E.what()), Offset + E.Position);
    }
    long double Step = 1.0L;
    for (int Iteration = 0; Iteration < 5000; ++Iteration) {
        long double Next = BestX + Step;
        if (Next == BestX) break;
        long double F = Search.Trial(Next, BestF);
        if (std::isless(F, BestF)) {
            BestX = Next;
            BestF = F;
            Step *= 1.1L;
            continue;
        }
        Next = BestX - Step;
        F = Search.Trial(Next, BestF);
        if (std::isless(F, BestF)) {
            BestX = Next;
            BestF = F;
            Step *= -1.1L;
        } else {
            Step /= 2;
        }
    }
    long double Result = BestX;
    if (Mode == omMin)
        Result = BestF;
    else if (Search.Absolute && !std::islessequal(BestF, 0.00001L))
        throw EExpressionError(SNoSolutionFound, Pos);

    if (std::isless(std::fabs(Result), 1e-100L))
        Result = 0;
    else if (std::isgreater(Result, 1e100L))
        Result = Infinity;
    else if (std::isless(Result, -1e100L))
        Result = -Infinity;
    return Result;
}

std::string TOptimizationFunction::ParameterSyntax() const {
    return Mode == omSolve ? "equation,x" : "expression,x";
}

std::string TOptimizationFunction::Description() const {
    switch (Mode) {
    case omArgMin: return "Find x that minimizes expression";
    case omMin: return "Minimum value for expression in x";
    case omRoot: return "Root of expression in x";
    default: return "Solve equation in x";
    }
}

void TSymbolTable::RegisterBuiltins() {
    struct TBuiltin {
        const char* Name;
        TStandardRoutine Routine;
        const char* Description;
    };
    static const TBuiltin Functions[] = {
        {"sin", BuiltinSin, ""},
        {"cos", BuiltinCos, ""},
        {"arctan", BuiltinArcTan, ""},
        {"arccos", BuiltinArcCos, ""},
        {"arcsin", BuiltinArcSin, ""},
        {"tan", BuiltinTan, ""},
        {"cot", BuiltinCot, ""},
        {"sinh", BuiltinSinh, ""},
        {"cosh", BuiltinCosh, ""},
        {"tanh", BuiltinTanh, ""},
        {"arccosh", BuiltinArcCosh, ""},
        {"arcsinh", BuiltinArcSinh, ""},
        {"arctanh", BuiltinArcTanh, ""},
        {"log10", BuiltinLog10, "Base 10 logarithm"},
        {"log2", BuiltinLog2, "Base 2 logarithm"},
        {"ln", BuiltinLn, "Base e logarithm"},
        {"sqrt", BuiltinSqrt, "Square root"},
        {"exp", BuiltinExp, "e^x"},
        {"fac", BuiltinFac, "x!"},
        {"abs", BuiltinAbs, "|x|"},
        {"ceil", BuiltinCeil, "Rounds up toward positive infinity"},
        {"floor", BuiltinFloor, "Rounds toward negative infinity"},
        {"round", BuiltinRound, "Round to nearest integer"},
        {"frac", BuiltinFrac, "Fractional part of real number"},
        {"rand", BuiltinRand, "Random number in [0;x["},
        {"randn", BuiltinRandN, "Gaussian random number, StdDev=x"},
        {"bin", BuiltinBin, "Convert binary number"},
    };
    SetSymbol("pi", new TSymbolValue(3.1415926535897932385L));
    SetSymbol("e", new TSymbolValue(std::exp(1.0L)));
    SetSymbol("inf", new TSymbolValue(Infinity));
    SetSymbol("kb", new TSymbolValue(1024));
    SetSymbol("Mb", new TSymbolValue(1048576));
    SetSymbol("Gb", new TSymbolValue(1073741824));
    for (const TBuiltin& F : Functions) SetSymbol(F.Name, new TStandardFunction(F.Routine, F.Description));
    SetSymbol("num.argmin", new TOptimizationFunction(omArgMin));
    SetSymbol("num.min", new TOptimizationFunction(omMin));
    SetSymbol("num.root", new TOptimizationFunction(omRoot));
    SetSymbol("num.solve", new TOptimizationFunction(omSolve));
    SetSymbol("num.Guess", new TParameterValue(0.500000001L));
}

} // namespace fi
