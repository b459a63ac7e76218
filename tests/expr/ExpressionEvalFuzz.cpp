// libFuzzer target: any text must evaluate to a value or fail with one of the
// language's errors (or the floating-point error of a top-level sum), leave
// no temporary binding behind and report a position inside the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "expr/ExpressionEval.h"

namespace {
// The solvers re-evaluate their expression up to 10001 times; a solver inside
// a solver multiplies that, so such texts only cost time and are skipped.
bool NestsSolvers(const std::string& Text) {
    const std::size_t First = Text.find("num.");
    return First != std::string::npos && Text.find("num.", First + 1) != std::string::npos;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 1) return 0;
    const bool RaiseOnUndefined = Data[0] & 1;
    const bool ValueRequired = Data[0] & 2;
    const std::string Text(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    if (NestsSolvers(Text)) return 0;

    fi::TSymbolTable Table;
    Table.RaiseOnUndefined = RaiseOnUndefined;
    const std::int32_t Entries = Table.Count();
    try {
        fi::EvaluateExpression(Text, &Table, ValueRequired);
    } catch (const fi::EExpressionError& E) {
        if (E.Position < 0 || E.Position > std::int32_t(Text.size()) + 1) std::abort();
    } catch (const fi::EInvalidOperation&) {
    }
    // Without definitions the table holds exactly the built-ins again.
    if (Text.find(':') == std::string::npos && Table.Count() != Entries) std::abort();
    return 0;
}
