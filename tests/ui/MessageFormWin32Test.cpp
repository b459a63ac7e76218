// The real dialogs under Windows (or wine): shown modally, driven only
// through window messages from a timer that runs inside their modal loop,
// and photographed into screenshots/ for a person to look at.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Screenshot.h"
#include "common/ChildProcessWin32.h"
#include "WindowDriver.h"
#include "crash/ExceptionDialog.h"
#include "ui/MessageForm.h"

namespace fi {
namespace {

using test::Children;
using test::TDriver;
using test::VisibleWindow;
using test::WaitFor;
using test::WindowText;

void ClearQueuedActions() {
    std::function<void(TForm&)> Left;
    while (TakeModalAction(Left)) {
    }
}

TEST(RealMessageBox, DriverMessageIsAnInformationBoxWithOneOk) {
    ClearQueuedActions();
    const std::string Text = "Only 8 bit grayscale and 24 bit images supported";
    HWND Box = nullptr;
    std::vector<HWND> Buttons;
    std::string Message;
    bool HasIcon = false, Photographed = false;
    LRESULT DefId = 0;
    LONG ButtonStyle = 0;
    TDriver Driver({WaitFor("TMessageForm", "Information", Box), [&] {
                        Buttons = Children(Box, "Button");
                        for (HWND Static : Children(Box, "Static")) {
                            if (GetWindowLongA(Static, GWL_STYLE) & SS_ICON)
                                HasIcon = SendMessageA(Static, STM_GETICON, 0, 0) != 0;
                            else
                                Message = WindowText(Static);
                        }
                        DefId = SendMessageA(Box, DM_GETDEFID, 0, 0);
                        if (!Buttons.empty()) ButtonStyle = GetWindowLongA(Buttons[0], GWL_STYLE);
                        Photographed = test::SaveWindowScreenshot(Box, "message-box");
                        if (!Buttons.empty()) PostMessageA(Buttons[0], BM_CLICK, 0, 0);
                        return true;
                    }});
    EXPECT_EQ(ShowStyledMessage(Text, mtInformation, mbOK, 0), mrOk);
    EXPECT_TRUE(Driver.Done());
    ASSERT_EQ(Buttons.size(), 1u);
    EXPECT_EQ(WindowText(Buttons[0]), ""); // gone with the dialog
    EXPECT_EQ(Message, Text);
    EXPECT_TRUE(HasIcon);
    EXPECT_EQ(HIWORD(DefId), DC_HASDEFID);
    EXPECT_EQ(ButtonStyle & 0x0F, BS_DEFPUSHBUTTON);
    EXPECT_TRUE(Photographed);
}

TEST(RealMessageBox, OkIsAlsoTheCancelButton) {
    ClearQueuedActions();
    HWND Box = nullptr;
    std::string Caption;
    TDriver Driver({WaitFor("TMessageForm", "Information", Box), [&] {
                        const auto Buttons = Children(Box, "Button");
                        if (!Buttons.empty()) Caption = WindowText(Buttons[0]);
                        PostMessageA(Box, WM_KEYDOWN, VK_ESCAPE, 0);
                        return true;
                    }});
    EXPECT_EQ(ShowStyledMessage("Escape closes this.", mtInformation, mbOK, 0), mrOk);
    EXPECT_EQ(Caption, "OK");
}

TEST(RealMessageBox, CustomMessageReturnsThePressedNumber) {
    ClearQueuedActions();
    HWND Box = nullptr;
    std::vector<std::string> Captions;
    TDriver Driver({WaitFor("TMessageForm", "Error", Box), [&] {
                        for (HWND B : Children(Box, "Button")) Captions.push_back(WindowText(B));
                        PostMessageA(FindWindowExA(Box, nullptr, "Button", "Two"), BM_CLICK, 0, 0);
                        return true;
                    }});
    EXPECT_EQ(ShowCustomMessage("Pick one", mtError, {"One", "Two", "Three"}, 3), 2);
    EXPECT_EQ(Captions, (std::vector<std::string>{"One", "Two", "Three"}));

    // Enter presses the first (default) button, Escape the cancel button.
    HWND Second = nullptr;
    TDriver Enter({WaitFor("TMessageForm", "Error", Second), [&] {
                       PostMessageA(Second, WM_KEYDOWN, VK_RETURN, 0);
                       return true;
                   }});
    EXPECT_EQ(ShowCustomMessage("Pick one", mtError, {"One", "Two", "Three"}, 3), 1);
    HWND Third = nullptr;
    TDriver Escape({WaitFor("TMessageForm", "Error", Third), [&] {
                        PostMessageA(Third, WM_KEYDOWN, VK_ESCAPE, 0);
                        return true;
                    }});
    EXPECT_EQ(ShowCustomMessage("Pick one", mtError, {"One", "Two", "Three"}, 3), 3);
}

// A fault inside a real form's button: the bug-report dialog appears, the
// report resolves through this program's map, and "&Ignore" lets it go on.
volatile int* volatile NilData = reinterpret_cast<int*>(0x10);
__attribute__((noinline)) void FaultingClick(TControl&) {
    *NilData = 1; // the faulting line
}
constexpr int FaultingLine = __LINE__ - 2;

TEST(RealMessageBox, FaultInAHandlerShowsTheBugReportDialog) {
    ClearQueuedActions();
    static std::string Report;
    Report.clear();
    const TMailSender Saved = MailSender;
    MailSender = [](TWindowHandle, const TBaseStringList& Fields) -> std::int32_t {
        Report = Fields.Value("body");
        return 0;
    };

    TStyleForm Form;
    Form.BorderStyle = TBorderStyle::bsDialog;
    Form.SetCaption("Fault test");
    Form.SetBounds(100, 100, 260, 140);
    TButton& Crash = Form.Add<TButton>();
    Crash.SetCaption("Crash");
    Crash.SetBounds(10, 10, 80, 25);
    Crash.OnClick = FaultingClick;
    TButton& Close = Form.Add<TButton>();
    Close.SetCaption("Close");
    Close.ModalResult = mrOk;
    Close.SetBounds(100, 10, 80, 25);

    HWND Main = nullptr, Bug = nullptr, Again = nullptr;
    std::string Message;
    std::vector<std::string> Captions;
    bool Photographed = false;
    TDriver Driver({WaitFor("TStyleForm", "Fault test", Main),
                    [&] {
                        PostMessageA(FindWindowExA(Main, nullptr, "Button", "Crash"), BM_CLICK, 0, 0);
                        return true;
                    },
                    WaitFor("TMessageForm", "Error", Bug),
                    [&] {
                        for (HWND B : Children(Bug, "Button")) Captions.push_back(WindowText(B));
                        for (HWND S : Children(Bug, "Static"))
                            if (!(GetWindowLongA(S, GWL_STYLE) & SS_ICON)) Message = WindowText(S);
                        Photographed = test::SaveWindowScreenshot(Bug, "bug-report");
                        PostMessageA(FindWindowExA(Bug, nullptr, "Button", "Send bug report"), BM_CLICK, 0, 0);
                        return true;
                    },
                    [&] {
                        if (IsWindow(Bug) && IsWindowVisible(Bug)) return false;
                        PostMessageA(FindWindowExA(Main, nullptr, "Button", "Crash"), BM_CLICK, 0, 0);
                        return true;
                    },
                    [&] {
                        HWND Box = VisibleWindow("TMessageForm", "Error");
                        if (!Box || Box == Bug) return false;
                        Again = Box;
                        PostMessageA(FindWindowExA(Box, nullptr, "Button", "&Ignore"), BM_CLICK, 0, 0);
                        return true;
                    },
                    [&] {
                        if (IsWindow(Again) && IsWindowVisible(Again)) return false;
                        PostMessageA(FindWindowExA(Main, nullptr, "Button", "Close"), BM_CLICK, 0, 0);
                        return true;
                    }});
    EXPECT_EQ(Form.ShowModal(), mrOk); // the form survived both faults
    MailSender = Saved;
    EXPECT_TRUE(Driver.Done());
    EXPECT_EQ(Captions, (std::vector<std::string>{"&Ignore", "Send bug report", "Terminate application"}));
    EXPECT_EQ(Message, "Invalid access to memory location in module 'ui_tests.exe'. Write of NIL pointer.");
    EXPECT_TRUE(Photographed);
    const std::string Line = "\n\rException address: ";
    const std::size_t At = Report.find(Line);
    ASSERT_NE(At, std::string::npos) << Report;
    const std::string Resolved = Report.substr(At + Line.size(), Report.find("\n\r", At + 2) - At - Line.size());
    EXPECT_NE(Resolved.find(", MessageFormWin32Test, "), std::string::npos) << Resolved;
    EXPECT_NE(Resolved.find("FaultingClick(fi::TControl&)"), std::string::npos) << Resolved;
    EXPECT_NE(Resolved.find("MessageFormWin32Test line " + std::to_string(FaultingLine)), std::string::npos)
        << Resolved;
    EXPECT_NE(Report.find("\n\rCaught by: TButton"), std::string::npos) << Report;
    EXPECT_NE(Report.find("\n\rStack trace: \n\r"), std::string::npos) << Report;
}

TEST(Registry, UseStyleFormIsReadNeverCreated) {
    const char* Key = "Software\\Norvane";
    RegDeleteKeyA(HKEY_CURRENT_USER, Key);
    EXPECT_EQ(ReadUseStyleForm(TRegistryRoot::CurrentUser), std::nullopt);
    HKEY Opened = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, Key, 0, KEY_READ, &Opened), ERROR_SUCCESS);

    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_WRITE, nullptr, &Opened, nullptr),
              ERROR_SUCCESS);
    DWORD Off = 0;
    RegSetValueExA(Opened, "UseStyleForm", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Off), sizeof Off);
    EXPECT_EQ(ReadUseStyleForm(TRegistryRoot::CurrentUser), std::optional<bool>(false));
    DWORD On = 1;
    RegSetValueExA(Opened, "UseStyleForm", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&On), sizeof On);
    EXPECT_EQ(ReadUseStyleForm(TRegistryRoot::CurrentUser), std::optional<bool>(true));
    RegSetValueExA(Opened, "UseStyleForm", 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 2);
    EXPECT_EQ(ReadUseStyleForm(TRegistryRoot::CurrentUser), std::nullopt); // unreadable as a Boolean
    RegCloseKey(Opened);
    RegDeleteKeyA(HKEY_CURRENT_USER, Key);
}

