#include "settings/FieldRules.h"

#include <cmath>
#include <exception>
#include <mutex>

#include "expr/ExpressionEval.h"
#include "support/FloatFormat.h"

namespace fi {

namespace {

// A formula may define names in the shared table, which settings on other
// threads read: one evaluation at a time.
std::mutex& TableLock() {
    static std::mutex Lock;
    return Lock;
}

std::optional<long double> Evaluate(const std::string& Text, TSymbolTable* Table) {
    try {
        const std::lock_guard<std::mutex> Lock(TableLock());
        return EvaluateExpression(Text, Table, true);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

int HexDigit(char C) {
    if (IsDigit(C)) return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
}

} // namespace

bool ParsePlainInteger(const std::string& Text, std::int32_t& Value) {
    std::size_t i = 0;
    bool Negative = false;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) Negative = Text[i++] == '-';
    const bool Hex = i < Text.size() && Text[i] == '$';
    if (Hex) ++i;
    if (i == Text.size()) return false;
    std::int64_t Magnitude = 0;
    for (; i < Text.size(); ++i) {
        const int Digit = Hex ? HexDigit(Text[i]) : (IsDigit(Text[i]) ? Text[i] - '0' : -1);
        if (Digit < 0) return false;
        Magnitude = Magnitude * (Hex ? 16 : 10) + Digit;
        // Hexadecimal literals name the 32-bit pattern, so $FFFFFFFF is -1.
        if (Magnitude > (Hex ? 0xFFFFFFFFll : 0x80000000ll)) return false;
    }
    if (Hex) {
        const auto Bits = std::int32_t(std::uint32_t(Magnitude));
        Value = Negative ? std::int32_t(0u - std::uint32_t(Bits)) : Bits;
        return true;
    }
    if (!Negative && Magnitude > 0x7FFFFFFFll) return false;
    Value = std::int32_t(Negative ? -Magnitude : Magnitude);
    return true;
}

bool IsPlainFloatLiteral(const std::string& Text) {
    std::size_t i = 0;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) ++i;
    std::size_t Digits = 0;
    while (i < Text.size() && IsDigit(Text[i])) ++i, ++Digits;
    if (i < Text.size() && Text[i] == '.') {
        ++i;
        while (i < Text.size() && IsDigit(Text[i])) ++i, ++Digits;
    }
    if (Digits == 0) return false;
    if (i < Text.size() && (Text[i] == 'e' || Text[i] == 'E')) {
        ++i;
        if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) ++i;
        std::size_t ExponentDigits = 0;
        while (i < Text.size() && IsDigit(Text[i])) ++i, ++ExponentDigits;
        if (ExponentDigits == 0) return false;
    }
    return i == Text.size();
}

std::optional<long double> ParseIntegerText(const std::string& Text, bool Simple, TSymbolTable* Table) {
    if (Simple) {
        std::int32_t Parsed = 0;
        if (!ParsePlainInteger(Text, Parsed)) return std::nullopt;
        return Parsed;
    }
    const std::optional<long double> X = Evaluate(Text, Table);
    // A NaN would pass the tolerance test below and has no integer value.
    if (!X || std::isnan(*X)) return std::nullopt;
    const long double V = std::nearbyint(*X);
    if (std::fabs(V - *X) > 0.0001L) return std::nullopt;
    return V;
}

std::optional<long double> ParseFloatText(const std::string& Text, bool Simple, TSymbolTable* Table) {
    if (!Simple) return Evaluate(Text, Table);
    std::string Literal = Text;
    if (const std::size_t Comma = Literal.find(','); Comma != std::string::npos) Literal[Comma] = '.';
    if (!IsPlainFloatLiteral(Literal)) return std::nullopt;
    // The evaluator reads a plain literal exactly as the formula path does.
    return Evaluate(Literal, Table);
}

std::optional<std::int32_t> AcceptedInteger(const TIntegerRule& Rule, const std::string& Text) {
    const std::optional<long double> Number = ParseIntegerText(Text, false);
    if (!Number || !Rule.Within(*Number)) return std::nullopt;
    return std::int32_t(*Number);
}

std::optional<long double> AcceptedFloat(const TFloatRule& Rule, const std::string& Text) {
    const std::optional<long double> Number = ParseFloatText(Text, false);
    if (!Number || !Rule.Within(*Number)) return std::nullopt;
    return Number;
}

std::string RangeText(const TIntegerRule& Rule) {
    return "a whole number from " + std::to_string(Rule.Min) + " to " + std::to_string(Rule.Max);
}

std::string RangeText(const TFloatRule& Rule) {
    return "a value from " + FormatFloat("0.##", Rule.Min, '.') + " to " + FormatFloat("0.##", Rule.Max, '.');
}

} // namespace fi
