// Headless controls: the edit keeps its text and selection itself and plays
// the user's typing to the same handlers a window's messages would reach;
// one focus for the whole process, as the system keeps one per thread.
#include <algorithm>

#include "ui/StdControls.h"

namespace fi {

namespace {

TControl* Focus = nullptr;
TShiftState HeldShift = 0;

// The simulated modifier keys, held for the duration of one input.
class THeldKeys {
public:
    explicit THeldKeys(TShiftState Shift) : Saved(HeldShift) { HeldShift = Shift; }
    ~THeldKeys() { HeldShift = Saved; }
    THeldKeys(const THeldKeys&) = delete;
    THeldKeys& operator=(const THeldKeys&) = delete;

private:
    TShiftState Saved;
};

bool Contains(const TControl& Parent, const TControl* Control) {
    for (const auto& Child : Parent.Controls())
        if (Child.get() == Control || Contains(*Child, Control)) return true;
    return false;
}

// Headless text is measured at 6 pixels a character.
constexpr int CharWidth = 6;

} // namespace

TColor ColorToRGB(TColor Color) {
    if (!(Color & clSystemColor)) return Color;
    return Color == clWindow ? 0xFFFFFF : 0x000000;
}

TShiftState KeyboardShiftState() { return HeldShift; }

// The focus pointer may outlive its control; it is only trusted while the
// control is still found inside the form.
TControl* FocusedControl(TForm& Form) { return Focus && Contains(Form, Focus) ? Focus : nullptr; }

void SetFocusTo(TControl& Control) {
    if (Focus == &Control && Control.Form() && FocusedControl(*Control.Form())) return;
    Focus = &Control;
    if (auto* W = dynamic_cast<TWinControl*>(&Control)) W->DispatchEvent([W] { W->DoEnter(); });
}

TPoint ClientOrigin(const TControl& Control) {
    if (const auto* F = dynamic_cast<const TForm*>(&Control)) {
        const TRect Frame = F->FrameExtent();
        return TPoint{F->Left() + Frame.Left, F->Top() + Frame.Top};
    }
    TPoint Origin{Control.Left(), Control.Top()};
    if (Control.Parent()) {
        const TPoint P = ClientOrigin(*Control.Parent());
        Origin.X += P.X;
        Origin.Y += P.Y;
    }
    if (const auto* E = dynamic_cast<const TEdit*>(&Control); E && E->Ctl3D) {
        Origin.X += 2;
        Origin.Y += 2;
    }
    return Origin;
}

void UserTurnsWheel(TForm& Form, int WheelDelta, TPoint ScreenPos, TShiftState Shift) {
    THeldKeys Held(Shift);
    TControl* Target = FocusedControl(Form);
    DispatchMouseWheel(Target ? *Target : Form, Shift, WheelDelta, ScreenPos);
}

bool RouteControlMessage(TForm&, TMessage&) { return false; }

// ---- TWinControl ------------------------------------------------------------------

void TWinControl::RecreateWnd() {
    if (Form()) CreateWnd();
}

void TWinControl::PostToSelf(int Code) { PostedMessage(Code); }

// ---- TEdit ----------------------------------------------------------------------

void TEdit::CreateHandle(TWindowHandle) {}
void TEdit::UpdateWindowEditText() {}
void TEdit::UpdateWindowSelection() {}
void TEdit::UpdateWindowEditRect() {}
void TEdit::ReadWindowSelection(int&, int&) const {}
void TEdit::ScrollCaret() {}

int TEdit::LineCount() const {
    if (!MultiLineStyle()) return 1;
    const int Width = FEditRect.Width() > 0 ? FEditRect.Width() : ClientWidth();
    const int TextWidth = int(FText.size()) * CharWidth;
    return Width <= 0 ? 1 : std::max(1, (TextWidth + Width - 1) / Width);
}

void TEdit::UserTypes(const std::string& Chars) {
    if (!ControlFocused(*this) && CanFocusControl(*this)) SetFocusTo(*this);
    for (char Typed : Chars) {
        char Key = Typed;
        DispatchEvent([&] { KeyPress(Key); });
        if (Key == 0) continue;
        std::string Text = FText;
        if (Key == '\b') {
            if (FSelLength > 0) {
                Text.erase(std::size_t(FSelStart), std::size_t(FSelLength));
            } else if (FSelStart > 0) {
                Text.erase(std::size_t(FSelStart - 1), 1);
                --FSelStart;
            }
        } else if (static_cast<unsigned char>(Key) >= 32) {
            Text.replace(std::size_t(FSelStart), std::size_t(FSelLength), 1, Key);
            ++FSelStart;
        } else {
            continue; // a single-line edit takes no control characters
        }
        FSelLength = 0;
        if (Text == FText) continue;
        DispatchEvent([&] { TextChangedByWindow(Text); });
    }
}

void TEdit::UserPressesKey(int Key, TShiftState Shift) {
    THeldKeys Held(Shift);
    if (!ControlFocused(*this) && CanFocusControl(*this)) SetFocusTo(*this);
    DispatchEvent([&] { KeyDown(Key, Shift); });
}

// ---- the other controls --------------------------------------------------------

bool TCheckBox::Checked() const { return FChecked; }
void TCheckBox::SetChecked(bool Value) { FChecked = Value; }
void TCheckBox::CreateHandle(TWindowHandle) {}

void TComboBox::SetItemIndex(int Value) { FItemIndex = Value >= 0 && Value < int(FItems.size()) ? Value : -1; }
void TComboBox::UserSelects(int Index) {
    if (CanFocusControl(*this)) SetFocusTo(*this);
    SelectionChangedByWindow(Index);
}
void TComboBox::CreateHandle(TWindowHandle) {}

void TBevel::CreateHandle(TWindowHandle) {}

void TSpinButton::CreateHandle(TWindowHandle) {}

void TSpinButton::UserClicks(bool Up, TShiftState Shift) {
    THeldKeys Held(Shift);
    PressPart(Up);
    ReleasePart();
}

} // namespace fi
