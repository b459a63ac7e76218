// Real windows for the controls: EDIT, BUTTON (check box) and COMBOBOX
// windows subclassed for our keyboard and wheel handling, and small window
// classes of our own for the bevel line and the spin button.
#include <windows.h>

#include <algorithm>

#include "support/Exceptions.h"
#include "support/ModuleEntry.h"
#include "ui/FormsWin32.h"
#include "ui/StdControls.h"

namespace fi {

namespace {

constexpr const char* ControlProp = "fi.Control";
constexpr const char* OldProcProp = "fi.OldProc";
constexpr UINT WM_POSTEDCODE = WM_APP + 0x110;
constexpr UINT WM_RECREATE = WM_APP + 0x111;
constexpr UINT_PTR RepeatTimer = 1;

TWinControl* ControlOf(HWND Window) { return static_cast<TWinControl*>(GetPropA(Window, ControlProp)); }

TShiftState ShiftFromKeys() {
    TShiftState S = 0;
    if (GetKeyState(VK_SHIFT) < 0) S |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) S |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) S |= ssAlt;
    return S;
}

// Depth of messages being handled per control window: a re-creation asked
// for inside one waits until the window is out of its own code.
int Busy = 0;

LRESULT CALLBACK SubclassProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    const TModuleEntry Entry;
    const auto Old = reinterpret_cast<WNDPROC>(GetPropA(Window, OldProcProp));
    TWinControl* C = ControlOf(Window);
    if (!C) return CallWindowProcA(Old, Window, Msg, WParam, LParam);
    ++Busy;
    struct TLeave {
        ~TLeave() { --Busy; }
    } Leave;
    switch (Msg) {
    case WM_KEYDOWN: {
        int Key = int(WParam);
        C->DispatchEvent([&] { C->KeyDown(Key, ShiftFromKeys()); });
        if (Key == 0) return 0;
        break;
    }
    case WM_CHAR: {
        char Key = char(WParam);
        C->DispatchEvent([&] { C->KeyPress(Key); });
        if (Key == 0) return 0;
        WParam = WPARAM(static_cast<unsigned char>(Key));
        break;
    }
    case WM_GETDLGCODE:
        // Enter and Escape stay with the dialog's default and cancel buttons.
        return CallWindowProcA(Old, Window, Msg, WParam, LParam) & ~LRESULT(DLGC_WANTALLKEYS);
    case WM_MOUSEWHEEL: {
        const TPoint Pos{short(LOWORD(LParam)), short(HIWORD(LParam))};
        TShiftState Shift = 0;
        if (LOWORD(WParam) & MK_SHIFT) Shift |= ssShift;
        if (LOWORD(WParam) & MK_CONTROL) Shift |= ssCtrl;
        const bool Handled = DispatchMouseWheel(*C, Shift, short(HIWORD(WParam)), Pos);
        // An edit's own wheel handling would scroll its lines.
        if (Handled || dynamic_cast<TEdit*>(C)) return 0;
        break;
    }
    case WM_SETFOCUS: {
        const LRESULT R = CallWindowProcA(Old, Window, Msg, WParam, LParam);
        C->DispatchEvent([C] { C->DoEnter(); });
        return R;
    }
    case WM_SIZE:
        C->DispatchEvent([C] { C->Resize(); });
        break;
    case WM_POSTEDCODE:
        C->DispatchEvent([&] { C->PostedMessage(int(WParam)); });
        return 0;
    case WM_RECREATE:
        C->RecreateWnd();
        return 0;
    case WM_NCDESTROY:
        RemovePropA(Window, ControlProp);
        RemovePropA(Window, OldProcProp);
        SetWindowLongPtrA(Window, GWLP_WNDPROC, LONG_PTR(Old));
        break;
    default:
        break;
    }
    return CallWindowProcA(Old, Window, Msg, WParam, LParam);
}

