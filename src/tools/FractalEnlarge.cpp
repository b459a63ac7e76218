// fractal-enlarge: the plug-in's enlargement for image files on the command
// line, through the same driver function, with the settings of the plug-in's
// dialog, so that its defaults, formulas and ranges hold here too.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "parallel/MultiCoreProcessing.h"
#include "plugin/ImageCaption.h"
#include "plugin/PluginLinearBitmap.h"
#include "plugin/ProcessingDriver.h"
#include "settings/EnlargeSettings.h"
#include "tools/ImageConversion.h"
#include "tools/ImageFiles.h"
#include "tools/ProgressDisplay.h"
#include "tools/SignalCleanup.h"
#include "wiener/BestQualityEnlarge.h"
#include "wiener/SetupTable.h"

namespace fi {
namespace {

class EUsage : public Exception {
public:
    explicit EUsage(const std::string& Message) : Exception(Message) {}
};

const char* const UsageStart = R"USAGE(Usage: fractal-enlarge INPUT... [options]

Enlarges PNG, JPEG, TIFF, BMP and WebP images with Wiener filters trained on
the image itself, keeping their depth. With the dialog preset, 8-bit images
go the plug-in's bitmap way (colour through its brightness plane), 16-bit
and floating-point images channel by channel. Alpha is enlarged as its own
gray plane.
The ICC profile, EXIF, XMP and resolution (pixels per inch unchanged) go
with the image wherever the output format can hold them; the EXIF
orientation stays a tag unless --auto-orient applies it.

Presets (explicit options apply on top):
  best       the default: the best quality measured on photographs; the
             fractal setup doubles the luma, the colour differences follow
             centred on it, other scales end with a cubic step; takes
             --scale, --region, --regularization and --filter
  dialog     the plug-in dialog's first-run setting and the plug-in's colour
             path, giving the plug-in's very pixels; chosen by --setup or a
             switch when no preset is named

Options:
  -o, --output PATH        output file (one input) or existing folder; "-" is
                           standard output; default: INPUT-x<scale> beside
                           each input, standard output for standard input
  --preset NAME            a preset from the list above (default: best)
  --setup NAME|NUMBER      the interpolation setup (default: )USAGE";

// Above the setups' list, which the table gives, the rest.
const char* const UsageEnd = R"USAGE(  --region N               training region size 1 .. 100
  --regularization X       regularisation 0 .. 1
  --filter X               artefact filter strength 0 .. 100
  --clamp-weights          clamp weights to [0;1]    (--no-clamp-weights)
  --normalize-weights      normalize weights         (--no-normalize-weights)
  --clamp-result           clamp result to source    (--no-clamp-result)
  --auto-orient            turn the image upright by its EXIF orientation
  --threads N              use N processors (default: all the system allows)
  --jpeg-quality Q         quality 1 .. 100 of JPEG and lossy WebP output
                           (default: the input's estimated quality when it is
                           a JPEG, else 92)
  --webp-lossless          lossless WebP output (--webp-lossy); default:
                           lossy only when the input is (JPEG, lossy WebP)
  --format png|jpg|tif|bmp|webp
                           the format written to standard output (default:
                           the input's)
  -q, --quiet              no progress bar
  -h, --help               this text

INPUT "-" reads standard input. Region, regularisation, filter and the three
switches default to the best preset's values, or with the dialog preset to
the chosen setup's, as in the plug-in's dialog.
Numbers may be formulas, e.g. --regularization "2^-10" or --filter "sqrt(2)".
Refused before the work: results larger than the engine takes, infinite or
NaN samples, what the output format cannot hold, TIFF pages and animations,
and inputs whose results would share a name.
)USAGE";

std::string Quoted(const std::string& Text) { return "\"" + Text + "\""; }

// The help text with a line for every setup and the setups that take a scale.
std::string Usage() {
    std::string Text = UsageStart + Quoted(SetupNames[DefaultSetup]) + "):\n";
    std::size_t Width = 0;
    for (const char* Name : SetupNames) Width = std::max(Width, std::string(Name).size() + 4);
    std::string Scaled;
    for (std::int32_t i = 0; i < SetupCount; ++i) {
        const std::string Name = Quoted(SetupNames[i]);
        Text += "        " + std::to_string(i) + "  " + Name + std::string(Width - Name.size(), ' ') +
                Setups[i].Summary + "\n";
        if (Setups[i].TakesScale) Scaled += (Scaled.empty() ? "" : ", ") + std::to_string(i);
    }
    const TIntegerRule Scale = TEnlargeSettings::ScaleRule;
    const std::string Line = "  --scale N                scale factor " + std::to_string(Scale.Min) + " .. " +
                             std::to_string(Scale.Max) + " (setups " + Scaled + "; default 2)\n";
    return Text + Line + UsageEnd;
}

// A named starting point for the options: the best-quality enlargement or
// the plug-in's own.
struct TPreset {
    const char* Name;
    bool Best;
};

constexpr TPreset Presets[] = {{"best", true}, {"dialog", false}};
constexpr const TPreset* BestPreset = &Presets[0];
constexpr const TPreset* DialogPreset = &Presets[1];

struct TOptions {
    std::vector<std::string> Inputs;
    std::string Output;
    // Named by --preset; else the dialog's when a setup or switch is given.
    const TPreset* Preset = nullptr;
    std::optional<std::int32_t> Setup;
    // Entered into the settings' fields as typed; empty: the setup's value.
    std::string Scale, Region, Lambda, Filter;
    std::optional<bool> ClampWeights, NormalizeWeights, ClampResult;
    std::optional<bool> WebpLossless;
    std::optional<TImageFormat> Format;
    std::int32_t Threads = 0, JpegQuality = 0;
    bool AutoOrient = false;
    bool Quiet = false;

