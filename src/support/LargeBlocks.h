#pragma once
// Advice on large memory blocks that are about to be written whole, such as
// the maps of an enlargement.
#include <cstddef>

namespace fi {

// Blocks from this size on are worth the advice.
inline constexpr std::size_t LargeBlockBytes = std::size_t(4) << 20;

// Asks the system to back the block with large pages where it can (Linux:
// transparent huge pages), which saves a page fault for every 4 KiB touched
// first; elsewhere, or when the system declines, nothing changes.
void AdviseLargeBlock(void* Block, std::size_t Bytes);

} // namespace fi
