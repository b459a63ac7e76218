#include <sys/syscall.h>
#include <unistd.h>

#include "support/FaultGuard.h"

namespace fi {

// The kernel's thread id: a plain system call, safe inside a signal handler.
std::uintptr_t CurrentThreadId() { return std::uintptr_t(syscall(SYS_gettid)); }

} // namespace fi
