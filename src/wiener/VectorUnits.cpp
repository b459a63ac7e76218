#include "wiener/VectorUnits.h"

#include <hwy/detect_targets.h>

#include <cstring>

namespace fi {

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

} // namespace fi
