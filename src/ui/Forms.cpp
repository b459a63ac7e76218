#include "ui/Forms.h"

#include <algorithm>
#include <deque>

#include "support/Exceptions.h"
#include "support/FaultGuard.h"

namespace fi {

// ---- TControl ---------------------------------------------------------------

TControl::TControl() = default;

TControl::~TControl() { DestroyHandle(); }

void TControl::Adopt(std::unique_ptr<TControl> Child) {
    Child->FParent = this;
    if (TForm* Owner = Form()) Child->FControlId = Owner->NextControlId++;
    TControl& Added = *Child;
    FControls.push_back(std::move(Child));
    if (FHandle != 0) Added.CreateHandle(FHandle);
}

void TControl::ClearChildHandles(TControl& Parent) {
    for (const auto& Child : Parent.FControls) {
        ClearChildHandles(*Child);
        Child->FHandle = 0;
    }
}

void TControl::CreateChildHandles(TControl& Parent, TWindowHandle Window) {
    for (const auto& Child : Parent.FControls) Child->CreateHandle(Window);
}

TForm* TControl::Form() {
    for (TControl* C = this; C; C = C->FParent)
        if (auto* F = dynamic_cast<TForm*>(C)) return F;
    return nullptr;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    const int DeltaWidth = AWidth - FWidth;
    const int DeltaHeight = AHeight - FHeight;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    UpdateWindowBounds();
    if (DeltaWidth != 0 || DeltaHeight != 0) ApplyAnchors(DeltaWidth, DeltaHeight);
}

void TControl::ApplyAnchors(int DeltaWidth, int DeltaHeight) {
    for (auto& Child : FControls) {
        int L = Child->FLeft, T = Child->FTop, W = Child->FWidth, H = Child->FHeight;
        if (Child->Anchors & akRight) {
            if (Child->Anchors & akLeft)
                W += DeltaWidth;
            else
                L += DeltaWidth;
        }
        if (Child->Anchors & akBottom) {
            if (Child->Anchors & akTop)
                H += DeltaHeight;
            else
                T += DeltaHeight;
        }
        if (L != Child->FLeft || T != Child->FTop || W != Child->FWidth || H != Child->FHeight)
            Child->SetBounds(L, T, W, H);
    }
}

void TControl::SetCaption(const std::string& Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    UpdateWindowText();
}

void TControl::SetVisible(bool Value) {
    if (Value == FVisible) return;
    FVisible = Value;
    UpdateWindowState();
}

void TControl::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    UpdateWindowState();
}

void TControl::Click() {
    if (OnClick) DispatchEvent([this] { OnClick(*this); });
}

void TControl::DispatchEvent(const std::function<void()>& Handler) {
    try {
        TFaultGuard Guard;
        Handler();
    } catch (const std::exception& E) {
        Application().HandleException(this, E);
    } catch (...) {
        Application().HandleException(this, Exception("Unknown exception"));
    }
}

// ---- TButton ----------------------------------------------------------------

void TButton::Click() {
    TControl::Click();
    if (ModalResult != mrNone)
        if (TForm* Owner = Form()) Owner->ModalResult = ModalResult;
}

// ---- TForm ------------------------------------------------------------------

TForm::TForm() { Application().Forms.push_back(this); }

TForm::~TForm() {
    auto& All = Application().Forms;
    All.erase(std::remove(All.begin(), All.end(), this), All.end());
    if (OnDestroy) DispatchEvent([this] { OnDestroy(*this); });
    DestroyWindowHandle();
}

void TForm::DoCreate() {
    if (OnCreate) DispatchEvent([this] { OnCreate(*this); });
}

int TForm::ClientWidth() const {
    const TRect F = FrameExtent();
    return Width() - F.Left - F.Right;
}

int TForm::ClientHeight() const {
    const TRect F = FrameExtent();
    return Height() - F.Top - F.Bottom;
}

void TForm::SetClientSize(int AWidth, int AHeight) {
    const TRect F = FrameExtent();
    SetBounds(Left(), Top(), AWidth + F.Left + F.Right, AHeight + F.Top + F.Bottom);
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    const bool Resized = AWidth != Width() || AHeight != Height();
    TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    if (Resized && ResizeSuspended == 0 && OnResize) DispatchEvent([this] { OnResize(*this); });
}

void TForm::CenterOnScreen() {
    const TScreenInfo Screen = ScreenInfo();
    SetBounds((Screen.Width - Width()) / 2, (Screen.Height - Height()) / 2, Width(), Height());
}

namespace {
TButton* FindButtonIf(const TControl& Parent, const std::function<bool(const TButton&)>& Test) {
    for (const auto& Child : Parent.Controls()) {
        if (auto* B = dynamic_cast<TButton*>(Child.get()); B && Test(*B)) return B;
        if (TButton* Inner = FindButtonIf(*Child, Test)) return Inner;
    }
    return nullptr;
}
} // namespace

TButton* TForm::DefaultButton() const {
    return FindButtonIf(*this, [](const TButton& B) { return B.Default; });
}

TButton* TForm::CancelButton() const {
    return FindButtonIf(*this, [](const TButton& B) { return B.Cancel; });
}

TButton* TForm::FindButton(const std::string& ButtonCaption) const {
    return FindButtonIf(*this, [&](const TButton& B) { return B.Caption() == ButtonCaption; });
}

void TForm::Close() {
    if (FModal) ModalResult = mrCancel;
}

// ---- TApplication -----------------------------------------------------------

TApplication& Application() {
    static TApplication Instance;
    return Instance;
}

void TApplication::HandleException(TControl* Sender, const std::exception& E) {
    if (dynamic_cast<const EAbort*>(&E)) return;
    try {
        if (OnException)
            OnException(Sender, E);
        else
            ShowSystemMessageBox(Handle(), E.what(), Title, true);
    } catch (...) {
        // The event is the last stop: nothing may leave it towards the system.
    }
}

void TApplication::Idle() {
    if (OnIdle) OnIdle();
}

namespace {
std::deque<std::function<void(TForm&)>>& ModalActions() {
    static std::deque<std::function<void(TForm&)>> Queue;
    return Queue;
}
} // namespace

TForm::TModalScope::TModalScope(TForm& AForm) : Form(AForm) {
    Form.FModal = true;
    Application().ModalForms.push_back(&Form);
}

TForm::TModalScope::~TModalScope() {
    Application().ModalForms.pop_back();
    Form.FModal = false;
}

void QueueModalAction(std::function<void(TForm& Form)> Action) { ModalActions().push_back(std::move(Action)); }

// Takes the user's actions for the form being shown, if a test queued any.
bool TakeModalAction(std::function<void(TForm&)>& Action) {
    if (ModalActions().empty()) return false;
    Action = std::move(ModalActions().front());
    ModalActions().pop_front();
    return true;
}

} // namespace fi
