#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "wiener/PlaneTransfer.h"
#include "wiener/WienerTestSupport.h"

namespace fi {
namespace {

using test::SameBits;
using test::TProcessorCountOverride;

// The engine's planes move as the maps' own Assign and AssignTo move them,
// on any number of processors: rounding, clamping and NaN alike.
TEST(PlaneTransfer, RowsOnEveryProcessorGiveAssignsValues) {
    TFloatMap Map(37, 131);
    const double Specials[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, -0.5, 0.5, 1.5, 254.5, 255.49, 255.5, -1e300};
    for (int i = 0; i < Map.Count; ++i) Map.Map[i] = (i * 7919 % 2711) / 10.0 - 10.0;
    for (int i = 0; i < 10; ++i) Map.Map[i * 97] = Specials[i];
    TLinearBitmap Expected;
    Expected.Assign(&Map);
    TFloatMap ExpectedBack(&Expected);
    for (int Processors : {1, 2, 7}) {
        TProcessorCountOverride Override(Processors);
        TLinearBitmap Bitmap;
        WritePlane(Map, Bitmap);
        ASSERT_EQ(Bitmap.Width, 37);
        ASSERT_EQ(Bitmap.Height, 131);
        EXPECT_EQ(Bitmap.PixelFormat, TPixelFormat::pf8bit);
        EXPECT_EQ(std::memcmp(Bitmap.Map, Expected.Map, std::size_t(Map.Count)), 0) << Processors << " processors";
        TFloatMap Back;
        ReadPlane(Bitmap, Back);
        EXPECT_TRUE(SameBits(Back, ExpectedBack)) << Processors << " processors";
    }
}

} // namespace
} // namespace fi
