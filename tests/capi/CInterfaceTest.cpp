#include "fractal_interpolation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/ForeignFloatStates.h"
#include "parallel/Progress.h"
#include "plugin/ProcessingDriver.h"
#include "support/FloatEnvironment.h"
#include "support/FloatFormat.h"
#include "ui/WienerResizeParamForm.h"
#include "wiener/BestQualityEnlarge.h"

namespace fi::test {
namespace {

using TBytes = std::vector<std::uint8_t>;

struct TSettings {
    fi_settings* S = nullptr;
    TSettings() { EXPECT_EQ(fi_settings_new(&S), FI_OK); }
    ~TSettings() { fi_settings_free(S); }
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;
    operator fi_settings*() const { return S; }
};

// Rows of Width * Channels bytes, Stride apart; the padding is never read.
TBytes Picture(int Width, int Height, int Channels, int Stride) {
    TBytes P(std::size_t(Stride) * Height, 0xEE);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width * Channels; ++x) P[std::size_t(y * Stride + x)] = std::uint8_t((x * 37 + y * 11) ^ (x * y));
    return P;
}

// What the command line computes: the dialog filled, the bitmap path of the driver.
TBytes Reference(const TBytes& Source, int Width, int Height, int Channels, int Stride, int Setup, int Scale) {
    TWienerResizeParamForm Dialog;
    Dialog.SetupComboBox->UserSelects(Setup);
    if (SetupHasScale(Setup)) Dialog.ScaleEdit->SetText(std::to_string(Scale));
    Dialog.OKButton->Click();
    TLinearBitmap Bitmap(Width, Height, Channels == 1 ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    if (Channels == 1) std::memcpy(Bitmap.Palette, GrayPalette, sizeof(TPalette));
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            for (int c = 0; c < Channels; ++c)
                Bitmap.Line(y)[x * Channels + c] = Source[std::size_t(y * Stride + x * Channels + (Channels - 1 - c))];
    EnlargeWithSettings(&Bitmap, Setup, Dialog.WienerInterpolator());
    TBytes Result;
    for (int y = 0; y < Bitmap.Height; ++y)
        for (int x = 0; x < Bitmap.Width; ++x)
            for (int c = 0; c < Channels; ++c) Result.push_back(Bitmap.Line(y)[x * Channels + (Channels - 1 - c)]);
    return Result;
}

// The result of the C interface, its padding dropped.
TBytes Enlarge(fi_settings* S, const TBytes& Source, int Width, int Height, int Channels, int Stride, int Scale) {
    const int Row = Width * Scale * Channels, OutStride = Row + 5;
    TBytes Out(std::size_t(OutStride) * Height * Scale);
    EXPECT_EQ(fi_enlarge_bytes(S, Source.data(), Width, Height, Channels, Stride, Out.data(), OutStride), FI_OK)
        << fi_message(S);
    TBytes Result;
    for (int y = 0; y < Height * Scale; ++y) Result.insert(Result.end(), &Out[std::size_t(y * OutStride)], &Out[std::size_t(y * OutStride + Row)]);
    return Result;
}

TEST(CInterface, BytesAreThePluginsBitmapPath) {
    // Setup 3 at scale 2 is the fast default enlargement, the others the general engine.
    struct TCase { int Setup, Scale, Channels; };
    for (const TCase C : {TCase{3, 2, 3}, TCase{3, 3, 1}, TCase{0, 2, 3}, TCase{2, 2, 1}}) {
        const int W = 23, H = 17, Stride = W * C.Channels + 3;
        const TBytes Source = Picture(W, H, C.Channels, Stride);
        TSettings S;
        ASSERT_EQ(fi_set_setup(S, C.Setup), FI_OK);
        if (fi_setup_has_scale(C.Setup)) {
            ASSERT_EQ(fi_set_scale(S, C.Scale), FI_OK);
        }
        EXPECT_EQ(Enlarge(S, Source, W, H, C.Channels, Stride, C.Scale),
                  Reference(Source, W, H, C.Channels, Stride, C.Setup, C.Scale))
            << "setup " << C.Setup << ", scale " << C.Scale << ", channels " << C.Channels;
    }
}

TEST(CInterface, PlaneIsTheFloatPath) {
    const int W = 19, H = 13, Stride = 21;
    std::vector<double> Source(std::size_t(Stride) * H, -1.0);
    TFloatMap Map(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            Source[std::size_t(y * Stride + x)] = Map.Map[y * W + x] = std::sin(x * 0.7) * 1000 + y * y * 3.25;
    TWienerResizeParamForm Dialog;
    Dialog.OKButton->Click();
    EnlargeWithSettings(&Map, DefaultSetup, Dialog.WienerInterpolator());

    TSettings S;
    std::vector<double> Out(std::size_t(2 * W) * 2 * H);
    ASSERT_EQ(fi_enlarge_plane(S, Source.data(), W, H, Stride, Out.data(), 2 * W), FI_OK) << fi_message(S);
    EXPECT_EQ(0, std::memcmp(Out.data(), Map.Map, Out.size() * sizeof(double)));
}

TEST(CInterface, SettingsFollowTheDialog) {
    TSettings S;
    fi_values V;
    ASSERT_EQ(fi_get_values(S, &V), FI_OK);
    EXPECT_EQ(V.setup, DefaultSetup);
    EXPECT_EQ(V.scale, 2);

    // A setup brings its own values, as in the dialog.
    TWienerResizeParamForm Dialog;
    Dialog.SetupComboBox->UserSelects(4);
    ASSERT_EQ(fi_set_setup_by_name(S, "Fractal 25-square"), FI_OK);
    ASSERT_EQ(fi_get_values(S, &V), FI_OK);
    EXPECT_EQ(V.setup, 4);
    EXPECT_EQ(V.training_region, Dialog.TrainingRegionEdit->Value());
    EXPECT_EQ(V.regularization, double(Dialog.LambdaEdit->Value()));
    EXPECT_EQ(V.clamp_result, int(Dialog.ClampResultCheckBox->Checked()));

    EXPECT_EQ(fi_set_text(S, FI_FIELD_SCALE, "2+2"), FI_OK);
    EXPECT_EQ(fi_set_text(S, FI_FIELD_REGULARIZATION, "2^-10"), FI_OK);
    EXPECT_EQ(fi_set_text(S, FI_FIELD_FILTER_STRENGTH, "sqrt(2)"), FI_OK);
    EXPECT_EQ(fi_set_training_region(S, 9), FI_OK);
    EXPECT_EQ(fi_set_clamp_weights(S, 1), FI_OK);
    ASSERT_EQ(fi_get_values(S, &V), FI_OK);
    EXPECT_EQ(V.scale, 4);
    EXPECT_EQ(V.regularization, 1.0 / 1024);
    EXPECT_FLOAT_EQ(float(V.filter_strength), std::sqrt(2.0f));
    EXPECT_EQ(V.training_region, 9);
    EXPECT_EQ(V.clamp_weights, 1);

    // Refusals name the field and the range, and change nothing. A braced
    // list runs in order: each message is read right after its call.
    struct TRefusal { fi_status Status; std::string Message; const char* Expected; };
    const TRefusal Refusals[] = {
        {fi_set_scale(S, 1), fi_message(S), "scale: 1 is not accepted (a whole number from 2 to 16)"},
        {fi_set_text(S, FI_FIELD_TRAINING_REGION, "0"), fi_message(S),
         "training region: \"0\" is not accepted (a whole number from 1 to 100)"},
        {fi_set_text(S, FI_FIELD_REGULARIZATION, "2^"), fi_message(S),
         "regularization: \"2^\" is not accepted (a value from 0 to 1)"},
        {fi_set_regularization(S, std::nan("")), fi_message(S),
         "regularization: nan is not accepted (a value from 0 to 1)"},
        {fi_set_filter_strength(S, 100.5), fi_message(S),
         "filter strength: 100.5 is not accepted (a value from 0 to 100)"},
        {fi_set_setup(S, 9), fi_message(S), "setup: 9 is not a setup (a whole number from 0 to 6)"},
        {fi_set_setup_by_name(S, "Bicubic"), fi_message(S), "setup: \"Bicubic\" is not a setup"},
    };
    for (const TRefusal& R : Refusals) {
        EXPECT_EQ(R.Status, FI_INVALID_ARGUMENT) << R.Expected;
        EXPECT_EQ(R.Message, R.Expected);
    }
    fi_values After;
    ASSERT_EQ(fi_get_values(S, &After), FI_OK);
    EXPECT_EQ(std::tie(V.setup, V.scale, V.training_region, V.regularization, V.filter_strength, V.clamp_weights),
              std::tie(After.setup, After.scale, After.training_region, After.regularization, After.filter_strength,
                       After.clamp_weights));
    EXPECT_STREQ(fi_message(S), "");

    // A fixed scale is shown and cannot be changed.
    ASSERT_EQ(fi_set_setup(S, 1), FI_OK);
    ASSERT_EQ(fi_get_values(S, &V), FI_OK);
    EXPECT_EQ(V.scale, 4);
    EXPECT_EQ(fi_set_scale(S, 4), FI_OK);
    EXPECT_EQ(fi_set_scale(S, 2), FI_INVALID_ARGUMENT);
    EXPECT_STREQ(fi_message(S), "scale: the setup \"Xin Li 4x\" has a fixed scale");
}

TEST(CInterface, CaptionAndBadArguments) {
    TSettings S;
    char Caption[400];
    std::size_t Length = 0;
    ASSERT_EQ(fi_caption(S, "photo.png", Caption, sizeof Caption, &Length), FI_OK);
    TWienerResizeParamForm Dialog;
    Dialog.OKButton->Click();
    EXPECT_EQ(Caption, SettingsCaption("photo.png", Dialog.WienerInterpolator()));
    EXPECT_EQ(Length, std::strlen(Caption));
    char Short[6];
    ASSERT_EQ(fi_caption(S, "photo.png", Short, sizeof Short, &Length), FI_OK);
    EXPECT_EQ(std::string(Short), std::string(Caption, 5));

    const TBytes Source = Picture(8, 8, 3, 24);
    TBytes Out(16 * 16 * 3);
    EXPECT_EQ(fi_enlarge_bytes(S, Source.data(), 8, 8, 3, 23, Out.data(), 48), FI_INVALID_ARGUMENT);
    EXPECT_STREQ(fi_message(S), "source stride 23 is shorter than a row of 24 bytes");
    EXPECT_EQ(fi_enlarge_bytes(S, Source.data(), 8, 8, 3, 24, Out.data(), 47), FI_INVALID_ARGUMENT);
    EXPECT_EQ(fi_enlarge_bytes(S, Source.data(), 8, 8, 2, 24, Out.data(), 48), FI_UNSUPPORTED_IMAGE);
    EXPECT_STREQ(fi_message(S), SUnsupportedImage);
    EXPECT_STREQ(fi_status_text(FI_UNSUPPORTED_IMAGE), SUnsupportedImage);
    EXPECT_EQ(fi_enlarge_bytes(S, Source.data(), 0, 8, 3, 24, Out.data(), 48), FI_INVALID_ARGUMENT);
    EXPECT_EQ(fi_enlarge_bytes(S, nullptr, 8, 8, 3, 24, Out.data(), 48), FI_INVALID_ARGUMENT);
    EXPECT_EQ(fi_enlarge_bytes(S, Source.data(), 40000, 40000, 3, 120000, Out.data(), 240000), FI_INVALID_ARGUMENT);
    EXPECT_EQ(fi_enlarge_bytes(nullptr, Source.data(), 8, 8, 3, 24, Out.data(), 48), FI_INVALID_ARGUMENT);
    EXPECT_EQ(fi_set_text(S, 7, "1"), FI_INVALID_ARGUMENT);
}

// Sizes whose products overflow, results beyond the engine's planes and
// strides past the address space are refused before any buffer is touched
// (the buffers here are far too small for what is claimed), in both ways.
TEST(CInterface, HostileSizesAndStridesAreInvalidArguments) {
    TBytes Tiny(64);
    std::vector<double> Plane(64);
    for (const int Best : {0, 1}) {
        TSettings S;
        ASSERT_EQ(fi_set_best_quality(S, Best), FI_OK);
        struct TCase { int W, H; ptrdiff_t Stride; const char* Message; };
        for (const TCase C : {TCase{INT_MAX, INT_MAX, INT_MAX, "is too large (at most 250000000 pixels)"},
                              TCase{INT_MAX, 1, INT_MAX, "the result of 4294967294 x 2 pixels"},
                              TCase{1, 125000001, 1, "is too large (at most 250000000 pixels)"},
                              TCase{4, 4, PTRDIFF_MAX, "source stride 9223372036854775807 is too large"}}) {
            EXPECT_EQ(fi_enlarge_bytes(S, Tiny.data(), C.W, C.H, 1, C.Stride, Tiny.data(), PTRDIFF_MAX / 2),
                      FI_INVALID_ARGUMENT) << C.W << " x " << C.H;
            EXPECT_NE(std::string(fi_message(S)).find(C.Message), std::string::npos) << fi_message(S);
            EXPECT_EQ(fi_enlarge_plane(S, Plane.data(), C.W, C.H, C.Stride, Plane.data(), PTRDIFF_MAX / 2),
                      FI_INVALID_ARGUMENT) << C.W << " x " << C.H;
            EXPECT_NE(std::string(fi_message(S)).find(C.Message), std::string::npos) << fi_message(S);
        }
        // 1000 x 1000 at 16 times is 256 million pixels a plane.
        ASSERT_EQ(fi_set_scale(S, 16), FI_OK);
        EXPECT_EQ(fi_enlarge_bytes(S, Tiny.data(), 1000, 1000, 3, 3000, Tiny.data(), 48000), FI_INVALID_ARGUMENT);
        EXPECT_STREQ(fi_message(S), "the result of 16000 x 16000 pixels is too large (at most 250000000 pixels)");
        EXPECT_EQ(fi_enlarge_bytes(S, Tiny.data(), 4, 4, 1, 4, Tiny.data(), PTRDIFF_MAX), FI_INVALID_ARGUMENT);
        EXPECT_STREQ(fi_message(S), "result stride 9223372036854775807 is too large for 64 rows");
    }
}

// One infinity or NaN would ruin most of the result: such planes are
// refused with the count and the first position, in both ways.
TEST(CInterface, NonFiniteSamplesAreRefused) {
    const int W = 9, H = 7, Stride = 10;
    std::vector<std::vector<double>> In(3, std::vector<double>(std::size_t(Stride) * H, 0.0));
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) In[c][std::size_t(y * Stride + x)] = 100 + 50 * std::sin(x + y * c);
    // Outside the rows' width: never read.
    In[0][9] = NAN;
    In[1][std::size_t(2 * Stride + 3)] = INFINITY;
    In[1][std::size_t(5 * Stride + 1)] = -INFINITY;
    In[1][std::size_t(6 * Stride + 8)] = NAN;
    std::vector<std::vector<double>> Out(3, std::vector<double>(std::size_t(4 * W * H)));
    const double* Sources[3] = {In[0].data(), In[1].data(), In[2].data()};
    double* Results[3] = {Out[0].data(), Out[1].data(), Out[2].data()};
    for (const int Best : {0, 1}) {
        TSettings S;
        ASSERT_EQ(fi_set_best_quality(S, Best), FI_OK);
        EXPECT_EQ(fi_enlarge_plane(S, Sources[0], W, H, Stride, Results[0], 2 * W), FI_OK) << fi_message(S);
        EXPECT_EQ(fi_enlarge_plane(S, Sources[1], W, H, Stride, Results[1], 2 * W), FI_INVALID_ARGUMENT);
        EXPECT_STREQ(fi_message(S), "source: 3 samples are not finite (infinity or NaN; the first at x 3, y 2)");
        EXPECT_EQ(fi_enlarge_planes(S, Sources, 3, W, H, Stride, Results, 2 * W), FI_INVALID_ARGUMENT);
        EXPECT_STREQ(fi_message(S), "source plane 1: 3 samples are not finite (infinity or NaN; the first at x 3, y "
                                    "2)");
    }
}

struct TProgressLog {
    std::vector<int> Percents;
    int CancelAt = 0;
};

int LogProgress(int Percent, void* Data) {
    auto& Log = *static_cast<TProgressLog*>(Data);
    Log.Percents.push_back(Percent);
    return Log.CancelAt == 0 || int(Log.Percents.size()) < Log.CancelAt;
}

TEST(CInterface, ProgressAndCancel) {
    const int W = 40, H = 30;
    const TBytes Source = Picture(W, H, 1, W);
    TSettings S;
    ASSERT_EQ(fi_set_setup(S, 2), FI_OK);
    TProgressLog Log;
    ASSERT_EQ(fi_set_progress(S, LogProgress, &Log), FI_OK);
    const TBytes Whole = Enlarge(S, Source, W, H, 1, W, 2);
    ASSERT_FALSE(Log.Percents.empty());
    EXPECT_EQ(Log.Percents.back(), 100);

    for (const int CancelAt : {1, int(Log.Percents.size()) / 2}) {
        Log = {{}, CancelAt};
        TBytes Out(std::size_t(4 * W * H));
        EXPECT_EQ(fi_enlarge_bytes(S, Source.data(), W, H, 1, W, Out.data(), 2 * W), FI_CANCELLED);
        EXPECT_EQ(int(Log.Percents.size()), CancelAt);
        EXPECT_STREQ(fi_message(S), "cancelled by the progress callback");
    }
    // The thread's event is left as it was, and the object works on.
    EXPECT_EQ(TProgressEvent(ProgressHook), nullptr);
    Log = {};
    EXPECT_EQ(Enlarge(S, Source, W, H, 1, W, 2), Whole);
}

// What the command line's best preset computes for 8-bit samples: the
// channels as planes, the unit, the nearest byte (ties to even).
TBytes BestReference(const TBytes& Source, int Width, int Height, int Channels, int Stride, int Scale,
                     const TBestQualitySettings& Settings = {}) {
    std::vector<TFloatMap> Maps(static_cast<std::size_t>(Channels));
    std::vector<TFloatMap*> Planes;
    for (int c = 0; c < Channels; ++c) {
        Maps[c].SetSize(Width, Height);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                Maps[c].Map[y * Width + x] = Source[std::size_t(y * Stride + x * Channels + c)];
        Planes.push_back(&Maps[c]);
    }
    EnlargeBestQuality(Planes, Scale, Settings);
    TBytes Result;
    for (int p = 0; p < Maps[0].Count; ++p)
        for (int c = 0; c < Channels; ++c) {
            const double r = std::nearbyint(Maps[c].Map[p]);
            Result.push_back(std::uint8_t(r > 255 ? 255 : r < 0 ? 0 : r));
        }
    return Result;
}

TEST(CInterface, BestQualityIsTheCommandLinesPreset) {
    struct TCase { int Scale, Channels; };
    for (const TCase C : {TCase{2, 3}, TCase{3, 3}, TCase{4, 1}}) {
        const int W = 21, H = 16, Stride = W * C.Channels + 2;
        const TBytes Source = Picture(W, H, C.Channels, Stride);
        TSettings S;
        ASSERT_EQ(fi_set_best_quality(S, 1), FI_OK);
        ASSERT_EQ(fi_set_scale(S, C.Scale), FI_OK);
        EXPECT_EQ(Enlarge(S, Source, W, H, C.Channels, Stride, C.Scale),
                  BestReference(Source, W, H, C.Channels, Stride, C.Scale))
            << "scale " << C.Scale << ", channels " << C.Channels;
    }
    // The fields given apply on top, an even region standing for the odd one below.
    const int W = 17, H = 12;
    const TBytes Source = Picture(W, H, 3, 3 * W);
    TSettings S;
    ASSERT_EQ(fi_set_best_quality(S, 1), FI_OK);
    ASSERT_EQ(fi_set_training_region(S, 10), FI_OK);
    ASSERT_EQ(fi_set_text(S, FI_FIELD_REGULARIZATION, "0.01"), FI_OK);
    ASSERT_EQ(fi_set_filter_strength(S, 4), FI_OK);
    TBestQualitySettings Given;
    Given.RegionRadius = 5;
    Given.Lambda = 0.01;
    Given.FilterStrength = 4;
    EXPECT_EQ(Enlarge(S, Source, W, H, 3, 3 * W, 2), BestReference(Source, W, H, 3, 3 * W, 2, Given));
}

TEST(CInterface, PlanesGoTogetherOnlyForTheBestQuality) {
    const int W = 15, H = 11, Stride = 16, Big = 2 * W;
    std::vector<std::vector<double>> In(3, std::vector<double>(std::size_t(Stride) * H, -1.0));
    std::vector<TFloatMap> Maps(3);
    for (int c = 0; c < 3; ++c)
        Maps[c].SetSize(W, H);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                In[c][std::size_t(y * Stride + x)] = Maps[c].Map[y * W + x] = 127.5 + 120 * std::sin(x * 0.9 + y * c);
    const double* Sources[3] = {In[0].data(), In[1].data(), In[2].data()};
    std::vector<std::vector<double>> Out(3, std::vector<double>(std::size_t(Big) * 2 * H));
    double* Results[3] = {Out[0].data(), Out[1].data(), Out[2].data()};

    // The setups' way: each plane as fi_enlarge_plane enlarges it alone.
    TSettings S;
    ASSERT_EQ(fi_enlarge_planes(S, Sources, 3, W, H, Stride, Results, Big), FI_OK) << fi_message(S);
    for (int c = 0; c < 3; ++c) {
        std::vector<double> Alone(Out[c].size());
        ASSERT_EQ(fi_enlarge_plane(S, Sources[c], W, H, Stride, Alone.data(), Big), FI_OK);
        EXPECT_EQ(Out[c], Alone) << c;
    }
    // The best quality: the three as colour.
    ASSERT_EQ(fi_set_best_quality(S, 1), FI_OK);
    ASSERT_EQ(fi_enlarge_planes(S, Sources, 3, W, H, Stride, Results, Big), FI_OK) << fi_message(S);
    EnlargeBestQuality({&Maps[0], &Maps[1], &Maps[2]}, 2);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(0, std::memcmp(Out[c].data(), Maps[c].Map, Out[c].size() * sizeof(double))) << c;

    EXPECT_EQ(fi_enlarge_planes(S, Sources, 2, W, H, Stride, Results, Big), FI_INVALID_ARGUMENT);
    EXPECT_STREQ(fi_message(S), "planes: 2 is not accepted (1 or 3)");
    const double* Missing[3] = {Sources[0], nullptr, Sources[2]};
    EXPECT_EQ(fi_enlarge_planes(S, Missing, 3, W, H, Stride, Results, Big), FI_INVALID_ARGUMENT);
    EXPECT_EQ(fi_enlarge_planes(S, Sources, 3, W, H, Stride, Results, Big - 1), FI_INVALID_ARGUMENT);
}

TEST(CInterface, BestQualityShowsItsFieldsUntilASetupOrSwitch) {
    TSettings S;
    EXPECT_EQ(fi_get_best_quality(S), 0);
    EXPECT_EQ(fi_get_best_quality(nullptr), 0);
    // From a setup with other values and its switches on.
    ASSERT_EQ(fi_set_setup(S, 2), FI_OK);
    ASSERT_EQ(fi_set_scale(S, 3), FI_OK);
    ASSERT_EQ(fi_set_clamp_result(S, 1), FI_OK);
    ASSERT_EQ(fi_set_best_quality(S, 1), FI_OK);
    EXPECT_EQ(fi_get_best_quality(S), 1);
    fi_values V;
    ASSERT_EQ(fi_get_values(S, &V), FI_OK);
    EXPECT_EQ(std::tie(V.setup, V.scale, V.training_region, V.regularization, V.filter_strength),
              std::make_tuple(DefaultSetup, 3, 13, 0.03, 2.0));
    EXPECT_EQ(std::tie(V.clamp_weights, V.normalize_weights, V.clamp_result), std::make_tuple(0, 0, 0));

    // A new scale keeps the fields; refusals keep the best quality.
    ASSERT_EQ(fi_set_training_region(S, 9), FI_OK);
    ASSERT_EQ(fi_set_text(S, FI_FIELD_SCALE, "2*2"), FI_OK);
    ASSERT_EQ(fi_set_scale(S, 5), FI_OK);
    EXPECT_EQ(fi_set_setup(S, 9), FI_INVALID_ARGUMENT);
    ASSERT_EQ(fi_get_values(S, &V), FI_OK);
    EXPECT_EQ(std::tie(V.scale, V.training_region, V.regularization, V.filter_strength),
              std::make_tuple(5, 9, 0.03, 2.0));
    EXPECT_EQ(fi_get_best_quality(S), 1);

    // A setup or a switch is the setups' way; turning off keeps the fields.
    ASSERT_EQ(fi_set_setup(S, DefaultSetup), FI_OK);
    EXPECT_EQ(fi_get_best_quality(S), 0);
    ASSERT_EQ(fi_set_best_quality(S, 1), FI_OK);
    ASSERT_EQ(fi_set_normalize_weights(S, 0), FI_OK);
    EXPECT_EQ(fi_get_best_quality(S), 0);
    ASSERT_EQ(fi_set_best_quality(S, 1), FI_OK);
    ASSERT_EQ(fi_set_best_quality(S, 0), FI_OK);
    EXPECT_EQ(fi_get_best_quality(S), 0);
    ASSERT_EQ(fi_get_values(S, &V), FI_OK);
    EXPECT_EQ(std::tie(V.training_region, V.regularization), std::make_tuple(13, 0.03));
    EXPECT_EQ(fi_set_best_quality(nullptr, 1), FI_INVALID_ARGUMENT);
}

TEST(CInterface, BestQualityCaptionAndProgress) {
    TSettings S;
    ASSERT_EQ(fi_set_best_quality(S, 1), FI_OK);
    ASSERT_EQ(fi_set_scale(S, 4), FI_OK);
    char Caption[200];
    ASSERT_EQ(fi_caption(S, "dir/photo.png", Caption, sizeof Caption, nullptr), FI_OK);
    const std::string Regul = std::string("0") + UserDecimalSeparator() + "03";
    EXPECT_EQ(std::string(Caption), "photo x4 region=13 regul=" + Regul + " filter=2 clampw=0 normalize=0 clampres=0");
    ASSERT_EQ(fi_set_training_region(S, 8), FI_OK);
    ASSERT_EQ(fi_caption(S, "photo", Caption, sizeof Caption, nullptr), FI_OK);
    EXPECT_EQ(std::string(Caption), "photo x4 region=9 regul=" + Regul + " filter=2 clampw=0 normalize=0 clampres=0");

    // Two doublings share the percentages, which only grow, up to 100.
    const int W = 30, H = 20;
    const TBytes Source = Picture(W, H, 3, 3 * W);
    TProgressLog Log;
    ASSERT_EQ(fi_set_progress(S, LogProgress, &Log), FI_OK);
    const TBytes Whole = Enlarge(S, Source, W, H, 3, 3 * W, 4);
    ASSERT_GT(Log.Percents.size(), 2u);
    EXPECT_TRUE(std::is_sorted(Log.Percents.begin(), Log.Percents.end()));
    EXPECT_EQ(Log.Percents.back(), 100);
    EXPECT_NE(std::find(Log.Percents.begin(), Log.Percents.end(), 50), Log.Percents.end());

    for (const int CancelAt : {1, int(Log.Percents.size()) / 2}) {
        Log = {{}, CancelAt};
        TBytes Out(std::size_t(16 * 3 * W * H));
        EXPECT_EQ(fi_enlarge_bytes(S, Source.data(), W, H, 3, 3 * W, Out.data(), 12 * W), FI_CANCELLED);
        EXPECT_EQ(int(Log.Percents.size()), CancelAt);
        EXPECT_STREQ(fi_message(S), "cancelled by the progress callback");
    }
    EXPECT_EQ(TProgressEvent(ProgressHook), nullptr);
    Log = {};
    EXPECT_EQ(Enlarge(S, Source, W, H, 3, 3 * W, 4), Whole);
}

TEST(CInterface, CallersFloatStateComesBackAndDoesNotMatter) {
    const TBytes Source = Picture(21, 15, 3, 63);
    TSettings S;
    ASSERT_EQ(fi_set_setup(S, 2), FI_OK);
    const TBytes Expected = Reference(Source, 21, 15, 3, 63, 2, 2);
    const std::uint16_t SavedX87 = X87ControlWord();
    const std::uint32_t SavedSse = SseControlStatus();
    for (const TForeignFloatState& State : ForeignFloatStates) {
        SetX87ControlWord(State.X87ControlWord);
        SetSseControlStatus(State.Mxcsr);
        const TBytes Result = Enlarge(S, Source, 21, 15, 3, 63, 2);
        const std::uint16_t X87After = X87ControlWord();
        const std::uint32_t SseAfter = SseControlStatus();
        SetX87ControlWord(SavedX87);
        SetSseControlStatus(SavedSse);
        EXPECT_EQ(X87After, State.X87ControlWord) << State.Name;
        EXPECT_EQ(SseAfter, State.Mxcsr) << State.Name;
        EXPECT_EQ(Result, Expected) << State.Name;
    }
}

TEST(CInterface, SeparateObjectsOnSeparateThreads) {
    const int W = 32, H = 24;
    const TBytes Gray = Picture(W, H, 1, W), Colour = Picture(W, H, 3, 3 * W);
    const TBytes GrayExpected = Reference(Gray, W, H, 1, W, 2, 3), ColourExpected = Reference(Colour, W, H, 3, 3 * W, 4, 2);
    TBytes GrayResult, ColourResult;
    TProgressLog GrayLog, ColourLog;
    std::thread A([&] {
        for (int Round = 0; Round < 3; ++Round) {
            TSettings S;
            fi_set_setup(S, 2);
            fi_set_scale(S, 3);
            fi_set_progress(S, LogProgress, &GrayLog);
            GrayResult = Enlarge(S, Gray, W, H, 1, W, 3);
        }
    });
    std::thread B([&] {
        for (int Round = 0; Round < 3; ++Round) {
            TSettings S;
            fi_set_setup(S, 4);
            fi_set_progress(S, LogProgress, &ColourLog);
            ColourResult = Enlarge(S, Colour, W, H, 3, 3 * W, 2);
        }
    });
    A.join();
    B.join();
    EXPECT_EQ(GrayResult, GrayExpected);
    EXPECT_EQ(ColourResult, ColourExpected);
    EXPECT_EQ(GrayLog.Percents.back(), 100);
    EXPECT_EQ(ColourLog.Percents.back(), 100);
}

// Settings objects share nothing but the formulas' table: two threads may
// change their own at once (ThreadSanitizer's build checks the claim).
TEST(CInterface, SettingsChangeOnTwoThreadsAtOnce) {
    std::vector<int> Wrong(2, 0);
    auto Change = [&Wrong](int Thread) {
        TSettings S;
        const std::string Name = "capiThread" + std::to_string(Thread);
        for (int i = 0; i < 100; ++i) {
            fi_set_setup(S, 2 + Thread);
            fi_set_scale(S, 2 + i % 15);
            const std::string Region = ":" + Name + "=" + std::to_string(1 + i % 50) + "; " + Name + "*2";
            fi_set_text(S, FI_FIELD_TRAINING_REGION, Region.c_str());
            fi_set_best_quality(S, i % 2);
            fi_values V{};
            fi_get_values(S, &V);
            // The best quality runs on the default setup.
            if (V.setup != (i % 2 != 0 ? DefaultSetup : 2 + Thread) || V.scale != 2 + i % 15 ||
                V.training_region != (i % 2 != 0 ? 13 : 2 * (1 + i % 50)) || fi_get_best_quality(S) != i % 2)
                ++Wrong[Thread];
        }
    };
    std::thread A(Change, 0), B(Change, 1);
    A.join();
    B.join();
    EXPECT_EQ(Wrong, std::vector<int>(2, 0));
}

} // namespace
} // namespace fi::test
