// The parameter dialog on real windows: shown modally as the driver shows
// it, driven by window messages only (typed characters, list selections,
// clicks, arrow keys, wheel turns), checked by what a user sees, and
// photographed into screenshots/.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Screenshot.h"
#include "WindowDriver.h"
#include "support/FloatFormat.h"
#include "ui/WienerResizeParamForm.h"

namespace fi {
namespace {

using test::Pause;
using test::RectIn;
using test::TDriver;
using test::WaitFor;
using test::WindowText;

constexpr const char* DialogClass = "TWienerResizeParamForm";
constexpr COLORREF DarkRed = RGB(128, 0, 0);

// The dialog's windows, found as a user's tools would find them: buttons by
// their captions, the rest by kind in tab order.
struct TDialog {
    HWND Window = nullptr;
    HWND Ok = nullptr, Cancel = nullptr;
    HWND Combo = nullptr, Bevel = nullptr;
    HWND Scale = nullptr, Region = nullptr, Lambda = nullptr, Filter = nullptr;
    HWND ClampWeights = nullptr, Normalize = nullptr, ClampResult = nullptr;
    std::vector<HWND> Labels;

    bool Find() {
        Ok = FindWindowExA(Window, nullptr, "Button", "OK");
        Cancel = FindWindowExA(Window, nullptr, "Button", "Cancel");
        ClampWeights = FindWindowExA(Window, nullptr, "Button", "Clamp weights to [0;1]");
        Normalize = FindWindowExA(Window, nullptr, "Button", "Normalize weights");
        ClampResult = FindWindowExA(Window, nullptr, "Button", "Clamp result to source");
        Combo = FindWindowExA(Window, nullptr, "ComboBox", nullptr);
        Bevel = FindWindowExA(Window, nullptr, "TBevel", nullptr);
        const std::vector<HWND> Edits = test::Children(Window, "Edit");
        Labels = test::Children(Window, "Static");
        if (Edits.size() != 4) return false;
        Scale = Edits[0];
        Region = Edits[1];
        Lambda = Edits[2];
        Filter = Edits[3];
        return Ok && Cancel && ClampWeights && Normalize && ClampResult && Combo && Bevel;
    }
};

// Waits for the dialog and finds its windows.
std::function<bool()> WaitForDialog(TDialog& D) {
    auto Wait = WaitFor(DialogClass, SParamFormCaption, D.Window);
    return [=, &D]() mutable {
        if (!Wait()) return false;
        EXPECT_TRUE(D.Find());
        return true;
    };
}

// Clicks into the edit, selects the whole text, then types Text character by
// character.
void Retype(HWND Edit, const std::string& Text) {
    SendMessageA(Edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    SendMessageA(Edit, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
    SendMessageA(Edit, EM_SETSEL, 0, -1);
    for (char C : Text) SendMessageA(Edit, WM_CHAR, WPARAM(static_cast<unsigned char>(C)), 1);
}

void PressKey(HWND Window, int Key) {
    SendMessageA(Window, WM_KEYDOWN, WPARAM(Key), 1);
    SendMessageA(Window, WM_KEYUP, WPARAM(Key), LPARAM(0xC0000001u));
}

// One wheel notch (Delta +1 or -1) with the pointer over the centre of
// Over, delivered to the window with the keyboard focus as the system does.
void TurnWheel(HWND Over, int Delta) {
    RECT R;
    GetWindowRect(Over, &R);
    const int X = (R.left + R.right) / 2, Y = (R.top + R.bottom) / 2;
    SendMessageA(GetFocus(), WM_MOUSEWHEEL, MAKEWPARAM(0, Delta * WHEEL_DELTA), MAKELPARAM(X, Y));
}

// The user picks item Index from the drop-down list.
void Choose(const TDialog& D, int Index) {
    SendMessageA(D.Combo, CB_SETCURSEL, WPARAM(Index), 0);
    SendMessageA(D.Window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(D.Combo), CBN_SELCHANGE), LPARAM(D.Combo));
}

// The text colour the dialog gives the edit, read back from a memory DC.
COLORREF TextColorOf(const TDialog& D, HWND Edit) {
    HDC Dc = CreateCompatibleDC(nullptr);
    SetTextColor(Dc, RGB(1, 2, 3));
    SendMessageA(D.Window, WM_CTLCOLOREDIT, WPARAM(Dc), LPARAM(Edit));
    const COLORREF Color = GetTextColor(Dc);
    DeleteDC(Dc);
    return Color;
}

bool IsChecked(HWND Box) { return SendMessageA(Box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

TInterpolatorSettings SetupDefaults(int Index, int Scale) {
    TBitmapWienerInterpolation I;
    EXPECT_TRUE(ApplySetup(I, Index, Scale));
    return ReadSettings(I);
}

std::string LambdaText(double Lambda) { return FormatFloat("0.#####e+", Lambda, UserDecimalSeparator()); }
std::string FilterText(float Strength) { return FormatFloat("0.##", Strength, UserDecimalSeparator()); }

// The windows show exactly the given settings.
void ExpectShows(const TDialog& D, const TInterpolatorSettings& S, const std::string& Where) {
    SCOPED_TRACE(Where);
    EXPECT_EQ(WindowText(D.Scale), std::to_string(S.ScaleFactor));
    EXPECT_EQ(WindowText(D.Region), std::to_string(S.TrainingRegion));
    EXPECT_EQ(WindowText(D.Lambda), LambdaText(S.Lambda));
    EXPECT_EQ(WindowText(D.Filter), FilterText(S.FilterStrength));
    EXPECT_EQ(IsChecked(D.ClampWeights), S.ClampWeights);
    EXPECT_EQ(IsChecked(D.Normalize), S.NormalizeWeights);
    EXPECT_EQ(IsChecked(D.ClampResult), S.ClampResult);
}

void ExpectSameSettings(const TInterpolatorSettings& A, const TInterpolatorSettings& B) {
    EXPECT_EQ(A.ScaleFactor, B.ScaleFactor);
    EXPECT_EQ(A.TrainingRegion, B.TrainingRegion);
    EXPECT_EQ(A.Lambda, B.Lambda);
    EXPECT_EQ(A.FilterStrength, B.FilterStrength);
    EXPECT_EQ(A.ClampWeights, B.ClampWeights);
    EXPECT_EQ(A.NormalizeWeights, B.NormalizeWeights);
    EXPECT_EQ(A.ClampResult, B.ClampResult);
}

void ExpectRect(HWND Child, HWND Parent, RECT Want, const char* What) {
    const RECT R = RectIn(Child, Parent);
    EXPECT_EQ(R.left, Want.left) << What;
    EXPECT_EQ(R.top, Want.top) << What;
    EXPECT_EQ(R.right - R.left, Want.right) << What << " width";
    EXPECT_EQ(R.bottom - R.top, Want.bottom) << What << " height";
}

// Every test starts from a dialog that was never shown.
class RealParamDialog : public testing::Test {
protected:
    void SetUp() override { FreeParamForm(); }
    void TearDown() override { FreeParamForm(); }
};

TEST_F(RealParamDialog, ShowsTheDesignedLayoutAndDefaults) {
    TDialog D;
    bool Photographed = false;
    HWND TabFrom = nullptr;
    bool TabSent = false;
    std::vector<HWND> Visited;
    TDriver Driver({WaitForDialog(D), [&] {
                        RECT Client;
                        GetClientRect(D.Window, &Client);
                        EXPECT_EQ(Client.right, 249);
                        EXPECT_EQ(Client.bottom, 259);
                        EXPECT_EQ(WindowText(D.Window), "Wiener filter interpolation");
                        // Centred on the screen.
                        RECT Frame;
                        GetWindowRect(D.Window, &Frame);
                        EXPECT_NEAR((Frame.left + Frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
                        EXPECT_NEAR((Frame.top + Frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

                        ExpectRect(D.Bevel, D.Window, {0, 0, 249, 40}, "Bevel1");
                        ExpectRect(D.Combo, D.Window, {92, 8, 145, 21}, "SetupComboBox");
                        ExpectRect(D.Scale, D.Window, {172, 48, 65, 21}, "ScaleEdit");
                        ExpectRect(D.Region, D.Window, {172, 72, 65, 21}, "TrainingRegionEdit");
                        ExpectRect(D.Lambda, D.Window, {172, 96, 65, 21}, "LambdaEdit");
                        ExpectRect(D.Filter, D.Window, {172, 120, 65, 21}, "FilterEdit");
                        ExpectRect(D.ClampWeights, D.Window, {12, 148, 173, 17}, "ClampWeightsCheckBox");
                        ExpectRect(D.Normalize, D.Window, {12, 172, 173, 17}, "NormalizeWeightsCheckBox");
                        ExpectRect(D.ClampResult, D.Window, {12, 196, 173, 17}, "ClampResultCheckBox");
                        ExpectRect(D.Ok, D.Window, {83, 224, 75, 25}, "OKButton");
                        ExpectRect(D.Cancel, D.Window, {161, 224, 75, 25}, "CancelButton");

                        // Labels: text, top-left corner and the left edge of the
                        // control beside it, which the label must end before.
                        struct TLabelSpec {
                            std::string Text;
                            int Left, Top, Before;
                        };
                        const std::vector<TLabelSpec> Labels{{"Setup:", 12, 12, 92},
                                                             {"Scale factor:", 12, 51, 172},
                                                             {"Training region size:", 12, 75, 172},
                                                             {"Regularization:", 12, 99, 172},
                                                             {"Artefact filter strength:", 12, 123, 172}};
                        EXPECT_EQ(D.Labels.size(), Labels.size());
                        for (HWND Label : D.Labels) {
                            const std::string Text = WindowText(Label);
                            const RECT R = RectIn(Label, D.Window);
                            bool Known = false;
                            for (const TLabelSpec& Want : Labels)
                                if (Want.Text == Text) {
                                    Known = true;
                                    EXPECT_EQ(R.left, Want.Left) << Text;
                                    EXPECT_EQ(R.top, Want.Top) << Text;
                                    EXPECT_LE(R.right, Want.Before) << Text;
                                }
                            EXPECT_TRUE(Known) << Text;
                            // The text fits its label on one line.
                            HDC Dc = GetDC(Label);
                            HGDIOBJ Old = SelectObject(Dc, HGDIOBJ(SendMessageA(Label, WM_GETFONT, 0, 0)));
                            SIZE Extent{};
                            GetTextExtentPoint32A(Dc, Text.c_str(), int(Text.size()), &Extent);
                            SelectObject(Dc, Old);
                            ReleaseDC(Label, Dc);
                            EXPECT_LE(Extent.cx, R.right - R.left) << Text;
                            EXPECT_LE(Extent.cy, R.bottom - R.top) << Text;
                        }

                        // Every control speaks Tahoma 8 pt.
                        for (HWND Control : {D.Ok, D.Combo, D.Scale, D.ClampWeights, D.Labels.front()}) {
                            LOGFONTA Font{};
                            GetObjectA(HGDIOBJ(SendMessageA(Control, WM_GETFONT, 0, 0)), sizeof Font, &Font);
                            EXPECT_STREQ(Font.lfFaceName, "Tahoma");
                            EXPECT_EQ(Font.lfHeight, -11);
                        }
                        // ... and the system draws it in Tahoma, not a substitute.
                        HDC Dc = GetDC(D.Ok);
                        HGDIOBJ Old = SelectObject(Dc, HGDIOBJ(SendMessageA(D.Ok, WM_GETFONT, 0, 0)));
                        char Face[LF_FACESIZE] = {};
                        GetTextFaceA(Dc, LF_FACESIZE, Face);
                        SelectObject(Dc, Old);
                        ReleaseDC(D.Ok, Dc);
                        EXPECT_STREQ(Face, "Tahoma") << "a font is missing (under wine: the wine fonts package)";

                        // The spin buttons sit inside each edit's right edge, 15 x 17.
                        for (HWND Edit : {D.Scale, D.Region, D.Lambda, D.Filter}) {
                            HWND Spin = FindWindowExA(Edit, nullptr, "TSpinButton", nullptr);
                            EXPECT_NE(Spin, nullptr);
                            if (!Spin) continue;
                            EXPECT_TRUE(IsWindowVisible(Spin));
                            RECT Inner;
                            GetClientRect(Edit, &Inner);
                            const RECT R = RectIn(Spin, Edit);
                            EXPECT_EQ(R.right - R.left, 15);
                            EXPECT_EQ(R.bottom - R.top, 17);
                            EXPECT_EQ(R.right, Inner.right);
                            EXPECT_EQ(R.top, 0);
                            EXPECT_EQ(R.bottom, Inner.bottom);
                            // The text stops short of it.
                            RECT Text{};
                            SendMessageA(Edit, EM_GETRECT, 0, LPARAM(&Text));
                            EXPECT_LE(Text.right, R.left);
                        }

                        EXPECT_EQ(SendMessageA(D.Combo, CB_GETCOUNT, 0, 0), 7);
                        std::vector<std::string> Items;
                        for (int i = 0; i < 7; ++i) {
                            char Item[64] = {};
                            SendMessageA(D.Combo, CB_GETLBTEXT, WPARAM(i), LPARAM(Item));
                            Items.push_back(Item);
                        }
                        EXPECT_EQ(Items, (std::vector<std::string>{"Xin Li 2x", "Xin Li 4x", "Fractal 5-star",
                                                                   "Fractal 9-square", "Fractal 25-square",
                                                                   "Fractal 5 / Xin Li", "Fractal 9 / Xin Li"}));
                        EXPECT_EQ(SendMessageA(D.Combo, CB_GETCURSEL, 0, 0), 3);
                        EXPECT_EQ(WindowText(D.Combo), "Fractal 9-square");

                        ExpectShows(D, SetupDefaults(3, 2), "first display");
                        EXPECT_TRUE(IsWindowEnabled(D.Scale));
                        EXPECT_TRUE(IsWindowEnabled(D.Ok));
                        EXPECT_EQ(GetFocus(), D.Ok);
                        EXPECT_EQ(LOWORD(SendMessageA(D.Window, DM_GETDEFID, 0, 0)), GetDlgCtrlID(D.Ok));
                        for (HWND Edit : {D.Scale, D.Region, D.Lambda, D.Filter})
                            EXPECT_EQ(TextColorOf(D, Edit), GetSysColor(COLOR_WINDOWTEXT));

                        Photographed = test::SaveWindowScreenshot(D.Window, "param-dialog-default");
                        return true;
                    },
                    // Tab walks the controls in their tab order, through the modal loop.
                    [&] {
                        // Without a window manager wine may hand the activation to
                        // its desktop for a moment, and the focus then belongs to
                        // nobody: take it back to where the walk stands and send
                        // that Tab again.
                        if (GetActiveWindow() != D.Window) {
                            SetForegroundWindow(D.Window);
                            SetActiveWindow(D.Window);
                            if (TabFrom) SetFocus(TabFrom);
                            TabSent = false;
                            return false;
                        }
                        if (TabSent) {
                            Visited.push_back(GetFocus());
                            if (Visited.size() == 10) return true;
                        }
                        TabFrom = GetFocus();
                        PostMessageA(TabFrom, WM_KEYDOWN, VK_TAB, 1);
                        TabSent = true;
                        return false;
                    },
                    [&] {
                        // The caption's close box cancels.
                        PostMessageA(D.Window, WM_SYSCOMMAND, SC_CLOSE, 0);
                        return true;
                    }});
    EXPECT_FALSE(ExecuteParamForm());
    EXPECT_TRUE(Driver.Done());
    EXPECT_FALSE(Driver.TimedOut());
    EXPECT_TRUE(Photographed);
    EXPECT_EQ(Visited, (std::vector<HWND>{D.Cancel, D.Combo, D.Scale, D.Region, D.Lambda, D.Filter, D.ClampWeights,
                                          D.Normalize, D.ClampResult, D.Ok}));
}

TEST_F(RealParamDialog, EachSetupShowsItsDefaultsAndScaleState) {
    TDialog D;
    bool Photographed = false;
    TDriver Driver({WaitForDialog(D), [&] {
                        const bool HasScale[7] = {false, false, true, true, true, false, false};
                        int Scale = 2;
                        for (int Index : {0, 1, 2, 3, 4, 5, 6, 1, 4}) {
                            Choose(D, Index);
                            const TInterpolatorSettings S = SetupDefaults(Index, Scale);
                            Scale = S.ScaleFactor;
                            const std::string Where = "setup " + std::to_string(Index);
                            EXPECT_EQ(IsWindowEnabled(D.Scale) != FALSE, HasScale[Index]) << Where;
                            ExpectShows(D, S, Where);
                            EXPECT_TRUE(IsWindowEnabled(D.Ok)) << Where;
                        }
                        // "Xin Li 4x" left its scale of 4 for "Fractal 25-square".
                        EXPECT_EQ(WindowText(D.Scale), "4");
                        Choose(D, 5);
                        return true;
                    },
                    Pause(4),
                    [&] {
                        // The disabled scale edit with its greyed spin button.
                        Photographed = test::SaveWindowScreenshot(D.Window, "param-dialog-fixed-scale");

                        // A new scale for "Fractal 5-star" resets the fine-tuning.
                        Choose(D, 2);
                        Retype(D.Region, "13");
                        SendMessageA(D.ClampResult, BM_CLICK, 0, 0);
                        Retype(D.Scale, "3");
                        ExpectShows(D, SetupDefaults(2, 3), "typed scale 3");
                        PressKey(D.Scale, VK_UP);
                        ExpectShows(D, SetupDefaults(2, 4), "scale stepped up");
                        PressKey(D.Scale, VK_DOWN);
                        PressKey(D.Scale, VK_DOWN);
                        ExpectShows(D, SetupDefaults(2, 2), "scale stepped down twice");
                        PressKey(D.Scale, VK_DOWN); // 2 is the least scale
                        EXPECT_EQ(WindowText(D.Scale), "2");
                        Retype(D.Scale, "3");
                        PostMessageA(D.Ok, BM_CLICK, 0, 0);
                        return true;
                    }});
    EXPECT_TRUE(ExecuteParamForm());
    EXPECT_TRUE(Driver.Done());
    EXPECT_TRUE(Photographed);
    EXPECT_EQ(ParamForm->SetupIndex(), 2);
    ExpectSameSettings(ParamForm->Settings(), SetupDefaults(2, 3));
}

TEST_F(RealParamDialog, InvalidEntriesTurnRedAndDisableOk) {
    TDialog D;
    bool Photographed = false;
    std::string Shown;
    const TInterpolatorSettings Defaults = SetupDefaults(3, 2);
    TDriver Driver(
        {WaitForDialog(D),
         [&] {
             const COLORREF Normal = GetSysColor(COLOR_WINDOWTEXT);
             // Regularisation: an undefined name, then an accepted value.
             Retype(D.Lambda, "abc");
             EXPECT_EQ(WindowText(D.Lambda), "abc");
             EXPECT_FALSE(IsWindowEnabled(D.Ok));
             EXPECT_EQ(TextColorOf(D, D.Lambda), DarkRed);
             EXPECT_EQ(TextColorOf(D, D.Filter), Normal);
             Retype(D.Lambda, "1e-3");
             EXPECT_TRUE(IsWindowEnabled(D.Ok));
             EXPECT_EQ(TextColorOf(D, D.Lambda), Normal);
             EXPECT_EQ(WindowText(D.Lambda), "1e-3"); // the typed text stays

             // Above the maximum of 1: invalid, though the value is pulled to 1.
             Retype(D.Lambda, "2");
             EXPECT_FALSE(IsWindowEnabled(D.Ok));
             EXPECT_EQ(TextColorOf(D, D.Lambda), DarkRed);
             Retype(D.Lambda, "1/1000");
             EXPECT_TRUE(IsWindowEnabled(D.Ok));

             // An unaccepted scale stays as typed, in dark red, and disables OK.
             Retype(D.Scale, "2.5");
             EXPECT_EQ(WindowText(D.Scale), "2.5");
             EXPECT_FALSE(IsWindowEnabled(D.Ok));
             EXPECT_EQ(TextColorOf(D, D.Scale), DarkRed);
             // A scale typed over another one is not rewritten on the way.
             Retype(D.Scale, "4");
             EXPECT_TRUE(IsWindowEnabled(D.Ok));
             EXPECT_EQ(TextColorOf(D, D.Scale), Normal);
             Retype(D.Scale, "12");
             EXPECT_EQ(WindowText(D.Scale), "12");
             DWORD From = 0, To = 0;
             SendMessageA(D.Scale, EM_GETSEL, WPARAM(&From), LPARAM(&To));
             EXPECT_EQ(From, 2u);
             EXPECT_EQ(To, 2u);
             Retype(D.Scale, "2");

             // Two bad edits: OK comes back only when both are mended.
             Retype(D.Filter, "x");
             Retype(D.Region, "0");
             EXPECT_FALSE(IsWindowEnabled(D.Ok));
             Retype(D.Filter, "1,5");
             EXPECT_FALSE(IsWindowEnabled(D.Ok));
             // "0" pulled the value to the minimum 1; a step rewrites the text
             // from there and makes it valid.
             PressKey(D.Region, VK_UP);
             EXPECT_EQ(WindowText(D.Region), "2");
             EXPECT_TRUE(IsWindowEnabled(D.Ok));

             Retype(D.Lambda, "abc");
             return true;
         },
         Pause(6),
         [&] {
             Photographed = test::SaveWindowScreenshot(D.Window, "param-dialog-invalid");
             Shown = WindowText(D.Lambda);
             // Enter does nothing while OK is disabled ...
             PostMessageA(D.Lambda, WM_KEYDOWN, VK_RETURN, 1);
             return true;
         },
         Pause(2),
         [&] {
             EXPECT_TRUE(IsWindowVisible(D.Window));
             EXPECT_EQ(WindowText(D.Lambda), "abc");
             // ... and Escape is the dialog's Cancel, even from a bad edit.
             PostMessageA(D.Lambda, WM_KEYDOWN, VK_ESCAPE, 1);
             return true;
         }});
    EXPECT_FALSE(ExecuteParamForm());
    EXPECT_TRUE(Driver.Done());
    EXPECT_TRUE(Photographed);
    EXPECT_EQ(Shown, "abc");
    // None of it reached the interpolator.
    ExpectSameSettings(ParamForm->Settings(), Defaults);
}

TEST_F(RealParamDialog, OkNeverTrustsARedFieldAndFollowsSetupChanges) {
    TDialog D;
    TDriver Driver({WaitForDialog(D), [&] {
                        // Beyond the range: red, the value clamped to 16, OK off.
                        Retype(D.Scale, "16");
                        EXPECT_TRUE(IsWindowEnabled(D.Ok));
                        Retype(D.Scale, "160");
                        EXPECT_EQ(TextColorOf(D, D.Scale), DarkRed);
                        EXPECT_FALSE(IsWindowEnabled(D.Ok));
                        Retype(D.Scale, "2");
                        // A setup change rewrites a bad field and enables OK again.
                        Retype(D.Region, "abc");
                        EXPECT_FALSE(IsWindowEnabled(D.Ok));
                        Choose(D, 2);
                        EXPECT_TRUE(IsWindowEnabled(D.Ok));
                        // A fixed-scale setup shows its scale over garbage typed before.
                        Retype(D.Scale, "abc");
                        EXPECT_FALSE(IsWindowEnabled(D.Ok));
                        Choose(D, 0);
                        EXPECT_EQ(WindowText(D.Scale), "2");
                        EXPECT_EQ(TextColorOf(D, D.Scale), GetSysColor(COLOR_WINDOWTEXT));
                        EXPECT_TRUE(IsWindowEnabled(D.Ok));
                        PostMessageA(D.Cancel, BM_CLICK, 0, 0);
                        return true;
                    }});
    EXPECT_FALSE(ExecuteParamForm());
    EXPECT_TRUE(Driver.Done());
}

TEST_F(RealParamDialog, StepsWheelAndOkReachTheInterpolator) {
    TDialog D;
    HWND Spin = nullptr;
    int Held = 0;
    const TInterpolatorSettings Defaults = SetupDefaults(3, 2);
    TDriver Driver({WaitForDialog(D), [&] {
                        // The regularisation steps by factors of two; the caret ends up at the end.
                        Retype(D.Lambda, "1e-3");
                        PressKey(D.Lambda, VK_UP);
                        EXPECT_EQ(WindowText(D.Lambda), "2e-3");
                        DWORD From = 0, To = 0;
                        SendMessageA(D.Lambda, EM_GETSEL, WPARAM(&From), LPARAM(&To));
                        EXPECT_EQ(From, 4u);
                        EXPECT_EQ(To, 4u);
                        PressKey(D.Lambda, VK_DOWN);
                        PressKey(D.Lambda, VK_DOWN);
                        EXPECT_EQ(WindowText(D.Lambda), "5e-4");
                        Retype(D.Lambda, "0.75");
                        PressKey(D.Lambda, VK_UP); // 1.5 is capped at the maximum
                        EXPECT_EQ(WindowText(D.Lambda), "1e+0");
                        Retype(D.Lambda, "1e-3");

                        // The wheel acts on the edit under the pointer, which takes the focus.
                        EXPECT_EQ(GetFocus(), D.Lambda);
                        TurnWheel(D.Region, +1);
                        EXPECT_EQ(GetFocus(), D.Region);
                        EXPECT_EQ(WindowText(D.Region), std::to_string(Defaults.TrainingRegion + 1));
                        TurnWheel(D.Filter, +1);
                        TurnWheel(D.Filter, +1);
                        TurnWheel(D.Filter, -1);
                        EXPECT_EQ(GetFocus(), D.Filter);
                        EXPECT_EQ(WindowText(D.Region), std::to_string(Defaults.TrainingRegion + 1));
                        EXPECT_EQ(WindowText(D.Filter), FilterText(Defaults.FilterStrength + 1));
                        // Over a label, the turn goes to the focused edit.
                        TurnWheel(D.Labels.front(), -1);
                        EXPECT_EQ(WindowText(D.Filter), FilterText(Defaults.FilterStrength));
                        // Over the list, the list takes the focus but keeps its choice.
                        TurnWheel(D.Combo, -1);
                        EXPECT_EQ(GetFocus(), D.Combo);
                        EXPECT_EQ(SendMessageA(D.Combo, CB_GETCURSEL, 0, 0), 3);
                        EXPECT_EQ(WindowText(D.Filter), FilterText(Defaults.FilterStrength));
                        Retype(D.Filter, "2.5");

                        SendMessageA(D.ClampWeights, BM_CLICK, 0, 0);
                        SendMessageA(D.ClampResult, BM_CLICK, 0, 0);
                        SendMessageA(D.ClampResult, BM_CLICK, 0, 0);
                        EXPECT_NE(IsChecked(D.ClampWeights), Defaults.ClampWeights);
                        EXPECT_EQ(IsChecked(D.ClampResult), Defaults.ClampResult);

                        // Arrow keys as typed: through the dialog's message loop.
                        PostMessageA(D.Filter, WM_KEYDOWN, VK_UP, 1);
                        return true;
                    },
                    [&] {
                        EXPECT_EQ(WindowText(D.Filter), "3.5");
                        PostMessageA(D.Filter, WM_KEYDOWN, VK_DOWN, 1);
                        return true;
                    },
                    [&] {
                        EXPECT_EQ(WindowText(D.Filter), "2.5");
                        // A click on the spin button's upper half steps once and
                        // gives its edit the focus.
                        Spin = FindWindowExA(D.Region, nullptr, "TSpinButton", nullptr);
                        SendMessageA(Spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(7, 4));
                        SendMessageA(Spin, WM_LBUTTONUP, 0, MAKELPARAM(7, 4));
                        EXPECT_EQ(GetFocus(), D.Region);
                        EXPECT_EQ(WindowText(D.Region), std::to_string(Defaults.TrainingRegion + 2));
                        // The lower half held down: it repeats after 400 ms.
                        SendMessageA(Spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(7, 13));
                        EXPECT_EQ(GetCapture(), Spin);
                        return true;
                    },
                    Pause(16),
                    [&] {
                        SendMessageA(Spin, WM_LBUTTONUP, 0, MAKELPARAM(7, 13));
                        EXPECT_EQ(GetCapture(), nullptr);
                        Held = std::stoi(WindowText(D.Region));
                        PostMessageA(D.Ok, BM_CLICK, 0, 0);
                        return true;
                    }});
    EXPECT_TRUE(ExecuteParamForm());
    EXPECT_TRUE(Driver.Done());
    // The release steps once more after at least one repeat.
    EXPECT_LE(Held, Defaults.TrainingRegion + 2 - 2);
    EXPECT_GE(Held, 1);
    TInterpolatorSettings Want = Defaults;
    Want.TrainingRegion = Held;
    Want.Lambda = double(1e-3L);
    Want.FilterStrength = 2.5f;
    Want.ClampWeights = !Defaults.ClampWeights;
    ExpectSameSettings(ParamForm->Settings(), Want);
    ExpectSameSettings(ReadSettings(ParamForm->WienerInterpolator()), Want);
    EXPECT_EQ(ParamForm->SetupIndex(), 3);
}

TEST_F(RealParamDialog, CancelKeepsTheInterpolatorAndTheNextShowKeepsTheControls) {
    const TInterpolatorSettings Defaults = SetupDefaults(3, 2);
    TDialog D;
    TDriver First({WaitForDialog(D), [&] {
                       SendMessageA(D.Normalize, BM_CLICK, 0, 0);
                       Retype(D.Region, "9");
                       PostMessageA(D.Cancel, BM_CLICK, 0, 0);
                       return true;
                   }});
    EXPECT_FALSE(ExecuteParamForm());
    EXPECT_TRUE(First.Done());
    ExpectSameSettings(ParamForm->Settings(), Defaults);

    TDialog Again;
    bool Normalized = false;
    std::string Region;
    TDriver Second({WaitForDialog(Again), [&] {
                        Normalized = IsChecked(Again.Normalize);
                        Region = WindowText(Again.Region);
                        EXPECT_EQ(SendMessageA(Again.Combo, CB_GETCURSEL, 0, 0), 3);
                        EXPECT_TRUE(IsWindowEnabled(Again.Ok));
                        // Enter presses the default button.
                        PostMessageA(Again.Region, WM_KEYDOWN, VK_RETURN, 1);
                        return true;
                    }});
    EXPECT_TRUE(ExecuteParamForm());
    EXPECT_TRUE(Second.Done());
    EXPECT_NE(Normalized, Defaults.NormalizeWeights);
    EXPECT_EQ(Region, "9");
    TInterpolatorSettings Want = Defaults;
    Want.NormalizeWeights = !Defaults.NormalizeWeights;
    Want.TrainingRegion = 9;
    ExpectSameSettings(ParamForm->Settings(), Want);
}

} // namespace
} // namespace fi
