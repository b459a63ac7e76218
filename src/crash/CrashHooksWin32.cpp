// Fault hooks on Windows: a vectored exception handler sees every fault
// first, before any frame-based handler of the host or the system.
//
// A fault inside a TFaultGuard (the forms' event dispatch) must unwind as a
// C++ exception, but the handler runs on the system's dispatch frames, which
// the C++ unwinder cannot cross. So it rewrites the faulting context and
// continues execution: the thread resumes in ThrowPendingFault as if the
// faulting instruction had called it. For a fault at an ordinary instruction
// the return address pushed is the fault address + 1, so that the unwinder,
// which looks up "return address - 1", finds the faulting instruction's own
// frame description; a call through a bad pointer faults with the pointer as
// the instruction address, and then the caller's return address is already on
// the stack. The guarded code is built with -fnon-call-exceptions and
// asynchronous unwind tables, so every instruction that can fault is covered.
#include <windows.h>


#include "crash/CrashHooks.h"
#include "crash/ExceptionDialog.h"
#include "ui/Forms.h"

namespace fi {

namespace {

constexpr DWORD CodeAccessViolation = 0xC0000005;
constexpr DWORD CodeIntDivideByZero = 0xC0000094;
constexpr DWORD CodePrivilegedInstruction = 0xC0000096;
constexpr DWORD CodeStackOverflow = 0xC00000FD;

PVOID HandlerHandle = nullptr;
TApplication::TExceptionEvent PreviousOnException = nullptr;
TFaultRecord PendingFault;

// The thread information block, whose stack limits bound the frame walk.
const NT_TIB* CurrentTib() {
    NT_TIB* Tib;
    __asm__("movl %%fs:0x18, %0" : "=r"(Tib));
    return Tib;
}

TImageRange OwnImage() {
    HMODULE Module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&CodeSegmentMarker), &Module))
        return {};
    const auto Base = reinterpret_cast<std::uintptr_t>(Module);
    const auto* Dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base);
    const auto* Nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Base + std::uintptr_t(Dos->e_lfanew));
    return {Base, Base + Nt->OptionalHeader.SizeOfImage};
}

std::string ModuleNameOf(const void* Address) {
    // Nothing is loaded this low; a null address would even name the program.
    if (reinterpret_cast<std::uintptr_t>(Address) < 0x10000) return std::string();
    HMODULE Module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(Address), &Module))
        return std::string();
    char Path[MAX_PATH];
    const DWORD Length = GetModuleFileNameA(Module, Path, MAX_PATH);
    return ExtractFileName(std::string(Path, Length));
}

extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void ThrowPendingFault() {
    const TFaultRecord Fault = PendingFault;
    // Frames: this routine, the faulting one; the trace starts at its caller.
    CaptureStack(2, 20, CapturedTrace);
    RaiseFault(Fault, ModuleNameOf(reinterpret_cast<const void*>(Fault.CodeAddress)));
}

extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void ReportStackOverflow() {
    MessageBoxA(HWND(Application().Handle()), SStackOverflow, "", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    Application().Terminate();
    // Nothing below the reset stack pointer is usable any more: the process
    // cannot go back to its message loop.
    ExitProcess(1);
}

// Unguarded faults: the frame-pointer chain from the faulting context, kept
// inside the thread's stack so that a broken chain cannot fault again.
void CaptureFromContext(const CONTEXT& Context) {
    const NT_TIB* Tib = CurrentTib();
    const auto Low = std::uintptr_t(Tib->StackLimit), High = std::uintptr_t(Tib->StackBase);
    std::uintptr_t Frame = Context.Ebp;
    int Stored = 0;
    while (Stored < 20 && Frame >= 0x10000 && Frame >= Low && Frame + 8 <= High && (Frame & 3) == 0) {
        const auto* Slots = reinterpret_cast<const std::uintptr_t*>(Frame);
        const std::uintptr_t Return = Slots[1];
        if (Return < 0x10000) break;
        CapturedTrace[Stored++] = Return;
        if (Slots[0] <= Frame) break;
        Frame = Slots[0];
    }
    CapturedTrace[Stored] = 0;
}

LONG CALLBACK OnSystemException(EXCEPTION_POINTERS* Pointers) {
    EXCEPTION_RECORD& Record = *Pointers->ExceptionRecord;
    CONTEXT& Context = *Pointers->ContextRecord;
    if (!IsModuleFault(Context.Eip)) return EXCEPTION_CONTINUE_SEARCH;
    TFaultRecord Fault;
    switch (Record.ExceptionCode) {
    case CodeAccessViolation:
        Fault.Kind = fkAccessViolation;
        if (Record.NumberParameters >= 2) {
            Fault.Access = std::uint32_t(Record.ExceptionInformation[0]);
            Fault.DataAddress = std::uintptr_t(Record.ExceptionInformation[1]);
        }
        break;
    case CodeIntDivideByZero:
        Fault.Kind = fkIntDivByZero;
        break;
    case CodePrivilegedInstruction:
        Fault.Kind = fkPrivilege;
        break;
    case CodeStackOverflow: {
        CapturedTrace[0] = 0;
        const NT_TIB* Tib = CurrentTib();
        std::uintptr_t Top = Context.Esp;
        if (SavedStackTop > std::uintptr_t(Tib->StackLimit) && SavedStackTop < std::uintptr_t(Tib->StackBase))
            Top = SavedStackTop;
        Context.Esp = DWORD((Top - 64) & ~std::uintptr_t(15));
        Context.Eip = DWORD(reinterpret_cast<std::uintptr_t>(&ReportStackOverflow));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    default:
        return EXCEPTION_CONTINUE_SEARCH;
    }
    CapturedTrace[0] = 0;
    Fault.CodeAddress = Context.Eip;
    if (TFaultGuard::Held()) {
        PendingFault = Fault;
        if (Fault.Kind == fkAccessViolation && Fault.DataAddress == Context.Eip) {
            Context.Eip = DWORD(reinterpret_cast<std::uintptr_t>(&ThrowPendingFault));
        } else {
            Context.Esp -= 4;
            *reinterpret_cast<DWORD*>(std::uintptr_t(Context.Esp)) = Context.Eip + 1;
            Context.Eip = DWORD(reinterpret_cast<std::uintptr_t>(&ThrowPendingFault));
        }
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    CaptureFromContext(Context);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

const TImageRange& ModuleImage() {
    static const TImageRange Range = OwnImage();
    return Range;
}

void InstallCrashHooks() {
    if (HandlerHandle != nullptr) return;
    PrepareFaultQueries();
    volatile char Local = 0;
    SavedStackTop = reinterpret_cast<std::uintptr_t>(&Local) + 64;
    HandlerHandle = AddVectoredExceptionHandler(1, OnSystemException);
    // Room for the handler after the stack ran into its guard page (the
    // call exists from Windows Server 2003 SP1 on).
    using TSetGuarantee = BOOL(WINAPI*)(PULONG);
    if (HMODULE Kernel = GetModuleHandleA("kernel32.dll"))
        if (auto Set = reinterpret_cast<TSetGuarantee>(
                reinterpret_cast<void*>(GetProcAddress(Kernel, "SetThreadStackGuarantee")))) {
            ULONG Size = 64 * 1024;
            Set(&Size);
        }
    // No run-time error hook: C++ has no run-time invalid-pointer check.
    PreviousOnException = Application().OnException;
    Application().OnException = HandleApplicationException;
}

void RemoveCrashHooks() {
    if (HandlerHandle == nullptr) return;
    if (Application().OnException == HandleApplicationException) Application().OnException = PreviousOnException;
    RemoveVectoredExceptionHandler(HandlerHandle);
    HandlerHandle = nullptr;
}

std::string ModuleFileName() {
    HMODULE Module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&CodeSegmentMarker), &Module);
    char Path[MAX_PATH];
    const DWORD Length = GetModuleFileNameA(Module, Path, MAX_PATH);
    return std::string(Path, Length);
}

std::string ProgramFileName() {
    char Path[MAX_PATH];
    const DWORD Length = GetModuleFileNameA(nullptr, Path, MAX_PATH);
    return std::string(Path, Length);
}

bool IsLibrary() {
    HMODULE Module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&CodeSegmentMarker), &Module);
    return Module != GetModuleHandleA(nullptr);
}

} // namespace fi
