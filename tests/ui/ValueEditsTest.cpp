// The value edits on the headless layer, driven as a user would: typing,
// keys, spin-button clicks and wheel turns.
#include <gtest/gtest.h>

#include <string>

#include "support/FloatFormat.h"
#include "ui/StdControls.h"
#include "ui/ValueEdits.h"

namespace fi {
namespace {

class ValueEditFixture : public testing::Test {
protected:
    ValueEditFixture() { Form.SetBounds(100, 100, 300, 200); }

    template <class T>
    T& AddEdit(int Left, int Top) {
        T& Edit = Form.Add<T>();
        Edit.SetBounds(Left, Top, 65, 21);
        Edit.OnChangeValue = [this](TValueEdit&) { ++Events; };
        return Edit;
    }

    static void Retype(TEdit& Edit, const std::string& Text) {
        Edit.SelectAll();
        Edit.UserTypes(Text.empty() ? std::string("\b") : Text);
    }
    // The whole text at once, as a paste gives it.
    static void Paste(TEdit& Edit, const std::string& Text) { Edit.SetText(Text); }

    // The screen point at (X, Y) inside Control's client area.
    static TPoint ScreenPoint(const TControl& Control, int X, int Y) {
        const TPoint O = ClientOrigin(Control);
        return TPoint{O.X + X, O.Y + Y};
    }

    std::string Decimal(std::string Text) {
        for (char& C : Text)
            if (C == '.') C = UserDecimalSeparator();
        return Text;
    }

    TForm Form;
    int Events = 0;
};

TEST_F(ValueEditFixture, IntegerTypingRaisesEventsOnValueAndValidityChanges) {
    auto& Edit = AddEdit<TIntegerEdit>(10, 10);
    Edit.SetMin(2);
    Edit.SetMax(16);
    EXPECT_TRUE(Edit.Valid());
    EXPECT_EQ(Edit.Text(), "2");

    Retype(Edit, "7");
    EXPECT_TRUE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 7);
    EXPECT_EQ(Events, 1);

    Edit.UserTypes("0"); // 70
    EXPECT_FALSE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 16);
    EXPECT_EQ(Edit.FontColor(), Edit.InvalidTextColor);
    EXPECT_EQ(Edit.Text(), "70"); // the typed text stays
    EXPECT_EQ(Events, 2);

    Edit.UserTypes("0"); // 700: still pulled to 16, nothing new
    EXPECT_EQ(Events, 2);

    Edit.UserTypes("\b\b"); // back to 7
    EXPECT_TRUE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 7);
    EXPECT_EQ(Edit.FontColor(), clWindowText);
    EXPECT_EQ(Events, 3); // 70 again changes nothing, 7 is accepted

    Retype(Edit, "1"); // below Min while valid: value pulled to 2
    EXPECT_FALSE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 2);
    EXPECT_EQ(Events, 4);
}

TEST_F(ValueEditFixture, IntegerAcceptsOnlyNearIntegers) {
    auto& Edit = AddEdit<TIntegerEdit>(10, 10);
    Edit.SetValue(5);
    Paste(Edit, "2.5");
    EXPECT_FALSE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 5);
    Paste(Edit, "2.00005");
    EXPECT_TRUE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 2);
    Paste(Edit, "3.99995");
    EXPECT_EQ(Edit.Value(), 4);
    Paste(Edit, "sqrt(-1)");
    EXPECT_FALSE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 4);
    Paste(Edit, "1e30"); // far above Max is out of range, not unparseable
    EXPECT_EQ(Edit.Value(), 100);
}

TEST_F(ValueEditFixture, EmptyOrUndefinedTextIsInvalidWithoutMessage) {
    const std::size_t Shown = ShownSystemMessages().size();
    auto& Edit = AddEdit<TFloatEdit>(10, 10);
    Edit.SetValue(3);
    Retype(Edit, "");
    EXPECT_EQ(Edit.Text(), "");
    EXPECT_FALSE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 3);
    EXPECT_EQ(Events, 1);
    Retype(Edit, "nosuchname");
    EXPECT_FALSE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 3);
    EXPECT_EQ(Events, 1); // already invalid
    EXPECT_EQ(ShownSystemMessages().size(), Shown);
}

