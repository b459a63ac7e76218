#include <gtest/gtest.h>

#include "plugin/HostRecorder.h"

namespace fi {
namespace {

using test::THostRecorder;
using test::THostScope;

TEST(HostProtocol, RegistrationPassesResultThrough) {
    THostRecorder Recorder;
    THostScope Scope(Recorder);
    EXPECT_EQ(RegisterWithHost(nullptr), 0);
    EXPECT_EQ(Host, nullptr);
    EXPECT_TRUE(Recorder.Requests.empty());

    EXPECT_EQ(RegisterWithHost(&THostRecorder::Callback), 7);
    EXPECT_EQ(Recorder.Requests, std::vector<std::int32_t>{hrRegister});
    EXPECT_EQ(Recorder.Category, "Plugins");
    EXPECT_EQ(Recorder.Title, "Fractal interpolation");
    EXPECT_EQ(Recorder.Description, "Enlarge image using fractal inspired interpolation based on Wiener filters");
    EXPECT_EQ(Recorder.One, 1);
}

TEST(HostProtocol, MainWindowRequestSetsTheOwnerOnlyWhenAnswered) {
    THostRecorder Recorder;
    THostScope Scope(Recorder);
    RegisterWithHost(&THostRecorder::Callback);
    Recorder.Requests.clear();
    OwnerWindow = 0;
    RequestOwnerWindow();
    EXPECT_EQ(Recorder.Requests, (std::vector<std::int32_t>{hrMainWindow}));
    EXPECT_EQ(OwnerWindow, 0x1234u);

    Recorder.Window = 0x999;
    Recorder.WindowAnswer = 0;
    RequestOwnerWindow();
    EXPECT_EQ(OwnerWindow, 0x1234u);
}

TEST(HostProtocol, ImageNameLookupEnumeratesUntilThePixelsMatch) {
    THostRecorder Recorder;
    THostScope Scope(Recorder);
    RegisterWithHost(&THostRecorder::Callback);
    std::uint8_t A[1], B[1], C[1];
    Recorder.Images = {{"C:\\a.bmp", A}, {nullptr, B}, {"tree.bmp", C}};
    Recorder.Requests.clear();
    EXPECT_EQ(LookupImageName(C), "tree.bmp");
    EXPECT_EQ(Recorder.Requests.size(), 3u);
    EXPECT_EQ(LookupImageName(B), "");
    std::uint8_t Unlisted[1];
    EXPECT_EQ(LookupImageName(Unlisted), "");
}

} // namespace
} // namespace fi
