// The handler on real windows: the version block of this program, and the
// mail route, whose failure ends in the system's "Exception" box.
#include <windows.h>

#include <mapi.h>

#include <gtest/gtest.h>

#include "common/ChildProcessWin32.h"
#include "crash/ExceptionDialog.h"
#include "crash/SendMail.h"
#include "crash/VersionInfo.h"
#include "ui/MessageForm.h"

namespace fi {
namespace {

TEST(VersionInfoFile, ThisProgramsVersionBlock) {
    const TVersionInfo Info = ReadVersionInfo(ProgramFileName());
    EXPECT_EQ(VersionText(Info), "3.1.0 2010");
    EXPECT_EQ(Info.CompanyName, "Norvane");
    EXPECT_EQ(Info.OriginalFilename, "crash_tests.exe");
    EXPECT_EQ(ApplicationVersion, "3.1.0 2010");
    EXPECT_THROW(ReadVersionInfo("no-such-file.exe"), Exception);
}

// Closes the system message box with Text as soon as it shows.
std::string SeenBoxText;
void CALLBACK CloseSystemBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND Box = nullptr;
    while ((Box = FindWindowExA(nullptr, Box, "#32770", nullptr)) != nullptr) {
        if (!IsWindowVisible(Box)) continue;
        char Text[256] = {};
        HWND Static = FindWindowExA(Box, nullptr, "Static", nullptr);
        while (Static && GetWindowTextA(Static, Text, sizeof Text) == 0) Static = FindWindowExA(Box, Static, "Static", nullptr);
        SeenBoxText = Text;
        PostMessageA(Box, WM_COMMAND, IDOK, 0);
        return;
    }
}

bool IsMailChild() {
    char Flag[4] = {};
    return GetEnvironmentVariableA("FI_MAIL_CHILD", Flag, sizeof Flag) != 0;
}

std::string Environment(const char* Name) {
    char Value[4096] = {};
    GetEnvironmentVariableA(Name, Value, sizeof Value);
    return Value;
}

// The mail route needs a mail system whose answers are known: this program
// runs itself again with the stand-in mapi32.dll beside it loaded instead of
// the system's.
TEST(MailRoute, RunsAgainstTheStandInMailSystem) {
    if (IsMailChild()) GTEST_SKIP() << "this is the child";
    const std::string Copy = test::CopyOfThisProgram("crash_tests_mail.exe");
    ASSERT_FALSE(Copy.empty());
    // Under wine the program's own mapi32.dll is taken only when the
    // registry says so; Windows takes it from the program's folder anyway.
    HKEY Opened = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\crash_tests_mail.exe\\DllOverrides", 0,
                              nullptr, 0, KEY_WRITE, nullptr, &Opened, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(Opened, "mapi32", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7);
    RegCloseKey(Opened);
    SetEnvironmentVariableA("FI_MAIL_CHILD", "1");
    const DWORD Exit = test::RunChildProcess("\"" + Copy + "\" --gtest_filter=MailRouteChild.*", 120000);
    SetEnvironmentVariableA("FI_MAIL_CHILD", nullptr);
    EXPECT_EQ(Exit, 0u);
}

TEST(MailRouteChild, FailedLogonEndsInTheExceptionBox) {
    if (!IsMailChild()) GTEST_SKIP() << "runs in the child only";
    SetEnvironmentVariableA("FI_FAKE_MAPI_LOGON", nullptr);
    SeenBoxText.clear();
    QueueModalAction([](TForm& Form) { Form.FindButton("Send bug report")->Click(); });
    const UINT_PTR Timer = SetTimer(nullptr, 0, 100, CloseSystemBox);
    HandleApplicationException(nullptr, EPrivilege("Privileged instruction", 0x401000));
    KillTimer(nullptr, Timer);
    EXPECT_EQ(SeenBoxText, "Exception");
    EXPECT_EQ(Environment("FI_FAKE_MAPI_LOGON_FLAGS"), std::to_string(MAPI_LOGON_UI | MAPI_NEW_SESSION));
    EXPECT_EQ(Environment("FI_FAKE_MAPI_LOGOFF"), ""); // no session, nothing to log off
}

TEST(MailRouteChild, SendHandsTheMessageOverAndLogsOff) {
    if (!IsMailChild()) GTEST_SKIP() << "runs in the child only";
    SetEnvironmentVariableA("FI_FAKE_MAPI_LOGON", "ok");
    TOpenStringList Fields;
    Fields.Add("to=bugs@example.org");
    Fields.Add("subject=Norvane Bug report");
    Fields.Add("body=line one\n\rline two");
    Fields.Add("attachment0=C:\\reports\\trace.txt");
    EXPECT_EQ(SendMail(0, Fields), 17);
    EXPECT_EQ(Environment("FI_FAKE_MAPI_SENT"),
              "flags=8;to=1:bugs@example.org:SMTP:bugs@example.org;file=C:\\reports\\trace.txt:trace.txt:-1;"
              "subject=Norvane Bug report;body=line one\n\rline two");
    EXPECT_EQ(Environment("FI_FAKE_MAPI_LOGOFF"), "42");
}

} // namespace
} // namespace fi