TEST_F(ValueEditFixture, CommaIsADecimalSeparator) {
    auto& Edit = AddEdit<TFloatEdit>(10, 10);
    Retype(Edit, "1,5");
    EXPECT_TRUE(Edit.Valid());
    EXPECT_EQ(Edit.Value(), 1.5L);
    Edit.SimpleValue = true;
    Retype(Edit, "2,25");
    EXPECT_EQ(Edit.Value(), 2.25L);
}

TEST_F(ValueEditFixture, SimpleValueTakesOnlyPlainLiterals) {
    auto& Float = AddEdit<TFloatEdit>(10, 10);
    Float.SimpleValue = true;
    for (const char* Bad : {"2*3", "1.5e", "e5", ".", "1,5,", " 1", "pi"}) {
        Retype(Float, "4");
        Paste(Float, Bad);
        EXPECT_FALSE(Float.Valid()) << Bad;
    }
    Retype(Float, "-1.5e1");
    EXPECT_EQ(Float.Value(), 0); // parsed, below Min
    Retype(Float, "+.5E+1");
    EXPECT_TRUE(Float.Valid());
    EXPECT_EQ(Float.Value(), 5);

    auto& Integer = AddEdit<TIntegerEdit>(10, 40);
    Integer.SimpleValue = true;
    Integer.SetMin(-1000);
    Retype(Integer, "$1F");
    EXPECT_EQ(Integer.Value(), 31);
    Retype(Integer, "-12");
    EXPECT_EQ(Integer.Value(), -12);
    for (const char* Bad : {"1.0", "2+2", "$", "-", "12a", "$G"}) {
        Retype(Integer, "5");
        Paste(Integer, Bad);
        EXPECT_FALSE(Integer.Valid()) << Bad;
        EXPECT_EQ(Integer.Value(), 5) << Bad;
    }
}

TEST_F(ValueEditFixture, DefinitionTypedInOneEditServesAnother) {
    auto& A = AddEdit<TFloatEdit>(10, 10);
    auto& B = AddEdit<TIntegerEdit>(10, 40);
    Retype(A, ":dlgTestK=5; dlgTestK*2");
    EXPECT_TRUE(A.Valid());
    EXPECT_EQ(A.Value(), 10);
    Retype(B, "dlgTestK+1");
    EXPECT_TRUE(B.Valid());
    EXPECT_EQ(B.Value(), 6);
}

TEST_F(ValueEditFixture, SettersClampAndRaiseNoEvent) {
    auto& Edit = AddEdit<TIntegerEdit>(10, 10);
    Edit.SetValue(150);
    EXPECT_EQ(Edit.Value(), 100);
    EXPECT_EQ(Edit.Text(), "100");
    Edit.SetMax(50);
    EXPECT_EQ(Edit.Text(), "50");
    Edit.SetMin(60); // Min is not compared with Max
    EXPECT_EQ(Edit.Value(), 60);
    EXPECT_EQ(Edit.Max(), 50);
    EXPECT_EQ(Events, 0);

    auto& Float = AddEdit<TFloatEdit>(10, 40);
    Float.SetValue(2.5L);
    EXPECT_EQ(Float.Text(), Decimal("2.5"));
    Float.SetValue(3);
    EXPECT_EQ(Float.Text(), "3");
    Retype(Float, "abc");
    ASSERT_FALSE(Float.Valid());
    Events = 0;
    Float.SetValue(3); // the current value: the invalid text is rewritten
    EXPECT_TRUE(Float.Valid());
    EXPECT_EQ(Float.Text(), "3");
    EXPECT_EQ(Float.FontColor(), clWindowText);
    Float.SetFormatString("0.#####e+");
    Float.SetValue(0.00125L);
    EXPECT_EQ(Float.Text(), Decimal("1.25e-3"));
    Float.SetValue(0.0005L);
    EXPECT_EQ(Float.Text(), "5e-4");
    Float.SetValue(std::numeric_limits<long double>::quiet_NaN());
    EXPECT_EQ(Float.Value(), 100);
    EXPECT_EQ(Events, 0);
}

