// Natively Highway's library detects the processor and dispatches; a unit
// is forced by presenting it to the library as the only one supported.
#include "wiener/VectorUnits.h"

#include <hwy/targets.h>

#include <cstddef>
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
        const std::vector<std::int64_t> Units = UsableUnits();
        const std::size_t Unit = StartingVectorUnit(Units.data(), Units.size());
        // The best needs no mock: Highway's own choice.
        if (Unit != 0) {
            StartingTargets = Units[Unit];
            Present(StartingTargets);
        }
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
