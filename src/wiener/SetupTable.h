#pragma once
// The interpolation setups, in the order the dialog lists them: everything
// the front ends, the driver and the fast engine need to know of a setup is
// its row here. A new setup is a row (and its setup function); the dialog's
// list, the help texts, the default and the driver's fast paths follow.
#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/LaneSolver.h"

namespace fi {

// Stable names for the setups, whatever their place in the list.
enum class TSetupId : std::int32_t {
    XinLi2x,
    XinLi4x,
    FractalStar,
    FractalSquare9,
    FractalSquare25,
    FractalStarXinLi,
    FractalSquareXinLi,
};

struct TSetup {
    TSetupId Id;
    // As the dialog lists it.
    const char* Name;
    // For help texts.
    const char* Summary;
    // Whether the setup takes its scale from the user.
    bool TakesScale;
    // The filter sizes of its relations, at most two different ones.
    std::array<std::int32_t, 2> WeightCounts;
    // The fractal double-size process serves it at scale 2 with no switch
    // on: the radius of its square neighbourhood; 0 where it does not.
    std::int32_t FractalRadius;
    // Runs the setup; Scale only counts where it takes one.
    void (*Apply)(TBitmapWienerInterpolation& I, std::int32_t Scale);
};

inline constexpr TSetup Setups[] = {
    {TSetupId::XinLi2x, "Xin Li 2x", "covariance-based 2x, fixed scale", false, {4, 4}, 0,
     [](TBitmapWienerInterpolation& I, std::int32_t) { I.SetupXinLi2x(); }},
    {TSetupId::XinLi4x, "Xin Li 4x", "the same applied for 4x, fixed scale", false, {4, 4}, 0,
     [](TBitmapWienerInterpolation& I, std::int32_t) { I.SetupXinLi4x(); }},
    {TSetupId::FractalStar, "Fractal 5-star", "trained on reduced copies, 5-star neighbourhood", true, {5, 5}, 0,
     [](TBitmapWienerInterpolation& I, std::int32_t Scale) { I.SetupFractalStar(Scale); }},
    {TSetupId::FractalSquare9, "Fractal 9-square", "trained on reduced copies, 3x3 neighbourhood", true, {9, 9}, 1,
     [](TBitmapWienerInterpolation& I, std::int32_t Scale) { I.SetupFractalSquare(Scale, 1); }},
    {TSetupId::FractalSquare25, "Fractal 25-square", "trained on reduced copies, 5x5 neighbourhood", true, {25, 25}, 2,
     [](TBitmapWienerInterpolation& I, std::int32_t Scale) { I.SetupFractalSquare(Scale, 2); }},
    {TSetupId::FractalStarXinLi, "Fractal 5 / Xin Li", "5-star fractal pass mixed with Xin Li, 2x", false, {5, 9}, 0,
     [](TBitmapWienerInterpolation& I, std::int32_t) { I.SetupFractalStarXinLi(); }},
    {TSetupId::FractalSquareXinLi, "Fractal 9 / Xin Li", "3x3 fractal pass mixed with Xin Li, 2x", false, {9, 13}, 0,
     [](TBitmapWienerInterpolation& I, std::int32_t) { I.SetupFractalSquareXinLi(1); }},
};

inline constexpr std::int32_t SetupCount = std::int32_t(std::size(Setups));

// The place of a setup in the list.
constexpr std::int32_t SetupIndex(TSetupId Id) {
    for (std::int32_t i = 0; i < SetupCount; ++i)
        if (Setups[i].Id == Id) return i;
    return -1;
}

// "Fractal 9-square", the first choice.
inline constexpr std::int32_t DefaultSetup = SetupIndex(TSetupId::FractalSquare9);

namespace detail {
constexpr bool EveryIdOnce() {
    for (std::int32_t i = 0; i < SetupCount; ++i)
        if (SetupIndex(Setups[i].Id) != i) return false;
    return true;
}
constexpr bool LaneKernelTakes(std::int32_t Weights) {
    for (const std::int32_t n : LaneWeightCounts)
        if (n == Weights) return true;
    return false;
}
constexpr bool EveryWeightCountFast() {
    for (const TSetup& S : Setups)
        for (const std::int32_t n : S.WeightCounts)
            if (n > MaxLaneWeights || !LaneKernelTakes(n)) return false;
    return true;
}
} // namespace detail
static_assert(detail::EveryIdOnce(), "each setup is listed once");
static_assert(detail::EveryWeightCountFast(), "the lane kernel is compiled for every fractal setup's filter size");

namespace detail {
template <std::size_t... Index>
constexpr std::array<const char*, SetupCount> NamesOf(std::index_sequence<Index...>) {
    return {Setups[Index].Name...};
}
} // namespace detail

inline constexpr std::array<const char*, SetupCount> SetupNames =
    detail::NamesOf(std::make_index_sequence<SetupCount>());

constexpr bool IsSetup(std::int32_t Index) { return Index >= 0 && Index < SetupCount; }

// Whether the setup takes its scale from the user.
constexpr bool SetupHasScale(std::int32_t Index) { return IsSetup(Index) && Setups[Index].TakesScale; }

// The setup a name of the list or its number stands for; -1 for none.
inline std::int32_t SetupOfName(const std::string& Text) {
    for (std::int32_t i = 0; i < SetupCount; ++i)
        if (Text == SetupNames[i] || Text == std::to_string(i)) return i;
    return -1;
}

// Runs setup Index with Scale where the setup takes one; false for an index
// outside the list, leaving Interpolator as it was.
inline bool ApplySetup(TBitmapWienerInterpolation& Interpolator, std::int32_t Index, std::int32_t Scale) {
    if (!IsSetup(Index)) return false;
    Setups[Index].Apply(Interpolator, Scale);
    return true;
}

} // namespace fi
