#pragma once
// Command line of the reference host, so that tests can run it unattended.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/Exceptions.h"

namespace fi {

class EHostOptions : public Exception {
public:
    using Exception::Exception;
};

struct THostOptions {
    std::string Input;        // BMP file, or raw doubles with RawWidth/RawHeight
    std::string Output;       // where the handed-back image goes; empty: not written
    std::string Report;       // where the run's log goes besides standard output
    std::string Plugin;       // the module; empty: FractalInterpolation.dll beside the host
    std::string Name;         // the name the host lists the input under; empty: the input path
    std::int32_t Command = 1; // sent with ProcessImage
    std::int32_t RawWidth = 0;
    std::int32_t RawHeight = 0;
    bool Format40 = false;     // raw input in 16-byte pixels
    bool NullPalette = false;  // an 8-bit input goes without its palette
    bool ListExtraImages = false;
    bool Unlisted = false;     // the input is not among the open images
    std::int32_t CancelAt = -1; // press Cancel once progress reaches this percentage
    std::int32_t Runs = 1;      // ProcessImage calls on the same image
    bool Stay = false;          // keep the main window open until the user closes it
    // The floating-point state the host calls the plug-in in: an x87 control
    // word and an SSE control register; none: the host's default.
    std::optional<std::pair<std::uint16_t, std::uint32_t>> FloatState;
    bool OwnFaults = false;     // provoke and handle faults of its own, loaded and after unloading
    bool Help = false;
};

THostOptions ParseHostOptions(const std::vector<std::string>& Arguments);

extern const char* const SHostUsage;

} // namespace fi
