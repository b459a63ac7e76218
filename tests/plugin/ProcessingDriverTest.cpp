#include "plugin/ProcessingDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/AllocationCount.h"
#include "common/ProtectedMemory.h"
#include "plugin/HostRecorder.h"
#include "plugin/PluginLinearBitmap.h"
#include "wiener/FastDefaultEnlarge.h"
#include "support/Exceptions.h"
#include "ui/MessageForm.h"
#include "ui/WienerResizeParamForm.h"
#include "wiener/FloatMapFractalInterpolation.h"

namespace fi::test {
namespace {

// The dialog and message boxes as a user would answer them.
class TScriptedFrontEnd : public TDriverFrontEnd {
public:
    TBitmapWienerInterpolation Interp;
    std::int32_t Setup = DefaultSetup;
    bool AnswerOk = true;
    int Shown = 0;
    std::vector<std::string> Information, Errors;

    TScriptedFrontEnd() { ApplySetup(Interp, DefaultSetup, 2); }
    bool ExecuteDialog() override {
        ++Shown;
        return AnswerOk;
    }
    std::int32_t SetupIndex() override { return Setup; }
    TBitmapWienerInterpolation& Interpolator() override { return Interp; }
    void ShowInformation(const std::string& Text) override { Information.push_back(Text); }
    bool ErrorBoxFails = false;
    void ShowError(const std::string& Text) override {
        Errors.push_back(Text);
        if (ErrorBoxFails) throw Exception("Cannot create a window");
    }
};

class ProcessingDriver : public ::testing::Test {
protected:
    THostRecorder Recorder;
    THostScope Scope{Recorder};
    TScriptedFrontEnd FrontEnd;

    std::vector<TResultCopy>& Results = Recorder.Results;

    void SetUp() override { Host = THostRecorder::Callback; }
    void TearDown() override { ProgressHook = nullptr; }

