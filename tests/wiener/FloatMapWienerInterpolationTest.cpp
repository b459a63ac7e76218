#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "numerics/LUDecomposition.h"
#include "numerics/Matrix.h"
#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/WienerTestSupport.h"

namespace fi {
namespace {

using test::FillRandom;
using test::SameBits;
using test::TProcessorCountOverride;
using test::TProgressRecorder;

// Runs the interpolator on Source and returns the enlargement.
void Enlarge(TBitmapWienerInterpolation& I, TFloatMap& Source, TFloatMap& Dest) { I.Interpolate(Source, Dest); }

// The seven setups of the dialog's list, fractal ones at the given scale.
const std::vector<std::pair<std::string, std::function<void(TBitmapWienerInterpolation&, int)>>> AllSetups{
    {"Xin Li 2x", [](TBitmapWienerInterpolation& I, int) { I.SetupXinLi2x(); }},
    {"Xin Li 4x", [](TBitmapWienerInterpolation& I, int) { I.SetupXinLi4x(); }},
    {"Fractal 5-star", [](TBitmapWienerInterpolation& I, int S) { I.SetupFractalStar(S); }},
    {"Fractal 9-square", [](TBitmapWienerInterpolation& I, int S) { I.SetupFractalSquare(S, 1); }},
    {"Fractal 25-square", [](TBitmapWienerInterpolation& I, int S) { I.SetupFractalSquare(S, 2); }},
    {"Fractal 5 / Xin Li", [](TBitmapWienerInterpolation& I, int) { I.SetupFractalStarXinLi(); }},
    {"Fractal 9 / Xin Li", [](TBitmapWienerInterpolation& I, int) { I.SetupFractalSquareXinLi(1); }},
};

TEST(WienerMapUtilities, BoxReduceAveragesPhaseShiftedBlocks) {
    TFloatMap Src(7, 5);
    for (int i = 0; i < Src.Count; ++i) Src.Map[i] = i * i % 17;
    TFloatMap Dst;
    BoxReduce(Src, 3, &Dst, 1, 2);
    ASSERT_EQ(Dst.Width, 1); // (7 - 2) div 3
    ASSERT_EQ(Dst.Height, 1); // (5 - 1) div 3
    double Sum = 0;
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) Sum += *Src.PixelPtr(2 + k, 1 + r);
    EXPECT_EQ(Dst.Map[0], Sum * (1.0 / 9.0));

    BoxReduce(Src, 2, &Dst, 0, 1);
    ASSERT_EQ(Dst.Width, 3);
    ASSERT_EQ(Dst.Height, 2);
    EXPECT_EQ(*Dst.PixelPtr(2, 1), (*Src.PixelPtr(5, 2) + *Src.PixelPtr(6, 2) + *Src.PixelPtr(5, 3) + *Src.PixelPtr(6, 3)) * 0.25);

    // In place, by null and by the source itself.
    TFloatMap Copy(&Src);
    BoxReduce(Copy, 2, nullptr, 0, 1);
    EXPECT_TRUE(SameBits(Copy, Dst));
    Copy.Assign(&Src);
    BoxReduce(Copy, 2, &Copy, 0, 1);
    EXPECT_TRUE(SameBits(Copy, Dst));

