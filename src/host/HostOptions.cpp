#include "host/HostOptions.h"

#include <cerrno>
#include <cstdlib>

namespace fi {

const char* const SHostUsage =
    "Usage: ReferenceHost [options] [INPUT]\n"
    "  INPUT                  BMP file (8-bit palette or gray, 24-bit, 32-bit) or raw doubles\n"
    "  --input FILE           the same as INPUT\n"
    "  --raw WIDTH HEIGHT     INPUT holds WIDTH x HEIGHT little-endian doubles (format 24)\n"
    "  --format40             hand raw input over in 16-byte pixels (format 40)\n"
    "  --null-palette         hand an 8-bit input over without its palette\n"
    "  --output FILE          write the handed-back image (BMP, or raw doubles for format 24)\n"
    "  --report FILE          write the run's log to FILE as well as to standard output\n"
    "  --plugin FILE          the module to load (default FractalInterpolation.dll beside the host)\n"
    "  --name TEXT            the name the input is listed under (default: its path)\n"
    "  --command N            the command sent with ProcessImage (default 1)\n"
    "  --runs N               call ProcessImage N times on the same image (default 1)\n"
    "  --cancel-at PERCENT    press Cancel once the progress reaches PERCENT\n"
    "  --list-extra-images    list two other open images before the input\n"
    "  --unlisted             do not list the input among the open images\n"
    "  --float-state CW:MXCSR call the plug-in with this x87 control word and SSE register (hex)\n"
    "  --own-faults           handle faults of its own while the plug-in is loaded and after unloading it\n"
    "  --stay                 keep the main window open until it is closed\n"
    "  --help                 this text\n";

namespace {

std::int32_t ToInt(const std::string& Option, const std::string& Text, long Low, long High) {
    errno = 0;
    char* End = nullptr;
    const long Value = std::strtol(Text.c_str(), &End, 10);
    if (Text.empty() || *End != '\0' || errno != 0 || Value < Low || Value > High)
        throw EHostOptions(Option + ": \"" + Text + "\" is not a whole number from " + std::to_string(Low) + " to " +
                           std::to_string(High));
    return std::int32_t(Value);
}

// "CW:MXCSR", both hexadecimal.
std::pair<std::uint16_t, std::uint32_t> ToFloatState(const std::string& Option, const std::string& Text) {
    const std::size_t Colon = Text.find(':');
    char* End = nullptr;
    const unsigned long Word = std::strtoul(Text.c_str(), &End, 16);
    const bool WordRead = Colon != std::string::npos && End == Text.c_str() + Colon && Colon > 0 && Word <= 0xFFFF;
    const char* Second = Text.c_str() + (Colon == std::string::npos ? Text.size() : Colon + 1);
    const unsigned long Register = std::strtoul(Second, &End, 16);
    if (!WordRead || *Second == '\0' || *End != '\0' || Register > 0xFFFFFFFFul)
        throw EHostOptions(Option + ": \"" + Text + "\" is not CW:MXCSR in hexadecimal");
    return {std::uint16_t(Word), std::uint32_t(Register)};
}

} // namespace

THostOptions ParseHostOptions(const std::vector<std::string>& Arguments) {
    THostOptions O;
    std::size_t I = 0;
    auto Value = [&](const std::string& Option) -> const std::string& {
        if (I + 1 >= Arguments.size()) throw EHostOptions(Option + " needs a value");
        return Arguments[++I];
    };
    for (; I < Arguments.size(); ++I) {
        const std::string& A = Arguments[I];
        if (A == "--input") O.Input = Value(A);
        else if (A == "--output") O.Output = Value(A);
        else if (A == "--report") O.Report = Value(A);
        else if (A == "--plugin") O.Plugin = Value(A);
        else if (A == "--name") O.Name = Value(A);
        else if (A == "--command") O.Command = ToInt(A, Value(A), -2147483647L - 1, 2147483647L);
        else if (A == "--runs") O.Runs = ToInt(A, Value(A), 1, 100);
        else if (A == "--cancel-at") O.CancelAt = ToInt(A, Value(A), 0, 100);
        else if (A == "--raw") {
            O.RawWidth = ToInt(A, Value(A), 1, 1 << 15);
            O.RawHeight = ToInt(A, Value(A), 1, 1 << 15);
        } else if (A == "--format40") O.Format40 = true;
        else if (A == "--null-palette") O.NullPalette = true;
        else if (A == "--list-extra-images") O.ListExtraImages = true;
        else if (A == "--unlisted") O.Unlisted = true;
        else if (A == "--float-state") O.FloatState = ToFloatState(A, Value(A));
        else if (A == "--own-faults") O.OwnFaults = true;
        else if (A == "--stay") O.Stay = true;
        else if (A == "--help" || A == "-h") O.Help = true;
        else if (A.size() > 1 && A[0] == '-') throw EHostOptions("Unknown option " + A);
        else if (O.Input.empty()) O.Input = A;
        else throw EHostOptions("Only one input: " + A);
    }
    if (O.Format40 && O.RawWidth == 0) throw EHostOptions("--format40 needs --raw");
    return O;
}

} // namespace fi
