#include <sched.h>
#include <unistd.h>

#include "parallel/MultiCoreProcessing.h"

namespace fi {

std::int32_t SystemProcessorCount() {
    // The processors this process may run on, which a CPU affinity mask or a
    // container can make fewer than the machine has.
    cpu_set_t Set;
    CPU_ZERO(&Set);
    if (sched_getaffinity(0, sizeof Set, &Set) == 0) return CPU_COUNT(&Set);
    return std::int32_t(sysconf(_SC_NPROCESSORS_ONLN));
}

namespace {
// Neither an executable nor a shared object is loaded under a lock that a
// starting thread would wait for, so threads may be used at once.
const bool Enabled = (EnableMultiThreading(), true);
} // namespace

} // namespace fi
