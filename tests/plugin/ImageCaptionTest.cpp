#include <gtest/gtest.h>

#include "plugin/ImageCaption.h"

namespace fi {
namespace {

TEST(ImageCaption, NameLosesDirectoryAndExtension) {
    EXPECT_EQ(CaptionImageName("C:\\pics\\tree.bmp"), "tree");
    EXPECT_EQ(CaptionImageName("C:tree.old.bmp"), "tree.old");
    EXPECT_EQ(CaptionImageName("D:\\a.b\\noext"), "noext");
    EXPECT_EQ(CaptionImageName("/home/u/photo.png"), "photo");
    EXPECT_EQ(CaptionImageName(".hidden"), "");
    EXPECT_EQ(CaptionImageName(""), "");
}

TEST(ImageCaption, SettingsInTheirPatterns) {
    TInterpolatorSettings Settings;
    Settings.ScaleFactor = 2;
    Settings.TrainingRegion = 7;
    Settings.Lambda = 0.001;
    Settings.FilterStrength = 1.0f;
    EXPECT_EQ(ImageCaption("C:\\pics\\tree.bmp", Settings, '.'),
              "tree x2 region=7 regul=0.001 filter=1 clampw=0 normalize=0 clampres=0");
    // An image the host does not list: the caption starts with " x".
    Settings.ScaleFactor = 3;
    Settings.TrainingRegion = 11;
    Settings.Lambda = 0.5;
    Settings.FilterStrength = 2.345f;
    Settings.ClampWeights = Settings.NormalizeWeights = Settings.ClampResult = true;
    EXPECT_EQ(ImageCaption("", Settings, ','), " x3 region=11 regul=0,50 filter=2,35 clampw=1 normalize=1 clampres=1");
    Settings.Lambda = 1.23456789e-5;
    Settings.FilterStrength = 0.0f;
    EXPECT_EQ(ImageCaption("x", Settings, '.'), "x x3 region=11 regul=0.00001235 filter=0 clampw=1 normalize=1 clampres=1");
}

} // namespace
} // namespace fi
