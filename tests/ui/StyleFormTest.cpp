#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "ui/StyleForm.h"

namespace fi {
namespace {

struct TRegistryStub {
    std::map<TRegistryRoot, std::optional<bool>> Values;
    int Reads = 0;
    std::function<std::optional<bool>(TRegistryRoot)> Reader() {
        return [this](TRegistryRoot Root) {
            ++Reads;
            const auto Found = Values.find(Root);
            return Found == Values.end() ? std::nullopt : Found->second;
        };
    }
};

TEST(StyleFormEnabled, EachCondition) {
    TRegistryStub None;
    EXPECT_TRUE(EvaluateStyleFormEnabled(true, 16, 5, None.Reader()));
    EXPECT_EQ(None.Reads, 2); // current user, then local machine
    EXPECT_FALSE(EvaluateStyleFormEnabled(true, 8, 5, None.Reader()));
    EXPECT_FALSE(EvaluateStyleFormEnabled(true, 32, 6, None.Reader()));
    EXPECT_TRUE(EvaluateStyleFormEnabled(true, 32, 4, None.Reader()));

    TRegistryStub UserOff;
    UserOff.Values[TRegistryRoot::CurrentUser] = false;
    EXPECT_FALSE(EvaluateStyleFormEnabled(true, 32, 5, UserOff.Reader()));
    TRegistryStub MachineOff;
    MachineOff.Values[TRegistryRoot::CurrentUser] = true;
    MachineOff.Values[TRegistryRoot::LocalMachine] = false;
    EXPECT_FALSE(EvaluateStyleFormEnabled(true, 32, 5, MachineOff.Reader()));
    TRegistryStub BothOn;
    BothOn.Values[TRegistryRoot::CurrentUser] = true;
    BothOn.Values[TRegistryRoot::LocalMachine] = true;
    EXPECT_TRUE(EvaluateStyleFormEnabled(true, 32, 5, BothOn.Reader()));

    // Once off it stays off, and the registry is not consulted.
    TRegistryStub Untouched;
    EXPECT_FALSE(EvaluateStyleFormEnabled(false, 32, 5, Untouched.Reader()));
    EXPECT_FALSE(EvaluateStyleFormEnabled(true, 8, 5, Untouched.Reader()));
    EXPECT_EQ(Untouched.Reads, 0);
}

TEST(BorderGrowth, DialogSizeableAndToolBorders) {
    TBorderMetrics M;
    M.DialogFrameX = M.DialogFrameY = 3;
    EXPECT_EQ(BorderGrowth(TBorderStyle::bsDialog, M), (TPoint{0, 0}));
    M.DialogFrameX = M.DialogFrameY = 4;
    EXPECT_EQ(BorderGrowth(TBorderStyle::bsDialog, M), (TPoint{2, 2}));
    EXPECT_EQ(BorderGrowth(TBorderStyle::bsSingle, M), (TPoint{2, 2}));
    EXPECT_EQ(BorderGrowth(TBorderStyle::bsToolWindow, M), (TPoint{2, 2}));
    EXPECT_EQ(BorderGrowth(TBorderStyle::bsNone, M), (TPoint{0, 0}));

    M.SizingFrameX = 4;
    M.SizingFrameY = 5;
    M.CaptionHeight = 26;
    M.SmallCaptionHeight = 18;
    // dy = 1; caption excess 26 + 1 - 26 and 18 + 1 - 18.
    EXPECT_EQ(BorderGrowth(TBorderStyle::bsSizeable, M), (TPoint{0, 2}));
    EXPECT_EQ(BorderGrowth(TBorderStyle::bsSizeToolWin, M), (TPoint{0, 2}));
    M.CaptionHeight = 19;
    EXPECT_EQ(BorderGrowth(TBorderStyle::bsSizeable, M), (TPoint{0, -5}));
}

TEST(BorderCompensation, GrowsTheFormAndKeepsEveryControlInPlace) {
    TStyleForm Form;
    Form.BorderStyle = TBorderStyle::bsDialog;
    int Resizes = 0;
    Form.OnResize = [&](TForm&) { ++Resizes; };
    Form.SetBounds(10, 20, 300, 200);
    Resizes = 0;
    TButton& Corner = Form.Add<TButton>();
    Corner.Anchors = akRight | akBottom;
    Corner.SetBounds(200, 150, 75, 23);
    TLabel& Wide = Form.Add<TLabel>();
    Wide.Anchors = akLeft | akTop | akRight;
    Wide.SetBounds(8, 8, 280, 13);

    TBorderMetrics M;
    M.DialogFrameX = M.DialogFrameY = 4;
    Form.CompensateBorderMetrics(M);
    EXPECT_EQ(Form.Width(), 302);
    EXPECT_EQ(Form.Height(), 202);
    EXPECT_EQ(Resizes, 0); // the resize event was suspended
    EXPECT_EQ(Corner.Left(), 200);
    EXPECT_EQ(Corner.Top(), 150);
    EXPECT_EQ(Wide.Width(), 280);
    EXPECT_EQ(Corner.Anchors, akRight | akBottom);
    EXPECT_EQ(Wide.Anchors, akLeft | akTop | akRight);

    // Anchors work again afterwards.
    Form.SetBounds(10, 20, 312, 202);
    EXPECT_EQ(Corner.Left(), 210);
    EXPECT_EQ(Wide.Width(), 290);
    EXPECT_EQ(Resizes, 1);

    M.DialogFrameX = M.DialogFrameY = 3;
    Form.CompensateBorderMetrics(M);
    EXPECT_EQ(Form.Width(), 312);
}

TEST(CaptionColors, PairsOrderedByBrightnessAndTheDarkFace) {
    // Brightness 2R + 3G + B; colours with red in the low byte.
    const TCaptionColors C = ComputeCaptionColors(0x800000, 0xFFFFFF, 0x00FF00, 0x0000FF, 0x030507);
    EXPECT_EQ(C.ActiveBright, 0xFFFFFFu);
    EXPECT_EQ(C.ActiveDark, 0x800000u);
    EXPECT_EQ(C.InactiveBright, 0x00FF00u); // 3 × 255 beats 2 × 255
    EXPECT_EQ(C.InactiveDark, 0x0000FFu);
    EXPECT_EQ(C.Face, 0x030507u);
    // Halves 3.5, 2.5, 1.5 round to even.
    EXPECT_EQ(C.DarkFace, 0x020204u);
}

TEST(CaptionBar, ColouredPartWidth) {
    EXPECT_EQ(CaptionColouredWidth(600, 100, true), 200);   // a third of the bar at least
    EXPECT_EQ(CaptionColouredWidth(600, 300, true), 340);   // text + 40
    EXPECT_EQ(CaptionColouredWidth(600, 300, false), 321);  // text + 21
    EXPECT_EQ(CaptionColouredWidth(600, 520, false), 600);  // less than 60 left: the whole bar
}

TEST(MaximisedDrag, MovesToTheNeighbouringMonitor) {
    const TRect Form{0, 0, 1000, 700};
    const TRect TwoMonitors{0, 0, 2000, 700};
    EXPECT_EQ(MaximisedDragLeft(Form, TwoMonitors, 500, 700), std::nullopt);   // not a quarter yet
    EXPECT_EQ(MaximisedDragLeft(Form, TwoMonitors, 500, 950), std::optional<int>(1010));
    EXPECT_EQ(MaximisedDragLeft(Form, TwoMonitors, 500, 850), std::nullopt);   // not in the right tenth
    EXPECT_EQ(MaximisedDragLeft(Form, TRect{0, 0, 1005, 700}, 500, 950), std::nullopt);
    EXPECT_EQ(MaximisedDragLeft(Form, TRect{0, 0, 1015, 700}, 500, 950), std::optional<int>(1005));
    const TRect Right{1000, 0, 2000, 700};
    EXPECT_EQ(MaximisedDragLeft(Right, TwoMonitors, 1600, 1050), std::optional<int>(0));
    EXPECT_EQ(MaximisedDragLeft(Right, TRect{995, 0, 2000, 700}, 1600, 1050), std::nullopt);
    EXPECT_TRUE(MaximisedDragAllowed(5, 1));
    EXPECT_TRUE(MaximisedDragAllowed(6, 0));
    EXPECT_FALSE(MaximisedDragAllowed(6, 1));
}

TEST(Minimise, WholeApplicationOnlyForSecondaryTopLevelForms) {
    EXPECT_TRUE(MinimiseWholeApplication(true, false, false));
    EXPECT_FALSE(MinimiseWholeApplication(false, false, false));
    EXPECT_FALSE(MinimiseWholeApplication(true, true, false));
    EXPECT_FALSE(MinimiseWholeApplication(true, false, true));
}

class TRecordingAction : public TActionOnIdle {
public:
    TRecordingAction(std::vector<int>& ALog, int AId) : Log(ALog), Id(AId) {}

protected:
    void Execute() override { Log.push_back(Id); }

private:
    std::vector<int>& Log;
    int Id;
};

TEST(IdleActions, RunLastToFirstOnceAndTheListGoesWhenEmpty) {
    ASSERT_EQ(TIdleEventMulticast::Instance(), nullptr);
    std::vector<int> Log;
    new TRecordingAction(Log, 1);
    new TRecordingAction(Log, 2);
    new TRecordingAction(Log, 3);
    ASSERT_NE(TIdleEventMulticast::Instance(), nullptr);
    EXPECT_EQ(TIdleEventMulticast::Instance()->Count(), 3);
    ASSERT_TRUE(Application().OnIdle != nullptr);
    Application().Idle();
    EXPECT_EQ(Log, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(TIdleEventMulticast::Instance(), nullptr);
    EXPECT_TRUE(Application().OnIdle == nullptr);
    Application().Idle(); // nothing left to run
    EXPECT_EQ(Log.size(), 3u);
}

TEST(IdleActions, FreedActionLeavesTheOthers) {
    std::vector<int> Log;
    auto* First = new TRecordingAction(Log, 1);
    new TRecordingAction(Log, 2);
    delete First;
    EXPECT_EQ(TIdleEventMulticast::Instance()->Count(), 1);
    Application().Idle();
    EXPECT_EQ(Log, (std::vector<int>{2}));
    EXPECT_EQ(TIdleEventMulticast::Instance(), nullptr);
}

TEST(IdleActions, KeyboardCuesRepaintButtonsOnNewerSystemsOnly) {
    TStyleForm Form;
    Form.Add<TButton>();
    int Major = 0, Minor = 0;
    SystemVersion(Major, Minor);
    Form.KeyboardCuesChanged();
    EXPECT_EQ(TIdleEventMulticast::Instance() != nullptr, Major > 5);
    Application().Idle();
    EXPECT_EQ(TIdleEventMulticast::Instance(), nullptr);
}

TEST(StyleForm, OwnerOnlyForNormalAndStayOnTopForms) {
    TStyleForm Form;
    Form.OwnerWindow = 1234;
    EXPECT_EQ(Form.CreationOwner(), 1234u);
    Form.FormStyle = TFormStyle::fsStayOnTop;
    EXPECT_EQ(Form.CreationOwner(), 1234u);
    Form.FormStyle = TFormStyle::fsMDIChild;
    EXPECT_EQ(Form.CreationOwner(), 0u);
    EXPECT_EQ(Form.OwnerWindow, 0u);
}

TEST(StyleForm, UnscaledFormOffStandardDensityGetsArial) {
    TStyleForm Form;
    Form.Scaled = false;
    Form.Font.Name = "MS Sans Serif";
    Form.Loaded();
    EXPECT_EQ(Form.Font.Name, ScreenInfo().PixelsPerInch != 96 ? "Arial" : "MS Sans Serif");
    EXPECT_EQ(Application().OnException != nullptr, true); // the bug-report handler
}

} // namespace
} // namespace fi
