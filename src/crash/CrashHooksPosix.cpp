// Fault hooks on Linux: signal handlers for SIGSEGV, SIGBUS, SIGFPE and
// SIGILL on an alternate signal stack.
//
// A fault inside a TFaultGuard (the forms' event dispatch) must unwind as a
// C++ exception. The handler cannot throw itself, so it rewrites the
// interrupted context: the thread resumes in ThrowPendingFault as if the
// faulting instruction had called it. For a fault at an ordinary instruction
// the return address pushed is the fault address + 1, so that the unwinder,
// which looks up "return address - 1", finds the faulting instruction's own
// frame description; a call through a bad pointer faults with the pointer as
// the instruction address, and then the caller's return address is already on
// the stack. The guarded code is built with -fnon-call-exceptions and
// asynchronous unwind tables, so every instruction that can fault is covered.
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "crash/CrashHooks.h"
#include "crash/ExceptionDialog.h"
#include "ui/Forms.h"

namespace fi {

namespace {

#if defined(__x86_64__)
constexpr int RegIp = REG_RIP;
constexpr int RegSp = REG_RSP;
constexpr int RegErr = REG_ERR;
#elif defined(__i386__)
constexpr int RegIp = REG_EIP;
constexpr int RegSp = REG_ESP;
constexpr int RegErr = REG_ERR;
#else
#error "The fault hooks know only the x86 register sets."
#endif

constexpr int HookedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction PreviousActions[4];
bool Installed = false;
TApplication::TExceptionEvent PreviousOnException = nullptr;
// Whether the installing thread's alternate signal stack is ours.
bool OwnAlternateStack = false;

int FindOwnImage(dl_phdr_info* Info, std::size_t, void* Data) {
    auto& Range = *static_cast<TImageRange*>(Data);
    const auto Marker = reinterpret_cast<std::uintptr_t>(&CodeSegmentMarker);
    TImageRange Object{~std::uintptr_t(0), 0};
    for (int i = 0; i < Info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& Segment = Info->dlpi_phdr[i];
        if (Segment.p_type != PT_LOAD) continue;
        const std::uintptr_t Start = Info->dlpi_addr + Segment.p_vaddr;
        Object.Start = std::min(Object.Start, Start);
        Object.End = std::max(Object.End, std::uintptr_t(Start + Segment.p_memsz));
    }
    if (Marker < Object.Start || Marker >= Object.End) return 0;
    Range = Object;
    return 1;
}

TFaultRecord PendingFault;

extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void ThrowPendingFault() {
    const TFaultRecord Fault = PendingFault;
    // Frames: this routine, the faulting one; the trace starts at its caller.
    CaptureStack(2, 20, CapturedTrace);
    std::string Module;
    Dl_info Info;
    if (dladdr(reinterpret_cast<void*>(Fault.CodeAddress), &Info) && Info.dli_fname)
        Module = ExtractFileName(Info.dli_fname);
    RaiseFault(Fault, Module);
}

// Unguarded: keep the trace from the fault onwards, as far as the unwinder
// gets through the signal frame.
void CaptureFromSignal(TCodeAddress FaultIp) {
    void* Frames[64];
    const int Count = backtrace(Frames, 64);
    int First = 0;
    while (First < Count && TCodeAddress(Frames[First]) != FaultIp) ++First;
    int Stored = 0;
    for (int i = First + 1; i < Count && Stored < 20; ++i) {
        const TCodeAddress A = TCodeAddress(Frames[i]);
        if (A < 0x10000) break;
        CapturedTrace[Stored++] = A;
    }
    CapturedTrace[Stored] = 0;
}

void WriteError(const char* Text) {
    const ssize_t Ignored = write(STDERR_FILENO, Text, std::strlen(Text));
    (void)Ignored;
}

// Hands a fault on: to the handler that was there before, or to the default
// action once the instruction runs again.
void PassOn(int Signal, siginfo_t* Info, void* RawContext) {
    for (int i = 0; i < 4; ++i) {
        if (HookedSignals[i] != Signal) continue;
        const struct sigaction& Previous = PreviousActions[i];
        if (Previous.sa_flags & SA_SIGINFO) {
            if (Previous.sa_sigaction) Previous.sa_sigaction(Signal, Info, RawContext);
            return;
        }
        if (Previous.sa_handler != SIG_DFL && Previous.sa_handler != SIG_IGN) {
            Previous.sa_handler(Signal);
            return;
        }
        signal(Signal, SIG_DFL);
        return;
    }
}

void OnSystemException(int Signal, siginfo_t* Info, void* RawContext) {
    auto* Context = static_cast<ucontext_t*>(RawContext);
    greg_t* Regs = Context->uc_mcontext.gregs;
    const TCodeAddress Ip = TCodeAddress(Regs[RegIp]);
    const std::uintptr_t Sp = std::uintptr_t(Regs[RegSp]);
    const std::uintptr_t Data = std::uintptr_t(Info->si_addr);
    if (!IsModuleFault(Ip)) {
        PassOn(Signal, Info, RawContext);
        return;
    }
    CapturedTrace[0] = 0;

    // A fault just below the stack pointer is the stack running into its
    // guard page: there is no stack left to unwind on.
    if ((Signal == SIGSEGV) && Data < Sp + 256 && Data + 65536 > Sp) {
        WriteError(SStackOverflow);
        WriteError("\n");
        _exit(EXIT_FAILURE);
    }

    TFaultRecord Fault;
    Fault.CodeAddress = Ip;
    Fault.DataAddress = Data;
    switch (Signal) {
    case SIGFPE:
        Fault.Kind = Info->si_code == FPE_INTDIV ? std::uint32_t(fkIntDivByZero) : 0u;
        break;
    case SIGILL:
        Fault.Kind = fkPrivilege;
        break;
    default:
        Fault.Kind = fkAccessViolation;
        // Page-fault error code: bit 1 write, bit 4 instruction fetch.
        Fault.Access = (Regs[RegErr] & 0x10) ? 8 : (Regs[RegErr] & 2) ? 1 : 0;
        break;
    }
    if (Fault.Kind != 0 && TFaultGuard::Held()) {
        PendingFault = Fault;
        if (Fault.Kind == fkAccessViolation && Data == Ip) {
            Regs[RegIp] = greg_t(reinterpret_cast<std::uintptr_t>(&ThrowPendingFault));
        } else {
            const std::uintptr_t NewSp = Sp - sizeof(std::uintptr_t);
            const std::uintptr_t Return = Ip + 1;
            std::memcpy(reinterpret_cast<void*>(NewSp), &Return, sizeof Return);
            Regs[RegSp] = greg_t(NewSp);
            Regs[RegIp] = greg_t(reinterpret_cast<std::uintptr_t>(&ThrowPendingFault));
        }
        return;
    }
    if (Fault.Kind != 0) CaptureFromSignal(Ip);
    PassOn(Signal, Info, RawContext);
}

alignas(16) char AlternateStack[64 * 1024];

} // namespace

const TImageRange& ModuleImage() {
    static const TImageRange Range = [] {
        TImageRange Found;
        dl_iterate_phdr(FindOwnImage, &Found);
        return Found;
    }();
    return Range;
}

void InstallCrashHooks() {
    if (Installed) return;
    Installed = true;
    PrepareFaultQueries();
    volatile char Local = 0;
    SavedStackTop = reinterpret_cast<std::uintptr_t>(&Local) + 64;
    // The first backtrace loads the unwinder; later ones run inside handlers.
    void* Warm[1];
    backtrace(Warm, 1);

    // A thread's alternate stack is its owner's: ours only where none was set.
    stack_t Current{};
    if (sigaltstack(nullptr, &Current) == 0 && (Current.ss_flags & SS_DISABLE)) {
        stack_t Stack{};
        Stack.ss_sp = AlternateStack;
        Stack.ss_size = sizeof AlternateStack;
        OwnAlternateStack = sigaltstack(&Stack, nullptr) == 0;
    }
    struct sigaction Action{};
    Action.sa_sigaction = OnSystemException;
    Action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&Action.sa_mask);
    for (int i = 0; i < 4; ++i) sigaction(HookedSignals[i], &Action, &PreviousActions[i]);
    // No run-time error hook: C++ has no run-time invalid-pointer check.
    PreviousOnException = Application().OnException;
    Application().OnException = HandleApplicationException;
}

