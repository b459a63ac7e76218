// The plug-in run by GIMP itself, headless, on PNG files, compared with the
// command-line enlarger's results for the same files and settings, the best
// quality with the command line's preset of that name; and its refusal of
// bad arguments, after which GIMP goes on working.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fractal_interpolation.h"
#include "tools/ImageTestSupport.h"

namespace fi::test {
namespace {

namespace fs = std::filesystem;

struct TCase {
    const char* Name;
    std::int32_t Channels;
    bool Alpha;
    TSampleType Type;
    // The procedure's arguments after the drawable, and the same for the command line.
    const char* Arguments;
    const char* Options;
    bool Best = false;
};

const TCase Cases[] = {
    {"rgb", 3, false, TSampleType::st8bit, "3 2 7 0.01 8 0 0 0 0",
     "--setup 3 --scale 2 --region 7 --regularization 0.01 --filter 8"},
    {"rgba", 4, true, TSampleType::st8bit, "2 3 5 0.001 4 1 1 1 0",
     "--setup 2 --scale 3 --region 5 --regularization 0.001 --filter 4 --clamp-weights --normalize-weights "
     "--clamp-result"},
    {"gray", 1, false, TSampleType::st8bit, "6 2 7 0.01 8 0 0 1 0",
     "--setup 6 --region 7 --regularization 0.01 --filter 8 --clamp-result"},
    {"rgb16", 3, false, TSampleType::st16bit, "3 2 9 0.005 8 0 0 0 0",
     "--setup 3 --scale 2 --region 9 --regularization 0.005 --filter 8"},
    {"graya16", 2, true, TSampleType::st16bit, "4 2 7 0.01 2 0 1 0 0",
     "--setup 4 --scale 2 --region 7 --regularization 0.01 --filter 2 --normalize-weights"},
    // The setup and the switches are ignored: setup 0 would fix the scale at 2.
    {"rgb-best", 3, false, TSampleType::st8bit, "0 3 13 0.03 2 1 0 1 1", "--preset best --scale 3", true},
    {"rgba16-best", 4, true, TSampleType::st16bit, "3 2 9 0.01 4 0 0 0 1",
     "--preset best --region 9 --regularization 0.01 --filter 4", true},
};

// Bad arguments, each with what the refusal must say.
const std::pair<const char*, const char*> BadArguments[] = {
    {"3 1 7 0.01 8 0 0 0 0", "scale: 1 is not accepted (a whole number from 2 to 16)"},
    {"3 2 0 0.01 8 0 0 0 0", "training region: 0 is not accepted (a whole number from 1 to 100)"},
    {"9 2 7 0.01 8 0 0 0 0", "setup: 9 is not a setup (a whole number from 0 to 6)"},
    {"3 2 7 0.01 8 0 0 0 2", "best-quality: 2 is not accepted (TRUE or FALSE)"},
    {"3 2 0 0.01 8 0 0 0 1", "training region: 0 is not accepted (a whole number from 1 to 100)"},
};

// A two-layer image on a smaller canvas: the RGBA case's file as a layer
// hanging over the left edge, a small layer with a mask, a channel, a
// selection and a path. The script stops with its message at the first thing the
// plug-in did not scale; the layer is saved only when all is well.
std::string LayeredScript(const fs::path& Layer, const fs::path& Saved) {
    return R"((let* ((image (car (gimp-image-new 30 20 RGB)))
       (a (car (gimp-file-load-layer RUN-NONINTERACTIVE image ")" + Layer.string() + R"(")))
       (b (car (gimp-layer-new image 10 8 RGBA-IMAGE "b" 100 LAYER-MODE-NORMAL)))
       (c (car (gimp-channel-new image 30 20 "c" 50 (list 255 0 0))))
       (v (car (gimp-vectors-new image "v"))))
  (define (expect ok what) (if (not ok) (error (string-append "layered image: " what))))
  (gimp-image-insert-layer image a 0 0)
  (gimp-layer-set-offsets a -4 3)
  (gimp-image-insert-layer image b 0 0)
  (gimp-layer-set-offsets b 12 7)
  (gimp-layer-add-mask b (car (gimp-layer-create-mask b ADD-MASK-WHITE)))
  (gimp-image-insert-channel image c 0 0)
  (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 2 2 10 10)
  (gimp-image-insert-vectors image v 0 0)
  (gimp-vectors-bezier-stroke-new-moveto v 4 5)
  (plug-in-fractal-interpolation RUN-NONINTERACTIVE image a 2 3 5 0.001 4 1 1 1 0)
  (expect (= (car (gimp-image-width image)) 90) "canvas width")
  (expect (= (car (gimp-image-height image)) 60) "canvas height")
  (expect (equal? (gimp-drawable-offsets a) (list -12 9)) "offsets of the first layer")
  (expect (equal? (gimp-drawable-offsets b) (list 36 21)) "offsets of the second layer")
  (expect (= (car (gimp-drawable-width b)) 30) "width of the second layer")
  (expect (= (car (gimp-drawable-height (car (gimp-layer-get-mask b)))) 24) "height of the mask")
  (expect (= (car (gimp-drawable-width c)) 90) "width of the channel")
  (expect (= (car (gimp-selection-is-empty image)) 0) "selection kept")
  (let ((points (caddr (gimp-vectors-stroke-get-points v (vector-ref (cadr (gimp-vectors-get-strokes v)) 0)))))
    (expect (and (= (vector-ref points 0) 12) (= (vector-ref points 1) 15)) "path"))
  (file-png-save2 RUN-NONINTERACTIVE image a ")" + Saved.string() + R"(" "x" 0 9 0 0 0 0 0 0 1)
  (gimp-image-delete image)))";
}

