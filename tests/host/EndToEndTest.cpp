// The module's whole run as a user sees it: the reference host loads it, the
// real dialog and message boxes come up in the host's process, and this test
// acts on them through window messages only, as a user's input would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "common/ForeignFloatStates.h"
#include "host/HostBitmapFile.h"
#include "wiener/FastDefaultEnlarge.h"
#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/FloatMapWienerInterpolation.h"
#include "wiener/SetupTable.h"

namespace fi {
namespace {

using test::RunHost;
using test::THostRun;

constexpr const char* DialogClass = "TWienerResizeParamForm";
constexpr const char* DialogCaption = "Wiener filter interpolation";

// How long, in steps of 50 ms, a wait for a window may last before the test
// gives up: ten minutes, a guard against a hang only, since the emulated
// test guest runs the host tens of times slower than a real processor.
constexpr int WaitSteps = 12000;

// The first visible top-level window of that class and caption; null when
// the host ends or WaitSteps pass first.
HWND AwaitWindow(HANDLE Process, const char* Class, const char* Caption) {
    for (int i = 0; i < WaitSteps; ++i) {
        HWND Window = FindWindowA(Class, Caption);
        if (Window && IsWindowVisible(Window)) return Window;
        if (WaitForSingleObject(Process, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

// Waits until a closed modal window is hidden, so that the next wait sees the
// next showing.
void AwaitHidden(HWND Window) {
    for (int i = 0; i < WaitSteps && IsWindow(Window) && IsWindowVisible(Window); ++i) Sleep(50);
}

std::string TextOf(HWND Window) {
    char Text[512] = {};
    SendMessageA(Window, WM_GETTEXT, sizeof Text, LPARAM(Text));
    return Text;
}

HWND ButtonOf(HWND Dialog, const char* Caption) { return FindWindowExA(Dialog, nullptr, "BUTTON", Caption); }

// The edit whose top edge is at Top in the dialog's client area.
HWND EditAt(HWND Dialog, int Top) {
    for (HWND Child = FindWindowExA(Dialog, nullptr, "EDIT", nullptr); Child;
         Child = FindWindowExA(Dialog, Child, "EDIT", nullptr)) {
        RECT R;
        GetWindowRect(Child, &R);
        POINT Corner{R.left, R.top};
        ScreenToClient(Dialog, &Corner);
        if (Corner.y == Top) return Child;
    }
    return nullptr;
}
HWND RegionEdit(HWND Dialog) { return EditAt(Dialog, 72); }
HWND LambdaEdit(HWND Dialog) { return EditAt(Dialog, 96); }
HWND FilterEdit(HWND Dialog) { return EditAt(Dialog, 120); }

void Retype(HWND Edit, const std::string& Text) {
    SendMessageA(Edit, EM_SETSEL, 0, -1);
    for (char C : Text) SendMessageA(Edit, WM_CHAR, WPARAM(static_cast<unsigned char>(C)), 1);
}

void Press(HWND Button) { PostMessageA(Button, BM_CLICK, 0, 0); }

void ChooseSetup(HWND Dialog, int Index) {
    HWND Combo = FindWindowExA(Dialog, nullptr, "COMBOBOX", nullptr);
    SendMessageA(Combo, CB_SETCURSEL, WPARAM(Index), 0);
    SendMessageA(Dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Combo), CBN_SELCHANGE), LPARAM(Combo));
}

THostPicture GrayPicture(std::int32_t Width, std::int32_t Height) {
    THostPicture P;
    P.Width = Width;
    P.Height = Height;
    P.Format = hfIndexed8;
    P.BytesPerLine = Width;
    for (std::int32_t y = 0; y < Height; ++y)
        for (std::int32_t x = 0; x < Width; ++x) P.Pixels.push_back(std::uint8_t((x * 23 + y * y * 5 + x * y) % 256));
    for (int i = 0; i < 256; ++i) P.Palette.insert(P.Palette.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
    return P;
}

// Rows of a picture without their padding.
std::vector<std::uint8_t> PackedRows(const THostPicture& P) {
    const std::size_t Row = std::size_t(P.Width) * std::size_t(HostPixelBytes(P.Format));
    std::vector<std::uint8_t> Rows;
    for (std::int32_t y = 0; y < P.Height; ++y) {
        const std::uint8_t* Line = P.Pixels.data() + std::size_t(y) * std::size_t(P.BytesPerLine);
        Rows.insert(Rows.end(), Line, Line + Row);
    }
    return Rows;
}

class EndToEnd : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* File : {"e2e_input.bmp", "e2e_input.raw", "e2e_output.bmp", "e2e_output.raw"})
            std::remove(File);
    }
};

TEST_F(EndToEnd, DialogSettingsReachThePixelsAndTheCaptionAndStayForTheNextRun) {
    const THostPicture Input = GrayPicture(24, 18);
    WriteBmpFile("e2e_input.bmp", Input);
    std::string Owner = "(none)";
    std::string ShownLambda, ShownFilter, FirstRegion;
    const THostRun Run = RunHost(
        "--null-palette --name C:\\pics\\tree.bmp --runs 2 --output e2e_output.bmp e2e_input.bmp", [&](HANDLE Host) {
            HWND Dialog = AwaitWindow(Host, DialogClass, DialogCaption);
            if (!Dialog) return;
            // The dialog belongs to the host's main window.
            if (HWND OwnerWindow = GetWindow(Dialog, GW_OWNER)) Owner = TextOf(OwnerWindow);
            FirstRegion = TextOf(RegionEdit(Dialog));
            Retype(LambdaEdit(Dialog), "0.001");
            Retype(FilterEdit(Dialog), "1");
            Press(ButtonOf(Dialog, "OK"));
            AwaitHidden(Dialog);
            // The second run shows what the first one was given; Cancel
            // then hands back nothing.
            Dialog = AwaitWindow(Host, DialogClass, DialogCaption);
            if (!Dialog) return;
            ShownLambda = TextOf(LambdaEdit(Dialog));
            ShownFilter = TextOf(FilterEdit(Dialog));
            Press(ButtonOf(Dialog, "Cancel"));
        });
    EXPECT_EQ(Run.ExitCode, 0u);
    EXPECT_EQ(Owner, "Reference host - Plugins > Fractal interpolation");
    EXPECT_EQ(FirstRegion, "7");
    EXPECT_EQ(ShownLambda, "0.001");
    EXPECT_EQ(ShownFilter, "1");
    EXPECT_EQ(Run.Values("process"), (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(Run.Value("caption"), "tree x2 region=7 regul=0.001 filter=1 clampw=0 normalize=0 clampres=0");
    EXPECT_EQ(Run.Value("result"), "48x36 format 1");
    EXPECT_EQ(Run.Value("handed back"), "nothing");

    // The null palette counted as gray, and the default setup at region 7
    // took the fast routine.
    TLinearBitmap Direct(24, 18, TPixelFormat::pf8bit);
    std::memcpy(Direct.Map, Input.Pixels.data(), Input.Pixels.size());
    FastDefaultEnlarge(Direct, nullptr, 0.001, 1.0f);
    EXPECT_EQ(PackedRows(ReadBmpFile("e2e_output.bmp")), std::vector<std::uint8_t>(Direct.Map, Direct.Map + Direct.Size));
}

TEST_F(EndToEnd, ThirtyTwoBitAndColouredPaletteImagesGetTheMessage) {
    THostPicture Wide;
    Wide.Width = Wide.Height = 4;
    Wide.Format = hfBits32;
    Wide.BytesPerLine = 16;
    Wide.Pixels.assign(64, 0x55);
    THostPicture Coloured = GrayPicture(6, 5);
    for (std::size_t i = 0; i < Coloured.Palette.size(); i += 3) Coloured.Palette[i] = 0; // no blue
    for (const THostPicture& Picture : {Wide, Coloured}) {
        WriteBmpFile("e2e_input.bmp", Picture);
        std::string Text;
        bool DialogShown = false;
        const THostRun Run = RunHost("e2e_input.bmp", [&](HANDLE Host) {
            HWND Box = AwaitWindow(Host, "TMessageForm", "Information");
            if (!Box) return;
            for (HWND Child = FindWindowExA(Box, nullptr, "STATIC", nullptr); Child;
                 Child = FindWindowExA(Box, Child, "STATIC", nullptr))
                if (!TextOf(Child).empty()) Text = TextOf(Child);
            DialogShown = FindWindowA(DialogClass, DialogCaption) != nullptr;
            Press(ButtonOf(Box, "OK"));
        });
        EXPECT_EQ(Text, "Only 8 bit grayscale and 24 bit images supported") << Picture.Format;
        EXPECT_FALSE(DialogShown);
        EXPECT_EQ(Run.Value("process"), "1");
        EXPECT_EQ(Run.Value("handed back"), "nothing");
        EXPECT_EQ(Run.ExitCode, 0u);
    }
}

TEST_F(EndToEnd, HostCancellingThroughProgressStaysAlive) {
    THostPicture Input = GrayPicture(40, 32);
    WriteBmpFile("e2e_input.bmp", Input);
    const THostRun Run = RunHost("--cancel-at 1 --output e2e_output.bmp e2e_input.bmp", [&](HANDLE Host) {
        HWND Dialog = AwaitWindow(Host, DialogClass, DialogCaption);
        if (!Dialog) return;
        // Region 9: the general engine, which reports its progress.
        Retype(RegionEdit(Dialog), "9");
        Press(ButtonOf(Dialog, "OK"));
    });
    EXPECT_EQ(Run.Value("cancelled"), "1");
    EXPECT_EQ(Run.Value("process"), "1");
    EXPECT_EQ(Run.Value("handed back"), "nothing");
    EXPECT_EQ(Run.Value("exit"), "0");
    EXPECT_EQ(Run.ExitCode, 0u);
}

TEST_F(EndToEnd, FloatPixelsOfSixteenBytesComeBackAsPlainDoubles) {
    const std::int32_t W = 7, H = 6;
    std::vector<double> Values(std::size_t(W * H));
    for (std::size_t i = 0; i < Values.size(); ++i) Values[i] = double(i * i % 19) / 7.0 - 1.0;
    if (std::FILE* File = std::fopen("e2e_input.raw", "wb")) {
        std::fwrite(Values.data(), sizeof(double), Values.size(), File);
        std::fclose(File);
    }
    // The host wraps every double in a 16-byte pixel.
    const THostRun Run = RunHost("--raw 7 6 --format40 --output e2e_output.raw e2e_input.raw", [&](HANDLE Host) {
        HWND Dialog = AwaitWindow(Host, DialogClass, DialogCaption);
        if (!Dialog) return;
        ChooseSetup(Dialog, 4); // "Fractal 25-square"
        Press(ButtonOf(Dialog, "OK"));
    });
    EXPECT_EQ(Run.Value("process"), "1");
    ASSERT_EQ(Run.Value("result"), "14x12 format 24");

    TBitmapWienerInterpolation Settings;
    ApplySetup(Settings, 4, 2);
    TFloatMap Direct(W, H);
    std::memcpy(Direct.Map, Values.data(), Values.size() * sizeof(double));
    FractalInterpolate(Direct, Settings.TrainingRegion / 2, 2, nullptr, Settings.FilterStrength, Settings.Lambda);
    const THostPicture Out = ReadRawFile("e2e_output.raw", 2 * W, 2 * H);
    ASSERT_EQ(Out.Pixels.size(), std::size_t(Direct.Count) * sizeof(double));
    EXPECT_EQ(std::memcmp(Out.Pixels.data(), Direct.Map, Out.Pixels.size()), 0);
}


// Whatever the dialog shows is accepted as it is.
void PressOk(HANDLE Host) {
    if (HWND Dialog = AwaitWindow(Host, DialogClass, DialogCaption)) Press(ButtonOf(Dialog, "OK"));
}

std::vector<std::uint8_t> FileBytes(const char* Name) {
    std::vector<std::uint8_t> Bytes;
    if (std::FILE* File = std::fopen(Name, "rb")) {
        for (int C; (C = std::fgetc(File)) != EOF;) Bytes.push_back(std::uint8_t(C));
        std::fclose(File);
    }
    return Bytes;
}

std::string HexState(const test::TForeignFloatState& State) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%04X:%08X", unsigned(State.X87ControlWord), unsigned(State.Mxcsr));
    return Text;
}

TEST_F(EndToEnd, ResultsAndTheHostsStateDoNotDependOnTheHostsFloatingPointState) {
    THostPicture Colour;
    Colour.Width = 13;
    Colour.Height = 9;
    Colour.Format = hfBgr24;
    Colour.BytesPerLine = 40;
    for (std::size_t i = 0; i < std::size_t(40 * 9); ++i) Colour.Pixels.push_back(std::uint8_t((i * 37 + i / 5) % 256));
    WriteBmpFile("e2e_input.bmp", Colour);
    std::vector<double> Values(7 * 6);
    for (std::size_t i = 0; i < Values.size(); ++i) Values[i] = double(i % 5) * 1e-310 + double(i * i % 11) / 3.0;
    if (std::FILE* File = std::fopen("e2e_input.raw", "wb")) {
        std::fwrite(Values.data(), sizeof(double), Values.size(), File);
        std::fclose(File);
    }
    const std::string ColourRun = "--output e2e_output.bmp e2e_input.bmp";
    const std::string RealRun = "--raw 7 6 --output e2e_output.raw e2e_input.raw";
    ASSERT_EQ(RunHost(ColourRun, PressOk).Value("process"), "1");
    ASSERT_EQ(RunHost(RealRun, PressOk).Value("process"), "1");
    const std::vector<std::uint8_t> ColourExpected = FileBytes("e2e_output.bmp");
    const std::vector<std::uint8_t> RealExpected = FileBytes("e2e_output.raw");
    ASSERT_FALSE(ColourExpected.empty());
    ASSERT_FALSE(RealExpected.empty());

    for (const test::TForeignFloatState& State : test::ForeignFloatStates) {
        SCOPED_TRACE(State.Name);
        const std::string Option = "--float-state " + HexState(State) + " ";
        std::remove("e2e_output.bmp");
        std::remove("e2e_output.raw");
        const THostRun Colours = RunHost(Option + ColourRun, PressOk);
        const THostRun Reals = RunHost(Option + RealRun, PressOk);
        EXPECT_EQ(Colours.Value("float state kept"), "1");
        EXPECT_EQ(Reals.Value("float state kept"), "1");
        EXPECT_TRUE(FileBytes("e2e_output.bmp") == ColourExpected);
        EXPECT_TRUE(FileBytes("e2e_output.raw") == RealExpected);
    }
}

TEST_F(EndToEnd, TheHostsOwnFaultsStayTheHostsWhileLoadedAndAfterUnload) {
    WriteBmpFile("e2e_input.bmp", GrayPicture(8, 6));
    const THostRun Run = RunHost("--own-faults e2e_input.bmp", PressOk);
    EXPECT_EQ(Run.Value("process"), "1");
    EXPECT_EQ(Run.Values("own fault handled"), (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(Run.Value("plugin unloaded"), "1");
    EXPECT_EQ(Run.ExitCode, 0u);
}

} // namespace
} // namespace fi
