#pragma once
// The integer point of the whole program: pixel offsets of the engine's
// neighbourhoods and window coordinates of the forms alike.
#include <cstdint>

namespace fi {

struct TPoint {
    std::int32_t X;
    std::int32_t Y;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

} // namespace fi