TEST_F(ValueEditFixture, FactorStepsMultiplyAndDivide) {
    auto& Edit = AddEdit<TIntegerEdit>(10, 10);
    Edit.SetSpinIncrement(-3);
    Edit.SetValue(10);
    Edit.StepDown(nullptr);
    EXPECT_EQ(Edit.Value(), 3);
    Edit.SetValue(10);
    Edit.StepUp(nullptr);
    EXPECT_EQ(Edit.Value(), 30);
    Edit.SetMax(20);
    Edit.SetValue(10);
    Events = 0;
    Edit.StepUp(nullptr);
    EXPECT_EQ(Edit.Value(), 20);
    Edit.StepUp(nullptr); // clamped to the same value: still an event
    EXPECT_EQ(Edit.Value(), 20);
    EXPECT_EQ(Events, 2);
    EXPECT_EQ(Edit.SelStart(), 2);
    EXPECT_EQ(Edit.SelLength(), 0);
    Edit.SetValue(0);
    Edit.StepUp(nullptr);
    EXPECT_EQ(Edit.Value(), 0);

    auto& Lambda = AddEdit<TFloatEdit>(10, 40);
    Lambda.SetMax(1);
    Lambda.SetSpinIncrement(-2);
    Lambda.SetValue(0.375L);
    Lambda.StepUp(nullptr);
    EXPECT_EQ(Lambda.Value(), 0.75L);
    Lambda.StepUp(nullptr);
    EXPECT_EQ(Lambda.Value(), 1);
    Lambda.StepDown(nullptr);
    Lambda.StepDown(nullptr);
    EXPECT_EQ(Lambda.Value(), 0.25L);
}

TEST_F(ValueEditFixture, StepsWithKeysSpinAndShift) {
    auto& Edit = AddEdit<TFloatEdit>(10, 10);
    Edit.UserPressesKey(vkUp); // no spin button: no step
    EXPECT_EQ(Edit.Value(), 0);
    Edit.SetSpinIncrement(1);
    Edit.SetValue(5);
    Edit.UserPressesKey(vkUp);
    EXPECT_EQ(Edit.Value(), 6);
    Edit.UserPressesKey(vkDown, ssShift);
    EXPECT_EQ(Edit.Value(), 6 - 1.0L / 10);
    EXPECT_EQ(Edit.Text(), Decimal("5.9"));
    EXPECT_EQ(Edit.SelStart(), 3);
    Edit.SpinButton()->UserClicks(true, ssShift);
    EXPECT_EQ(Edit.Text(), "6");
    Edit.SpinButton()->UserClicks(false);
    EXPECT_EQ(Edit.Text(), "5");
    EXPECT_EQ(Events, 4);
    EXPECT_TRUE(ControlFocused(Edit)); // pressing the spin button focused the edit

    const std::string Before = Edit.Text();
    Edit.UserTypes("\r"); // swallowed: no line break in the multi-line window
    EXPECT_EQ(Edit.Text(), Before);
}