    std::int32_t Run(const HostImage& Image) { return ProcessImageWith(1, &Image, FrontEnd); }
};

std::vector<std::uint8_t> Pattern(std::size_t Bytes) {
    std::vector<std::uint8_t> P(Bytes);
    for (std::size_t i = 0; i < Bytes; ++i) P[i] = std::uint8_t((i * 37 + i / 5 * 11) % 251);
    return P;
}

HostImage Record(std::int32_t W, std::int32_t H, std::int32_t Format, std::int32_t BytesPerLine, std::uint8_t* Pixels,
                 std::uint8_t* Palette = nullptr) {
    HostImage I{};
    I.Width = W;
    I.Height = H;
    I.BytesPerLine = BytesPerLine;
    I.Format = Format;
    I.Pixels = Pixels;
    I.Palette = Palette;
    return I;
}

TEST_F(ProcessingDriver, RefusedImagesGetTheMessageAndReturnOne) {
    auto Bits32 = Pattern(4 * 4 * 4);
    std::vector<std::uint8_t> Coloured(768, 0);
    for (int i = 0; i < 256; ++i) Coloured[3 * i + 2] = std::uint8_t(i); // red ramp
    auto Indexed = Pattern(6 * 4);
    auto Float = std::vector<double>(4, 1.0);
    const HostImage Refused[] = {
        Record(4, 4, hfBits32, 16, Bits32.data()),
        Record(6, 4, hfIndexed8, 6, Indexed.data(), Coloured.data()),
        Record(0, 4, hfBgr24, 0, Bits32.data()),
        Record(2, 2, 7, 8, Bits32.data()),
        Record(0, 2, hfDouble, 0, reinterpret_cast<std::uint8_t*>(Float.data())),
        Record(2, -1, hfDouble16, 0, reinterpret_cast<std::uint8_t*>(Float.data())),
        Record(2, 2, hfDouble, 0, nullptr),
    };
    for (const HostImage& Image : Refused) EXPECT_EQ(Run(Image), 1);
    EXPECT_EQ(FrontEnd.Information, std::vector<std::string>(std::size(Refused), SUnsupportedImage));
    EXPECT_EQ(FrontEnd.Shown, 0);
    EXPECT_TRUE(Results.empty());
}

TEST_F(ProcessingDriver, OtherCommandsDoNothing) {
    auto Pixels = Pattern(8 * 8 * 3);
    const HostImage Image = Record(8, 8, hfBgr24, 24, Pixels.data());
    EXPECT_EQ(ProcessImageWith(0, &Image, FrontEnd), 1);
    EXPECT_EQ(ProcessImageWith(2, &Image, FrontEnd), 1);
    EXPECT_EQ(FrontEnd.Shown, 0);
    EXPECT_TRUE(Recorder.Requests.empty());
}

TEST_F(ProcessingDriver, DefaultSettingRunsTheFastRoutineOnNullPaletteGray) {
    // Rows padded to 12 bytes: the driver must hand back packed rows and
    // leave the host's buffer alone.
    auto Pixels = Pattern(12 * 9);
    const auto Before = Pixels;
    std::uint8_t Name[] = "C:\\pics\\tree.bmp";
    Recorder.Images = {{"other.bmp", nullptr}, {reinterpret_cast<char*>(Name), Pixels.data()}};
    const HostImage Image = Record(10, 9, hfIndexed8, 12, Pixels.data());
    FrontEnd.Interp.Lambda = 0.001;
    FrontEnd.Interp.FilterStrength = 1.0f;
    ASSERT_EQ(Run(Image), 1);
    ASSERT_EQ(Results.size(), 1u);
    EXPECT_EQ(Pixels, Before);

    TLinearBitmap Direct(10, 9, TPixelFormat::pf8bit);
    for (int y = 0; y < 9; ++y) std::memcpy(Direct.Line(y), Pixels.data() + 12 * y, 10);
    FastDefaultEnlarge(Direct, nullptr, FrontEnd.Interp.Lambda, FrontEnd.Interp.FilterStrength);

    const TResultCopy& R = Results[0];
    EXPECT_EQ(R.Caption, "tree x2 region=7 regul=0.001 filter=1 clampw=0 normalize=0 clampres=0");
    EXPECT_EQ(R.Image.Width, 20);
    EXPECT_EQ(R.Image.Height, 18);
    EXPECT_EQ(R.Image.BytesPerLine, 20);
    EXPECT_EQ(R.Image.Format, hfIndexed8);
    EXPECT_NE(R.Image.Palette, nullptr);
    EXPECT_EQ(R.Image.Further, 0);
    EXPECT_EQ(R.Pixels, std::vector<std::uint8_t>(Direct.Map, Direct.Map + 20 * 18));
    EXPECT_FALSE(Recorder.Progress.empty());
}

TEST_F(ProcessingDriver, RegionNineRunsTheGeneralEngine) {
    FrontEnd.Interp.TrainingRegion = 9;
    FrontEnd.Interp.Lambda = 0.001;
    FrontEnd.Interp.FilterStrength = 1.0f;
    auto Pixels = Pattern(7 * 6 * 3);
    ASSERT_EQ(Run(Record(7, 6, hfBgr24, 21, Pixels.data())), 1);
    ASSERT_EQ(Results.size(), 1u);

    TLinearBitmap Direct(7, 6, TPixelFormat::pf24bit);
    std::memcpy(Direct.Map, Pixels.data(), Pixels.size());
    TBitmapWienerInterpolation Engine;
    ApplySetup(Engine, 3, 2);
    Engine.TrainingRegion = 9;
    Engine.Lambda = 0.001;
    Engine.FilterStrength = 1.0f;
    Engine.InterpolateBitmap(Direct, nullptr);
    EXPECT_EQ(Results[0].Pixels, std::vector<std::uint8_t>(Direct.Map, Direct.Map + Direct.Size));
    EXPECT_EQ(Results[0].Image.Format, hfBgr24);
    EXPECT_EQ(Results[0].Image.Palette, nullptr);
    EXPECT_EQ(Results[0].Caption, " x2 region=9 regul=0.001 filter=1 clampw=0 normalize=0 clampres=0");

    // The fast routine differs from the general engine here, so the choice is seen.
    TLinearBitmap Fast(7, 6, TPixelFormat::pf24bit);
    std::memcpy(Fast.Map, Pixels.data(), Pixels.size());
    FastDefaultEnlarge(Fast, nullptr, Engine.Lambda, Engine.FilterStrength);
    EXPECT_NE(Results[0].Pixels, std::vector<std::uint8_t>(Fast.Map, Fast.Map + Fast.Size));
}

TEST_F(ProcessingDriver, FloatFormatFortyComesBackAsTwentyFour) {
    std::vector<double> Wide(2 * 5 * 4);
    for (std::size_t i = 0; i < Wide.size(); ++i) Wide[i] = i % 2 ? 1e300 : double(i * i % 17) / 3.0;
    FrontEnd.Setup = 4; // the fixed double-size process with radius 2, whatever the region
    FrontEnd.Interp.TrainingRegion = 9;
    ASSERT_EQ(Run(Record(5, 4, hfDouble16, 0, reinterpret_cast<std::uint8_t*>(Wide.data()))), 1);
    ASSERT_EQ(Results.size(), 1u);
    const TResultCopy& R = Results[0];
    EXPECT_EQ(R.Image.Format, hfDouble);
    EXPECT_EQ(R.Image.BytesPerLine, 0);
    EXPECT_EQ(R.Image.Palette, nullptr);
    ASSERT_EQ(R.Image.Width, 10);
    ASSERT_EQ(R.Image.Height, 8);

    TFloatMap Direct(5, 4);
    for (int i = 0; i < 20; ++i) Direct.Map[i] = Wide[2 * std::size_t(i)];
    FractalInterpolate(Direct, 4, 2, nullptr, FrontEnd.Interp.FilterStrength, FrontEnd.Interp.Lambda);
    EXPECT_EQ(std::memcmp(R.Pixels.data(), Direct.Map, 80 * sizeof(double)), 0);
}

TEST_F(ProcessingDriver, FloatWithFlagsGoesThroughInterpolate) {
    std::vector<double> Values(6 * 5);
    for (std::size_t i = 0; i < Values.size(); ++i) Values[i] = double((i * 13) % 7) - 2.5;
    FrontEnd.Interp.ClampResult = true;
    ASSERT_EQ(Run(Record(6, 5, hfDouble, 0, reinterpret_cast<std::uint8_t*>(Values.data()))), 1);
    ASSERT_EQ(Results.size(), 1u);

    TFloatMap Source(6, 5), Dest;
    std::memcpy(Source.Map, Values.data(), Values.size() * sizeof(double));
    TBitmapWienerInterpolation Engine;
    ApplySetup(Engine, 3, 2);
    Engine.ClampResult = true;
    Engine.Interpolate(Source, Dest);
    ASSERT_EQ(Results[0].Image.Width, Dest.Width);
    EXPECT_EQ(std::memcmp(Results[0].Pixels.data(), Dest.Map, std::size_t(Dest.Count) * sizeof(double)), 0);
    EXPECT_EQ(FrontEnd.Interp.CurrentRun(), nullptr);
}

TEST_F(ProcessingDriver, CancelInDialogOrThroughProgressHandsBackNothing) {
    auto Pixels = Pattern(8 * 8 * 3);
    const HostImage Image = Record(8, 8, hfBgr24, 24, Pixels.data());
    FrontEnd.AnswerOk = false;
    EXPECT_EQ(Run(Image), 1);
    EXPECT_EQ(FrontEnd.Shown, 1);

    FrontEnd.AnswerOk = true;
    Recorder.ProgressAnswer = 0;
    EXPECT_EQ(Run(Image), 1);
    EXPECT_FALSE(Recorder.Progress.empty());
    EXPECT_TRUE(FrontEnd.Errors.empty());
    EXPECT_TRUE(Results.empty());

    // The module goes on working after a cancel.
    Recorder.ProgressAnswer = 1;
    EXPECT_EQ(Run(Image), 1);
    EXPECT_EQ(Results.size(), 1u);
}

TEST_F(ProcessingDriver, FailureIsShownAndReturnsZero) {
    // A map beyond the containers' limits: "Out of memory" must stay inside
    // the module, before anything is read from the pixel pointer.
    double One = 1.0;
    EXPECT_EQ(Run(Record(100000, 100000, hfDouble, 0, reinterpret_cast<std::uint8_t*>(&One))), 0);
    EXPECT_EQ(FrontEnd.Errors, std::vector<std::string>{"Out of memory"});
    EXPECT_EQ(FrontEnd.Shown, 0);
    EXPECT_TRUE(Results.empty());
    // Nor may the error box's own failure reach the host.
    FrontEnd.ErrorBoxFails = true;
    EXPECT_EQ(Run(Record(100000, 100000, hfDouble, 0, reinterpret_cast<std::uint8_t*>(&One))), 0);
    EXPECT_EQ(FrontEnd.Errors.size(), 2u);
}

TEST_F(ProcessingDriver, FailedResultAllocationLeavesTheHostsPaletteAlone) {
    // Gray pixels with the host's own gray palette, read-only behind guard
    // pages: the module may neither write nor free it on the failure path.
    const std::int32_t W = 9, H = 7;
    auto Pixels = Pattern(std::size_t(W * H));
    TProtectedMemory Palette(768);
    for (int i = 0; i < 768; ++i) Palette.Data()[i] = std::uint8_t(i / 3);
    Palette.MakeReadOnly();
    for (const std::int32_t Region : {7, 9}) { // the fast routine and the general engine
        FrontEnd.Interp.TrainingRegion = Region;
        FrontEnd.Errors.clear();
        // The enlarged bitmap: twice the size each way, plus the guard byte.
        FailAllocationsOfSize(std::size_t(4 * W * H + 1));
        const std::int32_t Result = Run(Record(W, H, hfIndexed8, W, Pixels.data(), Palette.Data()));
        FailAllocationsOfSize(0);
        EXPECT_EQ(Result, 0) << Region;
        EXPECT_EQ(FrontEnd.Errors, std::vector<std::string>{"Out of memory"}) << Region;
        EXPECT_TRUE(Results.empty());
    }
    for (int i = 0; i < 768; ++i) ASSERT_EQ(Palette.Data()[i], std::uint8_t(i / 3));
    // Without the failure the same image comes back.
    EXPECT_EQ(Run(Record(W, H, hfIndexed8, W, Pixels.data(), Palette.Data())), 1);
    EXPECT_EQ(Results.size(), 1u);
}

TEST_F(ProcessingDriver, TheImageNameIsAskedForAfterTheEnlargement) {
    FrontEnd.Interp.TrainingRegion = 9; // the general engine reports progress
    auto Pixels = Pattern(8 * 6 * 3);
    ASSERT_EQ(Run(Record(8, 6, hfBgr24, 24, Pixels.data())), 1);
    const std::vector<std::int32_t>& R = Recorder.Requests;
    const auto FirstQuery = std::find(R.begin(), R.end(), hrImageQuery);
    ASSERT_NE(FirstQuery, R.end());
    EXPECT_NE(std::find(R.begin(), FirstQuery, hrProgress), FirstQuery);
    EXPECT_EQ(std::find(FirstQuery, R.end(), hrProgress), R.end());
    EXPECT_EQ(R.back(), hrResult);
}

TEST(ProcessingDriverSetups, NamesAndUnknownIndex) {
    EXPECT_STREQ(SetupNames[DefaultSetup], "Fractal 9-square");
    TBitmapWienerInterpolation I;
    ASSERT_TRUE(ApplySetup(I, 1, 9));
    EXPECT_EQ(I.ScaleFactor, 4);
    EXPECT_FALSE(ApplySetup(I, 7, 2));
    EXPECT_FALSE(ApplySetup(I, -1, 2));
    EXPECT_EQ(I.ScaleFactor, 4);
    EXPECT_FALSE(SetupHasScale(1));
    EXPECT_TRUE(SetupHasScale(2));
}

// The whole call with the module's own dialog and message boxes; the user's
// actions are queued for each modal window.
class ProcessHostImageWithDialog : public ::testing::Test {
protected:
    THostRecorder Recorder;
    THostScope Scope{Recorder};
    std::vector<std::string> Boxes; // caption: text of each message box

