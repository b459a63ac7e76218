// The module installs its fault hooks and the bug report at start-up, and
// its forms run with them; so does this program.
#include "crash/CrashHooks.h"

namespace {
const fi::TCrashHookInstallation CrashHooks;
} // namespace