HWND MakeWindow(TControl& Control, HWND Parent, const char* Class, DWORD Style, DWORD ExStyle, int Height) {
    Style |= WS_CHILD;
    if (Control.Visible()) Style |= WS_VISIBLE;
    if (!Control.Enabled()) Style |= WS_DISABLED;
    HWND Window = CreateWindowExA(ExStyle, Class, Control.Caption().c_str(), Style, Control.Left(), Control.Top(),
                                  Control.Width(), Height, Parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(Control.ControlId())),
                                  ModuleInstance(), nullptr);
    if (!Window) throw Exception("Cannot create a window");
    if (TForm* Owner = Control.Form(); Owner && Owner->FontHandle)
        SendMessageA(Window, WM_SETFONT, WPARAM(Owner->FontHandle), FALSE);
    return Window;
}

void Subclass(HWND Window, TWinControl& Control) {
    SetPropA(Window, ControlProp, &Control);
    SetPropA(Window, OldProcProp, reinterpret_cast<HANDLE>(GetWindowLongPtrA(Window, GWLP_WNDPROC)));
    SetWindowLongPtrA(Window, GWLP_WNDPROC, LONG_PTR(SubclassProc));
}

TControl* FindByHandle(TControl& Parent, HWND Window) {
    for (const auto& Child : Parent.Controls()) {
        if (HWND(Child->Handle()) == Window) return Child.get();
        if (TControl* Inner = FindByHandle(*Child, Window)) return Inner;
    }
    return nullptr;
}

// ---- own window classes ----------------------------------------------------------

void DrawGlyph(HDC Dc, const TGlyph& G, bool Disabled, int Left, int Top) {
    const int Half = G.Width / 2;
    const std::uint32_t Transparent = G.At(0, G.Height - 1);
    for (int Y = 0; Y < G.Height; ++Y)
        for (int X = 0; X < Half; ++X) {
            const std::uint32_t P = G.At(X + (Disabled ? Half : 0), Y);
            if (P == Transparent) continue;
            SetPixelV(Dc, Left + X, Top + Y, RGB((P >> 16) & 0xFF, (P >> 8) & 0xFF, P & 0xFF));
        }
}

LRESULT CALLBACK SpinProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    const TModuleEntry Entry;
    auto* Spin = static_cast<TSpinButton*>(GetPropA(Window, ControlProp));
    if (!Spin) return DefWindowProcA(Window, Msg, WParam, LParam);
    const auto PartAt = [&](int Y) { return Y < Spin->DownButton()->Top() + 1 ? true : false; };
    switch (Msg) {
    case WM_PAINT: {
        PAINTSTRUCT Ps;
        HDC Dc = BeginPaint(Window, &Ps);
        for (TSpinButtonPart* Part : {Spin->UpButton(), Spin->DownButton()}) {
            RECT R{Part->Left(), Part->Top(), Part->Left() + Part->Width(), Part->Top() + Part->Height()};
            DrawFrameControl(Dc, &R, DFC_BUTTON, DFCS_BUTTONPUSH | (Part->Pressed ? DFCS_PUSHED : 0));
            const int Shift = Part->Pressed ? 1 : 0;
            DrawGlyph(Dc, Part->Glyph, !Part->Enabled(), R.left + (Part->Width() - 9) / 2 + Shift,
                      R.top + (Part->Height() - 5) / 2 + Shift);
        }
        EndPaint(Window, &Ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetCapture(Window);
        Spin->DispatchEvent([&] { Spin->PressPart(PartAt(short(HIWORD(LParam)))); });
        SetTimer(Window, RepeatTimer, SpinInitialRepeatMs, nullptr);
        return 0;
    case WM_TIMER:
        SetTimer(Window, RepeatTimer, SpinRepeatMs, nullptr);
        if (Spin->PressedPart() && GetCapture() == Window) Spin->RepeatClick();
        return 0;
    case WM_LBUTTONUP:
        KillTimer(Window, RepeatTimer);
        // The release clicks while the half is still pressed: giving up the
        // capture first would clear the press and lose the click.
        Spin->DispatchEvent([&] { Spin->ReleasePart(); });
        if (GetCapture() == Window) ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        KillTimer(Window, RepeatTimer);
        Spin->UpButton()->Pressed = Spin->DownButton()->Pressed = false;
        InvalidateRect(Window, nullptr, TRUE);
        return 0;
    case WM_NCDESTROY:
        RemovePropA(Window, ControlProp);
        Spin->WindowGone();
        break;
    default:
        break;
    }
    return DefWindowProcA(Window, Msg, WParam, LParam);
}

LRESULT CALLBACK BevelProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    const TModuleEntry Entry;
    if (Msg == WM_PAINT) {
        PAINTSTRUCT Ps;
        HDC Dc = BeginPaint(Window, &Ps);
        RECT R;
        GetClientRect(Window, &R);
        R.top = R.bottom - 2;
        DrawEdge(Dc, &R, EDGE_ETCHED, BF_TOP);
        EndPaint(Window, &Ps);
        return 0;
    }
    return DefWindowProcA(Window, Msg, WParam, LParam);
}

