#pragma once
// What the parser shares with the built-in functions and solvers: the
// lexical helpers over 1-based text positions, the evaluation of a text
// inside a running evaluation, and the temporary binding of a name.
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "expr/ExpressionEval.h"

namespace fi::ExpressionText {

inline constexpr long double Infinity = std::numeric_limits<long double>::infinity();

bool IsBlank(char C);
bool IsDigit(char C);
bool IsLetter(char C);
bool IsNameStart(char C);
bool IsNameChar(char C);
bool IsHexDigit(char C);
bool IsOperator(char C);
int Precedence(char Op);
std::int32_t Length(const std::string& Text);
// The character at a 1-based position, NUL beyond the text.
char At(const std::string& Text, std::int32_t Pos);
void SkipBlanks(const std::string& Text, std::int32_t& Pos);
std::string ReadName(const std::string& Text, std::int32_t& Pos);
// Steps over C, or raises "<C> expected" at the position.
void Expect(const std::string& Text, std::int32_t& Pos, char C);

// EvaluateExpression for the bodies and solver trials, which run inside an
// evaluation and so already in its floating-point environment.
long double EvaluateText(const std::string& Text, TSymbolTable& Table, bool ValueRequired);

// Binds a name to a fresh value for the duration of a call and puts back what
// was bound before (or nothing) on every way out. The fresh value is held, so
// that it stays valid for the caller even if the evaluation redefines the
// name; it is freed once the binding is undone.
class TTemporaryBinding {
public:
    TTemporaryBinding(TSymbolTable& ATable, const std::string& AName, long double Value)
        : Table(ATable), Name(AName) {
        auto Fresh = std::make_unique<TSymbolValue>(Value);
        const std::int32_t Index = Table.IndexOf(Name);
        if (Index < 0) {
            Table.AddObject(Name, Fresh.get());
        } else {
            Remembered = static_cast<TSymbol*>(Table.GetObject(Index));
            Table.PutObject(Index, Fresh.get());
        }
        Bound = Fresh.release();
        Hold.emplace(Bound);
    }
    ~TTemporaryBinding() {
        if (Remembered)
            Table.SetSymbol(Name, Remembered);
        else if (Table.FindSymbol(Name))
            Table.RemoveSymbol(Name);
    }
    TTemporaryBinding(const TTemporaryBinding&) = delete;
    TTemporaryBinding& operator=(const TTemporaryBinding&) = delete;

    TSymbolValue* Bound = nullptr;

private:
    TSymbolTable& Table;
    std::string Name;
    TSymbol* Remembered = nullptr;
    std::optional<TSymbolHold> Hold; // released after the destructor's restore
};

} // namespace fi::ExpressionText