    // A phase beyond a short side gives an empty map, never a negative size.
    TFloatMap Thin(1, 3);
    Thin.Fill(1.0);
    BoxReduce(Thin, 3, &Dst, 0, 2);
    EXPECT_EQ(Dst.Width, 0);
    EXPECT_EQ(Dst.Count, 0);
}

TEST(WienerMapUtilities, ReplicateEnlargeAndClampedOffsets) {
    TFloatMap Src(2, 2);
    Src.Map[0] = 1;
    Src.Map[1] = 2;
    Src.Map[2] = 3;
    Src.Map[3] = 4;
    TFloatMap Dst(1, 1);
    ReplicateEnlarge(Src, Dst, 3);
    ASSERT_EQ(Dst.Width, 6);
    ASSERT_EQ(Dst.Height, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(*Dst.PixelPtr(x, y), Src.Map[(y / 3) * 2 + x / 3]) << x << "," << y;

    const TPointArray Offsets{{-5, 0}, {0, 0}, {1, 1}, {3, -2}};
    double Out[4];
    ReadOffsets(Src, 1, 0, Out, Offsets);
    EXPECT_EQ(Out[0], 1);
    EXPECT_EQ(Out[1], 2);
    EXPECT_EQ(Out[2], 4);
    EXPECT_EQ(Out[3], 2);
}

TEST(WienerInterpolate, ConstantSourceShortcut) {
    TBitmapWienerInterpolation I;
    I.SetupFractalSquare(3, 1);
    TFloatMap Source(5, 4);
    Source.Fill(7.5);
    TFloatMap Dest(2, 2);
    TProgressRecorder Progress;
    Enlarge(I, Source, Dest);
    ASSERT_EQ(Dest.Width, 15);
    ASSERT_EQ(Dest.Height, 12);
    for (int i = 0; i < Dest.Count; ++i) ASSERT_EQ(Dest.Map[i], 7.5);
    EXPECT_TRUE(Progress.Values.empty());

    // "Equal within" includes the tolerance itself: the absolute 1e-12 near
    // zero, the relative one for large values. The first element is used.
    Source.Fill(0.0);
    Source.Map[3] = 1e-12;
    Enlarge(I, Source, Dest);
    for (int i = 0; i < Dest.Count; ++i) ASSERT_EQ(Dest.Map[i], 0.0);
    EXPECT_TRUE(IsConstantRange(1e6, 1e6 + 1e-7));
    EXPECT_FALSE(IsConstantRange(0.0, 2e-12));
    EXPECT_FALSE(IsConstantRange(1e6, 1e6 + 1e-5));
    EXPECT_TRUE(Progress.Values.empty());

    Source.Map[3] = 2e-12;
    Enlarge(I, Source, Dest);
    EXPECT_FALSE(Progress.Values.empty());
}

// The phase maps exist only while a relation trains on them, with the
// reduced sizes, and are gone afterwards.
TEST(WienerInterpolate, PhaseMapsOnlyWhileNeeded) {
    static TBitmapWienerInterpolation* Running = nullptr;
    static int Present = 0;
    static int Missing = 0;
    TBitmapWienerInterpolation I;
    Running = &I;
    TFloatMap Source;
    FillRandom(Source, 7, 5, 11);
    TFloatMap Dest;
    TProgressRecorder Progress;
    Progress.Probe = [] {
        // The artefact filter reports its progress after the run.
        if (Running->CurrentRun() == nullptr) return;
        const auto& PhaseMaps = Running->CurrentRun()->PhaseMaps;
        for (const auto& Column : PhaseMaps)
            for (const auto& Phase : Column) (Phase ? Present : Missing)++;
        if (PhaseMaps.size() == 3 && PhaseMaps[2][1]) {
            EXPECT_EQ(PhaseMaps[2][1]->Width, 1);  // (7 - 2) div 3
            EXPECT_EQ(PhaseMaps[2][1]->Height, 1); // (5 - 1) div 3
            EXPECT_EQ(PhaseMaps[0][0]->Width, 2);
        }
    };
    I.SetupFractalStar(3);
    Enlarge(I, Source, Dest);
    EXPECT_GT(Present, 0);
    EXPECT_EQ(Missing, 0);
    EXPECT_EQ(I.CurrentRun(), nullptr);

    Present = Missing = 0;
    I.SetupXinLi2x();
    Enlarge(I, Source, Dest);
    EXPECT_EQ(Present, 0);
    EXPECT_GT(Missing, 0);
    EXPECT_EQ(I.CurrentRun(), nullptr);
}

TEST(WienerInterpolate, XinLiKeepsSourcePixelsAtBlockCorners) {
    TFloatMap Source;
    FillRandom(Source, 9, 7, 3);
    for (int Scale : {2, 4}) {
        TBitmapWienerInterpolation I;
        if (Scale == 2)
            I.SetupXinLi2x();
        else
            I.SetupXinLi4x();
        TFloatMap Dest;
        Enlarge(I, Source, Dest);
        ASSERT_EQ(Dest.Width, 9 * Scale);
        int Changed = 0;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x) {
                EXPECT_EQ(*Dest.PixelPtr(Scale * x, Scale * y), *Source.PixelPtr(x, y));
                Changed += *Dest.PixelPtr(Scale * x + 1, Scale * y) != *Source.PixelPtr(x, y);
            }
        // The other positions were predicted, not left replicated.
        EXPECT_GT(Changed, 30);
    }
}

TEST(WienerInterpolate, ClampResultKeepsEveryPredictionWithinItsInputs) {
    TFloatMap Source;
    FillRandom(Source, 11, 9, 5);
    TBitmapWienerInterpolation I;
    I.SetupFractalStar(3);
    I.FilterStrength = 0.0f;
    I.Lambda = 0.0; // unregularised: the least steady weights
    TFloatMap Dest;
    Enlarge(I, Source, Dest);
    int AtBound = 0;
    for (const auto& R : I.Relations)
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 11; ++x) {
                double In[5];
                ReadOffsets(Source, x, y, In, R->LowResOffsets);
                const double Lo = *std::min_element(In, In + 5);
                const double Hi = *std::max_element(In, In + 5);
                const double p = *Dest.PixelPtr(3 * x + R->X, 3 * y + R->Y);
                EXPECT_GE(p, Lo);
                EXPECT_LE(p, Hi);
                AtBound += p == Lo || p == Hi;
            }
    EXPECT_GT(AtBound, 0);
}

