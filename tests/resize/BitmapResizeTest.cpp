#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "parallel/Progress.h"
#include "resize/BitmapResize.h"

namespace fi {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<TLinearBitmap> MakeBitmap(std::int32_t W, std::int32_t H, TPixelFormat Format, const Bytes& Pixels) {
    auto Bitmap = std::make_unique<TLinearBitmap>(W, H, Format);
    EXPECT_EQ(std::size_t(Bitmap->Size), Pixels.size());
    std::memcpy(Bitmap->Map, Pixels.data(), Pixels.size());
    if (Format == TPixelFormat::pf8bit) std::memcpy(Bitmap->Palette, GrayPalette, sizeof(TPalette));
    return Bitmap;
}

std::unique_ptr<TLinearBitmap> Gray(std::int32_t W, std::int32_t H, const Bytes& Pixels) {
    return MakeBitmap(W, H, TPixelFormat::pf8bit, Pixels);
}

// A reproducible pattern with every byte value and no simple structure.
std::unique_ptr<TLinearBitmap> Pattern(std::int32_t W, std::int32_t H, TPixelFormat Format, std::uint32_t Seed = 1) {
    auto Bitmap = std::make_unique<TLinearBitmap>(W, H, Format);
    std::uint32_t State = Seed * 2654435761u + 12345u;
    for (std::int32_t i = 0; i < Bitmap->Size; ++i) {
        State = State * 1664525u + 1013904223u;
        Bitmap->Map[i] = std::uint8_t(State >> 24);
    }
    if (Format == TPixelFormat::pf8bit) std::memcpy(Bitmap->Palette, GrayPalette, sizeof(TPalette));
    return Bitmap;
}

Bytes Pixels(const TLinearBitmap& Bitmap) { return Bytes(Bitmap.Map, Bitmap.Map + Bitmap.Size); }

std::unique_ptr<TLinearBitmap> Sized(const TLinearBitmap& Source, std::int32_t W, std::int32_t H) {
    return std::make_unique<TLinearBitmap>(W, H, Source.PixelFormat);
}

std::string FailureOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const Exception& Failure) {
        return Failure.what();
    }
    return "";
}

// ---------------------------------------------------------------------------

TEST(AxisMapping, EnlargingReducingAndSingleSample) {
    TAxisMapping M = GetAxisMapping(10, 8);
    EXPECT_DOUBLE_EQ(M.Offset, 0.2);
    EXPECT_DOUBLE_EQ(M.Step, 8.6 / 7);
    M = GetAxisMapping(10, 4);
    EXPECT_EQ(M.Offset, 0.5);
    EXPECT_DOUBLE_EQ(M.Offset + 3 * M.Step, 8.5);
    M = GetAxisMapping(2, 3);
    EXPECT_EQ(M.Offset, 0.0);
    EXPECT_EQ(M.Step, 0.5);
    M = GetAxisMapping(7, 7);
    EXPECT_EQ(M.Offset, 0.0);
    EXPECT_EQ(M.Step, 1.0);
    M = GetAxisMapping(5, 1);
    EXPECT_EQ(M.Offset, 0.5);
    EXPECT_EQ(M.Step, 0.0);
    // r = 0.5 exactly still insets by 1 - r.
    M = GetAxisMapping(8, 4);
    EXPECT_EQ(M.Offset, 0.5);
    EXPECT_DOUBLE_EQ(M.Step, 6.0 / 3);
}

TEST(GammaTables, EndsAndHalfWayMean) {
    auto Tables = std::make_unique<TGammaTables>();
    BuildGammaTables(*Tables, 2.2f);
    EXPECT_EQ(Tables->ToLinear[0], 0.0f);
    EXPECT_EQ(Tables->ToLinear[255], 255.0f);
    EXPECT_NEAR(Tables->ToLinear[128], 255 * std::pow(128.0 / 255, double(2.2f)), 1e-4);
    EXPECT_EQ(Tables->FromLinear[0], 0);
    EXPECT_EQ(Tables->FromLinear[FromLinearTop], 255);
    // Half-way between black and white in linear light is not 128.
    EXPECT_EQ(Tables->FromLinear[std::lrint(127.5 * 256)], 186);
    EXPECT_EQ(GammaMean4(*Tables, 0, 255, 0, 255), 186);
    auto Pairs = std::make_unique<TPairMix>();
    BuildPairMix(*Pairs, 2.2f);
    EXPECT_EQ(Pairs->Mix[0][255], 186);
    EXPECT_EQ(Pairs->Mix[255][0], 186);
    for (int i = 0; i < 256; i += 17) EXPECT_EQ(Pairs->Mix[i][i], i);
}

// ---------------------------------------------------------------------------

