#include <gtest/gtest.h>

#include <vector>

#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/SetupTable.h"

namespace fi {
namespace {

using TPoints = std::vector<TPoint>;

TPoints Points(const TPointArray& A) { return TPoints(A.begin(), A.end()); }

const TPoints Diagonal1{{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
const TPoints Axial1Vertical{{0, -1}, {0, 1}, {-1, 0}, {1, 0}};
const TPoints Axial1Horizontal{{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
const TPoints Diagonal2{{-2, -2}, {2, -2}, {-2, 2}, {2, 2}};
const TPoints Axial2{{0, -2}, {0, 2}, {-2, 0}, {2, 0}};
const TPoints Corner4{{0, 0}, {1, 0}, {0, 1}, {1, 1}};
const TPoints Star5{{0, -1}, {-1, 0}, {0, 0}, {1, 0}, {0, 1}};

TPoints Square(int R) {
    TPoints P;
    for (int Y = -R; Y <= R; ++Y)
        for (int X = -R; X <= R; ++X) P.push_back({X, Y});
    return P;
}

struct TParameters {
    int Scale, Region;
    double Lambda;
    bool ClampW, NormW, ClampR;
    float Strength;
    std::size_t Relations;
};

void ExpectParameters(const TBitmapWienerInterpolation& I, const TParameters& P) {
    EXPECT_EQ(I.ScaleFactor, P.Scale);
    EXPECT_EQ(I.TrainingRegion, P.Region);
    EXPECT_EQ(I.Lambda, P.Lambda);
    EXPECT_EQ(I.ClampWeights, P.ClampW);
    EXPECT_EQ(I.NormalizeWeights, P.NormW);
    EXPECT_EQ(I.ClampResult, P.ClampR);
    EXPECT_EQ(I.FilterStrength, P.Strength);
    ASSERT_EQ(I.Relations.size(), P.Relations);
}

void ExpectPositions(const TBitmapWienerInterpolation& I, const TPoints& Positions) {
    ASSERT_EQ(I.Relations.size(), Positions.size());
    for (std::size_t i = 0; i < Positions.size(); ++i) {
        EXPECT_EQ(I.Relations[i]->X, Positions[i].X) << "relation " << i;
        EXPECT_EQ(I.Relations[i]->Y, Positions[i].Y) << "relation " << i;
    }
}

// Every relation of every setup has as many training columns as weights.
void ExpectCountInvariant(const TBitmapWienerInterpolation& I) {
    for (const auto& R : I.Relations)
        EXPECT_EQ(R->HighResTrainingOffsets.Length() + R->LowResTrainingOffsets.Length(), R->WeightCount())
            << "relation at " << R->X << "," << R->Y;
}

TEST(WienerSetups, XinLi2x) {
    TBitmapWienerInterpolation I;
    I.SetupXinLi2x();
    ExpectParameters(I, {2, 4, 1e-7, true, true, false, 0.0f, 3});
    ExpectPositions(I, {{1, 1}, {1, 0}, {0, 1}});
    const auto& R = I.Relations;
    EXPECT_EQ(Points(R[0]->HighResOffsets), Diagonal1);
    EXPECT_TRUE(R[0]->HighResTrainingOffsets.SameArray(R[0]->HighResOffsets));
    EXPECT_EQ(Points(R[1]->HighResOffsets), Axial1Vertical);
    EXPECT_TRUE(R[1]->HighResTrainingOffsets.SameArray(R[1]->HighResOffsets));
    EXPECT_TRUE(R[2]->HighResOffsets.SameArray(R[1]->HighResOffsets));
    EXPECT_TRUE(R[2]->HighResTrainingOffsets.SameArray(R[1]->HighResOffsets));
    for (const auto& Relation : R) {
        EXPECT_TRUE(Relation->LowResOffsets.Empty());
        EXPECT_TRUE(Relation->LowResTrainingOffsets.Empty());
    }
    ExpectCountInvariant(I);
}

TEST(WienerSetups, XinLi4x) {
    TBitmapWienerInterpolation I;
    I.SetupXinLi4x();
    ExpectParameters(I, {4, 6, 1e-7, true, true, false, 0.0f, 15});
    ExpectPositions(I, {{2, 2}, {2, 0}, {0, 2}, {1, 1}, {3, 1}, {1, 3}, {3, 3}, {1, 0}, {3, 0}, {0, 1}, {2, 1},
                        {1, 2}, {3, 2}, {0, 3}, {2, 3}});
    const auto& R = I.Relations;
    EXPECT_TRUE(R[0]->HighResOffsets.Empty());
    EXPECT_EQ(Points(R[0]->LowResOffsets), Corner4);
    EXPECT_EQ(Points(R[0]->HighResTrainingOffsets), Diagonal2);
    EXPECT_TRUE(R[0]->LowResTrainingOffsets.Empty());

    EXPECT_EQ(Points(R[1]->HighResOffsets), Axial2);
    EXPECT_EQ(Points(R[1]->HighResTrainingOffsets), Axial2);
    EXPECT_FALSE(R[1]->HighResTrainingOffsets.SameArray(R[1]->HighResOffsets));
    EXPECT_TRUE(R[2]->HighResOffsets.SameArray(R[1]->HighResOffsets));
    EXPECT_TRUE(R[2]->HighResTrainingOffsets.SameArray(R[1]->HighResTrainingOffsets));

    EXPECT_EQ(Points(R[3]->HighResOffsets), Diagonal1);
    for (std::size_t i = 3; i < 7; ++i) {
        EXPECT_TRUE(R[i]->HighResOffsets.SameArray(R[3]->HighResOffsets)) << i;
        EXPECT_TRUE(R[i]->HighResTrainingOffsets.SameArray(R[3]->HighResOffsets)) << i;
    }
    EXPECT_EQ(Points(R[7]->HighResOffsets), Axial1Horizontal);
    for (std::size_t i = 7; i < 15; ++i) {
        EXPECT_TRUE(R[i]->HighResOffsets.SameArray(R[7]->HighResOffsets)) << i;
        EXPECT_TRUE(R[i]->HighResTrainingOffsets.SameArray(R[7]->HighResOffsets)) << i;
        EXPECT_TRUE(R[i]->LowResOffsets.Empty()) << i;
    }
    ExpectCountInvariant(I);
}

TEST(WienerSetups, FractalStarAndSquareAtEveryPosition) {
    TBitmapWienerInterpolation I;
    I.SetupFractalStar(3);
    ExpectParameters(I, {3, 7, 1e-4, false, false, true, 4.0f, 9});
    ExpectPositions(I, {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {2, 2}});
    for (const auto& R : I.Relations) {
        EXPECT_EQ(Points(R->LowResOffsets), Star5);
        EXPECT_TRUE(R->LowResTrainingOffsets.SameArray(R->LowResOffsets));
        EXPECT_TRUE(R->HighResOffsets.Empty());
        EXPECT_TRUE(R->HighResTrainingOffsets.Empty());
    }
    // A separate array per relation.
    EXPECT_FALSE(I.Relations[0]->LowResOffsets.SameArray(I.Relations[1]->LowResOffsets));
    ExpectCountInvariant(I);

    I.SetupFractalSquare(3, 2);
    ExpectParameters(I, {3, 7, 0.01, false, false, false, 8.0f, 9});
    EXPECT_EQ(I.Relations[5]->X, 2);
    EXPECT_EQ(I.Relations[5]->Y, 1);
    for (const auto& R : I.Relations) {
        ASSERT_EQ(R->LowResOffsets.Length(), 25);
        EXPECT_EQ(R->LowResOffsets[0], (TPoint{-2, -2}));
        EXPECT_EQ(R->LowResOffsets[24], (TPoint{2, 2}));
        EXPECT_EQ(Points(R->LowResOffsets), Square(2));
        EXPECT_TRUE(R->LowResTrainingOffsets.SameArray(R->LowResOffsets));
    }
    ExpectCountInvariant(I);

    I.SetupFractalSquare(5, 1);
    ExpectParameters(I, {5, 7, 0.01, false, false, false, 8.0f, 25});
    EXPECT_EQ(I.Relations[5 * 3 + 4]->X, 4);
    EXPECT_EQ(I.Relations[5 * 3 + 4]->Y, 3);
    EXPECT_EQ(Points(I.Relations[24]->LowResOffsets), Square(1));
}

void ExpectCombined(const TBitmapWienerInterpolation& I, const TPoints& LowRes) {
    ExpectPositions(I, {{0, 0}, {1, 1}, {1, 0}, {0, 1}});
    const auto& R = I.Relations;
    for (const auto& Relation : R) {
        EXPECT_EQ(Points(Relation->LowResOffsets), LowRes);
        EXPECT_TRUE(Relation->LowResTrainingOffsets.SameArray(Relation->LowResOffsets));
        EXPECT_TRUE(Relation->HighResTrainingOffsets.SameArray(Relation->HighResOffsets));
    }
    EXPECT_TRUE(R[0]->HighResOffsets.Empty());
    EXPECT_EQ(Points(R[1]->HighResOffsets), Diagonal1);
    EXPECT_EQ(Points(R[2]->HighResOffsets), Axial1Vertical);
    EXPECT_EQ(Points(R[3]->HighResOffsets), Axial1Vertical);
    // The last relation has arrays of its own with the same points.
    EXPECT_FALSE(R[3]->HighResOffsets.SameArray(R[2]->HighResOffsets));
    EXPECT_FALSE(R[3]->LowResOffsets.SameArray(R[2]->LowResOffsets));
    ExpectCountInvariant(I);
}

TEST(WienerSetups, CombinedFractalAndXinLi) {
    TBitmapWienerInterpolation I;
    I.SetupFractalStarXinLi();
    ExpectParameters(I, {2, 5, 1e-5, false, false, true, 4.0f, 4});
    ExpectCombined(I, Star5);
    I.SetupFractalSquareXinLi(1);
    ExpectParameters(I, {2, 7, 1e-5, false, false, true, 4.0f, 4});
    ExpectCombined(I, Square(1));
    I.SetupFractalSquareXinLi(2);
    ExpectCombined(I, Square(2));
}

TEST(WienerSetups, RelationsAreReplacedNotAppended) {
    TBitmapWienerInterpolation I;
    I.SetupFractalSquare(4, 1);
    ASSERT_EQ(I.Relations.size(), 16u);
    // An array of the first set stays valid on its own after the rebuild.
    const TPointArray Kept = I.Relations[3]->LowResOffsets;
    I.SetupXinLi2x();
    EXPECT_EQ(I.Relations.size(), 3u);
    EXPECT_EQ(Points(Kept), Square(1));

    I.SetRelationCount(5);
    ASSERT_EQ(I.Relations.size(), 5u);
    for (const auto& R : I.Relations) {
        EXPECT_EQ(R->X, 0);
        EXPECT_EQ(R->Y, 0);
        EXPECT_EQ(R->WeightCount(), 0);
        EXPECT_TRUE(R->HighResTrainingOffsets.Empty());
        EXPECT_TRUE(R->LowResTrainingOffsets.Empty());
    }
    I.ClearRelations();
    EXPECT_TRUE(I.Relations.empty());
}

// The table's facts of each setup are what its setup function builds: the
// filter sizes the fast engine is compiled for, a scale that is fixed where
// the table says so, and the fractal process's neighbourhood.
TEST(SetupTable, RowsDescribeWhatTheSetupsBuild) {
    for (const TSetup& Row : Setups) {
        SCOPED_TRACE(Row.Name);
        std::vector<std::int32_t> Scales;
        for (std::int32_t Scale = 2; Scale <= 16; ++Scale) {
            TBitmapWienerInterpolation I;
            ASSERT_TRUE(ApplySetup(I, SetupIndex(Row.Id), Scale));
            Scales.push_back(I.ScaleFactor);
            for (const auto& R : I.Relations) {
                const std::int32_t n = R->WeightCount();
                EXPECT_TRUE(n == Row.WeightCounts[0] || n == Row.WeightCounts[1]) << n;
            }
            if (Row.FractalRadius > 0) {
                EXPECT_EQ(Points(I.Relations[0]->LowResOffsets), Square(Row.FractalRadius));
            }
        }
        EXPECT_EQ(Row.TakesScale, Scales.front() != Scales.back());
    }
    EXPECT_STREQ(SetupNames[DefaultSetup], "Fractal 9-square");
}

} // namespace
} // namespace fi
