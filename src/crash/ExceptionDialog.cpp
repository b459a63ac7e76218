#include "crash/ExceptionDialog.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "crash/SendMail.h"
#include "crash/VersionInfo.h"
#include "ui/Forms.h"
#include "ui/MessageForm.h"

#ifndef FI_BUG_REPORT_ADDRESS
#define FI_BUG_REPORT_ADDRESS "bugreport@norvane.example"
#endif

namespace fi {

const char* const BugReportAddress = FI_BUG_REPORT_ADDRESS;
TMailSender MailSender = SendMail;

namespace {

bool StartsWith(const std::string& S, const char* Prefix) { return S.rfind(Prefix, 0) == 0; }

bool EndsWith(const std::string& S, const char* Suffix) {
    const std::string X(Suffix);
    return S.size() >= X.size() && S.compare(S.size() - X.size(), X.size(), X) == 0;
}

int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    return -1;
}

// Exactly Count hexadecimal digits of S from Column (1-based), or a parse
// failure: the map reader gives up quietly on any malformed field.
struct EMapFormat {};
std::uint32_t HexField(const std::string& S, std::size_t Column, std::size_t Count) {
    if (S.size() < Column - 1 + Count) throw EMapFormat();
    std::uint32_t Value = 0;
    for (std::size_t i = 0; i < Count; ++i) {
        const int D = HexValue(S[Column - 1 + i]);
        if (D < 0) throw EMapFormat();
        Value = Value * 16 + std::uint32_t(D);
    }
    return Value;
}

int DecimalField(const std::string& S, std::size_t Column, std::size_t Count) {
    if (S.size() < Column - 1 + Count) throw EMapFormat();
    int Value = 0;
    bool Any = false;
    for (std::size_t i = 0; i < Count; ++i) {
        const char C = S[Column - 1 + i];
        if (C == ' ' && !Any) continue;
        if (C < '0' || C > '9') throw EMapFormat();
        Value = Value * 10 + (C - '0');
        Any = true;
    }
    if (!Any) throw EMapFormat();
    return Value;
}

class TMapReader {
public:
    explicit TMapReader(const std::string& FileName) : In(FileName) {}
    bool IsOpen() const { return In.is_open(); }
    // The next line, without its line end; the end of the file is a failure.
    const std::string& Next() {
        if (!std::getline(In, Line)) throw EMapFormat();
        if (!Line.empty() && Line.back() == '\r') Line.pop_back();
        return Line;
    }
    bool AtEnd() { return In.peek() == std::char_traits<char>::eof(); }
    void SkipPast(const char* Prefix) {
        while (!StartsWith(Next(), Prefix)) {
        }
    }
    std::string Line;

private:
    std::ifstream In;
};

std::string ChangeFileExt(const std::string& Path, const char* Ext) {
    const std::size_t Slash = Path.find_last_of("/\\");
    const std::size_t Dot = Path.find_last_of('.');
    if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return Path + Ext;
    return Path.substr(0, Dot) + Ext;
}

} // namespace