void RegisterClassOnce(const char* Name, WNDPROC Proc) {
    WNDCLASSEXA Class{};
    Class.cbSize = sizeof Class;
    if (GetClassInfoExA(ModuleInstance(), Name, &Class)) return;
    Class.cbSize = sizeof Class;
    Class.lpfnWndProc = Proc;
    Class.hInstance = ModuleInstance();
    Class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    Class.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    Class.lpszClassName = Name;
    RegisterClassExA(&Class);
}

} // namespace

TColor ColorToRGB(TColor Color) { return Color & clSystemColor ? GetSysColor(int(Color & 0xFF)) : Color; }

TShiftState KeyboardShiftState() { return ShiftFromKeys(); }

TControl* FocusedControl(TForm& Form) { return FindByHandle(Form, GetFocus()); }

void SetFocusTo(TControl& Control) {
    if (Control.Handle()) {
        SetFocus(HWND(Control.Handle())); // the window reports the focus itself
        return;
    }
    if (auto* W = dynamic_cast<TWinControl*>(&Control)) W->DispatchEvent([W] { W->DoEnter(); });
}

TPoint ClientOrigin(const TControl& Control) {
    POINT P{0, 0};
    ClientToScreen(HWND(Control.Handle()), &P);
    return TPoint{int(P.x), int(P.y)};
}

void UserTurnsWheel(TForm& Form, int WheelDelta, TPoint ScreenPos, TShiftState Shift) {
    TControl* Target = FocusedControl(Form);
    const HWND Window = HWND(Target ? Target->Handle() : Form.Handle());
    SendMessageA(Window, WM_MOUSEWHEEL, MAKEWPARAM((Shift & ssShift) ? MK_SHIFT : 0, WheelDelta),
                 MAKELPARAM(ScreenPos.X, ScreenPos.Y));
}

bool RouteControlMessage(TForm& Form, TMessage& M) {
    switch (M.Msg) {
    case WM_COMMAND: {
        TControl* C = FindByHandle(Form, HWND(M.LParam));
        if (auto* E = dynamic_cast<TEdit*>(C); E && HIWORD(M.WParam) == EN_CHANGE) {
            char Buffer[1024] = {};
            GetWindowTextA(HWND(E->Handle()), Buffer, sizeof Buffer);
            const std::string Text = Buffer;
            E->DispatchEvent([&] { E->TextChangedByWindow(Text); });
            return true;
        }
        if (auto* B = dynamic_cast<TComboBox*>(C); B && HIWORD(M.WParam) == CBN_SELCHANGE) {
            B->SelectionChangedByWindow(int(SendMessageA(HWND(B->Handle()), CB_GETCURSEL, 0, 0)));
            return true;
        }
        return false;
    }
    case WM_CTLCOLOREDIT: {
        auto* E = dynamic_cast<TEdit*>(FindByHandle(Form, HWND(M.LParam)));
        if (!E) return false;
        SetTextColor(HDC(M.WParam), ColorToRGB(E->FontColor()));
        SetBkColor(HDC(M.WParam), GetSysColor(COLOR_WINDOW));
        M.Result = LRESULT(GetSysColorBrush(COLOR_WINDOW));
        return true;
    }
    case WM_MOUSEWHEEL: {
        const TPoint Pos{short(LOWORD(M.LParam)), short(HIWORD(M.LParam))};
        TShiftState Shift = (LOWORD(M.WParam) & MK_SHIFT) ? ssShift : 0;
        return DoFormMouseWheel(Form, Shift, short(HIWORD(M.WParam)), Pos);
    }
    default:
        return false;
    }
}

