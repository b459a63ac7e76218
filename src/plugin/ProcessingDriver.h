#pragma once
// One ProcessImage call from the host's image to the handed-back result, and
// the work after the dialog (choose the computation, run it, build the
// caption), which the command-line enlarger shares so that both front ends
// give the same pixels and captions for the same settings.
#include <cstdint>
#include <string>
#include <variant>

#include "image/FloatMap.h"
#include "image/LinearBitmap.h"
#include "plugin/HostProtocol.h"
#include "wiener/FloatMapWienerInterpolation.h"

namespace fi {

inline constexpr const char* SUnsupportedImage = "Only 8 bit grayscale and 24 bit images supported";

// A float map (the real-valued path) or an 8-bit gray / 24-bit bitmap.
using TEnlargeImage = std::variant<TFloatMap*, TLinearBitmap*>;

// Enlarges Image in place with the settings held in Interpolator.
void EnlargeWithSettings(TEnlargeImage Image, std::int32_t SetupIndex, TBitmapWienerInterpolation& Interpolator);

// The caption of a result enlarged with the settings held in Interpolator,
// for the image the host (or the file) calls HostName.
std::string SettingsCaption(const std::string& HostName, const TBitmapWienerInterpolation& Interpolator);

// Both: enlarges Image in place and returns the result's caption.
std::string EnlargeImage(TEnlargeImage Image, std::int32_t SetupIndex, TBitmapWienerInterpolation& Interpolator,
                         const std::string& HostName);

// What ProcessImage needs from the user: the parameter dialog and the
// message boxes.
class TDriverFrontEnd {
public:
    virtual ~TDriverFrontEnd() = default;
    // Shows the dialog modally; true when the user pressed OK.
    virtual bool ExecuteDialog() = 0;
    virtual std::int32_t SetupIndex() = 0;
    virtual TBitmapWienerInterpolation& Interpolator() = 0;
    // The unsupported-image note ("Information", one "OK").
    virtual void ShowInformation(const std::string& Text) = 0;
    // A failure of the run, in the module's error box.
    virtual void ShowError(const std::string& Text) = 0;
};

// ProcessImage after the main-window request. Nothing escapes: the user's
// cancel returns 1 quietly, any other failure is shown through ShowError and
// returns 0; every other way ends with 1.
std::int32_t ProcessImageWith(std::int32_t Command, const HostImage* Image, TDriverFrontEnd& FrontEnd);

// The whole ProcessImage call: the main-window request, then the run with
// the module's parameter dialog and message boxes. Without a registered
// host there is nobody to answer: the result is 0.
std::int32_t ProcessHostImage(std::int32_t Command, const HostImage* Image);

} // namespace fi