TEST(BilinearResize, EnlargesTwoByTwoWithTiesToEven) {
    auto Source = Gray(2, 2, {0, 100, 200, 255});
    auto Dest = Sized(*Source, 3, 3);
    BilinearResize(*Source, *Dest);
    EXPECT_EQ(Pixels(*Dest), (Bytes{0, 50, 100, 100, 139, 178, 200, 228, 255}));

    // 2.5 is written as 2.
    Source = Gray(2, 2, {0, 5, 0, 5});
    Dest = Sized(*Source, 3, 2);
    BilinearResize(*Source, *Dest);
    EXPECT_EQ(Pixels(*Dest), (Bytes{0, 2, 5, 0, 2, 5}));
}

TEST(BilinearResize, WidthOneSamplesBetweenFirstTwoColumns) {
    auto Source = Gray(3, 2, {10, 20, 200, 30, 41, 200});
    auto Dest = Sized(*Source, 1, 2);
    BilinearResize(*Source, *Dest);
    EXPECT_EQ(Pixels(*Dest), (Bytes{15, 36}));
}

TEST(BilinearResize, SameSizeReproducesEveryFormat) {
    for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit}) {
        auto Source = Pattern(13, 9, Format);
        auto Dest = Sized(*Source, 13, 9);
        BilinearResize(*Source, *Dest);
        EXPECT_EQ(Pixels(*Dest), Pixels(*Source));
    }
}

TEST(BilinearResize, ChannelsAndSixteenBitSamplesAreInterpolatedWhole) {
    // Channels of a colour pixel do not bleed into each other.
    auto Colour = MakeBitmap(2, 1, TPixelFormat::pf24bit, {0, 10, 255, 100, 30, 255});
    auto Dest = Sized(*Colour, 3, 1);
    BilinearResize(*Colour, *Dest);
    EXPECT_EQ(Pixels(*Dest), (Bytes{0, 10, 255, 50, 20, 255, 100, 30, 255}));

    // 16-bit samples are interpolated as whole values, not byte by byte.
    TLinearBitmap Wide(2, 1, TPixelFormat::pf16bit);
    auto* In = reinterpret_cast<std::uint16_t*>(Wide.Map);
    In[0] = 0x00FF;
    In[1] = 0x0101;
    TLinearBitmap Out(3, 1, TPixelFormat::pf16bit);
    BilinearResize(Wide, Out);
    const auto* Result = reinterpret_cast<const std::uint16_t*>(Out.Map);
    EXPECT_EQ(Result[0], 0x00FF);
    EXPECT_EQ(Result[1], 0x0100);
    EXPECT_EQ(Result[2], 0x0101);
}

TEST(BilinearResize, GammaMeanAndFormats) {
    auto Source = Gray(2, 1, {0, 255});
    auto Dest = Sized(*Source, 3, 1);
    BilinearResizeGamma(*Source, *Dest, 2.2f);
    EXPECT_EQ(Pixels(*Dest), (Bytes{0, 186, 255}));
    BilinearResizeGamma(*Source, *Dest, 1.0f);
    EXPECT_EQ(Pixels(*Dest), (Bytes{0, 128, 255}));

    auto Colour = MakeBitmap(2, 1, TPixelFormat::pf24bit, {0, 255, 0, 255, 0, 0});
    auto ColourDest = Sized(*Colour, 3, 1);
    BilinearResizeGamma(*Colour, *ColourDest, 2.2f);
    EXPECT_EQ(Pixels(*ColourDest), (Bytes{0, 255, 0, 186, 186, 0, 255, 0, 0}));

    TLinearBitmap Wide(4, 4, TPixelFormat::pf16bit), WideDest(6, 6, TPixelFormat::pf16bit);
    EXPECT_EQ(FailureOf([&] { BilinearResizeGamma(Wide, WideDest, 2.2f); }), SUnsupportedPixelFormat);
    EXPECT_EQ(FailureOf([&] { BilinearResizeGamma(Wide, WideDest, 1.0f); }), "");
    TLinearBitmap Quad(4, 4, TPixelFormat::pf32bit), QuadDest(6, 6, TPixelFormat::pf32bit);
    EXPECT_EQ(FailureOf([&] { BilinearResize(Quad, QuadDest); }), SUnsupportedPixelFormat);
    EXPECT_EQ(FailureOf([&] { BilinearResizeGamma(Quad, QuadDest, 2.2f); }), SUnsupportedPixelFormat);
    // A Dest that does not match Source is refused instead of overrun.
    TLinearBitmap Narrow(6, 6, TPixelFormat::pf8bit);
    EXPECT_EQ(FailureOf([&] { BilinearResize(Wide, Narrow); }), SInvalidBitmapSize);
}