TEST_F(ValueEditFixture, SpinButtonExistsWhileIncrementIsSetAndFollowsTheEdit) {
    auto& Edit = AddEdit<TIntegerEdit>(10, 10);
    EXPECT_EQ(Edit.SpinButton(), nullptr);
    EXPECT_FALSE(Edit.MultiLineStyle());
    Edit.SetEnabled(false);
    Edit.SetSpinIncrement(2);
    TSpinButton* Spin = Edit.SpinButton();
    ASSERT_NE(Spin, nullptr);
    EXPECT_TRUE(Edit.MultiLineStyle());
    EXPECT_FALSE(Spin->UpButton()->Enabled());
    EXPECT_FALSE(Spin->DownButton()->Enabled());
    Edit.SetEnabled(true);
    EXPECT_TRUE(Spin->UpButton()->Enabled());
    EXPECT_TRUE(Spin->DownButton()->Enabled());

    EXPECT_EQ(Spin->Left(), 65 - 15 - 4);
    EXPECT_EQ(Spin->Top(), 0);
    EXPECT_EQ(Spin->Width(), 15);
    EXPECT_EQ(Spin->Height(), 17);
    EXPECT_EQ(Spin->UpButton()->Top(), 0);
    EXPECT_EQ(Spin->UpButton()->Height(), 9);
    EXPECT_EQ(Spin->DownButton()->Top(), 8);
    EXPECT_EQ(Spin->DownButton()->Height(), 9);
    EXPECT_EQ(Edit.EditRect(), (TRect{0, 0, 61 - 15 - 1, 18}));

    Edit.SetBounds(10, 10, 80, 25);
    EXPECT_EQ(Spin->Left(), 80 - 15 - 4);
    EXPECT_EQ(Spin->Height(), 21);
    EXPECT_EQ(Spin->UpButton()->Height(), 11);
    EXPECT_EQ(Spin->DownButton()->Top(), 10);
    EXPECT_EQ(Spin->DownButton()->Height(), 11);

    Edit.SetSpinIncrement(0);
    EXPECT_EQ(Edit.SpinButton(), nullptr);
    Edit.UserPressesKey(vkUp);
    EXPECT_EQ(Edit.Value(), 0);
}

TEST_F(ValueEditFixture, RightAlignmentGivesWayToOverflow) {
    auto& Edit = AddEdit<TIntegerEdit>(10, 10);
    Edit.SetMax(1000000000);
    Edit.SetSpinIncrement(1);
    Edit.SetAlignment(TAlignment::taRightJustify);
    Retype(Edit, "1234567"); // 7 characters fit the text area
    EXPECT_EQ(Edit.Alignment(), TAlignment::taRightJustify);
    Edit.UserTypes("8");
    EXPECT_EQ(Edit.Alignment(), TAlignment::taLeftJustify);
    EXPECT_EQ(Edit.SavedOverflowLength(), 8);
    EXPECT_EQ(Edit.SelStart(), 8); // the caret stayed
    Edit.UserTypes("9");
    EXPECT_EQ(Edit.SavedOverflowLength(), 8);
    Edit.UserTypes("\b");
    EXPECT_EQ(Edit.Alignment(), TAlignment::taLeftJustify); // not shorter than saved
    Edit.UserTypes("\b");
    EXPECT_EQ(Edit.Alignment(), TAlignment::taRightJustify);
    EXPECT_EQ(Edit.SavedOverflowLength(), 0);
    EXPECT_EQ(Edit.Value(), 1234567);
}

