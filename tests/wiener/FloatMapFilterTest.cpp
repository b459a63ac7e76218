#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "numerics/Matrix.h"
#include "wiener/FloatMapFilter.h"
#include "wiener/WienerTestSupport.h"

namespace fi {
namespace {

using test::FillRandom;
using test::SameBits;
using test::TProcessorCountOverride;
using test::TProgressRecorder;

int MirrorIndex(int i, int N) { return i < 0 ? -i : (i >= N ? 2 * N - 1 - i : i); }

// The correlation written pixel by pixel with mirrored indices everywhere,
// with no split into interior and border regions.
void ReferenceConvolve(TFloatMap& Dest, const TMatrix& K, const TFloatMap& Src) {
    Dest.SetSize(Src.Width, Src.Height);
    const int ky = K.Rows() / 2;
    const int kx = K.Cols() / 2;
    for (int y = 0; y < Src.Height; ++y)
        for (int x = 0; x < Src.Width; ++x) {
            double Sum = 0.0;
            for (int r = 0; r < K.Rows(); ++r)
                for (int k = 0; k < K.Cols(); ++k)
                    Sum += K.Item(r + 1, k + 1) *
                           *Src.PixelPtr(MirrorIndex(x - kx + k, Src.Width), MirrorIndex(y - ky + r, Src.Height));
            *Dest.PixelPtr(x, y) = Sum;
        }
}

TMatrix RandomKernel(int Rows, int Cols, std::uint64_t Seed) {
    TMatrix K(Rows, Cols);
    test::TSeededRandom Random(Seed);
    for (int i = 0; i < K.Count; ++i) K.Map[i] = (Random.Below(2001) - 1000) / 256.0;
    return K;
}

TEST(FloatMapFilter, ConvolveMapMatchesThePlainMirroredSumOnAnyThreadCount) {
    TFloatMap Src;
    FillRandom(Src, 9, 23, 4);
    const std::pair<int, int> Kernels[] = {{3, 3}, {3, 1}, {1, 3}, {5, 3}, {3, 5}, {1, 1}};
    for (const auto& [Rows, Cols] : Kernels) {
        const TMatrix K = RandomKernel(Rows, Cols, std::uint64_t(Rows * 10 + Cols));
        TFloatMap Expected;
        ReferenceConvolve(Expected, K, Src);
        for (int Processors : {1, 2, 5}) {
            TProcessorCountOverride Override(Processors);
            TFloatMap Dest(Src.Width, Src.Height);
            Dest.Fill(-999.0);
            ConvolveMap(Dest, K, Src.Map);
            EXPECT_TRUE(SameBits(Dest, Expected)) << Rows << "x" << Cols << " kernel, " << Processors << " processors";
        }
    }
}

// Index -1 mirrors to 1 (the edge is not repeated); index W to W - 1 (it is).
TEST(FloatMapFilter, EdgesMirrorWithoutRepetitionBelowAndWithRepetitionAbove) {
    TFloatMap Src(4, 3);
    for (int i = 0; i < 12; ++i) Src.Map[i] = double(1 << i);
    TMatrix Row(1, 3);
    Row.Map[0] = 1.0;
    Row.Map[1] = 10.0;
    Row.Map[2] = 100.0;
    TFloatMap Dest(4, 3);
    ConvolveMap(Dest, Row, Src.Map);
    for (int y = 0; y < 3; ++y) {
        const double* s = Src.RowPtr(y);
        EXPECT_EQ(*Dest.PixelPtr(0, y), s[1] + 10 * s[0] + 100 * s[1]);
        EXPECT_EQ(*Dest.PixelPtr(3, y), s[2] + 10 * s[3] + 100 * s[3]);
    }
    TMatrix Column(3, 1);
    Column.Map[0] = 1.0;
    Column.Map[1] = 10.0;
    Column.Map[2] = 100.0;
    ConvolveMap(Dest, Column, Src.Map);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(*Dest.PixelPtr(x, 0), *Src.PixelPtr(x, 1) + 10 * *Src.PixelPtr(x, 0) + 100 * *Src.PixelPtr(x, 1));
        EXPECT_EQ(*Dest.PixelPtr(x, 2), *Src.PixelPtr(x, 1) + 10 * *Src.PixelPtr(x, 2) + 100 * *Src.PixelPtr(x, 2));
    }
}

// The blend written out pixel by pixel from two plain correlations.
void ReferenceBlend(TFloatMap& Out, const TFloatMap& Old, const TMatrix& K, const TMatrix& Curvature,
                    double Strength) {
    TFloatMap Filtered, Curving;
    ReferenceConvolve(Filtered, K, Old);
    ReferenceConvolve(Curving, Curvature, Old);
    Out.SetSize(Old.Width, Old.Height);
    for (int i = 0; i < Old.Count; ++i) {
        double W = std::fabs(Curving.Map[i]) * Strength;
        if (W > 1.0)
            W = 1.0;
        else if (W < 0.0)
            W = 0.0;
        Out.Map[i] = (1.0 - W) * Old.Map[i] + W * Filtered.Map[i];
    }
}

// Bit for bit, except that any NaN matches any NaN: which of two NaNs an
// addition returns follows the operand order the compiler chose, and the
// plain sums here are compiled apart from the filter.
bool SameValues(const TFloatMap& A, const TFloatMap& B) {
    if (A.Width != B.Width || A.Height != B.Height) return false;
    for (int i = 0; i < A.Count; ++i)
        if (!(std::isnan(A.Map[i]) && std::isnan(B.Map[i])) && std::memcmp(&A.Map[i], &B.Map[i], 8) != 0)
            return false;
    return true;
}

// Values from a flat area to steep steps, with the specials a float image may hold.
void MixedMap(TFloatMap& Map, int W, int H, std::uint64_t Seed) {
    FillRandom(Map, W, H, Seed);
    for (int i = 0; i < Map.Count; i += 7) Map.Map[i] = 0.0;
    Map.Map[5] = std::nan("");
    Map.Map[Map.Count / 2] = HUGE_VAL;
    Map.Map[Map.Count - 3] = -1e300;
}

TEST(FloatMapFilter, BlendByCurvatureIsThePlainBlendOnAnyThreadCount) {
    TFloatMap Original;
    MixedMap(Original, 9, 23, 12);
    const std::pair<int, int> Kernels[] = {{3, 3}, {3, 1}, {1, 3}, {5, 3}};
    for (const auto& [Rows, Cols] : Kernels) {
        const TMatrix K = RandomKernel(Rows, Cols, std::uint64_t(Rows * 10 + Cols));
        const TMatrix Curvature = RandomKernel(Rows, Cols, std::uint64_t(Rows * 100 + Cols));
        for (double Strength : {1.0 / 64.0, 0.3, 50.0}) {
            TFloatMap Expected, Twice;
            ReferenceBlend(Expected, Original, K, Curvature, Strength);
            ReferenceBlend(Twice, Expected, K, Curvature, Strength);
            for (int Processors : {1, 2, 5}) {
                TProcessorCountOverride Override(Processors);
                TFloatMap Map(&Original);
                // A spare of another size is resized; one of the same size is reused.
                TFloatMap Spare(4, 4);
                BlendByCurvature(Map, K, Curvature, Strength, Spare);
                EXPECT_TRUE(SameValues(Map, Expected)) << Rows << "x" << Cols << " kernels, strength " << Strength;
                EXPECT_TRUE(SameBits(Spare, Original));
                BlendByCurvature(Map, K, Curvature, Strength, Spare);
                EXPECT_TRUE(SameValues(Map, Twice));
            }
        }
    }
}

// Columns, then rows, each with the curvature [1 -2 1] / 4 and the mean of three.
TEST(FloatMapFilter, ArtefactFilterIsTwoPlainBlends) {
    auto Kernel = [](int Rows, int Cols, double Edge, double Centre) {
        TMatrix K(Rows, Cols);
        K.Map[0] = K.Map[2] = Edge;
        K.Map[1] = Centre;
        return K;
    };
    const TMatrix Curvature = Kernel(3, 1, 0.25, -0.5), RowCurvature = Kernel(1, 3, 0.25, -0.5);
    const TMatrix Mean = Kernel(3, 1, 1.0 / 3.0, 1.0 / 3.0), RowMean = Kernel(1, 3, 1.0 / 3.0, 1.0 / 3.0);
    TFloatMap Original;
    MixedMap(Original, 31, 17, 3);
    for (float Strength : {0.001f, 0.02f, 3.0f}) {
        TFloatMap Columns, Expected;
        ReferenceBlend(Columns, Original, Mean, Curvature, double(Strength));
        ReferenceBlend(Expected, Columns, RowMean, RowCurvature, double(Strength));
        for (int Processors : {1, 2, 7}) {
            TProcessorCountOverride Override(Processors);
            TFloatMap Map(&Original);
            ArtefactFilter(Map, Strength);
            EXPECT_TRUE(SameValues(Map, Expected)) << Strength << ", " << Processors << " processors";
        }
    }
}

// A spike of height h on a flat line gets weight min(1, 0.5 h Strength), so
// with Strength >= 2 / h it becomes h / 3; its neighbours get weight
// min(1, 0.25 h Strength). Lines along the other direction are flat, so the
// first pass changes nothing.
TEST(FloatMapFilter, ArtefactFilterSmoothsASpike) {
    const double h = 48.0;
    for (float Strength : {1.0f / 96.0f, 1.0f / 24.0f, 1.0f / 8.0f}) {
        TFloatMap Map(9, 4);
        Map.Fill(0.0);
        for (int y = 0; y < 4; ++y) *Map.PixelPtr(4, y) = h;
        ArtefactFilter(Map, Strength);
        const double Third = 1.0 / 3.0;
        const double Mean = Third * 0.0 + Third * h + Third * 0.0;
        const double Ws = std::min(1.0, 0.5 * h * double(Strength));
        const double Wn = std::min(1.0, 0.25 * h * double(Strength));
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(*Map.PixelPtr(4, y), (1.0 - Ws) * h + Ws * Mean) << Strength;
            if (Ws == 1.0) {
                EXPECT_EQ(*Map.PixelPtr(4, y), Mean);
            }
            EXPECT_EQ(*Map.PixelPtr(3, y), Wn * (Third * 0.0 + Third * 0.0 + Third * h));
            EXPECT_EQ(*Map.PixelPtr(5, y), Wn * (Third * h + Third * 0.0 + Third * 0.0));
            EXPECT_EQ(*Map.PixelPtr(1, y), 0.0);
        }
    }
}