TEST(BilinearResize, ManyChunksFillEveryRow) {
    // Tall enough for the rows to be split over several items.
    auto Source = Pattern(40, 30, TPixelFormat::pf24bit);
    std::memset(Source->Map, 77, std::size_t(Source->Size));
    auto Dest = Sized(*Source, 300, 1000);
    std::memset(Dest->Map, 0, std::size_t(Dest->Size));
    BilinearResize(*Source, *Dest);
    EXPECT_EQ(Pixels(*Dest), Bytes(std::size_t(Dest->Size), 77));
}

// Sources one pixel wide or high replicate their one row or column; under
// AddressSanitizer any read outside the bitmap fails the test.
TEST(BilinearResize, OneRowOrColumnSourcesReplicate) {
    struct TCase {
        std::int32_t W, H, NewW, NewH;
    };
    for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit})
        for (const TCase& Case : {TCase{1, 1, 3, 3}, TCase{1, 1, 1, 1}, TCase{1, 5, 3, 7}, TCase{5, 1, 7, 3},
                                  TCase{1, 5, 1, 3}, TCase{5, 1, 2, 1}, TCase{1, 6, 4, 2}}) {
            auto Source = std::make_unique<TLinearBitmap>(Case.W, Case.H, Format);
            const std::int32_t Line = Source->BytesPerLine;
            // Values that vary only along the long axis.
            for (std::int32_t i = 0; i < Source->Size; ++i)
                Source->Map[i] = std::uint8_t(Case.W == 1 ? 40 * (i / Line) : 40 * (i / Source->PixelSize));
            auto Dest = Sized(*Source, Case.NewW, Case.NewH);
            BilinearResize(*Source, *Dest);
            if (Case.W == 1) {
                // Every destination row is one value repeated.
                for (std::int32_t y = 0; y < Dest->Height; ++y)
                    for (std::int32_t x = 1; x < Dest->Width; ++x)
                        EXPECT_EQ(std::memcmp(Dest->PixelPtr(x, y), Dest->PixelPtr(0, y), std::size_t(Dest->PixelSize)), 0);
            }
            if (Case.H == 1) {
                for (std::int32_t y = 1; y < Dest->Height; ++y)
                    EXPECT_EQ(std::memcmp(Dest->Line(y), Dest->Line(0), std::size_t(Dest->BytesPerLine)), 0);
            }
            if (Case.W == 1 && Case.H == 1) {
                for (std::int32_t i = 0; i < Dest->Size; ++i) EXPECT_EQ(Dest->Map[i], 0);
            }
        }
    // A one-row 8-bit gray enlargement along its row is the plain 1-D interpolation.
    auto Row = Gray(2, 1, {0, 100});
    auto Dest = Sized(*Row, 5, 2);
    BilinearResize(*Row, *Dest);
    EXPECT_EQ(Pixels(*Dest), (Bytes{0, 25, 50, 75, 100, 0, 25, 50, 75, 100}));
}

// ---------------------------------------------------------------------------

TEST(HalveBitmap, BlockMeansAndOddEdges) {
    auto Source = Gray(3, 3, {1, 2, 9, 2, 2, 9, 9, 9, 9});
    TLinearBitmap Dest;
    HalveBitmap(*Source, &Dest, 1.0f);
    EXPECT_EQ(Dest.Width, 1);
    EXPECT_EQ(Dest.Height, 1);
    EXPECT_EQ(Pixels(Dest), Bytes{2});
    EXPECT_EQ(std::memcmp(Dest.Palette, GrayPalette, sizeof(TPalette)), 0);

    auto Colour = MakeBitmap(2, 2, TPixelFormat::pf24bit, {0, 1, 255, 0, 2, 255, 255, 2, 0, 255, 3, 0});
    HalveBitmap(*Colour, &Dest, 1.0f);
    EXPECT_EQ(Pixels(Dest), (Bytes{128, 2, 128}));
    HalveBitmap(*Colour, &Dest, 2.2f);
    EXPECT_EQ(Pixels(Dest), (Bytes{186, 2, 186}));

    auto Tiny = Gray(1, 1, {5});
    EXPECT_EQ(FailureOf([&] { HalveBitmap(*Tiny, &Dest, 1.0f); }), SInvalidBitmapSize);
    TLinearBitmap Wide(4, 4, TPixelFormat::pf16bit);
    EXPECT_EQ(FailureOf([&] { HalveBitmap(Wide, &Dest, 1.0f); }), SUnsupportedPixelFormat);
    EXPECT_EQ(Dest.Width, 2);
}