// The own caption bar of systems with major version 5 or lower: this program
// runs itself again under a name for which wine reports Windows XP.
TEST(XpCaption, PaintedInAChildReportingWindowsXp) {
    const std::string Copy = test::CopyOfThisProgram("ui_tests_xp.exe");
    ASSERT_FALSE(Copy.empty());
    HKEY Opened = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\ui_tests_xp.exe", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &Opened, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(Opened, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("winxp"), 6);
    RegCloseKey(Opened);

    SetEnvironmentVariableA("FI_XP_CAPTION_CHILD", "1");
    const DWORD Exit = test::RunChildProcess("\"" + Copy + "\" --gtest_filter=XpCaptionChild.*", 120000);
    SetEnvironmentVariableA("FI_XP_CAPTION_CHILD", nullptr);
    EXPECT_EQ(Exit, 0u);
}

TEST(XpCaptionChild, PaintsTheOwnCaption) {
    char Flag[4] = {};
    if (GetEnvironmentVariableA("FI_XP_CAPTION_CHILD", Flag, sizeof Flag) == 0)
        GTEST_SKIP() << "runs inside the Windows XP child only";
    int Major = 0, Minor = 0;
    SystemVersion(Major, Minor);
    ASSERT_EQ(Major, 5);
    ASSERT_TRUE(StyleFormEnabled);

    TStyleForm Form;
    Form.BorderStyle = TBorderStyle::bsSizeable;
    Form.SetCaption("Styled caption");
    Form.SetBounds(120, 120, 420, 160);
    Form.Loaded();
    TButton& Ok = Form.Add<TButton>();
    Ok.SetCaption("OK");
    Ok.ModalResult = mrOk;
    Ok.SetBounds(160, 60, 75, 25);
    HWND Window = nullptr;
    COLORREF Corner = 0, FaceEnd = 0;
    bool Photographed = false;
    TDriver Driver({WaitFor("TStyleForm", "Styled caption", Window), [&] {
                        RedrawWindow(Window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
                        HDC Dc = GetWindowDC(Window);
                        const int Fx = GetSystemMetrics(SM_CXFRAME), Fy = GetSystemMetrics(SM_CYFRAME);
                        Corner = GetPixel(Dc, Fx, Fy);
                        RECT R;
                        GetWindowRect(Window, &R);
                        FaceEnd = GetPixel(Dc, (R.right - R.left) - Fx - 100, Fy);
                        ReleaseDC(Window, Dc);
                        Photographed = test::SaveWindowScreenshot(Window, "xp-caption");
                        PostMessageA(FindWindowExA(Window, nullptr, "Button", "OK"), BM_CLICK, 0, 0);
                        return true;
                    }});
    EXPECT_EQ(Form.ShowModal(), mrOk);
    EXPECT_TRUE(Photographed);
    // Row 0 of the bar starts from the dark colours of our own shading.
    const TCaptionColors& C = Form.CaptionColors;
    EXPECT_TRUE(Corner == C.ActiveDark || Corner == C.InactiveDark) << std::hex << Corner;
    EXPECT_EQ(FaceEnd, C.DarkFace) << std::hex << FaceEnd;
}

} // namespace
} // namespace fi
