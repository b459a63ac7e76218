#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/MessageForm.h"

namespace fi {
namespace {

// Characters 6 × 13; captions 7 pixels a character; the text a fixed block.
class TFakeMetrics : public TMessageMetrics {
public:
    TPoint AverageCharSize() override { return TPoint{6, 13}; }
    int CaptionWidth(const std::string& Caption) override { return 7 * int(Caption.size()); }
    TPoint TextSize(const std::string&, int MaxWidth) override {
        LastMaxWidth = MaxWidth;
        return TPoint{200, 26};
    }
    int LastMaxWidth = 0;
};

std::vector<TMessageButtonSpec> Specs(TMessageButtons Set, TMessageMetrics& M) {
    std::vector<TMessageButtonSpec> Result;
    for (int Kind = 0; Kind < MessageButtonKinds; ++Kind)
        if (Set & (1u << Kind))
            Result.push_back({MessageButtonCaptions[Kind], MessageButtonResults[Kind],
                              M.CaptionWidth(MessageButtonCaptions[Kind]) + 8});
    return Result;
}

TEST(MessageLayout, OneButtonWithIcon) {
    TFakeMetrics M;
    const TMessageLayout L = ComputeMessageLayout("text", true, Specs(mbOK, M), M, 1024, false);
    EXPECT_EQ(M.LastMaxWidth, 512); // half the screen
    // Margins 12 × 13, spacing 15 × 16, buttons 75 × 23 with 6 between.
    EXPECT_EQ(L.ClientWidth, 200 + 15 + 32 + 2 * 12);
    EXPECT_EQ(L.ClientHeight, 32 + 23 + 16 + 2 * 13);
    EXPECT_EQ(L.IconBounds, (TRect{12, 13, 44, 45}));
    EXPECT_EQ(L.TextBounds, (TRect{59, 13, 259, 39}));
    ASSERT_EQ(L.ButtonBounds.size(), 1u);
    EXPECT_EQ(L.ButtonBounds[0], (TRect{98, 61, 173, 84}));
}

TEST(MessageLayout, ElevenButtonsSetTheWidth) {
    TFakeMetrics M;
    const TMessageLayout L = ComputeMessageLayout("text", false, Specs(0x7FF, M), M, 1024, false);
    // The widest caption, "Yes to &All", makes every button 11 × 7 + 8 wide.
    const int Width = 85, Group = 11 * Width + 10 * 6;
    EXPECT_EQ(L.ClientWidth, Group + 2 * 12);
    EXPECT_EQ(L.ClientHeight, 26 + 23 + 16 + 2 * 13);
    EXPECT_EQ(L.IconBounds, TRect{});
    EXPECT_EQ(L.TextBounds.Left, 12);
    ASSERT_EQ(L.ButtonBounds.size(), 11u);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(L.ButtonBounds[std::size_t(i)].Left, 12 + i * (Width + 6));
        EXPECT_EQ(L.ButtonBounds[std::size_t(i)].Top, 26 + 13 + 16);
        EXPECT_EQ(L.ButtonBounds[std::size_t(i)].Width(), Width);
    }
}

TEST(MessageLayout, RightToLeftMirrorsIconAndText) {
    TFakeMetrics M;
    const TMessageLayout L = ComputeMessageLayout("text", true, Specs(mbOK, M), M, 1024, true);
    EXPECT_EQ(L.IconBounds.Right, L.ClientWidth - 12);
    EXPECT_EQ(L.TextBounds.Right, L.ClientWidth - 59);
}

TEST(MessageLayout, MulDivRoundsToNearest) {
    EXPECT_EQ(MulDiv(10, 13, 8), 16);  // 16.25
    EXPECT_EQ(MulDiv(14, 13, 8), 23);  // 22.75
    EXPECT_EQ(MulDiv(1, 1, 2), 1);     // halves away from zero
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(3, 5, 0), -1);
}

TEST(MessageButtons, DefaultAndCancelKinds) {
    EXPECT_EQ(DefaultButtonKind(mbOK | mbYes), 5);
    EXPECT_EQ(DefaultButtonKind(mbYes | mbNo), 0);
    EXPECT_EQ(DefaultButtonKind(mbRetry | mbIgnore | mbAbort), 6);
    EXPECT_EQ(DefaultButtonKind(mbIgnore), -1);
    EXPECT_EQ(CancelButtonKind(mbOK | mbCancel), 9);
    EXPECT_EQ(CancelButtonKind(mbYes | mbNo), 1);
    EXPECT_EQ(CancelButtonKind(mbOK), 5);
    EXPECT_EQ(CancelButtonKind(mbRetry | mbAbort), -1);
}

