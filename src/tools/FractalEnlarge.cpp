// fractal-enlarge: the plug-in's enlargement for image files on the command
// line, through the same driver function and with the dialog's defaults and
// ranges.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "expr/ExpressionEval.h"
#include "plugin/PluginLinearBitmap.h"
#include "plugin/ProcessingDriver.h"
#include "tools/ImageFiles.h"
#include "tools/ProgressDisplay.h"

namespace fi {
namespace {

class EUsage : public Exception {
public:
    explicit EUsage(const std::string& Message) : Exception(Message) {}
};

const char* const Usage = R"USAGE(Usage: fractal-enlarge INPUT... [options]

Enlarges PNG, JPEG, TIFF and BMP images with Wiener filters trained on the
image itself. 8-bit images go the plug-in's bitmap way (colour through its
brightness plane); 16-bit and floating-point images keep their depth and are
enlarged channel by channel. Alpha is enlarged as its own gray plane.

Options:
  -o, --output PATH        output file (one input) or existing folder;
                           default: INPUT-x<scale> beside each input
  --setup NAME|NUMBER      the interpolation setup (default: "Fractal 9-square"):
        0  "Xin Li 2x"           covariance-based 2x, fixed scale
        1  "Xin Li 4x"           the same applied for 4x, fixed scale
        2  "Fractal 5-star"      trained on reduced copies, 5-star neighbourhood
        3  "Fractal 9-square"    trained on reduced copies, 3x3 neighbourhood
        4  "Fractal 25-square"   trained on reduced copies, 5x5 neighbourhood
        5  "Fractal 5 / Xin Li"  5-star fractal pass mixed with Xin Li, 2x
        6  "Fractal 9 / Xin Li"  3x3 fractal pass mixed with Xin Li, 2x
  --scale N                scale factor 2 .. 16 (setups 2 to 4; default 2)
  --region N               training region size 1 .. 100
  --regularization X       regularisation 0 .. 1
  --filter X               artefact filter strength 0 .. 100
  --clamp-weights          clamp weights to [0;1]
  --normalize-weights      normalize weights
  --clamp-result           clamp result to source
  -q, --quiet              no progress bar
  -h, --help               this text

Region, regularisation and filter default to the chosen setup's values.
Numbers may be formulas, e.g. --regularization "2^-10" or --filter "sqrt(2)".
)USAGE";

struct TOptions {
    std::vector<std::string> Inputs;
    std::string Output;
    std::int32_t Setup = DefaultSetup;
    std::int32_t Scale = 2;
    bool HasRegion = false, HasLambda = false, HasFilter = false;
    std::int32_t Region = 0;
    double Lambda = 0.0;
    float Filter = 0.0f;
    bool ClampWeights = false, NormalizeWeights = false, ClampResult = false;
    bool Quiet = false;
};

std::string RangeError(const std::string& Option, const std::string& Text, const std::string& Range) {
    return "option " + Option + ": \"" + Text + "\" is not accepted (" + Range + ")";
}

// The dialog's value-edit rules: any formula, integers within 0.0001 of a
// whole number, bounds included.
long double EvaluateOption(const std::string& Option, const std::string& Text, const std::string& Range) {
    try {
        return EvaluateExpression(Text);
    } catch (const std::exception& E) {
        throw EUsage(RangeError(Option, Text, Range) + ": " + E.what());
    }
}

std::int32_t IntegerOption(const std::string& Option, const std::string& Text, std::int32_t Min, std::int32_t Max) {
    const std::string Range = "a whole number from " + std::to_string(Min) + " to " + std::to_string(Max);
    const long double X = EvaluateOption(Option, Text, Range);
    const long double V = std::nearbyint(X);
    if (!(std::fabs(V - X) <= 0.0001L) || V < Min || V > Max) throw EUsage(RangeError(Option, Text, Range));
    return std::int32_t(V);
}

long double FloatOption(const std::string& Option, const std::string& Text, long double Min, long double Max,
                        const std::string& Range) {
    const long double X = EvaluateOption(Option, Text, Range);
    if (X < Min || !(X <= Max)) throw EUsage(RangeError(Option, Text, Range));
    return X;
}

std::int32_t SetupOption(const std::string& Text) {
    for (std::int32_t i = 0; i < SetupCount; ++i)
        if (Text == SetupNames[i] || Text == std::to_string(i)) return i;
    throw EUsage("option --setup: \"" + Text + "\" is not a setup (0 to 6 or a name; see --help)");
}

