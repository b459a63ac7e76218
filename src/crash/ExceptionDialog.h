#pragma once
// The bug-report handler: an exception that escaped an event becomes a
// readable message, and a defect can be sent as a report with the exception
// address and the stack resolved through the module's linker map.
#include <cstdint>
#include <exception>
#include <string>

#include "crash/CrashHooks.h"
#include "support/StringLists.h"

namespace fi {

class TControl;
using TWindowHandle = std::uintptr_t;

inline constexpr const char* SInvalidAccess = "Invalid access to memory location";
inline constexpr const char* SNilCall = ". NIL function or method call";
inline constexpr const char* SNilPointer = " of NIL pointer";
inline constexpr const char* SBugReportSubject = "Norvane Bug report";
inline constexpr const char* SReportLineBreak = "\n\r";
inline constexpr const char* SDescribePrompt = "Please describe what you did do before the error occurred:";
inline constexpr const char* SNoDirectReply =
    "(You cannot expect a direct reply to this bug report, but it will be used to make the next version better!)";
inline constexpr const char* SIgnoreButton = "&Ignore";
inline constexpr const char* SSendReportButton = "Send bug report";
inline constexpr const char* STerminateButton = "Terminate application";
inline constexpr const char* SReportFailed = "Exception";

// Where bug reports go; the build may set another address.
extern const char* const BugReportAddress;

// The address, then unit, symbol and source line as far as the map file
// resolves them, separated by ", ". An empty MapFileName means the map file
// next to this module, with the code segment found through CodeSegmentMarker;
// a named map is taken to be loaded at 401000 hexadecimal.
std::string ResolveAddress(TCodeAddress Address, const std::string& MapFileName = std::string());

// Each address up to the terminating 0, resolved and preceded by Separator;
// null Addresses means CapturedTrace.
std::string FormatTrace(const TCodeAddress* Addresses, const std::string& Separator);

// The readable form of the standard access-violation message.
std::string RewriteAccessViolation(const std::string& Message);
// Ends a message with a full stop unless it ends in punctuation of its own.
std::string AppendFullStop(const std::string& Message);
// The exception kinds that mean a defect and offer a bug report.
bool IsDefect(const std::exception& E);
// The code address of an exception: where a fault happened; 0 for others.
TCodeAddress ExceptionAddress(const std::exception& E);

// Everything the report says besides the message.
struct TBugReportFacts {
    bool InLibrary = false;
    std::string ModuleName, ModuleVersion;
    std::string ProgramName, ProgramVersion;
    std::string ExceptionAddress; // resolved
    std::string Trace;            // resolved, empty when nothing was captured
    std::string CaughtBy;         // class name of the sender, empty when none
    std::string ActiveForm;       // class name, empty when none
    int WindowsMajor = 0, WindowsMinor = 0;
};
std::string BuildBugReport(const std::string& Message, const TBugReportFacts& Facts);

// Sends a mail through the platform's mail system; replaceable so that the
// report's route can be observed.
using TMailSender = std::int32_t (*)(TWindowHandle OwnerWindow, const TBaseStringList& Fields);
extern TMailSender MailSender;

// The application's unhandled-exception event. Never lets an exception escape.
void HandleApplicationException(TControl* Sender, const std::exception& E);

} // namespace fi