// ---- TWinControl ------------------------------------------------------------------

void TWinControl::RecreateWnd() {
    if (!FHandle) return;
    if (Busy > 0) {
        PostMessageA(HWND(FHandle), WM_RECREATE, 0, 0);
        return;
    }
    const TWindowHandle ParentWindow = Parent() ? Parent()->Handle() : 0;
    SaveWindowState();
    DestroyHandle();
    if (ParentWindow) CreateHandle(ParentWindow);
}

void TWinControl::PostToSelf(int Code) {
    if (FHandle)
        PostMessageA(HWND(FHandle), WM_POSTEDCODE, WPARAM(Code), 0);
    else
        PostedMessage(Code);
}

// ---- TEdit ----------------------------------------------------------------------

void TEdit::CreateHandle(TWindowHandle ParentWindow) {
    DWORD Style = WS_TABSTOP | ES_AUTOHSCROLL;
    if (MultiLineStyle()) Style |= ES_MULTILINE | WS_CLIPCHILDREN;
    switch (TextAlignment()) {
    case TAlignment::taRightJustify:
        Style |= ES_RIGHT;
        break;
    case TAlignment::taCenter:
        Style |= ES_CENTER;
        break;
    case TAlignment::taLeftJustify:
        break;
    }
    HWND Window = MakeWindow(*this, HWND(ParentWindow), "EDIT", Style, Ctl3D ? WS_EX_CLIENTEDGE : 0, Height());
    FHandle = TWindowHandle(Window);
    FWritingText = true;
    SetWindowTextA(Window, FText.c_str());
    FWritingText = false;
    SendMessageA(Window, EM_SETSEL, WPARAM(FSelStart), LPARAM(FSelStart + FSelLength));
    Subclass(Window, *this);
    CreateWnd();
}

void TEdit::UpdateWindowEditText() {
    if (FHandle) SetWindowTextA(HWND(FHandle), FText.c_str());
}

void TEdit::UpdateWindowSelection() {
    if (FHandle) SendMessageA(HWND(FHandle), EM_SETSEL, WPARAM(FSelStart), LPARAM(FSelStart + FSelLength));
}

void TEdit::UpdateWindowEditRect() {
    if (!FHandle || !MultiLineStyle()) return;
    RECT R{FEditRect.Left, FEditRect.Top, FEditRect.Right, FEditRect.Bottom};
    SendMessageA(HWND(FHandle), EM_SETRECT, 0, LPARAM(&R));
}

void TEdit::ReadWindowSelection(int& Start, int& Length) const {
    if (!FHandle) return;
    DWORD From = 0, To = 0;
    SendMessageA(HWND(FHandle), EM_GETSEL, WPARAM(&From), LPARAM(&To));
    Start = int(From);
    Length = int(To) - int(From);
}

void TEdit::ScrollCaret() {
    if (FHandle) SendMessageA(HWND(FHandle), EM_SCROLLCARET, 0, 0);
}

int TEdit::LineCount() const {
    if (!FHandle || !MultiLineStyle()) return 1;
    return int(SendMessageA(HWND(FHandle), EM_GETLINECOUNT, 0, 0));
}

