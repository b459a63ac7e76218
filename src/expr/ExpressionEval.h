#pragma once
// The formula language of the numeric edit fields: a one-pass evaluator over
// 80-bit extended values, with a sorted symbol table of named values, named
// expressions, functions and the numeric solvers.
#include <cstdint>
#include <string>

#include "support/Exceptions.h"
#include "support/StringLists.h"

namespace fi {

// An error of the language; Position is the 1-based character index in the
// text being parsed, 0 when the error is not tied to a place.
class EExpressionError : public Exception {
public:
    std::int32_t Position;
    EExpressionError(const std::string& Message, std::int32_t APosition)
        : Exception(Message), Position(APosition) {}
};

// The floating-point error the evaluator reports as such (an EMathError).
class EInvalidOperation : public EMathError {
public:
    EInvalidOperation() : EMathError("Invalid floating point operation") {}
};

inline constexpr const char* SExpressionEmpty = "Expression is empty";
inline constexpr const char* SValueExpected = "Value expected";
inline constexpr const char* SUnexpectedCharacter = "Unexpected character: %s";
inline constexpr const char* SOperatorExpected = "Operator expected";
inline constexpr const char* SInvalidNumberFormat = "Invalid number format";
inline constexpr const char* SUndefinedSymbol = "Undefined symbol: %s";
inline constexpr const char* SCharExpected = "%s expected";
inline constexpr const char* SNameExpected = "Name expected";
inline constexpr const char* SDefinitionExpected = "= or ( expected";
inline constexpr const char* SRecursiveReference = "Recursive reference";
inline constexpr const char* SSymbolNotFound = "Symbol not found";
inline constexpr const char* SExpressionTooComplex = "Expression too complex";
inline constexpr const char* SUndefined = "Undefined";
inline constexpr const char* SMaxBinaryDigits = "Max 16 bits in binary number";
inline constexpr const char* SInvalidBinaryNumber = "Invalid binary number";
inline constexpr const char* SGuessUndefined = "Guess undefined";
inline constexpr const char* SCharNotFound = "%s not found";
inline constexpr const char* SExtraEqualFound = "Extra = found";
inline constexpr const char* SUnableToEvaluateGuess = "Unable to evaluate guess: %s";
inline constexpr const char* SNoSolutionFound = "No solution found, try changing starting guess";

// Deepest nesting of sub-expressions, arguments and user-symbol evaluations;
// beyond it the evaluation stops with "Expression too complex" instead of
// running the host's stack out.
inline constexpr int MaxEvaluationDepth = 256;

enum TSymbolKind : std::uint8_t { skFunction = 0, skValue = 1, skExpression = 2, skSymbolicFunction = 3 };

class TSymbolTable;

class TSymbol : public TListObject {
public:
    std::uint8_t Kind;
    explicit TSymbol(std::uint8_t AKind) : Kind(AKind) {}
    TSymbol(const TSymbol&) = delete;
    TSymbol& operator=(const TSymbol&) = delete;

private:
    // A running evaluation still refers to the symbol. A table that drops a
    // held symbol (a definition inside its own argument or body) marks it
    // Retired, and the last holder frees it.
    friend class TSymbolHold;
    friend class TSymbolTable;
    std::int32_t Holds = 0;
    bool Retired = false;
};

// Keeps a symbol alive for the lifetime of the hold.
class TSymbolHold {
public:
    explicit TSymbolHold(TSymbol* ASymbol) : Symbol(ASymbol) { ++Symbol->Holds; }
    ~TSymbolHold();
    TSymbolHold(const TSymbolHold&) = delete;
    TSymbolHold& operator=(const TSymbolHold&) = delete;

private:
    TSymbol* Symbol;
};

class TSymbolValue : public TSymbol {
public:
    long double Value;
    explicit TSymbolValue(long double AValue) : TSymbol(skValue), Value(AValue) {}
};

// A value meant to be changed by the user (the solvers' starting guess).
class TParameterValue : public TSymbolValue {
public:
    using TSymbolValue::TSymbolValue;
};

class TSymbolFunction : public TSymbol {
public:
    TSymbolFunction() : TSymbol(skFunction) {}
    virtual long double Evaluate(TSymbolTable& Table, long double Argument) = 0;
};

using TStandardRoutine = long double (*)(long double);

class TStandardFunction : public TSymbolFunction {
public:
    TStandardRoutine Routine;
    std::string Description;
    TStandardFunction(TStandardRoutine ARoutine, const std::string& ADescription)
        : Routine(ARoutine), Description(ADescription) {}
    long double Evaluate(TSymbolTable& Table, long double Argument) override;
};

// A user function of one parameter, :name(parameter)=body.
class TExpressionFunction : public TSymbolFunction {
public:
    std::string Body;
    std::string ParameterName;
    std::int32_t BodyPosition;
    bool Busy = false;
    TExpressionFunction(const std::string& AParameterName, std::int32_t ABodyPosition, const std::string& ABody)
        : Body(ABody), ParameterName(AParameterName), BodyPosition(ABodyPosition) {}
    long double Evaluate(TSymbolTable& Table, long double Argument) override;
};

// A named expression, :name()=body, used without parentheses.
class TSymbolExpression : public TSymbol {
public:
    std::string Body;
    std::int32_t BodyPosition;
    bool Busy = false;
    TSymbolExpression(const std::string& ABody, std::int32_t ABodyPosition)
        : TSymbol(skExpression), Body(ABody), BodyPosition(ABodyPosition) {}
    long double Evaluate(TSymbolTable& Table);
};

// A function that reads its own arguments from the text.
class TSymbolicFunction : public TSymbol {
public:
    TSymbolicFunction() : TSymbol(skSymbolicFunction) {}
    // Position is 1-based, just after the "(" and its blanks; on return it
    // stands after the last argument.
    virtual long double EvaluateCall(const std::string& Text, std::int32_t& Position, TSymbolTable& Table) = 0;
    virtual std::string ParameterSyntax() const = 0;
    virtual std::string Description() const = 0;
};

enum TOptimizationMode : std::uint8_t { omArgMin = 0, omMin = 1, omRoot = 2, omSolve = 3 };

// num.argmin, num.min, num.root and num.solve: (expression, variable).
class TOptimizationFunction : public TSymbolicFunction {
public:
    std::uint8_t Mode;
    explicit TOptimizationFunction(std::uint8_t AMode) : Mode(AMode) {}
    long double EvaluateCall(const std::string& Text, std::int32_t& Position, TSymbolTable& Table) override;
    std::string ParameterSyntax() const override;
    std::string Description() const override;
};

// Sorted (name, symbol) list owning its symbols; starts with the built-ins.
class TSymbolTable : public TStringObjectList {
public:
    bool RaiseOnUndefined = false;

    TSymbolTable();
    ~TSymbolTable() override;

    TSymbol* FindSymbol(const std::string& Name) const;
    TSymbol* SetSymbol(const std::string& Name, TSymbol* Symbol);
    void RemoveSymbol(const std::string& Name);

    void Delete(std::int32_t Index) override;
    void Clear() override;

private:
    // Frees a symbol that leaves the table, or retires it while held.
    static void ReleaseSymbol(TListObject* Object);
    void RegisterBuiltins();
};

// The one table every value edit shares, created when the module starts
// (undefined names are errors there) and destroyed when it ends.
extern TSymbolTable* GlobalSymbolTable;

// Evaluates Text against Table (GlobalSymbolTable when null). With
// ValueRequired false, an expression that holds no value gives a quiet NaN.
long double EvaluateExpression(const std::string& Text, TSymbolTable* Table = nullptr, bool ValueRequired = true);

} // namespace fi