TEST(HalveBitmap, InPlaceMatchesSeparateDest) {
    for (float Gamma : {1.0f, 2.2f}) {
        auto Source = Pattern(9, 7, TPixelFormat::pf24bit);
        TLinearBitmap Dest;
        HalveBitmap(*Source, &Dest, Gamma);
        HalveBitmap(*Source, nullptr, Gamma);
        EXPECT_EQ(Source->Width, 4);
        EXPECT_EQ(Source->Height, 3);
        EXPECT_EQ(Pixels(*Source), Pixels(Dest));
        auto Again = Pattern(9, 7, TPixelFormat::pf8bit);
        HalveBitmap(*Again, &Dest, Gamma);
        HalveBitmap(*Again, Again.get(), Gamma);
        EXPECT_EQ(Pixels(*Again), Pixels(Dest));
    }
}

TEST(DoubleBitmap, TwoByTwoExampleAndHalfUpMeans) {
    auto Source = Gray(2, 2, {0, 100, 200, 255});
    TLinearBitmap Dest;
    DoubleBitmap(*Source, &Dest, 1.0f);
    EXPECT_EQ(Pixels(Dest), (Bytes{0, 0, 50, 100, 0, 0, 50, 100, 100, 100, 139, 178, 100, 100, 139, 178}));
    // mean2(1, 2) rounds half up.
    auto Pair = Gray(2, 2, {1, 2, 1, 2});
    DoubleBitmap(*Pair, &Dest, 1.0f);
    EXPECT_EQ(Dest.Map[2], 2);
    auto Ends = Gray(2, 2, {0, 255, 0, 255});
    DoubleBitmap(*Ends, &Dest, 2.2f);
    EXPECT_EQ(Dest.Map[2], 186);
    TLinearBitmap Wide(4, 4, TPixelFormat::pf16bit);
    EXPECT_EQ(FailureOf([&] { DoubleBitmap(Wide, &Dest, 1.0f); }), SUnsupportedPixelFormat);
}

TEST(DoubleBitmap, SourcePixelsKeepTheirPlaces) {
    for (float Gamma : {1.0f, 2.2f}) {
        auto Source = Pattern(7, 5, TPixelFormat::pf24bit, 3);
        TLinearBitmap Dest;
        DoubleBitmap(*Source, &Dest, Gamma);
        ASSERT_EQ(Dest.Width, 14);
        ASSERT_EQ(Dest.Height, 10);
        for (std::int32_t y = 0; y < 4; ++y)
            for (std::int32_t x = 0; x < 7; ++x)
                EXPECT_EQ(std::memcmp(Dest.PixelPtr(2 * x + 1, 2 * y + 1), Source->PixelPtr(x, y), 3), 0);
        // The last destination column holds the last source column.
        for (std::int32_t y = 0; y < 4; ++y)
            EXPECT_EQ(std::memcmp(Dest.PixelPtr(13, 2 * y + 1), Source->PixelPtr(6, y), 3), 0);
        EXPECT_EQ(std::memcmp(Dest.Line(0), Dest.Line(1), 42), 0);
        EXPECT_EQ(std::memcmp(Dest.Line(9), Dest.Line(8), 42), 0);
        for (std::int32_t y = 0; y < 10; ++y) EXPECT_EQ(std::memcmp(Dest.PixelPtr(0, y), Dest.PixelPtr(1, y), 3), 0);

        // In place gives the same pixels.
        DoubleBitmap(*Source, nullptr, Gamma);
        EXPECT_EQ(Pixels(*Source), Pixels(Dest));
    }
}

TEST(DoubleBitmap, OneRowOrColumnSources) {
    for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf24bit})
        for (float Gamma : {1.0f, 2.2f}) {
            auto Dot = Pattern(1, 1, Format, 9);
            TLinearBitmap Dest;
            DoubleBitmap(*Dot, &Dest, Gamma);
            ASSERT_EQ(Dest.Size, 4 * Dot->PixelSize);
            for (std::int32_t i = 0; i < 4; ++i)
                EXPECT_EQ(std::memcmp(Dest.Map + i * Dot->PixelSize, Dot->Map, std::size_t(Dot->PixelSize)), 0);

            auto Column = Pattern(1, 4, Format, 10);
            DoubleBitmap(*Column, &Dest, Gamma);
            ASSERT_EQ(Dest.Width, 2);
            for (std::int32_t y = 0; y < 8; ++y)
                EXPECT_EQ(std::memcmp(Dest.PixelPtr(0, y), Dest.PixelPtr(1, y), std::size_t(Dot->PixelSize)), 0);
            EXPECT_EQ(std::memcmp(Dest.PixelPtr(0, 3), Column->PixelPtr(0, 1), std::size_t(Dot->PixelSize)), 0);

            auto Row = Pattern(5, 1, Format, 11);
            DoubleBitmap(*Row, &Dest, Gamma);
            ASSERT_EQ(Dest.Height, 2);
            EXPECT_EQ(std::memcmp(Dest.Line(0), Dest.Line(1), std::size_t(Dest.BytesPerLine)), 0);
            for (std::int32_t x = 0; x < 5; ++x)
                EXPECT_EQ(std::memcmp(Dest.PixelPtr(2 * x + 1, 0), Row->PixelPtr(x, 0), std::size_t(Dot->PixelSize)), 0);
        }
    auto Row = Gray(2, 1, {10, 21});
    DoubleBitmap(*Row, nullptr, 1.0f);
    EXPECT_EQ(Pixels(*Row), (Bytes{10, 10, 16, 21, 10, 10, 16, 21}));
}

