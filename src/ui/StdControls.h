#pragma once
// The windowed controls the parameter dialog needs beyond buttons and
// labels: a text edit, a check box, a drop-down list, a bevel and a spin
// button, with keyboard focus and mouse-wheel routing. Their rules live here;
// the platform layer makes real EDIT, BUTTON and COMBOBOX windows (win32) or
// keeps them headless (native), where the user's typing, keys, wheel turns
// and clicks are played to the same handlers a real window would call.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/Forms.h"
#include "ui/StyleForm.h"

namespace fi {

using TShiftState = std::uint8_t;
enum : TShiftState { ssShift = 1, ssAlt = 2, ssCtrl = 4 };

// Virtual key codes the controls react to.
inline constexpr int vkReturn = 0x0D;
inline constexpr int vkUp = 0x26;
inline constexpr int vkDown = 0x28;

// A system colour is stored as its index with the high byte set and looked
// up when drawn, so that it follows the user's colour scheme.
inline constexpr TColor clSystemColor = 0xFF000000u;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clWindow = clSystemColor | 5;
TColor ColorToRGB(TColor Color);

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// True for controls that have a window of their own (buttons and the
// controls of this unit), as opposed to drawn ones such as labels.
bool IsWindowedControl(const TControl& Control);
// Visible and enabled up to its form, and a kind that takes the focus.
bool CanFocusControl(const TControl& Control);
// The control of Form that has the keyboard focus, or none.
TControl* FocusedControl(TForm& Form);
bool ControlFocused(TControl& Control);
// Gives Control the keyboard focus (its handlers run as for a user's Tab).
void SetFocusTo(TControl& Control);
// Top-left of Control's client area in screen coordinates.
TPoint ClientOrigin(const TControl& Control);
// The visible, enabled child of Parent under Point (Parent's client
// coordinates): windowed children before drawn ones, each the last created
// first; none when there is no such child.
TControl* ChildAtPoint(TControl& Parent, TPoint Point);

// The modifier keys held at the moment (headless: those of the simulated
// input being played).
TShiftState KeyboardShiftState();
// The user turns the wheel with the pointer at ScreenPos (screen
// coordinates); the turn goes to the control with the focus.
void UserTurnsWheel(TForm& Form, int WheelDelta, TPoint ScreenPos, TShiftState Shift = 0);

// A form's mouse-wheel handler: the forms of the base have none, so one is
// kept here per form.
using TMouseWheelEvent =
    std::function<void(TForm& Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;
bool FormHasMouseWheelHandler(const TForm& Form);
void SetFormMouseWheelHandler(TForm& Form, TMouseWheelEvent Handler);
// Runs Form's wheel handler, false when it has none or it left the event.
bool DoFormMouseWheel(TForm& Form, TShiftState Shift, int WheelDelta, TPoint MousePos);

// A control with a window, keyboard input and wheel handling of its own.
class TWinControl : public TControl {
public:
    const char* ClassName() const override { return "TWinControl"; }
    bool TabStop = true;

    // Input handlers, called by the platform layer as the messages come.
    virtual void KeyDown(int& Key, TShiftState Shift);
    virtual void KeyPress(char& Key);
    // True when the turn was used; otherwise it goes on to the parent.
    virtual bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos);
    // The control received the keyboard focus.
    virtual void DoEnter() {}
    // The window was made (again).
    virtual void CreateWnd() {}
    // The control's size changed.
    virtual void Resize() {}
    // A message posted to the control itself came back (win32 message
    // queue; headless at once).
    virtual void PostedMessage(int Code);

    // Destroys and makes the window again, when it exists (win32: after
    // the window's current message when it is inside one). Headless, where
    // the window is imaginary, the control is made again at once.
    void RecreateWnd();
    void PostToSelf(int Code);
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    // Client area size (inside a three-dimensional border).
    virtual int ClientWidth() const { return Width(); }
    virtual int ClientHeight() const { return Height(); }

protected:
    // Saves state held by the window before it goes away.
    virtual void SaveWindowState() {}
};

// A wheel turn over Target, the control with the focus: its own handler,
// then its parents' up to the form, whose wheel handler comes last.
bool DispatchMouseWheel(TControl& Target, TShiftState Shift, int WheelDelta, TPoint MousePos);

// The platform's single-line text edit.
class TEdit : public TWinControl {
public:
    TEdit();
    ~TEdit() override;
    const char* ClassName() const override { return "TEdit"; }

    const std::string& Text() const { return FText; }
    // Writes the text as a program does; the change handler runs.
    void SetText(const std::string& Value);
    // The edit's text-change handler (runs after every change of the text).
    std::function<void(TEdit& Sender)> OnChange;
    // Selection, in characters.
    int SelStart() const;
    int SelLength() const;
    void SetSelection(int Start, int Length);
    void SelectAll();
    bool AutoSelect = true;
    bool Ctl3D = true;
    // Text colour.
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor Value);
    // The rectangle the text is drawn in, client coordinates.
    TRect EditRect() const { return FEditRect; }
    void SetEditRectangle(const TRect& R);
    // Keeps the caret in view.
    void ScrollCaret();
    // Number of lines the text takes up in the edit rectangle.
    int LineCount() const;

