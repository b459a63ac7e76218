#pragma once
// The module's own form and control objects. Their observable rules live
// here; the platform layer gives them real windows (win32) or keeps them
// headless (native), where a modal form returns at once as if the user
// pressed Enter, unless a test has queued the user's actions.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Geometry.h"

namespace fi {

using TWindowHandle = std::uintptr_t;

using TModalResult = std::int32_t;
enum : TModalResult {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10,
};

using TAnchors = std::uint8_t;
enum : TAnchors { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TFormPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle { fsNormal, fsStayOnTop, fsMDIChild, fsMDIForm };
enum class TBiDiMode { bdLeftToRight, bdRightToLeft };
enum class TSystemIcon { siNone, siWarning, siError, siInformation, siQuestion };

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};


// A font as the forms describe it; the platform layer makes the real one.
struct TFontSpec {
    std::string Name = "MS Sans Serif";
    int Height = -11; // negative: character height in pixels
    int Charset = 1;  // 1 = the default character set
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    int Pitch = 0; // 0 default, 1 fixed, 2 variable
    friend bool operator==(const TFontSpec&, const TFontSpec&) = default;
};

// Window-border metrics of the system, in pixels.
struct TBorderMetrics {
    int DialogFrameX = 3, DialogFrameY = 3;
    int SizingFrameX = 4, SizingFrameY = 4;
    int CaptionHeight = 19, SmallCaptionHeight = 15;
};

// One window message, for forms that handle messages themselves (win32 only).
struct TMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

class TForm;

class TControl {
public:
    TControl();
    virtual ~TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    virtual const char* ClassName() const { return "TControl"; }

    // Creates a child control owned by this one.
    template <class T, class... TArgs>
    T& Add(TArgs&&... Args) {
        auto Child = std::make_unique<T>(std::forward<TArgs>(Args)...);
        T& Result = *Child;
        Adopt(std::move(Child));
        return Result;
    }

    TControl* Parent() const { return FParent; }
    TForm* Form();
    const std::vector<std::unique_ptr<TControl>>& Controls() const { return FControls; }

    std::string Name;
    TAnchors Anchors = akLeft | akTop;
    int Tag = 0;

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& Value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);

    // The user's click (also what a test or the platform's message sends).
    std::function<void(TControl& Sender)> OnClick;
    virtual void Click();

    // The real window, 0 while none exists (always 0 on the headless layer).
    TWindowHandle Handle() const { return FHandle; }
    // Control identifier within its form's window.
    int ControlId() const { return FControlId; }
    // Redraws the control's window.
    void Repaint();

    // Runs Handler as an event of this control: a processor fault inside it
    // unwinds as an exception, and an exception escaping it goes to the
    // application's unhandled-exception event.
    void DispatchEvent(const std::function<void()>& Handler);

protected:
    friend class TForm;
    // Platform layer: makes the control's window inside ParentWindow.
    virtual void CreateHandle(TWindowHandle ParentWindow);
    void DestroyHandle();
    // The children's windows went with their parent's.
    static void ClearChildHandles(TControl& Parent);
    static void CreateChildHandles(TControl& Parent, TWindowHandle Window);
    // Moves children anchored at the right or bottom by the size change.
    void ApplyAnchors(int DeltaWidth, int DeltaHeight);

    TWindowHandle FHandle = 0;
    int FControlId = 0;

private:
    void Adopt(std::unique_ptr<TControl> Child);
    // Platform layer: carry a property change to the window, if there is one.
    void UpdateWindowBounds();
    void UpdateWindowText();
    void UpdateWindowState();

    TControl* FParent = nullptr;
    std::vector<std::unique_ptr<TControl>> FControls;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    std::string FCaption;
    bool FVisible = true;
    bool FEnabled = true;
};

class TButton : public TControl {
public:
    const char* ClassName() const override { return "TButton"; }
    TModalResult ModalResult = mrNone;
    bool Default = false;
    bool Cancel = false;
    // Runs OnClick, then closes the form with ModalResult when it is set.
    void Click() override;

protected:
    void CreateHandle(TWindowHandle ParentWindow) override;
};

class TLabel : public TControl {
public:
    const char* ClassName() const override { return "TLabel"; }
    bool WordWrap = false;
    bool Transparent = false;
    bool ShowAccelChar = true;

protected:
    void CreateHandle(TWindowHandle ParentWindow) override;
};

// A system icon at its natural size.
class TImage : public TControl {
public:
    const char* ClassName() const override { return "TImage"; }
    TSystemIcon Icon = TSystemIcon::siNone;

protected:
    void CreateHandle(TWindowHandle ParentWindow) override;
};

class TForm : public TControl {
public:
    TForm();
    ~TForm() override;
    const char* ClassName() const override { return "TForm"; }

