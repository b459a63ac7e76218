#include "ui/ValueEdits.h"


#include "expr/ExpressionEval.h"
#include "settings/FieldRules.h"
#include "support/FloatFormat.h"

namespace fi {

// ---- TValueEdit -------------------------------------------------------------------

TValueEdit::TValueEdit() : SymbolTable(GlobalSymbolTable) {
    OnChange = [this](TEdit&) { TextChanged(); };
}

TValueEdit::~TValueEdit() = default;

void TValueEdit::RaiseChangeValue() {
    if (OnChangeValue) OnChangeValue(*this);
}

void TValueEdit::MarkInvalid() {
    SetFontColor(InvalidTextColor);
    SetEditRect();
    FValid = false;
    ScrollCaret();
}

void TValueEdit::MarkValid() {
    SetFontColor(clWindowText);
    SetEditRect();
    FValid = true;
    ScrollCaret();
}

void TValueEdit::TextChanged() {
    long double Number = 0;
    if (ParseText(Number) == TParse::Unparseable) {
        if (FValid) {
            MarkInvalid();
            RaiseChangeValue();
        }
        return;
    }
    if (BelowMin(Number) || AboveMax(Number)) {
        // One event for the change of validity or value, so that the owner
        // never goes on trusting a field that now shows red.
        const bool WasValid = FValid;
        if (WasValid) MarkInvalid();
        if (PullToBound(Number) || WasValid) RaiseChangeValue();
        return;
    }
    if (!FValid) MarkValid();
    StoreParsed(Number);
    RaiseChangeValue();
}

void TValueEdit::UpdateText() {
    // Writing the text must not parse it again.
    OnChange = nullptr;
    struct TReattach {
        TValueEdit* Edit;
        ~TReattach() {
            Edit->OnChange = [E = Edit](TEdit&) { E->TextChanged(); };
        }
    } Reattach{this};
    if (!FValid) {
        SetFontColor(clWindowText);
        SetEditRect();
        FValid = true;
    }
    SetText(ValueText());
}

void TValueEdit::SetEditRect() {
    if (!FSpinButton) return;
    SetEditRectangle(TRect{0, 0, ClientWidth() - FSpinButton->Width() - 1, ClientHeight() + 1});
}

void TValueEdit::SetFocusOnMouseWheel(bool Value) {
    if (Value == FFocusOnMouseWheel) return;
    FFocusOnMouseWheel = Value;
    if (Value) HookForm();
}

void TValueEdit::SetAlignment(TAlignment Value) {
    if (Value == FAlignment) return;
    FAlignment = Value;
    RecreateWnd();
    FSavedOverflowLength = 0;
}

void TValueEdit::SetEnabled(bool Value) {
    TControl::SetEnabled(Value);
    if (FSpinButton) {
        FSpinButton->UpButton()->SetEnabled(Value);
        FSpinButton->DownButton()->SetEnabled(Value);
        FSpinButton->Repaint();
    }
}

void TValueEdit::HookForm() {
    TForm* Owner = Form();
    if (!Owner) return;
    if (!FormHasMouseWheelHandler(*Owner)) SetFormMouseWheelHandler(*Owner, FormWheelHandler);
    WheelForm = Owner;
}

void TValueEdit::UpdateSpinButton(bool Wanted) {
    if (Wanted && !FSpinButton) {
        FSpinButton = std::make_unique<TSpinButton>();
        FSpinButton->Name = "SpinButton";
        FSpinButton->SetBounds(0, 0, SpinButtonWidth, SpinButtonHeight);
        FSpinButton->FocusControl = this;
        FSpinButton->OnUpClick = [this](TSpinButton& Sender) { StepUp(&Sender); };
        FSpinButton->OnDownClick = [this](TSpinButton& Sender) { StepDown(&Sender); };
        if (!Enabled()) {
            FSpinButton->UpButton()->SetEnabled(false);
            FSpinButton->DownButton()->SetEnabled(false);
        }
    } else if (!Wanted) {
        FSpinButton.reset();
    }
    RecreateWnd();
}

void TValueEdit::CreateWnd() {
    if (FSpinButton) {
        if (Handle()) FSpinButton->CreateWindowIn(Handle());
        LayoutSpinButton();
    } else {
        SetEditRect();
    }
    if (AutoSelect && SelLength() == 0) SelectAll();
    if (FSpinButton && FFocusOnMouseWheel) HookForm();
}

void TValueEdit::Resize() {
    if (FSpinButton) LayoutSpinButton();
}

void TValueEdit::LayoutSpinButton() {
    const int W = FSpinButton->Width();
    if (Ctl3D)
        FSpinButton->SetBounds(Width() - W - 4, 0, W, Height() - 4);
    else
        FSpinButton->SetBounds(Width() - W - 1, 1, W, Height() - 3);
    SetEditRect();
    PostToSelf(LayoutSpinButtonsCode);
}

void TValueEdit::PostedMessage(int Code) {
    if (Code == LayoutSpinButtonsCode && FSpinButton) LayoutSpinButtonHalves();
}

void TValueEdit::LayoutSpinButtonHalves() {
    const int W = FSpinButton->Width(), H = FSpinButton->Height();
    const int UpperHeight = (H + 1) / 2;
    FSpinButton->UpButton()->SetBounds(0, 0, W, UpperHeight);
    FSpinButton->DownButton()->SetBounds(0, UpperHeight - 1, W, H - UpperHeight + 1);
    FSpinButton->Repaint();
}

void TValueEdit::Change() {
    if (FSpinButton) {
        const int Length = int(Text().size());
        if (FAlignment == TAlignment::taRightJustify && LineCount() > 1) {
            const int Caret = SelLength() == 0 ? SelStart() : -1;
            SetAlignment(TAlignment::taLeftJustify);
            if (Caret >= 0) SetSelection(Caret, 0);
            FSavedOverflowLength = Length;
        } else if (FSavedOverflowLength != 0 && LineCount() <= 1 && Length < FSavedOverflowLength) {
            const int Caret = SelLength() == 0 ? SelStart() : -1;
            SetAlignment(TAlignment::taRightJustify);
            if (Caret >= 0) SetSelection(Caret, 0);
        }
    }
    TEdit::Change();
}

void TValueEdit::KeyDown(int& Key, TShiftState Shift) {
    if (FSpinButton) {
        if (Key == vkUp)
            StepUp(this);
        else if (Key == vkDown)
            StepDown(this);
    }
    TEdit::KeyDown(Key, Shift);
}

void TValueEdit::KeyPress(char& Key) {
    TEdit::KeyPress(Key);
    // The multi-line window would break the line (or beep).
    if (Key == '\r') Key = 0;
}

bool TValueEdit::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
    if (WheelDelta > 0) return DoMouseWheelUp(Shift, MousePos);
    if (WheelDelta < 0) return DoMouseWheelDown(Shift, MousePos);
    return false;
}

