// The headless layer: forms and controls without windows. A modal form runs
// the user's actions a test queued for it and otherwise closes at once as if
// the user pressed Enter.
#include <sys/utsname.h>

#include <cstdio>

#include "ui/Forms.h"

namespace fi {

void TControl::CreateHandle(TWindowHandle) {}
void TControl::DestroyHandle() { FHandle = 0; }
void TControl::UpdateWindowBounds() {}
void TControl::UpdateWindowText() {}
void TControl::UpdateWindowState() {}
void TControl::Repaint() {}
void TButton::CreateHandle(TWindowHandle) {}
void TLabel::CreateHandle(TWindowHandle) {}
void TImage::CreateHandle(TWindowHandle) {}

void TForm::CreateWindowHandle() {}
void TForm::DestroyWindowHandle() {}
bool TForm::HandleMessage(TMessage&) { return false; }

TModalResult TForm::ShowModal() {
    ModalResult = mrNone;
    const TModalScope Scope(*this);
    std::function<void(TForm&)> Action;
    if (TakeModalAction(Action)) Action(*this);
    // Otherwise the user pressed Enter: the default button, when it can be
    // pressed, answers; a form it leaves open is closed as cancelled.
    if (ModalResult == mrNone) {
        if (TButton* Default = DefaultButton(); Default && Default->Enabled()) Default->Click();
        if (ModalResult == mrNone) ModalResult = mrCancel;
    }
    return ModalResult;
}

TRect TForm::FrameExtent() const {
    const TBorderMetrics M = BorderMetrics();
    int X = 0, Y = 0, Caption = 0;
    switch (BorderStyle) {
    case TBorderStyle::bsNone:
        break;
    case TBorderStyle::bsSingle:
    case TBorderStyle::bsDialog:
        X = M.DialogFrameX;
        Y = M.DialogFrameY;
        Caption = M.CaptionHeight;
        break;
    case TBorderStyle::bsToolWindow:
        X = M.DialogFrameX;
        Y = M.DialogFrameY;
        Caption = M.SmallCaptionHeight;
        break;
    case TBorderStyle::bsSizeable:
        X = M.SizingFrameX;
        Y = M.SizingFrameY;
        Caption = M.CaptionHeight;
        break;
    case TBorderStyle::bsSizeToolWin:
        X = M.SizingFrameX;
        Y = M.SizingFrameY;
        Caption = M.SmallCaptionHeight;
        break;
    }
    return TRect{X, Y + Caption, X, Y};
}

TForm* TApplication::ActiveForm() const { return ModalForm(); }

std::vector<std::string>& ShownSystemMessages() {
    static std::vector<std::string> Shown;
    return Shown;
}

void ShowSystemMessageBox(TWindowHandle, const std::string& Text, const std::string&, bool) {
    ShownSystemMessages().push_back(Text);
}

TDisabledTaskWindows::TDisabledTaskWindows(TWindowHandle) {}
TDisabledTaskWindows::~TDisabledTaskWindows() = default;

TScreenInfo ScreenInfo() { return TScreenInfo{}; }
TBorderMetrics BorderMetrics() { return TBorderMetrics{}; }

void SystemVersion(int& Major, int& Minor) {
    Major = 0;
    Minor = 0;
    utsname Name;
    if (uname(&Name) == 0) std::sscanf(Name.release, "%d.%d", &Major, &Minor);
}

} // namespace fi
