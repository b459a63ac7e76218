#pragma once
// The module-wide progress event. Every long pass reports through it, and the
// front end in charge (the host's forwarder, the command line's display)
// sets it for the length of a run.
#include <cstdint>

namespace fi {

// Called with a percentage 0 .. 100, only from the calling thread.
using TProgressEvent = void (*)(std::int32_t Progress);

// Set by the front end; the long operations call it when it is set.
extern TProgressEvent ProgressHook;

} // namespace fi
