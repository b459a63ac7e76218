// Loads the built module as a host would and talks to it through its exports.
#include <gtest/gtest.h>

#include "plugin/HostRecorder.h"
#include "plugin/ModuleLoader.h"

namespace fi {
namespace {

using test::THostRecorder;
using test::THostScope;

TEST(HostModule, LoadsRegistersAndIgnoresOtherCommands) {
    test::TModule Module(FI_MODULE_PATH);
    ASSERT_TRUE(Module.Loaded()) << FI_MODULE_PATH;
    const auto Register = Module.RegisterPlugin();
    const auto Process = Module.ProcessImage();
    ASSERT_NE(Register, nullptr);
    ASSERT_NE(Process, nullptr);
    EXPECT_EQ(Module.Export("RegisterWithHost"), nullptr);

    THostRecorder Recorder;
    THostScope Scope(Recorder);
    EXPECT_EQ(Register(nullptr), 0);
    EXPECT_TRUE(Recorder.Requests.empty());
    EXPECT_EQ(Register(&THostRecorder::Callback), 7);
    EXPECT_EQ(Recorder.Category, "Plugins");
    EXPECT_EQ(Recorder.Title, "Fractal interpolation");
    EXPECT_EQ(Recorder.Description, "Enlarge image using fractal inspired interpolation based on Wiener filters");
    EXPECT_EQ(Recorder.One, 1);

    Recorder.Requests.clear();
    HostImage Image{};
    EXPECT_EQ(Process(0, &Image), 1);
    EXPECT_EQ(Process(2, &Image), 1);
    EXPECT_EQ(Recorder.Requests, (std::vector<std::int32_t>{hrMainWindow, hrMainWindow}));
}

} // namespace
} // namespace fi
