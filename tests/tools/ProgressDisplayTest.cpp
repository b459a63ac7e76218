#include "tools/ProgressDisplay.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>

#include "support/Exceptions.h"
#include "tools/SignalCleanup.h"

namespace fi {
namespace {

TEST(ProgressDisplay, DurationsAndBarText) {
    EXPECT_EQ(TProgressDisplay::FormatDuration(0), "0:00");
    EXPECT_EQ(TProgressDisplay::FormatDuration(-3), "0:00");
    EXPECT_EQ(TProgressDisplay::FormatDuration(59.2), "1:00");
    EXPECT_EQ(TProgressDisplay::FormatDuration(61), "1:01");
    EXPECT_EQ(TProgressDisplay::FormatDuration(3723), "1:02:03");
    EXPECT_EQ(TProgressDisplay::BarText(0, 5), "[..............................]   0%");
    // Half done after 10 s: 10 s to go.
    EXPECT_EQ(TProgressDisplay::BarText(50, 10), "[###############...............]  50%  0:10 left");
    EXPECT_EQ(TProgressDisplay::BarText(1, 2), "[..............................]   1%  3:18 left");
    EXPECT_EQ(TProgressDisplay::BarText(100, 10), "[##############################] 100%");
}

class ProgressDisplayDrawing : public ::testing::Test {
protected:
    double Now = 100;
    std::ostringstream Out;
    TSecondsClock Clock = [this] { return Now; };
};

TEST_F(ProgressDisplayDrawing, RedrawsInPlaceOnlyWhenThePercentageChanges) {
    TProgressDisplay Display(Out, true, Clock);
    Display.Update(0);
    Now = 104;
    Display.Update(40);
    Display.Update(40);
    Now = 110;
    Display.Update(-7); // clamped to 0: a new stage, and a shorter line
    Now = 112;
    Display.Update(250); // clamped to 100
    Display.Finish();
    const std::string Bar0 = "[..............................]   0%";
    const std::string Bar40 = "[############..................]  40%  0:06 left";
    const std::string Bar100 = "[##############################] 100%";
    EXPECT_EQ(Out.str(), "\r" + Bar0 + "\r" + Bar40 + "\r" + Bar0 + std::string(Bar40.size() - Bar0.size(), ' ') +
                             "\r" + Bar100 + "\r" + Bar100 + "  done in 0:12\n");
}

TEST_F(ProgressDisplayDrawing, StagesEstimateFromTheirOwnStart) {
    TProgressDisplay Display(Out, true, Clock);
    Display.Update(90);
    Now = 190; // a slow first stage
    Display.Update(10);
    Now = 191;
    Display.Update(50);
    EXPECT_NE(Out.str().find(" 50%  0:01 left"), std::string::npos) << Out.str();
}

TEST_F(ProgressDisplayDrawing, SilentWhenNotATerminal) {
    TProgressDisplay Display(Out, false, Clock);
    Display.Update(10);
    Display.Update(100);
    Display.Finish();
    EXPECT_EQ(Out.str(), "");
    TProgressDisplay Unused(Out, true, Clock);
    Unused.Finish();
    EXPECT_EQ(Out.str(), "");
}

void Marker(int) {}

TEST(Interrupt, CtrlCBecomesTheSilentAbortAtTheNextProgressReport) {
    struct sigaction Mine {};
    Mine.sa_handler = Marker;
    sigemptyset(&Mine.sa_mask);
    struct sigaction Saved {};
    sigaction(SIGINT, &Mine, &Saved);
    {
        TInterruptGuard Guard;
        std::ostringstream Out;
        TProgressDisplay Display(Out, true, [] { return 0.0; });
        SetConsoleProgressDisplay(&Display);
        EXPECT_NO_THROW(ConsoleProgress(10));
        EXPECT_NO_THROW(CheckInterrupt());
        ASSERT_EQ(raise(SIGINT), 0);
        EXPECT_TRUE(InterruptRequested());
        EXPECT_THROW(ConsoleProgress(20), EAbort);
        EXPECT_EQ(Out.str().find("20%"), std::string::npos);
        // The next Ctrl-C ends the program, once its temporary files are gone.
        struct sigaction Now {};
        sigaction(SIGINT, nullptr, &Now);
        EXPECT_EQ(Now.sa_handler, EndBySignal);
        SetConsoleProgressDisplay(nullptr);
        ClearInterrupt();
        EXPECT_NO_THROW(ConsoleProgress(30));
    }
    struct sigaction After {};
    sigaction(SIGINT, nullptr, &After);
    EXPECT_EQ(After.sa_handler, Marker);
    sigaction(SIGINT, &Saved, nullptr);
}

} // namespace
} // namespace fi
