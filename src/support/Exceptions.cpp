#include "support/Exceptions.h"

namespace fi {

void Abort() { throw EAbort(); }

namespace {
// Replaces the %s placeholders of Pattern in order; other text is copied.
std::string Substitute(const char* Pattern, const std::string* Args, int Count) {
    std::string Result;
    int Next = 0;
    for (const char* P = Pattern; *P; ++P) {
        if (P[0] == '%' && P[1] == 's' && Next < Count) {
            Result += Args[Next++];
            ++P;
        } else {
            Result += *P;
        }
    }
    return Result;
}
} // namespace

std::string FormatText(const char* Pattern, const std::string& A) {
    return Substitute(Pattern, &A, 1);
}

std::string FormatText(const char* Pattern, const std::string& A, const std::string& B) {
    const std::string Args[2] = {A, B};
    return Substitute(Pattern, Args, 2);
}

} // namespace fi