TEST(MessageForm, ButtonsInBitOrderWithTheirResults) {
    const auto Form = CreateMessageForm("Save changes?", mtConfirmation, 0x7FF);
    EXPECT_EQ(Form->Caption(), "Confirm");
    EXPECT_EQ(Form->BorderStyle, TBorderStyle::bsDialog);
    ASSERT_NE(Form->Image, nullptr);
    EXPECT_EQ(Form->Image->Icon, TSystemIcon::siQuestion);
    EXPECT_EQ(Form->Message->Caption(), "Save changes?");
    EXPECT_TRUE(Form->Message->WordWrap);
    EXPECT_FALSE(Form->Message->ShowAccelChar);
    std::vector<std::string> Captions;
    std::vector<TModalResult> Results;
    int Right = 0;
    for (const auto& Child : Form->Controls()) {
        auto* B = dynamic_cast<TButton*>(Child.get());
        if (!B) continue;
        Captions.push_back(B->Caption());
        Results.push_back(B->ModalResult);
        EXPECT_GE(B->Left(), Right); // left to right
        Right = B->Left() + B->Width();
    }
    EXPECT_EQ(Captions, (std::vector<std::string>{"&Yes", "&No", "Yes to &All", "N&o to All", "&All", "OK", "&Retry",
                                                  "&Ignore", "&Abort", "Cancel", "&Help"}));
    EXPECT_EQ(Results, (std::vector<TModalResult>{6, 7, 10, 9, 8, 1, 4, 5, 3, 2, 0}));
    EXPECT_EQ(Form->DefaultButton()->Caption(), "OK");
    EXPECT_EQ(Form->CancelButton()->Caption(), "Cancel");
    // Centred on the screen.
    const TScreenInfo Screen = ScreenInfo();
    EXPECT_EQ(Form->Left(), (Screen.Width - Form->Width()) / 2);
    EXPECT_EQ(Form->Top(), (Screen.Height - Form->Height()) / 2);
}

TEST(MessageForm, TypeCaptionsAndTheCustomType) {
    const char* Expected[] = {"Warning", "Error", "Information", "Confirm"};
    const TSystemIcon Icons[] = {TSystemIcon::siWarning, TSystemIcon::siError, TSystemIcon::siInformation,
                                 TSystemIcon::siQuestion};
    for (int Type = 0; Type < 4; ++Type) {
        const auto Form = CreateMessageForm("x", TMessageType(Type), mbOK);
        EXPECT_EQ(Form->Caption(), Expected[Type]);
        EXPECT_EQ(Form->Image->Icon, Icons[Type]);
    }
    Application().Title = "Host title";
    const auto Custom = CreateMessageForm("x", mtCustom, mbYes | mbNo);
    EXPECT_EQ(Custom->Caption(), "Host title");
    EXPECT_EQ(Custom->Image, nullptr);
    EXPECT_LT(Custom->Message->Left(), 32); // at the margin, no icon before it
    EXPECT_EQ(Custom->DefaultButton()->Caption(), "&Yes");
    EXPECT_EQ(Custom->CancelButton()->Caption(), "&No");
}

// The user's answers, queued for the dialog.
class CustomMessageTest : public testing::Test {
protected:
    void SetUp() override {
        std::function<void(TForm&)> Left;
        while (TakeModalAction(Left)) {
        }
    }
    static int Show(std::function<void(TForm&)> Action, int CancelNumber = 1) {
        QueueModalAction(std::move(Action));
        return ShowCustomMessage("Choose", mtError, {"One", "Two", "Three"}, CancelNumber);
    }
};

TEST_F(CustomMessageTest, ReturnsTheNumberOfThePressedButton) {
    EXPECT_EQ(Show([](TForm& F) { F.FindButton("Two")->Click(); }), 2);
    EXPECT_EQ(Show([](TForm& F) { F.FindButton("Three")->Click(); }), 3);
    EXPECT_EQ(Show([](TForm& F) { F.FindButton("One")->Click(); }), 1);
}

TEST_F(CustomMessageTest, FirstIsDefaultAndTheCancelNumberIsClamped) {
    std::string Default;
    EXPECT_EQ(Show([&](TForm& F) {
        Default = F.DefaultButton()->Caption();
        F.CancelButton()->Click();
    }, 2), 2);
    EXPECT_EQ(Default, "One");
    EXPECT_EQ(Show([](TForm& F) { F.CancelButton()->Click(); }, 0), 1);
    EXPECT_EQ(Show([](TForm& F) { F.CancelButton()->Click(); }, 9), 3);
    EXPECT_EQ(Show([](TForm& F) { F.Close(); }), 0); // closed without a button
}

TEST_F(CustomMessageTest, StyledMessageReturnsTheModalResult) {
    QueueModalAction([](TForm& F) { F.FindButton("&No")->Click(); });
    EXPECT_EQ(ShowStyledMessage("Sure?", mtConfirmation, mbYes | mbNo, 0), mrNo);
    QueueModalAction([](TForm& F) {
        EXPECT_EQ(F.HelpContext, 77);
        EXPECT_TRUE(F.HelpFile.empty());
        F.FindButton("&Help")->Click(); // does not close
        EXPECT_EQ(F.ModalResult, mrNone);
        F.FindButton("&Retry")->Click();
    });
    EXPECT_EQ(ShowStyledMessage("Again?", mtWarning, mbRetry | mbHelp, 77), mrRetry);
}

} // namespace
} // namespace fi
