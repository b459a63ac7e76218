#include "support/FloatFormat.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace fi {

namespace {

struct TPattern {
    int IntZeros = 0;     // minimum integer digits
    int IntDigits = 0;    // digit placeholders before the point
    int MinDecimals = 0;  // up to the last 0 after the point
    int MaxDecimals = 0;  // up to the last placeholder after the point
    bool Scientific = false;
    char ExponentLetter = 'e';
    bool ExponentSignAlways = false;
    int ExponentDigits = 1;
};

TPattern ParsePattern(const std::string& Text) {
    TPattern P;
    bool AfterPoint = false;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if ((c == 'e' || c == 'E') && i + 1 < Text.size() && (Text[i + 1] == '+' || Text[i + 1] == '-')) {
            P.Scientific = true;
            P.ExponentLetter = c;
            P.ExponentSignAlways = Text[i + 1] == '+';
            int Zeros = 0;
            for (std::size_t j = i + 2; j < Text.size() && Text[j] == '0'; ++j) ++Zeros;
            P.ExponentDigits = Zeros < 1 ? 1 : (Zeros > 4 ? 4 : Zeros);
            break;
        }
        if (c == '.') {
            AfterPoint = true;
        } else if (c == '0' || c == '#') {
            if (AfterPoint) {
                ++P.MaxDecimals;
                if (c == '0') P.MinDecimals = P.MaxDecimals;
            } else {
                ++P.IntDigits;
                // The leftmost 0 fixes how many integer digits are always written.
                if (c == '0' && P.IntZeros == 0) P.IntZeros = 1;
                else if (P.IntZeros > 0) ++P.IntZeros;
            }
        }
    }
    return P;
}

// The exact decimal digits of |Value| (no leading zeros, at least one digit)
// and the position of the decimal point counted from the first digit.
struct TDecimal {
    std::string Digits;
    int Point = 0;
};

class TBigDecimal {
public:
    explicit TBigDecimal(std::uint64_t Value) {
        while (Value) {
            Limbs.push_back(std::uint32_t(Value % Base));
            Value /= Base;
        }
    }
    void Multiply(std::uint32_t Factor) {
        std::uint64_t Carry = 0;
        for (auto& Limb : Limbs) {
            const std::uint64_t v = std::uint64_t(Limb) * Factor + Carry;
            Limb = std::uint32_t(v % Base);
            Carry = v / Base;
        }
        while (Carry) {
            Limbs.push_back(std::uint32_t(Carry % Base));
            Carry /= Base;
        }
    }
    std::string ToString() const {
        if (Limbs.empty()) return "0";
        std::string Text = std::to_string(Limbs.back());
        for (std::size_t i = Limbs.size() - 1; i-- > 0;) {
            const std::string Part = std::to_string(Limbs[i]);
            Text += std::string(9 - Part.size(), '0') + Part;
        }
        return Text;
    }

private:
    static constexpr std::uint32_t Base = 1000000000;
    std::vector<std::uint32_t> Limbs;
};

TDecimal ExactDecimal(long double Value) {
    int Exponent = 0;
    const long double Fraction = std::frexp(Value, &Exponent); // Value = Fraction * 2^Exponent, 0.5 <= Fraction < 1
    // 64 mantissa bits cover the extended format exactly.
    const auto Mantissa = static_cast<std::uint64_t>(std::ldexp(Fraction, 64));
    int Shift = Exponent - 64;
    TBigDecimal Number(Mantissa);
    int Point;
    if (Shift >= 0) {
        for (; Shift >= 31; Shift -= 31) Number.Multiply(1u << 31);
        if (Shift) Number.Multiply(1u << Shift);
        Point = 0;
    } else {
        // m / 2^k = m * 5^k / 10^k
        int k = -Shift;
        Point = -k;
        for (; k >= 13; k -= 13) Number.Multiply(1220703125u); // 5^13
        std::uint32_t Rest = 1;
        while (k-- > 0) Rest *= 5;
        Number.Multiply(Rest);
    }
    TDecimal Result;
    Result.Digits = Number.ToString();
    Result.Point = int(Result.Digits.size()) + Point;
    const auto Last = Result.Digits.find_last_not_of('0');
    Result.Digits.erase(Last == std::string::npos ? 1 : Last + 1);
    return Result;
}

