#include "crash/CrashHooks.h"

#include <unwind.h>

#include <cinttypes>
#include <cstdio>

#include "support/ModuleEntry.h"

namespace fi {

TCodeAddress CapturedTrace[CapturedTraceSize] = {};
std::uintptr_t SavedStackTop = 0;

std::string HexAddress(std::uintptr_t Address) {
    char Buffer[32];
    std::snprintf(Buffer, sizeof Buffer, "%08" PRIXPTR, Address);
    return Buffer;
}

std::string ExtractFileName(const std::string& Path) {
    const std::size_t Slash = Path.find_last_of("/\\:");
    return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

namespace {

struct TWalk {
    int Skip;
    int Max;
    TCodeAddress* Dest;
    int Counted = 0;
    int Stored = 0;
    bool Own = true; // the first frame reported is CaptureStack itself
};

_Unwind_Reason_Code StoreFrame(struct _Unwind_Context* Context, void* Data) {
    TWalk& Walk = *static_cast<TWalk*>(Data);
    if (Walk.Own) {
        Walk.Own = false;
        return _URC_NO_REASON;
    }
    const TCodeAddress Return = _Unwind_GetIP(Context);
    // The frame-pointer rule of the design: a return address this low is the
    // end of the chain, not code.
    if (Return < 0x10000 || Walk.Counted >= Walk.Max + Walk.Skip || Walk.Stored >= Walk.Max) return _URC_END_OF_STACK;
    ++Walk.Counted;
    if (Walk.Counted > Walk.Skip) Walk.Dest[Walk.Stored++] = Return;
    return _URC_NO_REASON;
}

} // namespace

// The unwinder follows the call-frame tables the compiler emits for every
// function, so the walk does not depend on frame pointers being kept and
// cannot fault on a broken chain.
void CaptureStack(int Skip, int Max, TCodeAddress* Dest) {
    TWalk Walk{Skip, Max, Dest};
    _Unwind_Backtrace(StoreFrame, &Walk);
    Dest[Walk.Stored] = 0;
}

bool IsModuleFault(TCodeAddress Address) {
    const TImageRange& Image = ModuleImage();
    return (Address >= Image.Start && Address < Image.End) || TModuleEntry::Active() || TFaultGuard::Held();
}

void PrepareFaultQueries() {
    ModuleImage();
    TModuleEntry::Active();
    TFaultGuard::Held();
}

void CodeSegmentMarker() {
    // Kept out of line and distinct: the map names it, and its address is taken.
    __asm__ __volatile__("");
}

[[noreturn]] void RaiseFault(const TFaultRecord& Fault, const std::string& ModuleName) {
    switch (Fault.Kind) {
    case fkIntDivByZero:
        throw EDivByZero(SIntDivByZero, Fault.CodeAddress);
    case fkPrivilege:
        throw EPrivilege(SPrivilege, Fault.CodeAddress);
    default: {
        const char* Access = Fault.Access == 1 ? SWriteAccess : Fault.Access == 8 ? SExecuteAccess : SReadAccess;
        std::string Message;
        if (ModuleName.empty()) {
            Message = FormatText(SAccessViolationArg2, HexAddress(Fault.CodeAddress), Access);
            Message = FormatText(Message.c_str(), HexAddress(Fault.DataAddress));
        } else {
            Message = FormatText(SAccessViolationArg3, HexAddress(Fault.CodeAddress), ModuleName);
            Message = FormatText(Message.c_str(), Access, HexAddress(Fault.DataAddress));
        }
        throw EAccessViolation(Message, Fault.CodeAddress);
    }
    }
}

} // namespace fi
