// A photo's profile, EXIF, XMP and resolution through every format that can
// hold them and across formats, and what happens to damaged blocks.
#include "tools/ImageMetadata.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

void ExpectPhotoMetadata(const TImageData& Back, const std::string& Where) {
    const TImageMetadata& M = Back.Metadata;
    EXPECT_EQ(M.IccProfile, WideGamutProfile()) << Where;
    EXPECT_EQ(ExifValue(M.Exif, "Exif.Image.Make"), "Fractal Test Camera") << Where;
    EXPECT_EQ(ExifValue(M.Exif, "Exif.Photo.DateTimeOriginal"), "2026:01:02 03:04:05") << Where;
    EXPECT_EQ(ExifValue(M.Exif, "Exif.Image.Orientation"), "6") << Where;
    EXPECT_EQ(ExifValue(M.Exif, "Exif.Photo.PixelXDimension"), std::to_string(Back.Width)) << Where;
    EXPECT_EQ(M.Orientation, 6) << Where;
    EXPECT_NE(M.Xmp.find("xmp:Rating=\"4\""), std::string::npos) << Where;
    ASSERT_TRUE(M.Resolution.Known()) << Where;
    EXPECT_NEAR(DotsPerInch(M.Resolution.X, M.Resolution.Unit), 300, 0.01) << Where;
    EXPECT_NEAR(DotsPerInch(M.Resolution.Y, M.Resolution.Unit), 300, 0.01) << Where;
    EXPECT_TRUE(Back.Warnings.empty()) << Where << ": " << (Back.Warnings.empty() ? "" : Back.Warnings[0]);
}

class MetadataRoundTrip : public TScratchFolder, public ::testing::WithParamInterface<const char*> {};

TEST_P(MetadataRoundTrip, ProfileExifXmpAndResolutionSurvive) {
    TImageData Image = SmoothImage(48, 32, 3);
    AddPhotoMetadata(Image);
    Image.Caption = "photo x2 region=7";
    const std::string Path = PathOf(std::string("photo.") + GetParam());
    EXPECT_TRUE(WriteImageFile(Path, Image).empty());
    const TImageData Back = ReadImageFile(Path);
    ExpectPhotoMetadata(Back, Path);
    // WebP has no place for the caption; the others keep it beside the metadata.
    EXPECT_EQ(Back.Caption, std::string(GetParam()) == "webp" ? "" : Image.Caption);
}

INSTANTIATE_TEST_SUITE_P(Formats, MetadataRoundTrip, ::testing::Values("jpg", "png", "tif", "webp"));

// The way the command line hands metadata on: read, write as another format.
TEST_F(TScratchFolder, MetadataGoesAcrossFormats) {
    TImageData Image = SmoothImage(40, 24, 3);
    AddPhotoMetadata(Image);
    std::string From = PathOf("0.jpg");
    WriteImageFile(From, Image);
    int Step = 1;
    for (const char* Format : {"png", "tif", "webp", "jpg", "tif", "jpg", "webp", "png"}) {
        const std::string To = PathOf(std::to_string(Step++) + "." + Format);
        const TImageData Back = ReadImageFile(From);
        ExpectPhotoMetadata(Back, From);
        EXPECT_TRUE(WriteImageFile(To, Back).empty()) << To;
        From = To;
    }
    ExpectPhotoMetadata(ReadImageFile(From), From);
}

TEST_F(TScratchFolder, WrittenExifFollowsTheImage) {
    TImageData Image = SmoothImage(30, 20, 1);
    AddPhotoMetadata(Image, 3);
    Image.Metadata.Resolution = {118.11, 118.11, TResolutionUnit::ruCentimetre};
    // After turning the pixels the tag says so, and the block names the new width.
    Image.Metadata.Orientation = 1;
    const std::vector<std::uint8_t> Exif = ExifForOutput(Image);
    EXPECT_EQ(ExifValue(Exif, "Exif.Image.Orientation"), "1");
    EXPECT_EQ(ExifValue(Exif, "Exif.Photo.PixelXDimension"), "30");
    EXPECT_EQ(ExifValue(Exif, "Exif.Image.ResolutionUnit"), "3");
    EXPECT_EQ(ExifValue(Exif, "Exif.Image.Make"), "Fractal Test Camera");
    // Without EXIF only a format whose resolution lives in EXIF gets a block.
    Image.Metadata.Exif.clear();
    EXPECT_TRUE(ExifForOutput(Image).empty());
    EXPECT_EQ(ExifValue(ExifForOutput(Image, true), "Exif.Image.XResolution"), "1181100/10000");
}

TEST(ImageMetadata, ProfileHeaderCheck) {
    std::vector<std::uint8_t> Profile = WideGamutProfile();
    EXPECT_TRUE(IccProfileLooksValid(Profile));
    Profile.push_back(0); // the length no longer matches the header's
    EXPECT_FALSE(IccProfileLooksValid(Profile));
    Profile.pop_back();
    Profile[36] = 'x';
    EXPECT_FALSE(IccProfileLooksValid(Profile));
    EXPECT_FALSE(IccProfileLooksValid(std::vector<std::uint8_t>(100)));
}

// The first occurrence of Text in Bytes.
std::size_t Find(const std::vector<char>& Bytes, const std::string& Text) {
    const auto It = std::search(Bytes.begin(), Bytes.end(), Text.begin(), Text.end());
    return It == Bytes.end() ? std::string::npos : std::size_t(It - Bytes.begin());
}

TEST_F(TScratchFolder, DamagedProfileAndExifAreDroppedWithAWarning) {
    TImageData Image = SmoothImage(32, 16, 3);
    AddPhotoMetadata(Image);
    // A profile whose header claims another length.
    Image.Metadata.IccProfile[3] ^= 4;
    WriteImageFile(PathOf("icc.jpg"), Image);
    TImageData Back = ReadImageFile(PathOf("icc.jpg"));
    EXPECT_TRUE(Back.Metadata.IccProfile.empty());
    ASSERT_EQ(Back.Warnings.size(), 1u);
    EXPECT_EQ(Back.Warnings[0], PathOf("icc.jpg") + ": damaged ICC profile dropped");
    EXPECT_EQ(ExifValue(Back.Metadata.Exif, "Exif.Image.Model"), "FT-1");

    // An EXIF block whose first directory lies past its end.
    Image.Metadata.IccProfile = WideGamutProfile();
    WriteImageFile(PathOf("exif.jpg"), Image);
    std::vector<char> Bytes = Load(PathOf("exif.jpg"));
    const std::size_t Exif = Find(Bytes, std::string("Exif\0\0II*\0", 10));
    ASSERT_NE(Exif, std::string::npos);
    std::memset(&Bytes[Exif + 10], 0x7F, 4);
    Save(PathOf("exif.jpg"), Bytes);
    Back = ReadImageFile(PathOf("exif.jpg"));
    EXPECT_TRUE(Back.Metadata.Exif.empty());
    EXPECT_EQ(Back.Warnings, std::vector<std::string>{PathOf("exif.jpg") + ": damaged EXIF block dropped"});
    EXPECT_EQ(Back.Metadata.IccProfile, WideGamutProfile());
    EXPECT_EQ(Back.Samples.Size(), Image.Samples.Size());
}

} // namespace
} // namespace fi::test
