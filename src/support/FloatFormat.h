#pragma once
// Formatting of real values by picture patterns: 0 is a digit always
// written, # a digit written only when significant, the point is the decimal
// point, and e or E followed by + or - switches to scientific notation (+
// always writes the exponent's sign, - only a negative one; each 0 after the
// sign raises the minimum count of exponent digits, up to four). The value is
// rounded to the last digit position of the pattern, half away from zero, from
// its exact decimal expansion, so both targets give the same text.
#include <string>

namespace fi {

std::string FormatFloat(const std::string& Pattern, long double Value, char DecimalSeparator = '.');

// The user's decimal separator: the locale's on Windows, the one of the locale
// that the environment names (LC_ALL, LC_NUMERIC, LANG) elsewhere.
char UserDecimalSeparator();

} // namespace fi