// ---------------------------------------------------------------------------

TEST(AreaAverageReduce, BlockLayoutAndRounding) {
    auto Source = Gray(7, 1, {10, 20, 30, 40, 50, 60, 70});
    auto Dest = Sized(*Source, 3, 1);
    AreaAverageReduce(*Source, *Dest, 1.0f);
    EXPECT_EQ(Pixels(*Dest), (Bytes{10, 30, 60}));

    // One destination pixel: the first block is source pixel (0, 0) alone.
    auto Square = Pattern(9, 9, TPixelFormat::pf24bit);
    auto Single = Sized(*Square, 1, 1);
    AreaAverageReduce(*Square, *Single, 1.0f);
    EXPECT_EQ(Pixels(*Single), Bytes(Square->Map, Square->Map + 3));
    AreaAverageReduce(*Square, *Single, 2.2f);
    EXPECT_EQ(Pixels(*Single), Bytes(Square->Map, Square->Map + 3));

    // Blocks {1, 2} and {2, 3}: Round(1.5) = 2, Round(2.5) = 2. Steps of 2
    // from 0: blocks 0..0, 1..2, 3..4.
    auto Ties = Gray(5, 1, {0, 1, 2, 2, 3});
    Dest = Sized(*Ties, 3, 1);
    AreaAverageReduce(*Ties, *Dest, 1.0f);
    EXPECT_EQ(Pixels(*Dest), (Bytes{0, 2, 2}));
    auto ColourTies = MakeBitmap(5, 1, TPixelFormat::pf24bit, {0, 0, 0, 1, 2, 5, 2, 3, 5, 2, 2, 5, 3, 3, 7});
    Dest = Sized(*ColourTies, 3, 1);
    AreaAverageReduce(*ColourTies, *Dest, 1.0f);
    EXPECT_EQ(Pixels(*Dest), (Bytes{0, 0, 0, 2, 2, 5, 2, 2, 6}));
}

TEST(AreaAverageReduce, RowBlocksAndGammaMeans) {
    // Rows 0, 1..3, 4..6 of a 2-wide image reduced to 1 x 3 (columns 0..0).
    auto Source = Gray(2, 7, {100, 99, 2, 99, 4, 99, 6, 99, 255, 99, 0, 99, 0, 99});
    auto Dest = Sized(*Source, 1, 3);
    AreaAverageReduce(*Source, *Dest, 1.0f);
    EXPECT_EQ(Pixels(*Dest), (Bytes{100, 4, 85}));
    // In linear light the mean of one white and two black pixels is brighter.
    AreaAverageReduce(*Source, *Dest, 2.2f);
    EXPECT_EQ(Dest->Map[0], 100);
    EXPECT_EQ(Dest->Map[2], std::lrint(255 * std::pow(1.0 / 3, 1 / double(2.2f))));

    // A uniform image reduces to itself in every variant.
    for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf24bit})
        for (float Gamma : {1.0f, 2.2f, 0.45f}) {
            auto Flat = Pattern(50, 40, Format);
            std::memset(Flat->Map, 201, std::size_t(Flat->Size));
            auto Small = Sized(*Flat, 7, 6);
            AreaAverageReduce(*Flat, *Small, Gamma);
            EXPECT_EQ(Pixels(*Small), Bytes(std::size_t(Small->Size), 201)) << Gamma;
        }
}

std::vector<std::int32_t> Reported;
void RecordProgress(std::int32_t Progress) { Reported.push_back(Progress); }

struct TProgressScope {
    TProgressScope() {
        Reported.clear();
        ProgressHook = RecordProgress;
    }
    ~TProgressScope() { ProgressHook = nullptr; }
};

void AbortAtHalf(std::int32_t Progress) {
    if (Progress >= 50) Abort();
}

