#pragma once
// Root of the system's own classes: the copy pair Assign/AssignTo, each of
// which hands the work to the other side when it cannot do it itself.
#include "support/Exceptions.h"

namespace fi {

class TAssignObject {
public:
    virtual ~TAssignObject() = default;

    // Copy Source into self. The base asks Source to copy itself into self.
    virtual void Assign(const TAssignObject* Source);
    // Copy self into Dest. The base asks Dest to copy self.
    virtual void AssignTo(TAssignObject* Dest) const;

    // The class name used in messages ("TLinearBitmap", ...).
    virtual const char* ClassName() const { return "TAssignObject"; }

protected:
    TAssignObject() = default;
    TAssignObject(const TAssignObject&) = default;
    TAssignObject& operator=(const TAssignObject&) = default;
};

// "Cannot assign <Source class> to <Dest class>" as a general exception.
[[noreturn]] void RaiseAssignError(const TAssignObject* Source, const TAssignObject* Dest);

} // namespace fi
