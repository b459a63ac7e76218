// The reference host's answers to the plug-in, in this process, and the host
// program run as a child process against the real module.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "host/HostOptions.h"
#include "host/ReferenceHost.h"

namespace fi {
namespace {

using test::RunHost;
using test::THostRun;

THostPicture Tiny(std::uint8_t Fill) {
    THostPicture P;
    P.Width = P.Height = 2;
    P.Format = hfBgr24;
    P.BytesPerLine = 8;
    P.Pixels.assign(16, Fill);
    return P;
}

std::int32_t SendProgress(TReferenceHost& Host, std::int32_t Percent) { return Host.Answer(hrProgress, &Percent); }

TEST(ReferenceHost, ListsOpenImagesLendsItsWindowAndKeepsTheResult) {
    TReferenceHost Host;
    const std::uint8_t* First = Host.AddImage("C:\\a\\first.bmp", Tiny(1)).Picture.Pixels.data();
    const std::uint8_t* Second = Host.AddImage("second", Tiny(2)).Picture.Pixels.data();
    HostImageQuery Query{};
    std::vector<std::pair<std::string, const std::uint8_t*>> Listed;
    for (Query.Index = 0; Host.Answer(hrImageQuery, &Query) != 0; ++Query.Index) Listed.emplace_back(Query.Name, Query.Pixels);
    EXPECT_EQ(Listed, (std::vector<std::pair<std::string, const std::uint8_t*>>{{"C:\\a\\first.bmp", First},
                                                                              {"second", Second}}));
    Query.Index = -1;
    EXPECT_EQ(Host.Answer(hrImageQuery, &Query), 0);

    HostWindowHandle Window = 0;
    EXPECT_EQ(Host.Answer(hrMainWindow, &Window), 1);
    EXPECT_EQ(reinterpret_cast<HWND>(Window), Host.MainWindow());
    EXPECT_TRUE(IsWindowVisible(Host.MainWindow()));

    // The result is copied during the call: the plug-in frees its buffers right after.
    THostPicture Handed = Tiny(9);
    HostResult Result{};
    Result.Caption = "tree x2";
    Result.Image = Handed.Descriptor();
    EXPECT_EQ(Host.Answer(hrResult, &Result), 1);
    Handed.Pixels.assign(16, 0);
    ASSERT_TRUE(Host.Result());
    EXPECT_EQ(Host.Result()->Caption, "tree x2");
    EXPECT_EQ(Host.Result()->Picture.Pixels, std::vector<std::uint8_t>(12, 9));
    Result.Caption = nullptr;
    Result.Image.Format = 7;
    EXPECT_EQ(Host.Answer(hrResult, &Result), 0);
    EXPECT_EQ(Host.ResultCount(), 2);
    EXPECT_EQ(Host.Result()->Caption, "tree x2");
    EXPECT_EQ(Host.Answer(6, nullptr), 0);
}

TEST(ReferenceHost, ProgressWindowShowsTheValueAndItsCancelButtonStops) {
    TReferenceHost Host;
    EXPECT_EQ(SendProgress(Host, 0), 1);
    ASSERT_NE(Host.Progress(), nullptr);
    HWND Window = FindWindowA(nullptr, "Progress");
    EXPECT_EQ(Window, Host.Progress()->Handle());
    EXPECT_TRUE(IsWindowVisible(Window));
    EXPECT_EQ(GetWindow(Window, GW_OWNER), Host.MainWindow());
    EXPECT_EQ(SendProgress(Host, 40), 1);
    EXPECT_EQ(Host.Progress()->Position(), 40);
    // A click posted as a user's would be, handled while the host pumps messages.
    HWND Button = FindWindowExA(Window, nullptr, "BUTTON", "Cancel");
    ASSERT_EQ(Button, Host.Progress()->CancelButton());
    PostMessageA(Button, BM_CLICK, 0, 0);
    EXPECT_EQ(SendProgress(Host, 50), 0);
    EXPECT_EQ(SendProgress(Host, 60), 0);
}

TEST(ReferenceHost, CancelsOnceProgressReachesTheGivenPercentage) {
    TReferenceHost Host;
    Host.CancelAt = 30;
    EXPECT_EQ(SendProgress(Host, 0), 1);
    EXPECT_EQ(SendProgress(Host, 29), 1);
    EXPECT_EQ(SendProgress(Host, 35), 0);
    EXPECT_TRUE(Host.Progress()->Cancelled());
    EXPECT_FALSE(IsWindowEnabled(Host.Progress()->CancelButton()));
}

TEST(HostOptions, ParsesTheUnattendedOptionsAndRefusesBadOnes) {
    const THostOptions O = ParseHostOptions({"in.raw", "--raw", "3", "2", "--format40", "--cancel-at", "50",
                                             "--command", "0", "--list-extra-images", "--runs", "2"});
    EXPECT_EQ(O.Input, "in.raw");
    EXPECT_EQ(O.RawWidth, 3);
    EXPECT_EQ(O.RawHeight, 2);
    EXPECT_TRUE(O.Format40);
    EXPECT_EQ(O.CancelAt, 50);
    EXPECT_EQ(O.Command, 0);
    EXPECT_TRUE(O.ListExtraImages);
    EXPECT_EQ(O.Runs, 2);
    EXPECT_THROW(ParseHostOptions({"--cancel-at", "101"}), EHostOptions);
    EXPECT_THROW(ParseHostOptions({"--raw", "3"}), EHostOptions);
    EXPECT_THROW(ParseHostOptions({"--format40", "a.raw"}), EHostOptions);
    EXPECT_THROW(ParseHostOptions({"a", "b"}), EHostOptions);
    EXPECT_THROW(ParseHostOptions({"--bogus"}), EHostOptions);
}

TEST(ReferenceHostProgram, RegistersTheModuleAndAnswersItsWindowRequest) {
    THostPicture Picture = Tiny(5);
    WriteBmpFile("host_input.bmp", Picture);
    const THostRun Run = RunHost("--command 0 --list-extra-images host_input.bmp");
    EXPECT_EQ(Run.ExitCode, 0u);
    EXPECT_EQ(Run.Value("registration"), "1");
    EXPECT_EQ(Run.Value("category"), "Plugins");
    EXPECT_EQ(Run.Value("title"), "Fractal interpolation");
    EXPECT_EQ(Run.Value("description"), "Enlarge image using fractal inspired interpolation based on Wiener filters");
    EXPECT_EQ(Run.Value("one"), "1");
    EXPECT_EQ(Run.Value("input"), "2x2 format 3");
    EXPECT_EQ(Run.Value("requests"), "4");
    EXPECT_EQ(Run.Value("process"), "1");
    EXPECT_EQ(Run.Value("handed back"), "nothing");
    EXPECT_EQ(Run.Value("exit"), "0");

    const THostRun Missing = RunHost("no_such_input.bmp");
    EXPECT_EQ(Missing.ExitCode, 1u);
    EXPECT_EQ(Missing.Value("error"), "Cannot open no_such_input.bmp");
    const THostRun NoModule = RunHost("--plugin no_such_module.dll");
    EXPECT_EQ(NoModule.ExitCode, 1u);
    EXPECT_EQ(NoModule.Value("error").rfind("Cannot load no_such_module.dll", 0), 0u);
    std::remove("host_input.bmp");
}

} // namespace
} // namespace fi