bool TValueEdit::DoMouseWheelUp(TShiftState Shift, TPoint MousePos) {
    if (WheelForm) {
        bool Handled = false;
        FormWheelHandler(*WheelForm, Shift, 1, MousePos, Handled);
        if (Handled) return true;
    }
    if (!FSpinButton) return false;
    StepUp(this);
    return true;
}

bool TValueEdit::DoMouseWheelDown(TShiftState Shift, TPoint MousePos) {
    if (WheelForm) {
        bool Handled = false;
        FormWheelHandler(*WheelForm, Shift, -1, MousePos, Handled);
        if (Handled) return true;
    }
    if (!FSpinButton) return false;
    StepDown(this);
    return true;
}

void TValueEdit::DoEnter() {
    if (AutoSelect && SelLength() == 0) SelectAll();
}

void TValueEdit::FinishStep() {
    SetSelection(int(Text().size()), 0);
    RaiseChangeValue();
}

void FormWheelHandler(TForm& Form, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled) {
    TControl* C = &Form;
    for (;;) {
        const TPoint Origin = ClientOrigin(*C);
        TControl* Child = ChildAtPoint(*C, TPoint{MousePos.X - Origin.X, MousePos.Y - Origin.Y});
        if (!Child || !IsWindowedControl(*Child)) break;
        C = Child;
    }
    if (ControlFocused(*C) || FocusedControl(Form) == C || !CanFocusControl(*C)) return;
    if (dynamic_cast<TComboBox*>(C)) {
        SetFocusTo(*C);
        Handled = true;
        return;
    }
    auto* Edit = dynamic_cast<TValueEdit*>(C);
    if (!Edit || !Edit->SpinButton()) return;
    SetFocusTo(*Edit);
    if (WheelDelta > 0)
        Edit->DoMouseWheelUp(Shift, MousePos);
    else if (WheelDelta < 0)
        Edit->DoMouseWheelDown(Shift, MousePos);
    Handled = true;
}