// What the plug-in remembers of a run: the dialog's values, then (since the
// best quality) whether it was on.
struct TRemembered {
    fi_values Values;
    int Best;
};

// A run with the last values, which the script first stores as the plug-in
// would have, Size bytes of Stored; the arguments are GIMP's placeholders.
std::string LastValuesScript(const fs::path& In, const TRemembered& Stored, std::size_t Size, const fs::path& Saved) {
    // The padding as the plug-in's zero-initialised record has it.
    TRemembered Record;
    std::memset(&Record, 0, sizeof Record);
    Record.Values = Stored.Values;
    Record.Best = Stored.Best;
    unsigned char Bytes[sizeof(TRemembered)];
    std::memcpy(Bytes, &Record, sizeof Bytes);
    std::string Vector = "#(";
    for (std::size_t i = 0; i < Size; ++i) Vector += std::to_string(Bytes[i]) + " ";
    return "(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE \"" + In.string() + "\" \"" + In.string() +
           "\"))) (layer (car (gimp-image-get-active-layer image)))) (gimp-procedural-db-set-data "
           "\"plug-in-fractal-interpolation\" " + std::to_string(Size) + " " + Vector + ")) "
           "(plug-in-fractal-interpolation RUN-WITH-LAST-VALS image layer 0 2 1 0 0 0 0 0 0) "
           "(file-png-save2 RUN-NONINTERACTIVE image (car (gimp-image-get-active-layer image)) \"" + Saved.string() +
           "\" \"x\" 0 9 0 0 0 0 0 0 1) (gimp-image-delete image))";
}

// Values other than the first run's on the rgb case's file: as a build
// before the best quality stored them, and the best quality as stored now.
struct TLastValues {
    const char* Name;
    TRemembered Stored;
    std::size_t Size;
    const char* Options;
};

const TLastValues LastValues[] = {
    {"last-old", {{3, 3, 5, 0.001, 4, 1, 1, 1}, 0}, sizeof(fi_values),
     "--setup 3 --scale 3 --region 5 --regularization 0.001 --filter 4 --clamp-weights --normalize-weights "
     "--clamp-result"},
    {"last-best", {{3, 3, 9, 0.01, 4, 0, 0, 0}, 1}, sizeof(TRemembered),
     "--preset best --scale 3 --region 9 --regularization 0.01 --filter 4"},
};

