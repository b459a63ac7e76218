#pragma once
// The progress event. Every long pass reports through it, and the front end
// in charge (the host's forwarder, the command line's display, a library
// caller's callback) sets it for the length of a run.
#include <cstdint>

namespace fi {

// Called with a percentage 0 .. 100, only from the thread that runs the pass.
using TProgressEvent = void (*)(std::int32_t Progress);

// The event of the calling thread. A library serves several callers at once,
// each running passes on its own thread with its own event; the hook reads
// and assigns like the plain function pointer it stands for.
class TProgressHook {
public:
    TProgressHook& operator=(TProgressEvent Event);
    operator TProgressEvent() const;
};

// Set by the front end; the long operations call it when it is set.
extern TProgressHook ProgressHook;

} // namespace fi
