#include "tools/ImageMetadata.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cmath>
#include <exception>

namespace fi {

namespace {

// exiv2 would print its warnings on stderr; the tool says what it drops itself.
void QuietExiv2() {
    static const bool Done = (Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute), true);
    (void)Done;
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Decodes an EXIF block; false for one exiv2 cannot read or that holds no tag.
bool DecodeExif(const std::vector<std::uint8_t>& Block, Exiv2::ExifData& Data, Exiv2::ByteOrder& Order) {
    try {
        Order = Exiv2::ExifParser::decode(Data, Block.data(), std::uint32_t(Block.size()));
    } catch (const std::exception&) {
        return false;
    }
    return Order != Exiv2::invalidByteOrder && !Data.empty();
}

std::vector<std::uint8_t> EncodeExif(const Exiv2::ExifData& Data, Exiv2::ByteOrder Order) {
    Exiv2::Blob Block;
    Exiv2::ExifParser::encode(Block, Order, Data);
    return Block;
}

// Pixels per unit from EXIF's rationals and unit (2 inch, 3 centimetre).
TResolution ExifResolution(const Exiv2::ExifData& Data) {
    TResolution R;
    const auto X = Data.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
    const auto Y = Data.findKey(Exiv2::ExifKey("Exif.Image.YResolution"));
    const auto Unit = Data.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
    if (X == Data.end() || Y == Data.end() || X->count() < 1 || Y->count() < 1) return R;
    const long U = Unit == Data.end() || Unit->count() < 1 ? 2 : Unit->toLong();
    if (U != 2 && U != 3) return R;
    R.X = X->toFloat();
    R.Y = Y->toFloat();
    R.Unit = U == 2 ? TResolutionUnit::ruInch : TResolutionUnit::ruCentimetre;
    if (!std::isfinite(R.X) || !std::isfinite(R.Y)) R = TResolution();
    return R;
}

std::int32_t ExifOrientation(const Exiv2::ExifData& Data) {
    const auto It = Data.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (It == Data.end() || It->count() < 1) return 1;
    const long Value = It->toLong();
    return Value >= 1 && Value <= 8 ? std::int32_t(Value) : 1;
}

// A rational near Value with a denominator fit for dots per unit.
Exiv2::URational Rational(double Value) {
    const std::uint32_t Denominator = Value < 40000 ? 10000 : 1;
    return {std::uint32_t(std::lround(Value * Denominator)), Denominator};
}

void SetIfPresent(Exiv2::ExifData& Data, const char* Key, std::uint32_t Value) {
    const auto It = Data.findKey(Exiv2::ExifKey(Key));
    if (It != Data.end()) *It = Value;
}

} // namespace

bool IccProfileLooksValid(const std::vector<std::uint8_t>& Profile) {
    return Profile.size() >= 132 && BigEndian32(Profile.data()) == Profile.size() && Profile[36] == 'a' &&
           Profile[37] == 'c' && Profile[38] == 's' && Profile[39] == 'p';
}

void CheckReadMetadata(const std::string& FileName, TImageData& Image) {
    QuietExiv2();
    TImageMetadata& M = Image.Metadata;
    if (!M.IccProfile.empty() && !IccProfileLooksValid(M.IccProfile)) {
        Image.Warnings.push_back(FileName + ": damaged ICC profile dropped");
        M.IccProfile.clear();
    }
    if (M.Exif.empty()) return;
    Exiv2::ExifData Data;
    Exiv2::ByteOrder Order = Exiv2::invalidByteOrder;
    if (!DecodeExif(M.Exif, Data, Order)) {
        Image.Warnings.push_back(FileName + ": damaged EXIF block dropped");
        M.Exif.clear();
        return;
    }
    if (Image.SourceFormat != TImageFormat::ifTiff) M.Orientation = ExifOrientation(Data);
    if (!M.Resolution.Known()) M.Resolution = ExifResolution(Data);
}

std::vector<std::uint8_t> ExifBlockOfTiff(const std::string& FileName, TFileBytes Bytes) {
    QuietExiv2();
    try {
        auto File = Exiv2::ImageFactory::open(Bytes.data(), long(Bytes.size()));
        File->readMetadata();
        Exiv2::ExifData Data = File->exifData();
        // Tags beyond the first image describe other pages of the file.
        for (auto It = Data.begin(); It != Data.end();)
            It = It->groupName() == "Image" || It->groupName() == "Photo" || It->groupName() == "GPSInfo" ||
                         It->groupName() == "Iop" || Exiv2::ExifTags::isMakerGroup(It->groupName())
                     ? std::next(It)
                     : Data.erase(It);
        for (const char* Key : {"Exif.Image.InterColorProfile", "Exif.Image.XMLPacket", "Exif.Image.ImageDescription"}) {
            const auto It = Data.findKey(Exiv2::ExifKey(Key));
            if (It != Data.end()) Data.erase(It);
        }
        // Encoding drops the tags of the TIFF's own pixels. Orientation and
        // resolution travel on their own: a block with nothing else says
        // nothing.
        std::vector<std::uint8_t> Block = EncodeExif(Data, File->byteOrder());
        Exiv2::ExifData Kept;
        Exiv2::ByteOrder Order = Exiv2::invalidByteOrder;
        const bool Any = DecodeExif(Block, Kept, Order) &&
                         std::any_of(Kept.begin(), Kept.end(), [](const Exiv2::Exifdatum& D) {
                             return !(D.groupName() == "Image" && (D.tag() == 0x112 || D.tag() == 0x11a ||
                                                                   D.tag() == 0x11b || D.tag() == 0x128));
                         });
        return Any ? Block : std::vector<std::uint8_t>();
    } catch (const std::exception& E) {
        FailFile(FileName, std::string("unreadable TIFF metadata (") + E.what() + ")");
    }
}

std::vector<std::uint8_t> ExifForOutput(const TImageData& Image, bool Always) {
    QuietExiv2();
    const TImageMetadata& M = Image.Metadata;
    Exiv2::ExifData Data;
    Exiv2::ByteOrder Order = Exiv2::littleEndian;
    if (M.Exif.empty() || !DecodeExif(M.Exif, Data, Order)) {
        if (!Always || !M.Resolution.Known()) return std::vector<std::uint8_t>();
        Data.clear();
        Order = Exiv2::littleEndian;
    }
    if (M.Orientation != 1 || Data.findKey(Exiv2::ExifKey("Exif.Image.Orientation")) != Data.end())
        Data["Exif.Image.Orientation"] = std::uint16_t(M.Orientation);
    SetIfPresent(Data, "Exif.Photo.PixelXDimension", std::uint32_t(Image.Width));
    SetIfPresent(Data, "Exif.Photo.PixelYDimension", std::uint32_t(Image.Height));
    if (M.Resolution.Known()) {
        Data["Exif.Image.XResolution"] = Rational(M.Resolution.X);
        Data["Exif.Image.YResolution"] = Rational(M.Resolution.Y);
        Data["Exif.Image.ResolutionUnit"] = std::uint16_t(M.Resolution.Unit == TResolutionUnit::ruInch ? 2 : 3);
    }
    return EncodeExif(Data, Order);
}

void AddExifToTiff(const std::string& Path, const std::string& FileName, const std::vector<std::uint8_t>& Exif) {
    QuietExiv2();
    Exiv2::ExifData Data;
    Exiv2::ByteOrder Order = Exiv2::invalidByteOrder;
    if (Exif.empty() || !DecodeExif(Exif, Data, Order)) return;
    try {
        auto File = Exiv2::ImageFactory::open(Path);
        File->readMetadata();
        // The file's XMP packet stays byte for byte.
        File->writeXmpFromPacket(true);
        Exiv2::ExifData& Target = File->exifData();
        // The file's own tags of its pixels stay; a thumbnail would read as a
        // second page.
        for (const Exiv2::Exifdatum& D : Data)
            if (D.groupName() != "Thumbnail" && Target.findKey(Exiv2::ExifKey(D.key())) == Target.end()) Target.add(D);
        File->writeMetadata();
    } catch (const std::exception& E) {
        FailFile(FileName, std::string("cannot write the EXIF block (") + E.what() + ")");
    }
}

} // namespace fi
