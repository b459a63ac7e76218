#include "image/AssignObject.h"

#include <string>

namespace fi {

namespace {
// The copy that the base operations are forwarding right now on this thread.
// When the other side forwards the very same pair back, neither side can do
// the copy: raise instead of bouncing between Assign and AssignTo forever.
struct TForwardedCopy {
    const TAssignObject* Source = nullptr;
    const TAssignObject* Dest = nullptr;
};
thread_local TForwardedCopy Forwarded;

class TForwardScope {
public:
    TForwardScope(const TAssignObject* Source, const TAssignObject* Dest) : Saved(Forwarded) {
        Forwarded = {Source, Dest};
    }
    ~TForwardScope() { Forwarded = Saved; }
    TForwardScope(const TForwardScope&) = delete;
    TForwardScope& operator=(const TForwardScope&) = delete;

private:
    TForwardedCopy Saved;
};

bool IsForwarded(const TAssignObject* Source, const TAssignObject* Dest) {
    return Forwarded.Source == Source && Forwarded.Dest == Dest;
}
} // namespace

void RaiseAssignError(const TAssignObject* Source, const TAssignObject* Dest) {
    const std::string From = Source ? Source->ClassName() : "nil";
    const std::string To = Dest ? Dest->ClassName() : "nil";
    throw Exception("Cannot assign " + From + " to " + To);
}

void TAssignObject::Assign(const TAssignObject* Source) {
    if (Source == nullptr || IsForwarded(Source, this)) RaiseAssignError(Source, this);
    TForwardScope Scope(Source, this);
    Source->AssignTo(this);
}

void TAssignObject::AssignTo(TAssignObject* Dest) const {
    if (Dest == nullptr || IsForwarded(this, Dest)) RaiseAssignError(this, Dest);
    TForwardScope Scope(this, Dest);
    Dest->Assign(this);
}

} // namespace fi
