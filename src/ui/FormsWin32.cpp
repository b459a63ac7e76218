// Real windows for the forms and controls: one window class per form class,
// the standard BUTTON and STATIC controls, and a modal loop of our own that
// lets the system's dialog navigation (Tab, Enter, Escape) work.
#include "ui/FormsWin32.h"

#include <set>

#include "support/Exceptions.h"
#include "support/ModuleEntry.h"

namespace fi {

namespace {

bool SyncingBounds = false; // the window moved itself: do not move it back

LRESULT CALLBACK FormWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);

void RegisterFormClass(const char* Name) {
    static std::set<std::string> Registered;
    if (!Registered.insert(Name).second) return;
    WNDCLASSEXA Class{};
    Class.cbSize = sizeof Class;
    Class.style = CS_DBLCLKS;
    Class.lpfnWndProc = FormWindowProc;
    Class.hInstance = ModuleInstance();
    Class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    Class.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    Class.lpszClassName = Name;
    RegisterClassExA(&Class);
}

TControl* FindById(TControl& Parent, int Id) {
    for (const auto& Child : Parent.Controls()) {
        if (Child->ControlId() == Id) return Child.get();
        if (TControl* Inner = FindById(*Child, Id)) return Inner;
    }
    return nullptr;
}

TControl* FindByHandle(TControl& Parent, HWND Window) {
    for (const auto& Child : Parent.Controls()) {
        if (HWND(Child->Handle()) == Window) return Child.get();
        if (TControl* Inner = FindByHandle(*Child, Window)) return Inner;
    }
    return nullptr;
}

DWORD ChildStyle(const TControl& Control) {
    DWORD Style = WS_CHILD;
    if (Control.Visible()) Style |= WS_VISIBLE;
    if (!Control.Enabled()) Style |= WS_DISABLED;
    return Style;
}

HWND MakeChild(TControl& Control, HWND Parent, const char* Class, DWORD Style) {
    HWND Window = CreateWindowExA(0, Class, Control.Caption().c_str(), ChildStyle(Control) | Style, Control.Left(),
                                  Control.Top(), Control.Width(), Control.Height(), Parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(Control.ControlId())),
                                  ModuleInstance(), nullptr);
    if (TForm* Owner = Control.Form(); Owner && Owner->FontHandle)
        SendMessageA(Window, WM_SETFONT, WPARAM(Owner->FontHandle), FALSE);
    return Window;
}

LRESULT DefaultFormMessage(TForm& Form, HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_COMMAND: {
        const int Id = LOWORD(WParam);
        if (HIWORD(WParam) != BN_CLICKED && LParam != 0) break;
        if (TControl* Control = FindById(Form, Id)) {
            Control->Click();
            return 0;
        }
        // The dialog manager's Escape and Enter.
        if (Id == IDCANCEL) {
            if (TButton* Cancel = Form.CancelButton())
                Cancel->Click();
            else
                Form.Close();
            return 0;
        }
        if (Id == IDOK) {
            if (TButton* Default = Form.DefaultButton()) Default->Click();
            return 0;
        }
        break;
    }
    case DM_GETDEFID:
        if (TButton* Default = Form.DefaultButton()) return MAKELRESULT(Default->ControlId(), DC_HASDEFID);
        return 0;
    case WM_CLOSE:
        Form.Close();
        if (!Form.Modal()) ShowWindow(Window, SW_HIDE);
        return 0;
    case WM_CTLCOLORSTATIC: {
        auto* Label = dynamic_cast<TLabel*>(FindByHandle(Form, HWND(LParam)));
        if (Label && Label->Transparent) {
            SetBkMode(HDC(WParam), TRANSPARENT);
            return LRESULT(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_WINDOWPOSCHANGED: {
        RECT R;
        GetWindowRect(Window, &R);
        if (!IsIconic(Window) && (R.left != Form.Left() || R.top != Form.Top() ||
                                  R.right - R.left != Form.Width() || R.bottom - R.top != Form.Height())) {
            SyncingBounds = true;
            Form.SetBounds(R.left, R.top, R.right - R.left, R.bottom - R.top);
            SyncingBounds = false;
        }
        break;
    }
    case WM_MODALACTION: {
        std::unique_ptr<std::function<void(TForm&)>> Action(reinterpret_cast<std::function<void(TForm&)>*>(LParam));
        Form.DispatchEvent([&] { (*Action)(Form); });
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcA(Window, Msg, WParam, LParam);
}

LRESULT CALLBACK FormWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    // The host's message loop may dispatch here outside any call into the module.
    const TModuleEntry Entry;
    if (Msg == WM_NCCREATE) {
        const auto* Create = reinterpret_cast<const CREATESTRUCTA*>(LParam);
        SetWindowLongPtrA(Window, GWLP_USERDATA, LONG_PTR(Create->lpCreateParams));
    }
    auto* Form = reinterpret_cast<TForm*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
    if (!Form) return DefWindowProcA(Window, Msg, WParam, LParam);
    // No C++ exception may leave towards the system's message dispatch.
    try {
        TMessage Message{Msg, WParam, LParam, 0};
        if (Form->HandleMessage(Message)) return Message.Result;
        return DefaultFormMessage(*Form, Window, Msg, WParam, LParam);
    } catch (const std::exception& E) {
        Application().HandleException(Form, E);
    } catch (...) {
        Application().HandleException(Form, Exception("Unknown exception"));
    }
    return 0;
}

} // namespace

// ---- helpers ----------------------------------------------------------------

HINSTANCE ModuleInstance() {
    static HMODULE Module = [] {
        HMODULE M = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&ModuleInstance), &M);
        return M;
    }();
    return Module;
}