std::string Slurp(const fs::path& Path) {
    std::ifstream In(Path);
    std::stringstream Text;
    Text << In.rdbuf();
    return Text.str();
}

std::string Quoted(const fs::path& Path) { return "\"" + Path.string() + "\""; }

// One GIMP session for every case: starting GIMP takes seconds.
class GimpPlugIn : public ::testing::Test {
protected:
    static inline fs::path Folder;
    static inline std::string Log;
    static inline bool HaveGimp = false;

    static void SetUpTestSuite() {
        HaveGimp = std::system("command -v gimp-console-2.10 >/dev/null 2>&1") == 0;
        if (!HaveGimp) return;
        std::string Template = (fs::temp_directory_path() / "fi-gimp-XXXXXX").string();
        ASSERT_NE(::mkdtemp(Template.data()), nullptr);
        Folder = Template;
        // GIMP's own folder for the session, holding only the fresh plug-in
        // (and the data folders GIMP writes on leaving).
        const fs::path Home = Folder / "gimp";
        const fs::path PlugIn = Home / "plug-ins" / "fractal-interpolation";
        fs::create_directories(PlugIn);
        for (const char* Data : {"brushes", "dynamics", "gradients", "palettes", "patterns", "tool-presets"})
            fs::create_directories(Home / Data);
        fs::copy_file(FI_GIMP_PLUGIN_PATH, PlugIn / "fractal-interpolation");

        std::string Script;
        const fs::path First = Folder / (std::string(Cases[0].Name) + ".png");
        for (const TCase& C : Cases) {
            const fs::path In = Folder / (std::string(C.Name) + ".png");
            WriteImageFile(In.string(), PatternImage(37, 29, C.Channels, C.Alpha, C.Type));
            Script += " -b '(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE " + Quoted(In) + " " + Quoted(In) +
                      "))) (layer (car (gimp-image-get-active-layer image)))) (plug-in-fractal-interpolation "
                      "RUN-NONINTERACTIVE image layer " + C.Arguments + ") (file-png-save2 RUN-NONINTERACTIVE image "
                      "(car (gimp-image-get-active-layer image)) " + Quoted(Folder / (std::string(C.Name) + "-gimp.png")) +
                      " \"x\" 0 9 0 0 0 0 0 0 1) (gimp-image-delete image))'";
        }
        // The refusals come first: the results above show that GIMP went on.
        std::string Bad;
        for (const auto& [Arguments, Message] : BadArguments)
            Bad += " -b '(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE " + Quoted(First) + " " + Quoted(First) +
                   "))) (layer (car (gimp-image-get-active-layer image)))) (plug-in-fractal-interpolation "
                   "RUN-NONINTERACTIVE image layer " + Arguments + "))'";
        Script += " -b '" + LayeredScript(Folder / "rgba.png", Folder / "layered-gimp.png") + "'";
        for (const TLastValues& L : LastValues)
            Script +=
                " -b '" + LastValuesScript(First, L.Stored, L.Size, Folder / (std::string(L.Name) + "-gimp.png")) + "'";
        const std::string Command = "cd " + Quoted(Folder) + " && GIMP2_DIRECTORY=" + Quoted(Home) +
                                    " timeout 600 gimp-console-2.10 -i -d -f --batch-interpreter "
                                    "plug-in-script-fu-eval" + Bad + Script + " -b '(gimp-quit 0)' >log.txt 2>&1";
        std::system(Command.c_str());
        Log = Slurp(Folder / "log.txt");

        for (const TCase& C : Cases) {
            const std::string Enlarge = std::string(FI_ENLARGE_PATH) + " -q " + Quoted(Folder / (std::string(C.Name) + ".png")) +
                                        " -o " + Quoted(Folder / (std::string(C.Name) + "-cli.png")) + " " + C.Options +
                                        " >>" + Quoted(Folder / "cli.txt") + " 2>&1";
            std::system(Enlarge.c_str());
        }
        for (const TLastValues& L : LastValues) {
            const std::string Enlarge = std::string(FI_ENLARGE_PATH) + " -q " + Quoted(First) + " -o " +
                                        Quoted(Folder / (std::string(L.Name) + "-cli.png")) + " " + L.Options +
                                        " >>" + Quoted(Folder / "cli.txt") + " 2>&1";
            std::system(Enlarge.c_str());
        }
    }