void TEdit::UserTypes(const std::string& Chars) {
    if (!FHandle) return;
    for (char C : Chars) SendMessageA(HWND(FHandle), WM_CHAR, WPARAM(static_cast<unsigned char>(C)), 0);
}

void TEdit::UserPressesKey(int Key, TShiftState) {
    if (FHandle) SendMessageA(HWND(FHandle), WM_KEYDOWN, WPARAM(Key), 0);
}

// ---- the other controls ------------------------------------------------------------

bool TCheckBox::Checked() const {
    return FHandle ? SendMessageA(HWND(FHandle), BM_GETCHECK, 0, 0) == BST_CHECKED : FChecked;
}

void TCheckBox::SetChecked(bool Value) {
    FChecked = Value;
    if (FHandle) SendMessageA(HWND(FHandle), BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::CreateHandle(TWindowHandle ParentWindow) {
    // The tick is toggled by Click, so that both layers behave alike.
    HWND Window = MakeWindow(*this, HWND(ParentWindow), "BUTTON", WS_TABSTOP | BS_CHECKBOX, 0, Height());
    FHandle = TWindowHandle(Window);
    SendMessageA(Window, BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
    Subclass(Window, *this);
}

void TComboBox::SetItemIndex(int Value) {
    FItemIndex = Value >= 0 && Value < int(FItems.size()) ? Value : -1;
    if (FHandle) SendMessageA(HWND(FHandle), CB_SETCURSEL, WPARAM(FItemIndex), 0);
}

void TComboBox::UserSelects(int Index) {
    if (!FHandle) {
        SelectionChangedByWindow(Index);
        return;
    }
    SendMessageA(HWND(FHandle), CB_SETCURSEL, WPARAM(Index), 0);
    SendMessageA(GetParent(HWND(FHandle)), WM_COMMAND, MAKEWPARAM(ControlId(), CBN_SELCHANGE), LPARAM(FHandle));
}

void TComboBox::CreateHandle(TWindowHandle ParentWindow) {
    // The window's height includes its drop-down list.
    HWND Window = MakeWindow(*this, HWND(ParentWindow), "COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0,
                             Height() + ItemHeight * int(std::max<std::size_t>(FItems.size(), 1)) + 8);
    FHandle = TWindowHandle(Window);
    for (const std::string& Item : FItems) SendMessageA(Window, CB_ADDSTRING, 0, LPARAM(Item.c_str()));
    SendMessageA(Window, CB_SETITEMHEIGHT, 0, ItemHeight);
    SendMessageA(Window, CB_SETCURSEL, WPARAM(FItemIndex), 0);
    Subclass(Window, *this);
}

void TBevel::CreateHandle(TWindowHandle ParentWindow) {
    RegisterClassOnce("TBevel", BevelProc);
    FHandle = TWindowHandle(MakeWindow(*this, HWND(ParentWindow), "TBevel", 0, 0, Height()));
}

void TSpinButton::CreateHandle(TWindowHandle ParentWindow) {
    RegisterClassOnce("TSpinButton", SpinProc);
    HWND Window = MakeWindow(*this, HWND(ParentWindow), "TSpinButton", 0, 0, Height());
    FHandle = TWindowHandle(Window);
    SetPropA(Window, ControlProp, this);
}

void TSpinButton::UserClicks(bool Up, TShiftState) {
    if (!FHandle) {
        PressPart(Up);
        ReleasePart();
        return;
    }
    const TSpinButtonPart* Part = Up ? FUp : FDown;
    const LPARAM At = MAKELPARAM(Part->Left() + Part->Width() / 2, Part->Top() + Part->Height() / 2);
    SendMessageA(HWND(FHandle), WM_LBUTTONDOWN, MK_LBUTTON, At);
    SendMessageA(HWND(FHandle), WM_LBUTTONUP, 0, At);
}

} // namespace fi
