// The style form on real windows: the registry switch, the own caption bar
// of older systems, the sizing cursors, the keyboard-cue notice, the
// maximised-caption drag and the minimise rule.
#include "ui/FormsWin32.h"
#include "ui/StyleForm.h"

namespace fi {

std::optional<bool> ReadUseStyleForm(TRegistryRoot Root) {
    // The key name without its trailing separator, which the registry API
    // does not take as part of a path.
    std::string Key = SStyleFormKey;
    while (!Key.empty() && Key.back() == '\\') Key.pop_back();
    HKEY Opened = nullptr;
    if (RegOpenKeyExA(Root == TRegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, Key.c_str(), 0,
                      KEY_READ, &Opened) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD Type = 0, Value = 0, Size = sizeof Value;
    const LONG Status = RegQueryValueExA(Opened, SStyleFormValue, nullptr, &Type, reinterpret_cast<BYTE*>(&Value), &Size);
    RegCloseKey(Opened);
    // A Boolean is stored as a 32-bit integer; anything else is unreadable.
    if (Status != ERROR_SUCCESS || Type != REG_DWORD || Size != sizeof Value) return std::nullopt;
    return Value != 0;
}

void DisableWindowGhosting() {
    using TDisable = void(WINAPI*)();
    if (HMODULE User = GetModuleHandleA("user32.dll"))
        if (auto Disable = reinterpret_cast<TDisable>(
                reinterpret_cast<void*>(GetProcAddress(User, "DisableProcessWindowsGhosting"))))
            Disable();
}

void ReadSystemCaptionColors(TColor& GradientActive, TColor& Active, TColor& GradientInactive, TColor& Inactive,
                             TColor& Face) {
    GradientActive = GetSysColor(COLOR_GRADIENTACTIVECAPTION);
    Active = GetSysColor(COLOR_ACTIVECAPTION);
    GradientInactive = GetSysColor(COLOR_GRADIENTINACTIVECAPTION);
    Inactive = GetSysColor(COLOR_INACTIVECAPTION);
    Face = GetSysColor(COLOR_BTNFACE);
}

std::optional<TFontSpec> SystemCaptionFont(bool ToolWindow) {
    NONCLIENTMETRICSA Metrics{};
    Metrics.cbSize = sizeof Metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof Metrics, &Metrics, 0)) return std::nullopt;
    return FontSpecFromLogFont(ToolWindow ? Metrics.lfSmCaptionFont : Metrics.lfCaptionFont);
}