// ---- TIntegerEdit -----------------------------------------------------------------

TIntegerEdit::TIntegerEdit() { UpdateText(); }

void TIntegerEdit::SetValueFrom(std::int64_t Value) {
    if (Value > FMax)
        FValue = FMax;
    else if (Value < FMin)
        FValue = FMin;
    else
        FValue = std::int32_t(Value);
    UpdateText();
}

void TIntegerEdit::SetValue(std::int32_t Value) { SetValueFrom(Value); }

void TIntegerEdit::SetMax(std::int32_t Value) {
    FMax = Value;
    if (FValue > FMax) {
        FValue = FMax;
        UpdateText();
    }
}

void TIntegerEdit::SetMin(std::int32_t Value) {
    FMin = Value;
    if (FValue < FMin) {
        FValue = FMin;
        UpdateText();
    }
}

void TIntegerEdit::SetSpinIncrement(std::int32_t Value) {
    FSpinIncrement = Value;
    UpdateSpinButton(Value != 0);
}

// Steps are computed in 64 bits so that they clamp instead of wrapping.
void TIntegerEdit::StepUp(TControl*) {
    const std::int64_t S = FSpinIncrement;
    SetValueFrom(S >= 0 ? FValue + S : FValue * -S);
    FinishStep();
}

void TIntegerEdit::StepDown(TControl*) {
    const std::int64_t S = FSpinIncrement;
    SetValueFrom(S >= 0 ? FValue - S : FValue / -S);
    FinishStep();
}

TValueEdit::TParse TIntegerEdit::ParseText(long double& Number) {
    const std::optional<long double> Parsed = ParseIntegerText(Text(), SimpleValue, SymbolTable);
    if (!Parsed) return TParse::Unparseable;
    Number = *Parsed;
    return TParse::Parsed;
}

bool TIntegerEdit::PullToBound(long double Number) {
    const std::int32_t Bound = Number < FMin ? FMin : FMax;
    if (Bound == FValue) return false;
    FValue = Bound;
    return true;
}

void TIntegerEdit::StoreParsed(long double Number) { FValue = std::int32_t(Number); }

std::string TIntegerEdit::ValueText() const { return std::to_string(FValue); }

// ---- TFloatEdit -------------------------------------------------------------------

TFloatEdit::TFloatEdit() { UpdateText(); }

void TFloatEdit::SetValue(long double Value) {
    if (Value == FValue && Valid()) return;
    if (!(Value <= FMax))
        FValue = FMax;
    else if (Value < FMin)
        FValue = FMin;
    else
        FValue = Value;
    UpdateText();
}

void TFloatEdit::SetMax(long double Value) {
    FMax = Value;
    if (FValue > FMax) {
        FValue = FMax;
        UpdateText();
    }
}

void TFloatEdit::SetMin(long double Value) {
    FMin = Value;
    if (FValue < FMin) {
        FValue = FMin;
        UpdateText();
    }
}

void TFloatEdit::SetFormatString(const std::string& Value) {
    FFormatString = Value;
    UpdateText();
}

void TFloatEdit::SetSpinIncrement(long double Value) {
    FSpinIncrement = Value;
    UpdateSpinButton(Value != 0);
}

void TFloatEdit::StepUp(TControl*) {
    const long double S = FSpinIncrement;
    if (S >= 0)
        SetValue(FValue + ((KeyboardShiftState() & ssShift) ? S / 10 : S));
    else
        SetValue(FValue * -S);
    FinishStep();
}

void TFloatEdit::StepDown(TControl*) {
    const long double S = FSpinIncrement;
    if (S >= 0)
        SetValue(FValue - ((KeyboardShiftState() & ssShift) ? S / 10 : S));
    else
        SetValue(FValue / -S);
    FinishStep();
}

TValueEdit::TParse TFloatEdit::ParseText(long double& Number) {
    const std::optional<long double> Parsed = ParseFloatText(Text(), SimpleValue, SymbolTable);
    if (!Parsed) return TParse::Unparseable;
    Number = *Parsed;
    return TParse::Parsed;
}

bool TFloatEdit::PullToBound(long double Number) {
    const long double Bound = Number < FMin ? FMin : FMax;
    if (Bound == FValue) return false;
    FValue = Bound;
    return true;
}

std::string TFloatEdit::ValueText() const { return FormatFloat(FFormatString, FValue, UserDecimalSeparator()); }

} // namespace fi