// Where the training set cannot be formed (every phase map of a 1-wide
// source is empty) or the solve is singular, every weight is 1/n and the
// prediction is the mean of the inputs, summed in input order.
TEST(WienerInterpolate, EqualWeightsFallbackGivesTheInputMean) {
    for (int Scale : {2, 3, 5}) {
        for (bool Wide : {false, true}) {
            TFloatMap Source;
            FillRandom(Source, Wide ? 6 : 1, Wide ? 1 : 6, 9 + Scale);
            TBitmapWienerInterpolation I;
            I.SetupFractalSquare(Scale, 1);
            I.FilterStrength = 0.0f;
            TFloatMap Dest;
            Enlarge(I, Source, Dest);
            ASSERT_EQ(Dest.Count, Source.Count * Scale * Scale);
            for (const auto& R : I.Relations)
                for (int y = 0; y < Source.Height; ++y)
                    for (int x = 0; x < Source.Width; ++x) {
                        double In[9];
                        ReadOffsets(Source, x, y, In, R->LowResOffsets);
                        double Mean = 0.0;
                        for (double v : In) Mean += v * (1.0 / 9.0);
                        ASSERT_EQ(*Dest.PixelPtr(Scale * x + R->X, Scale * y + R->Y), Mean);
                    }
        }
    }

    // A flat stripe with no regularisation: the normal matrix is singular.
    TFloatMap Source;
    FillRandom(Source, 16, 12, 21);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 10; ++x) *Source.PixelPtr(x, y) = 10.0;
    TBitmapWienerInterpolation I;
    I.SetupFractalSquare(2, 1);
    I.Lambda = 0.0;
    I.FilterStrength = 0.0f;
    TFloatMap Dest;
    Enlarge(I, Source, Dest);
    double Mean = 0.0;
    for (int k = 0; k < 9; ++k) Mean += 10.0 * (1.0 / 9.0);
    ASSERT_NE(Mean, 10.0); // so that a successful solve would be told apart
    for (int y = 0; y < 12; ++y)
        for (int s = 0; s < 4; ++s) EXPECT_EQ(*Dest.PixelPtr(2 + s % 2, 2 * y + s / 2), Mean) << y;
}

