#include "host/ProgressWindow.h"

#include <commctrl.h>


namespace fi {

namespace {

const char* const ProgressClass = "FiHostProgress";

} // namespace

TProgressWindow::TProgressWindow(HWND Owner) {
    static const ATOM Class = [] {
        INITCOMMONCONTROLSEX Controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&Controls);
        WNDCLASSA C{};
        C.lpfnWndProc = WindowProc;
        C.hInstance = GetModuleHandleA(nullptr);
        C.hCursor = LoadCursor(nullptr, IDC_ARROW);
        C.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        C.lpszClassName = ProgressClass;
        return RegisterClassA(&C);
    }();
    if (!Class) throw EHostWindow("Cannot register the progress window");
    FWindow = CreateWindowExA(WS_EX_DLGMODALFRAME, ProgressClass, "Progress", WS_POPUP | WS_CAPTION | WS_SYSMENU,
                              CW_USEDEFAULT, CW_USEDEFAULT, 320, 120, Owner, nullptr, GetModuleHandleA(nullptr), this);
    if (!FWindow) throw EHostWindow("Cannot create the progress window");
    FBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 12, 12, 290, 20, FWindow, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    FButton = CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 117, 44, 80,
                              26, FWindow, reinterpret_cast<HMENU>(IDCANCEL), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(FBar, PBM_SETRANGE32, 0, 100);
    ShowWindow(FWindow, SW_SHOWNORMAL);
    UpdateWindow(FWindow);
}

TProgressWindow::~TProgressWindow() {
    SetWindowLongPtrA(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
}

void TProgressWindow::SetPosition(int Percent) { SendMessageA(FBar, PBM_SETPOS, WPARAM(Percent), 0); }

int TProgressWindow::Position() const { return int(SendMessageA(FBar, PBM_GETPOS, 0, 0)); }

void TProgressWindow::PressCancel() { SendMessageA(FButton, BM_CLICK, 0, 0); }

void TProgressWindow::PumpMessages() {
    MSG Message;
    while (PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) {
        if (Message.message == WM_QUIT) {
            // Leave the quit for the host's own loop.
            PostQuitMessage(int(Message.wParam));
            break;
        }
        TranslateMessage(&Message);
        DispatchMessageA(&Message);
    }
}

LRESULT CALLBACK TProgressWindow::WindowProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
    if (Message == WM_NCCREATE)
        SetWindowLongPtrA(Window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(L)->lpCreateParams));
    auto* Self = reinterpret_cast<TProgressWindow*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
    if (Self) {
        // Closing the window is the same request as its Cancel button.
        if ((Message == WM_COMMAND && LOWORD(W) == IDCANCEL) || Message == WM_CLOSE) {
            Self->FCancelled = true;
            EnableWindow(Self->FButton, FALSE);
            SetWindowTextA(Window, "Cancelling");
            return 0;
        }
    }
    return DefWindowProcA(Window, Message, W, L);
}

} // namespace fi
