// The plug-in run by GIMP itself, headless, on PNG files, compared with the
// command-line enlarger's results for the same files and settings; and its
// refusal of bad arguments, after which GIMP goes on working.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
};

const TCase Cases[] = {
    {"rgb", 3, false, TSampleType::st8bit, "3 2 7 0.01 8 0 0 0",
     "--setup 3 --scale 2 --region 7 --regularization 0.01 --filter 8"},
    {"rgba", 4, true, TSampleType::st8bit, "2 3 5 0.001 4 1 1 1",
     "--setup 2 --scale 3 --region 5 --regularization 0.001 --filter 4 --clamp-weights --normalize-weights "
     "--clamp-result"},
    {"gray", 1, false, TSampleType::st8bit, "6 2 7 0.01 8 0 0 1",
     "--setup 6 --region 7 --regularization 0.01 --filter 8 --clamp-result"},
    {"rgb16", 3, false, TSampleType::st16bit, "3 2 9 0.005 8 0 0 0",
     "--setup 3 --scale 2 --region 9 --regularization 0.005 --filter 8"},
    {"graya16", 2, true, TSampleType::st16bit, "4 2 7 0.01 2 0 1 0",
     "--setup 4 --scale 2 --region 7 --regularization 0.01 --filter 2 --normalize-weights"},
};

// Bad arguments, each with what the refusal must say.
const std::pair<const char*, const char*> BadArguments[] = {
    {"3 1 7 0.01 8 0 0 0", "scale: 1 is not accepted (a whole number from 2 to 16)"},
    {"3 2 0 0.01 8 0 0 0", "training region: 0 is not accepted (a whole number from 1 to 100)"},
    {"9 2 7 0.01 8 0 0 0", "setup: 9 is not a setup (a whole number from 0 to 6)"},
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
  (plug-in-fractal-interpolation RUN-NONINTERACTIVE image a 2 3 5 0.001 4 1 1 1)
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
        if (C.Type == TSampleType::st8bit) ExpectSamePixels(C);
}

TEST_F(GimpPlugIn, SixteenBitResultsAreTheCommandLinesFloatPath) {
    for (const TCase& C : Cases)
        if (C.Type == TSampleType::st16bit) ExpectSamePixels(C);
}

TEST_F(GimpPlugIn, EveryLayerOffsetMaskChannelAndPathIsScaled) {
    // The layer over the canvas edge is enlarged whole, as the file alone.
    const TCase Layered{"layered", 4, true, TSampleType::st8bit, "", ""};
    fs::copy_file(Folder / "rgba-cli.png", Folder / "layered-cli.png", fs::copy_options::overwrite_existing);
    ExpectSamePixels(Layered);
}

TEST_F(GimpPlugIn, BadArgumentsAreRefusedWithTheirReason) {
    for (const auto& [Arguments, Message] : BadArguments)
        EXPECT_NE(Log.find(std::string("plug-in-fractal-interpolation failed on invalid input arguments: ") + Message),
                  std::string::npos)
            << Arguments << "\n" << Log;
}

} // namespace
} // namespace fi::test