// The square fractal filter written out for one pixel at a time, straight
// from its definition: block means as parent samples, the training square
// (one more row and column after the pixel than before it for an even side),
// parent coordinates divided truncating toward zero, phases taken as
// (t + 256 S - position) mod S.
double ReferenceSquarePixel(const TFloatMap& Src, int S, int Radius, int b, double Lambda, int x, int y, int X, int Y) {
    auto Parent = [&](int p, int q, int px, int py) {
        const int W = (Src.Width - p) / S, H = (Src.Height - q) / S;
        px = std::clamp(px, 0, W - 1);
        py = std::clamp(py, 0, H - 1);
        double Sum = 0.0;
        for (int r = 0; r < S; ++r)
            for (int k = 0; k < S; ++k) Sum += *Src.PixelPtr(p + S * px + k, q + S * py + r);
        return Sum * (1.0 / (S * S));
    };
    const int c = 2 * Radius + 1;
    TMatrix A(b * b, c * c);
    TVector t(b * b), w(c * c), v(c * c);
    int j = 0;
    for (int ty = y + b / 2 - b + 1; ty <= y + b / 2; ++ty)
        for (int tx = x + b / 2 - b + 1; tx <= x + b / 2; ++tx, ++j) {
            const int p = (tx + 256 * S - X) % S, q = (ty + 256 * S - Y) % S;
            int m = 1;
            for (int oy = -Radius; oy <= Radius; ++oy)
                for (int ox = -Radius; ox <= Radius; ++ox) A.Item(j + 1, m++) = Parent(p, q, (tx - X) / S + ox, (ty - Y) / S + oy);
            t.Item(j + 1) = Src.GetClamped(tx, ty);
        }
    for (int oy = -Radius, m = 1; oy <= Radius; ++oy)
        for (int ox = -Radius; ox <= Radius; ++ox) v.Item(m++) = Src.GetClamped(x + ox, y + oy);
    SolveLeastSquares(A, t, w, Lambda);
    return v.Dot(w);
}

TEST(WienerInterpolate, SquareSetupMatchesItsDefinitionPixelByPixel) {
    TFloatMap Source;
    FillRandom(Source, 8, 7, 44);
    for (int Region : {4, 5}) {
        TBitmapWienerInterpolation I;
        I.SetupFractalSquare(3, 1);
        I.TrainingRegion = Region;
        I.FilterStrength = 0.0f;
        TFloatMap Dest;
        Enlarge(I, Source, Dest);
        double Lo, Hi;
        Source.GetMinMax(Lo, Hi);
        const double Lambda = (Hi - Lo) * 0.01;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 8; ++x)
                for (int Y = 0; Y < 3; ++Y)
                    for (int X = 0; X < 3; ++X)
                        ASSERT_EQ(*Dest.PixelPtr(3 * x + X, 3 * y + Y),
                                  ReferenceSquarePixel(Source, 3, 1, Region, Lambda, x, y, X, Y))
                            << "region " << Region << " at " << x << "," << y << " position " << X << "," << Y;
    }
}

// Every setup at several scales on sizes down to nothing: the result has the
// enlarged size and only finite values, and nothing is read outside a buffer.
TEST(WienerInterpolate, TinyAndEmptySourcesAtEveryScale) {
    const std::pair<int, int> Sizes[] = {{0, 0}, {0, 3}, {4, 0}, {1, 1}, {1, 5}, {6, 1}, {2, 5}, {3, 3}, {4, 4}, {5, 2}};
    for (const auto& [Name, Setup] : AllSetups)
        for (int Scale = 2; Scale <= 16; Scale += (Scale < 5 ? 1 : 11))
            for (const auto& [W, H] : Sizes) {
                TBitmapWienerInterpolation I;
                Setup(I, Scale);
                TFloatMap Source;
                FillRandom(Source, W, H, std::uint64_t(W * 31 + H));
                TFloatMap Dest;
                Enlarge(I, Source, Dest);
                ASSERT_EQ(Dest.Width, I.ScaleFactor * W) << Name << " " << W << "x" << H;
                ASSERT_EQ(Dest.Height, I.ScaleFactor * H) << Name << " " << W << "x" << H;
                for (int i = 0; i < Dest.Count; ++i)
                    ASSERT_TRUE(std::isfinite(Dest.Map[i])) << Name << " " << W << "x" << H << " at " << i;
            }
}

