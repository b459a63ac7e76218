#include "tools/SignalCleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <iterator>

namespace fi {

namespace {

constexpr int FileSlots = 8;
std::atomic<const char*> Files[FileSlots];
static_assert(std::atomic<const char*>::is_always_lock_free, "the signal handler reads the slots");

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
struct sigaction Previous[std::size(Signals)];

} // namespace

void RegisterTemporaryFile(const char* Path) {
    for (std::atomic<const char*>& Slot : Files) {
        const char* Empty = nullptr;
        if (Slot.compare_exchange_strong(Empty, Path)) return;
    }
}

void ForgetTemporaryFile(const char* Path) {
    for (std::atomic<const char*>& Slot : Files) {
        const char* Expected = Path;
        if (Slot.compare_exchange_strong(Expected, nullptr)) return;
    }
}

void EndBySignal(int Signal) {
    // Only async-signal-safe calls from here on.
    for (std::atomic<const char*>& Slot : Files)
        if (const char* Path = Slot.load(); Path != nullptr) ::unlink(Path);
    struct sigaction Default {};
    Default.sa_handler = SIG_DFL;
    sigemptyset(&Default.sa_mask);
    sigaction(Signal, &Default, nullptr);
    // Blocked while this handler runs: delivered, by default, on return.
    raise(Signal);
}

TSignalCleanup::TSignalCleanup() {
    struct sigaction Action {};
    Action.sa_handler = EndBySignal;
    sigemptyset(&Action.sa_mask);
    for (std::size_t i = 0; i < std::size(Signals); ++i) sigaction(Signals[i], &Action, &Previous[i]);
}

TSignalCleanup::~TSignalCleanup() {
    for (std::size_t i = 0; i < std::size(Signals); ++i) sigaction(Signals[i], &Previous[i], nullptr);
}

} // namespace fi
