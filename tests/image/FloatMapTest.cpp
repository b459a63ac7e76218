#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "image/FloatMap.h"
#include "image/LinearBitmap.h"

namespace fi {
namespace {

std::uint64_t Bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
}

TEST(FloatMap, SetSizeLimitAndGeometry) {
    TFloatMap Map;
    Map.SetSize(3, 2);
    EXPECT_EQ(Map.Count, 6);
    EXPECT_EQ(Map.BytesPerLine, 24);
    EXPECT_EQ(Map.Size, 48);
    Map.Map[4] = 5.5;
    double* Before = Map.Map;
    Map.SetSize(3, 2);
    EXPECT_EQ(Map.Map, Before);
    EXPECT_EQ(Map.Map[4], 5.5);
    EXPECT_EQ(Map.RowPtr(1), Map.Map + 3);
    EXPECT_EQ(Map.PixelPtr(2, 1), Map.Map + 5);

    EXPECT_THROW(Map.SetSize(25001, 10000), EOutOfMemory);
    EXPECT_EQ(Map.Map, nullptr);
    EXPECT_EQ(Map.Count, 0);
    EXPECT_EQ(Map.Width, 0);
    EXPECT_THROW(Map.SetSize(-4, 3), EOutOfMemory);
    EXPECT_THROW(Map.SetSize(-4, -3), EOutOfMemory);
    EXPECT_EQ(Map.Size, 0);
    // Sizes whose products wrap in 32 bits (to 0 and to 131073 elements) or
    // overflow 64 bits once counted in bytes.
    for (const auto& [W, H] : {std::pair{65536, 65536}, std::pair{65537, 65537}, std::pair{INT32_MAX, INT32_MAX},
                               std::pair{INT32_MAX, 1}}) {
        EXPECT_THROW(Map.SetSize(W, H), EOutOfMemory) << W << " x " << H;
        EXPECT_EQ(Map.Map, nullptr);
        EXPECT_EQ(Map.Count, 0);
    }

    Map.SetSize(0, 7);
    EXPECT_EQ(Map.Count, 0);
    EXPECT_EQ(Map.Height, 7);
    EXPECT_EQ(Map.Map, nullptr);
}

TEST(FloatMap, FitsFloatMapIsTheLimitForAnySizes) {
    EXPECT_TRUE(FitsFloatMap(MaxFloatMapElements, 1));
    EXPECT_TRUE(FitsFloatMap(1, MaxFloatMapElements));
    EXPECT_TRUE(FitsFloatMap(25000, 10000));
    EXPECT_TRUE(FitsFloatMap(0, MaxFloatMapElements));
    EXPECT_FALSE(FitsFloatMap(25000, 10001));
    EXPECT_FALSE(FitsFloatMap(MaxFloatMapElements + 1, 1));
    EXPECT_FALSE(FitsFloatMap(-1, 1));
    EXPECT_FALSE(FitsFloatMap(INT64_MAX, INT64_MAX));
    EXPECT_FALSE(FitsFloatMap(std::int64_t(INT32_MAX) * 16, std::int64_t(INT32_MAX) * 16));
}

TEST(FloatMap, TwoBillionBytesIsAccepted) {
    // Exactly at the limit. The allocation itself may fail on a small machine;
    // only the limit test must pass.
    TFloatMap Map;
    try {
        Map.SetSize(25000, 10000);
        EXPECT_EQ(Map.Size, 2000000000);
    } catch (const EOutOfMemory&) {
        EXPECT_EQ(Map.Map, nullptr);
        EXPECT_EQ(Map.Size, 0);
    }
}

TEST(FloatMap, GetClampedReturnsNearestEdge) {
    TFloatMap Map(4, 3);
    for (int i = 0; i < Map.Count; ++i) Map.Map[i] = i;
    EXPECT_EQ(Map.GetClamped(-3, -3), 0);
    EXPECT_EQ(Map.GetClamped(Map.Width + 5, Map.Height + 5), 11);
    EXPECT_EQ(Map.GetClamped(2, Map.Height), 10);
    EXPECT_EQ(Map.GetClamped(-1, 1), 4);
    EXPECT_EQ(Map.GetClamped(4, 0), 3);
    EXPECT_EQ(Map.GetClamped(1, 1), 5);
}

TEST(FloatMap, TakeOverFillZeroAndMinMax) {
    TFloatMap A(2, 2), B(5, 1);
    A.Fill(-1.0);
    double Min, Max;
    A.GetMinMax(Min, Max);
    EXPECT_EQ(Min, -1.0);
    EXPECT_EQ(Max, -1.0);

    double* Buffer = A.Map;
    B.TakeOver(A);
    EXPECT_EQ(B.Map, Buffer);
    EXPECT_EQ(B.Width, 2);
    EXPECT_EQ(B.Count, 4);
    EXPECT_EQ(A.Map, nullptr);
    EXPECT_EQ(A.Count, 0);

    B.ZeroAll();
    EXPECT_EQ(Bits(B.Map[3]), 0u);

    TFloatMap Empty;
    Empty.GetMinMax(Min, Max);
    EXPECT_EQ(Bits(Min), 0x7FEE42D130773B76u);
    EXPECT_EQ(Bits(Max), 0xFFEE42D130773B76u);

    TFloatMap Mixed(4, 1);
    Mixed.Map[0] = 3;
    Mixed.Map[1] = std::numeric_limits<double>::quiet_NaN();
    Mixed.Map[2] = -2;
    Mixed.Map[3] = 7;
    Mixed.GetMinMax(Min, Max);
    EXPECT_EQ(Max, 7);
    EXPECT_EQ(Min, -2);
    // "not (v >= Min)" takes a NaN as the minimum, and any value after it replaces it.
    Mixed.Map[3] = std::numeric_limits<double>::quiet_NaN();
    Mixed.GetMinMax(Min, Max);
    EXPECT_EQ(Max, 3);
    EXPECT_TRUE(std::isnan(Min));
}

TEST(FloatMap, BitmapConversions) {
    TFloatMap Map(3, 2);
    const double Values[6] = {254.5, 255.5, -0.4, 300.0, 2.5, 3.5};
    std::memcpy(Map.Map, Values, sizeof Values);
    TLinearBitmap Bitmap(1, 1, TPixelFormat::pf8bit);
    Bitmap.Palette[7] = {1, 2, 3};
    Map.AssignTo(&Bitmap);
    EXPECT_EQ(Bitmap.Width, 3);
    EXPECT_EQ(Bitmap.Height, 2);
    const std::uint8_t Expected[6] = {254, 255, 0, 255, 2, 4};
    EXPECT_EQ(std::memcmp(Bitmap.Map, Expected, 6), 0);
    // The palette is left as it was.
    EXPECT_EQ(Bitmap.Palette[7].Red, 3);

    Map.Map[0] = std::numeric_limits<double>::quiet_NaN();
    Map.AssignTo(&Bitmap);
    EXPECT_EQ(Bitmap.Map[0], 0);

    TFloatMap Back(&Bitmap);
    EXPECT_EQ(Back.Width, 3);
    EXPECT_EQ(Back.Map[1], 255.0);
    EXPECT_EQ(Back.Map[5], 4.0);

    TFloatMap Copy;
    Copy.Assign(&Map);
    EXPECT_EQ(Copy.Map[3], 300.0);
    EXPECT_NE(Copy.Map, Map.Map);
}

TEST(FloatMap, PersistenceWritesNothing) {
    const std::string Name = testing::TempDir() + "floatmap.bin";
    TFloatMap Map(2, 2);
    Map.Fill(1.0);
    Map.SaveToFile(Name);
    TFloatMap Loaded;
    Loaded.LoadFromFile(Name);
    EXPECT_EQ(Loaded.Count, 0);
    std::remove(Name.c_str());
}

} // namespace
} // namespace fi