TEST(AreaAverageReduce, ProgressPerPixelOrPerRowAndAbort) {
    TProgressScope Scope;
    auto Gray8 = Pattern(12, 12, TPixelFormat::pf8bit);
    auto Dest = Sized(*Gray8, 2, 3);
    AreaAverageReduce(*Gray8, *Dest, 1.0f);
    EXPECT_EQ(Reported, (std::vector<std::int32_t>{33, 33, 66, 66, 100, 100}));
    Reported.clear();
    AreaAverageReduce(*Gray8, *Dest, 2.2f);
    EXPECT_EQ(Reported.size(), 6u);

    auto Colour = Pattern(12, 12, TPixelFormat::pf24bit);
    Dest = Sized(*Colour, 2, 3);
    Reported.clear();
    AreaAverageReduce(*Colour, *Dest, 1.0f);
    EXPECT_EQ(Reported, (std::vector<std::int32_t>{33, 66, 100}));

    ProgressHook = AbortAtHalf;
    EXPECT_THROW(AreaAverageReduce(*Colour, *Dest, 1.0f), EAbort);
}

// ---------------------------------------------------------------------------

// A palette that is not the gray ramp.
void MakePaletteImage(TLinearBitmap& Bitmap) {
    for (int i = 0; i < 256; ++i) Bitmap.Palette[i] = {std::uint8_t(i), 0, std::uint8_t(255 - i)};
}

TEST(NearestResize, ColumnsFollowTruncatedAccumulatedPositions) {
    auto Source = Gray(4, 2, {0, 1, 2, 3, 10, 11, 12, 13});
    MakePaletteImage(*Source);
    TLinearBitmap Dest;
    ResizeBitmap(*Source, Dest, 12, 3, 1.0f);
    const Bytes Row{0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3};
    Bytes Expected = Row;
    Expected.insert(Expected.end(), Row.begin(), Row.end());
    for (std::uint8_t v : Row) Expected.push_back(std::uint8_t(v + 10));
    EXPECT_EQ(Pixels(Dest), Expected);
    EXPECT_EQ(std::memcmp(Dest.Palette, Source->Palette, sizeof(TPalette)), 0);

    auto Colour = MakeBitmap(2, 1, TPixelFormat::pf24bit, {1, 2, 3, 4, 5, 6});
    NearestResize(*Colour, 3, 1, Dest);
    EXPECT_EQ(Pixels(Dest), (Bytes{1, 2, 3, 1, 2, 3, 4, 5, 6}));
    NearestResize(*Colour, 0, 1, Dest);
    EXPECT_FALSE(Dest.Present);
}

// ---------------------------------------------------------------------------

enum class TPath { Copy, Halve, Double, AreaAverage, Bilinear, Nearest };

// The output of each resampler called directly, to recognise which one the
// dispatcher chose.
Bytes DirectResult(TPath Path, TLinearBitmap& Source, std::int32_t W, std::int32_t H, float Gamma) {
    auto Dest = Sized(Source, W, H);
    switch (Path) {
    case TPath::Halve: HalveBitmap(Source, Dest.get(), Gamma); break;
    case TPath::Double: DoubleBitmap(Source, Dest.get(), Gamma); break;
    case TPath::AreaAverage: AreaAverageReduce(Source, *Dest, Gamma); break;
    case TPath::Bilinear: BilinearResizeGamma(Source, *Dest, Gamma); break;
    case TPath::Nearest: NearestResize(Source, W, H, *Dest); break;
    case TPath::Copy: return Pixels(Source);
    }
    return Pixels(*Dest);
}