TOptions ParseOptions(int argc, char** argv, bool& Help) {
    TOptions O;
    Help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string A = argv[i];
        auto Value = [&]() -> std::string {
            if (i + 1 >= argc) throw EUsage("option " + A + " needs a value");
            return argv[++i];
        };
        if (A == "-h" || A == "--help") Help = true;
        else if (A == "-o" || A == "--output") O.Output = Value();
        else if (A == "--setup") O.Setup = SetupOption(Value());
        else if (A == "--scale") O.Scale = IntegerOption(A, Value(), 2, 16);
        else if (A == "--region") O.Region = IntegerOption(A, Value(), 1, 100), O.HasRegion = true;
        else if (A == "--regularization")
            O.Lambda = double(FloatOption(A, Value(), 0, 1, "a value from 0 to 1")), O.HasLambda = true;
        else if (A == "--filter")
            O.Filter = float(FloatOption(A, Value(), 0, 100, "a value from 0 to 100")), O.HasFilter = true;
        else if (A == "--clamp-weights") O.ClampWeights = true;
        else if (A == "--normalize-weights") O.NormalizeWeights = true;
        else if (A == "--clamp-result") O.ClampResult = true;
        else if (A == "-q" || A == "--quiet") O.Quiet = true;
        else if (A.size() > 1 && A[0] == '-') throw EUsage("unknown option " + A + " (see --help)");
        else O.Inputs.push_back(A);
    }
    if (!Help && O.Inputs.empty()) throw EUsage("no input file (see --help)");
    return O;
}

// What pressing OK in the dialog leaves in the interpolator.
void ConfigureInterpolator(TBitmapWienerInterpolation& I, const TOptions& O) {
    ApplySetup(I, O.Setup, O.Scale);
    if (O.HasRegion) I.TrainingRegion = O.Region;
    if (O.HasLambda) I.Lambda = O.Lambda;
    if (O.HasFilter) I.FilterStrength = O.Filter;
    I.ClampWeights = O.ClampWeights;
    I.NormalizeWeights = O.NormalizeWeights;
    I.ClampResult = O.ClampResult;
}

std::string OutputName(const TOptions& O, const std::string& Input, std::int32_t Scale) {
    namespace fs = std::filesystem;
    const fs::path In(Input);
    const std::string Own = In.stem().string() + "-x" + std::to_string(Scale) + In.extension().string();
    if (O.Output.empty()) return (In.parent_path() / Own).string();
    if (fs::is_directory(O.Output)) return (fs::path(O.Output) / Own).string();
    if (O.Inputs.size() > 1) throw EUsage("with several inputs, " + O.Output + " must be an existing folder");
    return O.Output;
}

// Enlarges one file; the caption of the result.
std::string EnlargeFile(const std::string& Input, const std::string& Output, std::int32_t Setup,
                        TBitmapWienerInterpolation& I) {
    FormatFromFileName(Output); // an unknown extension fails before the work
    TImageData Image = ReadImageFile(Input);
    const std::int64_t W = std::int64_t(Image.Width) * I.ScaleFactor, H = std::int64_t(Image.Height) * I.ScaleFactor;
    if (W > 2147483647 || H > 2147483647 ||
        !FitsContainers(std::int32_t(W), std::int32_t(H), Image.Channels, Image.HasAlpha, Image.SampleType))
        throw EImageFile(Input + ": " + SOutOfMemory + " (result too large)");
    std::string Caption;
    TImageData Result;
    if (Image.SampleType == TSampleType::st8bit) {
        TLinearBitmap Color, Alpha;
        ImageToBitmaps(Image, Color, Image.HasAlpha ? &Alpha : nullptr);
        Caption = EnlargeImage(&Color, Setup, I, Input);
        if (Image.HasAlpha) EnlargeImage(&Alpha, Setup, I, Input);
        Result = BitmapsToImage(Color, Image.HasAlpha ? &Alpha : nullptr);
    } else {
        TFloatMapList Maps = ImageToFloatMaps(Image);
        for (auto& Map : Maps) Caption = EnlargeImage(Map.get(), Setup, I, Input);
        Result = FloatMapsToImage(Maps, Image.HasAlpha, Image.SampleType, Image.FloatBits);
    }
    Result.Caption = Caption;
    WriteImageFile(Output, Result);
    return Caption;
}

int Main(int argc, char** argv) {
    bool Help = false;
    TOptions O;
    try {
        O = ParseOptions(argc, argv, Help);
    } catch (const std::exception& E) {
        std::cerr << "fractal-enlarge: " << E.what() << "\n";
        return 2;
    }
    if (Help) {
        std::cout << Usage;
        return 0;
    }
    TBitmapWienerInterpolation Interpolator;
    TInterruptGuard Interrupt;
    TProgressDisplay Display(std::cerr, !O.Quiet && StderrIsTerminal());
    SetConsoleProgressDisplay(&Display);
    ProgressHook = ConsoleProgress;
    int Status = 0;
    for (const std::string& Input : O.Inputs) {
        try {
            // The setup again for every file, as the dialog's OK leaves it.
            ConfigureInterpolator(Interpolator, O);
            const std::string Output = OutputName(O, Input, Interpolator.ScaleFactor);
            const std::string Caption = EnlargeFile(Input, Output, O.Setup, Interpolator);
            Display.Finish();
            std::cout << Output << ": " << Caption << "\n";
        } catch (const EAbort&) {
            Display.Finish();
            std::cerr << "fractal-enlarge: cancelled\n";
            SetConsoleProgressDisplay(nullptr);
            return 130;
        } catch (const std::exception& E) {
            Display.Finish();
            std::cerr << "fractal-enlarge: " << E.what() << "\n";
            Status = 1;
        }
    }
    SetConsoleProgressDisplay(nullptr);
    ProgressHook = nullptr;
    return Status;
}

} // namespace
} // namespace fi

int main(int argc, char** argv) { return fi::Main(argc, argv); }
