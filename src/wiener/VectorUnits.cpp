#include "wiener/VectorUnits.h"

#include <hwy/detect_targets.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fi {
namespace {

// Highway's target bits of a FI_VECTOR name, or 0 for a name it does not know.
std::int64_t VectorUnitOfName(const char* Name) {
    static constexpr struct {
        const char* Name;
        std::int64_t Target;
    } Units[] = {
        {"scalar", HWY_SCALAR | HWY_EMU128},
        {"ssse3", HWY_SSSE3},
        {"sse4", HWY_SSE4},
        {"avx2", HWY_AVX2},
        {"avx512", HWY_AVX3},
    };
    for (const auto& Unit : Units)
        if (std::strcmp(Name, Unit.Name) == 0) return Unit.Target;
    return 0;
}

} // namespace

std::size_t StartingVectorUnit(const std::int64_t* Units, std::size_t Count) {
    const char* Name = std::getenv("FI_VECTOR");
    if (Name == nullptr || *Name == 0) return 0;
    const std::int64_t Named = VectorUnitOfName(Name);
    for (std::size_t i = 0; i < Count; ++i)
        if ((Units[i] & Named) != 0) return i;
    std::fprintf(stderr, "FI_VECTOR=%s: no such vector unit in this build on this processor; using the best\n", Name);
    return 0;
}

} // namespace fi