    TBorderStyle BorderStyle = TBorderStyle::bsSizeable;
    TFormPosition Position = TFormPosition::poDesigned;
    TWindowState WindowState = TWindowState::wsNormal;
    TFormStyle FormStyle = TFormStyle::fsNormal;
    TBiDiMode BiDiMode = TBiDiMode::bdLeftToRight;
    TFontSpec Font;
    bool Scaled = true;
    bool ParentFont = false;
    int PixelsPerInch = 96;
    int HelpContext = 0;
    std::string HelpFile;
    TModalResult ModalResult = mrNone;

    std::function<void(TForm& Sender)> OnCreate;
    std::function<void(TForm& Sender)> OnDestroy;
    std::function<void(TForm& Sender)> OnResize;

    int ClientWidth() const;
    int ClientHeight() const;
    void SetClientSize(int AWidth, int AHeight);
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    // Non-client thickness of this form's border style.
    TRect FrameExtent() const;
    void CenterOnScreen();

    TButton* DefaultButton() const;
    TButton* CancelButton() const;
    // The button whose caption is Caption, or none.
    TButton* FindButton(const std::string& ButtonCaption) const;

    TModalResult ShowModal();
    bool Modal() const { return FModal; }
    // Closes a modal form with the cancel result (the window's close box).
    void Close();

    // Creates the window with its controls (done by ShowModal when needed).
    void CreateWindowHandle();
    void DestroyWindowHandle();

    // Message hook of derived forms: true when Message was handled (win32).
    virtual bool HandleMessage(TMessage& Message);
    // The owner for the window when it is created.
    virtual TWindowHandle CreationOwner() { return 0; }

    // Resize events are suspended while this is above 0.
    int ResizeSuspended = 0;
    // The platform's font object made from Font while the window exists.
    std::uintptr_t FontHandle = 0;

protected:
    void DoCreate();

private:
    friend class TControl;
    // For ShowModal: the form is modal and the innermost modal form while
    // this lives.
    class TModalScope {
    public:
        explicit TModalScope(TForm& Form);
        ~TModalScope();
        TModalScope(const TModalScope&) = delete;
        TModalScope& operator=(const TModalScope&) = delete;

    private:
        TForm& Form;
    };
    int NextControlId = 100;
    bool FModal = false;
};

class TApplication {
public:
    using TExceptionEvent = void (*)(TControl* Sender, const std::exception& E);

    std::string Title;
    TForm* MainForm = nullptr;
    TExceptionEvent OnException = nullptr;
    std::function<void()> OnIdle;

    // An exception that escaped an event: the silent abort is dropped, the
    // rest goes to OnException, or to a plain error box when none is set.
    void HandleException(TControl* Sender, const std::exception& E);
    void Terminate() { FTerminated = true; }
    // The host goes on after the module asked to end: the module's forms
    // may be shown again.
    void CancelTermination() { FTerminated = false; }
    bool Terminated() const { return FTerminated; }
    // What the message loop does when it runs out of messages.
    void Idle();

    // The innermost form shown modally, or none.
    TForm* ModalForm() const { return ModalForms.empty() ? nullptr : ModalForms.back(); }
    // The form that has the focus, or none.
    TForm* ActiveForm() const;
    // The window that owns the module's windows: the host's main window, as
    // the front end was told it (0 until then).
    TWindowHandle Handle() const { return FHandle; }
    void SetHandle(TWindowHandle Window) { FHandle = Window; }

    std::vector<TForm*> ModalForms;
    std::vector<TForm*> Forms; // every existing form

private:
    bool FTerminated = false;
    TWindowHandle FHandle = 0;
};

TApplication& Application();

// Queues what the user does in the next modal form that is shown: Action
// runs once the form is up, inside its modal loop.
void QueueModalAction(std::function<void(TForm& Form)> Action);
// For the platform layer's modal loop: the next queued action, if any.
bool TakeModalAction(std::function<void(TForm&)>& Action);

// The system's own message box, with the error icon when Error is set.
void ShowSystemMessageBox(TWindowHandle Owner, const std::string& Text, const std::string& Caption, bool Error);
// Headless layer: the texts of the system message boxes shown so far.
std::vector<std::string>& ShownSystemMessages();

// Disables the thread's other enabled top-level windows for its lifetime,
// as a modal dialog does (nothing headless).
class TDisabledTaskWindows {
public:
    explicit TDisabledTaskWindows(TWindowHandle Except);
    ~TDisabledTaskWindows();
    TDisabledTaskWindows(const TDisabledTaskWindows&) = delete;
    TDisabledTaskWindows& operator=(const TDisabledTaskWindows&) = delete;

private:
    std::vector<TWindowHandle> Disabled;
};

// Platform facts the forms rely on.
struct TScreenInfo {
    int Width = 1024, Height = 768;
    int ColorDepth = 32; // planes × bits per pixel
    int PixelsPerInch = 96;
};
TScreenInfo ScreenInfo();
TBorderMetrics BorderMetrics();
void SystemVersion(int& Major, int& Minor);

} // namespace fi
