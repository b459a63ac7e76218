#include <gtest/gtest.h>

#include <cstring>

#include "common/ProtectedMemory.h"
#include "plugin/HostRecorder.h"
#include "plugin/PluginLinearBitmap.h"

namespace fi {
namespace {

using test::THostRecorder;
using test::THostScope;
using test::TProtectedMemory;

HostImage MakeImage(std::int32_t W, std::int32_t H, std::int32_t Stride, std::int32_t Format, std::uint8_t* Pixels,
                    std::uint8_t* Palette = nullptr) {
    HostImage Image{};
    Image.Width = W;
    Image.Height = H;
    Image.BytesPerLine = Stride;
    Image.Format = Format;
    Image.Pixels = Pixels;
    Image.Palette = Palette;
    return Image;
}

std::string AttachError(const HostImage& Image) {
    try {
        TPluginLinearBitmap Bitmap(&Image);
    } catch (const ELinearBitmap& Failure) {
        return Failure.what();
    }
    return "";
}

TEST(PluginLinearBitmap, MalformedHostImagesAreRefused) {
    std::uint8_t Pixels[64] = {};
    EXPECT_EQ(AttachError(MakeImage(0, 2, 4, hfIndexed8, Pixels)), SInvalidBitmapSize);
    EXPECT_EQ(AttachError(MakeImage(2, 0, 4, hfIndexed8, Pixels)), SInvalidBitmapSize);
    EXPECT_EQ(AttachError(MakeImage(-2, 2, 4, hfIndexed8, Pixels)), SInvalidBitmapSize);
    EXPECT_EQ(AttachError(MakeImage(2, 2, 4, hfIndexed8, nullptr)), SInvalidBitmapSize);
    EXPECT_EQ(AttachError(MakeImage(2, 2, 8, 2, Pixels)), SUnsupportedPixelFormat);
    EXPECT_EQ(AttachError(MakeImage(2, 2, 16, hfDouble, Pixels)), SUnsupportedPixelFormat);
    // Rows shorter than a pixel row would overlap.
    EXPECT_EQ(AttachError(MakeImage(3, 2, 8, hfBgr24, Pixels)), SInvalidBitmapSize);
    EXPECT_EQ(AttachError(MakeImage(3, 2, -8, hfBgr24, Pixels)), SInvalidBitmapSize);
    EXPECT_EQ(AttachError(MakeImage(3, 2, 9, hfBgr24, Pixels)), "");
}

TEST(PluginLinearBitmap, NullPaletteGetsAFreshRampAndIsExported) {
    std::uint8_t Pixels[6] = {1, 2, 3, 4, 5, 6};
    const HostImage Image = MakeImage(3, 2, 3, hfIndexed8, Pixels);
    TPluginLinearBitmap Bitmap(&Image);
    ASSERT_NE(Bitmap.Palette, nullptr);
    EXPECT_NE(Bitmap.Palette, &GrayPalette[0]);
    EXPECT_EQ(Bitmap.HostPalette, nullptr);
    EXPECT_TRUE(Bitmap.IsGrayscale());
    HostImage Out;
    TPluginLinearBitmap::ExportToHost(&Bitmap, Out, false);
    EXPECT_EQ(Out.Format, hfIndexed8);
    EXPECT_EQ(Out.Palette, reinterpret_cast<std::uint8_t*>(Bitmap.Palette));
    EXPECT_EQ(Out.Further, 0);
}

TEST(PluginLinearBitmap, HostPaletteIsExportedAsTheHostsOwn) {
    std::uint8_t Pixels[4] = {};
    std::uint8_t Palette[768];
    for (int i = 0; i < 768; ++i) Palette[i] = std::uint8_t(i / 3);
    const HostImage Image = MakeImage(2, 2, 2, hfIndexed8, Pixels, Palette);
    TPluginLinearBitmap Bitmap(&Image);
    EXPECT_TRUE(Bitmap.IsGrayscale());
    Bitmap.DetachFromHost();
    HostImage Out;
    TPluginLinearBitmap::ExportToHost(&Bitmap, Out, false);
    EXPECT_EQ(Out.Palette, Palette);
    EXPECT_NE(Out.Pixels, Pixels);
    Palette[5] = 0; // entry 1 is no longer gray
    EXPECT_FALSE(Bitmap.IsGrayscale());
}

TEST(PluginLinearBitmap, StridedAndBottomUpRowsDetachPacked) {
    // Two rows of 2 colour pixels, 8 bytes apart.
    std::uint8_t Pixels[16];
    for (int i = 0; i < 16; ++i) Pixels[i] = std::uint8_t(i);
    HostImage Image = MakeImage(2, 2, 8, hfBgr24, Pixels);
    TPluginLinearBitmap Bitmap(&Image);
    EXPECT_EQ(Bitmap.Map, Pixels);
    EXPECT_EQ(Bitmap.PixelPtr(1, 1), Pixels + 11);
    Bitmap.DetachFromHost();
    EXPECT_EQ(Bitmap.BytesPerLine, 6);
    EXPECT_EQ(Bitmap.Size, 12);
    EXPECT_EQ(Bitmap.HostPixels, nullptr);
    const std::uint8_t Packed[12] = {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13};
    EXPECT_EQ(std::memcmp(Bitmap.Map, Packed, 12), 0);
    // A second detach changes nothing.
    std::uint8_t* Own = Bitmap.Map;
    Bitmap.DetachFromHost();
    EXPECT_EQ(Bitmap.Map, Own);

    // Row 0 last in memory: the host points at it and steps backwards.
    Image = MakeImage(2, 2, -8, hfBgr24, Pixels + 8);
    TPluginLinearBitmap BottomUp(&Image);
    BottomUp.PackRows();
    const std::uint8_t Flipped[12] = {8, 9, 10, 11, 12, 13, 0, 1, 2, 3, 4, 5};
    EXPECT_EQ(std::memcmp(BottomUp.Map, Flipped, 12), 0);
    EXPECT_EQ(BottomUp.HostPixels, nullptr);
}

TEST(PluginLinearBitmap, ExportRefusesOtherFormatsAndDetachHandsOver) {
    std::uint8_t Pixels[16] = {};
    const HostImage Image = MakeImage(2, 2, 8, hfBits32, Pixels);
    TPluginLinearBitmap Wide(&Image);
    HostImage Out;
    EXPECT_THROW(TPluginLinearBitmap::ExportToHost(&Wide, Out, false), ELinearBitmap);

    TPluginLinearBitmap::ExportToHost(nullptr, Out, false);
    EXPECT_EQ(Out.Width, 0);
    EXPECT_EQ(Out.Pixels, nullptr);

    const HostImage Gray = MakeImage(2, 2, 2, hfIndexed8, Pixels);
    TPluginLinearBitmap Bitmap(&Gray);
    Bitmap.DetachFromHost();
    Bitmap.SetSize(2, 2, TPixelFormat::pf16bit);
    EXPECT_THROW(TPluginLinearBitmap::ExportToHost(&Bitmap, Out, false), ELinearBitmap);
    Bitmap.SetSize(3, 1, TPixelFormat::pf24bit);
    TPluginLinearBitmap::ExportToHost(&Bitmap, Out, true);
    EXPECT_EQ(Out.Format, hfBgr24);
    EXPECT_EQ(Out.BytesPerLine, 9);
    EXPECT_EQ(Out.Palette, nullptr);
    EXPECT_FALSE(Bitmap.Present);
    EXPECT_EQ(Bitmap.Map, nullptr);
    std::free(Out.Pixels); // the receiver owns the buffer now
}

TEST(PluginLinearBitmap, HostBuffersAreNeverWritten) {
    // Every step over the host's image with its pixels and palette read-only;
    // a write (or a read past the end) faults.
    for (const std::int32_t Format : {hfIndexed8, hfBgr24, hfBits32}) {
        const std::int32_t W = 5, H = 4, Stride = W * Format + 3;
        TProtectedMemory Pixels(std::size_t(Stride) * H);
        TProtectedMemory Palette(768);
        for (int i = 0; i < Stride * H; ++i) Pixels.Data()[i] = std::uint8_t(i * 7);
        for (int i = 0; i < 768; ++i) Palette.Data()[i] = std::uint8_t(i / 3);
        Pixels.MakeReadOnly();
        Palette.MakeReadOnly();
        const HostImage Image = MakeImage(W, H, Stride, Format, Pixels.Data(), Palette.Data());
        {
            TPluginLinearBitmap Attached(&Image);
            HostImage Out;
            if (Format != hfBits32) TPluginLinearBitmap::ExportToHost(&Attached, Out, false);
            (void)Attached.IsGrayscale();
        }
        {
            TPluginLinearBitmap Packed(&Image);
            Packed.PackRows();
            EXPECT_EQ(Packed.BytesPerLine, W * Format);
        }
        TPluginLinearBitmap Bitmap(&Image);
        Bitmap.DetachFromHost();
        EXPECT_EQ(Bitmap.PixelPtr(4, 3)[0], Pixels.Data()[3 * Stride + 4 * Format]);
        Bitmap.Map[0] = 1; // the detached copy is the plug-in's own
        if (Format != hfBits32) {
            HostImage Out;
            TPluginLinearBitmap::ExportToHost(&Bitmap, Out, false);
            EXPECT_EQ(Out.Pixels, Bitmap.Map);
        }
        Bitmap.AttachHostImage(&Image); // re-attaching frees only the plug-in's copy
        EXPECT_EQ(Bitmap.Map, Pixels.Data());
    }
}

TEST(PluginLinearBitmap, TheHostsPaletteIsNeverFreedOrWritten) {
    const std::int32_t W = 6, H = 4;
    std::vector<std::uint8_t> Pixels(std::size_t(W * H), 40);
    TProtectedMemory Palette(768);
    for (int i = 0; i < 768; ++i) Palette.Data()[i] = std::uint8_t(i / 3);
    Palette.MakeReadOnly();
    const HostImage Image = MakeImage(W, H, W, hfIndexed8, Pixels.data(), Palette.Data());
    TPluginLinearBitmap Bitmap(&Image);
    Bitmap.DetachFromHost();
    // A size beyond the limits fails after the old buffers are gone.
    EXPECT_THROW(Bitmap.SetSize(50000, 50000, TPixelFormat::pf8bit), ELinearBitmap);
    EXPECT_FALSE(Bitmap.Present);

    Bitmap.AttachHostImage(&Image);
    Bitmap.DetachFromHost();
    // A new size gets a palette of its own, a copy of the host's, to write to.
    Bitmap.SetSize(2 * W, 2 * H, TPixelFormat::pf8bit);
    ASSERT_NE(reinterpret_cast<std::uint8_t*>(Bitmap.Palette), Palette.Data());
    EXPECT_EQ(std::memcmp(Bitmap.Palette, Palette.Data(), 768), 0);
    Bitmap.Palette[0].Red = 9;

    Bitmap.AttachHostImage(&Image);
    Bitmap.SetSize(W, H, TPixelFormat::pf24bit); // drops the borrowed palette and pixels unfreed
    EXPECT_EQ(Bitmap.Palette, nullptr);
}

TEST(PluginLinearBitmap, ProgressIsForwardedAndZeroAborts) {
    THostRecorder Recorder;
    THostScope Scope(Recorder);
    RegisterWithHost(&THostRecorder::Callback);
    TProgressUpdate::ProgressUpdate(42);
    EXPECT_EQ(Recorder.Progress, std::vector<std::int32_t>{42});
    Recorder.ProgressAnswer = 0;
    EXPECT_THROW(TProgressUpdate::ProgressUpdate(43), EAbort);
    EXPECT_EQ(Recorder.Progress, (std::vector<std::int32_t>{42, 43}));
}

} // namespace
} // namespace fi
