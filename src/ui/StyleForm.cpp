#include "ui/StyleForm.h"

#include <cmath>
#include <cstdlib>

namespace fi {

bool StyleFormEnabled = true;

bool EvaluateStyleFormEnabled(bool Enabled, int ColorDepth, int MajorVersion,
                              const std::function<std::optional<bool>(TRegistryRoot)>& ReadValue) {
    Enabled = Enabled && ColorDepth > 8 && MajorVersion <= 5;
    if (Enabled) {
        for (TRegistryRoot Root : {TRegistryRoot::CurrentUser, TRegistryRoot::LocalMachine}) {
            const std::optional<bool> Value = ReadValue(Root);
            if (Value && !*Value) Enabled = false;
        }
    }
    return Enabled;
}

void UpdateStyleFormEnabled() {
    int Major = 0, Minor = 0;
    SystemVersion(Major, Minor);
    StyleFormEnabled = EvaluateStyleFormEnabled(StyleFormEnabled, ScreenInfo().ColorDepth, Major, ReadUseStyleForm);
}

void StyleFormModuleStart() {
    static bool Started = false;
    if (Started) return;
    Started = true;
    DisableWindowGhosting();
    UpdateStyleFormEnabled();
}

TPoint BorderGrowth(TBorderStyle Style, const TBorderMetrics& M) {
    int Dx = 0, Dy = 0, CaptionExcess = 0;
    switch (Style) {
    case TBorderStyle::bsNone:
        return TPoint{0, 0};
    case TBorderStyle::bsSingle:
    case TBorderStyle::bsDialog:
    case TBorderStyle::bsToolWindow:
        Dx = M.DialogFrameX - 3;
        Dy = M.DialogFrameY - 3;
        CaptionExcess = Dy;
        break;
    case TBorderStyle::bsSizeable:
        Dx = M.SizingFrameX - 4;
        Dy = M.SizingFrameY - 4;
        CaptionExcess = M.CaptionHeight + Dy - 26;
        break;
    case TBorderStyle::bsSizeToolWin:
        Dx = M.SizingFrameX - 4;
        Dy = M.SizingFrameY - 4;
        CaptionExcess = M.SmallCaptionHeight + Dy - 18;
        break;
    }
    return TPoint{2 * Dx, CaptionExcess + Dy};
}

TCaptionColors ComputeCaptionColors(TColor GradientActive, TColor Active, TColor GradientInactive, TColor Inactive,
                                    TColor Face) {
    TCaptionColors C;
    const auto Order = [](TColor A, TColor B, TColor& Bright, TColor& Dark) {
        if (Brightness(A) >= Brightness(B)) {
            Bright = A;
            Dark = B;
        } else {
            Bright = B;
            Dark = A;
        }
    };
    Order(GradientActive, Active, C.ActiveBright, C.ActiveDark);
    Order(GradientInactive, Inactive, C.InactiveBright, C.InactiveDark);
    C.Face = Face;
    C.DarkFace = 0;
    for (int Shift = 0; Shift < 24; Shift += 8) {
        const long Half = std::lrint(double((Face >> Shift) & 0xFF) / 2.0);
        C.DarkFace |= TColor(Half) << Shift;
    }
    return C;
}

int CaptionColouredWidth(int BarWidth, int TextWidth, bool HasIcon) {
    int Width = TextWidth + (HasIcon ? 40 : 21);
    if (Width < BarWidth / 3) Width = BarWidth / 3;
    if (BarWidth - Width < 60) Width = BarWidth;
    return Width;
}

bool MaximisedDragAllowed(int MajorVersion, int MinorVersion) { return !(MajorVersion > 5 && MinorVersion > 0); }

std::optional<int> MaximisedDragLeft(const TRect& Form, const TRect& Desktop, int StartX, int PointerX) {
    const int Width = Form.Width();
    if (std::abs(PointerX - StartX) <= Width / 4) return std::nullopt;
    if (PointerX >= Form.Right - Width / 10 && Desktop.Right >= Form.Right + 10)
        return std::min(Form.Left + Width + 10, Desktop.Right - 10);
    if (PointerX < Form.Left + Width / 10 && Desktop.Left <= Form.Left - 10)
        return std::max(Desktop.Left, Form.Left - Width - 10);
    return std::nullopt;
}

bool MinimiseWholeApplication(bool MainFormExists, bool IsMainForm, bool IsChildWindow) {
    return MainFormExists && !IsMainForm && !IsChildWindow;
}

// ---- idle actions -----------------------------------------------------------

TIdleEventMulticast* TIdleEventMulticast::FInstance = nullptr;

TIdleEventMulticast::TIdleEventMulticast() { Application().OnIdle = [] { FInstance->DoIdle(); }; }

TIdleEventMulticast::~TIdleEventMulticast() {
    Application().OnIdle = nullptr;
    if (FDestroyed) *FDestroyed = true;
}

void TIdleEventMulticast::Register(TActionOnIdle* Action) {
    if (!FInstance) FInstance = new TIdleEventMulticast;
    FInstance->FActions.push_back(Action);
}

void TIdleEventMulticast::Unregister(TActionOnIdle* Action) {
    if (!FInstance) return;
    auto& Actions = FInstance->FActions;
    for (std::size_t i = 0; i < Actions.size(); ++i) {
        if (Actions[i] == Action) {
            Actions[i] = Actions.back();
            Actions.pop_back();
            break;
        }
    }
    if (Actions.empty()) {
        delete FInstance;
        FInstance = nullptr;
    }
}

void TIdleEventMulticast::DoIdle() {
    bool Destroyed = false;
    FDestroyed = &Destroyed;
    for (int i = Count() - 1; i >= 0; --i) {
        if (i >= Count()) continue;
        FActions[std::size_t(i)]->Idle();
        if (Destroyed) return;
    }
    FDestroyed = nullptr;
}

TActionOnIdle::TActionOnIdle() { TIdleEventMulticast::Register(this); }

TActionOnIdle::~TActionOnIdle() { TIdleEventMulticast::Unregister(this); }

void TActionOnIdle::Idle() {
    struct TFree {
        TActionOnIdle* Action;
        ~TFree() { delete Action; }
    } Free{this};
    Execute();
}

namespace {
void RepaintButtons(TControl& Parent) {
    for (const auto& Child : Parent.Controls()) {
        if (!Child->Visible()) continue;
        if (dynamic_cast<TButton*>(Child.get())) Child->Repaint();
        RepaintButtons(*Child);
    }
}
} // namespace

void TRepaintButtonsOnIdle::Execute() {
    // The form may have gone since the notice came.
    for (TForm* Existing : Application().Forms)
        if (Existing == Form) RepaintButtons(*Form);
}

// ---- TStyleForm -------------------------------------------------------------

TStyleForm::TStyleForm() { StyleFormModuleStart(); }

TStyleForm::~TStyleForm() = default;

void TStyleForm::ReadCaptionColors() {
    TColor GradientActive = 0, Active = 0, GradientInactive = 0, Inactive = 0, Face = 0;
    ReadSystemCaptionColors(GradientActive, Active, GradientInactive, Inactive, Face);
    CaptionColors = ComputeCaptionColors(GradientActive, Active, GradientInactive, Inactive, Face);
}

void TStyleForm::ReadCaptionFont() {
    const bool Tool = BorderStyle == TBorderStyle::bsToolWindow || BorderStyle == TBorderStyle::bsSizeToolWin;
    CaptionFont = SystemCaptionFont(Tool);
}

void TStyleForm::Loaded() {
    if (FLoaded) return;
    FLoaded = true;
    if (StyleFormEnabled) {
        ReadCaptionFont();
        ReadCaptionColors();
    }
    if (Position != TFormPosition::poDefault && Position != TFormPosition::poDefaultPosOnly &&
        Position != TFormPosition::poDefaultSizeOnly && WindowState != TWindowState::wsMaximized)
        CompensateBorderMetrics(BorderMetrics());
    if (!Scaled && Font.Charset == 1 && ScreenInfo().PixelsPerInch != 96) Font.Name = "Arial";
    if (ParentFont && Application().MainForm) Font.Charset = Application().MainForm->Font.Charset;
}

namespace {
void SaveAnchors(TControl& Parent, std::vector<TAnchors>& Saved) {
    for (const auto& Child : Parent.Controls()) {
        Saved.push_back(Child->Anchors);
        Child->Anchors = akLeft | akTop;
        SaveAnchors(*Child, Saved);
    }
}

void RestoreAnchors(TControl& Parent, const std::vector<TAnchors>& Saved, std::size_t& Next) {
    for (const auto& Child : Parent.Controls()) {
        Child->Anchors = Saved[Next++];
        RestoreAnchors(*Child, Saved, Next);
    }
}
} // namespace

// The forms of this module have no scroll bars, so there are none to hide
// around the change.
void TStyleForm::CompensateBorderMetrics(const TBorderMetrics& Metrics) {
    const TPoint Growth = BorderGrowth(BorderStyle, Metrics);
    if (Growth.X == 0 && Growth.Y == 0) return;
    ++ResizeSuspended;
    std::vector<TAnchors> Saved;
    SaveAnchors(*this, Saved);
    SetBounds(Left(), Top(), Width() + Growth.X, Height() + Growth.Y);
    std::size_t Next = 0;
    RestoreAnchors(*this, Saved, Next);
    --ResizeSuspended;
}

void TStyleForm::KeyboardCuesChanged() {
    int Major = 0, Minor = 0;
    SystemVersion(Major, Minor);
    if (Major > 5) new TRepaintButtonsOnIdle(*this); // frees itself after running
}

void TStyleForm::SystemColorsChanged() {
    UpdateStyleFormEnabled();
    if (StyleFormEnabled) ReadCaptionColors();
}

TWindowHandle TStyleForm::CreationOwner() {
    if (FormStyle != TFormStyle::fsNormal && FormStyle != TFormStyle::fsStayOnTop) OwnerWindow = 0;
    return OwnerWindow;
}

} // namespace fi
