#pragma once
// Numeric edit fields: the text is evaluated as a formula (or a plain
// number) on every change, the last accepted value is kept, unaccepted text
// shows in a warning colour, and one event tells the owner about changes of
// the value or its validity. With a spin increment, a spin button inside the
// right edge, the Up and Down keys and the mouse wheel step the value.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "support/Exceptions.h"
#include "ui/StdControls.h"

namespace fi {

class TSymbolTable;

class EValueEdit : public Exception {
public:
    using Exception::Exception;
};

// Dark red.
inline constexpr TColor DefaultInvalidTextColor = 128;
inline constexpr int SpinButtonWidth = 15;
inline constexpr int SpinButtonHeight = 17;
// What the edit posts to itself to lay out the spin button's halves.
inline constexpr int LayoutSpinButtonsCode = 1;

class TValueEdit : public TEdit {
public:
    TValueEdit();
    ~TValueEdit() override;
    const char* ClassName() const override { return "TValueEdit"; }

    // The form whose wheel handler this edit installed, none until hooked.
    TForm* WheelForm = nullptr;
    // Raised when the value or the validity changes.
    std::function<void(TValueEdit& Sender)> OnChangeValue;
    // Parse a plain number instead of an expression.
    bool SimpleValue = false;
    TSymbolTable* SymbolTable;
    TColor InvalidTextColor = DefaultInvalidTextColor;

    bool Valid() const { return FValid; }
    bool FocusOnMouseWheel() const { return FFocusOnMouseWheel; }
    void SetFocusOnMouseWheel(bool Value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    // Text length when right alignment was given up for overflow, else 0.
    int SavedOverflowLength() const { return FSavedOverflowLength; }
    TSpinButton* SpinButton() const { return FSpinButton.get(); }
    // Enables the edit and the spin button's halves.
    void SetEnabled(bool Value);

    virtual void StepUp(TControl* Sender) = 0;
    virtual void StepDown(TControl* Sender) = 0;

    // Runs after every change of the text by the user.
    void TextChanged();
    // Shows Value as text and makes the edit valid.
    void UpdateText();
    // Limits the text area to the part left of the spin button.
    void SetEditRect();
    // Installs the shared wheel handler on the enclosing form.
    void HookForm();
    bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos);
    bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos);

    bool MultiLineStyle() const override { return FSpinButton != nullptr; }
    TAlignment TextAlignment() const override { return FAlignment; }
    void KeyDown(int& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;
    bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
    void DoEnter() override;
    void CreateWnd() override;
    void Resize() override;
    void PostedMessage(int Code) override;
    void Change() override;

protected:
    // The outcome of parsing the text.
    enum class TParse { Unparseable, Parsed };
    virtual TParse ParseText(long double& Number) = 0;
    // Below Min, above Max (not within, for the float edit).
    virtual bool BelowMin(long double Number) const = 0;
    virtual bool AboveMax(long double Number) const = 0;
    // Stores the bound nearest Number; true when Value changed.
    virtual bool PullToBound(long double Number) = 0;
    // Stores Number as Value (within the bounds).
    virtual void StoreParsed(long double Number) = 0;
    virtual std::string ValueText() const = 0;
    // Creates or drops the spin button as the increment demands.
    void UpdateSpinButton(bool Wanted);
    // After a step: caret at the end, then the event.
    void FinishStep();
    void RaiseChangeValue();

private:
    void MarkInvalid();
    void MarkValid();
    void LayoutSpinButton();
    void LayoutSpinButtonHalves();

    int FSavedOverflowLength = 0;
    bool FFocusOnMouseWheel = true;
    TAlignment FAlignment = TAlignment::taLeftJustify;
    bool FValid = false;
    std::unique_ptr<TSpinButton> FSpinButton;
};

class TIntegerEdit : public TValueEdit {
public:
    TIntegerEdit();
    const char* ClassName() const override { return "TIntegerEdit"; }

    std::int32_t Value() const { return FValue; }
    std::int32_t Min() const { return FMin; }
    std::int32_t Max() const { return FMax; }
    std::int32_t SpinIncrement() const { return FSpinIncrement; }
    void SetValue(std::int32_t Value);
    void SetMin(std::int32_t Value);
    void SetMax(std::int32_t Value);
    void SetSpinIncrement(std::int32_t Value);

    void StepUp(TControl* Sender) override;
    void StepDown(TControl* Sender) override;

protected:
    TParse ParseText(long double& Number) override;
    bool BelowMin(long double Number) const override { return Number < FMin; }
    bool AboveMax(long double Number) const override { return Number > FMax; }
    bool PullToBound(long double Number) override;
    void StoreParsed(long double Number) override;
    std::string ValueText() const override;

private:
    void SetValueFrom(std::int64_t Value);

    std::int32_t FValue = 0;
    std::int32_t FMin = 0;
    std::int32_t FMax = 100;
    std::int32_t FSpinIncrement = 0;
};

class TFloatEdit : public TValueEdit {
public:
    TFloatEdit();
    const char* ClassName() const override { return "TFloatEdit"; }

    long double Value() const { return FValue; }
    long double Min() const { return FMin; }
    long double Max() const { return FMax; }
    const std::string& FormatString() const { return FFormatString; }
    long double SpinIncrement() const { return FSpinIncrement; }
    void SetValue(long double Value);
    void SetMin(long double Value);
    void SetMax(long double Value);
    void SetFormatString(const std::string& Value);
    void SetSpinIncrement(long double Value);

    void StepUp(TControl* Sender) override;
    void StepDown(TControl* Sender) override;

protected:
    TParse ParseText(long double& Number) override;
    bool BelowMin(long double Number) const override { return Number < FMin; }
    bool AboveMax(long double Number) const override { return !(Number <= FMax); }
    bool PullToBound(long double Number) override;
    void StoreParsed(long double Number) override { FValue = Number; }
    std::string ValueText() const override;

private:
    long double FValue = 0;
    long double FMin = 0;
    long double FMax = 100;
    std::string FFormatString = "0.##";
    long double FSpinIncrement = 0;
};

// The wheel handler every value edit installs on its form: the turn acts on
// the value edit (or list) under the pointer, which takes the focus first.
void FormWheelHandler(TForm& Form, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled);

} // namespace fi
