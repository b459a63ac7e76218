// The command-line enlarger run as a program, compared with the driver's
// function called directly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "plugin/ProcessingDriver.h"
#include "tools/ImageConversion.h"
#include "tools/ImageTestSupport.h"
#include "wiener/SetupTable.h"

namespace fi::test {
namespace {

class FractalEnlarge : public TScratchFolder {
protected:
    int Run(const std::string& Arguments) {
        const std::string Command = std::string(FI_ENLARGE_PATH) + " -q " + Arguments + " >" + PathOf("out.txt") +
                                    " 2>" + PathOf("err.txt");
        const int Status = std::system(Command.c_str());
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    }
    // A command line of its own, for pipes; run by the shell in the folder.
    int Shell(const std::string& Command) {
        const std::string Line = "cd " + Folder.string() + " && " + Command + " 2>" + PathOf("err.txt");
        const int Status = std::system(Line.c_str());
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    }
    std::string Text(const std::string& Name) {
        const auto Bytes = Load(PathOf(Name));
        return std::string(Bytes.begin(), Bytes.end());
    }
};

TEST_F(FractalEnlarge, EightBitWithAlphaMatchesTheDriver) {
    const TImageData Image = PatternImage(9, 7, 4, true, TSampleType::st8bit);
    WriteImageFile(PathOf("in.png"), Image);
    ASSERT_EQ(Run(PathOf("in.png") + " --preset dialog -o " + PathOf("big.png") + " --region 9 --filter 1/2"), 0)
        << Text("err.txt");

    TBitmapWienerInterpolation I;
    ApplySetup(I, DefaultSetup, 2);
    I.TrainingRegion = 9;
    I.FilterStrength = 0.5f;
    TLinearBitmap Color, Alpha;
    ImageToBitmaps(Image, Color, &Alpha);
    const std::string Caption = EnlargeImage(&Color, DefaultSetup, I, "in.png");
    EnlargeImage(&Alpha, DefaultSetup, I, "in.png");
    const TImageData Expected = BitmapsToImage(Color, &Alpha);

    const TImageData Got = ReadImageFile(PathOf("big.png"));
    EXPECT_EQ(Got.Width, 18);
    EXPECT_EQ(Got.Channels, 4);
    EXPECT_EQ(Got.Samples.U8(), Expected.Samples.U8());
    EXPECT_EQ(Got.Caption, Caption);
    EXPECT_EQ(Caption, "in x2 region=9 regul=0.01 filter=0.5 clampw=0 normalize=0 clampres=0");
    EXPECT_EQ(Text("out.txt"), PathOf("big.png") + ": " + Caption + "\n");
}

// Setup 2 clamps its results unless told otherwise.
TEST_F(FractalEnlarge, SixteenBitGoesChannelByChannelIntoAFolder) {
    WriteImageFile(PathOf("a.png"), PatternImage(6, 5, 3, false, TSampleType::st16bit));
    WriteImageFile(PathOf("b.tif"), PatternImage(5, 4, 1, false, TSampleType::stFloat64));
    std::filesystem::create_directory(PathOf("out"));
    ASSERT_EQ(Run(PathOf("a.png") + " " + PathOf("b.tif") + " --setup 2 -o " + PathOf("out") + ""), 0)
        << Text("err.txt");

    TBitmapWienerInterpolation I;
    ApplySetup(I, 2, 2);
    TFloatMapList Maps = ImageToFloatMaps(ReadImageFile(PathOf("a.png")));
    for (auto& Map : Maps) EnlargeImage(Map.get(), 2, I, "a");
    const TImageData Expected = FloatMapsToImage(Maps, false, TSampleType::st16bit);
    const TImageData Got = ReadImageFile(PathOf("out/a-x2.png"));
    EXPECT_EQ(Got.SampleType(), TSampleType::st16bit);
    EXPECT_EQ(Got.Samples.U16(), Expected.Samples.U16());
    const TImageData Float = ReadImageFile(PathOf("out/b-x2.tif"));
    EXPECT_EQ(Float.SampleType(), TSampleType::stFloat64);
    EXPECT_EQ(Float.Width, 10);
}

TEST_F(FractalEnlarge, BadInputFailsWithOneLineAndNoFile) {
    WriteImageFile(PathOf("in.png"), PatternImage(4, 4, 1, false, TSampleType::st8bit));
    Save(PathOf("empty.png"), {});
    struct TCase {
        std::string Arguments, Message;
    } Cases[] = {
        {"--scale 17 " + PathOf("in.png"), "option --scale: \"17\" is not accepted (a whole number from 2 to 16)"},
        {"--region 2.5 " + PathOf("in.png"), "option --region: \"2.5\""},
        {"--regularization nothing " + PathOf("in.png"), "a value from 0 to 1"},
        {"--setup 9 " + PathOf("in.png"), "option --setup"},
        {"--setup 0 --scale 3 " + PathOf("in.png"), "option --scale: the setup \"Xin Li 2x\" has a fixed scale"},
        {"--filter 101 " + PathOf("in.png"), "option --filter: \"101\" is not accepted (a value from 0 to 100)"},
        {PathOf("missing.png"), "missing.png"},
        {PathOf("empty.png"), "empty.png"},
    };
    for (const TCase& C : Cases) {
        EXPECT_NE(Run(C.Arguments + " -o " + PathOf("x.png")), 0) << C.Arguments;
        const std::string Err = Text("err.txt");
        EXPECT_NE(Err.find(C.Message), std::string::npos) << Err;
        EXPECT_EQ(std::count(Err.begin(), Err.end(), '\n'), 1) << Err;
        EXPECT_FALSE(std::filesystem::exists(PathOf("x.png")));
    }
}

TEST_F(FractalEnlarge, SwitchesOverrideTheSetupEitherWay) {
    WriteImageFile(PathOf("in.png"), PatternImage(5, 5, 1, false, TSampleType::st8bit));
    ASSERT_EQ(Run("--setup \"Fractal 5-star\" --scale 3 --no-clamp-result --clamp-weights --normalize-weights "
                  "--regularization 1,5e-3 " + PathOf("in.png") + " -o " + PathOf("big.png")),
              0)
        << Text("err.txt");
    EXPECT_EQ(Text("out.txt"),
              PathOf("big.png") + ": in x3 region=7 regul=0.0015 filter=4 clampw=1 normalize=1 clampres=0\n");
}

TEST_F(FractalEnlarge, HelpNamesEverySetup) {
    ASSERT_EQ(Run("--help"), 0);
    const std::string Help = Text("out.txt");
    for (const char* Name : SetupNames) EXPECT_NE(Help.find(Name), std::string::npos) << Name;
    EXPECT_NE(Help.find("best       the default"), std::string::npos);
}

// The dialog's preset is the plug-in: its first-run setting through the
// driver gives the same pixels, and naming the default setup chooses it.
TEST_F(FractalEnlarge, DialogPresetIsThePluginBitForBit) {
    const TImageData Image = SmoothImage(23, 17, 3);
    WriteImageFile(PathOf("in.png"), Image);
    ASSERT_EQ(Run(PathOf("in.png") + " --preset dialog -o " + PathOf("preset.png")), 0) << Text("err.txt");
    ASSERT_EQ(Run(PathOf("in.png") + " --setup 3 --threads 1 -o " + PathOf("plain.png")), 0) << Text("err.txt");
    EXPECT_EQ(Load(PathOf("preset.png")), Load(PathOf("plain.png")));

    TBitmapWienerInterpolation I;
    ApplySetup(I, DefaultSetup, 2);
    TLinearBitmap Color;
    ImageToBitmaps(Image, Color, nullptr);
    const std::string Caption = EnlargeImage(&Color, DefaultSetup, I, "in.png");
    const TImageData Got = ReadImageFile(PathOf("preset.png"));
    EXPECT_EQ(Got.Samples, BitmapsToImage(Color, nullptr).Samples);
    EXPECT_EQ(Got.Caption, Caption);
}

// The best preset is the default, the same on any thread count, at every
// depth and with alpha; it takes the engine's parameters but not the
// dialog's setups and switches.
TEST_F(FractalEnlarge, BestPresetIsTheDefaultAndTakesItsParameters) {
    WriteImageFile(PathOf("in.png"), SmoothImage(23, 17, 3));
    ASSERT_EQ(Run(PathOf("in.png") + " -o " + PathOf("plain.png")), 0) << Text("err.txt");
    ASSERT_EQ(Run(PathOf("in.png") + " --preset best --threads 1 -o " + PathOf("best.png")), 0) << Text("err.txt");
    EXPECT_EQ(Load(PathOf("plain.png")), Load(PathOf("best.png")));
    EXPECT_EQ(Text("out.txt"),
              PathOf("best.png") + ": in x2 region=13 regul=0.03 filter=2 clampw=0 normalize=0 clampres=0\n");
    ASSERT_EQ(Run(PathOf("in.png") + " --preset dialog -o " + PathOf("dialog.png")), 0) << Text("err.txt");
    EXPECT_NE(Load(PathOf("dialog.png")), Load(PathOf("best.png")));

    for (const TSampleType Type : {TSampleType::st8bit, TSampleType::st16bit, TSampleType::stFloat64}) {
        WriteImageFile(PathOf("deep.tif"), PatternImage(7, 5, 4, true, Type));
        ASSERT_EQ(Run(PathOf("deep.tif") + " --scale 3 --region 9 --filter 1 -o " + PathOf("big.tif")), 0)
            << Text("err.txt");
        EXPECT_NE(Text("out.txt").find("x3 region=9 regul=0.03 filter=1"), std::string::npos) << Text("out.txt");
        const TImageData Big = ReadImageFile(PathOf("big.tif"));
        EXPECT_EQ(Big.Width, 21);
        EXPECT_EQ(Big.Height, 15);
        EXPECT_TRUE(Big.HasAlpha);
        EXPECT_EQ(Big.SampleType(), Type);
    }

    EXPECT_EQ(Run(PathOf("in.png") + " --preset best --setup 2 -o " + PathOf("x.png")), 2);
    EXPECT_NE(Text("err.txt").find("the preset \"best\" has its own setup"), std::string::npos) << Text("err.txt");
    EXPECT_EQ(Run(PathOf("in.png") + " --preset best --clamp-result -o " + PathOf("x.png")), 2);
}

// A phone photo: profile, EXIF, XMP and resolution go to the result in any
// format; the orientation stays a tag unless --auto-orient applies it.
TEST_F(FractalEnlarge, PhotoMetadataSurvivesAndOrientationIsAppliedOnRequest) {
    TImageData Photo = SmoothImage(12, 8, 3);
    AddPhotoMetadata(Photo);
    WriteImageFile(PathOf("phone.jpg"), Photo, TWriteOptions{80});
    ASSERT_EQ(Run(PathOf("phone.jpg") + " -o " + PathOf("big.webp")), 0) << Text("err.txt");
    const TImageData Kept = ReadImageFile(PathOf("big.webp"));
    EXPECT_EQ(Kept.Width, 24);
    EXPECT_EQ(Kept.Metadata.IccProfile, WideGamutProfile());
    EXPECT_EQ(Kept.Metadata.Orientation, 6);
    EXPECT_EQ(ExifValue(Kept.Metadata.Exif, "Exif.Image.Model"), "FT-1");
    EXPECT_EQ(ExifValue(Kept.Metadata.Exif, "Exif.Photo.PixelXDimension"), "24");
    EXPECT_NEAR(DotsPerInch(Kept.Metadata.Resolution.X, Kept.Metadata.Resolution.Unit), 300, 0.01);
    // A lossy source makes lossy WebP.
    EXPECT_TRUE(Kept.LossySource);

    ASSERT_EQ(Run(PathOf("phone.jpg") + " --auto-orient -o " + PathOf("upright.png")), 0) << Text("err.txt");
    const TImageData Upright = ReadImageFile(PathOf("upright.png"));
    EXPECT_EQ(Upright.Width, 16);
    EXPECT_EQ(Upright.Height, 24);
    EXPECT_EQ(Upright.Metadata.Orientation, 1);
    EXPECT_EQ(ExifValue(Upright.Metadata.Exif, "Exif.Image.Orientation"), "1");
    EXPECT_EQ(ExifValue(Upright.Metadata.Exif, "Exif.Image.Make"), "Fractal Test Camera");
}

// In a pipe: standard input to standard output, in the input's format
// unless told, at the input's JPEG quality unless told.
TEST_F(FractalEnlarge, PipesKeepTheFormatAndTheJpegQuality) {
    WriteImageFile(PathOf("in.jpg"), SmoothImage(16, 12, 3), TWriteOptions{70});
    const std::string Tool = FI_ENLARGE_PATH;
    ASSERT_EQ(Shell("cat in.jpg | " + Tool + " -q - > out.jpg"), 0) << Text("err.txt");
    TImageData Out = ReadImageFile(PathOf("out.jpg"));
    EXPECT_EQ(Out.Width, 32);
    EXPECT_EQ(Out.SourceQuality, 70);
    EXPECT_NE(Text("err.txt").find("-: stdin x2"), std::string::npos) << Text("err.txt");
    ASSERT_EQ(Shell(Tool + " -q in.jpg --jpeg-quality 50 -o - > out2.jpg"), 0) << Text("err.txt");
    EXPECT_EQ(ReadImageFile(PathOf("out2.jpg")).SourceQuality, 50);
    ASSERT_EQ(Shell(Tool + " -q - -o - --format webp --webp-lossless < in.jpg > out.webp"), 0) << Text("err.txt");
    Out = ReadImageFile(PathOf("out.webp"));
    EXPECT_EQ(Out.SourceFormat, TImageFormat::ifWebp);
    EXPECT_FALSE(Out.LossySource);
    EXPECT_NE(Shell(Tool + " -q in.jpg in.jpg -o - > none.jpg"), 0);
    EXPECT_NE(Shell(Tool + " -q in.jpg --threads 0"), 0);
    EXPECT_NE(Text("err.txt").find("option --threads: \"0\" is not accepted"), std::string::npos);
}

// Damaged metadata costs a warning, a damaged image the result.
TEST_F(FractalEnlarge, DamagedProfileWarnsDamagedImageFails) {
    TImageData Photo = SmoothImage(8, 8, 3);
    AddPhotoMetadata(Photo);
    Photo.Metadata.IccProfile[3] ^= 4;
    WriteImageFile(PathOf("icc.jpg"), Photo);
    ASSERT_EQ(Run(PathOf("icc.jpg") + " -o " + PathOf("icc.png")), 0) << Text("err.txt");
    EXPECT_EQ(Text("err.txt"), "fractal-enlarge: warning: " + PathOf("icc.jpg") + ": damaged ICC profile dropped\n");
    EXPECT_TRUE(std::filesystem::exists(PathOf("icc.png")));

    WriteImageFile(PathOf("whole.webp"), SmoothImage(8, 8, 3));
    const std::vector<char> Whole = Load(PathOf("whole.webp"));
    Save(PathOf("cut.webp"), std::vector<char>(Whole.begin(), Whole.end() - 10));
    Save(PathOf("text.png"), {'n', 'o', 't', 'e', 's'});
    for (const char* Name : {"cut.webp", "text.png"}) {
        EXPECT_EQ(Run(PathOf(Name) + " -o " + PathOf("x.png")), 1) << Name;
        const std::string Err = Text("err.txt");
        EXPECT_EQ(std::count(Err.begin(), Err.end(), '\n'), 1) << Err;
        EXPECT_EQ(Err.rfind("fractal-enlarge: " + PathOf(Name) + ": ", 0), 0u) << Err;
        EXPECT_FALSE(std::filesystem::exists(PathOf("x.png")));
    }
}

} // namespace
} // namespace fi::test
