#pragma once
// Counts the heap allocations of the test executable, and makes chosen ones
// fail: operator new is replaced, and malloc and realloc are wrapped at link
// time, so that the containers' own blocks are seen as well.
#include <cstddef>
#include <cstdint>

namespace fi::test {

// Allocations made by any thread since the program started.
std::int64_t AllocationCount();

// From now on every allocation of exactly Bytes bytes fails; 0 ends that.
void FailAllocationsOfSize(std::size_t Bytes);

} // namespace fi::test
