// The settings model: choosing a setup or a new scale loads the setup's
// defaults, fixed scales hold, refused values change nothing, the best
// quality keeps its parameters across scales, and confirming writes the
// fine-tuning but never the scale.
#include "settings/EnlargeSettings.h"

#include <gtest/gtest.h>

#include <limits>

namespace fi::test {
namespace {

// The settings setup Index leaves in a fresh interpolator at Scale.
TInterpolatorSettings SetupDefaults(std::int32_t Index, std::int32_t Scale) {
    TBitmapWienerInterpolation I;
    EXPECT_TRUE(ApplySetup(I, Index, Scale));
    return ReadSettings(I);
}

void ExpectFields(const TEnlargeSettings& S, const TInterpolatorSettings& D) {
    EXPECT_EQ(S.Scale(), D.ScaleFactor);
    EXPECT_EQ(S.TrainingRegion(), D.TrainingRegion);
    EXPECT_EQ(S.Regularization(), D.Lambda);
    EXPECT_EQ(S.FilterStrength(), D.FilterStrength);
    EXPECT_EQ(S.ClampWeights(), D.ClampWeights);
    EXPECT_EQ(S.NormalizeWeights(), D.NormalizeWeights);
    EXPECT_EQ(S.ClampResult(), D.ClampResult);
}

TEST(EnlargeSettings, SetupsAndNewScalesLoadTheirDefaults) {
    TEnlargeSettings S;
    EXPECT_EQ(S.Setup(), DefaultSetup);
    ExpectFields(S, SetupDefaults(DefaultSetup, 2));

    ASSERT_TRUE(S.SetTrainingRegion(9));
    ASSERT_TRUE(S.SetScale(2));
    EXPECT_EQ(S.TrainingRegion(), 9) << "the same scale changes nothing";
    ASSERT_TRUE(S.SetText(TNumericField::Scale, "1+1"));
    EXPECT_EQ(S.TrainingRegion(), 9);
    ASSERT_TRUE(S.SetText(TNumericField::Scale, "3"));
    ExpectFields(S, SetupDefaults(DefaultSetup, 3));

    // A fixed scale comes with its setup and refuses another.
    for (std::int32_t Index = 0; Index < SetupCount; ++Index) {
        ASSERT_TRUE(S.SelectSetup(Index, 3));
        EXPECT_EQ(S.TakesScale(), SetupHasScale(Index));
        ExpectFields(S, SetupDefaults(Index, 3));
        if (!S.TakesScale()) {
            EXPECT_FALSE(S.SetScale(S.Scale() + 1));
            EXPECT_FALSE(S.SetText(TNumericField::Scale, std::to_string(S.Scale())));
        }
    }
    EXPECT_FALSE(S.SelectSetup(SetupCount, 2));
    EXPECT_FALSE(S.SelectSetup(-1, 2));
    EXPECT_EQ(S.Setup(), SetupCount - 1);
}

TEST(EnlargeSettings, RefusedValuesChangeNothing) {
    TEnlargeSettings S;
    const long double NaN = std::numeric_limits<long double>::quiet_NaN();
    ASSERT_TRUE(S.SetScale(4));
    ASSERT_TRUE(S.SetTrainingRegion(5));
    ASSERT_TRUE(S.SetRegularization(0.25L));
    ASSERT_TRUE(S.SetFilterStrength(3.5L));
    EXPECT_FALSE(S.SetScale(17));
    EXPECT_FALSE(S.SetScale(1));
    EXPECT_FALSE(S.SetTrainingRegion(0));
    EXPECT_FALSE(S.SetTrainingRegion(101));
    EXPECT_FALSE(S.SetRegularization(NaN));
    EXPECT_FALSE(S.SetRegularization(1.5L));
    EXPECT_FALSE(S.SetFilterStrength(-0.5L));
    EXPECT_FALSE(S.SetFilterStrength(NaN));
    for (TNumericField Field : {TNumericField::Scale, TNumericField::TrainingRegion, TNumericField::Regularization,
                                TNumericField::FilterStrength})
        for (const char* Text : {"", "1000", "-1", "0/0", "nonsense("})
            EXPECT_FALSE(S.SetText(Field, Text)) << Text;
    EXPECT_EQ(S.Scale(), 4);
    EXPECT_EQ(S.TrainingRegion(), 5);
    EXPECT_EQ(S.Regularization(), 0.25L);
    EXPECT_EQ(S.FilterStrength(), 3.5L);

    EXPECT_TRUE(S.SetText(TNumericField::Regularization, "2^-10"));
    EXPECT_EQ(S.Regularization(), 1.0L / 1024);
    EXPECT_EQ(TEnlargeSettings::RangeText(TNumericField::FilterStrength), "a value from 0 to 100");
}

TEST(EnlargeSettings, ConfirmingWritesTheFineTuningButNotTheScale) {
    TEnlargeSettings S;
    ASSERT_TRUE(S.SetScale(3));
    ASSERT_TRUE(S.SetTrainingRegion(11));
    ASSERT_TRUE(S.SetRegularization(0.1L));
    ASSERT_TRUE(S.SetFilterStrength(0.1L));
    S.SetNormalizeWeights(true);
    EXPECT_NE(S.Interpolator().TrainingRegion, 11) << "only confirming writes the fields";
    const TBitmapWienerInterpolation& I = S.Confirmed();
    EXPECT_EQ(I.ScaleFactor, 3);
    EXPECT_EQ(I.TrainingRegion, 11);
    EXPECT_EQ(I.Lambda, 0.1);
    EXPECT_EQ(I.FilterStrength, 0.1f);
    EXPECT_TRUE(I.NormalizeWeights);
}

TEST(EnlargeSettings, BestQualityKeepsItsParametersUntilASetupOrSwitch) {
    const TBestQualitySettings Defaults;
    TEnlargeSettings S;
    ASSERT_TRUE(S.SelectSetup(1, 2));
    S.SetBest(true);
    EXPECT_TRUE(S.Best());
    EXPECT_EQ(S.Setup(), DefaultSetup);
    EXPECT_EQ(S.TrainingRegion(), 2 * Defaults.RegionRadius + 1);
    EXPECT_FALSE(S.ClampResult());
    const TBestQualitySettings B = S.BestSettings();
    EXPECT_EQ(B.RegionRadius, Defaults.RegionRadius);
    EXPECT_EQ(B.Lambda, Defaults.Lambda);
    EXPECT_EQ(B.FilterStrength, Defaults.FilterStrength);

    ASSERT_TRUE(S.SetTrainingRegion(8));
    ASSERT_TRUE(S.SetScale(3));
    EXPECT_TRUE(S.Best());
    EXPECT_EQ(S.Scale(), 3);
    EXPECT_EQ(S.BestSettings().RegionRadius, 4) << "an even size stands for the odd one below";

    S.SetClampWeights(false);
    EXPECT_FALSE(S.Best());
    S.SetBest(true);
    ASSERT_TRUE(S.SelectSetup(DefaultSetup, 3));
    EXPECT_FALSE(S.Best());
    ExpectFields(S, SetupDefaults(DefaultSetup, 3));
}

} // namespace
} // namespace fi::test