namespace {

TColor Blend(TColor From, TColor To, int Step, int Steps) {
    TColor Result = 0;
    for (int Shift = 0; Shift < 24; Shift += 8) {
        const int A = int((From >> Shift) & 0xFF), B = int((To >> Shift) & 0xFF);
        const int C = Steps <= 1 ? B : A + (B - A) * Step / (Steps - 1);
        Result |= TColor(C) << Shift;
    }
    return Result;
}

void FillRow(HDC Dc, int Left, int Right, int Y, TColor Color) {
    RECT R{Left, Y, Right, Y + 1};
    SetBkColor(Dc, Color);
    ExtTextOutA(Dc, 0, 0, ETO_OPAQUE, &R, nullptr, 0, nullptr);
}

bool IsToolWindow(const TForm& Form) {
    return Form.BorderStyle == TBorderStyle::bsToolWindow || Form.BorderStyle == TBorderStyle::bsSizeToolWin;
}

// The caption bar in window coordinates.
RECT CaptionRect(const TStyleForm& Form, HWND Window) {
    RECT W;
    GetWindowRect(Window, &W);
    OffsetRect(&W, -W.left, -W.top);
    const bool Fixed = Form.BorderStyle == TBorderStyle::bsSingle || Form.BorderStyle == TBorderStyle::bsDialog ||
                       Form.BorderStyle == TBorderStyle::bsToolWindow || IsIconic(Window);
    const int Fx = GetSystemMetrics(Fixed ? SM_CXDLGFRAME : SM_CXFRAME);
    const int Fy = GetSystemMetrics(Fixed ? SM_CYDLGFRAME : SM_CYFRAME);
    const int Height = GetSystemMetrics(IsToolWindow(Form) ? SM_CYSMCAPTION : SM_CYCAPTION) - 1;
    return RECT{W.left + Fx, W.top + Fy, W.right - Fx, W.top + Fy + Height};
}

// The own caption: a shaded coloured part under the text, a face-coloured
// rest, a staircase of raised squares between them, then icon, caption
// buttons and text.
void PaintCaption(TStyleForm& Form, HWND Window, bool Active) {
    if (Form.BorderStyle == TBorderStyle::bsNone) return;
    const RECT Bar = CaptionRect(Form, Window);
    const int Width = Bar.right - Bar.left, Height = Bar.bottom - Bar.top;
    if (Width <= 0 || Height <= 0) return;
    HDC WindowDc = GetWindowDC(Window);
    HDC Dc = CreateCompatibleDC(WindowDc);
    HBITMAP Bitmap = CreateCompatibleBitmap(WindowDc, Width, Height);
    HGDIOBJ OldBitmap = SelectObject(Dc, Bitmap);
    HFONT Font = CreateFontHandle(Form.CaptionFont.value_or(TFontSpec{}));
    HGDIOBJ OldFont = SelectObject(Dc, Font);

    const LONG Style = GetWindowLongA(Window, GWL_STYLE), ExStyle = GetWindowLongA(Window, GWL_EXSTYLE);
    const bool HasIcon = (Style & WS_SYSMENU) && !(ExStyle & WS_EX_DLGMODALFRAME) && !IsToolWindow(Form);
    char Text[512];
    const int TextLength = GetWindowTextA(Window, Text, sizeof Text);
    SIZE TextSize{};
    GetTextExtentPoint32A(Dc, Text, TextLength, &TextSize);
    const int Coloured = CaptionColouredWidth(Width, int(TextSize.cx), HasIcon);

    const TCaptionColors& C = Form.CaptionColors;
    const TColor Dark = Active ? C.ActiveDark : C.InactiveDark, Bright = Active ? C.ActiveBright : C.InactiveBright;
    for (int Y = 0; Y < Height; ++Y) {
        FillRow(Dc, 0, Coloured, Y, Blend(Dark, Bright, Y, Height));
        FillRow(Dc, Coloured, Width, Y, Blend(C.DarkFace, C.Face, Y, Height));
    }
    if (Coloured < Width) {
        const int Square = std::max(2, Height / 4);
        for (int Step = 0; Step * Square < Height; ++Step) {
            RECT R{Coloured + Step * Square, Step * Square, Coloured + (Step + 1) * Square, (Step + 1) * Square};
            HBRUSH Brush = CreateSolidBrush(Blend(Dark, Bright, Step * Square, Height));
            FillRect(Dc, &R, Brush);
            DeleteObject(Brush);
            DrawEdge(Dc, &R, BDR_RAISEDINNER, BF_RECT);
        }
    }

    int TextLeft = 2;
    if (HasIcon) {
        HICON Icon = HICON(SendMessageA(Window, WM_GETICON, ICON_SMALL, 0));
        if (!Icon) Icon = HICON(GetClassLongPtrA(Window, GCLP_HICONSM));
        if (!Icon) Icon = LoadIconA(nullptr, IDI_APPLICATION);
        const int IconSize = GetSystemMetrics(SM_CXSMICON);
        DrawIconEx(Dc, 2, (Height - IconSize) / 2, Icon, IconSize, IconSize, 0, nullptr, DI_NORMAL);
        TextLeft += IconSize + 3;
    }

    const int ButtonWidth = GetSystemMetrics(IsToolWindow(Form) ? SM_CXSMSIZE : SM_CXSIZE) - 2;
    const int ButtonHeight = Height - 4;
    int Right = Width - 2;
    const auto Button = [&](UINT Kind) {
        RECT R{Right - ButtonWidth, 2, Right, 2 + ButtonHeight};
        DrawFrameControl(Dc, &R, DFC_CAPTION, Kind);
        Right -= ButtonWidth;
    };
    if (Style & WS_SYSMENU) {
        Button(DFCS_CAPTIONCLOSE);
        Right -= 2;
        if (Style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX)) {
            Button((IsZoomed(Window) ? DFCS_CAPTIONRESTORE : DFCS_CAPTIONMAX) |
                   ((Style & WS_MAXIMIZEBOX) ? 0 : DFCS_INACTIVE));
            Button(DFCS_CAPTIONMIN | ((Style & WS_MINIMIZEBOX) ? 0 : DFCS_INACTIVE));
        } else if (ExStyle & WS_EX_CONTEXTHELP) {
            Button(DFCS_CAPTIONHELP);
        }
    }

    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, GetSysColor(Active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    RECT TextRect{TextLeft, 0, Right - 2, Height};
    DrawTextA(Dc, Text, TextLength, &TextRect, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);

    BitBlt(WindowDc, Bar.left, Bar.top, Width, Height, Dc, 0, 0, SRCCOPY);
    SelectObject(Dc, OldFont);
    DeleteObject(Font);
    SelectObject(Dc, OldBitmap);
    DeleteObject(Bitmap);
    DeleteDC(Dc);
    ReleaseDC(Window, WindowDc);
}

LPCSTR SizingCursor(UINT HitTest) {
    switch (HitTest) {
    case HTLEFT:
    case HTRIGHT:
        return IDC_SIZEWE;
    case HTTOP:
    case HTBOTTOM:
        return IDC_SIZENS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return IDC_SIZENWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return IDC_SIZENESW;
    default:
        return nullptr;
    }
}

} // namespace