HFONT CreateFontHandle(const TFontSpec& Font) {
    return CreateFontA(Font.Height, 0, 0, 0, Font.Bold ? FW_BOLD : FW_NORMAL, Font.Italic, Font.Underline,
                       Font.StrikeOut, BYTE(Font.Charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       BYTE(Font.Pitch), Font.Name.c_str());
}

TFontSpec FontSpecFromLogFont(const LOGFONTA& L) {
    TFontSpec Font;
    Font.Name = L.lfFaceName;
    Font.Height = L.lfHeight;
    Font.Charset = L.lfCharSet;
    Font.Bold = L.lfWeight >= FW_BOLD;
    Font.Italic = L.lfItalic != 0;
    Font.Underline = L.lfUnderline != 0;
    Font.StrikeOut = L.lfStrikeOut != 0;
    switch (L.lfPitchAndFamily & 0x0F) {
    case FIXED_PITCH:
        Font.Pitch = 1;
        break;
    case VARIABLE_PITCH:
        Font.Pitch = 2;
        break;
    default:
        Font.Pitch = 0;
        break;
    }
    return Font;
}

void FormWindowStyle(const TForm& Form, DWORD& Style, DWORD& ExStyle) {
    Style = WS_POPUP | WS_CLIPCHILDREN;
    ExStyle = 0;
    switch (Form.BorderStyle) {
    case TBorderStyle::bsNone:
        break;
    case TBorderStyle::bsSingle:
        Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
        break;
    case TBorderStyle::bsSizeable:
        Style |= WS_OVERLAPPEDWINDOW;
        break;
    case TBorderStyle::bsDialog:
        Style |= WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
        ExStyle |= WS_EX_DLGMODALFRAME;
        break;
    case TBorderStyle::bsToolWindow:
        Style |= WS_CAPTION | WS_SYSMENU;
        ExStyle |= WS_EX_TOOLWINDOW;
        break;
    case TBorderStyle::bsSizeToolWin:
        Style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
        ExStyle |= WS_EX_TOOLWINDOW;
        break;
    }
    if (Form.FormStyle == TFormStyle::fsStayOnTop) ExStyle |= WS_EX_TOPMOST;
}

// ---- controls ---------------------------------------------------------------

void TControl::CreateHandle(TWindowHandle ParentWindow) { CreateChildHandles(*this, ParentWindow); }

void TControl::DestroyHandle() {
    if (FHandle && IsWindow(HWND(FHandle))) DestroyWindow(HWND(FHandle));
    ClearChildHandles(*this);
    FHandle = 0;
}

void TControl::UpdateWindowBounds() {
    if (!FHandle || SyncingBounds) return;
    if (dynamic_cast<TForm*>(this))
        SetWindowPos(HWND(FHandle), nullptr, FLeft, FTop, FWidth, FHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    else
        MoveWindow(HWND(FHandle), FLeft, FTop, FWidth, FHeight, TRUE);
}

void TControl::UpdateWindowText() {
    if (FHandle) SetWindowTextA(HWND(FHandle), FCaption.c_str());
}

void TControl::UpdateWindowState() {
    if (!FHandle) return;
    EnableWindow(HWND(FHandle), FEnabled);
    if (!dynamic_cast<TForm*>(this)) ShowWindow(HWND(FHandle), FVisible ? SW_SHOWNA : SW_HIDE);
}

void TControl::Repaint() {
    if (!FHandle) return;
    InvalidateRect(HWND(FHandle), nullptr, TRUE);
    UpdateWindow(HWND(FHandle));
}

void TButton::CreateHandle(TWindowHandle ParentWindow) {
    FHandle = TWindowHandle(MakeChild(*this, HWND(ParentWindow), "BUTTON",
                                      WS_TABSTOP | (Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON)));
}

void TLabel::CreateHandle(TWindowHandle ParentWindow) {
    DWORD Style = WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
    if (!ShowAccelChar) Style |= SS_NOPREFIX;
    FHandle = TWindowHandle(MakeChild(*this, HWND(ParentWindow), "STATIC", Style));
}

void TImage::CreateHandle(TWindowHandle ParentWindow) {
    FHandle = TWindowHandle(MakeChild(*this, HWND(ParentWindow), "STATIC", SS_ICON));
    LPCSTR Id = nullptr;
    switch (Icon) {
    case TSystemIcon::siWarning:
        Id = IDI_EXCLAMATION;
        break;
    case TSystemIcon::siError:
        Id = IDI_HAND;
        break;
    case TSystemIcon::siInformation:
        Id = IDI_ASTERISK;
        break;
    case TSystemIcon::siQuestion:
        Id = IDI_QUESTION;
        break;
    case TSystemIcon::siNone:
        break;
    }
    if (Id) SendMessageA(HWND(FHandle), STM_SETICON, WPARAM(LoadIconA(nullptr, Id)), 0);
}

// ---- forms ------------------------------------------------------------------

TRect TForm::FrameExtent() const {
    DWORD Style = 0, ExStyle = 0;
    FormWindowStyle(*this, Style, ExStyle);
    RECT R{0, 0, 0, 0};
    AdjustWindowRectEx(&R, Style, FALSE, ExStyle);
    return TRect{-R.left, -R.top, R.right, R.bottom};
}

void TForm::CreateWindowHandle() {
    if (FHandle) return;
    RegisterFormClass(ClassName());
    DWORD Style = 0, ExStyle = 0;
    FormWindowStyle(*this, Style, ExStyle);
    if (!FontHandle) FontHandle = std::uintptr_t(CreateFontHandle(Font));
    FHandle = TWindowHandle(CreateWindowExA(ExStyle, ClassName(), Caption().c_str(), Style, Left(), Top(), Width(),
                                            Height(), HWND(CreationOwner()), nullptr, ModuleInstance(), this));
    if (!FHandle) throw Exception("Cannot create a window");
    SendMessageA(HWND(FHandle), WM_SETFONT, WPARAM(FontHandle), FALSE);
    CreateChildHandles(*this, FHandle);
}

void TForm::DestroyWindowHandle() {
    if (FHandle && IsWindow(HWND(FHandle))) {
        SetWindowLongPtrA(HWND(FHandle), GWLP_USERDATA, 0);
        DestroyWindow(HWND(FHandle));
    }
    ClearChildHandles(*this);
    FHandle = 0;
    if (FontHandle) DeleteObject(HGDIOBJ(FontHandle));
    FontHandle = 0;
}

bool TForm::HandleMessage(TMessage&) { return false; }

TModalResult TForm::ShowModal() {
    CreateWindowHandle();
    HWND Window = HWND(FHandle);
    ModalResult = mrNone;
    const TModalScope Scope(*this);
    {
        TDisabledTaskWindows Disabled(FHandle);
        ShowWindow(Window, SW_SHOW);
        SetForegroundWindow(Window);
        if (TButton* Default = DefaultButton(); Default && Default->Handle())
            SetFocus(HWND(Default->Handle()));
        std::function<void(TForm&)> Action;
        if (TakeModalAction(Action))
            PostMessageA(Window, WM_MODALACTION, 0, LPARAM(new std::function<void(TForm&)>(std::move(Action))));
        while (ModalResult == mrNone) {
            if (Application().Terminated()) {
                ModalResult = mrCancel;
                break;
            }
            MSG Msg;
            if (PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) {
                if (Msg.message == WM_QUIT) {
                    PostQuitMessage(int(Msg.wParam));
                    ModalResult = mrCancel;
                    break;
                }
                if (!IsDialogMessageA(Window, &Msg)) {
                    TranslateMessage(&Msg);
                    DispatchMessageA(&Msg);
                }
            } else {
                Application().Idle();
                if (ModalResult == mrNone) WaitMessage();
            }
        }
    }
    ShowWindow(Window, SW_HIDE);
    return ModalResult;
}

// ---- application ------------------------------------------------------------

TForm* TApplication::ActiveForm() const {
    const HWND Active = GetActiveWindow();
    for (TForm* Form : Forms)
        if (Form->Handle() && HWND(Form->Handle()) == Active) return Form;
    return nullptr;
}

namespace {
BOOL CALLBACK DisableOne(HWND Window, LPARAM Data) {
    auto& Self = *reinterpret_cast<std::pair<HWND, std::vector<TWindowHandle>*>*>(Data);
    if (Window != Self.first && IsWindowVisible(Window) && IsWindowEnabled(Window)) {
        EnableWindow(Window, FALSE);
        Self.second->push_back(TWindowHandle(Window));
    }
    return TRUE;
}
} // namespace

TDisabledTaskWindows::TDisabledTaskWindows(TWindowHandle Except) {
    std::pair<HWND, std::vector<TWindowHandle>*> Data{HWND(Except), &Disabled};
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, LPARAM(&Data));
}

TDisabledTaskWindows::~TDisabledTaskWindows() {
    for (TWindowHandle Window : Disabled)
        if (IsWindow(HWND(Window))) EnableWindow(HWND(Window), TRUE);
}

std::vector<std::string>& ShownSystemMessages() {
    static std::vector<std::string> Shown;
    return Shown;
}

void ShowSystemMessageBox(TWindowHandle Owner, const std::string& Text, const std::string& Caption, bool Error) {
    ShownSystemMessages().push_back(Text);
    MessageBoxA(HWND(Owner), Text.c_str(), Caption.c_str(), MB_OK | MB_TASKMODAL | (Error ? MB_ICONERROR : 0));
}

TScreenInfo ScreenInfo() {
    TScreenInfo Info;
    Info.Width = GetSystemMetrics(SM_CXSCREEN);
    Info.Height = GetSystemMetrics(SM_CYSCREEN);
    HDC Screen = GetDC(nullptr);
    Info.ColorDepth = GetDeviceCaps(Screen, PLANES) * GetDeviceCaps(Screen, BITSPIXEL);
    Info.PixelsPerInch = GetDeviceCaps(Screen, LOGPIXELSY);
    ReleaseDC(nullptr, Screen);
    return Info;
}

TBorderMetrics BorderMetrics() {
    TBorderMetrics M;
    M.DialogFrameX = GetSystemMetrics(SM_CXDLGFRAME);
    M.DialogFrameY = GetSystemMetrics(SM_CYDLGFRAME);
    M.SizingFrameX = GetSystemMetrics(SM_CXFRAME);
    M.SizingFrameY = GetSystemMetrics(SM_CYFRAME);
    M.CaptionHeight = GetSystemMetrics(SM_CYCAPTION);
    M.SmallCaptionHeight = GetSystemMetrics(SM_CYSMCAPTION);
    return M;
}

void SystemVersion(int& Major, int& Minor) {
    OSVERSIONINFOA Info{};
    Info.dwOSVersionInfoSize = sizeof Info;
    GetVersionExA(&Info);
    Major = int(Info.dwMajorVersion);
    Minor = int(Info.dwMinorVersion);
}

} // namespace fi
