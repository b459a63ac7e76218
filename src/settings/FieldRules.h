#pragma once
// What a numeric field accepts: a formula (or, in simple mode, a plain
// number) whose value lies within the field's bounds, a whole number for a
// whole-number field. The parameter dialog's edits and every front end that
// takes the same values as text judge them by these rules.
#include <cstdint>
#include <optional>
#include <string>

namespace fi {

class TSymbolTable;

// Within is false for NaN.
struct TIntegerRule {
    std::int32_t Min;
    std::int32_t Max;
    bool Within(long double Number) const { return Number >= Min && Number <= Max; }
};

struct TFloatRule {
    long double Min;
    long double Max;
    bool Within(long double Number) const { return Number >= Min && Number <= Max; }
};

// The number Text stands for, evaluated against Table (the shared table
// when null); nothing when it stands for none. Never raises: whatever a user
// types is an answer, not an error.
std::optional<long double> ParseIntegerText(const std::string& Text, bool Simple, TSymbolTable* Table = nullptr);
std::optional<long double> ParseFloatText(const std::string& Text, bool Simple, TSymbolTable* Table = nullptr);

// The value of Text when the rule accepts it, formulas included.
std::optional<std::int32_t> AcceptedInteger(const TIntegerRule& Rule, const std::string& Text);
std::optional<long double> AcceptedFloat(const TFloatRule& Rule, const std::string& Text);

// The values a rule accepts, for a refusal's message: "a whole number from 2
// to 16", "a value from 0 to 1".
std::string RangeText(const TIntegerRule& Rule);
std::string RangeText(const TFloatRule& Rule);

// Plain literals of the simple mode: an integer (optional sign, then decimal
// digits or $ and hexadecimal digits) and a real number with a point; false
// when Text is not one.
bool ParsePlainInteger(const std::string& Text, std::int32_t& Value);
bool IsPlainFloatLiteral(const std::string& Text);

} // namespace fi
