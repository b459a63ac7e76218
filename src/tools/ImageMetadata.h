#pragma once
// The metadata of photos across formats: checks of the ICC profile and EXIF
// blocks a reader found, and the EXIF block fitted to the written image.
// EXIF is read and written through exiv2; nothing here parses TIFF
// structures by hand.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/ImageData.h"

namespace fi {

// Whether Profile has the header of an ICC profile of its own length;
// colour systems refuse anything else.
bool IccProfileLooksValid(const std::vector<std::uint8_t>& Profile);

// Drops a damaged profile or EXIF block from Image with a warning, and takes
// the orientation (and, where the file has none of its own, the resolution)
// from EXIF. Readers call it once they have filled Image.Metadata.
void CheckReadMetadata(const std::string& FileName, TImageData& Image);

// The EXIF of a TIFF file as a block other formats can carry, without the
// tags that describe the TIFF's own pixels; empty when it has none. Throws
// EImageFile when exiv2 cannot make sense of the file.
std::vector<std::uint8_t> ExifBlockOfTiff(const std::string& FileName, TFileBytes Bytes);

// The EXIF block to write with Image: its orientation, pixel dimensions and
// resolution set to the image's. Empty when the image has no EXIF and needs
// none (Always asks for a block that at least holds the resolution, for
// formats whose only resolution is in EXIF).
std::vector<std::uint8_t> ExifForOutput(const TImageData& Image, bool Always = false);

// Adds the EXIF of Image to the finished TIFF file Path, keeping the tags
// of the file's own pixels, profile and XMP as written.
void AddExifToTiff(const std::string& Path, const std::string& FileName, const std::vector<std::uint8_t>& Exif);

} // namespace fi