// Along the filtered direction a linear line keeps every pixel but the two
// ends: the first sees a second difference of 0.5 slope through the mirror
// without repetition, the last one of -0.25 slope through the repeated edge.
TEST(FloatMapFilter, ArtefactFilterLeavesLinearLinesExceptTheirEnds) {
    const double Slope = 6.0;
    const float Strength = 1.0f / 64.0f;
    for (bool Horizontal : {true, false}) {
        const int W = Horizontal ? 7 : 3;
        const int H = Horizontal ? 3 : 7;
        TFloatMap Map(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) *Map.PixelPtr(x, y) = Slope * (Horizontal ? x : y) + 5.0;
        TFloatMap Original(&Map);
        ArtefactFilter(Map, Strength);
        const int N = Horizontal ? W : H;
        auto At = [&](const TFloatMap& M, int i, int Line) {
            return Horizontal ? *M.PixelPtr(i, Line) : *M.PixelPtr(Line, i);
        };
        for (int Line = 0; Line < (Horizontal ? H : W); ++Line) {
            for (int i = 1; i < N - 1; ++i) EXPECT_EQ(At(Map, i, Line), At(Original, i, Line));
            const double Third = 1.0 / 3.0;
            const double v0 = At(Original, 0, Line), v1 = At(Original, 1, Line);
            const double w0 = 0.5 * Slope * double(Strength);
            EXPECT_EQ(At(Map, 0, Line), (1.0 - w0) * v0 + w0 * (Third * v1 + Third * v0 + Third * v1));
            const double vl = At(Original, N - 1, Line), vp = At(Original, N - 2, Line);
            const double wl = 0.25 * Slope * double(Strength);
            EXPECT_EQ(At(Map, N - 1, Line), (1.0 - wl) * vl + wl * (Third * vp + Third * vl + Third * vl));
        }
    }
}

