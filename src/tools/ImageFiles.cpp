#include "tools/ImageFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "tools/BmpFile.h"
#include "tools/JpegFile.h"
#include "tools/PngFile.h"
#include "tools/TiffFile.h"

namespace fi {

namespace {

struct TFileCloser {
    void operator()(std::FILE* F) const { std::fclose(F); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

std::string LowerExtension(const std::string& FileName) {
    const std::size_t Slash = FileName.find_last_of('/');
    const std::size_t Dot = FileName.find_last_of('.');
    if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return std::string();
    std::string Ext = FileName.substr(Dot + 1);
    std::transform(Ext.begin(), Ext.end(), Ext.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    });
    return Ext;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& FileName) {
    TFilePtr File(std::fopen(FileName.c_str(), "rb"));
    if (!File) FailFile(FileName, "cannot open (" + SystemErrorText() + ")");
    struct stat Status {};
    if (::fstat(::fileno(File.get()), &Status) != 0) FailFile(FileName, "cannot open (" + SystemErrorText() + ")");
    if (!S_ISREG(Status.st_mode)) FailFile(FileName, "not a regular file");
    if (Status.st_size == 0) FailFile(FileName, "empty file");
    std::vector<std::uint8_t> Bytes;
    try {
        Bytes.resize(std::size_t(Status.st_size));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
    if (std::fread(Bytes.data(), 1, Bytes.size(), File.get()) != Bytes.size())
        FailFile(FileName, "cannot read (" + SystemErrorText() + ")");
    return Bytes;
}

// The image's fields agree with each other and with its samples.
void CheckConsistent(const std::string& FileName, const TImageData& Image) {
    const bool ShapeOk = Image.Width > 0 && Image.Height > 0 && Image.Channels >= 1 && Image.Channels <= 4 &&
                         (Image.HasAlpha ? Image.Channels % 2 == 0 : Image.Channels % 2 == 1);
    if (!ShapeOk || Image.Samples.Size() != Image.SampleCount()) FailFile(FileName, "invalid image to write");
}

// Refuses what the format cannot hold before a file is created.
void CheckFormatHolds(const std::string& FileName, TImageFormat Format, const TImageData& Image) {
    if (Format == TImageFormat::ifTiff) return;
    const char* Name = Format == TImageFormat::ifPng ? "PNG" : Format == TImageFormat::ifJpeg ? "JPEG" : "BMP";
    if (Image.SampleType() == TSampleType::stFloat64)
        FailFile(FileName, std::string(Name) + " cannot hold floating-point samples (write a .tif file)");
    if (Format != TImageFormat::ifPng && Image.SampleType() == TSampleType::st16bit)
        FailFile(FileName, std::string(Name) + " cannot hold 16-bit samples (write a .png or .tif file)");
    if (Format != TImageFormat::ifPng && Image.HasAlpha)
        FailFile(FileName, std::string(Name) + " cannot hold an alpha channel (write a .png or .tif file)");
}

const TImageCodec& CodecOf(TImageFormat Format) {
    switch (Format) {
    case TImageFormat::ifPng: return PngCodec;
    case TImageFormat::ifJpeg: return JpegCodec;
    case TImageFormat::ifTiff: return TiffCodec;
    case TImageFormat::ifBmp: break;
    }
    return BmpCodec;
}

} // namespace

TTempOutput::TTempOutput(const std::string& FileName) : Target(FileName) {
    const std::size_t Slash = FileName.find_last_of('/');
    const std::size_t BaseStart = Slash == std::string::npos ? 0 : Slash + 1;
    TempName = FileName.substr(0, BaseStart) + "." + FileName.substr(BaseStart) + ".XXXXXX";
    Fd = ::mkstemp(TempName.data());
    if (Fd < 0) FailFile(Target, "cannot create the file (" + SystemErrorText() + ")");
    // mkstemp makes the file private; the result gets the usual mode.
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    ::fchmod(Fd, 0666 & ~Mask);
}

TTempOutput::~TTempOutput() {
    if (Stream != nullptr) std::fclose(Stream);
    else if (Fd >= 0) ::close(Fd);
    if (!Committed) ::unlink(TempName.c_str());
}

std::FILE* TTempOutput::OpenStream() {
    Stream = ::fdopen(Fd, "wb");
    if (Stream == nullptr) FailFile(Target, "cannot write (" + SystemErrorText() + ")");
    return Stream;
}

void TTempOutput::CloseStream() {
    const bool Failed = std::ferror(Stream) != 0;
    const int Result = std::fclose(Stream);
    Stream = nullptr;
    Fd = -1;
    if (Failed || Result != 0) FailFile(Target, "cannot write (" + SystemErrorText() + ")");
}

int TTempOutput::ReleaseFd() {
    const int Result = Fd;
    Fd = -1;
    return Result;
}

void TTempOutput::Commit() {
    if (::rename(TempName.c_str(), Target.c_str()) != 0)
        FailFile(Target, "cannot replace the file (" + SystemErrorText() + ")");
    Committed = true;
}

TImageFormat FormatFromFileName(const std::string& FileName) {
    const std::string Ext = LowerExtension(FileName);
    if (Ext == "png") return TImageFormat::ifPng;
    if (Ext == "jpg" || Ext == "jpeg") return TImageFormat::ifJpeg;
    if (Ext == "tif" || Ext == "tiff") return TImageFormat::ifTiff;
    if (Ext == "bmp") return TImageFormat::ifBmp;
    FailFile(FileName, "unknown image format (use .png, .jpg, .tif or .bmp)");
}

TImageData ReadImageBytes(const std::string& FileName, TFileBytes Bytes) {
    if (Bytes.empty()) FailFile(FileName, "empty file");
    for (const TImageCodec* Codec : {&PngCodec, &JpegCodec, &TiffCodec, &BmpCodec})
        if (Codec->Recognises(Bytes)) return Codec->Read(FileName, Bytes);
    FailFile(FileName, "not a PNG, JPEG, TIFF or BMP image");
}

TImageData ReadImageFile(const std::string& FileName) {
    const std::vector<std::uint8_t> Bytes = ReadWholeFile(FileName);
    return ReadImageBytes(FileName, Bytes);
}

void WriteImageFile(const std::string& FileName, const TImageData& Image, std::int32_t JpegQuality) {
    const TImageFormat Format = FormatFromFileName(FileName);
    CheckConsistent(FileName, Image);
    CheckFormatHolds(FileName, Format, Image);
    TTempOutput Output(FileName);
    TWriteOptions Options;
    Options.JpegQuality = JpegQuality;
    CodecOf(Format).Write(Output, Image, Options);
    Output.Commit();
}

} // namespace fi
