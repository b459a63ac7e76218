#pragma once
// The reference host's own image store: pictures held in host-owned buffers,
// read from and written to BMP files or raw files of doubles.
#include <cstdint>
#include <string>
#include <vector>

#include "plugin/HostProtocol.h"
#include "support/Exceptions.h"

namespace fi {

class EHostFile : public Exception {
public:
    using Exception::Exception;
};

// One image as the host keeps it: rows top-down, each BytesPerLine bytes
// apart; Format is a host format code. Palette holds 256 blue-green-red
// entries for format 1, or is empty (then the plug-in sees a null palette).
struct THostPicture {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Format = 0;
    std::int32_t BytesPerLine = 0;
    std::vector<std::uint8_t> Pixels;
    std::vector<std::uint8_t> Palette;

    // The descriptor handed to the plug-in; it points into this picture.
    HostImage Descriptor();
};

// Bytes of one pixel of a host format code (0 for an unknown code).
std::int32_t HostPixelBytes(std::int32_t Format);

// Copies what the plug-in hands back (packed rows for the bitmap formats, a
// packed map for format 24) into a picture of the host's own. A format 40
// result keeps the first double of every pixel.
THostPicture CopyHostImage(const HostImage& Image);

// BMP files: 8 bits with a palette, 24 and 32 bits, uncompressed, bottom-up
// or top-down. Format 1 pictures are written with their palette (the gray
// ramp when they have none).
THostPicture ReadBmpFile(const std::string& FileName);
void WriteBmpFile(const std::string& FileName, const THostPicture& Picture);

// Raw files: Width x Height little-endian doubles, rows packed. Format 40
// wraps every double in a 16-byte pixel whose second half the plug-in ignores.
THostPicture ReadRawFile(const std::string& FileName, std::int32_t Width, std::int32_t Height,
                         std::int32_t Format = hfDouble);
void WriteRawFile(const std::string& FileName, const THostPicture& Picture);

} // namespace fi
