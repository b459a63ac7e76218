// The shared object loaded as a native host would: its headless dialog
// answers as a user pressing Enter, so a run enlarges with the settings shown.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/HostRecorder.h"
#include "plugin/ModuleLoader.h"
#include "resize/FastDefaultEnlarge.h"

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

} // namespace
} // namespace fi