std::string ResolveAddress(TCodeAddress Address, const std::string& MapFileName) {
    std::string Text = HexAddress(Address);
    std::string FileName = MapFileName;
    bool BaseOpen = false;
    std::uint32_t Base = 0x401000;
    if (FileName.empty()) {
        FileName = ChangeFileExt(ModuleFileName(), ".map");
        BaseOpen = true;
    }
    TMapReader Map(FileName);
    if (!Map.IsOpen()) return Text;
    try {
        Map.SkipPast("Detailed map of segments");
        Map.Next();
        TStringIntegerList Segments;
        while (StartsWith(Map.Next(), " 0001:")) {
            const std::uint32_t Start = HexField(Map.Line, 7, 8);
            std::string Unit = Map.Line.size() >= 60 ? Map.Line.substr(59) : std::string();
            Unit = Unit.substr(0, Unit.find(' '));
            Segments.AddValue(Unit, std::int32_t(Start));
        }
        // The line that ended the segments may already be the publics header.
        while (!StartsWith(Map.Line, "  Address")) Map.Next();
        Map.Next();
        if (BaseOpen) {
            bool Found = false;
            while (!Map.Next().empty()) {
                if (StartsWith(Map.Line, " 0001:") && EndsWith(Map.Line, "__CodeSegmentTestDummy__")) {
                    const auto Marker = reinterpret_cast<std::uintptr_t>(&CodeSegmentMarker);
                    Base = std::uint32_t(Marker - HexField(Map.Line, 7, 8));
                    Found = true;
                    break;
                }
            }
            if (!Found) return Text;
        }
        // Offsets in the map are 32-bit offsets into the code segment.
        const std::uint32_t Offset = std::uint32_t(Address) - Base;
        for (std::int32_t i = 1; i < Segments.Count(); ++i) {
            if (std::uint32_t(Segments.GetValue(i)) > Offset) {
                Text += ", " + Segments.Get(i - 1);
                break;
            }
        }
        while (!Map.Next().empty()) {
        }
        Map.SkipPast("  Address");
        Map.Next();

        std::uint32_t BestDistance = 0xFFFFFFFFu;
        std::string BestLine;
        while (!Map.Next().empty()) {
            if (!StartsWith(Map.Line, " 0001:")) continue;
            const std::uint32_t D = Offset - HexField(Map.Line, 7, 8);
            if (BestLine.empty() || D < BestDistance) {
                BestDistance = D;
                BestLine = Map.Line;
            }
        }
        if (!BestLine.empty() && BestDistance < 0x1000000u && BestLine.size() > 21) Text += ", " + BestLine.substr(21);

        std::uint32_t Best = 1024;
        int LineNo = 0;
        std::string CurrentUnit, LineUnit;
        while (!Map.AtEnd()) {
            const std::string& L = Map.Next();
            if (StartsWith(L, "Line numbers for")) {
                const std::size_t Paren = L.find('(');
                CurrentUnit = L.size() > 17 ? L.substr(17, Paren == std::string::npos ? std::string::npos : Paren - 17)
                                            : std::string();
            } else if (!L.empty() && L[0] != ' ') {
                break;
            } else if (!L.empty()) {
                for (std::size_t k = 0; k < L.size() / 20; ++k) {
                    const std::uint32_t V = HexField(L, 20 * k + 13, 8);
                    const int N = DecimalField(L, 20 * k + 2, 5);
                    if (Offset - V < Best) {
                        Best = Offset - V;
                        LineUnit = CurrentUnit;
                        LineNo = N;
                    }
                }
            }
        }
        if (LineNo != 0) Text += ", " + LineUnit + " line " + std::to_string(LineNo);
    } catch (const EMapFormat&) {
        // A truncated or malformed map leaves what was resolved so far.
    }
    return Text;
}

std::string FormatTrace(const TCodeAddress* Addresses, const std::string& Separator) {
    if (!Addresses) Addresses = CapturedTrace;
    std::string Result;
    for (; *Addresses != 0; ++Addresses) Result += Separator + ResolveAddress(*Addresses);
    return Result;
}

namespace {

// The run of hexadecimal digits at Start, read as a signed number of the
// width the digits give (8 digits: 32 bits), so that addresses just below
// the top of the address space count as small negative numbers.
bool SignedHexRun(const std::string& S, std::size_t Start, std::size_t End, long long& Value) {
    if (Start >= End || End > S.size()) return false;
    unsigned long long U = 0;
    for (std::size_t i = Start; i < End; ++i) {
        const int D = HexValue(S[i]);
        if (D < 0) return false;
        U = U * 16 + unsigned(D);
    }
    const std::size_t Bits = 4 * (End - Start);
    if (Bits < 64 && (U >> (Bits - 1)) & 1) U -= 1ULL << Bits;
    Value = static_cast<long long>(U);
    return true;
}

std::size_t HexRunEnd(const std::string& S, std::size_t Start) {
    while (Start < S.size() && HexValue(S[Start]) >= 0) ++Start;
    return Start;
}

} // namespace

std::string RewriteAccessViolation(const std::string& Message) {
    std::string ModulePart;
    const std::size_t Quote = Message.find('\'');
    if (Quote != std::string::npos) {
        const std::size_t Close = Message.find('\'', Quote + 1);
        ModulePart = " in module '" +
                     Message.substr(Quote + 1, Close == std::string::npos ? std::string::npos : Close - Quote);
    }
    long long CodeAddress = 0;
    if (!SignedHexRun(Message, 28, HexRunEnd(Message, 28), CodeAddress)) return Message;
    if (CodeAddress > -1024 && CodeAddress < 1024) return SInvalidAccess + ModulePart + SNilCall;

    const std::size_t Stop = Message.rfind('.');
    std::string Op;
    if (Stop != std::string::npos) {
        std::size_t Begin = Message.find_first_not_of(' ', Stop + 1);
        if (Begin != std::string::npos) Op = Message.substr(Begin, Message.find(' ', Begin) - Begin);
    }
    Op = Op == SReadAccess ? SReadAccess : SWriteAccess;
    std::size_t DataStart = Message.size();
    while (DataStart > 0 && HexValue(Message[DataStart - 1]) >= 0) --DataStart;
    long long DataAddress = 0;
    if (!SignedHexRun(Message, DataStart, Message.size(), DataAddress)) return Message;
    if (DataAddress > -1024 && DataAddress < 1024) return SInvalidAccess + ModulePart + ". " + Op + SNilPointer;
    return SInvalidAccess + ModulePart + ": " + Op;
}

