#include "expr/ExpressionEval.h"

#include <cfenv>
#include <cmath>
#include <limits>
#include <memory>

#include "expr/ExpressionText.h"
#include "support/FloatEnvironment.h"

namespace fi {

// ---- Floating-point environment --------------------------------------------

namespace {

// The evaluation runs in the module's default environment (extended
// precision, round to nearest, every exception masked); the operators test
// the status flags after each operation instead of taking traps.
//
// The operators work on extended values only, which are computed by the x87
// unit on both targets: its own status flags tell what an operation raised,
// at a fraction of the cost of the library's whole-environment calls.
void ClearOperationFlags() { asm volatile("fnclex" : : : "memory"); }

unsigned OperationFlags() { return RaisedFailureFlags().X87; }

// The operations go through volatile operands and results so that the
// compiler keeps them between the flag reset and the flag test.
long double Add(long double A, long double B) {
    volatile long double X = A, Y = B;
    volatile long double R = X + Y;
    return R;
}
long double Sub(long double A, long double B) {
    volatile long double X = A, Y = B;
    volatile long double R = X - Y;
    return R;
}
long double Mul(long double A, long double B) {
    volatile long double X = A, Y = B;
    volatile long double R = X * Y;
    return R;
}
long double Div(long double A, long double B) {
    volatile long double X = A, Y = B;
    volatile long double R = X / Y;
    return R;
}

constexpr long double QuietNaN = std::numeric_limits<long double>::quiet_NaN();

} // namespace

// ---- Lexical helpers ---------------------------------------------------------

namespace ExpressionText {

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r'; }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsLetter(char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); }
bool IsNameStart(char C) { return IsLetter(C) || C == '_'; }
bool IsNameChar(char C) { return IsNameStart(C) || IsDigit(C) || C == '.'; }
bool IsHexDigit(char C) { return IsDigit(C) || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f'); }

constexpr const char* Operators = "|&=#><+-/*%^";

bool IsOperator(char C) {
    for (const char* P = Operators; *P; ++P)
        if (*P == C) return true;
    return false;
}

int Precedence(char Op) {
    switch (Op) {
    case '|': case '&': return 1;
    case '=': case '#': case '>': case '<': return 2;
    case '+': case '-': return 3;
    case '/': case '*': case '%': return 4;
    case '^': return 5;
    default: return 0;
    }
}

std::int32_t Length(const std::string& Text) { return std::int32_t(Text.size()); }

// The character at a 1-based position, NUL beyond the text.
char At(const std::string& Text, std::int32_t Pos) {
    return Pos >= 1 && Pos <= Length(Text) ? Text[std::size_t(Pos - 1)] : '\0';
}

void SkipBlanks(const std::string& Text, std::int32_t& Pos) {
    while (Pos <= Length(Text) && IsBlank(Text[std::size_t(Pos - 1)])) ++Pos;
}

std::string ReadName(const std::string& Text, std::int32_t& Pos) {
    const std::int32_t Start = Pos;
    while (Pos <= Length(Text) && IsNameChar(Text[std::size_t(Pos - 1)])) ++Pos;
    return Text.substr(std::size_t(Start - 1), std::size_t(Pos - Start));
}

// Steps over C, or raises "<C> expected" at the position.
void Expect(const std::string& Text, std::int32_t& Pos, char C) {
    if (At(Text, Pos) != C) throw EExpressionError(FormatText(SCharExpected, std::string(1, C)), Pos);
    ++Pos;
}

} // namespace ExpressionText

namespace {

using namespace ExpressionText;

// ---- Nesting bound -----------------------------------------------------------

int EvaluationDepth = 0;

class TDepthGuard {
public:
    explicit TDepthGuard(std::int32_t Pos) {
        if (EvaluationDepth >= MaxEvaluationDepth) throw EExpressionError(SExpressionTooComplex, Pos);
        ++EvaluationDepth;
    }
    ~TDepthGuard() { --EvaluationDepth; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;
};

// ---- Numbers -------------------------------------------------------------------

// A decimal literal: optional "-", digits with at most one ".", at least one
// digit, optional exponent with sign.
bool IsDecimalLiteral(const std::string& S) {
    std::size_t i = 0;
    const std::size_t n = S.size();
    if (i < n && S[i] == '-') ++i;
    std::size_t Digits = 0;
    while (i < n && IsDigit(S[i])) ++i, ++Digits;
    if (i < n && S[i] == '.') {
        ++i;
        while (i < n && IsDigit(S[i])) ++i, ++Digits;
    }
    if (Digits == 0) return false;
    if (i < n && (S[i] == 'e' || S[i] == 'E')) {
        ++i;
        if (i < n && (S[i] == '+' || S[i] == '-')) ++i;
        std::size_t ExponentDigits = 0;
        while (i < n && IsDigit(S[i])) ++i, ++ExponentDigits;
        if (ExponentDigits == 0) return false;
    }
    return i == n;
}

long double ParseNumber(const std::string& Text, std::int32_t& Pos) {
    const std::int32_t Len = Length(Text);
    if (At(Text, Pos) == '$') {
        ++Pos;
        const std::int32_t Start = Pos;
        while (Pos <= Len && IsHexDigit(Text[std::size_t(Pos - 1)])) ++Pos;
        std::uint64_t Value = 0;
        for (std::int32_t i = Start; i < Pos; ++i) {
            const char C = Text[std::size_t(i - 1)];
            const int Digit = IsDigit(C) ? C - '0' : (C | 0x20) - 'a' + 10;
            Value = Value * 16 + std::uint64_t(Digit);
            if (Value > 0xFFFFFFFFu) throw EExpressionError(SInvalidNumberFormat, Pos);
        }
        if (Pos == Start) throw EExpressionError(SInvalidNumberFormat, Pos);
        return static_cast<long double>(Value);
    }
    const std::int32_t Start = Pos;
    ++Pos; // the first character belongs to the number whatever it is
    while (Pos <= Len) {
        const char C = Text[std::size_t(Pos - 1)];
        const char Prev = Text[std::size_t(Pos - 2)];
        if (IsDigit(C) || C == '.' || C == ',' || C == 'E' || C == 'e' ||
            ((C == '+' || C == '-') && (Prev == 'E' || Prev == 'e')))
            ++Pos;
        else
            break;
    }
    std::string Number = Text.substr(std::size_t(Start - 1), std::size_t(Pos - Start));
    const std::size_t Comma = Number.find(',');
    if (Comma != std::string::npos) Number[Comma] = '.';
    if (!IsDecimalLiteral(Number)) throw EExpressionError(SInvalidNumberFormat, Pos);
    const long double Value = std::strtold(Number.c_str(), nullptr);
    if (std::isinf(Value)) throw EExpressionError(SInvalidNumberFormat, Pos);
    return Value;
}

// ---- Operators -----------------------------------------------------------------

bool IsNonZero(long double X) { return !std::isnan(X) && X != 0; }

bool EqualWithinTolerance(long double A, long double B) {
    const long double Diff = std::fabs(Sub(A, B));
    const long double AbsA = std::fabs(A), AbsB = std::fabs(B);
    const long double Smaller = std::isless(AbsA, AbsB) ? AbsA : AbsB;
    long double Tolerance = Smaller * 1e-16L;
    if (!std::isgreater(Tolerance, 1e-16L)) Tolerance = 1e-16L;
    return std::islessequal(Diff, Tolerance);
}

bool IsWhole(long double X) { return std::isfinite(X) && X == std::trunc(X); }

// a^b by the rules of the language; the flags tell the caller what happened.
long double Power(long double A, long double B) {
    if (B == 0) return 1;
    if (A == 0 && std::isgreater(B, 0.0L)) return 0;
    if (IsWhole(B) && std::fabs(B) <= 2147483647.0L) {
        std::uint32_t N = std::uint32_t(std::fabs(B));
        long double Result = 1;
        long double Base = A;
        while (N != 0) {
            if (N & 1) Result = Mul(Result, Base);
            N >>= 1;
            if (N != 0) Base = Mul(Base, Base);
        }
        return B < 0 ? Div(1, Result) : Result;
    }
    volatile long double X = A;
    volatile long double Logarithm = std::log(X);
    volatile long double Product = B * Logarithm;
    volatile long double Result = std::exp(Product);
    return Result;
}

// Some run-time libraries return NaN for a logarithm or root of a negative
// number without raising the flag, so a NaN made from numbers counts as well.
bool IsInvalid(bool Raised, long double Result, long double A, long double B) {
    return Raised || (std::isnan(Result) && !std::isnan(A) && !std::isnan(B));
}

// Infinity of an overflowing product or quotient.
long double OverflowResult(long double A, long double B) {
    return (std::isgreater(A, 0.0L) == std::isgreater(B, 0.0L)) ? Infinity : -Infinity;
}

long double Combine(long double A, char Op, long double B, std::int32_t Pos) {
    ClearOperationFlags();
    long double R = 0;
    switch (Op) {
    case '|': return (IsNonZero(A) || IsNonZero(B)) ? 1 : 0;
    case '&': return (IsNonZero(A) && IsNonZero(B)) ? 1 : 0;
    case '+':
    case '-':
        R = Op == '+' ? Add(A, B) : Sub(A, B);
        if (OperationFlags() & FlagInvalid) throw EInvalidOperation();
        return R;
    case '=': case '#': case '>': case '<': {
        const bool Equal = EqualWithinTolerance(A, B);
        if (OperationFlags() & FlagInvalid) throw EExpressionError(EInvalidOperation().what(), Pos);
        if (Op == '=') return Equal ? 1 : 0;
        if (Op == '#') return Equal ? 0 : 1;
        if (Op == '>') return !Equal && std::isgreater(A, B) ? 1 : 0;
        return !Equal && std::isless(A, B) ? 1 : 0;
    }
    case '*': R = Mul(A, B); break;
    case '/': R = Div(A, B); break;
    case '%': {
        const long double Quotient = Div(A, B);
        R = Mul(Sub(Quotient, std::trunc(Quotient)), B);
        break;
    }
    case '^': R = Power(A, B); break;
    default: return R;
    }
    const unsigned Flags = OperationFlags();
    if (IsInvalid(Flags & FlagInvalid, R, A, B)) throw EExpressionError(EInvalidOperation().what(), Pos);
    if (Op == '*') {
        if (Flags & FlagOverflow) R = OverflowResult(A, B);
    } else if (Op == '/') {
        if (Flags & FlagDivideByZero)
            R = std::isgreater(A, 0.0L) ? Infinity : -Infinity;
        else if (Flags & FlagOverflow)
            R = OverflowResult(A, B);
    } else if (Op == '^') {
        if (Flags & FlagDivideByZero)
            R = Infinity;
        else if ((Flags & FlagOverflow) && !std::isinf(R))
            R = 0; // the reciprocal of an overflowing power
    }
    return R;
}

// ---- The expression procedure ------------------------------------------------------

long double EvaluateSub(const std::string& Text, std::int32_t& Pos, TSymbolTable& Table, bool ValueRequired);

// The body of a definition: up to and including the next ";" or the end.
std::string TakeBody(const std::string& Text, std::int32_t& Pos) {
    const std::int32_t Start = Pos;
    const std::size_t Semicolon = Text.find(';', std::size_t(Pos - 1));
    const std::int32_t End = Semicolon == std::string::npos ? Length(Text) : std::int32_t(Semicolon) + 1;
    std::string Body = Text.substr(std::size_t(Start - 1), std::size_t(End - Start + 1));
    Pos = End + 1;
    std::size_t First = 0, Last = Body.size();
    while (First < Last && IsBlank(Body[First])) ++First;
    while (Last > First && IsBlank(Body[Last - 1])) --Last;
    Body = Body.substr(First, Last - First);
    if (Body.empty()) throw EExpressionError(SExpressionEmpty, Start);
    if (Body.back() == ';') Body.pop_back();
    for (char& C : Body)
        if (IsBlank(C)) C = ' ';
    return Body;
}

// After ":": name=value, name()=body or name(parameter)=body.
void ParseDefinition(const std::string& Text, std::int32_t& Pos, TSymbolTable& Table, bool ValueRequired) {
    SkipBlanks(Text, Pos);
    if (!IsNameStart(At(Text, Pos))) throw EExpressionError(SNameExpected, Pos);
    const std::string Name = ReadName(Text, Pos);
    SkipBlanks(Text, Pos);
    const char C = At(Text, Pos);
    if (C == '=') {
        ++Pos;
        const long double Value = EvaluateSub(Text, Pos, Table, ValueRequired);
        Table.SetSymbol(Name, new TSymbolValue(Value));
        return;
    }
    if (C != '(') throw EExpressionError(SDefinitionExpected, Pos);
    ++Pos;
    SkipBlanks(Text, Pos);
    if (At(Text, Pos) == ')') {
        ++Pos;
        SkipBlanks(Text, Pos);
        Expect(Text, Pos, '=');
        SkipBlanks(Text, Pos);
        const std::int32_t BodyStart = Pos;
        const std::string Body = TakeBody(Text, Pos);
        Table.SetSymbol(Name, new TSymbolExpression(Body, BodyStart));
        return;
    }
    if (!IsNameStart(At(Text, Pos))) throw EExpressionError(SNameExpected, Pos);
    const std::string Parameter = ReadName(Text, Pos);
    SkipBlanks(Text, Pos);
    Expect(Text, Pos, ')');
    SkipBlanks(Text, Pos);
    Expect(Text, Pos, '=');
    SkipBlanks(Text, Pos);
    const std::int32_t BodyStart = Pos;
    const std::string Body = TakeBody(Text, Pos);
    Table.SetSymbol(Name, new TExpressionFunction(Parameter, BodyStart, Body));
}

long double NameUse(const std::string& Text, std::int32_t& Pos, TSymbolTable& Table, bool ValueRequired) {
    const std::string Name = ReadName(Text, Pos);
    TSymbol* Symbol = Table.FindSymbol(Name);
    if (!Symbol) {
        if (Table.RaiseOnUndefined) throw EExpressionError(FormatText(SUndefinedSymbol, Name), Pos);
        return 0;
    }
    // A definition inside an argument or body may replace the symbol while
    // it runs; the hold keeps it alive until the use ends.
    TSymbolHold Hold(Symbol);
    switch (Symbol->Kind) {
    case skValue:
        return static_cast<TSymbolValue*>(Symbol)->Value;
    case skExpression:
        return static_cast<TSymbolExpression*>(Symbol)->Evaluate(Table);
    case skFunction: {
        Expect(Text, Pos, '(');
        try {
            const long double Argument = EvaluateSub(Text, Pos, Table, ValueRequired);
            return static_cast<TSymbolFunction*>(Symbol)->Evaluate(Table, Argument);
        } catch (const std::exception& E) {
            throw EExpressionError(E.what(), Pos - 1);
        }
    }
    default: {
        Expect(Text, Pos, '(');
        SkipBlanks(Text, Pos);
        long double Result;
        try {
            Result = static_cast<TSymbolicFunction*>(Symbol)->EvaluateCall(Text, Pos, Table);
        } catch (const EExpressionError&) {
            throw;
        } catch (const std::exception& E) {
            throw EExpressionError(E.what(), Pos - 1);
        }
        SkipBlanks(Text, Pos);
        Expect(Text, Pos, ')');
        return Result;
    }
    }
}

long double ParseOperand(const std::string& Text, std::int32_t& Pos, TSymbolTable& Table, bool ValueRequired) {
    if (Pos > Length(Text)) throw EExpressionError(SValueExpected, Pos);
    const char C = At(Text, Pos);
    if (IsNameStart(C)) return NameUse(Text, Pos, Table, ValueRequired);
    if (IsDigit(C) || C == '.' || C == ',' || C == '-' || C == '$') return ParseNumber(Text, Pos);
    if (C == '(') {
        ++Pos;
        return EvaluateSub(Text, Pos, Table, ValueRequired);
    }
    throw EExpressionError(FormatText(SUnexpectedCharacter, std::string(1, C)), Pos);
}

// Evaluates up to ")" or ";" or the end of the text and steps over that
// character. An operator stack with strictly increasing precedences above
// the sentinel gives left association at every level.
long double EvaluateSub(const std::string& Text, std::int32_t& Pos, TSymbolTable& Table, bool ValueRequired) {
    const TDepthGuard Depth(Pos);
    struct TEntry {
        char Op;
        long double Value;
    };
    TEntry Stack[11];
    int Top = 0;
    Stack[0] = {' ', 0};
    char Pending = '+';
    const std::int32_t Len = Length(Text);
    SkipBlanks(Text, Pos);
    while (Pos <= Len && Text[std::size_t(Pos - 1)] != ')' && Text[std::size_t(Pos - 1)] != ';') {
        const char C = Text[std::size_t(Pos - 1)];
        if (C == ':') {
            ++Pos;
            ParseDefinition(Text, Pos, Table, ValueRequired);
            SkipBlanks(Text, Pos);
            continue;
        }
        if (IsOperator(C)) {
            if (Top == 0 && C != '+' && C != '-')
                throw EExpressionError(FormatText(SUnexpectedCharacter, std::string(1, C)), Pos);
            Pending = C;
            ++Pos;
            SkipBlanks(Text, Pos);
        } else if (Top != 0) {
            throw EExpressionError(SOperatorExpected, Pos);
        }
        const long double Operand = ParseOperand(Text, Pos, Table, ValueRequired);
        while (Precedence(Stack[Top].Op) >= Precedence(Pending)) {
            Stack[Top - 1].Value = Combine(Stack[Top - 1].Value, Stack[Top].Op, Stack[Top].Value, Pos);
            --Top;
        }
        Stack[++Top] = {Pending, Operand};
        SkipBlanks(Text, Pos);
    }
    long double Result = QuietNaN;
    if (Top == 0) {
        if (ValueRequired) throw EExpressionError(SValueExpected, Pos);
    } else {
        for (; Top > 0; --Top)
            Stack[Top - 1].Value = Combine(Stack[Top - 1].Value, Stack[Top].Op, Stack[Top].Value, Pos);
        Result = Stack[0].Value;
    }
    if (Pos <= Len) ++Pos;
    return Result;
}

} // namespace

long double ExpressionText::EvaluateText(const std::string& Text, TSymbolTable& Table, bool ValueRequired) {
    if (Text.empty()) throw EExpressionError(SExpressionEmpty, 0);
    std::int32_t Pos = 1;
    return EvaluateSub(Text, Pos, Table, ValueRequired);
}

using namespace ExpressionText;

// ---- Symbols -------------------------------------------------------------------------

TSymbolHold::~TSymbolHold() {
    if (--Symbol->Holds == 0 && Symbol->Retired) delete Symbol;
}

long double TStandardFunction::Evaluate(TSymbolTable&, long double Argument) {
    std::feclearexcept(FE_ALL_EXCEPT);
    const long double Result = Routine(Argument);
    if (IsInvalid(std::fetestexcept(FE_INVALID) != 0, Result, Argument, Argument)) throw EInvalidOperation();
    return Result;
}

namespace {
// Clears a Busy flag on every way out.
class TBusyScope {
public:
    explicit TBusyScope(bool& AFlag) : Flag(AFlag) {
        if (Flag) throw EExpressionError(SRecursiveReference, 0);
        Flag = true;
    }
    ~TBusyScope() { Flag = false; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    bool& Flag;
};

} // namespace

long double TExpressionFunction::Evaluate(TSymbolTable& Table, long double Argument) {
    if (Busy) throw EExpressionError(SRecursiveReference, 0);
    const TTemporaryBinding Binding(Table, ParameterName, Argument);
    const TBusyScope BusyScope(Busy);
    return EvaluateText(Body, Table, true);
}

long double TSymbolExpression::Evaluate(TSymbolTable& Table) {
    const TBusyScope BusyScope(Busy);
    return EvaluateText(Body, Table, true);
}

// ---- Symbol table ----------------------------------------------------------------------

TSymbolTable::TSymbolTable() {
    SetSorted(true);
    Duplicates = TDuplicates::dupIgnore;
    const TDefaultFloatScope Fpu;
    RegisterBuiltins();
}

TSymbolTable::~TSymbolTable() { Clear(); }

void TSymbolTable::ReleaseSymbol(TListObject* Object) {
    auto* Symbol = static_cast<TSymbol*>(Object);
    if (Symbol && Symbol->Holds > 0)
        Symbol->Retired = true;
    else
        delete Symbol;
}

TSymbol* TSymbolTable::FindSymbol(const std::string& Name) const {
    std::int32_t Index;
    return FindIndex(Name, Index) ? static_cast<TSymbol*>(GetObject(Index)) : nullptr;
}

TSymbol* TSymbolTable::SetSymbol(const std::string& Name, TSymbol* Symbol) {
    std::int32_t Index;
    if (FindIndex(Name, Index)) {
        ReleaseSymbol(GetObject(Index));
        PutObject(Index, Symbol);
    } else {
        try {
            AddObject(Name, Symbol);
        } catch (...) {
            delete Symbol;
            throw;
        }
    }
    return Symbol;
}

void TSymbolTable::RemoveSymbol(const std::string& Name) {
    std::int32_t Index;
    if (!FindIndex(Name, Index)) throw Exception(SSymbolNotFound);
    Delete(Index);
}

void TSymbolTable::Delete(std::int32_t Index) {
    ReleaseSymbol(GetObject(Index));
    PutObject(Index, nullptr);
    TStringObjectList::Delete(Index);
}

void TSymbolTable::Clear() {
    for (std::int32_t i = 0; i < Count(); ++i) {
        ReleaseSymbol(GetObject(i));
        PutObject(i, nullptr);
    }
    TStringObjectList::Clear();
}

// ---- Entry point -----------------------------------------------------------------------

TSymbolTable* GlobalSymbolTable = nullptr;

namespace {
struct TGlobalTableOwner {
    std::unique_ptr<TSymbolTable> Table;
    TGlobalTableOwner() : Table(std::make_unique<TSymbolTable>()) {
        Table->RaiseOnUndefined = true;
        GlobalSymbolTable = Table.get();
    }
    ~TGlobalTableOwner() { GlobalSymbolTable = nullptr; }
};
const TGlobalTableOwner GlobalTableOwner;
} // namespace

long double EvaluateExpression(const std::string& Text, TSymbolTable* Table, bool ValueRequired) {
    if (Text.empty()) throw EExpressionError(SExpressionEmpty, 0);
    const TDefaultFloatScope Fpu;
    return EvaluateText(Text, Table ? *Table : *GlobalSymbolTable, ValueRequired);
}

} // namespace fi
