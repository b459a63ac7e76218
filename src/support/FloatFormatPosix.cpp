#include <clocale>
#include <cstdlib>

#include "support/FloatFormat.h"

namespace fi {

char UserDecimalSeparator() {
    // The environment's locale is asked for without switching the process's own.
    const char* Name = std::getenv("LC_ALL");
    if (Name == nullptr || *Name == 0) Name = std::getenv("LC_NUMERIC");
    if (Name == nullptr || *Name == 0) Name = std::getenv("LANG");
    if (Name == nullptr || *Name == 0) return '.';
    locale_t Locale = newlocale(LC_NUMERIC_MASK, Name, static_cast<locale_t>(0));
    if (Locale == static_cast<locale_t>(0)) return '.';
    const locale_t Previous = uselocale(Locale);
    const char* Point = std::localeconv()->decimal_point;
    const char Result = Point && Point[0] ? Point[0] : '.';
    uselocale(Previous);
    freelocale(Locale);
    return Result;
}

} // namespace fi
