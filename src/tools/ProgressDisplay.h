#pragma once
// The command line's progress: a bar with percentage and estimated remaining
// time redrawn in place on a terminal, and Ctrl-C turned into the silent abort
// at the next progress report so that the run unwinds cleanly.
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace fi {

// Seconds on a monotonic clock.
using TSecondsClock = std::function<double()>;
double SteadySeconds();

class TProgressDisplay {
public:
    // Terminal false: nothing is ever written (logs and pipes stay clean).
    TProgressDisplay(std::ostream& Output, bool Terminal, TSecondsClock Clock = SteadySeconds);

    // Takes a percentage 0 .. 100 as a host receives it; values outside are
    // clamped. A value below the previous one starts a new stage, whose
    // remaining time is estimated afresh.
    void Update(std::int32_t Percent);
    // Ends the bar's line, with the total time when the run got to 100 %.
    void Finish();

    // One state of the bar, without the carriage return.
    static std::string BarText(std::int32_t Percent, double Elapsed);
    // "0:07", "12:34", "1:02:03"; whole seconds, rounded up.
    static std::string FormatDuration(double Seconds);

private:
    void Draw(const std::string& Text);

    std::ostream& Out;
    bool Terminal;
    TSecondsClock Clock;
    double StageStart;
    double RunStart;
    std::int32_t Last = -1;
    std::size_t DrawnLength = 0;
};

// Whether standard error is a terminal.
bool StderrIsTerminal();

// Installs the Ctrl-C handler for its lifetime and restores the previous one
// afterwards. The handler only sets a flag and hands the next Ctrl-C to
// EndBySignal, so a second one ends a run that no longer reports progress,
// with its temporary files removed.
class TInterruptGuard {
public:
    TInterruptGuard();
    ~TInterruptGuard();
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;
};

bool InterruptRequested();
void ClearInterrupt();
// Raises the silent abort once Ctrl-C was pressed.
void CheckInterrupt();

// The display that ConsoleProgress draws on; none draws nothing.
void SetConsoleProgressDisplay(TProgressDisplay* Display);
// A progress event for the long operations: raises the silent abort after
// Ctrl-C, otherwise updates the display.
void ConsoleProgress(std::int32_t Progress);

} // namespace fi
