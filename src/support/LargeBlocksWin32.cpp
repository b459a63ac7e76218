#include "support/LargeBlocks.h"

namespace fi {

// Large pages need a privilege that a plug-in cannot expect to hold.
void AdviseLargeBlock(void*, std::size_t) {}

} // namespace fi
