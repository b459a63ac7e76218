#include <windows.h>

#include "support/FloatFormat.h"

namespace fi {

char UserDecimalSeparator() {
    char Text[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, Text, sizeof Text) > 0 && Text[0] != 0) return Text[0];
    return '.';
}

} // namespace fi
