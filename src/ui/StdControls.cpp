#include "ui/StdControls.h"

#include <algorithm>
#include <map>

namespace fi {

// ---- focus, hit tests, the forms' wheel handlers ----------------------------

bool IsWindowedControl(const TControl& Control) {
    return dynamic_cast<const TWinControl*>(&Control) || dynamic_cast<const TButton*>(&Control) ||
           dynamic_cast<const TForm*>(&Control);
}

bool CanFocusControl(const TControl& Control) {
    if (!dynamic_cast<const TButton*>(&Control) && !dynamic_cast<const TWinControl*>(&Control)) return false;
    if (dynamic_cast<const TSpinButton*>(&Control)) return false; // it hands the focus to its edit
    for (const TControl* C = &Control; C; C = C->Parent()) {
        if (!C->Visible() || !C->Enabled()) return false;
        if (dynamic_cast<const TForm*>(C)) return true;
    }
    return false;
}

bool ControlFocused(TControl& Control) {
    TForm* Owner = Control.Form();
    return Owner && FocusedControl(*Owner) == &Control;
}

TControl* ChildAtPoint(TControl& Parent, TPoint Point) {
    const auto& Children = Parent.Controls();
    // Drawn controls (labels, bevels) lie beneath every windowed one: a combo
    // box on a bevel is what the pointer is over.
    for (const bool Windowed : {true, false})
        for (auto It = Children.rbegin(); It != Children.rend(); ++It) {
            TControl& C = **It;
            if (IsWindowedControl(C) != Windowed || !C.Visible() || !C.Enabled()) continue;
            if (Point.X >= C.Left() && Point.X < C.Left() + C.Width() && Point.Y >= C.Top() &&
                Point.Y < C.Top() + C.Height())
                return &C;
        }
    return nullptr;
}

namespace {
// Entries of forms that no longer exist are dropped before every use; a
// form is in the application's list from its construction to its end.
std::map<const TForm*, TMouseWheelEvent>& WheelHandlers() {
    static std::map<const TForm*, TMouseWheelEvent> Handlers;
    const auto& Live = Application().Forms;
    for (auto It = Handlers.begin(); It != Handlers.end();)
        It = std::find(Live.begin(), Live.end(), It->first) == Live.end() ? Handlers.erase(It) : std::next(It);
    return Handlers;
}
} // namespace

bool FormHasMouseWheelHandler(const TForm& Form) { return WheelHandlers().count(&Form) != 0; }

void SetFormMouseWheelHandler(TForm& Form, TMouseWheelEvent Handler) {
    if (Handler)
        WheelHandlers()[&Form] = std::move(Handler);
    else
        WheelHandlers().erase(&Form);
}

bool DoFormMouseWheel(TForm& Form, TShiftState Shift, int WheelDelta, TPoint MousePos) {
    auto& Handlers = WheelHandlers();
    const auto It = Handlers.find(&Form);
    if (It == Handlers.end()) return false;
    const TMouseWheelEvent Handler = It->second; // the handler may replace itself
    bool Handled = false;
    Form.DispatchEvent([&] { Handler(Form, Shift, WheelDelta, MousePos, Handled); });
    return Handled;
}

bool DispatchMouseWheel(TControl& Target, TShiftState Shift, int WheelDelta, TPoint MousePos) {
    for (TControl* C = &Target; C; C = C->Parent()) {
        if (auto* F = dynamic_cast<TForm*>(C)) return DoFormMouseWheel(*F, Shift, WheelDelta, MousePos);
        if (auto* W = dynamic_cast<TWinControl*>(C)) {
            bool Handled = false;
            W->DispatchEvent([&] { Handled = W->DoMouseWheel(Shift, WheelDelta, MousePos); });
            if (Handled) return true;
        }
    }
    return false;
}

// ---- TWinControl --------------------------------------------------------------

void TWinControl::KeyDown(int&, TShiftState) {}
void TWinControl::KeyPress(char&) {}
bool TWinControl::DoMouseWheel(TShiftState, int, TPoint) { return false; }
void TWinControl::PostedMessage(int) {}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    const bool Resized = AWidth != Width() || AHeight != Height();
    TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (Resized) Resize();
}

// ---- TEdit ----------------------------------------------------------------------

TEdit::TEdit() = default;
TEdit::~TEdit() = default;

void TEdit::SetText(const std::string& Value) {
    // The text it already holds is left alone: a field whose change handler
    // writes its own value back must not move the caret the user types at.
    if (Value == FText) return;
    FText = Value;
    // As the system's edit does: the caret goes to the start.
    FSelStart = 0;
    FSelLength = 0;
    FWritingText = true;
    UpdateWindowEditText();
    FWritingText = false;
    Change();
}

void TEdit::TextChangedByWindow(const std::string& NewText) {
    if (FWritingText) return;
    FText = NewText;
    Change();
}

void TEdit::Change() {
    if (OnChange) OnChange(*this);
}