TEST(FloatMapFilter, ArtefactFilterProgressAndDegenerateInput) {
    TFloatMap Map;
    FillRandom(Map, 6, 5, 77);
    const TFloatMap Original(&Map);
    {
        TProgressRecorder Progress;
        ArtefactFilter(Map, 0.0f);
        ArtefactFilter(Map, -1.0f);
        EXPECT_TRUE(SameBits(Map, Original));
        EXPECT_TRUE(Progress.Values.empty());
        ArtefactFilter(Map, 0.01f);
        EXPECT_EQ(Progress.Values, (std::vector<int>{99, 100}));
        EXPECT_FALSE(SameBits(Map, Original));
    }
    // Lines of one pixel have no curvature; empty maps have nothing to read.
    const std::pair<int, int> Sizes[] = {{0, 0}, {0, 4}, {3, 0}, {1, 1}, {1, 6}, {6, 1}};
    for (const auto& [W, H] : Sizes) {
        TFloatMap Small;
        FillRandom(Small, W, H, 5);
        TFloatMap Copy(&Small);
        ArtefactFilter(Small, 0.5f);
        ASSERT_EQ(Small.Width, W);
        ASSERT_EQ(Small.Height, H);
        if (W == 1 && H == 1) {
            EXPECT_TRUE(SameBits(Small, Copy));
        }
        for (int i = 0; i < Small.Count; ++i) EXPECT_TRUE(std::isfinite(Small.Map[i]));
    }
}

} // namespace
} // namespace fi