TEST(WienerInterpolate, ResultDoesNotDependOnTheThreadCount) {
    TFloatMap Source;
    FillRandom(Source, 9, 120, 17);
    for (int Setup : {0, 1, 2}) {
        TFloatMap Reference;
        for (int Processors : {1, 2, 7}) {
            TProcessorCountOverride Override(Processors);
            TBitmapWienerInterpolation I;
            if (Setup == 0) I.SetupFractalSquareXinLi(1);
            if (Setup == 1) I.SetupFractalStar(3);
            if (Setup == 2) I.SetupXinLi4x();
            I.FilterStrength = 4.0f;
            TFloatMap Dest;
            Enlarge(I, Source, Dest);
            if (Processors == 1)
                Reference.Assign(&Dest);
            else
                EXPECT_TRUE(SameBits(Dest, Reference)) << "setup " << Setup << ", " << Processors << " processors";
        }
    }
}

TEST(WienerInterpolate, ProgressRoundsTiesToEvenAndComesFromTheCallingThreadOnly) {
    TBitmapWienerInterpolation I;
    I.SetupFractalSquare(2, 1);
    TFloatMap Source;
    TFloatMap Dest;
    {
        TProcessorCountOverride Override(1);
        FillRandom(Source, 5, 3, 1);
        TProgressRecorder Progress;
        Enlarge(I, Source, Dest);
        // round(24.5 * (y / 2 + r)) for four relations of three rows, then the filter.
        EXPECT_EQ(Progress.Values, (std::vector<int>{0, 12, 24, 24, 37, 49, 49, 61, 74, 74, 86, 98, 99, 100}));
    }
    {
        FillRandom(Source, 5, 1, 2);
        TProgressRecorder Progress;
        Enlarge(I, Source, Dest);
        EXPECT_EQ(Progress.Values, (std::vector<int>{24, 49, 74, 98, 99, 100}));
    }
    {
        // Four items of 16 rows: only the calling thread's first item reports.
        TProcessorCountOverride Override(4);
        FillRandom(Source, 3, 64, 3);
        TProgressRecorder Progress;
        Enlarge(I, Source, Dest);
        ASSERT_EQ(Progress.Values.size(), 4u * 16 + 2);
        for (int r = 0; r < 4; ++r) {
            EXPECT_EQ(Progress.Values[16 * r], int(std::nearbyint(24.5 * r)));
            EXPECT_EQ(Progress.Values[16 * r + 15], int(std::nearbyint(24.5 * (r + 1))));
        }
    }
}

TEST(WienerInterpolate, CancelFromTheProgressHookLeavesCleanly) {
    TFloatMap Source;
    FillRandom(Source, 6, 64, 8);
    for (int AbortAt : {1, 20, 65, 66}) {
        TProcessorCountOverride Override(4);
        TBitmapWienerInterpolation I;
        I.SetupFractalSquare(2, 1);
        TFloatMap Dest;
        TProgressRecorder Progress(AbortAt);
        EXPECT_THROW(Enlarge(I, Source, Dest), EAbort) << AbortAt;
        EXPECT_EQ(int(Progress.Values.size()), AbortAt);
        EXPECT_EQ(I.CurrentRun(), nullptr);
        EXPECT_EQ(LiveWorkerCount.load(), 0);
    }
}

// The same fixed inputs give the same bits on every target: the constants
// were taken from the native build and checked under the win32 build.
TEST(WienerInterpolate, BitwiseIdenticalAcrossTargets) {
    TFloatMap Source;
    FillRandom(Source, 13, 11, 2024);
    for (int i = 0; i < 13; ++i) *Source.PixelPtr(i, 4) = 100.0; // a flat line among noise
    std::uint64_t Hash = 14695981039346656037ull;
    for (const auto& [Name, Setup] : AllSetups)
        for (int Scale : {2, 3}) {
            TBitmapWienerInterpolation I;
            Setup(I, Scale);
            if (I.ScaleFactor != Scale && Scale != 2) continue;
            TFloatMap Dest;
            Enlarge(I, Source, Dest);
            const std::uint64_t One = test::HashMap(Dest);
            std::printf("%-18s scale %d: %016llx\n", Name.c_str(), I.ScaleFactor, static_cast<unsigned long long>(One));
            Hash = test::HashMap(Dest, Hash);
        }
    std::printf("all setups: %016llx\n", static_cast<unsigned long long>(Hash));
    EXPECT_EQ(Hash, 0xda88878b056a349dull);
}

} // namespace
} // namespace fi