    static void TearDownTestSuite() {
        if (!Folder.empty()) fs::remove_all(Folder);
    }

    void SetUp() override {
        if (!HaveGimp) GTEST_SKIP() << "gimp-console-2.10 is not installed (scripts/setup.sh installs it)";
    }

    static void ExpectSamePixels(const TCase& C) {
        SCOPED_TRACE(C.Name);
        const fs::path Gimp = Folder / (std::string(C.Name) + "-gimp.png"), Cli = Folder / (std::string(C.Name) + "-cli.png");
        ASSERT_TRUE(fs::exists(Gimp)) << Log;
        ASSERT_TRUE(fs::exists(Cli)) << Slurp(Folder / "cli.txt");
        const TImageData A = ReadImageFile(Gimp.string()), B = ReadImageFile(Cli.string());
        ASSERT_EQ(A.Width, B.Width);
        ASSERT_EQ(A.Height, B.Height);
        ASSERT_EQ(A.Channels, B.Channels);
        ASSERT_EQ(A.SampleType(), B.SampleType());
        std::size_t Differing = 0;
        A.Samples.Visit([&](const auto& Samples) {
            using TVector = std::decay_t<decltype(Samples)>;
            const TVector& Other = B.Samples.template Vector<typename TVector::value_type>();
            for (std::size_t i = 0; i < Samples.size(); ++i) Differing += Samples[i] != Other[i];
        });
        EXPECT_EQ(Differing, 0u) << "of " << A.SampleCount() << " samples";
    }
};

TEST_F(GimpPlugIn, EightBitResultsAreTheCommandLinesBytes) {
    for (const TCase& C : Cases)
        if (C.Type == TSampleType::st8bit && !C.Best) ExpectSamePixels(C);
}

TEST_F(GimpPlugIn, SixteenBitResultsAreTheCommandLinesFloatPath) {
    for (const TCase& C : Cases)
        if (C.Type == TSampleType::st16bit && !C.Best) ExpectSamePixels(C);
}

// 8-bit colour through the bytes, 16-bit colour as three planes on the
// 8-bit scale and alpha as a plane of its own.
TEST_F(GimpPlugIn, BestQualityIsTheCommandLinesBestPreset) {
    for (const TCase& C : Cases)
        if (C.Best) ExpectSamePixels(C);
}

TEST_F(GimpPlugIn, EveryLayerOffsetMaskChannelAndPathIsScaled) {
    // The layer over the canvas edge is enlarged whole, as the file alone.
    const TCase Layered{"layered", 4, true, TSampleType::st8bit, "", ""};
    fs::copy_file(Folder / "rgba-cli.png", Folder / "layered-cli.png", fs::copy_options::overwrite_existing);
    ExpectSamePixels(Layered);
}

TEST_F(GimpPlugIn, LastValuesOfEitherSizeAreTaken) {
    for (const TLastValues& L : LastValues) ExpectSamePixels({L.Name, 3, false, TSampleType::st8bit, "", ""});
}

TEST_F(GimpPlugIn, BadArgumentsAreRefusedWithTheirReason) {
    for (const auto& [Arguments, Message] : BadArguments)
        EXPECT_NE(Log.find(std::string("plug-in-fractal-interpolation failed on invalid input arguments: ") + Message),
                  std::string::npos)
            << Arguments << "\n" << Log;
}

} // namespace
} // namespace fi::test