int TEdit::SelStart() const {
    int Start = FSelStart, Length = FSelLength;
    ReadWindowSelection(Start, Length);
    return Start;
}

int TEdit::SelLength() const {
    int Start = FSelStart, Length = FSelLength;
    ReadWindowSelection(Start, Length);
    return Length;
}

void TEdit::SetSelection(int Start, int Length) {
    const int Size = int(FText.size());
    FSelStart = std::clamp(Start, 0, Size);
    FSelLength = std::clamp(Length, 0, Size - FSelStart);
    UpdateWindowSelection();
}

void TEdit::SelectAll() { SetSelection(0, int(FText.size())); }

void TEdit::SetFontColor(TColor Value) {
    FFontColor = Value;
    Repaint();
}

void TEdit::SetEditRectangle(const TRect& R) {
    FEditRect = R;
    UpdateWindowEditRect();
}

void TEdit::SaveWindowState() {
    int Start = FSelStart, Length = FSelLength;
    ReadWindowSelection(Start, Length);
    FSelStart = Start;
    FSelLength = Length;
}

// ---- TCheckBox, TComboBox ---------------------------------------------------------

void TCheckBox::Click() {
    SetChecked(!Checked());
    TControl::Click();
}

void TComboBox::AddItem(const std::string& Item) {
    FItems.push_back(Item);
    RecreateWnd();
}

void TComboBox::SelectionChangedByWindow(int Index) {
    FItemIndex = Index >= 0 && Index < int(FItems.size()) ? Index : -1;
    if (OnChange) DispatchEvent([this] { OnChange(*this); });
}

// ---- glyphs, TSpinButton ----------------------------------------------------------

TGlyph MakeArrowGlyph(bool Up) {
    TGlyph G;
    G.Width = 9;
    G.Height = 6;
    G.Pixels.assign(9 * 6, 0xFFFFFF);
    // Rows 1..4 inside the border; the widest row is at the base.
    for (int Row = 0; Row < 4; ++Row) {
        const int HalfWidth = Up ? Row : 3 - Row;
        for (int X = 4 - HalfWidth; X <= 4 + HalfWidth; ++X) G.At(X, 1 + Row) = 0;
    }
    return G;
}

TGlyph AddDisabledImage(const TGlyph& Glyph) {
    // Drawn onto itself one pixel higher: the top blank row goes.
    TGlyph G;
    G.Width = Glyph.Width * 2;
    G.Height = Glyph.Height - 1;
    G.Pixels.assign(std::size_t(G.Width) * std::size_t(G.Height), 0xFFFFFF);
    for (int Y = 0; Y < G.Height; ++Y)
        for (int X = 0; X < Glyph.Width; ++X) {
            G.At(X, Y) = Glyph.At(X, Y + 1);
            G.At(X + Glyph.Width, Y) = Glyph.At(X, Y + 1);
        }
    for (int Y = 0; Y < G.Height; ++Y)
        for (int X = Glyph.Width; X < G.Width; ++X) {
            if (G.At(X, Y) != 0) continue;
            G.At(X, Y) = 0x808080;
            if (X + 1 < G.Width && G.At(X + 1, Y) != 0) G.At(X + 1, Y) = 0xFFFFFF;
        }
    return G;
}

TSpinButton::TSpinButton() {
    TabStop = false;
    FUp = &Add<TSpinButtonPart>();
    FUp->Name = "UpButton";
    FUp->Glyph = AddDisabledImage(MakeArrowGlyph(true));
    FDown = &Add<TSpinButtonPart>();
    FDown->Name = "DownButton";
    FDown->Glyph = AddDisabledImage(MakeArrowGlyph(false));
}

TSpinButtonPart* TSpinButton::PressedPart() const {
    if (FUp->Pressed) return FUp;
    if (FDown->Pressed) return FDown;
    return nullptr;
}

void TSpinButton::PressPart(bool Up) {
    TSpinButtonPart* Part = Up ? FUp : FDown;
    if (!Part->Enabled() || !Enabled()) return;
    Part->Pressed = true;
    Repaint();
    if (FocusControl && FocusControl->TabStop && CanFocusControl(*FocusControl) && !ControlFocused(*FocusControl))
        SetFocusTo(*FocusControl);
}

void TSpinButton::RepeatClick() {
    TSpinButtonPart* Part = PressedPart();
    if (!Part) return;
    if (Part == FUp) {
        if (OnUpClick) DispatchEvent([this] { OnUpClick(*this); });
    } else if (OnDownClick) {
        DispatchEvent([this] { OnDownClick(*this); });
    }
}

void TSpinButton::ReleasePart() {
    if (!PressedPart()) return;
    RepeatClick();
    FUp->Pressed = FDown->Pressed = false;
    Repaint();
}

void TSpinButton::WindowGone() {
    FHandle = 0;
    ClearChildHandles(*this);
}

} // namespace fi
