#include <gtest/gtest.h>

#include <string>

#include "crash/CrashHooks.h"
#include "crash/ExceptionDialog.h"
#include "ui/MessageForm.h"

namespace fi {
namespace {

volatile int* volatile BadPointer = reinterpret_cast<int*>(0x10);
volatile int Zero = 0;
using TFunction = void (*)();
volatile TFunction NilFunction = nullptr;

__attribute__((noinline)) int ReadThroughBadPointer() {
    return *BadPointer + 1; // the faulting line
}
constexpr int FaultLine = __LINE__ - 2;

// The processor's fault is the point here, not the sanitizer's report.
__attribute__((noinline, no_sanitize_undefined)) int Divide(int A, int B) { return A / B; }

// Faults inside a control's event become exceptions that reach the bug-report
// handler; the user's answers are queued for its dialog.
class FaultHookTest : public testing::Test {
protected:
    void SetUp() override {
        InstallCrashHooks();
        std::function<void(TForm&)> Left;
        while (TakeModalAction(Left)) {
        }
        Messages.clear();
        Report.clear();
        Saved = MailSender;
        MailSender = [](TWindowHandle, const TBaseStringList& Fields) -> std::int32_t {
            Report = Fields.Value("body");
            return 0;
        };
    }
    void TearDown() override { MailSender = Saved; }

    static void Answer(const char* Caption) {
        QueueModalAction([Caption](TForm& Form) {
            Messages.push_back(static_cast<TMessageForm&>(Form).Message->Caption());
            if (TButton* B = Form.FindButton(Caption)) B->Click();
        });
    }

    static inline std::vector<std::string> Messages;
    static inline std::string Report;
    TMailSender Saved = nullptr;
};

TEST_F(FaultHookTest, AccessViolationInAHandlerIsReportedAndTheProgramGoesOn) {
    Answer("Send bug report");
    TButton Button;
    int After = 0;
    Button.OnClick = [&](TControl&) {
        After = ReadThroughBadPointer();
        After = 99; // never reached
    };
    Button.Click();
    EXPECT_EQ(After, 0);
    ASSERT_EQ(Messages.size(), 1u);
    const std::string Module = ExtractFileName(ProgramFileName());
    EXPECT_EQ(Messages[0], "Invalid access to memory location in module '" + Module + "'. Read of NIL pointer.");
    // The exception address resolves through this program's map to the
    // faulting function and line.
    const std::string Line = "\n\rException address: ";
    const std::size_t At = Report.find(Line);
    ASSERT_NE(At, std::string::npos) << Report;
    const std::string Resolved = Report.substr(At + Line.size(), Report.find("\n\r", At + 2) - At - Line.size());
    EXPECT_NE(Resolved.find(", FaultHookTest, "), std::string::npos) << Resolved;
    EXPECT_NE(Resolved.find("ReadThroughBadPointer()"), std::string::npos) << Resolved;
    EXPECT_NE(Resolved.find("FaultHookTest line " + std::to_string(FaultLine)), std::string::npos) << Resolved;
    EXPECT_NE(Report.find("\n\rStack trace: \n\r"), std::string::npos) << Report;
    EXPECT_NE(Report.find("\n\rCaught by: TButton"), std::string::npos) << Report;
    EXPECT_NE(CapturedTrace[0], 0u);

    // The same control still works afterwards.
    Button.OnClick = [&](TControl&) { After = 7; };
    Button.Click();
    EXPECT_EQ(After, 7);
}

TEST_F(FaultHookTest, DivisionByZeroAndNilCallBecomeDefects) {
    Answer("&Ignore");
    TButton Button;
    int Result = 0;
    Button.OnClick = [&](TControl&) { Result = Divide(1, Zero); };
    Button.Click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "Division by zero.");

    Answer("&Ignore");
    Button.OnClick = [&](TControl&) { NilFunction(); };
    Button.Click();
    ASSERT_EQ(Messages.size(), 2u);
    // Address 0 lies in no module, so the message names none.
    EXPECT_EQ(Messages[1], "Invalid access to memory location. NIL function or method call.");
    EXPECT_TRUE(Report.empty());
}

TEST(CaptureStack, DropsSkippedFramesAndKeepsAtMostMax) {
    TCodeAddress All[21], Fewer[21], Two[21];
    // One call site, so that the first return address is the same each time.
    struct TRun {
        int Skip, Max;
        TCodeAddress* Dest;
    } Runs[] = {{0, 20, All}, {1, 20, Fewer}, {0, 2, Two}};
    for (const TRun& Run : Runs) CaptureStack(Run.Skip, Run.Max, Run.Dest);
    ASSERT_NE(All[0], 0u);
    EXPECT_EQ(Fewer[0], All[1]);
    EXPECT_EQ(Two[0], All[0]);
    EXPECT_EQ(Two[2], 0u);
    int Count = 0;
    while (All[Count] != 0) ++Count;
    EXPECT_LE(Count, 20);
}

} // namespace
} // namespace fi
