#pragma once
// The base of every window of the module: stable client size across border
// metrics, the bug-report handler as the unhandled-exception event, the own
// caption bar on older systems, the keyboard-cue repaint on newer ones, and
// the sideways drag of a maximised window to the neighbouring monitor.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "ui/Forms.h"

namespace fi {

// Forms paint their own caption bar. Once false it stays false.
extern bool StyleFormEnabled;

enum class TRegistryRoot { CurrentUser, LocalMachine };

inline constexpr const char* SStyleFormKey = "Software\\Norvane\\";
inline constexpr const char* SStyleFormValue = "UseStyleForm";

// The "UseStyleForm" value under Root, none when the key or value is missing
// or unreadable. The key is opened for reading only, never created.
std::optional<bool> ReadUseStyleForm(TRegistryRoot Root);

// One evaluation of the switch from the system's facts.
bool EvaluateStyleFormEnabled(bool Enabled, int ColorDepth, int MajorVersion,
                              const std::function<std::optional<bool>(TRegistryRoot)>& ReadValue);
// Re-evaluates StyleFormEnabled from the running system.
void UpdateStyleFormEnabled();

// Form start: no window ghosting, the style switch. Runs once; every
// TStyleForm constructor makes sure it has run. (The crash hooks, which make
// the bug report the application's exception event, are the module's own.)
void StyleFormModuleStart();

// Growth (width, height) that keeps a form's client area at its designed
// size under Metrics.
TPoint BorderGrowth(TBorderStyle Style, const TBorderMetrics& Metrics);

// 32-bit RGB colours as the system hands them out (red in the low byte).
using TColor = std::uint32_t;
inline int Brightness(TColor C) { return 2 * int(C & 0xFF) + 3 * int((C >> 8) & 0xFF) + int((C >> 16) & 0xFF); }

struct TCaptionColors {
    TColor ActiveBright = 0, ActiveDark = 0, InactiveBright = 0, InactiveDark = 0;
    TColor Face = 0, DarkFace = 0;
};
TCaptionColors ComputeCaptionColors(TColor GradientActive, TColor Active, TColor GradientInactive, TColor Inactive,
                                    TColor Face);

// Width of the coloured left part of a custom caption bar of BarWidth pixels.
int CaptionColouredWidth(int BarWidth, int TextWidth, bool HasIcon);

// The left edge a maximised form moves to when its caption is dragged
// sideways to Pointer, none when it stays.
std::optional<int> MaximisedDragLeft(const TRect& Form, const TRect& Desktop, int StartX, int PointerX);
bool MaximisedDragAllowed(int MajorVersion, int MinorVersion);

// True when a minimise command on a form minimises the whole application.
bool MinimiseWholeApplication(bool MainFormExists, bool IsMainForm, bool IsChildWindow);

// An action that runs once at the next idle time and then frees itself.
class TActionOnIdle {
public:
    TActionOnIdle();
    virtual ~TActionOnIdle();
    TActionOnIdle(const TActionOnIdle&) = delete;
    TActionOnIdle& operator=(const TActionOnIdle&) = delete;
    // Runs the action and frees the object.
    void Idle();

protected:
    virtual void Execute() = 0;
};

// The idle actions, installed as the application's idle handler while it
// holds any. It exists only while it is not empty.
class TIdleEventMulticast {
public:
    static TIdleEventMulticast* Instance() { return FInstance; }
    static void Register(TActionOnIdle* Action);
    static void Unregister(TActionOnIdle* Action);
    int Count() const { return int(FActions.size()); }
    // Calls the actions from the last to the first; stops when the list
    // itself was freed by one of them.
    void DoIdle();

private:
    TIdleEventMulticast();
    ~TIdleEventMulticast();
    static TIdleEventMulticast* FInstance;
    std::vector<TActionOnIdle*> FActions;
    bool* FDestroyed = nullptr;
};

// Repaints every button of a form at the next idle time.
class TRepaintButtonsOnIdle : public TActionOnIdle {
public:
    explicit TRepaintButtonsOnIdle(TForm& AForm) : Form(&AForm) {}

protected:
    void Execute() override;

private:
    TForm* Form;
};

class TStyleForm : public TForm {
public:
    TStyleForm();
    ~TStyleForm() override;
    const char* ClassName() const override { return "TStyleForm"; }

    // Caption font, only while StyleFormEnabled.
    std::optional<TFontSpec> CaptionFont;
    TCaptionColors CaptionColors;
    bool Dragging = false;
    TPoint DragStart{0, 0};
    TWindowHandle OwnerWindow = 0;

    // After the derived form has set its properties and controls: the font
    // rules and the border-metric compensation. Runs once.
    void Loaded();
    bool IsLoaded() const { return FLoaded; }
    // Grows the form by the border growth, keeping every control in place.
    void CompensateBorderMetrics(const TBorderMetrics& Metrics);
    // The system told the form that keyboard cues changed.
    void KeyboardCuesChanged();
    // The system colours changed.
    void SystemColorsChanged();

    TWindowHandle CreationOwner() override;
    bool HandleMessage(TMessage& Message) override;

private:
    void ReadCaptionColors();
    void ReadCaptionFont();
    bool FLoaded = false;
};

// Platform layer of the unit.
void DisableWindowGhosting();
void ReadSystemCaptionColors(TColor& GradientActive, TColor& Active, TColor& GradientInactive, TColor& Inactive,
                             TColor& Face);
// The system's caption font (small caption for tool windows), none headless.
std::optional<TFontSpec> SystemCaptionFont(bool ToolWindow);

} // namespace fi