TEST(ResizeBitmap, DispatchTable) {
    struct TCase {
        std::int32_t W, H, NewW, NewH;
        TPixelFormat Format;
        TPath Path;
    };
    const TCase Cases[] = {
        {10, 10, 5, 5, TPixelFormat::pf8bit, TPath::Halve},
        {11, 11, 5, 5, TPixelFormat::pf24bit, TPath::Halve},
        {10, 10, 20, 20, TPixelFormat::pf8bit, TPath::Double},
        {10, 10, 20, 20, TPixelFormat::pf24bit, TPath::Double},
        {10, 10, 4, 4, TPixelFormat::pf8bit, TPath::AreaAverage},
        {10, 10, 4, 4, TPixelFormat::pf24bit, TPath::AreaAverage},
        {10, 10, 10, 3, TPixelFormat::pf8bit, TPath::AreaAverage},
        {10, 10, 6, 6, TPixelFormat::pf8bit, TPath::Bilinear},
        {10, 10, 30, 30, TPixelFormat::pf24bit, TPath::Bilinear},
        {10, 10, 20, 5, TPixelFormat::pf8bit, TPath::Bilinear},
        {10, 10, 20, 10, TPixelFormat::pf8bit, TPath::Bilinear},
        {10, 10, 5, 5, TPixelFormat::pf16bit, TPath::Bilinear},
        {10, 10, 20, 20, TPixelFormat::pf16bit, TPath::Bilinear},
        {10, 10, 3, 3, TPixelFormat::pf16bit, TPath::Bilinear},
        {10, 10, 10, 10, TPixelFormat::pf24bit, TPath::Copy},
    };
    for (float Gamma : {1.0f, 2.2f})
        for (const TCase& Case : Cases) {
            if (Gamma != 1.0f && Case.Format == TPixelFormat::pf16bit) continue;
            auto Source = Pattern(Case.W, Case.H, Case.Format, std::uint32_t(Case.NewW * 31 + Case.NewH));
            TLinearBitmap Dest;
            ResizeBitmap(*Source, Dest, Case.NewW, Case.NewH, Gamma);
            ASSERT_EQ(Dest.Width, Case.NewW);
            ASSERT_EQ(Dest.Height, Case.NewH);
            ASSERT_EQ(Dest.PixelFormat, Case.Format);
            ASSERT_EQ(Dest.BytesPerLine, Case.NewW * Dest.PixelSize);
            const Bytes Result = Pixels(Dest);
            EXPECT_EQ(Result, DirectResult(Case.Path, *Source, Case.NewW, Case.NewH, Gamma))
                << Case.W << "x" << Case.H << " -> " << Case.NewW << "x" << Case.NewH << " gamma " << Gamma;
            // No other resampler happens to give the same pixels (a gamma
            // halving and the gamma bilinear path agree by construction).
            if (Case.Path != TPath::Bilinear && Case.Path != TPath::Copy &&
                !(Case.Path == TPath::Halve && Gamma != 1.0f)) {
                EXPECT_NE(Result, DirectResult(TPath::Bilinear, *Source, Case.NewW, Case.NewH, Gamma));
            }
        }
}

TEST(ResizeBitmap, CopiesClearsAndKeepsPalette) {
    auto Source = Gray(3, 2, {1, 2, 3, 4, 5, 6});
    MakePaletteImage(*Source);
    TLinearBitmap Dest;
    ResizeBitmap(*Source, Dest, 3, 2, 2.2f);
    EXPECT_EQ(Pixels(Dest), Pixels(*Source));
    EXPECT_EQ(std::memcmp(Dest.Palette, Source->Palette, sizeof(TPalette)), 0);
    ResizeBitmap(*Source, Dest, 0, 2, 1.0f);
    EXPECT_FALSE(Dest.Present);
    ResizeBitmap(*Source, Dest, 3, -1, 1.0f);
    EXPECT_FALSE(Dest.Present);
    TLinearBitmap Empty;
    ResizeBitmap(Empty, Dest, 3, 3, 1.0f);
    EXPECT_FALSE(Dest.Present);

    // A source with padded rows is read row by row.
    TLinearBitmap Padded(3, 2, TPixelFormat::pf24bit);
    Padded.SetSize(3, 2, TPixelFormat::pf24bit, 12);
    std::memset(Padded.Map, 0xEE, std::size_t(Padded.Size));
    for (std::int32_t y = 0; y < 2; ++y) std::memset(Padded.Line(y), 9 + y, 9);
    ResizeBitmap(Padded, Dest, 3, 2, 1.0f);
    EXPECT_EQ(Pixels(Dest), (Bytes{9, 9, 9, 9, 9, 9, 9, 9, 9, 10, 10, 10, 10, 10, 10, 10, 10, 10}));
    ResizeBitmap(Padded, Dest, 5, 4, 1.0f);
    for (std::int32_t i = 0; i < Dest.Size; ++i) EXPECT_LE(Dest.Map[i], 10);
}

TEST(ResizeBitmap, InPlaceWrapper) {
    auto Bitmap = Pattern(10, 8, TPixelFormat::pf24bit);
    const Bytes Before = Pixels(*Bitmap);
    std::uint8_t* const Buffer = Bitmap->Map;
    ResizeBitmapInPlace(*Bitmap, 10, 8, 2.2f);
    EXPECT_EQ(Bitmap->Map, Buffer);

    TLinearBitmap Expected;
    ResizeBitmap(*Bitmap, Expected, 17, 5, 1.0f);
    ResizeBitmapInPlace(*Bitmap, 17, 5, 1.0f);
    EXPECT_EQ(Pixels(*Bitmap), Pixels(Expected));
    // The same object as both source and destination works in place too.
    ResizeBitmap(*Bitmap, *Bitmap, 34, 10, 1.0f);
    EXPECT_EQ(Bitmap->Width, 34);

    // A failing resampler leaves the bitmap as it was.
    TLinearBitmap Quad(6, 6, TPixelFormat::pf32bit);
    for (std::int32_t i = 0; i < Quad.Size; ++i) Quad.Map[i] = std::uint8_t(i);
    const Bytes QuadBefore = Pixels(Quad);
    EXPECT_EQ(FailureOf([&] { ResizeBitmapInPlace(Quad, 9, 9, 1.0f); }), SUnsupportedPixelFormat);
    EXPECT_EQ(FailureOf([&] { ResizeBitmapInPlace(Quad, 3, 3, 1.0f); }), SUnsupportedPixelFormat);
    EXPECT_EQ(Quad.Width, 6);
    EXPECT_EQ(Pixels(Quad), QuadBefore);
}