std::string AppendFullStop(const std::string& Message) {
    if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') return Message + ".";
    return Message;
}

bool IsDefect(const std::exception& E) {
    // A string list's index and sort errors and the standard library's
    // out-of-range are this program's list errors.
    return dynamic_cast<const EAccessViolation*>(&E) || dynamic_cast<const EPrivilege*>(&E) ||
           dynamic_cast<const EInvalidPointer*>(&E) || dynamic_cast<const EListError*>(&E) ||
           dynamic_cast<const EStringListError*>(&E) || dynamic_cast<const std::out_of_range*>(&E) ||
           dynamic_cast<const EIntError*>(&E) || dynamic_cast<const EMathError*>(&E);
}

TCodeAddress ExceptionAddress(const std::exception& E) {
    const auto* External = dynamic_cast<const EExternal*>(&E);
    return External ? External->Address() : 0;
}

std::string BuildBugReport(const std::string& Message, const TBugReportFacts& F) {
    const std::string LB = SReportLineBreak;
    std::string R = Message;
    if (F.InLibrary) R = "Module: " + F.ModuleName + " " + F.ModuleVersion + LB + R;
    R = "Application: " + F.ProgramName + " " + F.ProgramVersion + LB + R;
    R += LB + LB + SDescribePrompt;
    R += LB + LB + LB + SNoDirectReply + LB + LB;
    R += LB + "Exception address: " + F.ExceptionAddress;
    if (!F.Trace.empty()) R += LB + "Stack trace: " + F.Trace;
    if (!F.CaughtBy.empty()) R += LB + "Caught by: " + F.CaughtBy;
    if (!F.ActiveForm.empty()) R += LB + "Active form: " + F.ActiveForm;
    char Version[64];
    std::snprintf(Version, sizeof Version, "Windows version: %d.%d", F.WindowsMajor, F.WindowsMinor);
    R += LB + Version;
    return R;
}

void HandleApplicationException(TControl* Sender, const std::exception& E) {
    try {
        std::string Message = E.what();
        if (dynamic_cast<const EAccessViolation*>(&E)) Message = RewriteAccessViolation(Message);
        Message = AppendFullStop(Message);
        if (!IsDefect(E)) {
            ShowStyledMessage(Message, mtError, mbOK, 0);
            return;
        }
        const int Answer =
            ShowCustomMessage(Message, mtError, {SIgnoreButton, SSendReportButton, STerminateButton}, 1);
        if (Answer == 3) {
            Application().Terminate();
        } else if (Answer == 2) {
            TBugReportFacts Facts;
            Facts.InLibrary = IsLibrary();
            if (Facts.InLibrary) {
                Facts.ModuleName = ExtractFileName(ModuleFileName());
                Facts.ModuleVersion = VersionText(ReadVersionInfo(ModuleFileName()));
            }
            Facts.ProgramName = ExtractFileName(ProgramFileName());
            Facts.ProgramVersion = ApplicationVersion;
            Facts.ExceptionAddress = ResolveAddress(ExceptionAddress(E));
            if (CapturedTrace[0] != 0) Facts.Trace = FormatTrace(nullptr, SReportLineBreak);
            if (Sender) Facts.CaughtBy = Sender->ClassName();
            if (TForm* Active = Application().ActiveForm()) Facts.ActiveForm = Active->ClassName();
            SystemVersion(Facts.WindowsMajor, Facts.WindowsMinor);

            TOpenStringList Fields;
            Fields.Add(std::string("to=") + BugReportAddress);
            Fields.Add(std::string("subject=") + SBugReportSubject);
            Fields.Add("body=" + BuildBugReport(Message, Facts));
            MailSender(Application().Handle(), Fields);
        }
    } catch (...) {
        ShowSystemMessageBox(Application().Handle(), SReportFailed, "", true);
    }
}

} // namespace fi
