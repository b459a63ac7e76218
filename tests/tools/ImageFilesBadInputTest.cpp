// Bad input and failed output: a one-line error naming the file, no crash,
// no allocation for what a header merely claims, and no partial file.
#include "tools/ImageFiles.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>

#include "ImageTestSupport.h"

namespace fi::test {
namespace {

class ImageFilesBadInput : public TScratchFolder {
protected:
    // The error is ours, one line, and starts with the file's name.
    void ExpectReadError(const std::string& Path, const std::string& Part) {
        try {
            ReadImageFile(Path);
            ADD_FAILURE() << Path << " was read";
        } catch (const EImageFile& E) {
            const std::string Message = E.what();
            EXPECT_EQ(Message.rfind(Path + ": ", 0), 0u) << Message;
            EXPECT_EQ(Message.find('\n'), std::string::npos) << Message;
            EXPECT_NE(Message.find(Part), std::string::npos) << Message;
        }
    }

    std::string ValidFile(const std::string& Name, std::int32_t W = 40, std::int32_t H = 30) {
        const std::string Path = PathOf(Name);
        const bool Jpeg = Name.ends_with(".jpg");
        WriteImageFile(Path, Jpeg ? SmoothImage(W, H, 3) : PatternImage(W, H, 3, false, TSampleType::st8bit));
        return Path;
    }
};

TEST_F(ImageFilesBadInput, MissingEmptyFolderAndForeignFiles) {
    ExpectReadError(PathOf("missing.png"), "No such file");
    Save(PathOf("empty.png"), {});
    ExpectReadError(PathOf("empty.png"), "empty file");
    ExpectReadError(Folder.string(), "not a regular file");
    Save(PathOf("notes.png"), {'h', 'e', 'l', 'l', 'o', '\n'});
    ExpectReadError(PathOf("notes.png"), "not a PNG, JPEG, TIFF, BMP or WebP image");
    Save(PathOf("B.png"), {'B'});
    ExpectReadError(PathOf("B.png"), "not a PNG");
}

TEST_F(ImageFilesBadInput, TruncatedFilesOfEveryFormat) {
    for (const char* Name : {"cut.png", "cut.jpg", "cut.tif", "cut.bmp", "cut.webp"}) {
        const std::string Path = ValidFile(Name);
        const std::vector<char> Whole = Load(Path);
        // Cut inside the pixel data, and just after the signature.
        for (const std::size_t Keep : {Whole.size() * 2 / 3, std::size_t(10)}) {
            Save(Path, std::vector<char>(Whole.begin(), Whole.begin() + std::ptrdiff_t(Keep)));
            ExpectReadError(Path, "");
        }
    }
}

TEST_F(ImageFilesBadInput, PngCorruptedDataFailsItsChecksum) {
    const std::string Path = ValidFile("crc.png");
    std::vector<char> Bytes = Load(Path);
    Bytes[Bytes.size() / 2] ^= 0x55;
    Save(Path, Bytes);
    ExpectReadError(Path, "corrupt or truncated PNG");
}

TEST_F(ImageFilesBadInput, LyingHeadersAreRefusedBeforeAllocation) {
    // PNG: a valid 1 x 1 file whose header claims 15000 x 15000 (CRC mended).
    std::string Path = ValidFile("big.png", 1, 1);
    std::vector<char> Bytes = Load(Path);
    PutBig32(&Bytes[16], 15000);
    PutBig32(&Bytes[20], 15000);
    PutBig32(&Bytes[29], Crc32(&Bytes[12], 17));
    Save(Path, Bytes);
    ExpectReadError(Path, "cannot fit in");
    // Beyond what the engine takes: refused with the size and the limit.
    PutBig32(&Bytes[16], 100000);
    PutBig32(&Bytes[20], 100000);
    PutBig32(&Bytes[29], Crc32(&Bytes[12], 17));
    Save(Path, Bytes);
    ExpectReadError(Path, "the image of 100000 x 100000 pixels is too large (at most 250000000 pixels)");

    // JPEG: the frame header's size patched to 15000 x 15000.
    Path = ValidFile("big.jpg", 16, 16);
    Bytes = Load(Path);
    std::size_t Frame = 2;
    while (Frame + 9 < Bytes.size() && !(std::uint8_t(Bytes[Frame]) == 0xFF && std::uint8_t(Bytes[Frame + 1]) == 0xC0))
        Frame += 2 + (std::size_t(std::uint8_t(Bytes[Frame + 2])) << 8 | std::uint8_t(Bytes[Frame + 3]));
    ASSERT_LT(Frame + 9, Bytes.size());
    Bytes[Frame + 5] = char(0x3A), Bytes[Frame + 6] = char(0x98); // height
    Bytes[Frame + 7] = char(0x3A), Bytes[Frame + 8] = char(0x98); // width
    Save(Path, Bytes);
    ExpectReadError(Path, "cannot fit in");

    // BMP: header of 15000 x 15000 pixels in a file of a few bytes, and one
    // whose pixel count overflows 64 bits once counted in bytes.
    Path = ValidFile("big.bmp", 2, 2);
    Bytes = Load(Path);
    const std::uint32_t Side = 15000;
    std::memcpy(&Bytes[18], &Side, 4);
    std::memcpy(&Bytes[22], &Side, 4);
    Save(Path, Bytes);
    ExpectReadError(Path, "corrupt or truncated BMP");
    const std::uint32_t Huge = 0x7FFFFFFF;
    std::memcpy(&Bytes[18], &Huge, 4);
    std::memcpy(&Bytes[22], &Huge, 4);
    Save(Path, Bytes);
    ExpectReadError(Path, "the image of 2147483647 x 2147483647 pixels is too large");
    const std::uint32_t Negative = 0x80000000;
    std::memcpy(&Bytes[18], &Negative, 4);
    Save(Path, Bytes);
    ExpectReadError(Path, "invalid image size");
}

// An animated PNG is refused as animated WebP is, naming the frames; an
// acTL chunk of one frame is a still image.
TEST_F(ImageFilesBadInput, AnimatedPngIsRefused) {
    const std::string Path = ValidFile("anim.png", 3, 2);
    const std::vector<char> Still = Load(Path);
    Save(Path, WithFrames(Still, 4));
    ExpectReadError(Path, "unsupported animated PNG (4 frames; only still images are enlarged)");
    Save(Path, WithFrames(Still, 1));
    EXPECT_EQ(ReadImageFile(Path).Width, 3);
}

TEST_F(ImageFilesBadInput, UnwritableOutputLeavesNothing) {
    const TImageData Image = PatternImage(4, 4, 3, false, TSampleType::st8bit);
    try {
        WriteImageFile(PathOf("no/such/folder/out.png"), Image);
        ADD_FAILURE();
    } catch (const EImageFile& E) {
        EXPECT_NE(std::string(E.what()).find("out.png: cannot create"), std::string::npos) << E.what();
    }
    // The name is taken by a folder: the complete temporary file cannot be
    // renamed and is removed.
    std::filesystem::create_directory(PathOf("taken.png"));
    EXPECT_THROW(WriteImageFile(PathOf("taken.png"), Image), EImageFile);
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken.png"});
}

TEST_F(ImageFilesBadInput, FailureWhileWritingKeepsTheOldFile) {
    const std::string Png = ValidFile("keep.png");
    const std::vector<char> Before = Load(Png);
    // libpng refuses a width over its limit of a million after the file is open.
    TImageData Wide = PatternImage(1000001, 1, 1, false, TSampleType::st8bit);
    EXPECT_THROW(WriteImageFile(Png, Wide), EImageFile);
    EXPECT_EQ(Load(Png), Before);
    EXPECT_EQ(Entries(), std::vector<std::string>{"keep.png"});

    // A full disk, played by the file size limit, for every format.
    // Noise, so that no compression gets it under the limit.
    TImageData Big = PatternImage(300, 200, 3, false, TSampleType::st8bit);
    std::uint32_t Seed = 12345;
    for (std::uint8_t& v : Big.Samples.U8()) v = std::uint8_t((Seed = Seed * 1664525u + 1013904223u) >> 24);
    struct rlimit Old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Old), 0);
    auto* OldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit Small = Old;
    Small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Small), 0);
    std::vector<std::string> Failed;
    for (const char* Name : {"full.png", "full.jpg", "full.tif", "full.bmp"}) {
        try {
            WriteImageFile(PathOf(Name), Big, TWriteOptions{100});
        } catch (const EImageFile& E) {
            if (std::string(E.what()).rfind(PathOf(Name) + ": ", 0) == 0) Failed.push_back(Name);
        }
    }
    setrlimit(RLIMIT_FSIZE, &Old);
    signal(SIGXFSZ, OldHandler);
    EXPECT_EQ(Failed, (std::vector<std::string>{"full.png", "full.jpg", "full.tif", "full.bmp"}));
    EXPECT_EQ(Entries(), std::vector<std::string>{"keep.png"});
}

} // namespace
} // namespace fi::test
