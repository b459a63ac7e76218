#pragma once
// The records and request codes through which the plug-in and its host meet.
//
// On 32-bit Windows every record is exactly the host's: little-endian,
// packed, 32-bit fields and pointers. On 64-bit Linux the same fields keep
// their order and packing, but pointers (and the window handle) are 8 bytes
// wide, so the records grow: HostImage 36 bytes (pixels at 16, palette at 24,
// further field at 32), HostRegistration 28, HostResult 44, and
// HostImageQuery 64 (name at 8, pixels at 32). The reserved host bytes of
// the query keep their 32-bit sizes.
#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32) && !defined(_WIN64)
#define FI_STDCALL __attribute__((stdcall))
#else
#define FI_STDCALL
#endif

namespace fi {

using HostCallback = std::int32_t(FI_STDCALL*)(std::int32_t Request, void* Record);

enum THostRequest : std::int32_t {
    hrRegister = 1,    // HostRegistration
    hrResult = 2,      // HostResult
    hrImageQuery = 3,  // HostImageQuery
    hrMainWindow = 4,  // one window handle, written by the host
    hrProgress = 5,    // one 32-bit progress value in percent
};

enum THostFormat : std::int32_t {
    hfIndexed8 = 1,
    hfBgr24 = 3,
    hfBits32 = 4,
    hfDouble = 24,
    hfDouble16 = 40,
};

#pragma pack(push, 1)
struct HostImage {
    std::int32_t Width;
    std::int32_t Height;
    std::int32_t BytesPerLine;
    std::int32_t Format;
    std::uint8_t* Pixels;
    std::uint8_t* Palette; // 256 entries blue, green, red; format 1 only, may be null
    std::int32_t Further;  // the host's; written as 0
};

struct HostRegistration {
    const char* Category;
    const char* Title;
    const char* Description;
    std::int32_t One;
};

struct HostResult {
    const char* Caption;
    HostImage Image;
};

struct HostImageQuery {
    std::int32_t Index;
    std::uint8_t Reserved1[4];
    const char* Name;
    std::uint8_t Reserved2[16];
    std::uint8_t* Pixels;
    std::uint8_t Reserved3[24];
};

using HostWindowHandle = std::uintptr_t;
#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(HostImage) == 28 && offsetof(HostImage, BytesPerLine) == 8 && offsetof(HostImage, Format) == 12 &&
              offsetof(HostImage, Pixels) == 16 && offsetof(HostImage, Palette) == 20 &&
              offsetof(HostImage, Further) == 24);
static_assert(sizeof(HostRegistration) == 16 && offsetof(HostRegistration, Title) == 4 &&
              offsetof(HostRegistration, Description) == 8 && offsetof(HostRegistration, One) == 12);
static_assert(sizeof(HostResult) == 32 && offsetof(HostResult, Image) == 4);
static_assert(sizeof(HostImageQuery) == 56 && offsetof(HostImageQuery, Name) == 8 &&
              offsetof(HostImageQuery, Pixels) == 28);
static_assert(sizeof(HostWindowHandle) == 4);
#else
static_assert(sizeof(HostImage) == 36 && offsetof(HostImage, BytesPerLine) == 8 && offsetof(HostImage, Format) == 12 &&
              offsetof(HostImage, Pixels) == 16 && offsetof(HostImage, Palette) == 24 &&
              offsetof(HostImage, Further) == 32);
static_assert(sizeof(HostRegistration) == 28 && offsetof(HostRegistration, Title) == 8 &&
              offsetof(HostRegistration, Description) == 16 && offsetof(HostRegistration, One) == 24);
static_assert(sizeof(HostResult) == 44 && offsetof(HostResult, Image) == 8);
static_assert(sizeof(HostImageQuery) == 64 && offsetof(HostImageQuery, Name) == 8 &&
              offsetof(HostImageQuery, Pixels) == 32);
#endif

inline constexpr const char* SPluginCategory = "Plugins";
inline constexpr const char* SPluginTitle = "Fractal interpolation";
inline constexpr const char* SPluginDescription =
    "Enlarge image using fractal inspired interpolation based on Wiener filters";

// The module-wide callback, set by every registration and never cleared.
extern HostCallback Host;

// The owner window of every window the plug-in opens; 0 until the host names one.
extern HostWindowHandle OwnerWindow;

// Sends one request to the registered host. The host runs in its own
// floating-point environment, and a fault inside it is its own.
std::int32_t CallHost(std::int32_t Request, void* Record);

// What RegisterPlugin does; the export only forwards here.
std::int32_t RegisterWithHost(HostCallback Callback);
// The first step of every ProcessImage call: asks the host for its main
// window, which then owns every window the plug-in opens.
void RequestOwnerWindow();

// The host's name for the open image whose pixels are Pixels; empty when the
// host does not list it.
std::string LookupImageName(const std::uint8_t* Pixels);

} // namespace fi
