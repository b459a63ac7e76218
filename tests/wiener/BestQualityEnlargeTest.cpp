// The best-quality enlargement: its colour handling, every scale, and the
// same bits on every vector unit and thread count.
#include "wiener/BestQualityEnlarge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "WienerTestSupport.h"

namespace fi::test {
namespace {

// Red, green and blue drawn from Seed, or empty.
struct TColourImage {
    TFloatMap R, G, B;
    TColourImage() = default;
    TColourImage(std::int32_t W, std::int32_t H, std::uint64_t Seed) {
        FillRandom(R, W, H, Seed);
        FillRandom(G, W, H, Seed + 1);
        FillRandom(B, W, H, Seed + 2);
    }
    std::vector<TFloatMap*> Planes() { return {&R, &G, &B}; }
};

// A flat colour stays that colour; the luma of an enlarged colour image is
// the engine's enlargement of the source's luma as a gray plane, so no
// colour difference leaks into it.
TEST(BestQualityEnlarge, ColourDifferencesStayOutOfTheLuma) {
    TColourImage Flat;
    for (TFloatMap* P : Flat.Planes()) P->SetSize(9, 7);
    for (std::int32_t i = 0; i < Flat.R.Count; ++i) Flat.R.Map[i] = 200, Flat.G.Map[i] = 100, Flat.B.Map[i] = 50;
    EnlargeBestQuality(Flat.Planes(), 3);
    ASSERT_EQ(Flat.G.Width, 27);
    ASSERT_EQ(Flat.B.Height, 21);
    for (std::int32_t i = 0; i < Flat.R.Count; ++i) {
        ASSERT_NEAR(Flat.R.Map[i], 200, 1e-6) << i;
        ASSERT_NEAR(Flat.G.Map[i], 100, 1e-6) << i;
        ASSERT_NEAR(Flat.B.Map[i], 50, 1e-6) << i;
    }

    TColourImage Image(13, 11, 5);
    TFloatMap Luma(13, 11);
    for (std::int32_t i = 0; i < Luma.Count; ++i)
        Luma.Map[i] = 0.299 * Image.R.Map[i] + 0.587 * Image.G.Map[i] + 0.114 * Image.B.Map[i];
    EnlargeBestQuality(Image.Planes(), 2);
    EnlargeBestQuality({&Luma}, 2);
    ASSERT_EQ(Image.R.Width, Luma.Width);
    for (std::int32_t i = 0; i < Luma.Count; ++i)
        ASSERT_NEAR(0.299 * Image.R.Map[i] + 0.587 * Image.G.Map[i] + 0.114 * Image.B.Map[i], Luma.Map[i], 1e-9)
            << i;
}

// Every scale 2 .. 16 on small gray and colour images, a single pixel
// included: the size is the scale's, and every value is finite and within
// reach of the source's range.
TEST(BestQualityEnlarge, EveryScaleOnSmallImages) {
    for (std::int32_t Scale = 2; Scale <= 16; ++Scale) {
        TFloatMap Dot(1, 1);
        Dot.Map[0] = 77;
        EnlargeBestQuality({&Dot}, Scale);
        ASSERT_EQ(Dot.Width, Scale);
        for (std::int32_t i = 0; i < Dot.Count; ++i) ASSERT_NEAR(Dot.Map[i], 77, 1e-6) << Scale;

        TColourImage Image(5, 3, std::uint64_t(Scale));
        EnlargeBestQuality(Image.Planes(), Scale);
        for (const TFloatMap* P : Image.Planes()) {
            ASSERT_EQ(P->Width, 5 * Scale);
            ASSERT_EQ(P->Height, 3 * Scale);
            for (std::int32_t i = 0; i < P->Count; ++i)
                ASSERT_TRUE(std::isfinite(P->Map[i]) && P->Map[i] > -256 && P->Map[i] < 512) << Scale << " " << i;
        }
    }
    TFloatMap A(2, 2), B(2, 2);
    EXPECT_THROW(EnlargeBestQuality({&A, &B}, 2), std::invalid_argument);
}

TEST(BestQualityEnlarge, SameBitsOnEveryVectorUnitAndThreadCount) {
    std::uint64_t Expected[3] = {};
    bool First = true;
    ForEveryVectorUnitAndThreadCount([&](const std::string& Where) {
        TColourImage Image(37, 29, 11);
        EnlargeBestQuality(Image.Planes(), 6);
        const std::uint64_t Got[3] = {HashMap(Image.R), HashMap(Image.G), HashMap(Image.B)};
        if (First) std::copy(Got, Got + 3, Expected);
        First = false;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(Got[c], Expected[c]) << Where << ", plane " << c;
    });
}

} // namespace
} // namespace fi::test
