#pragma once
// Counts the heap allocations of the test executable: operator new is
// replaced, and malloc and realloc are wrapped at link time, so that the
// containers' own blocks are seen as well.
#include <cstdint>

namespace fi::test {

// Allocations made by any thread since the program started.
std::int64_t AllocationCount();

} // namespace fi::test
