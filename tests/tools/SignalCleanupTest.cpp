// A terminating signal, a broken pipe or a second Ctrl-C while an output is
// being written leaves no temporary file, and the program still ends by the
// signal.
#include "tools/SignalCleanup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ImageTestSupport.h"
#include "tools/ProgressDisplay.h"

namespace fi::test {
namespace {

// Runs Body in a child process that writes a partial output in the folder
// and then signals itself; the signal the child ended by.
template <class TBody>
int EndOfChild(const std::string& Path, TBody&& Body) {
    const pid_t Child = ::fork();
    if (Child == 0) {
        // No core file from SIGQUIT.
        const struct rlimit NoCore {0, 0};
        ::setrlimit(RLIMIT_CORE, &NoCore);
        const TSignalCleanup Cleanup;
        TInterruptGuard Interrupt;
        TTempOutput Output(Path);
        std::fputs("partial", Output.OpenStream());
        std::fflush(nullptr);
        Body();
        ::_exit(0);
    }
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    return WIFSIGNALED(Status) ? WTERMSIG(Status) : -1;
}

TEST_F(TScratchFolder, TerminatingSignalsLeaveNoPartialFile) {
    for (const int Signal : {SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
        EXPECT_EQ(EndOfChild(PathOf("out.png"), [Signal] { ::raise(Signal); }), Signal) << Signal;
        EXPECT_TRUE(Entries().empty()) << Signal << ": " << (Entries().empty() ? "" : Entries()[0]);
    }
    // The first Ctrl-C only asks the run to stop; the second ends it.
    EXPECT_EQ(EndOfChild(PathOf("out.png"), [] {
                  ::raise(SIGINT);
                  if (!InterruptRequested()) ::_exit(3);
                  ::raise(SIGINT);
              }),
              SIGINT);
    EXPECT_TRUE(Entries().empty());
}

TEST(SignalCleanup, PreviousHandlersComeBack) {
    struct sigaction Before {};
    sigaction(SIGTERM, nullptr, &Before);
    {
        const TSignalCleanup Cleanup;
        struct sigaction During {};
        sigaction(SIGTERM, nullptr, &During);
        EXPECT_EQ(During.sa_handler, EndBySignal);
    }
    struct sigaction After {};
    sigaction(SIGTERM, nullptr, &After);
    EXPECT_EQ(After.sa_handler, Before.sa_handler);
}

} // namespace
} // namespace fi::test