    bool ChoosesSetup() const { return Setup || ClampWeights || NormalizeWeights || ClampResult; }
    const TPreset& ChosenPreset() const { return Preset ? *Preset : ChoosesSetup() ? *DialogPreset : *BestPreset; }
    // The best preset enters the default setup too, whose fields check its
    // scale and parameters.
    std::int32_t SetupIndex() const { return Setup.value_or(DefaultSetup); }
};

const TPreset* PresetOption(const std::string& Text) {
    for (const TPreset& P : Presets)
        if (Text == P.Name) return &P;
    throw EUsage("option --preset: \"" + Text + "\" is not a preset (see --help)");
}

// A whole number from Min to Max, for the options the settings have no field for.
std::int32_t NumberOption(const std::string& Option, const std::string& Text, std::int32_t Min, std::int32_t Max) {
    std::int32_t Value = 0;
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    if (Error != std::errc() || End != Text.data() + Text.size() || Value < Min || Value > Max)
        throw EUsage("option " + Option + ": \"" + Text + "\" is not accepted (a whole number from " +
                     std::to_string(Min) + " to " + std::to_string(Max) + ")");
    return Value;
}

std::int32_t SetupOption(const std::string& Text) {
    if (const std::int32_t Setup = SetupOfName(Text); Setup >= 0) return Setup;
    throw EUsage("option --setup: \"" + Text + "\" is not a setup (0 to " + std::to_string(SetupCount - 1) +
                 " or a name; see --help)");
}

TOptions ParseOptions(int argc, char** argv, bool& Help) {
    TOptions O;
    Help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string A = argv[i];
        // "--no-" turns a switch off ("--normalize-weights" starts with "--n" too).
        const bool Negated = A.rfind("--no-", 0) == 0;
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
        else if (A == "--clamp-weights" || A == "--no-clamp-weights") O.ClampWeights = !Negated;
        else if (A == "--normalize-weights" || A == "--no-normalize-weights") O.NormalizeWeights = !Negated;
        else if (A == "--clamp-result" || A == "--no-clamp-result") O.ClampResult = !Negated;
        else if (A == "--preset") O.Preset = PresetOption(Value());
        else if (A == "--threads") O.Threads = NumberOption(A, Value(), 1, 1024);
        else if (A == "--jpeg-quality") O.JpegQuality = NumberOption(A, Value(), 1, 100);
        else if (A == "--webp-lossless" || A == "--webp-lossy") O.WebpLossless = A == "--webp-lossless";
        else if (A == "--format") O.Format = FormatFromFileName("." + Value());
        else if (A == "--auto-orient") O.AutoOrient = true;
        else if (A == "-q" || A == "--quiet") O.Quiet = true;
        else if (A.size() > 1 && A[0] == '-') throw EUsage("unknown option " + A + " (see --help)");
        else O.Inputs.push_back(A);
    }
    if (!Help && O.Inputs.empty()) throw EUsage("no input file (see --help)");
    if (O.Preset == BestPreset && O.ChoosesSetup())
        throw EUsage("the preset \"best\" has its own setup and switches (--preset dialog takes them)");
    return O;
}

void Enter(TEnlargeSettings& Settings, TNumericField Field, const std::string& Option, const std::string& Text) {
    if (!Text.empty() && !Settings.SetText(Field, Text))
        throw EUsage("option " + Option + ": \"" + Text + "\" is not accepted (" + TEnlargeSettings::RangeText(Field) +
                     ")");
}

void Check(void (TEnlargeSettings::*Set)(bool), TEnlargeSettings& Settings, const std::optional<bool>& Checked) {
    if (Checked) (Settings.*Set)(*Checked);
}

// The settings as the plug-in's dialog would take them: the setup (or the
// best quality) first, since choosing it resets the other fields, then the
// scale, which does so as well, then the rest.
void FillSettings(TEnlargeSettings& Settings, const TOptions& O) {
    const std::int32_t Setup = O.SetupIndex();
    if (O.ChosenPreset().Best) Settings.SetBest(true);
    else Settings.SelectSetup(Setup, Settings.Scale());
    if (!O.Scale.empty() && !SetupHasScale(Setup))
        throw EUsage("option --scale: the setup \"" + std::string(SetupNames[Setup]) + "\" has a fixed scale");
    Enter(Settings, TNumericField::Scale, "--scale", O.Scale);
    Enter(Settings, TNumericField::TrainingRegion, "--region", O.Region);
    Enter(Settings, TNumericField::Regularization, "--regularization", O.Lambda);
    Enter(Settings, TNumericField::FilterStrength, "--filter", O.Filter);
    Check(&TEnlargeSettings::SetClampWeights, Settings, O.ClampWeights);
    Check(&TEnlargeSettings::SetNormalizeWeights, Settings, O.NormalizeWeights);
    Check(&TEnlargeSettings::SetClampResult, Settings, O.ClampResult);
    Settings.Confirmed();
}

std::string OutputName(const TOptions& O, const std::string& Input, std::int32_t Scale) {
    namespace fs = std::filesystem;
    if (O.Output == StandardStream || (O.Output.empty() && Input == StandardStream)) {
        if (O.Inputs.size() > 1) throw EUsage("with several inputs, the output cannot be standard output");
        return StandardStream;
    }
    if (Input == StandardStream && fs::is_directory(O.Output))
        throw EUsage("standard input has no name to give its result in " + O.Output);
    const fs::path In(Input);
    const std::string Own = In.stem().string() + "-x" + std::to_string(Scale) + In.extension().string();
    if (O.Output.empty()) return (In.parent_path() / Own).string();
    if (fs::is_directory(O.Output)) return (fs::path(O.Output) / Own).string();
    if (O.Inputs.size() > 1) throw EUsage("with several inputs, " + O.Output + " must be an existing folder");
    return O.Output;
}

void Warn(const std::vector<std::string>& Warnings) {
    for (const std::string& W : Warnings) std::cerr << "fractal-enlarge: warning: " << W << "\n";
}

// The enlarged pixels of Image, through the plug-in's own path for 8 bits.
TImageData Enlarge(const TImageData& Image, std::int32_t Setup, TBitmapWienerInterpolation& I,
                   const std::string& HostName, std::string& Caption) {
    if (Image.SampleType() == TSampleType::st8bit) {
        TLinearBitmap Color, Alpha;
        ImageToBitmaps(Image, Color, Image.HasAlpha ? &Alpha : nullptr);
        Caption = EnlargeImage(&Color, Setup, I, HostName);
        if (Image.HasAlpha) EnlargeImage(&Alpha, Setup, I, HostName);
        return BitmapsToImage(Color, Image.HasAlpha ? &Alpha : nullptr);
    }
    TFloatMapList Maps = ImageToFloatMaps(Image);
    for (auto& Map : Maps) Caption = EnlargeImage(Map.get(), Setup, I, HostName);
    return FloatMapsToImage(Maps, Image.HasAlpha, Image.SampleType(), Image.FloatBits);
}

// The enlarged pixels of Image by the best preset. Samples are brought to
// the 8-bit scale the engine's parameters are measured on, and back.
TImageData EnlargeBest(const TImageData& Image, const TBestQualitySettings& S, std::int32_t Scale,
                       const std::string& HostName, std::string& Caption) {
    const TSampleType Type = Image.SampleType();
    const double ToEngine = Type == TSampleType::st8bit ? 1.0 : Type == TSampleType::st16bit ? 255.0 / 65535.0 : 255.0;
    TFloatMapList Maps = ImageToFloatMaps(Image);
    for (auto& Map : Maps)
        for (std::int32_t i = 0; i < Map->Count; ++i) Map->Map[i] *= ToEngine;
    std::vector<TFloatMap*> Colour;
    for (std::size_t c = 0; c < Maps.size() - (Image.HasAlpha ? 1 : 0); ++c) Colour.push_back(Maps[c].get());
    EnlargeBestQuality(Colour, Scale, S);
    if (Image.HasAlpha) EnlargeBestQuality({Maps.back().get()}, Scale, S);
    for (auto& Map : Maps)
        for (std::int32_t i = 0; i < Map->Count; ++i) Map->Map[i] /= ToEngine;
    Caption = BestQualityCaption(HostName, Scale, S);
    return FloatMapsToImage(Maps, Image.HasAlpha, Type, Image.FloatBits);
}

// The result's name of every input, before any work; two inputs that would
// give one file are refused, naming both.
std::vector<std::string> OutputNames(const TOptions& O, std::int32_t Scale) {
    namespace fs = std::filesystem;
    std::vector<std::string> Names;
    std::vector<fs::path> Paths;
    for (const std::string& Input : O.Inputs) {
        Names.push_back(OutputName(O, Input, Scale));
        Paths.push_back(fs::absolute(Names.back()).lexically_normal());
        for (std::size_t i = 0; i + 1 < Paths.size(); ++i)
            if (Names.back() != StandardStream && Paths[i] == Paths.back())
                throw EUsage(O.Inputs[i] + " and " + Input + " would both be written to " + Names.back() +
                             " (enlarge them into separate folders)");
    }
    return Names;
}

// How messages name an input.
std::string InputName(const std::string& Input) { return Input == StandardStream ? StandardInputName : Input; }

// Enlarges one file; the caption of the result. Whatever the input or the
// output cannot take is refused before the work.
std::string EnlargeFile(const std::string& Input, const std::string& Output, const TOptions& O,
                        TEnlargeSettings& Settings) {
    TBitmapWienerInterpolation& I = Settings.Interpolator();
    const bool ToStream = Output == StandardStream;
    // An unknown extension fails before the work; standard output takes the
    // input's format unless one is named.
    const std::optional<TImageFormat> Named = ToStream ? O.Format : FormatFromFileName(Output);
    TImageData Image = ReadImageFile(Input);
    Warn(Image.Warnings);
    CheckFiniteSamples(InputName(Input), Image);
    if (O.AutoOrient) ApplyOrientation(Image);
    const std::int64_t W = std::int64_t(Image.Width) * I.ScaleFactor, H = std::int64_t(Image.Height) * I.ScaleFactor;
    CheckPixels(InputName(Input), "the result", W, H);
    const TImageFormat Format = Named.value_or(Image.SourceFormat);
    CheckFormatHolds(ToStream ? StandardOutputName : Output, Format, W, H, Image.SampleType(), Image.HasAlpha);
    std::string Caption;
    const std::string HostName = Input == StandardStream ? "stdin" : Input;
    TImageData Result = Settings.Best() ? EnlargeBest(Image, Settings.BestSettings(), I.ScaleFactor, HostName, Caption)
                                        : Enlarge(Image, Settings.Setup(), I, HostName, Caption);
    Result.Caption = Caption;
    Result.Metadata = Image.Metadata;
    TWriteOptions Write;
    Write.Quality = O.JpegQuality > 0 ? O.JpegQuality : Image.SourceQuality > 0 ? Image.SourceQuality : 92;
    Write.WebpLossless = O.WebpLossless ? *O.WebpLossless : !Image.LossySource;
    Warn(WriteImageFile(Output, Format, Result, Write));
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
        std::cout << Usage();
        return 0;
    }
    TEnlargeSettings Settings;
    std::vector<std::string> Outputs;
    try {
        FillSettings(Settings, O);
        Outputs = OutputNames(O, Settings.Scale());
    } catch (const std::exception& E) {
        std::cerr << "fractal-enlarge: " << E.what() << "\n";
        return 2;
    }
    // The framework starts as many workers as it counts processors.
    if (O.Threads > 0) ProcessorCountCache.store(O.Threads);
    const TSignalCleanup Cleanup;
    TInterruptGuard Interrupt;
    TProgressDisplay Display(std::cerr, !O.Quiet && StderrIsTerminal());
    SetConsoleProgressDisplay(&Display);
    ProgressHook = ConsoleProgress;
    int Status = 0;
    for (std::size_t i = 0; i < O.Inputs.size(); ++i) {
        const std::string& Input = O.Inputs[i];
        const std::string& Output = Outputs[i];
        try {
            const std::string Caption = EnlargeFile(Input, Output, O, Settings);
            Display.Finish();
            // Standard output carries the image then.
            (Output == StandardStream ? std::cerr : std::cout) << Output << ": " << Caption << "\n";
        } catch (const EAbort&) {
            Display.Finish();
            std::cerr << "fractal-enlarge: cancelled\n";
            SetConsoleProgressDisplay(nullptr);
            return 130;
        } catch (const EImageFile& E) {
            Display.Finish();
            std::cerr << "fractal-enlarge: " << E.what() << "\n";
            Status = 1;
        } catch (const std::exception& E) {
            // The engine's failures (memory the system refused) know no file.
            Display.Finish();
            std::cerr << "fractal-enlarge: " << InputName(Input) << ": " << E.what() << "\n";
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