// Rounds Digits to Keep digits, half away from zero; a carry out of the first
// digit moves the point. Keep may be 0 or negative (everything rounds away).
void RoundTo(TDecimal& D, int Keep) {
    if (Keep >= int(D.Digits.size())) return;
    if (Keep < 0) {
        D.Digits.assign(1, '0');
        D.Point = 1;
        return;
    }
    const bool Up = D.Digits[std::size_t(Keep)] >= '5';
    D.Digits.erase(std::size_t(Keep));
    if (Up) {
        int i = Keep - 1;
        for (; i >= 0 && D.Digits[std::size_t(i)] == '9'; --i) D.Digits[std::size_t(i)] = '0';
        if (i >= 0) {
            ++D.Digits[std::size_t(i)];
        } else {
            D.Digits.insert(D.Digits.begin(), '1');
            ++D.Point;
        }
    }
    if (D.Digits.empty()) {
        D.Digits.assign(1, '0');
        D.Point = 1;
    }
}

char DigitAt(const TDecimal& D, int Index) {
    return Index >= 0 && Index < int(D.Digits.size()) ? D.Digits[std::size_t(Index)] : '0';
}

bool IsZero(const TDecimal& D) { return D.Digits.find_first_not_of('0') == std::string::npos; }

// Integer digits (at least MinInt) and decimals (between MinDec and MaxDec)
// of D, whose point sits at D.Point; rounding must already be done.
std::string Compose(const TDecimal& D, int MinInt, int MinDec, int MaxDec, char Separator) {
    std::string Integer;
    for (int i = 0; i < D.Point; ++i) Integer += DigitAt(D, i);
    const auto FirstNonZero = Integer.find_first_not_of('0');
    Integer.erase(0, FirstNonZero == std::string::npos ? Integer.size() : FirstNonZero);
    if (int(Integer.size()) < MinInt) Integer.insert(0, std::size_t(MinInt) - Integer.size(), '0');
    std::string Decimals;
    for (int i = 0; i < MaxDec; ++i) Decimals += DigitAt(D, D.Point + i);
    while (int(Decimals.size()) > MinDec && Decimals.back() == '0') Decimals.pop_back();
    if (Integer.empty() && Decimals.empty()) Integer.assign(1, '0');
    return Decimals.empty() ? Integer : Integer + Separator + Decimals;
}

} // namespace

std::string FormatFloat(const std::string& PatternText, long double Value, char DecimalSeparator) {
    if (std::isnan(Value)) return "NAN";
    if (std::isinf(Value)) return Value < 0 ? "-INF" : "INF";
    const TPattern P = ParsePattern(PatternText);
    const bool Negative = std::signbit(Value);
    TDecimal D = Value == 0 ? TDecimal{"0", 1} : ExactDecimal(std::fabs(Value));
    std::string Text;
    if (!P.Scientific) {
        RoundTo(D, D.Point + P.MaxDecimals);
        Text = Compose(D, P.IntZeros, P.MinDecimals, P.MaxDecimals, DecimalSeparator);
    } else {
        const int Lead = P.IntDigits < 1 ? 1 : P.IntDigits;
        int Exponent = 0;
        if (!IsZero(D)) {
            RoundTo(D, Lead + P.MaxDecimals);
            Exponent = D.Point - Lead;
            D.Point = Lead;
        }
        Text = Compose(D, P.IntZeros, P.MinDecimals, P.MaxDecimals, DecimalSeparator);
        std::string Digits = std::to_string(Exponent < 0 ? -Exponent : Exponent);
        if (int(Digits.size()) < P.ExponentDigits) Digits.insert(0, std::size_t(P.ExponentDigits) - Digits.size(), '0');
        Text += P.ExponentLetter;
        if (Exponent < 0) Text += '-';
        else if (P.ExponentSignAlways) Text += '+';
        Text += Digits;
    }
    // A value that rounds to zero is written without a sign.
    if (Negative && Text.find_first_of("123456789") < Text.find_first_of("eE")) Text.insert(0, 1, '-');
    return Text;
}

} // namespace fi
