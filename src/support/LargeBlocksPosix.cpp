#include "support/LargeBlocks.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace fi {

void AdviseLargeBlock(void* Block, std::size_t Bytes) {
    if (Bytes < LargeBlockBytes) return;
    // Only whole pages inside the block can take the advice.
    const auto Page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const auto Start = (reinterpret_cast<std::uintptr_t>(Block) + Page - 1) / Page * Page;
    const auto End = (reinterpret_cast<std::uintptr_t>(Block) + Bytes) / Page * Page;
    // Advice only: a kernel without huge pages refuses, and nothing is lost.
    if (End > Start) (void)madvise(reinterpret_cast<void*>(Start), End - Start, MADV_HUGEPAGE);
}

} // namespace fi