// Every small size, every format, both gamma settings: sizes down to 1 x 1
// resize without a fault (AddressSanitizer watches the reads).
TEST(ResizeBitmap, TinyImagesEverySize) {
    for (TPixelFormat Format : {TPixelFormat::pf8bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit})
        for (std::int32_t W = 1; W <= 3; ++W)
            for (std::int32_t H = 1; H <= 3; ++H)
                for (std::int32_t NewW = 1; NewW <= 7; NewW += 2)
                    for (std::int32_t NewH = 1; NewH <= 6; ++NewH)
                        // Gamma costs table building only; a few sizes suffice.
                        for (float Gamma : {1.0f, 2.2f}) {
                            if (Gamma != 1.0f && (Format == TPixelFormat::pf16bit || NewW != 3 || NewH != 3 || W * H > 3))
                                continue;
                            auto Source = Pattern(W, H, Format, std::uint32_t(W * 7 + H));
                            TLinearBitmap Dest;
                            ResizeBitmap(*Source, Dest, NewW, NewH, Gamma);
                            EXPECT_EQ(Dest.Width, NewW);
                            EXPECT_EQ(Dest.Height, NewH);
                            ResizeBitmap(*Source, Dest, 2 * W, 2 * H, Gamma);
                            EXPECT_EQ(Dest.Width, 2 * W);
                        }
}

// ---------------------------------------------------------------------------

std::uint64_t Fnv1a(std::uint64_t Hash, const TLinearBitmap& Bitmap) {
    for (std::int32_t i = 0; i < Bitmap.Size; ++i) Hash = (Hash ^ Bitmap.Map[i]) * 1099511628211ull;
    return Hash;
}

// A fixed set of resizes through every resampler, both gamma settings. Both
// targets must produce this very constant: the arithmetic is pinned to the
// bit. Destination heights stay below two chunks of rows, so the constant does
// not depend on how many processors split the bilinear passes.
TEST(ResizeBitmap, SameBitsOnEveryTarget) {
    struct TCase {
        std::int32_t W, H, NewW, NewH;
        TPixelFormat Format;
    };
    const TCase Cases[] = {
        {37, 29, 55, 43, TPixelFormat::pf24bit},  {37, 29, 74, 58, TPixelFormat::pf24bit},
        {37, 29, 18, 14, TPixelFormat::pf24bit},  {37, 29, 9, 7, TPixelFormat::pf24bit},
        {37, 29, 30, 25, TPixelFormat::pf24bit},  {37, 29, 100, 20, TPixelFormat::pf24bit},
        {64, 48, 100, 127, TPixelFormat::pf8bit}, {64, 48, 128, 96, TPixelFormat::pf8bit},
        {64, 48, 11, 13, TPixelFormat::pf8bit},   {64, 48, 50, 40, TPixelFormat::pf8bit},
        {33, 21, 71, 45, TPixelFormat::pf16bit},  {33, 21, 20, 13, TPixelFormat::pf16bit},
        {1, 9, 3, 20, TPixelFormat::pf24bit},     {9, 1, 20, 3, TPixelFormat::pf8bit},
    };
    std::uint64_t Hash = 14695981039346656037ull;
    for (float Gamma : {1.0f, 2.2f, 0.8f})
        for (const TCase& Case : Cases) {
            if (Gamma != 1.0f && Case.Format == TPixelFormat::pf16bit) continue;
            auto Source = Pattern(Case.W, Case.H, Case.Format, std::uint32_t(Case.NewW));
            TLinearBitmap Dest;
            ResizeBitmap(*Source, Dest, Case.NewW, Case.NewH, Gamma);
            Hash = Fnv1a(Hash, Dest);
        }
    auto Tables = std::make_unique<TGammaTables>();
    for (float Gamma : {2.2f, 0.8f, 2.0f}) {
        BuildGammaTables(*Tables, Gamma);
        for (const std::uint8_t Value : Tables->FromLinear) Hash = (Hash ^ Value) * 1099511628211ull;
    }
    auto Pairs = std::make_unique<TPairMix>();
    BuildPairMix(*Pairs, 2.2f);
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) Hash = (Hash ^ Pairs->Mix[i][j]) * 1099511628211ull;
    EXPECT_EQ(Hash, 4211821589712193380ull);
}

} // namespace
} // namespace fi