TEST_F(ValueEditFixture, WheelActsOnTheValueEditUnderThePointer) {
    auto& A = AddEdit<TIntegerEdit>(10, 10);
    auto& B = AddEdit<TIntegerEdit>(10, 40);
    auto& Plain = AddEdit<TIntegerEdit>(10, 70);
    TComboBox& List = Form.Add<TComboBox>();
    List.SetBounds(100, 10, 100, 21);
    A.SetSpinIncrement(1);
    B.SetSpinIncrement(1);
    EXPECT_TRUE(FormHasMouseWheelHandler(Form));
    EXPECT_EQ(A.WheelForm, &Form);
    SetFocusTo(A);

    UserTurnsWheel(Form, 120, ScreenPoint(B, 5, 5));
    EXPECT_TRUE(ControlFocused(B));
    EXPECT_EQ(B.Value(), 1);
    EXPECT_EQ(A.Value(), 0);

    UserTurnsWheel(Form, 120, ScreenPoint(B, 5, 5));
    EXPECT_EQ(B.Value(), 2);
    UserTurnsWheel(Form, -120, ScreenPoint(Form, 250, 150)); // over the form itself
    EXPECT_EQ(B.Value(), 1);
    UserTurnsWheel(Form, 120, ScreenPoint(Plain, 5, 5)); // no spin button there
    EXPECT_EQ(B.Value(), 2);
    EXPECT_TRUE(ControlFocused(B));

    A.SetEnabled(false);
    UserTurnsWheel(Form, 120, ScreenPoint(A, 5, 5));
    EXPECT_EQ(A.Value(), 0);
    EXPECT_EQ(B.Value(), 3);
    A.SetEnabled(true);

    // A bevel made later around the list is drawn beneath it, as on the dialog.
    TBevel& Bevel = Form.Add<TBevel>();
    Bevel.SetBounds(90, 0, 120, 40);
    UserTurnsWheel(Form, 120, ScreenPoint(List, 5, 5)); // a list takes the focus only
    EXPECT_TRUE(ControlFocused(List));
    EXPECT_EQ(B.Value(), 3);
    UserTurnsWheel(Form, 120, ScreenPoint(A, 5, 5)); // from the list to an edit
    EXPECT_TRUE(ControlFocused(A));
    EXPECT_EQ(A.Value(), 1);
    EXPECT_EQ(B.Value(), 3);
}

TEST_F(ValueEditFixture, FocusSelectsAllText) {
    auto& A = AddEdit<TIntegerEdit>(10, 10);
    auto& B = AddEdit<TIntegerEdit>(10, 40);
    A.SetMax(10000);
    A.SetValue(1234);
    A.SetSelection(4, 0);
    SetFocusTo(B);
    SetFocusTo(A);
    EXPECT_EQ(A.SelStart(), 0);
    EXPECT_EQ(A.SelLength(), 4);
    A.AutoSelect = false;
    A.SetSelection(2, 0);
    SetFocusTo(B);
    SetFocusTo(A);
    EXPECT_EQ(A.SelLength(), 0);
}

TEST(SpinGlyphs, ArrowsAndTheirDisabledImages) {
    const TGlyph Up = MakeArrowGlyph(true);
    ASSERT_EQ(Up.Width, 9);
    ASSERT_EQ(Up.Height, 6);
    const auto RowWidth = [](const TGlyph& G, int Y, int From, int To) {
        int N = 0;
        for (int X = From; X < To; ++X) N += G.At(X, Y) == 0;
        return N;
    };
    for (int Y : {0, 5}) EXPECT_EQ(RowWidth(Up, Y, 0, 9), 0);
    EXPECT_EQ(RowWidth(Up, 1, 0, 9), 1);
    EXPECT_EQ(RowWidth(Up, 4, 0, 9), 7);
    EXPECT_EQ(Up.At(0, 4), 0xFFFFFFu); // the border column stays blank
    const TGlyph Down = MakeArrowGlyph(false);
    EXPECT_EQ(RowWidth(Down, 1, 0, 9), 7);
    EXPECT_EQ(RowWidth(Down, 4, 0, 9), 1);

    const TGlyph Both = AddDisabledImage(Up);
    ASSERT_EQ(Both.Width, 18);
    ASSERT_EQ(Both.Height, 5);
    EXPECT_EQ(RowWidth(Both, 0, 0, 9), 1); // moved up one row
    EXPECT_EQ(RowWidth(Both, 3, 0, 9), 7);
    EXPECT_EQ(RowWidth(Both, 3, 9, 18), 0);
    EXPECT_EQ(Both.At(9 + 1, 3), 0x808080u);
    EXPECT_EQ(Both.At(9 + 7, 3), 0x808080u);
    EXPECT_EQ(Both.At(9 + 8, 3), 0xFFFFFFu);
    EXPECT_EQ(Both.At(9 + 4, 0), 0x808080u);
}

} // namespace
} // namespace fi
