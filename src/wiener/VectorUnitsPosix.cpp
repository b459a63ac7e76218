// Natively Highway's library detects the processor and dispatches; a unit
// is forced by presenting it to the library as the only one supported.
#include "wiener/VectorUnits.h"

#include <hwy/targets.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fi {
namespace {

// What the process started on: FI_VECTOR's unit, or 0 for Highway's choice.
std::int64_t StartingTargets = 0;
// What the library is shown now.
std::int64_t PresentedTargets = 0;

void Present(std::int64_t Targets) {
    PresentedTargets = Targets;
    hwy::SetSupportedTargetsForTest(Targets);
}

// The units as if nothing were forced, best first.
std::vector<std::int64_t> UsableUnits() {
    const std::int64_t Presented = PresentedTargets;
    hwy::SetSupportedTargetsForTest(0);
    std::vector<std::int64_t> Units = hwy::SupportedAndGeneratedTargets();
    hwy::SetSupportedTargetsForTest(Presented);
    return Units;
}

} // namespace

void StartVectorUnitOnce() {
    static const bool Started = [] {
        const char* Name = std::getenv("FI_VECTOR");
        if (Name == nullptr || *Name == 0) return true;
        const std::int64_t Unit = VectorUnitOfName(Name);
        for (const std::int64_t Target : UsableUnits())
            if ((Target & Unit) != 0) {
                StartingTargets = Target;
                Present(Target);
                return true;
            }
        std::fprintf(stderr, "FI_VECTOR=%s: no such vector unit in this build on this processor; using the best\n",
                     Name);
        return true;
    }();
    (void)Started;
}

std::int32_t VectorUnitCount() {
    StartVectorUnitOnce();
    return std::int32_t(UsableUnits().size());
}

void ForceVectorUnit(std::int32_t Index) {
    StartVectorUnitOnce();
    Present(Index < 0 ? StartingTargets : UsableUnits()[std::size_t(Index)]);
}

} // namespace fi
