#pragma once
// A scratch folder per test, images filled with patterns that reach every
// sample's extremes, and the metadata of a photo: a wide-gamut ICC profile
// built here, a camera's EXIF block and an XMP packet.
#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/ImageConversion.h"
#include "tools/ImageFiles.h"

namespace fi::test {

class TScratchFolder : public ::testing::Test {
protected:
    std::filesystem::path Folder;

    void SetUp() override {
        std::string Template = (std::filesystem::temp_directory_path() / "fi-tools-XXXXXX").string();
        ASSERT_NE(::mkdtemp(Template.data()), nullptr);
        Folder = Template;
    }
    void TearDown() override { std::filesystem::remove_all(Folder); }

    std::string PathOf(const std::string& Name) const { return (Folder / Name).string(); }

    // Names in the folder, to see that no temporary file stayed behind.
    std::vector<std::string> Entries() const {
        std::vector<std::string> Names;
        for (const auto& Entry : std::filesystem::directory_iterator(Folder)) Names.push_back(Entry.path().filename());
        std::sort(Names.begin(), Names.end());
        return Names;
    }

    static std::vector<char> Load(const std::string& Path) {
        std::ifstream In(Path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    }
    static void Save(const std::string& Path, const std::vector<char>& Bytes) {
        std::ofstream Out(Path, std::ios::binary);
        Out.write(Bytes.data(), std::streamsize(Bytes.size()));
    }
};

// Every sample differs from its neighbours and the extremes occur.
inline TImageData PatternImage(std::int32_t W, std::int32_t H, std::int32_t Channels, bool Alpha, TSampleType Type) {
    TImageData Image;
    Image.Allocate(W, H, Channels, Alpha, Type);
    const std::size_t Count = Image.SampleCount();
    for (std::size_t i = 0; i < Count; ++i) {
        const std::size_t k = i * 7919 + i / 3;
        switch (Type) {
        case TSampleType::st8bit: Image.Samples.U8()[i] = std::uint8_t(i == 0 ? 0 : i == 1 ? 255 : k % 256); break;
        case TSampleType::st16bit: Image.Samples.U16()[i] = std::uint16_t(i == 0 ? 0 : i == 1 ? 65535 : k * 31 % 65536); break;
        case TSampleType::stFloat64: Image.Samples.Float()[i] = (double(k % 1000) - 250.0) / 512.0; break;
        }
    }
    return Image;
}

// A smooth picture, for the lossy format.
inline TImageData SmoothImage(std::int32_t W, std::int32_t H, std::int32_t Channels) {
    TImageData Image;
    Image.Allocate(W, H, Channels, false, TSampleType::st8bit);
    for (std::int32_t y = 0; y < H; ++y)
        for (std::int32_t x = 0; x < W; ++x)
            for (std::int32_t c = 0; c < Channels; ++c)
                Image.Samples.U8()[(std::size_t(y) * W + x) * Channels + c] = std::uint8_t(40 + x + y + c * 20);
    return Image;
}

// An ICC profile of a monitor with Adobe RGB's primaries (as adapted to D50)
// and a gamma of 2.2, made byte by byte: a profile that is not sRGB.
inline std::vector<std::uint8_t> WideGamutProfile() {
    std::vector<std::uint8_t> P(128);
    const auto Put32 = [&](std::size_t At, std::uint32_t v) {
        if (P.size() < At + 4) P.resize(At + 4);
        for (int i = 0; i < 4; ++i) P[At + i] = std::uint8_t(v >> (24 - 8 * i));
    };
    const auto Tag = [&](const char* Sig) { return std::uint32_t(Sig[0]) << 24 | Sig[1] << 16 | Sig[2] << 8 | Sig[3]; };
    const auto Fixed = [](double v) { return std::uint32_t(std::int32_t(std::lround(v * 65536))); };
    Put32(8, 0x02100000);
    Put32(12, Tag("mntr"));
    Put32(16, Tag("RGB "));
    Put32(20, Tag("XYZ "));
    Put32(36, Tag("acsp"));
    Put32(68, Fixed(0.9642)), Put32(72, Fixed(1.0)), Put32(76, Fixed(0.8249));
    struct TTag {
        const char* Sig;
        std::vector<double> Xyz;
    };
    const TTag Tags[] = {{"wtpt", {0.9642, 1.0, 0.8249}},
                         {"rXYZ", {0.6097, 0.3111, 0.0195}},
                         {"gXYZ", {0.2053, 0.6257, 0.0609}},
                         {"bXYZ", {0.1492, 0.0632, 0.7446}},
                         {"rTRC", {}},
                         {"gTRC", {}},
                         {"bTRC", {}}};
    const std::size_t Count = std::size(Tags);
    Put32(128, std::uint32_t(Count));
    std::size_t Data = 132 + 12 * Count;
    for (std::size_t i = 0; i < Count; ++i) {
        const std::size_t Entry = 132 + 12 * i;
        Put32(Entry, Tag(Tags[i].Sig));
        Put32(Entry + 4, std::uint32_t(Data));
        if (Tags[i].Xyz.empty()) {
            Put32(Entry + 8, 14);
            Put32(Data, Tag("curv")), Put32(Data + 4, 0), Put32(Data + 8, 1), Put32(Data + 12, 0x02330000);
            Data += 16;
        } else {
            Put32(Entry + 8, 20);
            Put32(Data, Tag("XYZ ")), Put32(Data + 4, 0);
            for (std::size_t k = 0; k < 3; ++k) Put32(Data + 8 + 4 * k, Fixed(Tags[i].Xyz[k]));
            Data += 20;
        }
    }
    Put32(0, std::uint32_t(P.size()));
    return P;
}

// A camera's EXIF block with the given orientation.
inline std::vector<std::uint8_t> CameraExif(std::uint16_t Orientation, std::uint32_t Width = 64) {
    Exiv2::ExifData Data;
    Data["Exif.Image.Make"] = "Fractal Test Camera";
    Data["Exif.Image.Model"] = "FT-1";
    Data["Exif.Image.Orientation"] = Orientation;
    Data["Exif.Photo.DateTimeOriginal"] = "2026:01:02 03:04:05";
    Data["Exif.Photo.PixelXDimension"] = Width;
    Exiv2::Blob Block;
    Exiv2::ExifParser::encode(Block, Exiv2::littleEndian, Data);
    return Block;
}

// The value of Key in an EXIF block; empty when the block or the key is missing.
inline std::string ExifValue(const std::vector<std::uint8_t>& Block, const char* Key) {
    if (Block.empty()) return std::string();
    Exiv2::ExifData Data;
    Exiv2::ExifParser::decode(Data, Block.data(), std::uint32_t(Block.size()));
    const auto It = Data.findKey(Exiv2::ExifKey(Key));
    return It == Data.end() ? std::string() : It->toString();
}

inline const char* const XmpPacket =
    "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Rating=\"4\"/>"
    "</rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";

// A photo's metadata: the wide-gamut profile, a camera's EXIF turned by
// Orientation, an XMP packet and 300 dots per inch.
inline void AddPhotoMetadata(TImageData& Image, std::uint16_t Orientation = 6) {
    Image.Metadata.IccProfile = WideGamutProfile();
    Image.Metadata.Exif = CameraExif(Orientation, std::uint32_t(Image.Width));
    Image.Metadata.Orientation = Orientation;
    Image.Metadata.Xmp = XmpPacket;
    Image.Metadata.Resolution = {300, 300, TResolutionUnit::ruInch};
}

// The CRC of PNG chunks, for files patched by hand.
inline std::uint32_t Crc32(const char* Data, std::size_t Length) {
    std::uint32_t Crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < Length; ++i) {
        Crc ^= static_cast<std::uint8_t>(Data[i]);
        for (int k = 0; k < 8; ++k) Crc = (Crc >> 1) ^ (0xEDB88320u & (0u - (Crc & 1)));
    }
    return ~Crc;
}

inline void PutBig32(char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = char(v >> (24 - 8 * i));
}

// A PNG file with an acTL chunk announcing Frames frames, after the 8-byte
// signature and the 25-byte IHDR chunk.
inline std::vector<char> WithFrames(std::vector<char> Png, std::uint32_t Frames) {
    std::vector<char> Chunk(20);
    PutBig32(&Chunk[0], 8);
    std::memcpy(&Chunk[4], "acTL", 4);
    PutBig32(&Chunk[8], Frames);
    PutBig32(&Chunk[12], 0);
    PutBig32(&Chunk[16], Crc32(&Chunk[4], 12));
    Png.insert(Png.begin() + 33, Chunk.begin(), Chunk.end());
    return Png;
}

// Dots per inch of a resolution, whatever its unit.
inline double DotsPerInch(double Value, TResolutionUnit Unit) {
    return Unit == TResolutionUnit::ruCentimetre ? Value * 2.54 : Value;
}

} // namespace fi::test
