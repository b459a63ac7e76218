#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "crash/ExceptionDialog.h"
#include "crash/SendMail.h"
#include "support/StringLists.h"
#include "ui/MessageForm.h"

namespace fi {
namespace {

TEST(RewriteAccessViolation, NilCodeAddress) {
    EXPECT_EQ(RewriteAccessViolation("Access violation at address 00000000 in module 'Host.exe'. Read of address 00000000"),
              "Invalid access to memory location in module 'Host.exe'. NIL function or method call");
    // Just below the top of the address space is a small negative offset too.
    EXPECT_EQ(RewriteAccessViolation("Access violation at address FFFFFFF0 in module 'Host.exe'. Read of address FFFFFFF0"),
              "Invalid access to memory location in module 'Host.exe'. NIL function or method call");
}

TEST(RewriteAccessViolation, NilAndOtherDataAddresses) {
    EXPECT_EQ(RewriteAccessViolation("Access violation at address 0047A000 in module 'Host.exe'. Read of address 00000010"),
              "Invalid access to memory location in module 'Host.exe'. Read of NIL pointer");
    EXPECT_EQ(RewriteAccessViolation("Access violation at address 0047A000 in module 'Host.exe'. Read of address 00000400"),
              "Invalid access to memory location in module 'Host.exe': Read");
    EXPECT_EQ(RewriteAccessViolation("Access violation at address 0047A000 in module 'Host.exe'. Write of address 000003FF"),
              "Invalid access to memory location in module 'Host.exe'. Write of NIL pointer");
    // Everything that is not a read counts as a write.
    EXPECT_EQ(RewriteAccessViolation("Access violation at address 0047A000 in module 'a.dll'. Execute of address 00500000"),
              "Invalid access to memory location in module 'a.dll': Write");
}

TEST(RewriteAccessViolation, MessageWithoutModule) {
    EXPECT_EQ(RewriteAccessViolation("Access violation at address 0047A000. Read of address 00000010"),
              "Invalid access to memory location. Read of NIL pointer");
}

TEST(AppendFullStop, OnlyAfterCharactersAboveTheFullStop) {
    EXPECT_EQ(AppendFullStop("Disk full!"), "Disk full!");
    EXPECT_EQ(AppendFullStop("Already."), "Already.");
    EXPECT_EQ(AppendFullStop("Value (3)"), "Value (3)");
    EXPECT_EQ(AppendFullStop("Bad value"), "Bad value.");
    EXPECT_EQ(AppendFullStop("Error 42"), "Error 42.");
    EXPECT_EQ(AppendFullStop(""), "");
}

TEST(IsDefect, DefectKindsAndTheirDescendants) {
    EXPECT_TRUE(IsDefect(EAccessViolation("x", 0)));
    EXPECT_TRUE(IsDefect(EPrivilege("x", 0)));
    EXPECT_TRUE(IsDefect(EInvalidPointer("x")));
    EXPECT_TRUE(IsDefect(EListError("x")));
    EXPECT_TRUE(IsDefect(EStringListError("x")));
    EXPECT_TRUE(IsDefect(EDivByZero("x", 0)));
    EXPECT_TRUE(IsDefect(EMathError("x")));
    EXPECT_TRUE(IsDefect(std::out_of_range("x")));
    EXPECT_FALSE(IsDefect(Exception("x")));
    EXPECT_FALSE(IsDefect(EOutOfMemory()));
    EXPECT_FALSE(IsDefect(std::runtime_error("x")));
    EXPECT_FALSE(IsDefect(EExternal("x", 0)));
}

TEST(BugReport, LayoutAndOrder) {
    TBugReportFacts F;
    F.InLibrary = true;
    F.ModuleName = "FractalInterpolation.dll";
    F.ModuleVersion = "1.0.0 0";
    F.ProgramName = "Host.exe";
    F.ProgramVersion = "3.1.0 2010";
    F.ExceptionAddress = "0040ABCD, StyleForm";
    F.Trace = "\n\r00401000\n\r00402000";
    F.CaughtBy = "TButton";
    F.ActiveForm = "TMessageForm";
    F.WindowsMajor = 5;
    F.WindowsMinor = 1;
    const std::string Expected =
        "Application: Host.exe 3.1.0 2010\n\rModule: FractalInterpolation.dll 1.0.0 0\n\rBoom.\n\r\n\r"
        "Please describe what you did do before the error occurred:\n\r\n\r\n\r"
        "(You cannot expect a direct reply to this bug report, but it will be used to make the next version "
        "better!)\n\r\n\r\n\rException address: 0040ABCD, StyleForm\n\rStack trace: \n\r00401000\n\r00402000"
        "\n\rCaught by: TButton\n\rActive form: TMessageForm\n\rWindows version: 5.1";
    EXPECT_EQ(BuildBugReport("Boom.", F), Expected);

    TBugReportFacts Bare;
    Bare.ProgramName = "Host.exe";
    Bare.ExceptionAddress = "00000000";
    const std::string Report = BuildBugReport("Boom.", Bare);
    EXPECT_EQ(Report.find("Module:"), std::string::npos);
    EXPECT_EQ(Report.find("Stack trace:"), std::string::npos);
    EXPECT_EQ(Report.find("Caught by:"), std::string::npos);
    EXPECT_EQ(Report.find("Active form:"), std::string::npos);
    EXPECT_EQ(Report.substr(0, 23), "Application: Host.exe \n");
}

TEST(SendMailFields, RecipientAttachmentsSubjectAndBody) {
    TOpenStringList Fields;
    Fields.Add("to=someone@example.org");
    Fields.Add("subject=Hello");
    Fields.Add("body=a=b");
    Fields.Add("attachment0=C:\\dir\\one.txt");
    Fields.Add("attachment1=/tmp/two.log");
    Fields.Add("attachment3=skipped.txt");
    const TMailMessage M = BuildMailMessage(Fields);
    EXPECT_TRUE(M.HasRecipient);
    EXPECT_EQ(M.RecipientName, "someone@example.org");
    EXPECT_EQ(M.RecipientAddress, "SMTP:someone@example.org");
    ASSERT_EQ(M.AttachmentPaths.size(), 2u);
    EXPECT_EQ(M.AttachmentNames[0], "one.txt");
    EXPECT_EQ(M.AttachmentNames[1], "two.log");
    EXPECT_EQ(M.Subject, "Hello");
    EXPECT_EQ(M.Body, "a=b");
    TOpenStringList None;
    const TMailMessage Empty = BuildMailMessage(None);
    EXPECT_FALSE(Empty.HasRecipient || Empty.HasSubject || Empty.HasBody);
}

// The handler's routes, with the user's answers queued for its dialogs.
class HandlerTest : public testing::Test {
protected:
    void SetUp() override {
        std::function<void(TForm&)> Left;
        while (TakeModalAction(Left)) {
        }
        Captured.clear();
        Sent.clear();
        SavedSender = MailSender;
        MailSender = [](TWindowHandle, const TBaseStringList& Fields) -> std::int32_t {
            Sent = Fields.Value("body");
            SentSubject = Fields.Value("subject");
            SentTo = Fields.Value("to");
            return 0;
        };
    }
    void TearDown() override { MailSender = SavedSender; }