void RemoveCrashHooks() {
    if (!Installed) return;
    Installed = false;
    if (Application().OnException == HandleApplicationException) Application().OnException = PreviousOnException;
    // A handler installed after ours chains into ours and stays; ours are
    // taken out wherever they are still the current ones.
    for (int i = 3; i >= 0; --i) {
        struct sigaction Current{};
        if (sigaction(HookedSignals[i], nullptr, &Current) == 0 && (Current.sa_flags & SA_SIGINFO) &&
            Current.sa_sigaction == OnSystemException)
            sigaction(HookedSignals[i], &PreviousActions[i], nullptr);
    }
    stack_t Current{};
    if (OwnAlternateStack && sigaltstack(nullptr, &Current) == 0 && Current.ss_sp == AlternateStack) {
        stack_t Disabled{};
        Disabled.ss_flags = SS_DISABLE;
        sigaltstack(&Disabled, nullptr);
    }
    OwnAlternateStack = false;
}

std::string ModuleFileName() {
    Dl_info Info;
    if (dladdr(reinterpret_cast<void*>(&CodeSegmentMarker), &Info) && Info.dli_fname && Info.dli_fname[0] &&
        std::strchr(Info.dli_fname, '/'))
        return Info.dli_fname;
    return ProgramFileName();
}

std::string ProgramFileName() {
    char Path[PATH_MAX];
    const ssize_t Length = readlink("/proc/self/exe", Path, sizeof Path - 1);
    if (Length <= 0) return std::string();
    return std::string(Path, std::size_t(Length));
}

bool IsLibrary() {
    char Resolved[PATH_MAX];
    const std::string Module = ModuleFileName();
    if (!realpath(Module.c_str(), Resolved)) return false;
    return ProgramFileName() != Resolved;
}

} // namespace fi
