#include <gtest/gtest.h>

#include "image/FloatMap.h"
#include "image/LinearBitmap.h"

namespace fi {
namespace {

class TUnrelated : public TAssignObject {
public:
    const char* ClassName() const override { return "TUnrelated"; }
};

std::string CopyError(const std::function<void()>& Copy) {
    try {
        Copy();
    } catch (const Exception& Failure) {
        return Failure.what();
    }
    return "";
}

TEST(AssignObject, UnhandledPairRaisesOnceNamingSourceFirst) {
    TLinearBitmap Bitmap;
    TUnrelated Other;
    EXPECT_EQ(CopyError([&] { Bitmap.Assign(&Other); }), "Cannot assign TUnrelated to TLinearBitmap");
    EXPECT_EQ(CopyError([&] { Bitmap.AssignTo(&Other); }), "Cannot assign TLinearBitmap to TUnrelated");
    EXPECT_EQ(CopyError([&] { Other.Assign(&Bitmap); }), "Cannot assign TLinearBitmap to TUnrelated");
    EXPECT_EQ(CopyError([&] { Other.AssignTo(&Other); }), "Cannot assign TUnrelated to TUnrelated");
    EXPECT_EQ(CopyError([&] { Bitmap.Assign(nullptr); }), "Cannot assign nil to TLinearBitmap");
}

TEST(AssignObject, EitherSideMayKnowTheCopy) {
    // The float map knows how to copy itself into a bitmap; asking the bitmap works too.
    TFloatMap Map(2, 1);
    Map.Map[0] = 3.0;
    Map.Map[1] = 250.0;
    TLinearBitmap Bitmap;
    Bitmap.Assign(&Map);
    ASSERT_TRUE(Bitmap.Present);
    EXPECT_EQ(Bitmap.PixelFormat, TPixelFormat::pf8bit);
    EXPECT_EQ(Bitmap.Map[0], 3);
    EXPECT_EQ(Bitmap.Map[1], 250);
    // A nested, different copy during a forwarded one still works.
    TUnrelated Other;
    EXPECT_EQ(CopyError([&] { Map.AssignTo(&Other); }), "Cannot assign TFloatMap to TUnrelated");
}

} // namespace
} // namespace fi
