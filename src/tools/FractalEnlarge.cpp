// fractal-enlarge: the plug-in's enlargement for image files on the command
// line, through the same driver function, with the settings entered into the
// dialog itself, so that its defaults, formulas and ranges hold here too.
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "plugin/PluginLinearBitmap.h"
#include "plugin/ProcessingDriver.h"
#include "support/FloatFormat.h"
#include "tools/ImageConversion.h"
#include "tools/ImageFiles.h"
#include "tools/ProgressDisplay.h"
#include "ui/WienerResizeParamForm.h"

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
  --clamp-weights          clamp weights to [0;1]    (--no-clamp-weights)
  --normalize-weights      normalize weights         (--no-normalize-weights)
  --clamp-result           clamp result to source    (--no-clamp-result)
  -q, --quiet              no progress bar
  -h, --help               this text

Region, regularisation, filter and the three switches default to the chosen
setup's values, as in the plug-in's dialog.
Numbers may be formulas, e.g. --regularization "2^-10" or --filter "sqrt(2)".
)USAGE";

struct TOptions {
    std::vector<std::string> Inputs;
    std::string Output;
    std::int32_t Setup = DefaultSetup;
    // Entered into the dialog's fields as typed; empty: the setup's value.
    std::string Scale, Region, Lambda, Filter;
    std::optional<bool> ClampWeights, NormalizeWeights, ClampResult;
    bool Quiet = false;
};

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
        else if (A == "--scale") O.Scale = Value();
        else if (A == "--region") O.Region = Value();
        else if (A == "--regularization") O.Lambda = Value();
        else if (A == "--filter") O.Filter = Value();
        else if (A == "--clamp-weights" || A == "--no-clamp-weights") O.ClampWeights = A[2] != 'n';
        else if (A == "--normalize-weights" || A == "--no-normalize-weights") O.NormalizeWeights = A[2] != 'n';
        else if (A == "--clamp-result" || A == "--no-clamp-result") O.ClampResult = A[2] != 'n';
        else if (A == "-q" || A == "--quiet") O.Quiet = true;
        else if (A.size() > 1 && A[0] == '-') throw EUsage("unknown option " + A + " (see --help)");
        else O.Inputs.push_back(A);
    }
    if (!Help && O.Inputs.empty()) throw EUsage("no input file (see --help)");
    return O;
}

std::string RangeText(const TIntegerEdit& Edit) {
    return "a whole number from " + std::to_string(Edit.Min()) + " to " + std::to_string(Edit.Max());
}
std::string RangeText(const TFloatEdit& Edit) {
    return "a value from " + FormatFloat("0.##", Edit.Min(), '.') + " to " + FormatFloat("0.##", Edit.Max(), '.');
}

// Types Text into the field as a user would. A field of the same rules and
// bounds judges it first: the dialog pulls an out-of-range scale to its
// bound and shows that, where a command line must refuse it.
template <class TField>
void Enter(TField& Edit, const std::string& Option, const std::string& Text) {
    if (Text.empty()) return;
    TField Probe;
    Probe.SetMin(Edit.Min());
    Probe.SetMax(Edit.Max());
    Probe.SetText(Text);
    if (!Probe.Valid())
        throw EUsage("option " + Option + ": \"" + Text + "\" is not accepted (" + RangeText(Edit) + ")");
    Edit.SetText(Text);
}

void Check(TCheckBox& Box, const std::optional<bool>& Checked) {
    if (Checked) Box.SetChecked(*Checked);
}

// Fills the dialog as a user would: the setup first, since choosing it
// resets the other fields, then the scale, which does so as well, then the
// rest; then presses OK.
void FillDialog(TWienerResizeParamForm& Dialog, const TOptions& O) {
    Dialog.SetupComboBox->UserSelects(O.Setup);
    if (!O.Scale.empty() && !SetupHasScale(O.Setup))
        throw EUsage("option --scale: the setup \"" + std::string(SetupNames[O.Setup]) + "\" has a fixed scale");
    Enter(*Dialog.ScaleEdit, "--scale", O.Scale);
    Enter(*Dialog.TrainingRegionEdit, "--region", O.Region);
    Enter(*Dialog.LambdaEdit, "--regularization", O.Lambda);
    Enter(*Dialog.FilterEdit, "--filter", O.Filter);
    Check(*Dialog.ClampWeightsCheckBox, O.ClampWeights);
    Check(*Dialog.NormalizeWeightsCheckBox, O.NormalizeWeights);
    Check(*Dialog.ClampResultCheckBox, O.ClampResult);
    Dialog.OKButton->Click();
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
        !FitsContainers(std::int32_t(W), std::int32_t(H), Image.Channels, Image.HasAlpha, Image.SampleType()))
        throw EImageFile(Input + ": " + SOutOfMemory + " (result too large)");
    std::string Caption;
    TImageData Result;
    if (Image.SampleType() == TSampleType::st8bit) {
        TLinearBitmap Color, Alpha;
        ImageToBitmaps(Image, Color, Image.HasAlpha ? &Alpha : nullptr);
        Caption = EnlargeImage(&Color, Setup, I, Input);
        if (Image.HasAlpha) EnlargeImage(&Alpha, Setup, I, Input);
        Result = BitmapsToImage(Color, Image.HasAlpha ? &Alpha : nullptr);
    } else {
        TFloatMapList Maps = ImageToFloatMaps(Image);
        for (auto& Map : Maps) Caption = EnlargeImage(Map.get(), Setup, I, Input);
        Result = FloatMapsToImage(Maps, Image.HasAlpha, Image.SampleType(), Image.FloatBits);
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
    TWienerResizeParamForm Dialog;
    try {
        FillDialog(Dialog, O);
    } catch (const std::exception& E) {
        std::cerr << "fractal-enlarge: " << E.what() << "\n";
        return 2;
    }
    TBitmapWienerInterpolation& Interpolator = Dialog.WienerInterpolator();
    TInterruptGuard Interrupt;
    TProgressDisplay Display(std::cerr, !O.Quiet && StderrIsTerminal());
    SetConsoleProgressDisplay(&Display);
    ProgressHook = ConsoleProgress;
    int Status = 0;
    for (const std::string& Input : O.Inputs) {
        try {
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