    // Records the dialog and presses the button with Caption.
    static void Answer(const std::string& Caption) {
        QueueModalAction([Caption](TForm& Form) {
            auto& Message = static_cast<TMessageForm&>(Form);
            Captured.push_back(Form.Caption() + "|" + Message.Message->Caption());
            for (const auto& Child : Form.Controls())
                if (auto* B = dynamic_cast<TButton*>(Child.get())) Buttons.push_back(B->Caption());
            TButton* Button = Form.FindButton(Caption);
            ASSERT_NE(Button, nullptr) << Caption;
            Button->Click();
        });
    }

    static inline std::vector<std::string> Captured, Buttons;
    static inline std::string Sent, SentSubject, SentTo;
    TMailSender SavedSender = nullptr;
};

TEST_F(HandlerTest, GeneralExceptionShowsOnlyTheErrorBox) {
    Buttons.clear();
    Answer("OK");
    HandleApplicationException(nullptr, Exception("Something went wrong"));
    ASSERT_EQ(Captured.size(), 1u);
    EXPECT_EQ(Captured[0], "Error|Something went wrong.");
    EXPECT_EQ(Buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(Sent.empty());
}

TEST_F(HandlerTest, DefectOffersTheReportAndIgnoreDoesNothingMore) {
    Buttons.clear();
    Answer("&Ignore");
    HandleApplicationException(nullptr, EStringListError("List index out of bounds (5)"));
    ASSERT_EQ(Captured.size(), 1u);
    EXPECT_EQ(Captured[0], "Error|List index out of bounds (5)");
    EXPECT_EQ(Buttons, (std::vector<std::string>{"&Ignore", "Send bug report", "Terminate application"}));
    EXPECT_TRUE(Sent.empty());
    EXPECT_FALSE(Application().Terminated());
}

TEST_F(HandlerTest, SendBuildsTheReportForTheMailSystem) {
    Answer("Send bug report");
    TControl Sender;
    HandleApplicationException(&Sender, EAccessViolation("Access violation at address 00000000 in module "
                                                          "'Host.exe'. Read of address 00000000",
                                                          0));
    ASSERT_EQ(Captured.size(), 1u);
    EXPECT_EQ(Captured[0], "Error|Invalid access to memory location in module 'Host.exe'. NIL function or method call.");
    EXPECT_EQ(SentTo, BugReportAddress);
    EXPECT_EQ(SentSubject, "Norvane Bug report");
    EXPECT_EQ(Sent.find("Application: "), 0u);
    EXPECT_NE(Sent.find("\n\rInvalid access to memory location in module 'Host.exe'. NIL function or method call."
                        "\n\r\n\rPlease describe"),
              std::string::npos);
    EXPECT_NE(Sent.find("\n\rException address: 00000000"), std::string::npos);
    EXPECT_NE(Sent.find("\n\rCaught by: TControl"), std::string::npos);
    EXPECT_NE(Sent.find("\n\rWindows version: "), std::string::npos);
}

TEST_F(HandlerTest, TerminateAsksTheApplicationToEnd) {
    Answer("Terminate application");
    HandleApplicationException(nullptr, EPrivilege("Privileged instruction", 0));
    EXPECT_TRUE(Application().Terminated());
    Application().CancelTermination();
}

TEST_F(HandlerTest, SilentAbortNeverReachesTheUser) {
    TControl Control;
    Control.OnClick = [](TControl&) { Abort(); };
    Control.Click();
    EXPECT_TRUE(Captured.empty());
    std::function<void(TForm&)> Left;
    EXPECT_FALSE(TakeModalAction(Left));
}

} // namespace
} // namespace fi