    int ClientWidth() const override { return Ctl3D ? Width() - 4 : Width(); }
    int ClientHeight() const override { return Ctl3D ? Height() - 4 : Height(); }

    // The user's input (headless: played to the handlers; win32: sent to
    // the window as keyboard messages).
    void UserTypes(const std::string& Chars);
    void UserPressesKey(int Key, TShiftState Shift = 0);

    // Window style wishes of descendants.
    virtual bool MultiLineStyle() const { return false; }
    virtual TAlignment TextAlignment() const { return TAlignment::taLeftJustify; }

    // The platform layer saw the text change.
    void TextChangedByWindow(const std::string& NewText);
    virtual void Change();

protected:
    void CreateHandle(TWindowHandle ParentWindow) override;
    void SaveWindowState() override;

private:
    void UpdateWindowEditText();
    void UpdateWindowSelection();
    void UpdateWindowEditRect();
    void ReadWindowSelection(int& Start, int& Length) const;

    std::string FText;
    bool FWritingText = false; // the window's own change notice is ours
    int FSelStart = 0, FSelLength = 0;
    TColor FFontColor = clWindowText;
    TRect FEditRect;
};

class TCheckBox : public TWinControl {
public:
    const char* ClassName() const override { return "TCheckBox"; }
    bool Checked() const;
    void SetChecked(bool Value);
    // Toggles the tick, then runs OnClick.
    void Click() override;

protected:
    void CreateHandle(TWindowHandle ParentWindow) override;

private:
    bool FChecked = false;
};

// A drop-down list without free text.
class TComboBox : public TWinControl {
public:
    const char* ClassName() const override { return "TComboBox"; }
    void AddItem(const std::string& Item);
    const std::vector<std::string>& Items() const { return FItems; }
    // -1 when nothing is selected.
    int ItemIndex() const { return FItemIndex; }
    // Selects by program; raises no event.
    void SetItemIndex(int Value);
    int ItemHeight = 13;
    // The user picked an item.
    std::function<void(TComboBox& Sender)> OnChange;
    // The user's choice (headless: as the list reports it; win32: the
    // window's selection, then the change event).
    void UserSelects(int Index);
    // The platform layer reports a new selection by the user.
    void SelectionChangedByWindow(int Index);

protected:
    void CreateHandle(TWindowHandle ParentWindow) override;

private:
    std::vector<std::string> FItems;
    int FItemIndex = -1;
};

// A bevel drawn as the lowered line along its bottom edge.
class TBevel : public TControl {
public:
    const char* ClassName() const override { return "TBevel"; }

protected:
    void CreateHandle(TWindowHandle ParentWindow) override;
};

// A 32-bit image (0x00RRGGBB per pixel, rows top down).
struct TGlyph {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint32_t& At(int X, int Y) { return Pixels[std::size_t(Y) * std::size_t(Width) + std::size_t(X)]; }
    std::uint32_t At(int X, int Y) const { return Pixels[std::size_t(Y) * std::size_t(Width) + std::size_t(X)]; }
};
// The 9 × 6 arrow: a black triangle with rows of 1, 3, 5 and 7 pixels on a
// white one-pixel border, pointing up or down.
TGlyph MakeArrowGlyph(bool Up);
// The glyph with its disabled image beside it (two images, one pixel less
// high): greyed pixels with a white highlight after each.
TGlyph AddDisabledImage(const TGlyph& Glyph);

// One of a spin button's two halves (drawn by the spin button).
class TSpinButtonPart : public TControl {
public:
    const char* ClassName() const override { return "TSpinButtonPart"; }
    TGlyph Glyph; // enabled and disabled image side by side
    bool Pressed = false;
};

inline constexpr int SpinInitialRepeatMs = 400;
inline constexpr int SpinRepeatMs = 100;

class TSpinButton : public TWinControl {
public:
    TSpinButton();
    const char* ClassName() const override { return "TSpinButton"; }
    TSpinButtonPart* UpButton() const { return FUp; }
    TSpinButtonPart* DownButton() const { return FDown; }
    // The control that takes the focus when a half is pressed.
    TWinControl* FocusControl = nullptr;
    std::function<void(TSpinButton& Sender)> OnUpClick;
    std::function<void(TSpinButton& Sender)> OnDownClick;
    // The user presses a half and lets go before the first repeat.
    void UserClicks(bool Up, TShiftState Shift = 0);
    // The edit that holds the spin button makes and drops its window.
    void CreateWindowIn(TWindowHandle ParentWindow) { CreateHandle(ParentWindow); }
    void WindowGone();
    // A press on a half: focus, then the click; repeats follow while held.
    void PressPart(bool Up);
    void ReleasePart();
    void RepeatClick();
    TSpinButtonPart* PressedPart() const;

protected:
    void CreateHandle(TWindowHandle ParentWindow) override;

private:
    TSpinButtonPart* FUp;
    TSpinButtonPart* FDown;
};

// win32: the form's share of the controls' messages (notifications, text
// colours, wheel turns). True when Message was handled.
bool RouteControlMessage(TForm& Form, TMessage& Message);

} // namespace fi
