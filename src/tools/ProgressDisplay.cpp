#include "tools/ProgressDisplay.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>

#include "support/Exceptions.h"
#include "tools/SignalCleanup.h"

namespace fi {

namespace {

constexpr std::int32_t BarWidth = 30;

std::atomic<bool> Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

struct sigaction PreviousAction {};
int GuardDepth = 0;

// The next Ctrl-C ends a run that no longer reports progress, leaving no
// temporary file behind.
void OnInterrupt(int) {
    Interrupted.store(true);
    struct sigaction Next {};
    Next.sa_handler = EndBySignal;
    sigemptyset(&Next.sa_mask);
    sigaction(SIGINT, &Next, nullptr);
}

TProgressDisplay* ConsoleDisplay = nullptr;

} // namespace

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TProgressDisplay::TProgressDisplay(std::ostream& Output, bool IsTerminal, TSecondsClock SecondsClock)
    : Out(Output), Terminal(IsTerminal), Clock(std::move(SecondsClock)) {
    StageStart = RunStart = Clock();
}

std::string TProgressDisplay::FormatDuration(double Seconds) {
    const long long Total = Seconds > 0 ? static_cast<long long>(std::ceil(Seconds)) : 0;
    const long long Hours = Total / 3600, Minutes = Total / 60 % 60, Rest = Total % 60;
    const auto Two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    if (Hours > 0) return std::to_string(Hours) + ":" + Two(Minutes) + ":" + Two(Rest);
    return std::to_string(Minutes) + ":" + Two(Rest);
}

std::string TProgressDisplay::BarText(std::int32_t Percent, double Elapsed) {
    const std::int32_t Filled = Percent * BarWidth / 100;
    std::string Text = "[" + std::string(std::size_t(Filled), '#') + std::string(std::size_t(BarWidth - Filled), '.') + "] ";
    const std::string Number = std::to_string(Percent);
    Text += std::string(3 - Number.size(), ' ') + Number + "%";
    // Too early for an estimate until there is some progress to go by.
    if (Percent > 0 && Percent < 100 && Elapsed > 0)
        Text += "  " + FormatDuration(Elapsed * (100 - Percent) / Percent) + " left";
    return Text;
}

void TProgressDisplay::Draw(const std::string& Text) {
    // Blanks over whatever remains of a longer previous line.
    std::string Line = "\r" + Text;
    if (Text.size() < DrawnLength) Line += std::string(DrawnLength - Text.size(), ' ');
    DrawnLength = Text.size();
    Out << Line << std::flush;
}

void TProgressDisplay::Update(std::int32_t Percent) {
    Percent = std::clamp<std::int32_t>(Percent, 0, 100);
    if (Percent == Last) return;
    const double Now = Clock();
    if (Percent < Last) StageStart = Now;
    Last = Percent;
    if (Terminal) Draw(BarText(Percent, Now - StageStart));
}

void TProgressDisplay::Finish() {
    if (!Terminal || Last < 0) return;
    std::string Text = BarText(Last, 0);
    if (Last == 100) Text += "  done in " + FormatDuration(Clock() - RunStart);
    Draw(Text);
    Out << "\n" << std::flush;
    Last = -1;
    DrawnLength = 0;
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

TInterruptGuard::TInterruptGuard() {
    if (GuardDepth++ > 0) return;
    Interrupted.store(false);
    struct sigaction Action {};
    Action.sa_handler = OnInterrupt;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &Action, &PreviousAction);
}

TInterruptGuard::~TInterruptGuard() {
    if (--GuardDepth > 0) return;
    sigaction(SIGINT, &PreviousAction, nullptr);
}

bool InterruptRequested() { return Interrupted.load(); }
void ClearInterrupt() { Interrupted.store(false); }

void CheckInterrupt() {
    if (Interrupted.load()) Abort();
}

void SetConsoleProgressDisplay(TProgressDisplay* Display) { ConsoleDisplay = Display; }

void ConsoleProgress(std::int32_t Progress) {
    CheckInterrupt();
    if (ConsoleDisplay != nullptr) ConsoleDisplay->Update(Progress);
}

} // namespace fi
