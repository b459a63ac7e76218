// The parameter dialog on the headless layer: what it shows for each setup,
// when OK is possible, and what reaches the interpolator.
#include <gtest/gtest.h>

#include <string>

#include "support/FloatFormat.h"
#include "ui/WienerResizeParamForm.h"

namespace fi {
namespace {

void Retype(TEdit& Edit, const std::string& Text) {
    Edit.SelectAll();
    Edit.UserTypes(Text);
}

TInterpolatorSettings SetupDefaults(int Index, int Scale) {
    TBitmapWienerInterpolation I;
    EXPECT_TRUE(ApplySetup(I, Index, Scale));
    return ReadSettings(I);
}

// The controls show exactly the given settings.
void ExpectShows(TWienerResizeParamForm& F, const TInterpolatorSettings& S) {
    EXPECT_EQ(F.ScaleEdit->Value(), S.ScaleFactor);
    EXPECT_EQ(F.ScaleEdit->Text(), std::to_string(S.ScaleFactor));
    EXPECT_EQ(F.TrainingRegionEdit->Value(), S.TrainingRegion);
    EXPECT_EQ(F.LambdaEdit->Value(), static_cast<long double>(S.Lambda));
    EXPECT_EQ(F.LambdaEdit->Text(), FormatFloat("0.#####e+", S.Lambda, UserDecimalSeparator()));
    EXPECT_EQ(F.FilterEdit->Value(), static_cast<long double>(S.FilterStrength));
    EXPECT_EQ(F.ClampWeightsCheckBox->Checked(), S.ClampWeights);
    EXPECT_EQ(F.NormalizeWeightsCheckBox->Checked(), S.NormalizeWeights);
    EXPECT_EQ(F.ClampResultCheckBox->Checked(), S.ClampResult);
}

TEST(ParamForm, LayoutAndFirstDisplay) {
    TWienerResizeParamForm F;
    EXPECT_EQ(F.Caption(), "Wiener filter interpolation");
    EXPECT_EQ(F.ClientWidth(), 249);
    EXPECT_EQ(F.ClientHeight(), 259);
    EXPECT_EQ(F.Font.Name, "Tahoma");
    EXPECT_EQ(F.Font.Height, -11);

    // Tab order is the order of the windowed controls.
    std::vector<std::string> Order;
    for (const auto& C : F.Controls())
        if (IsWindowedControl(*C)) Order.push_back(C->Name);
    EXPECT_EQ(Order, (std::vector<std::string>{"OKButton", "CancelButton", "SetupComboBox", "ScaleEdit",
                                               "TrainingRegionEdit", "LambdaEdit", "FilterEdit",
                                               "ClampWeightsCheckBox", "NormalizeWeightsCheckBox",
                                               "ClampResultCheckBox"}));
    EXPECT_EQ(F.DefaultButton(), F.OKButton);
    EXPECT_EQ(F.TForm::CancelButton(), F.CancelButton);
    EXPECT_EQ(F.LambdaEdit->Left(), 172);
    EXPECT_EQ(F.LambdaEdit->Top(), 96);
    EXPECT_EQ(F.OKButton->Left(), 83);
    EXPECT_EQ(F.OKButton->Top(), 224);

    ASSERT_EQ(F.SetupComboBox->Items().size(), 7u);
    EXPECT_EQ(F.SetupComboBox->Items()[0], "Xin Li 2x");
    EXPECT_EQ(F.SetupComboBox->Items()[6], "Fractal 9 / Xin Li");
    EXPECT_EQ(F.SetupIndex(), 3);
    EXPECT_EQ(F.SetupComboBox->Items()[3], "Fractal 9-square");
    EXPECT_TRUE(F.ScaleEdit->Enabled());
    EXPECT_TRUE(F.OKButton->Enabled());
    ExpectShows(F, SetupDefaults(3, 2));
    const TInterpolatorSettings S = F.Settings();
    EXPECT_EQ(S.ScaleFactor, 2);

    EXPECT_EQ(F.ScaleEdit->Min(), 2);
    EXPECT_EQ(F.ScaleEdit->Max(), 16);
    EXPECT_EQ(F.TrainingRegionEdit->Max(), 100);
    EXPECT_EQ(F.LambdaEdit->Max(), 1);
    EXPECT_EQ(F.LambdaEdit->SpinIncrement(), -2);
    EXPECT_EQ(F.FilterEdit->FormatString(), "0.##");
}

TEST(ParamForm, FixedScaleSetupsDisableTheScaleEdit) {
    TWienerResizeParamForm F;
    for (int Index : {0, 1, 5, 6}) {
        F.SetupComboBox->UserSelects(Index);
        EXPECT_FALSE(F.ScaleEdit->Enabled()) << Index;
        ExpectShows(F, SetupDefaults(Index, 2));
    }
    F.SetupComboBox->UserSelects(1);
    EXPECT_EQ(F.ScaleEdit->Value(), 4);
    F.SetupComboBox->UserSelects(4);
    EXPECT_TRUE(F.ScaleEdit->Enabled());
    // The scale edit is limited to 16; Xin Li 4x left 4 in it.
    ExpectShows(F, SetupDefaults(4, 4));
}

TEST(ParamForm, ScaleChangeResetsTheOtherControls) {
    TWienerResizeParamForm F;
    F.SetupComboBox->UserSelects(2);
    Retype(*F.TrainingRegionEdit, "13");
    F.ClampResultCheckBox->Click();
    Retype(*F.ScaleEdit, "3");
    EXPECT_EQ(F.Settings().ScaleFactor, 3);
    ExpectShows(F, SetupDefaults(2, 3));
    F.ScaleEdit->UserPressesKey(vkUp);
    ExpectShows(F, SetupDefaults(2, 4));
    EXPECT_TRUE(F.OKButton->Enabled());

    // What the user types into the scale stays while it is typed: "1" on
    // the way to "12" pulls the value to 2 but keeps its text, and an
    // unaccepted scale disables OK.
    Retype(*F.ScaleEdit, "12");
    EXPECT_EQ(F.ScaleEdit->Text(), "12");
    EXPECT_EQ(F.ScaleEdit->SelStart(), 2);
    ExpectShows(F, SetupDefaults(2, 12));
    Retype(*F.ScaleEdit, "2.5");
    EXPECT_EQ(F.ScaleEdit->Text(), "2.5");
    EXPECT_FALSE(F.OKButton->Enabled());
    Retype(*F.ScaleEdit, "5");
    EXPECT_TRUE(F.OKButton->Enabled());
    EXPECT_EQ(F.Settings().ScaleFactor, 5);
}

TEST(ParamForm, OkFollowsTheValidityOfTheFourEdits) {
    TWienerResizeParamForm F;
    Retype(*F.LambdaEdit, "1e-3*");
    EXPECT_FALSE(F.OKButton->Enabled());
    Retype(*F.LambdaEdit, "1e-3");
    EXPECT_TRUE(F.OKButton->Enabled());
    Retype(*F.LambdaEdit, "2"); // above Max 1
    EXPECT_FALSE(F.OKButton->Enabled());
    EXPECT_EQ(F.LambdaEdit->Value(), 1);
    Retype(*F.FilterEdit, "x");
    Retype(*F.LambdaEdit, "0.5");
    EXPECT_FALSE(F.OKButton->Enabled()); // the filter edit is still bad
    Retype(*F.FilterEdit, "1");
    EXPECT_TRUE(F.OKButton->Enabled());
    Retype(*F.TrainingRegionEdit, "0");
    EXPECT_FALSE(F.OKButton->Enabled());
    F.TrainingRegionEdit->UserPressesKey(vkUp);
    EXPECT_TRUE(F.OKButton->Enabled());
}

TEST(ParamForm, OkNeverTrustsARedFieldAndFollowsSetupChanges) {
    TWienerResizeParamForm F;
    // A scale beyond the range shows red while the clamped value stays 16.
    Retype(*F.ScaleEdit, "16");
    EXPECT_TRUE(F.OKButton->Enabled());
    Retype(*F.ScaleEdit, "160");
    EXPECT_FALSE(F.ScaleEdit->Valid());
    EXPECT_EQ(F.ScaleEdit->Value(), 16);
    EXPECT_FALSE(F.OKButton->Enabled());
    Retype(*F.ScaleEdit, "2");
    EXPECT_TRUE(F.OKButton->Enabled());

    // A setup change rewrites the fields: OK is possible again.
    Retype(*F.TrainingRegionEdit, "abc");
    EXPECT_FALSE(F.OKButton->Enabled());
    F.SetupComboBox->UserSelects(2);
    EXPECT_TRUE(F.TrainingRegionEdit->Valid());
    EXPECT_TRUE(F.OKButton->Enabled());

    // A fixed-scale setup shows its scale, valid, over what was typed, also
    // when that scale equals the last accepted one.
    Retype(*F.ScaleEdit, "abc");
    EXPECT_FALSE(F.OKButton->Enabled());
    F.SetupComboBox->UserSelects(0); // "Xin Li 2x"
    EXPECT_EQ(F.ScaleEdit->Text(), "2");
    EXPECT_TRUE(F.ScaleEdit->Valid());
    EXPECT_TRUE(F.OKButton->Enabled());
}

TEST(ParamForm, OkCopiesTheFineTuningButNotTheScale) {
    TWienerResizeParamForm F;
    const int SetupScale = F.Settings().ScaleFactor;
    QueueModalAction([&](TForm&) {
        Retype(*F.TrainingRegionEdit, "9");
        Retype(*F.LambdaEdit, "0,002");
        Retype(*F.FilterEdit, "1/3");
        F.ClampWeightsCheckBox->Click();
        F.OKButton->Click();
    });
    EXPECT_EQ(F.ShowModal(), mrOk);
    const TInterpolatorSettings S = F.Settings();
    EXPECT_EQ(S.TrainingRegion, 9);
    EXPECT_EQ(S.Lambda, double(0.002L));
    EXPECT_EQ(S.FilterStrength, float(1.0L / 3));
    EXPECT_TRUE(S.ClampWeights);
    EXPECT_EQ(S.ScaleFactor, SetupScale);
    EXPECT_EQ(F.FilterEdit->Text(), "1/3"); // the typed text is kept
}

TEST(ParamForm, CancelLeavesTheInterpolatorAndKeepsTheControls) {
    TWienerResizeParamForm F;
    const bool Before = F.Settings().NormalizeWeights;
    QueueModalAction([&](TForm&) {
        F.NormalizeWeightsCheckBox->Click();
        F.CancelButton->Click();
    });
    EXPECT_EQ(F.ShowModal(), mrCancel);
    EXPECT_EQ(F.Settings().NormalizeWeights, Before);
    EXPECT_NE(F.NormalizeWeightsCheckBox->Checked(), Before); // shown on the next run
}

TEST(ParamForm, NoSelectionIsNotImplemented) {
    TWienerResizeParamForm F;
    F.SetupComboBox->SetItemIndex(-1);
    try {
        F.SetupComboBoxChange(*F.SetupComboBox);
        FAIL();
    } catch (const Exception& E) {
        EXPECT_STREQ(E.what(), "Not implemented");
    }
    EXPECT_TRUE(F.ScaleEdit->Enabled());
}

TEST(ParamForm, DefinitionTypedInOneFieldServesAnother) {
    TWienerResizeParamForm F;
    Retype(*F.FilterEdit, ":dlgRegion=5; dlgRegion*2");
    EXPECT_EQ(F.FilterEdit->Value(), 10);
    Retype(*F.TrainingRegionEdit, "dlgRegion+2");
    EXPECT_EQ(F.TrainingRegionEdit->Value(), 7);
    EXPECT_TRUE(F.OKButton->Enabled());
}

TEST(ParamForm, ModuleInstanceIsMadeOnceAndKeepsItsState) {
    TWienerResizeParamForm& First = GetParamForm();
    EXPECT_EQ(ParamForm, &First);
    First.SetupComboBox->UserSelects(0);
    QueueModalAction([](TForm& Form) { static_cast<TWienerResizeParamForm&>(Form).OKButton->Click(); });
    EXPECT_TRUE(ExecuteParamForm());
    EXPECT_EQ(&GetParamForm(), &First);
    EXPECT_EQ(GetParamForm().SetupIndex(), 0);
    // Unattended, the dialog answers as Enter would: OK while it can be pressed.
    EXPECT_TRUE(ExecuteParamForm());
    Retype(*First.TrainingRegionEdit, "abc");
    EXPECT_FALSE(ExecuteParamForm());
    FreeParamForm();
    EXPECT_EQ(ParamForm, nullptr);
}

} // namespace
} // namespace fi