bool TStyleForm::HandleMessage(TMessage& M) {
    HWND Window = HWND(Handle());
    if (!Window) return false;
    const auto Default = [&] { M.Result = DefWindowProcA(Window, M.Msg, M.WParam, M.LParam); };
    int Major = 0, Minor = 0;
    SystemVersion(Major, Minor);

    switch (M.Msg) {
    case WM_UPDATEUISTATE:
        KeyboardCuesChanged();
        return false;
    case WM_SYSCOLORCHANGE:
        SystemColorsChanged();
        return false;
    case WM_SETTINGCHANGE:
        if (StyleFormEnabled && M.WParam == SPI_SETNONCLIENTMETRICS) {
            ReadCaptionFont();
            SetWindowPos(Window, nullptr, 0, 0, 0, 0,
                         SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return false;
    case WM_SYSCOMMAND:
        if ((M.WParam & 0xFFF0) == SC_MINIMIZE) {
            TForm* Main = Application().MainForm;
            if (MinimiseWholeApplication(Main != nullptr, Main == this, (GetWindowLongA(Window, GWL_STYLE) & WS_CHILD) != 0)) {
                HWND Root = GetAncestor(Window, GA_ROOTOWNER);
                ShowWindow(Root ? Root : Window, SW_MINIMIZE);
                M.Result = 0;
                return true;
            }
        }
        break;
    case WM_NCLBUTTONDOWN:
        if (M.WParam == HTCAPTION && IsZoomed(Window) && MaximisedDragAllowed(Major, Minor)) {
            Dragging = true;
            DragStart = TPoint{short(LOWORD(M.LParam)), short(HIWORD(M.LParam))};
            SetCapture(Window);
            M.Result = 0;
            return true;
        }
        break;
    case WM_MOUSEMOVE:
        if (Dragging) {
            if (!(GetKeyState(VK_LBUTTON) & 0x8000)) {
                Dragging = false;
                ReleaseCapture();
                return false;
            }
            POINT Pointer;
            GetCursorPos(&Pointer);
            RECT W;
            GetWindowRect(Window, &W);
            const TRect Desktop{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
            if (const auto NewLeft = MaximisedDragLeft(TRect{W.left, W.top, W.right, W.bottom}, Desktop, DragStart.X,
                                                       int(Pointer.x))) {
                Dragging = false;
                ReleaseCapture();
                ShowWindow(Window, SW_RESTORE);
                RECT Restored;
                GetWindowRect(Window, &Restored);
                SetWindowPos(Window, nullptr, *NewLeft, Restored.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
                ShowWindow(Window, SW_MAXIMIZE);
            }
            return true;
        }
        break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (Dragging) {
            Dragging = false;
            if (M.Msg == WM_LBUTTONUP) ReleaseCapture();
        }
        break;
    default:
        break;
    }

    if (!StyleFormEnabled) return false;
    switch (M.Msg) {
    case WM_NCPAINT:
    case WM_SETTEXT:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_NCLBUTTONDBLCLK:
    case WM_SYSCOMMAND:
    case WM_SIZE:
    case WM_ENTERIDLE:
        Default();
        PaintCaption(*this, Window, GetActiveWindow() == Window);
        return true;
    case WM_NCACTIVATE:
        Default();
        PaintCaption(*this, Window, M.WParam != 0);
        return true;
    case WM_SETCURSOR:
        if (const LPCSTR Cursor = SizingCursor(LOWORD(M.LParam))) {
            SetCursor(LoadCursorA(nullptr, Cursor));
            M.Result = TRUE;
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace fi
