#include "plugin/ProcessingDriver.h"

#include <cstring>
#include <memory>

#include "plugin/ImageCaption.h"
#include "plugin/PluginLinearBitmap.h"
#include "wiener/FastDefaultEnlarge.h"
#include "support/FloatFormat.h"
#include "ui/MessageForm.h"
#include "ui/WienerResizeParamForm.h"
#include "wiener/FloatMapFractalInterpolation.h"
#include "wiener/SetupTable.h"

namespace fi {

namespace {

bool NoFlags(const TBitmapWienerInterpolation& I) { return !I.ClampWeights && !I.NormalizeWeights && !I.ClampResult; }

// The fractal double-size process's neighbourhood radius where it serves
// the setup as configured, else 0.
std::int32_t FractalRadius(std::int32_t SetupIndex, const TBitmapWienerInterpolation& I) {
    if (!IsSetup(SetupIndex) || I.ScaleFactor != 2 || !NoFlags(I)) return 0;
    return Setups[SetupIndex].FractalRadius;
}

void EnlargeFloatMap(TFloatMap& Map, std::int32_t SetupIndex, TBitmapWienerInterpolation& I) {
    if (const std::int32_t Radius = FractalRadius(SetupIndex, I); Radius > 0) {
        FractalInterpolate(Map, I.TrainingRegion / 2, Radius, nullptr, I.FilterStrength, I.Lambda);
        return;
    }
    TFloatMap Dest;
    I.Interpolate(Map, Dest);
    Map.TakeOver(Dest);
}

void EnlargeBitmap(TLinearBitmap& Bitmap, std::int32_t SetupIndex, TBitmapWienerInterpolation& I) {
    // The fast default enlargement is the 3 x 3 fractal process with the
    // default setup's training region.
    if (FractalRadius(SetupIndex, I) == 1 && I.TrainingRegion == 7)
        FastDefaultEnlarge(Bitmap, nullptr, I.Lambda, I.FilterStrength);
    else
        I.InterpolateBitmap(Bitmap, nullptr);
}

// The host's float image as a packed map; null when it breaks the host's
// promise of a size of at least 1 x 1 and a pixel pointer.
std::unique_ptr<TFloatMap> ReadHostFloatImage(const HostImage& Image) {
    if (Image.Width < 1 || Image.Height < 1 || Image.Pixels == nullptr) return nullptr;
    auto Map = std::make_unique<TFloatMap>();
    Map->SetSize(Image.Width, Image.Height);
    const std::size_t Count = std::size_t(Image.Width) * std::size_t(Image.Height);
    if (Image.Format == hfDouble) {
        std::memcpy(Map->Map, Image.Pixels, Count * sizeof(double));
    } else {
        for (std::size_t i = 0; i < Count; ++i) std::memcpy(Map->Map + i, Image.Pixels + 16 * i, sizeof(double));
    }
    return Map;
}

// The host's bitmap with a packed copy of its pixels, or null for what the
// driver does not enlarge (32 bits, a coloured palette, an invalid record).
std::unique_ptr<TPluginLinearBitmap> ReadHostBitmap(const HostImage& Image) {
    try {
        auto Bitmap = std::make_unique<TPluginLinearBitmap>(&Image);
        const bool Accepted = Bitmap->PixelFormat == TPixelFormat::pf24bit ||
                              (Bitmap->PixelFormat == TPixelFormat::pf8bit && Bitmap->IsGrayscale());
        if (!Accepted) return nullptr;
        Bitmap->DetachFromHost();
        return Bitmap;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The error box can fail as well (no window can be made): the result 0
// still tells the host.
void ShowFailure(TDriverFrontEnd& FrontEnd, const std::string& Text) {
    try {
        FrontEnd.ShowError(Text);
    } catch (...) {
    }
}

// The user's side of a run: the module's one parameter dialog, kept from
// run to run, and its styled message boxes.
class TParamFormFrontEnd final : public TDriverFrontEnd {
public:
    bool ExecuteDialog() override { return ExecuteParamForm(); }
    std::int32_t SetupIndex() override { return ParamForm->SetupIndex(); }
    TBitmapWienerInterpolation& Interpolator() override { return ParamForm->WienerInterpolator(); }
    void ShowInformation(const std::string& Text) override { ShowStyledMessage(Text, mtInformation, mbOK, 0); }
    void ShowError(const std::string& Text) override { ShowStyledMessage(Text, mtError, mbOK, 0); }
};

std::int32_t ProcessCommand(const HostImage& Image, TDriverFrontEnd& FrontEnd) {
    ProgressHook = TProgressUpdate::ProgressUpdate;
    HostResult Result;
    std::memset(&Result, 0, sizeof Result);
    if (Image.Format == hfDouble || Image.Format == hfDouble16) {
        std::unique_ptr<TFloatMap> Map = ReadHostFloatImage(Image);
        if (!Map) {
            FrontEnd.ShowInformation(SUnsupportedImage);
            return 1;
        }
        if (!FrontEnd.ExecuteDialog()) return 1;
        EnlargeWithSettings(Map.get(), FrontEnd.SetupIndex(), FrontEnd.Interpolator());
        // The host is asked for the image's name once the result exists.
        const std::string Caption = SettingsCaption(LookupImageName(Image.Pixels), FrontEnd.Interpolator());
        Result.Caption = Caption.c_str();
        Result.Image.Width = Map->Width;
        Result.Image.Height = Map->Height;
        Result.Image.Format = hfDouble;
        Result.Image.Pixels = reinterpret_cast<std::uint8_t*>(Map->Map);
        CallHost(hrResult, &Result);
        return 1;
    }
    std::unique_ptr<TPluginLinearBitmap> Bitmap = ReadHostBitmap(Image);
    if (!Bitmap) {
        FrontEnd.ShowInformation(SUnsupportedImage);
        return 1;
    }
    if (!FrontEnd.ExecuteDialog()) return 1;
    EnlargeWithSettings(Bitmap.get(), FrontEnd.SetupIndex(), FrontEnd.Interpolator());
    const std::string Caption = SettingsCaption(LookupImageName(Image.Pixels), FrontEnd.Interpolator());
    Result.Caption = Caption.c_str();
    TPluginLinearBitmap::ExportToHost(Bitmap.get(), Result.Image, false);
    CallHost(hrResult, &Result);
    return 1;
}

} // namespace

void EnlargeWithSettings(TEnlargeImage Image, std::int32_t SetupIndex, TBitmapWienerInterpolation& Interpolator) {
    if (TFloatMap* const* Map = std::get_if<TFloatMap*>(&Image))
        EnlargeFloatMap(**Map, SetupIndex, Interpolator);
    else
        EnlargeBitmap(*std::get<TLinearBitmap*>(Image), SetupIndex, Interpolator);
}

std::string SettingsCaption(const std::string& HostName, const TBitmapWienerInterpolation& Interpolator) {
    return ImageCaption(HostName, ReadSettings(Interpolator), UserDecimalSeparator());
}

std::string EnlargeImage(TEnlargeImage Image, std::int32_t SetupIndex, TBitmapWienerInterpolation& Interpolator,
                         const std::string& HostName) {
    EnlargeWithSettings(Image, SetupIndex, Interpolator);
    return SettingsCaption(HostName, Interpolator);
}

std::int32_t ProcessImageWith(std::int32_t Command, const HostImage* Image, TDriverFrontEnd& FrontEnd) {
    if (Command != 1) return 1;
    // An exception must not cross into the host, which would end the host's
    // process and lose the user's work.
    try {
        return ProcessCommand(*Image, FrontEnd);
    } catch (const EAbort&) {
        return 1;
    } catch (const std::exception& E) {
        ShowFailure(FrontEnd, E.what());
    } catch (...) {
        ShowFailure(FrontEnd, "Unknown failure");
    }
    return 0;
}

std::int32_t ProcessHostImage(std::int32_t Command, const HostImage* Image) {
    if (Host == nullptr) return 0;
    RequestOwnerWindow();
    // Every window the module opens belongs to the window the host named.
    Application().SetHandle(TWindowHandle(OwnerWindow));
    TParamFormFrontEnd FrontEnd;
    return ProcessImageWith(Command, Image, FrontEnd);
}

} // namespace fi