    static std::int32_t Run(HostImage Image) { return ProcessHostImage(1, &Image); }

    void SetUp() override {
        // The scripted host has no real window to lend.
        Recorder.WindowAnswer = 0;
        OwnerWindow = 0;
        RegisterWithHost(THostRecorder::Callback);
    }
    void TearDown() override {
        FreeParamForm();
        ProgressHook = nullptr;
    }

    void AnswerMessageBox() {
        QueueModalAction([this](TForm& Form) {
            auto& Box = static_cast<TMessageForm&>(Form);
            Boxes.push_back(Box.Caption() + ": " + Box.Message->Caption());
            Box.FindButton("OK")->Click();
        });
    }
    // The user sets the training region and presses OK.
    void AnswerDialog(const std::string& Region, std::int32_t* Shown = nullptr) {
        QueueModalAction([Region, Shown](TForm& Form) {
            auto& Dialog = static_cast<TWienerResizeParamForm&>(Form);
            if (Shown) *Shown = Dialog.TrainingRegionEdit->Value();
            if (!Region.empty()) {
                Dialog.TrainingRegionEdit->SelectAll();
                Dialog.TrainingRegionEdit->UserTypes(Region);
            }
            Dialog.OKButton->Click();
        });
    }
};

TEST_F(ProcessHostImageWithDialog, WithoutHostOrForOtherCommandsNothingHappens) {
    Host = nullptr;
    auto Pixels = Pattern(4 * 4 * 3);
    const HostImage Image = Record(4, 4, hfBgr24, 12, Pixels.data());
    EXPECT_EQ(ProcessHostImage(1, &Image), 0);
    RegisterWithHost(THostRecorder::Callback);
    Recorder.Requests.clear();
    EXPECT_EQ(ProcessHostImage(0, &Image), 1);
    EXPECT_EQ(ProcessHostImage(2, &Image), 1);
    EXPECT_EQ(Recorder.Requests, (std::vector<std::int32_t>{hrMainWindow, hrMainWindow}));
    EXPECT_EQ(ParamForm, nullptr);
}

TEST_F(ProcessHostImageWithDialog, SecondRunShowsTheFirstRunsSettings) {
    auto Pixels = Pattern(9 * 7 * 3);
    std::uint8_t Name[] = "C:\\pics\\tree.bmp";
    Recorder.Images = {{reinterpret_cast<char*>(Name), Pixels.data()}};
    const HostImage Image = Record(9, 7, hfBgr24, 27, Pixels.data());
    std::int32_t ShownFirst = 0, ShownSecond = 0;
    AnswerDialog("9", &ShownFirst);
    ASSERT_EQ(ProcessHostImage(1, &Image), 1);
    AnswerDialog("", &ShownSecond);
    ASSERT_EQ(ProcessHostImage(1, &Image), 1);
    EXPECT_EQ(ShownFirst, 7);
    EXPECT_EQ(ShownSecond, 9);
    ASSERT_EQ(Recorder.Results.size(), 2u);

    // Region 9 is not the fast routine's setting: the general engine ran.
    TLinearBitmap Direct(9, 7, TPixelFormat::pf24bit);
    std::memcpy(Direct.Map, Pixels.data(), Pixels.size());
    TBitmapWienerInterpolation Engine;
    ApplySetup(Engine, DefaultSetup, 2);
    Engine.TrainingRegion = 9;
    Engine.InterpolateBitmap(Direct, nullptr);
    for (const TResultCopy& R : Recorder.Results) {
        EXPECT_EQ(R.Caption, "tree x2 region=9 regul=0.01 filter=8 clampw=0 normalize=0 clampres=0");
        EXPECT_EQ(R.Pixels, std::vector<std::uint8_t>(Direct.Map, Direct.Map + Direct.Size));
    }
}

TEST_F(ProcessHostImageWithDialog, CancelAndRefusedImagesHandBackNothing) {
    auto Pixels = Pattern(6 * 6 * 4);
    QueueModalAction([](TForm& Form) { static_cast<TWienerResizeParamForm&>(Form).CancelButton->Click(); });
    EXPECT_EQ(Run(Record(6, 6, hfBgr24, 18, Pixels.data())), 1);
    AnswerMessageBox();
    EXPECT_EQ(Run(Record(6, 6, hfBits32, 24, Pixels.data())), 1);
    EXPECT_EQ(Boxes, std::vector<std::string>{std::string("Information: ") + SUnsupportedImage});
    EXPECT_TRUE(Recorder.Results.empty());

    // A cancel from the host's progress window returns quietly, and the
    // module works on afterwards.
    Recorder.ProgressAnswer = 0;
    AnswerDialog("");
    EXPECT_EQ(Run(Record(6, 6, hfBgr24, 18, Pixels.data())), 1);
    EXPECT_TRUE(Recorder.Results.empty());
    Recorder.ProgressAnswer = 1;
    AnswerDialog("");
    EXPECT_EQ(Run(Record(6, 6, hfBgr24, 18, Pixels.data())), 1);
    EXPECT_EQ(Recorder.Results.size(), 1u);
    EXPECT_EQ(Boxes.size(), 1u);
}

TEST_F(ProcessHostImageWithDialog, FailureGoesToTheErrorBoxAndReturnsZero) {
    double One = 1.0;
    AnswerMessageBox();
    EXPECT_EQ(Run(Record(100000, 100000, hfDouble, 0, reinterpret_cast<std::uint8_t*>(&One))), 0);
    EXPECT_EQ(Boxes, std::vector<std::string>{"Error: Out of memory"});
    EXPECT_TRUE(Recorder.Results.empty());
}

} // namespace
} // namespace fi::test
