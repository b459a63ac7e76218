#pragma once
// Image files for the command-line enlarger: PNG, JPEG, TIFF and BMP read
// into the in-memory image and written back, with the caption kept in the
// file's metadata. The format is recognised by the contents on reading and
// by the extension on writing.
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/ImageData.h"

namespace fi {

enum class TImageFormat : std::uint8_t { ifPng, ifJpeg, ifTiff, ifBmp };

// The output file under a temporary name in the same folder, renamed over
// the real name only once it is complete; removed on every other way out.
class TTempOutput {
public:
    explicit TTempOutput(const std::string& FileName);
    ~TTempOutput();

    std::FILE* OpenStream();
    // Closes the stream; a failed write or close raises EImageFile.
    void CloseStream();
    // Hands the descriptor to a library that closes it itself.
    int ReleaseFd();
    void Commit();
    // The real name, for messages.
    const std::string& Name() const { return Target; }

    TTempOutput(const TTempOutput&) = delete;
    TTempOutput& operator=(const TTempOutput&) = delete;

private:
    std::string Target;
    std::string TempName;
    int Fd = -1;
    std::FILE* Stream = nullptr;
    bool Committed = false;
};

// What writing takes besides the image.
struct TWriteOptions {
    std::int32_t JpegQuality = 92;
};

// One file format: recognises its files by their first bytes, reads them,
// and writes an image it can hold (the dispatch checks that) into Output.
struct TImageCodec {
    bool (*Recognises)(TFileBytes Bytes);
    TImageData (*Read)(const std::string& FileName, TFileBytes Bytes);
    void (*Write)(TTempOutput& Output, const TImageData& Image, const TWriteOptions& Options);
};

// The output format named by the file's extension (.png, .jpg/.jpeg,
// .tif/.tiff, .bmp, any case); another extension raises EImageFile.
TImageFormat FormatFromFileName(const std::string& FileName);

// Reads any supported file; the format is recognised by its contents.
TImageData ReadImageFile(const std::string& FileName);

// The same for a file already in memory; FileName is for messages.
TImageData ReadImageBytes(const std::string& FileName, TFileBytes Bytes);

// Writes Image in the format of the file's extension, caption included where
// the format has metadata (PNG text chunk "Description", TIFF
// ImageDescription, JPEG comment). The file appears only when complete: a
// failure leaves an existing file of that name as it was. PNG holds 8 and
// 16 bits, JPEG and BMP 8 bits without alpha, TIFF everything.
void WriteImageFile(const std::string& FileName, const TImageData& Image, std::int32_t JpegQuality = 92);

} // namespace fi
