#pragma once
// Low-level fault hooks: the stack captured at the moment of a fault, the
// exception kinds a fault becomes, and the guard that lets a fault inside an
// event handler unwind as an ordinary exception.
#include <cstdint>
#include <string>

#include "support/Exceptions.h"
#include "support/FaultGuard.h"

namespace fi {

using TCodeAddress = std::uintptr_t;

// Faults raised by the processor and turned into exceptions. Address is the
// code address of the faulting instruction.
class EExternal : public Exception {
public:
    EExternal(const std::string& Message, TCodeAddress Address) : Exception(Message), FAddress(Address) {}
    TCodeAddress Address() const { return FAddress; }

private:
    TCodeAddress FAddress;
};

class EAccessViolation : public EExternal {
public:
    using EExternal::EExternal;
};

class EPrivilege : public EExternal {
public:
    using EExternal::EExternal;
};

class EIntError : public EExternal {
public:
    using EExternal::EExternal;
};

class EDivByZero : public EIntError {
public:
    using EIntError::EIntError;
};

// Kept for the defect list of the bug-report handler: C++ has no run-time
// check that raises it, so nothing in this module hooks or throws it.
class EInvalidPointer : public Exception {
public:
    explicit EInvalidPointer(const std::string& Message) : Exception(Message) {}
};

class EListError : public Exception {
public:
    explicit EListError(const std::string& Message) : Exception(Message) {}
};

inline constexpr const char* SAccessViolationArg3 = "Access violation at address %s in module '%s'. %s of address %s";
inline constexpr const char* SAccessViolationArg2 = "Access violation at address %s. %s of address %s";
inline constexpr const char* SReadAccess = "Read";
inline constexpr const char* SWriteAccess = "Write";
inline constexpr const char* SExecuteAccess = "Execute";
inline constexpr const char* SIntDivByZero = "Division by zero";
inline constexpr const char* SPrivilege = "Privileged instruction";
inline constexpr const char* SStackOverflow = "Stack overflow.\rThe application will terminate.";

// Capacity of the captured trace: 20 return addresses and the terminating 0.
inline constexpr int CapturedTraceSize = 21;

// The return addresses of the last captured fault, ended by 0; empty (first
// entry 0) when nothing was captured. The last fault overwrites it.
extern TCodeAddress CapturedTrace[CapturedTraceSize];

// Stack address just above the start-up routine's locals, recorded by
// InstallCrashHooks.
extern std::uintptr_t SavedStackTop;

// Installs the fault hooks and makes the bug-report handler the
// application's unhandled-exception event. Called once at module start,
// before any form exists; later calls do nothing.
void InstallCrashHooks();

// Removes what InstallCrashHooks installed, in reverse order, and puts back
// what was there before: the module's code must not be reached from the
// process once it is unloaded.
void RemoveCrashHooks();

// The module's hooks for as long as the object lives: the module holds one
// from its start-up to its unload.
class TCrashHookInstallation {
public:
    TCrashHookInstallation() { InstallCrashHooks(); }
    ~TCrashHookInstallation() { RemoveCrashHooks(); }
    TCrashHookInstallation(const TCrashHookInstallation&) = delete;
    TCrashHookInstallation& operator=(const TCrashHookInstallation&) = delete;
};

// Whether a fault at code address Address on the calling thread is the
// module's business: the address lies in the module's own code, or module
// code runs on this thread, or a fault guard is held on it. Every other
// fault passes to the host untouched.
bool IsModuleFault(TCodeAddress Address);

// Platform layer: the address range of this module's image, read once.
struct TImageRange {
    std::uintptr_t Start = 0;
    std::uintptr_t End = 0;
};
const TImageRange& ModuleImage();

// Answers once what IsModuleFault asks, so that a handler running on any
// thread later finds everything in place; called before the hooks go in.
void PrepareFaultQueries();

// Walks the calling thread's stack from the caller of CaptureStack: the
// first Skip frames are dropped, at most Max return addresses are stored,
// then the terminating 0. Dest holds at least Max + 1 entries.
void CaptureStack(int Skip, int Max, TCodeAddress* Dest);

// An empty routine whose address, against its offset in the linker map,
// gives the run-time start of the code segment.
void CodeSegmentMarker();

// The full file name of the module (executable or library) holding this code.
std::string ModuleFileName();
// The full file name of the running program.
std::string ProgramFileName();
// True when this code runs inside a loadable library.
bool IsLibrary();

// Address as upper-case hexadecimal, at least 8 digits.
std::string HexAddress(std::uintptr_t Address);

// What the fault hook records for the thread it resumes in ThrowFault.
struct TFaultRecord {
    std::uint32_t Kind = 0; // one of the TFaultKind values
    TCodeAddress CodeAddress = 0;
    std::uintptr_t DataAddress = 0;
    std::uint32_t Access = 0; // 0 read, 1 write, 8 execute
};

enum TFaultKind : std::uint32_t { fkAccessViolation = 1, fkIntDivByZero = 2, fkPrivilege = 3 };

// Builds the exception object of a recorded fault (message as the run-time
// system words it, with the name of the module that holds the code address).
[[noreturn]] void RaiseFault(const TFaultRecord& Fault, const std::string& ModuleName);

// The file name without its directory.
std::string ExtractFileName(const std::string& Path);

} // namespace fi
