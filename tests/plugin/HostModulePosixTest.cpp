// The shared object loaded as a native host would: its headless dialog
// answers as a user pressing Enter, so a run enlarges with the settings shown.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <setjmp.h>
#include <signal.h>

#include <cstring>

#include "common/ForeignFloatStates.h"

#include "plugin/HostRecorder.h"
#include "plugin/ModuleLoader.h"
#include "wiener/FastDefaultEnlarge.h"
#include "support/FloatEnvironment.h"

namespace fi {
namespace {

using test::THostRecorder;
using test::THostScope;

TEST(HostModulePosix, EnlargesWithTheDefaultSettingAndRefusesThirtyTwoBits) {
    test::TModule Module(FI_MODULE_PATH);
    ASSERT_TRUE(Module.Loaded()) << FI_MODULE_PATH;
    const auto Register = Module.RegisterPlugin();
    const auto Process = Module.ProcessImage();
    THostRecorder Recorder;
    THostScope Scope(Recorder);
    ASSERT_EQ(Register(&THostRecorder::Callback), 7);

    std::vector<std::uint8_t> Pixels(11 * 8 * 3);
    for (std::size_t i = 0; i < Pixels.size(); ++i) Pixels[i] = std::uint8_t((i * 29 + i / 7) % 256);
    char Name[] = "/home/user/tree.png";
    Recorder.Images = {{Name, Pixels.data()}};
    HostImage Image{};
    Image.Width = 11;
    Image.Height = 8;
    Image.BytesPerLine = 33;
    Image.Format = hfBgr24;
    Image.Pixels = Pixels.data();
    EXPECT_EQ(Process(1, &Image), 1);
    EXPECT_EQ(Process(1, &Image), 1);

    TLinearBitmap Direct(11, 8, TPixelFormat::pf24bit);
    std::memcpy(Direct.Map, Pixels.data(), Pixels.size());
    FastDefaultEnlarge(Direct, nullptr, 0.01, 8.0f);
    ASSERT_EQ(Recorder.Results.size(), 2u);
    for (const test::TResultCopy& R : Recorder.Results) {
        EXPECT_EQ(R.Caption, "tree x2 region=7 regul=0.01 filter=8 clampw=0 normalize=0 clampres=0");
        EXPECT_EQ(R.Image.Width, 22);
        EXPECT_EQ(R.Image.Height, 16);
        EXPECT_EQ(R.Pixels, std::vector<std::uint8_t>(Direct.Map, Direct.Map + Direct.Size));
    }

    Image.Format = hfBits32;
    Image.BytesPerLine = 44;
    std::vector<std::uint8_t> Wide(44 * 8, 7);
    Image.Pixels = Wide.data();
    EXPECT_EQ(Process(1, &Image), 1);
    EXPECT_EQ(Recorder.Results.size(), 2u);
}


// One enlargement of a 24-bit and one of a real-valued image, with the
// default setting.
struct TRunResults {
    std::vector<std::uint8_t> Colour;
    std::vector<std::uint8_t> Real;
};

TEST(HostModulePosix, ResultsAndTheHostsStateDoNotDependOnTheHostsFloatingPointState) {
    test::TModule Module(FI_MODULE_PATH);
    ASSERT_TRUE(Module.Loaded()) << FI_MODULE_PATH;
    const auto Process = Module.ProcessImage();
    THostRecorder Recorder;
    THostScope Scope(Recorder);
    ASSERT_EQ(Module.RegisterPlugin()(&THostRecorder::Callback), 7);

    std::vector<std::uint8_t> Pixels(13 * 9 * 3);
    for (std::size_t i = 0; i < Pixels.size(); ++i) Pixels[i] = std::uint8_t((i * 37 + i / 5) % 256);
    HostImage Colour{13, 9, 39, hfBgr24, Pixels.data(), nullptr, 0};
    // Tiny values as well, which flush-to-zero would lose.
    std::vector<double> Values(7 * 6);
    for (std::size_t i = 0; i < Values.size(); ++i) Values[i] = double(i % 5) * 1e-310 + double(i * i % 11) / 3.0;
    HostImage Real{7, 6, 0, hfDouble, reinterpret_cast<std::uint8_t*>(Values.data()), nullptr, 0};

    const auto Run = [&] {
        Recorder.Results.clear();
        EXPECT_EQ(Process(1, &Colour), 1);
        EXPECT_EQ(Process(1, &Real), 1);
    };
    const auto Collect = [&] {
        TRunResults R;
        if (Recorder.Results.size() == 2) {
            R.Colour = Recorder.Results[0].Pixels;
            R.Real = Recorder.Results[1].Pixels;
        }
        return R;
    };
    Run();
    const TRunResults Expected = Collect();
    ASSERT_FALSE(Expected.Colour.empty());

    for (const test::TForeignFloatState& State : test::ForeignFloatStates) {
        Recorder.ControlWords.clear();
        SetX87ControlWord(State.X87ControlWord);
        SetSseControlStatus(State.Mxcsr);
        Run();
        const std::uint16_t ControlWordAfter = X87ControlWord();
        const std::uint32_t MxcsrAfter = SseControlStatus();
        LoadDefaultFloatEnvironment();
        SCOPED_TRACE(State.Name);
        EXPECT_EQ(ControlWordAfter, State.X87ControlWord);
        EXPECT_EQ(MxcsrAfter, State.Mxcsr);
        // The host's own code ran in its own state.
        for (std::uint16_t Word : Recorder.ControlWords) EXPECT_EQ(Word, State.X87ControlWord);
        const TRunResults Got = Collect();
        EXPECT_TRUE(Got.Colour == Expected.Colour);
        EXPECT_TRUE(Got.Real == Expected.Real);
    }
}

// A host that handles its own access violations by jumping back to where it
// provoked them.
sigjmp_buf HostRecovery;
void HostFaultHandler(int, siginfo_t*, void*) { siglongjmp(HostRecovery, 1); }

volatile int* volatile HostBadPointer = reinterpret_cast<int*>(0x10);

bool HostSurvivesItsOwnFault() {
    if (sigsetjmp(HostRecovery, 1) == 0) {
        (void)*HostBadPointer;
        return false;
    }
    return true;
}

TEST(HostModulePosix, TheHostsOwnFaultsStayTheHostsWhileLoadedAndAfterUnload) {
    struct sigaction Handler{}, Before{};
    Handler.sa_sigaction = HostFaultHandler;
    Handler.sa_flags = SA_SIGINFO;
    sigemptyset(&Handler.sa_mask);
    sigaction(SIGSEGV, &Handler, &Before);
    {
        test::TModule Module(FI_MODULE_PATH);
        ASSERT_TRUE(Module.Loaded()) << FI_MODULE_PATH;
        THostRecorder Recorder;
        THostScope Scope(Recorder);
        Module.RegisterPlugin()(&THostRecorder::Callback);
        std::vector<std::uint8_t> Pixels(6 * 5, 90);
        HostImage Gray{6, 5, 6, hfIndexed8, Pixels.data(), nullptr, 0};
        EXPECT_EQ(Module.ProcessImage()(1, &Gray), 1);
        EXPECT_TRUE(HostSurvivesItsOwnFault());
    }
    EXPECT_TRUE(HostSurvivesItsOwnFault());
    // Where the module is really gone, the host's handler is in place again.
    if (void* Still = dlopen(FI_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(Still);
    } else {
        struct sigaction Now{};
        sigaction(SIGSEGV, nullptr, &Now);
        EXPECT_EQ(Now.sa_sigaction, &HostFaultHandler);
    }
    sigaction(SIGSEGV, &Before, nullptr);
}

} // namespace
} // namespace fi
