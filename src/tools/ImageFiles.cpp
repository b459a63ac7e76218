#include "tools/ImageFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "tools/BmpFile.h"
#include "tools/JpegFile.h"
#include "tools/PngFile.h"
#include "tools/SignalCleanup.h"
#include "tools/TiffFile.h"
#include "tools/WebpFile.h"

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

std::vector<std::uint8_t> ReadStandardInput() {
    std::vector<std::uint8_t> Bytes;
    std::uint8_t Block[65536];
    for (std::size_t Got; (Got = std::fread(Block, 1, sizeof Block, stdin)) > 0;) Bytes.insert(Bytes.end(), Block, Block + Got);
    if (std::ferror(stdin)) FailFile(StandardInputName, "cannot read (" + SystemErrorText() + ")");
    return Bytes;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& FileName) {
    if (FileName == StandardStream) return ReadStandardInput();
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

const char* FormatName(TImageFormat Format) {
    switch (Format) {
    case TImageFormat::ifPng: return "PNG";
    case TImageFormat::ifJpeg: return "JPEG";
    case TImageFormat::ifTiff: return "TIFF";
    case TImageFormat::ifWebp: return "WebP";
    case TImageFormat::ifBmp: break;
    }
    return "BMP";
}

const TImageCodec& CodecOf(TImageFormat Format) {
    switch (Format) {
    case TImageFormat::ifPng: return PngCodec;
    case TImageFormat::ifJpeg: return JpegCodec;
    case TImageFormat::ifTiff: return TiffCodec;
    case TImageFormat::ifWebp: return WebpCodec;
    case TImageFormat::ifBmp: break;
    }
    return BmpCodec;
}

} // namespace

TTempOutput::TTempOutput(const std::string& FileName) : Target(FileName) {
    const std::size_t Slash = FileName.find_last_of('/');
    const std::size_t BaseStart = Slash == std::string::npos ? 0 : Slash + 1;
    TempName = FileName.substr(0, BaseStart) + "." + FileName.substr(BaseStart) + ".XXXXXX";
    if (FileName == StandardStream) {
        // Some writers seek, which a pipe cannot: the file goes out whole at the end.
        const char* Folder = std::getenv("TMPDIR");
        TempName = std::string(Folder != nullptr && *Folder != 0 ? Folder : "/tmp") + "/fractal-enlarge.XXXXXX";
        Target = StandardOutputName;
    }
    Fd = ::mkstemp(TempName.data());
    if (Fd < 0) FailFile(Target, "cannot create the file (" + SystemErrorText() + ")");
    RegisterTemporaryFile(TempName.c_str());
    // mkstemp makes the file private; the result gets the usual mode.
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    ::fchmod(Fd, 0666 & ~Mask);
}

TTempOutput::~TTempOutput() {
    if (Stream != nullptr) std::fclose(Stream);
    else if (Fd >= 0) ::close(Fd);
    if (!Committed) ::unlink(TempName.c_str());
    ForgetTemporaryFile(TempName.c_str());
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

void TTempOutput::CopyToStandardOutput() {
    TFilePtr File(std::fopen(TempName.c_str(), "rb"));
    if (!File) FailFile(Target, "cannot write (" + SystemErrorText() + ")");
    std::uint8_t Block[65536];
    for (std::size_t Got; (Got = std::fread(Block, 1, sizeof Block, File.get())) > 0;)
        if (std::fwrite(Block, 1, Got, stdout) != Got) break;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || std::ferror(File.get()))
        FailFile(Target, "cannot write (" + SystemErrorText() + ")");
}

int TTempOutput::ReleaseFd() {
    const int Result = Fd;
    Fd = -1;
    return Result;
}

void TTempOutput::Commit() {
    if (Target == StandardOutputName) {
        CopyToStandardOutput();
        return;
    }
    if (::rename(TempName.c_str(), Target.c_str()) != 0)
        FailFile(Target, "cannot replace the file (" + SystemErrorText() + ")");
    Committed = true;
}

void CheckFormatHolds(const std::string& FileName, TImageFormat Format, std::int64_t Width, std::int64_t Height,
                      TSampleType Type, bool Alpha) {
    if (Format == TImageFormat::ifTiff) return;
    const char* Name = FormatName(Format);
    if (Format == TImageFormat::ifWebp && (Width > WebpMaxSide || Height > WebpMaxSide))
        FailFile(FileName, "WebP holds at most " + std::to_string(WebpMaxSide) + " pixels a side, not " +
                               DimensionsText(Width, Height) + " (write a .png or .tif file)");
    if (Type == TSampleType::stFloat64)
        FailFile(FileName, std::string(Name) + " cannot hold floating-point samples (write a .tif file)");
    if (Format != TImageFormat::ifPng && Type == TSampleType::st16bit)
        FailFile(FileName, std::string(Name) + " cannot hold 16-bit samples (write a .png or .tif file)");
    if (Format != TImageFormat::ifPng && Format != TImageFormat::ifWebp && Alpha)
        FailFile(FileName, std::string(Name) + " cannot hold an alpha channel (write a .png or .tif file)");
}

TImageFormat FormatFromFileName(const std::string& FileName) {
    const std::string Ext = LowerExtension(FileName);
    if (Ext == "png") return TImageFormat::ifPng;
    if (Ext == "jpg" || Ext == "jpeg") return TImageFormat::ifJpeg;
    if (Ext == "tif" || Ext == "tiff") return TImageFormat::ifTiff;
    if (Ext == "bmp") return TImageFormat::ifBmp;
    if (Ext == "webp") return TImageFormat::ifWebp;
    FailFile(FileName, "unknown image format (use .png, .jpg, .tif, .bmp or .webp)");
}

TImageData ReadImageBytes(const std::string& FileName, TFileBytes Bytes, const TReadOptions& Options) {
    if (Bytes.empty()) FailFile(FileName, "empty file");
    for (const TImageCodec* Codec : {&PngCodec, &JpegCodec, &TiffCodec, &BmpCodec, &WebpCodec})
        if (Codec->Recognises(Bytes)) return Codec->Read(FileName, Bytes, Options);
    FailFile(FileName, "not a PNG, JPEG, TIFF, BMP or WebP image");
}

TImageData ReadImageFile(const std::string& FileName, const TReadOptions& Options) {
    const std::vector<std::uint8_t> Bytes = ReadWholeFile(FileName);
    return ReadImageBytes(FileName == StandardStream ? StandardInputName : FileName, Bytes, Options);
}

std::vector<std::string> WriteImageFile(const std::string& FileName, const TImageData& Image,
                                        const TWriteOptions& Options) {
    return WriteImageFile(FileName, FormatFromFileName(FileName), Image, Options);
}

std::vector<std::string> WriteImageFile(const std::string& FileName, TImageFormat Format, const TImageData& Image,
                                        const TWriteOptions& Options) {
    const std::string Name = FileName == StandardStream ? StandardOutputName : FileName;
    CheckConsistent(Name, Image);
    CheckFormatHolds(Name, Format, Image.Width, Image.Height, Image.SampleType(), Image.HasAlpha);
    TTempOutput Output(FileName);
    std::vector<std::string> Warnings;
    CodecOf(Format).Write(Output, Image, Options, Warnings);
    Output.Commit();
    return Warnings;
}

} // namespace fi
