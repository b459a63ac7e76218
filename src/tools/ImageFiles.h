#pragma once
// Image files for the command-line enlarger: PNG, JPEG, TIFF, BMP and WebP
// read into the in-memory image and written back, with the caption, ICC
// profile, EXIF, XMP and resolution kept where the format can hold them. The
// format is recognised by the contents on reading and by the extension (or
// the caller) on writing; "-" names standard input and output.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/ImageData.h"

namespace fi {

inline constexpr const char* StandardStream = "-";
// How messages name the two streams.
inline constexpr const char* StandardInputName = "standard input";
inline constexpr const char* StandardOutputName = "standard output";

// The output file under a temporary name in the same folder, renamed over
// the real name only once it is complete; removed on every other way out,
// a terminating signal included (SignalCleanup).
class TTempOutput {
public:
    explicit TTempOutput(const std::string& FileName);
    ~TTempOutput();

    std::FILE* OpenStream();
    // Closes the stream; a failed write or close raises EImageFile.
    void CloseStream();
    // Hands the descriptor to a library that closes it itself.
    int ReleaseFd();
    // Renames the file over the real name, or sends it to standard output.
    void Commit();
    // The real name, for messages.
    const std::string& Name() const { return Target; }
    // The temporary file, for a library that adds to the finished file.
    const std::string& TemporaryPath() const { return TempName; }

    TTempOutput(const TTempOutput&) = delete;
    TTempOutput& operator=(const TTempOutput&) = delete;

private:
    void CopyToStandardOutput();

    std::string Target;
    std::string TempName;
    int Fd = -1;
    std::FILE* Stream = nullptr;
    bool Committed = false;
};

// What reading takes besides the bytes: the most pixels an image may have
// (at most what the containers take).
struct TReadOptions {
    std::int64_t MaxPixels = INT64_MAX;
};

// What writing takes besides the image. Lossy WebP is written unless
// WebpLossless; Quality serves JPEG and lossy WebP.
struct TWriteOptions {
    std::int32_t Quality = 92;
    bool WebpLossless = true;
};

// One file format: recognises its files by their first bytes, reads them,
// and writes an image it can hold (the dispatch checks that) into Output,
// adding a line to Warnings for metadata it has to leave out.
struct TImageCodec {
    bool (*Recognises)(TFileBytes Bytes);
    TImageData (*Read)(const std::string& FileName, TFileBytes Bytes, const TReadOptions& Options);
    void (*Write)(TTempOutput& Output, const TImageData& Image, const TWriteOptions& Options,
                  std::vector<std::string>& Warnings);
};

// The output format named by the file's extension (.png, .jpg/.jpeg,
// .tif/.tiff, .bmp, .webp, any case); another extension raises EImageFile.
TImageFormat FormatFromFileName(const std::string& FileName);

// Refuses, naming FileName, an image the format cannot hold: PNG holds 8
// and 16 bits, JPEG and BMP 8 bits without alpha, WebP 8 bits up to
// WebpMaxSide a side, TIFF everything. Writing checks it before a file is
// made; the command line checks the result's shape before the work.
void CheckFormatHolds(const std::string& FileName, TImageFormat Format, std::int64_t Width, std::int64_t Height,
                      TSampleType Type, bool Alpha);

// Reads any supported file ("-": standard input); the format is recognised
// by its contents. Image.Warnings says what metadata had to be dropped.
TImageData ReadImageFile(const std::string& FileName, const TReadOptions& Options = {});

// The same for a file already in memory; FileName is for messages.
TImageData ReadImageBytes(const std::string& FileName, TFileBytes Bytes, const TReadOptions& Options = {});

// Writes Image in the format of the file's extension ("-": standard output,
// in the format given), caption included where the format has metadata (PNG
// text chunk "Description", TIFF ImageDescription, JPEG comment). The file
// appears only when complete: a failure leaves an existing file of that
// name as it was; what the format cannot hold (CheckFormatHolds) is refused
// first. Returns one line for each piece of metadata the format could not
// take.
std::vector<std::string> WriteImageFile(const std::string& FileName, const TImageData& Image,
                                        const TWriteOptions& Options = {});
std::vector<std::string> WriteImageFile(const std::string& FileName, TImageFormat Format, const TImageData& Image,
                                        const TWriteOptions& Options = {});

} // namespace fi
