#include "common/AllocationCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::int64_t> Allocations{0};
std::atomic<std::size_t> FailingSize{0};
} // namespace

std::int64_t fi::test::AllocationCount() { return Allocations.load(); }
void fi::test::FailAllocationsOfSize(std::size_t Bytes) { FailingSize.store(Bytes); }

extern "C" {
void* __real_malloc(std::size_t Size);
void* __real_realloc(void* Block, std::size_t Size);

void* __wrap_malloc(std::size_t Size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    if (Size != 0 && Size == FailingSize.load(std::memory_order_relaxed)) return nullptr;
    return __real_malloc(Size);
}

void* __wrap_realloc(void* Block, std::size_t Size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    if (Size != 0 && Size == FailingSize.load(std::memory_order_relaxed)) return nullptr;
    return __real_realloc(Block, Size);
}
}

// Through malloc, so that the wrapper counts these too.
void* operator new(std::size_t Size) {
    if (void* p = std::malloc(Size == 0 ? 1 : Size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t Size) { return ::operator new(Size); }
void operator delete(void* Block) noexcept { std::free(Block); }
void operator delete[](void* Block) noexcept { std::free(Block); }
void operator delete(void* Block, std::size_t) noexcept { std::free(Block); }
void operator delete[](void* Block, std::size_t) noexcept { std::free(Block); }
