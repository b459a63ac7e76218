#include "tools/ImageFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace fi {

namespace {

// ---------------------------------------------------------------------------
// Common pieces

[[noreturn]] void Fail(const std::string& FileName, const std::string& Reason) {
    throw EImageFile(FileName + ": " + Reason);
}

std::string SystemError() { return std::strerror(errno); }

std::string Dimensions(std::int64_t W, std::int64_t H) { return std::to_string(W) + " x " + std::to_string(H); }

// Refuses a shape the containers would not take before anything is allocated
// for it, so that a lying header costs nothing.
void CheckShape(const std::string& FileName, std::int64_t W, std::int64_t H, std::int32_t ChannelCount, bool Alpha,
                TSampleType Type) {
    if (W < 1 || H < 1) Fail(FileName, "invalid image size " + Dimensions(W, H));
    if (W > INT32_MAX || H > INT32_MAX ||
        !FitsContainers(std::int32_t(W), std::int32_t(H), ChannelCount, Alpha, Type))
        Fail(FileName, std::string(SOutOfMemory) + " (image of " + Dimensions(W, H) + " pixels)");
}

struct TFileCloser {
    void operator()(std::FILE* F) const { std::fclose(F); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

template <class T> T* RowOf(std::vector<T>& Samples, const TImageData& Image, std::int32_t Row) {
    return Samples.data() + std::size_t(Row) * std::size_t(Image.Width) * std::size_t(Image.Channels);
}

// Sizes the active sample vector for the first Rows rows; readers of
// compressed data grow it as rows arrive, so that a header promising more
// than the data holds fails before the memory is taken.
void GrowRows(TImageData& Image, std::int32_t Rows) {
    const std::size_t Count = std::size_t(Image.Width) * std::size_t(Image.Channels) * std::size_t(Rows);
    try {
        switch (Image.SampleType) {
        case TSampleType::st8bit: Image.Samples8.resize(Count); break;
        case TSampleType::st16bit: Image.Samples16.resize(Count); break;
        case TSampleType::stFloat64: Image.SamplesFloat.resize(Count); break;
        }
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
}

void SetShape(TImageData& Image, std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha,
              TSampleType Type) {
    Image.Width = W;
    Image.Height = H;
    Image.Channels = ChannelCount;
    Image.HasAlpha = Alpha;
    Image.SampleType = Type;
}

bool IsAscii(const std::string& Text) {
    return std::all_of(Text.begin(), Text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

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

// The output file under a temporary name in the same folder, renamed over
// the real name only once it is complete; removed on every other way out.
class TTempOutput {
public:
    explicit TTempOutput(const std::string& FileName) : Target(FileName) {
        const std::size_t Slash = FileName.find_last_of('/');
        const std::size_t BaseStart = Slash == std::string::npos ? 0 : Slash + 1;
        TempName = FileName.substr(0, BaseStart) + "." + FileName.substr(BaseStart) + ".XXXXXX";
        Fd = ::mkstemp(TempName.data());
        if (Fd < 0) Fail(Target, "cannot create the file (" + SystemError() + ")");
        // mkstemp makes the file private; the result gets the usual mode.
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        ::fchmod(Fd, 0666 & ~Mask);
    }
    ~TTempOutput() {
        if (Stream != nullptr) std::fclose(Stream);
        else if (Fd >= 0) ::close(Fd);
        if (!Committed) ::unlink(TempName.c_str());
    }
    TTempOutput(const TTempOutput&) = delete;
    TTempOutput& operator=(const TTempOutput&) = delete;

    std::FILE* OpenStream() {
        Stream = ::fdopen(Fd, "wb");
        if (Stream == nullptr) Fail(Target, "cannot write (" + SystemError() + ")");
        return Stream;
    }
    void CloseStream() {
        const bool Failed = std::ferror(Stream) != 0;
        const int Result = std::fclose(Stream);
        Stream = nullptr;
        Fd = -1;
        if (Failed || Result != 0) Fail(Target, "cannot write (" + SystemError() + ")");
    }
    // Hands the descriptor to a library that closes it itself.
    int ReleaseFd() {
        const int Result = Fd;
        Fd = -1;
        return Result;
    }
    void Commit() {
        if (::rename(TempName.c_str(), Target.c_str()) != 0)
            Fail(Target, "cannot replace the file (" + SystemError() + ")");
        Committed = true;
    }
    const std::string& Name() const { return Target; }

private:
    std::string Target;
    std::string TempName;
    int Fd = -1;
    std::FILE* Stream = nullptr;
    bool Committed = false;
};

// ---------------------------------------------------------------------------
// PNG. libpng reports errors by longjmp: every function that sets the jump
// point below holds only trivially destructible locals, and C++ objects live
// in the callers.

// The error handler's part of every libpng job.
struct TPngErrorText {
    char Message[256] = {};
};

struct TPngJob : TPngErrorText {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    std::FILE* File = nullptr;
    // Filled by PngReadHeader.
    png_uint_32 Width = 0, Height = 0;
    int SourceChannels = 0, SourceBitDepth = 0, Channels = 0, BitDepth = 0;
    bool Interlaced = false;
};

void PngError(png_structp Png, png_const_charp Message) {
    auto* Error = static_cast<TPngErrorText*>(png_get_error_ptr(Png));
    std::snprintf(Error->Message, sizeof Error->Message, "%s", Message);
    png_longjmp(Png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

bool PngReadHeader(TPngJob* Job) {
    if (setjmp(png_jmpbuf(Job->Png))) return false;
    png_init_io(Job->Png, Job->File);
    png_read_info(Job->Png, Job->Info);
    Job->Width = png_get_image_width(Job->Png, Job->Info);
    Job->Height = png_get_image_height(Job->Png, Job->Info);
    Job->SourceChannels = png_get_channels(Job->Png, Job->Info);
    Job->SourceBitDepth = png_get_bit_depth(Job->Png, Job->Info);
    Job->Interlaced = png_get_interlace_type(Job->Png, Job->Info) != PNG_INTERLACE_NONE;
    const int ColorType = png_get_color_type(Job->Png, Job->Info);
    if (ColorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(Job->Png);
    if ((ColorType & PNG_COLOR_MASK_COLOR) == 0 && Job->SourceBitDepth < 8) png_set_expand_gray_1_2_4_to_8(Job->Png);
    if (png_get_valid(Job->Png, Job->Info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(Job->Png);
    if (Job->SourceBitDepth == 16 && std::endian::native == std::endian::little) png_set_swap(Job->Png);
    png_set_interlace_handling(Job->Png);
    png_read_update_info(Job->Png, Job->Info);
    Job->Channels = png_get_channels(Job->Png, Job->Info);
    Job->BitDepth = png_get_bit_depth(Job->Png, Job->Info);
    return true;
}

bool PngReadRows(TPngJob* Job, png_bytepp Rows, png_uint_32 First, png_uint_32 Count) {
    if (setjmp(png_jmpbuf(Job->Png))) return false;
    png_read_rows(Job->Png, Rows + First, nullptr, Count);
    return true;
}

bool PngReadImage(TPngJob* Job, png_bytepp Rows) {
    if (setjmp(png_jmpbuf(Job->Png))) return false;
    png_read_image(Job->Png, Rows);
    return true;
}

bool PngReadEnd(TPngJob* Job) {
    if (setjmp(png_jmpbuf(Job->Png))) return false;
    png_read_end(Job->Png, Job->Info);
    return true;
}

struct TPngReadGuard {
    TPngJob& Job;
    ~TPngReadGuard() { png_destroy_read_struct(&Job.Png, Job.Info != nullptr ? &Job.Info : nullptr, nullptr); }
};

std::string PngCaption(png_structp Png, png_infop Info) {
    png_textp Text = nullptr;
    int Count = 0;
    png_get_text(Png, Info, &Text, &Count);
    for (int i = 0; i < Count; ++i)
        if (std::strcmp(Text[i].key, "Description") == 0 && Text[i].text != nullptr) return Text[i].text;
    return std::string();
}

TImageData ReadPng(const std::string& FileName, std::FILE* File, std::int64_t FileSize) {
    TPngJob Job;
    Job.File = File;
    Job.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, static_cast<TPngErrorText*>(&Job), PngError, PngWarning);
    if (Job.Png == nullptr) throw EOutOfMemory();
    TPngReadGuard Guard{Job};
    Job.Info = png_create_info_struct(Job.Png);
    if (Job.Info == nullptr) throw EOutOfMemory();
    if (!PngReadHeader(&Job)) Fail(FileName, std::string("corrupt or truncated PNG (") + Job.Message + ")");

    const bool Alpha = Job.Channels == 2 || Job.Channels == 4;
    const TSampleType Type = Job.BitDepth == 16 ? TSampleType::st16bit : TSampleType::st8bit;
    CheckShape(FileName, Job.Width, Job.Height, Job.Channels, Alpha, Type);
    // Deflate expands at most about 1032 times: a header asking for more
    // filtered bytes than the file could decompress to is a lie.
    const std::int64_t FilteredBytes =
        std::int64_t(Job.Height) * (1 + (std::int64_t(Job.Width) * Job.SourceChannels * Job.SourceBitDepth + 7) / 8);
    if (FilteredBytes > 1040 * FileSize + 65536)
        Fail(FileName, "corrupt or truncated PNG (" + Dimensions(Job.Width, Job.Height) + " pixels cannot fit in " +
                           std::to_string(FileSize) + " bytes)");

    TImageData Image;
    SetShape(Image, std::int32_t(Job.Width), std::int32_t(Job.Height), Job.Channels, Alpha, Type);
    std::vector<png_bytep> Rows(Job.Height);
    if (Job.Interlaced) {
        // Every pass touches every row, so the whole image is needed at once;
        // the size was checked against the file above.
        GrowRows(Image, Image.Height);
        for (std::int32_t y = 0; y < Image.Height; ++y)
            Rows[y] = Type == TSampleType::st8bit ? RowOf(Image.Samples8, Image, y)
                                                  : reinterpret_cast<png_bytep>(RowOf(Image.Samples16, Image, y));
        if (!PngReadImage(&Job, Rows.data()))
            Fail(FileName, std::string("corrupt or truncated PNG (") + Job.Message + ")");
    } else {
        const std::int32_t Chunk = 64;
        for (std::int32_t First = 0; First < Image.Height; First += Chunk) {
            const std::int32_t Count = std::min(Chunk, Image.Height - First);
            GrowRows(Image, First + Count);
            for (std::int32_t y = First; y < First + Count; ++y)
                Rows[y] = Type == TSampleType::st8bit ? RowOf(Image.Samples8, Image, y)
                                                      : reinterpret_cast<png_bytep>(RowOf(Image.Samples16, Image, y));
            if (!PngReadRows(&Job, Rows.data(), png_uint_32(First), png_uint_32(Count)))
                Fail(FileName, std::string("corrupt or truncated PNG (") + Job.Message + ")");
        }
    }
    if (!PngReadEnd(&Job)) Fail(FileName, std::string("corrupt or truncated PNG (") + Job.Message + ")");
    Image.Caption = PngCaption(Job.Png, Job.Info);
    return Image;
}

struct TPngWriteJob : TPngErrorText {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    std::FILE* File = nullptr;
    const TImageData* Image = nullptr;
    png_bytepp Rows = nullptr;
    png_text* Text = nullptr;
};

bool PngWrite(TPngWriteJob* Job) {
    if (setjmp(png_jmpbuf(Job->Png))) return false;
    const TImageData& Image = *Job->Image;
    static constexpr int ColorTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                         PNG_COLOR_TYPE_RGB_ALPHA};
    png_init_io(Job->Png, Job->File);
    png_set_IHDR(Job->Png, Job->Info, png_uint_32(Image.Width), png_uint_32(Image.Height),
                 Image.SampleType == TSampleType::st16bit ? 16 : 8, ColorTypes[Image.Channels - 1],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (Job->Text != nullptr) png_set_text(Job->Png, Job->Info, Job->Text, 1);
    png_write_info(Job->Png, Job->Info);
    if (Image.SampleType == TSampleType::st16bit && std::endian::native == std::endian::little) png_set_swap(Job->Png);
    png_write_image(Job->Png, Job->Rows);
    png_write_end(Job->Png, Job->Info);
    return true;
}

struct TPngWriteGuard {
    TPngWriteJob& Job;
    ~TPngWriteGuard() { png_destroy_write_struct(&Job.Png, Job.Info != nullptr ? &Job.Info : nullptr); }
};

void WritePng(TTempOutput& Output, const TImageData& Image) {
    // libpng takes non-const row pointers and only reads through them.
    TImageData& Source = const_cast<TImageData&>(Image);
    std::vector<png_bytep> Rows(std::size_t(Image.Height));
    for (std::int32_t y = 0; y < Image.Height; ++y)
        Rows[y] = Image.SampleType == TSampleType::st8bit ? RowOf(Source.Samples8, Image, y)
                                                         : reinterpret_cast<png_bytep>(RowOf(Source.Samples16, Image, y));
    std::string Caption = Image.Caption;
    char Key[] = "Description";
    char Empty[] = "";
    png_text Text{};
    Text.key = Key;
    Text.text = Caption.data();
    if (IsAscii(Caption)) {
        Text.compression = PNG_TEXT_COMPRESSION_NONE;
        Text.text_length = Caption.size();
    } else {
        // Non-ASCII text (UTF-8 file names) needs the international chunk.
        Text.compression = PNG_ITXT_COMPRESSION_NONE;
        Text.itxt_length = Caption.size();
        Text.lang = Empty;
        Text.lang_key = Empty;
    }

    TPngWriteJob Job;
    Job.Image = &Image;
    Job.Rows = Rows.data();
    Job.Text = Caption.empty() ? nullptr : &Text;
    Job.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, static_cast<TPngErrorText*>(&Job), PngError, PngWarning);
    if (Job.Png == nullptr) throw EOutOfMemory();
    TPngWriteGuard Guard{Job};
    Job.Info = png_create_info_struct(Job.Png);
    if (Job.Info == nullptr) throw EOutOfMemory();
    Job.File = Output.OpenStream();
    if (!PngWrite(&Job)) Fail(Output.Name(), std::string("cannot write PNG (") + Job.Message + ")");
    Output.CloseStream();
}

// ---------------------------------------------------------------------------
// JPEG. The error manager's exit longjmps back into the function that set
// the jump point; as for PNG those hold no C++ objects.

struct TJpegError {
    jpeg_error_mgr Manager; // first, so that the library's pointer is ours
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr Info) {
    auto* Error = reinterpret_cast<TJpegError*>(Info->err);
    (*Info->err->format_message)(Info, Error->Message);
    std::longjmp(Error->Jump, 1);
}

// Warnings are ignored except the one for data that ends early: the library
// would pad the image with gray and call it a success.
void JpegEmitMessage(j_common_ptr Info, int Level) {
    if (Level < 0 && Info->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(Info);
}

TJpegError* JpegErrorSetup(TJpegError* Error) {
    jpeg_std_error(&Error->Manager);
    Error->Manager.error_exit = JpegErrorExit;
    Error->Manager.emit_message = JpegEmitMessage;
    Error->Message[0] = 0;
    return Error;
}

struct TJpegReadJob {
    jpeg_decompress_struct Info{};
    TJpegError Error{};
    bool Created = false;
    std::FILE* File = nullptr;
};

bool JpegReadHeader(TJpegReadJob* Job) {
    Job->Info.err = &JpegErrorSetup(&Job->Error)->Manager;
    if (setjmp(Job->Error.Jump)) return false;
    jpeg_create_decompress(&Job->Info);
    Job->Created = true;
    jpeg_stdio_src(&Job->Info, Job->File);
    jpeg_save_markers(&Job->Info, JPEG_COM, 0xFFFF);
    jpeg_read_header(&Job->Info, TRUE);
    return true;
}

bool JpegStart(TJpegReadJob* Job) {
    if (setjmp(Job->Error.Jump)) return false;
    jpeg_start_decompress(&Job->Info);
    return true;
}

bool JpegReadRows(TJpegReadJob* Job, JSAMPARRAY Rows, JDIMENSION Count) {
    if (setjmp(Job->Error.Jump)) return false;
    JDIMENSION Done = 0;
    while (Done < Count) Done += jpeg_read_scanlines(&Job->Info, Rows + Done, Count - Done);
    return true;
}

bool JpegFinish(TJpegReadJob* Job) {
    if (setjmp(Job->Error.Jump)) return false;
    jpeg_finish_decompress(&Job->Info);
    return true;
}

struct TJpegReadGuard {
    TJpegReadJob& Job;
    ~TJpegReadGuard() {
        if (Job.Created) jpeg_destroy_decompress(&Job.Info);
    }
};

TImageData ReadJpeg(const std::string& FileName, std::FILE* File, std::int64_t FileSize) {
    auto Job = std::make_unique<TJpegReadJob>();
    Job->File = File;
    TJpegReadGuard Guard{*Job};
    const auto Corrupt = [&] { Fail(FileName, std::string("corrupt or truncated JPEG (") + Job->Error.Message + ")"); };
    if (!JpegReadHeader(Job.get())) Corrupt();
    jpeg_decompress_struct& Info = Job->Info;

    std::int32_t Channels = 3;
    if (Info.jpeg_color_space == JCS_GRAYSCALE) {
        Info.out_color_space = JCS_GRAYSCALE;
        Channels = 1;
    } else if (Info.num_components == 3) {
        Info.out_color_space = JCS_RGB;
    } else {
        Fail(FileName, "unsupported JPEG colour space (" + std::to_string(Info.num_components) + " components)");
    }
    CheckShape(FileName, Info.image_width, Info.image_height, Channels, false, TSampleType::st8bit);
    // A Huffman-coded JPEG spends at least one bit on every 8 x 8 block of
    // its full-resolution component, which bounds the size its data allows.
    if (!Info.arith_code) {
        const std::int64_t Blocks = ((std::int64_t(Info.image_width) + 7) / 8) * ((std::int64_t(Info.image_height) + 7) / 8);
        if (Blocks > 8 * FileSize + 64)
            Fail(FileName, "corrupt or truncated JPEG (" + Dimensions(Info.image_width, Info.image_height) +
                               " pixels cannot fit in " + std::to_string(FileSize) + " bytes)");
    }
    if (!JpegStart(Job.get())) Corrupt();

    TImageData Image;
    SetShape(Image, std::int32_t(Info.output_width), std::int32_t(Info.output_height), Channels, false,
             TSampleType::st8bit);
    for (const jpeg_saved_marker_ptr* M = &Info.marker_list; *M != nullptr; M = &(*M)->next)
        if ((*M)->marker == JPEG_COM) {
            std::string Text(reinterpret_cast<const char*>((*M)->data), (*M)->data_length);
            while (!Text.empty() && Text.back() == '\0') Text.pop_back();
            Image.Caption = Text;
            break;
        }

    const std::int32_t Chunk = 64;
    std::vector<JSAMPROW> Rows(static_cast<std::size_t>(Chunk));
    for (std::int32_t First = 0; First < Image.Height; First += Chunk) {
        const std::int32_t Count = std::min(Chunk, Image.Height - First);
        GrowRows(Image, First + Count);
        for (std::int32_t i = 0; i < Count; ++i) Rows[i] = RowOf(Image.Samples8, Image, First + i);
        if (!JpegReadRows(Job.get(), Rows.data(), JDIMENSION(Count))) Corrupt();
    }
    if (!JpegFinish(Job.get())) Corrupt();
    return Image;
}

struct TJpegWriteJob {
    jpeg_compress_struct Info{};
    TJpegError Error{};
    bool Created = false;
    std::FILE* File = nullptr;
    const TImageData* Image = nullptr;
    JSAMPARRAY Rows = nullptr;
    const std::string* Caption = nullptr;
    int Quality = 92;
};

bool JpegWrite(TJpegWriteJob* Job) {
    Job->Info.err = &JpegErrorSetup(&Job->Error)->Manager;
    if (setjmp(Job->Error.Jump)) return false;
    jpeg_create_compress(&Job->Info);
    Job->Created = true;
    jpeg_stdio_dest(&Job->Info, Job->File);
    const TImageData& Image = *Job->Image;
    Job->Info.image_width = JDIMENSION(Image.Width);
    Job->Info.image_height = JDIMENSION(Image.Height);
    Job->Info.input_components = Image.Channels;
    Job->Info.in_color_space = Image.Channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&Job->Info);
    jpeg_set_quality(&Job->Info, Job->Quality, TRUE);
    jpeg_start_compress(&Job->Info, TRUE);
    if (!Job->Caption->empty()) {
        // One comment marker holds at most 65533 bytes.
        const std::size_t Length = std::min<std::size_t>(Job->Caption->size(), 65533);
        jpeg_write_marker(&Job->Info, JPEG_COM, reinterpret_cast<const JOCTET*>(Job->Caption->data()),
                          unsigned(Length));
    }
    JDIMENSION Done = 0;
    while (Done < Job->Info.image_height)
        Done += jpeg_write_scanlines(&Job->Info, Job->Rows + Done, Job->Info.image_height - Done);
    jpeg_finish_compress(&Job->Info);
    return true;
}

struct TJpegWriteGuard {
    TJpegWriteJob& Job;
    ~TJpegWriteGuard() {
        if (Job.Created) jpeg_destroy_compress(&Job.Info);
    }
};

void WriteJpeg(TTempOutput& Output, const TImageData& Image, std::int32_t Quality) {
    auto& Samples = const_cast<std::vector<std::uint8_t>&>(Image.Samples8); // the library only reads the rows
    std::vector<JSAMPROW> Rows(std::size_t(Image.Height));
    for (std::int32_t y = 0; y < Image.Height; ++y) Rows[y] = RowOf(Samples, Image, y);
    auto Job = std::make_unique<TJpegWriteJob>();
    TJpegWriteGuard Guard{*Job};
    Job->Image = &Image;
    Job->Rows = Rows.data();
    Job->Caption = &Image.Caption;
    Job->Quality = std::clamp(Quality, 1, 100);
    Job->File = Output.OpenStream();
    if (!JpegWrite(Job.get())) Fail(Output.Name(), std::string("cannot write JPEG (") + Job->Error.Message + ")");
    Output.CloseStream();
}

// ---------------------------------------------------------------------------
// TIFF. libtiff reports errors through return values; its messages are
// caught per handle instead of going to stderr.

struct TTiffMessages {
    std::string FileName;
    std::string First;
};

int TiffError(TIFF*, void* UserData, const char* Module, const char* Format, va_list Arguments) {
    auto* Messages = static_cast<TTiffMessages*>(UserData);
    if (Messages->First.empty()) {
        char Text[512];
        std::vsnprintf(Text, sizeof Text, Format, Arguments);
        std::string Message = Module != nullptr && *Module != 0 ? std::string(Module) + ": " + Text : std::string(Text);
        // The caller's message names the file already.
        const std::string Named = Messages->FileName + ": ";
        for (std::size_t At; (At = Message.find(Named)) != std::string::npos;) Message.erase(At, Named.size());
        Messages->First = Message;
    }
    return 1;
}

int TiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TTiffCloser {
    void operator()(TIFF* Tiff) const { TIFFClose(Tiff); }
};
using TTiffPtr = std::unique_ptr<TIFF, TTiffCloser>;

TTiffPtr OpenTiff(int Fd, const std::string& FileName, const char* Mode, TTiffMessages& Messages) {
    TIFFOpenOptions* Options = TIFFOpenOptionsAlloc();
    if (Options == nullptr) {
        ::close(Fd);
        throw EOutOfMemory();
    }
    TIFFOpenOptionsSetErrorHandlerExtR(Options, TiffError, &Messages);
    TIFFOpenOptionsSetWarningHandlerExtR(Options, TiffWarning, nullptr);
    // The largest buffer an image within the containers' limits needs.
    TIFFOpenOptionsSetMaxSingleMemAlloc(Options, tmsize_t(1) << 31);
    TTiffPtr Tiff(TIFFFdOpenExt(Fd, FileName.c_str(), Mode, Options));
    TIFFOpenOptionsFree(Options);
    if (!Tiff) ::close(Fd);
    return Tiff;
}

// Copies one channel of a scanline into the image row, inverting where white
// is zero. The line's samples are copied out byte-wise, as the buffer holds
// bytes.
template <class S, class D>
void CopyScanline(const std::uint8_t* Source, std::size_t Step, std::size_t First, std::int32_t Width, D* Dest,
                  std::size_t DestStep, bool Invert) {
    for (std::int32_t x = 0; x < Width; ++x) {
        S v;
        std::memcpy(&v, Source + (std::size_t(x) * Step + First) * sizeof(S), sizeof(S));
        if constexpr (std::is_integral_v<S>) {
            if (Invert) v = S(~v);
        }
        Dest[std::size_t(x) * DestStep] = D(v);
    }
}

// Undoes premultiplied alpha, rounding to nearest.
template <class T> void UnpremultiplyInteger(std::vector<T>& Samples, std::int32_t C, double Max) {
    for (std::size_t p = 0; p < Samples.size(); p += std::size_t(C)) {
        const double a = Samples[p + std::size_t(C) - 1];
        for (std::int32_t c = 0; c < C - 1; ++c) {
            T& v = Samples[p + std::size_t(c)];
            v = a == 0 ? T(0) : T(std::min(Max, std::nearbyint(v * Max / a)));
        }
    }
}

void Unpremultiply(TImageData& Image) {
    const std::int32_t C = Image.Channels;
    switch (Image.SampleType) {
    case TSampleType::st8bit: UnpremultiplyInteger(Image.Samples8, C, 255.0); break;
    case TSampleType::st16bit: UnpremultiplyInteger(Image.Samples16, C, 65535.0); break;
    case TSampleType::stFloat64:
        for (std::size_t p = 0; p < Image.SamplesFloat.size(); p += std::size_t(C)) {
            const double a = Image.SamplesFloat[p + std::size_t(C) - 1];
            for (std::int32_t c = 0; c < C - 1; ++c) {
                double& v = Image.SamplesFloat[p + std::size_t(c)];
                v = a == 0 ? 0 : v / a;
            }
        }
        break;
    }
}

TImageData ReadTiff(const std::string& FileName, std::FILE* File, std::int64_t FileSize) {
    TTiffMessages Messages{FileName, {}};
    const int Fd = ::dup(::fileno(File));
    if (Fd < 0) Fail(FileName, "cannot open (" + SystemError() + ")");
    TTiffPtr Owner = OpenTiff(Fd, FileName, "rm", Messages);
    const auto Corrupt = [&] { Fail(FileName, "corrupt or truncated TIFF (" + Messages.First + ")"); };
    if (!Owner) Corrupt();
    TIFF* Tiff = Owner.get();

    std::uint32_t W = 0, H = 0;
    std::uint16_t Spp = 1, Bits = 1, Format = SAMPLEFORMAT_UINT, Photometric = 0, Planar = PLANARCONFIG_CONTIG,
                  Compression = COMPRESSION_NONE;
    if (TIFFGetField(Tiff, TIFFTAG_IMAGEWIDTH, &W) != 1 || TIFFGetField(Tiff, TIFFTAG_IMAGELENGTH, &H) != 1)
        Fail(FileName, "TIFF without image size");
    if (TIFFGetField(Tiff, TIFFTAG_PHOTOMETRIC, &Photometric) != 1) Fail(FileName, "TIFF without photometric interpretation");
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_SAMPLESPERPIXEL, &Spp);
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_BITSPERSAMPLE, &Bits);
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_SAMPLEFORMAT, &Format);
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_PLANARCONFIG, &Planar);
    TIFFGetFieldDefaulted(Tiff, TIFFTAG_COMPRESSION, &Compression);

    if (Photometric == PHOTOMETRIC_YCBCR && Compression == COMPRESSION_JPEG) {
        // Let the codec hand out RGB.
        TIFFSetField(Tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        Photometric = PHOTOMETRIC_RGB;
    }
    std::int32_t ColorSamples = 0;
    bool Palette = false, Invert = false;
    switch (Photometric) {
    case PHOTOMETRIC_MINISWHITE: Invert = true; ColorSamples = 1; break;
    case PHOTOMETRIC_MINISBLACK: ColorSamples = 1; break;
    case PHOTOMETRIC_RGB: ColorSamples = 3; break;
    case PHOTOMETRIC_PALETTE: Palette = true; ColorSamples = 1; break;
    default: Fail(FileName, "unsupported TIFF photometric interpretation " + std::to_string(Photometric));
    }
    if (Spp < ColorSamples) Fail(FileName, "TIFF with too few samples per pixel");

    TSampleType Type;
    if (Format == SAMPLEFORMAT_UINT && Bits == 8) Type = TSampleType::st8bit;
    else if (Format == SAMPLEFORMAT_UINT && Bits == 16) Type = TSampleType::st16bit;
    else if (Format == SAMPLEFORMAT_IEEEFP && (Bits == 32 || Bits == 64)) Type = TSampleType::stFloat64;
    else
        Fail(FileName, "unsupported TIFF samples (" + std::to_string(Bits) + " bits, format " + std::to_string(Format) + ")");
    if (Palette && Type != TSampleType::st8bit) Fail(FileName, "unsupported TIFF palette of " + std::to_string(Bits) + " bits");
    if (Invert && Type == TSampleType::stFloat64) Fail(FileName, "unsupported floating-point TIFF with white as zero");

    // The first extra sample is alpha when it says so.
    bool Alpha = false, Associated = false;
    std::uint16_t ExtraCount = 0;
    std::uint16_t* ExtraTypes = nullptr;
    if (Spp > ColorSamples && TIFFGetField(Tiff, TIFFTAG_EXTRASAMPLES, &ExtraCount, &ExtraTypes) == 1 &&
        ExtraCount > 0 && (ExtraTypes[0] == EXTRASAMPLE_ASSOCALPHA || ExtraTypes[0] == EXTRASAMPLE_UNASSALPHA)) {
        Alpha = true;
        Associated = ExtraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    const std::int32_t Channels = (Palette ? 3 : ColorSamples) + (Alpha ? 1 : 0);
    CheckShape(FileName, W, H, Channels, Alpha, Type);
    const std::int64_t BytesPerSample = Bits / 8;
    if (Compression == COMPRESSION_NONE && std::int64_t(W) * H * Spp * BytesPerSample > FileSize)
        Fail(FileName, "corrupt or truncated TIFF (" + Dimensions(W, H) + " pixels cannot fit in " +
                           std::to_string(FileSize) + " bytes)");

    std::uint16_t *MapRed = nullptr, *MapGreen = nullptr, *MapBlue = nullptr;
    int MapShift = 0;
    if (Palette) {
        if (TIFFGetField(Tiff, TIFFTAG_COLORMAP, &MapRed, &MapGreen, &MapBlue) != 1)
            Fail(FileName, "palette TIFF without colour map");
        // Some writers store 8-bit entries in the 16-bit colour map.
        bool Wide = false;
        for (int i = 0; i < 256; ++i) Wide = Wide || MapRed[i] > 255 || MapGreen[i] > 255 || MapBlue[i] > 255;
        MapShift = Wide ? 8 : 0;
    }

    TImageData Image;
    SetShape(Image, std::int32_t(W), std::int32_t(H), Channels, Alpha, Type);
    Image.FloatBits = Type == TSampleType::stFloat64 ? Bits : 64;
    char* Description = nullptr;
    if (TIFFGetField(Tiff, TIFFTAG_IMAGEDESCRIPTION, &Description) == 1 && Description != nullptr)
        Image.Caption = Description;

    const bool Contig = Planar == PLANARCONFIG_CONTIG || Spp == 1;
    // Which file sample fills which image channel; a palette index fills three.
    std::vector<std::pair<std::int32_t, std::int32_t>> Plan;
    for (std::int32_t c = 0; c < (Palette ? 1 : ColorSamples); ++c) Plan.emplace_back(c, c);
    if (Alpha) Plan.emplace_back(Channels - 1, ColorSamples);

    // Count pixels of one decoded row, Step samples apart from sample First,
    // into channel Channel of the image from column X0 of row Row.
    const auto Convert = [&](const std::uint8_t* Source, std::int32_t Row, std::int32_t X0, std::int32_t Count,
                             std::int32_t Channel, std::size_t Step, std::size_t First) {
        const std::size_t C = std::size_t(Channels);
        const std::size_t At = std::size_t(X0) * C + std::size_t(Channel);
        const bool InvertChannel = Invert && Channel < ColorSamples;
        switch (Type) {
        case TSampleType::st8bit: {
            std::uint8_t* Out = RowOf(Image.Samples8, Image, Row) + At;
            if (Palette && Channel == 0) {
                for (std::int32_t x = 0; x < Count; ++x) {
                    const std::uint8_t Index = Source[std::size_t(x) * Step + First];
                    std::uint8_t* P = Out + std::size_t(x) * C;
                    P[0] = std::uint8_t(MapRed[Index] >> MapShift);
                    P[1] = std::uint8_t(MapGreen[Index] >> MapShift);
                    P[2] = std::uint8_t(MapBlue[Index] >> MapShift);
                }
            } else {
                CopyScanline<std::uint8_t>(Source, Step, First, Count, Out, C, InvertChannel);
            }
            break;
        }
        case TSampleType::st16bit:
            CopyScanline<std::uint16_t>(Source, Step, First, Count, RowOf(Image.Samples16, Image, Row) + At, C,
                                        InvertChannel);
            break;
        case TSampleType::stFloat64:
            if (Bits == 32)
                CopyScanline<float>(Source, Step, First, Count, RowOf(Image.SamplesFloat, Image, Row) + At, C, false);
            else
                CopyScanline<double>(Source, Step, First, Count, RowOf(Image.SamplesFloat, Image, Row) + At, C, false);
            break;
        }
    };

    if (TIFFIsTiled(Tiff)) {
        std::uint32_t TileWidth = 0, TileHeight = 0;
        TIFFGetField(Tiff, TIFFTAG_TILEWIDTH, &TileWidth);
        TIFFGetField(Tiff, TIFFTAG_TILELENGTH, &TileHeight);
        const tmsize_t TileSize = TIFFTileSize(Tiff), TileRowSize = TIFFTileRowSize(Tiff);
        if (TileWidth == 0 || TileHeight == 0 || TileSize <= 0 || TileRowSize <= 0) Corrupt();
        std::vector<std::uint8_t> Tile(static_cast<std::size_t>(TileSize));
        // Tiles cover the image in any order, so all of it is needed at once;
        // its size was checked against the containers above.
        GrowRows(Image, Image.Height);
        // Interleaved tiles are read once for all channels, planar ones per plane.
        const std::size_t Passes = Contig ? 1 : Plan.size();
        for (std::size_t Pass = 0; Pass < Passes; ++Pass)
            for (std::uint32_t y0 = 0; y0 < H; y0 += TileHeight)
                for (std::uint32_t x0 = 0; x0 < W; x0 += TileWidth) {
                    const std::uint16_t Plane = Contig ? 0 : std::uint16_t(Plan[Pass].second);
                    if (TIFFReadTile(Tiff, Tile.data(), x0, y0, 0, Plane) < 0) Corrupt();
                    const std::int32_t Count = std::int32_t(std::min(TileWidth, W - x0));
                    for (std::uint32_t r = 0; r < TileHeight && y0 + r < H; ++r) {
                        const std::uint8_t* Source = Tile.data() + std::size_t(r) * std::size_t(TileRowSize);
                        for (std::size_t k = Contig ? 0 : Pass; k < (Contig ? Plan.size() : Pass + 1); ++k)
                            Convert(Source, std::int32_t(y0 + r), std::int32_t(x0), Count, Plan[k].first,
                                    Contig ? Spp : 1, Contig ? std::size_t(Plan[k].second) : 0);
                    }
                }
    } else {
        const tmsize_t LineSize = TIFFScanlineSize(Tiff);
        if (LineSize <= 0) Corrupt();
        std::vector<std::uint8_t> Line(static_cast<std::size_t>(LineSize));
        if (Contig) {
            const std::int32_t Chunk = 64;
            for (std::int32_t y = 0; y < Image.Height; ++y) {
                if (y % Chunk == 0) GrowRows(Image, std::min(Image.Height, y + Chunk));
                if (TIFFReadScanline(Tiff, Line.data(), std::uint32_t(y), 0) < 0) Corrupt();
                for (const auto& [Channel, Sample] : Plan)
                    Convert(Line.data(), y, 0, Image.Width, Channel, Spp, std::size_t(Sample));
            }
        } else {
            GrowRows(Image, Image.Height);
            for (const auto& [Channel, Sample] : Plan)
                for (std::int32_t y = 0; y < Image.Height; ++y) {
                    if (TIFFReadScanline(Tiff, Line.data(), std::uint32_t(y), std::uint16_t(Sample)) < 0) Corrupt();
                    Convert(Line.data(), y, 0, Image.Width, Channel, 1, 0);
                }
        }
    }
    if (Associated) Unpremultiply(Image);
    return Image;
}

void WriteTiff(TTempOutput& Output, const TImageData& Image) {
    TTiffMessages Messages{Output.Name(), {}};
    TTiffPtr Owner = OpenTiff(Output.ReleaseFd(), Output.Name(), "w", Messages);
    const auto Failed = [&] { Fail(Output.Name(), "cannot write TIFF (" + Messages.First + ")"); };
    if (!Owner) Failed();
    TIFF* Tiff = Owner.get();
    const bool Float = Image.SampleType == TSampleType::stFloat64;
    const std::uint16_t Bits = Float ? std::uint16_t(Image.FloatBits == 32 ? 32 : 64)
                                     : (Image.SampleType == TSampleType::st16bit ? 16 : 8);
    TIFFSetField(Tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(Image.Width));
    TIFFSetField(Tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(Image.Height));
    TIFFSetField(Tiff, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(Image.Channels));
    TIFFSetField(Tiff, TIFFTAG_BITSPERSAMPLE, Bits);
    TIFFSetField(Tiff, TIFFTAG_SAMPLEFORMAT, Float ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(Tiff, TIFFTAG_PHOTOMETRIC, Image.ColorChannels() == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(Tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(Tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(Tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(Tiff, TIFFTAG_PREDICTOR, Float ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
    if (Image.HasAlpha) {
        const std::uint16_t Extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(Tiff, TIFFTAG_EXTRASAMPLES, std::uint16_t(1), &Extra);
    }
    if (!Image.Caption.empty()) TIFFSetField(Tiff, TIFFTAG_IMAGEDESCRIPTION, Image.Caption.c_str());
    TIFFSetField(Tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(Tiff, 0));
    if (!Messages.First.empty()) Failed();

    // The encoder may work in place, so each row goes through a copy.
    const std::size_t RowSamples = std::size_t(Image.Width) * std::size_t(Image.Channels);
    std::vector<std::uint8_t> Line(RowSamples * (Bits / 8u));
    for (std::int32_t y = 0; y < Image.Height; ++y) {
        const std::size_t First = RowSamples * std::size_t(y);
        switch (Image.SampleType) {
        case TSampleType::st8bit: std::memcpy(Line.data(), &Image.Samples8[First], RowSamples); break;
        case TSampleType::st16bit: std::memcpy(Line.data(), &Image.Samples16[First], RowSamples * 2); break;
        case TSampleType::stFloat64:
            if (Bits == 32) {
                for (std::size_t i = 0; i < RowSamples; ++i) {
                    const float v = static_cast<float>(Image.SamplesFloat[First + i]);
                    std::memcpy(Line.data() + i * 4, &v, 4);
                }
            } else {
                std::memcpy(Line.data(), &Image.SamplesFloat[First], RowSamples * 8);
            }
            break;
        }
        if (TIFFWriteScanline(Tiff, Line.data(), std::uint32_t(y), 0) < 0) Failed();
    }
    if (TIFFFlush(Tiff) != 1 || !Messages.First.empty()) Failed();
    // Closing also flushes; no error can be reported from here on.
    Owner.reset();
}

// ---------------------------------------------------------------------------
// BMP, by hand: uncompressed 1, 4, 8 bits with a palette, 16 and 32 bits
// with bit fields, 24 bits; rows bottom-up unless the height is negative.

std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

struct TBitField {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Max = 0;
    std::uint8_t Take(std::uint32_t Pixel) const {
        if (Mask == 0) return 0;
        const std::uint32_t v = (Pixel & Mask) >> Shift;
        return Max == 255 ? std::uint8_t(v) : std::uint8_t((std::uint64_t(v) * 255 + Max / 2) / Max);
    }
};

TBitField MakeBitField(std::uint32_t Mask) {
    TBitField Field;
    if (Mask == 0) return Field;
    Field.Mask = Mask;
    Field.Shift = std::countr_zero(Mask);
    Field.Max = Mask >> Field.Shift;
    return Field;
}

TImageData ReadBmp(const std::string& FileName, std::FILE* File, std::int64_t FileSize) {
    const auto Truncated = [&] { Fail(FileName, "corrupt or truncated BMP"); };
    std::uint8_t Header[14 + 124] = {};
    if (FileSize < 14 + 12 || std::fread(Header, 1, 14 + 4, File) != 18) Truncated();
    const std::uint32_t PixelOffset = Le32(Header + 10);
    const std::uint32_t InfoSize = Le32(Header + 14);
    if (InfoSize != 12 && (InfoSize < 40 || InfoSize > 124)) Fail(FileName, "unsupported BMP header");
    if (std::fread(Header + 18, 1, InfoSize - 4, File) != InfoSize - 4) Truncated();
    const std::uint8_t* Info = Header + 14;

    std::int64_t W, H;
    std::uint32_t BitCount, Compression = 0, ColorsUsed = 0;
    if (InfoSize == 12) {
        W = Le16(Info + 4);
        H = Le16(Info + 6);
        BitCount = Le16(Info + 10);
    } else {
        W = std::int32_t(Le32(Info + 4));
        H = std::int32_t(Le32(Info + 8));
        BitCount = Le16(Info + 14);
        Compression = Le32(Info + 16);
        ColorsUsed = Le32(Info + 32);
    }
    const bool TopDown = H < 0;
    if (TopDown) H = -H;

    const bool Indexed = BitCount == 1 || BitCount == 4 || BitCount == 8;
    TBitField Fields[4];
    if (Compression == 0) {
        if (BitCount == 16) {
            Fields[0] = MakeBitField(0x7C00);
            Fields[1] = MakeBitField(0x03E0);
            Fields[2] = MakeBitField(0x001F);
        } else if (BitCount == 32) {
            Fields[0] = MakeBitField(0xFF0000);
            Fields[1] = MakeBitField(0xFF00);
            Fields[2] = MakeBitField(0xFF);
        } else if (!Indexed && BitCount != 24) {
            Fail(FileName, "unsupported BMP of " + std::to_string(BitCount) + " bits per pixel");
        }
    } else if ((Compression == 3 || Compression == 6) && (BitCount == 16 || BitCount == 32)) {
        // The masks follow a 40-byte header, or sit inside a longer one.
        std::uint8_t Masks[16] = {};
        const std::uint32_t MaskCount = Compression == 6 ? 4 : 3;
        if (InfoSize == 40) {
            if (std::fread(Masks, 1, MaskCount * 4, File) != MaskCount * 4) Truncated();
        } else {
            std::memcpy(Masks, Info + 40, std::min<std::uint32_t>(InfoSize - 40, 16));
        }
        for (std::uint32_t i = 0; i < 4; ++i) {
            const std::uint32_t Mask = Le32(Masks + 4 * i);
            if (Mask != 0 && ((Mask >> std::countr_zero(Mask)) & ((Mask >> std::countr_zero(Mask)) + 1)) != 0)
                Fail(FileName, "unsupported BMP bit fields");
            Fields[i] = MakeBitField(Mask);
        }
    } else {
        Fail(FileName, "unsupported BMP compression " + std::to_string(Compression));
    }

    // The palette, and whether it is gray.
    TPaletteEntry Palette[256] = {};
    bool Gray = false;
    if (Indexed) {
        const std::uint32_t Limit = 1u << BitCount;
        std::uint32_t Count = ColorsUsed == 0 || ColorsUsed > Limit ? Limit : ColorsUsed;
        const std::uint32_t EntrySize = InfoSize == 12 ? 3 : 4;
        const std::int64_t PaletteStart = 14 + InfoSize;
        if (PixelOffset < PaletteStart) Truncated();
        Count = std::min<std::uint32_t>(Count, (PixelOffset - PaletteStart) / EntrySize);
        std::uint8_t Entries[256 * 4];
        if (std::fread(Entries, 1, Count * EntrySize, File) != Count * EntrySize) Truncated();
        Gray = true;
        for (std::uint32_t i = 0; i < Count; ++i) {
            const std::uint8_t* E = Entries + i * EntrySize;
            Palette[i] = {E[0], E[1], E[2]};
            Gray = Gray && E[0] == E[1] && E[1] == E[2];
        }
    }
    const bool Alpha = Fields[3].Mask != 0;
    const std::int32_t Channels = Gray ? 1 : (Alpha ? 4 : 3);
    CheckShape(FileName, W, H, Channels, Alpha, TSampleType::st8bit);
    const std::int64_t Stride = ((W * BitCount + 31) / 32) * 4;
    if (std::int64_t(PixelOffset) + Stride * H > FileSize) Truncated();
    if (std::fseek(File, long(PixelOffset), SEEK_SET) != 0) Truncated();

    TImageData Image;
    SetShape(Image, std::int32_t(W), std::int32_t(H), Channels, Alpha, TSampleType::st8bit);
    GrowRows(Image, Image.Height);
    std::vector<std::uint8_t> Line(static_cast<std::size_t>(Stride));
    for (std::int32_t r = 0; r < Image.Height; ++r) {
        if (std::fread(Line.data(), 1, Line.size(), File) != Line.size()) Truncated();
        std::uint8_t* Out = RowOf(Image.Samples8, Image, TopDown ? r : Image.Height - 1 - r);
        for (std::int32_t x = 0; x < Image.Width; ++x) {
            std::uint8_t* P = Out + std::size_t(x) * std::size_t(Channels);
            if (Indexed) {
                const std::size_t Bit = std::size_t(x) * BitCount;
                const std::uint8_t Byte = Line[Bit / 8];
                const std::uint8_t Index = std::uint8_t((Byte >> (8 - BitCount - Bit % 8)) & ((1u << BitCount) - 1));
                const TPaletteEntry& E = Palette[Index];
                if (Gray) {
                    P[0] = E.Red;
                } else {
                    P[0] = E.Red;
                    P[1] = E.Green;
                    P[2] = E.Blue;
                }
            } else if (BitCount == 24) {
                const std::uint8_t* S = &Line[std::size_t(x) * 3];
                P[0] = S[2];
                P[1] = S[1];
                P[2] = S[0];
            } else {
                const std::uint32_t Pixel = BitCount == 16 ? Le16(&Line[std::size_t(x) * 2]) : Le32(&Line[std::size_t(x) * 4]);
                for (std::int32_t c = 0; c < Channels; ++c) P[c] = Fields[c].Take(Pixel);
            }
        }
    }
    return Image;
}

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

void WriteBmp(TTempOutput& Output, const TImageData& Image) {
    const bool Gray = Image.Channels == 1;
    const std::uint32_t Bits = Gray ? 8 : 24;
    const std::uint64_t Stride = ((std::uint64_t(Image.Width) * Bits + 31) / 32) * 4;
    const std::uint32_t Offset = 14 + 40 + (Gray ? 1024 : 0);
    const std::uint64_t Total = Offset + Stride * std::uint64_t(Image.Height);
    if (Total > 0xFFFFFFFFu) Fail(Output.Name(), "image too large for BMP");
    std::uint8_t Header[14 + 40 + 1024] = {};
    Header[0] = 'B';
    Header[1] = 'M';
    Put32(Header + 2, std::uint32_t(Total));
    Put32(Header + 10, Offset);
    Put32(Header + 14, 40);
    Put32(Header + 18, std::uint32_t(Image.Width));
    Put32(Header + 22, std::uint32_t(Image.Height));
    Put16(Header + 26, 1);
    Put16(Header + 28, Bits);
    Put32(Header + 34, std::uint32_t(Stride * std::uint64_t(Image.Height)));
    Put32(Header + 38, 2835); // 72 dots per inch
    Put32(Header + 42, 2835);
    if (Gray) {
        Put32(Header + 46, 256);
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint8_t* E = Header + 54 + 4 * i;
            E[0] = E[1] = E[2] = std::uint8_t(i);
        }
    }
    std::FILE* File = Output.OpenStream();
    std::fwrite(Header, 1, Offset, File);
    std::vector<std::uint8_t> Line(static_cast<std::size_t>(Stride), 0);
    for (std::int32_t r = Image.Height - 1; r >= 0; --r) {
        const std::uint8_t* In = &Image.Samples8[std::size_t(r) * std::size_t(Image.Width) * std::size_t(Image.Channels)];
        if (Gray) {
            std::memcpy(Line.data(), In, std::size_t(Image.Width));
        } else {
            for (std::int32_t x = 0; x < Image.Width; ++x) {
                Line[std::size_t(x) * 3] = In[std::size_t(x) * 3 + 2];
                Line[std::size_t(x) * 3 + 1] = In[std::size_t(x) * 3 + 1];
                Line[std::size_t(x) * 3 + 2] = In[std::size_t(x) * 3];
            }
        }
        if (std::fwrite(Line.data(), 1, Line.size(), File) != Line.size()) break;
    }
    Output.CloseStream();
}

// The image's fields agree with each other and with its samples.
void CheckConsistent(const std::string& FileName, const TImageData& Image) {
    const bool ShapeOk = Image.Width > 0 && Image.Height > 0 && Image.Channels >= 1 && Image.Channels <= 4 &&
                         (Image.HasAlpha ? Image.Channels % 2 == 0 : Image.Channels % 2 == 1);
    std::size_t Held = 0;
    switch (Image.SampleType) {
    case TSampleType::st8bit: Held = Image.Samples8.size(); break;
    case TSampleType::st16bit: Held = Image.Samples16.size(); break;
    case TSampleType::stFloat64: Held = Image.SamplesFloat.size(); break;
    }
    if (!ShapeOk || Held != Image.SampleCount()) Fail(FileName, "invalid image to write");
}

} // namespace

// ---------------------------------------------------------------------------

void TImageData::Allocate(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type) {
    if (W < 0 || H < 0 || ChannelCount < 1 || ChannelCount > 4 || (Alpha ? ChannelCount % 2 != 0 : ChannelCount % 2 != 1))
        throw EImageFile("invalid image shape");
    SetShape(*this, W, H, ChannelCount, Alpha, Type);
    Samples8.clear();
    Samples16.clear();
    SamplesFloat.clear();
    GrowRows(*this, H);
}

bool FitsContainers(std::int32_t W, std::int32_t H, std::int32_t ChannelCount, bool Alpha, TSampleType Type) {
    if (W < 1 || H < 1 || ChannelCount < 1 || ChannelCount > 4) return false;
    const std::int64_t Pixels = std::int64_t(W) * H;
    if (Type == TSampleType::st8bit) {
        const std::int32_t ColorChannels = Alpha ? ChannelCount - 1 : ChannelCount;
        return Pixels * (ColorChannels == 1 ? 1 : 3) < 2147483647;
    }
    return Pixels * 8 <= 2000000000;
}

TImageFormat FormatFromFileName(const std::string& FileName) {
    const std::string Ext = LowerExtension(FileName);
    if (Ext == "png") return TImageFormat::ifPng;
    if (Ext == "jpg" || Ext == "jpeg") return TImageFormat::ifJpeg;
    if (Ext == "tif" || Ext == "tiff") return TImageFormat::ifTiff;
    if (Ext == "bmp") return TImageFormat::ifBmp;
    Fail(FileName, "unknown image format (use .png, .jpg, .tif or .bmp)");
}

TImageData ReadImageFile(const std::string& FileName) {
    TFilePtr File(std::fopen(FileName.c_str(), "rb"));
    if (!File) Fail(FileName, "cannot open (" + SystemError() + ")");
    struct stat Status {};
    if (::fstat(::fileno(File.get()), &Status) != 0) Fail(FileName, "cannot open (" + SystemError() + ")");
    if (!S_ISREG(Status.st_mode)) Fail(FileName, "not a regular file");
    const std::int64_t Size = Status.st_size;
    if (Size == 0) Fail(FileName, "empty file");

    std::uint8_t Magic[8] = {};
    const std::size_t Got = std::fread(Magic, 1, sizeof Magic, File.get());
    std::rewind(File.get());
    static constexpr std::uint8_t PngMagic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (Got >= 8 && std::memcmp(Magic, PngMagic, 8) == 0) return ReadPng(FileName, File.get(), Size);
    if (Got >= 3 && Magic[0] == 0xFF && Magic[1] == 0xD8 && Magic[2] == 0xFF) return ReadJpeg(FileName, File.get(), Size);
    if (Got >= 4 && ((Magic[0] == 'I' && Magic[1] == 'I' && (Magic[2] == 42 || Magic[2] == 43) && Magic[3] == 0) ||
                     (Magic[0] == 'M' && Magic[1] == 'M' && Magic[2] == 0 && (Magic[3] == 42 || Magic[3] == 43))))
        return ReadTiff(FileName, File.get(), Size);
    if (Got >= 2 && Magic[0] == 'B' && Magic[1] == 'M') return ReadBmp(FileName, File.get(), Size);
    Fail(FileName, "not a PNG, JPEG, TIFF or BMP image");
}

void WriteImageFile(const std::string& FileName, const TImageData& Image, std::int32_t JpegQuality) {
    const TImageFormat Format = FormatFromFileName(FileName);
    CheckConsistent(FileName, Image);
    const char* Name = Format == TImageFormat::ifPng ? "PNG" : Format == TImageFormat::ifJpeg ? "JPEG" : "BMP";
    if (Format != TImageFormat::ifTiff) {
        if (Image.SampleType == TSampleType::stFloat64)
            Fail(FileName, std::string(Name) + " cannot hold floating-point samples (write a .tif file)");
        if (Format != TImageFormat::ifPng && Image.SampleType == TSampleType::st16bit)
            Fail(FileName, std::string(Name) + " cannot hold 16-bit samples (write a .png or .tif file)");
        if (Format != TImageFormat::ifPng && Image.HasAlpha)
            Fail(FileName, std::string(Name) + " cannot hold an alpha channel (write a .png or .tif file)");
    }
    TTempOutput Output(FileName);
    switch (Format) {
    case TImageFormat::ifPng: WritePng(Output, Image); break;
    case TImageFormat::ifJpeg: WriteJpeg(Output, Image, JpegQuality); break;
    case TImageFormat::ifTiff: WriteTiff(Output, Image); break;
    case TImageFormat::ifBmp: WriteBmp(Output, Image); break;
    }
    Output.Commit();
}

// ---------------------------------------------------------------------------
// Conversions

void ImageToBitmaps(const TImageData& Image, TLinearBitmap& Color, TLinearBitmap* Alpha) {
    if (Image.SampleType != TSampleType::st8bit) throw EImageFile("only 8-bit images convert to bitmaps");
    const std::int32_t C = Image.Channels;
    const bool Gray = Image.ColorChannels() == 1;
    Color.SetSize(Image.Width, Image.Height, Gray ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    if (Gray) std::memcpy(Color.Palette, GrayPalette, sizeof(TPalette));
    for (std::int32_t y = 0; y < Image.Height; ++y) {
        const std::uint8_t* In = &Image.Samples8[std::size_t(y) * std::size_t(Image.Width) * std::size_t(C)];
        std::uint8_t* Out = Color.Line(y);
        for (std::int32_t x = 0; x < Image.Width; ++x, In += C)
            if (Gray) {
                Out[x] = In[0];
            } else {
                Out[3 * x] = In[2];
                Out[3 * x + 1] = In[1];
                Out[3 * x + 2] = In[0];
            }
    }
    if (Alpha == nullptr) return;
    if (!Image.HasAlpha) {
        Alpha->Clear();
        return;
    }
    Alpha->SetSize(Image.Width, Image.Height, TPixelFormat::pf8bit);
    std::memcpy(Alpha->Palette, GrayPalette, sizeof(TPalette));
    for (std::int32_t y = 0; y < Image.Height; ++y) {
        const std::uint8_t* In = &Image.Samples8[std::size_t(y) * std::size_t(Image.Width) * std::size_t(C)] + (C - 1);
        std::uint8_t* Out = Alpha->Line(y);
        for (std::int32_t x = 0; x < Image.Width; ++x, In += C) Out[x] = *In;
    }
}

TImageData BitmapsToImage(const TLinearBitmap& Color, const TLinearBitmap* Alpha) {
    if (!Color.Present ||
        (Color.PixelFormat != TPixelFormat::pf8bit && Color.PixelFormat != TPixelFormat::pf24bit))
        throw EImageFile("only 8-bit and 24-bit bitmaps convert to images");
    const bool HasAlpha = Alpha != nullptr && Alpha->Present;
    if (HasAlpha && (Alpha->PixelFormat != TPixelFormat::pf8bit || Alpha->Width != Color.Width ||
                     Alpha->Height != Color.Height))
        throw EImageFile("the alpha bitmap does not match the colour bitmap");
    // An 8-bit bitmap is gray when every palette entry is; no palette means the ramp.
    bool Gray = Color.PixelFormat == TPixelFormat::pf8bit;
    if (Gray && Color.Palette != nullptr)
        for (int i = 0; i < 256; ++i)
            Gray = Gray && Color.Palette[i].Red == Color.Palette[i].Green && Color.Palette[i].Green == Color.Palette[i].Blue;
    TImageData Image;
    const std::int32_t C = (Gray ? 1 : 3) + (HasAlpha ? 1 : 0);
    Image.Allocate(Color.Width, Color.Height, C, HasAlpha, TSampleType::st8bit);
    for (std::int32_t y = 0; y < Image.Height; ++y) {
        const std::uint8_t* In = Color.Line(y);
        const std::uint8_t* A = HasAlpha ? Alpha->Line(y) : nullptr;
        std::uint8_t* Out = &Image.Samples8[std::size_t(y) * std::size_t(Image.Width) * std::size_t(C)];
        for (std::int32_t x = 0; x < Image.Width; ++x, Out += C) {
            if (Color.PixelFormat == TPixelFormat::pf24bit) {
                Out[0] = In[3 * x + 2];
                Out[1] = In[3 * x + 1];
                Out[2] = In[3 * x];
            } else if (Color.Palette == nullptr) {
                Out[0] = In[x];
            } else {
                const TPaletteEntry& E = Color.Palette[In[x]];
                Out[0] = E.Red;
                if (!Gray) {
                    Out[1] = E.Green;
                    Out[2] = E.Blue;
                }
            }
            if (HasAlpha) Out[C - 1] = Alpha->Palette != nullptr ? Alpha->Palette[A[x]].Red : A[x];
        }
    }
    return Image;
}

TFloatMapList ImageToFloatMaps(const TImageData& Image) {
    const std::int32_t C = Image.Channels;
    const std::size_t Pixels = std::size_t(Image.Width) * std::size_t(Image.Height);
    TFloatMapList Maps;
    for (std::int32_t c = 0; c < C; ++c) {
        auto Map = std::make_unique<TFloatMap>(Image.Width, Image.Height);
        double* Out = Map->Map;
        for (std::size_t p = 0; p < Pixels; ++p) {
            const std::size_t i = p * std::size_t(C) + std::size_t(c);
            switch (Image.SampleType) {
            case TSampleType::st8bit: Out[p] = Image.Samples8[i]; break;
            case TSampleType::st16bit: Out[p] = Image.Samples16[i]; break;
            case TSampleType::stFloat64: Out[p] = Image.SamplesFloat[i]; break;
            }
        }
        Maps.push_back(std::move(Map));
    }
    return Maps;
}

TImageData FloatMapsToImage(const TFloatMapList& Maps, bool HasAlpha, TSampleType Type, std::int32_t FloatBits) {
    const std::int32_t C = std::int32_t(Maps.size());
    if (C < 1 || C > 4 || (HasAlpha ? C % 2 != 0 : C % 2 != 1)) throw EImageFile("wrong number of channel maps");
    for (const auto& Map : Maps)
        if (!Map || Map->Width != Maps[0]->Width || Map->Height != Maps[0]->Height)
            throw EImageFile("the channel maps differ in size");
    TImageData Image;
    Image.Allocate(Maps[0]->Width, Maps[0]->Height, C, HasAlpha, Type);
    Image.FloatBits = FloatBits == 32 ? 32 : 64;
    const std::size_t Pixels = std::size_t(Image.Width) * std::size_t(Image.Height);
    // Round to nearest, ties to even; NaN fails both comparisons and becomes 0.
    const auto Quantize = [](double v, double Max) {
        const double r = std::nearbyint(v);
        return r > Max ? Max : (!(r >= 0.0) ? 0.0 : r);
    };
    for (std::int32_t c = 0; c < C; ++c) {
        const double* In = Maps[std::size_t(c)]->Map;
        for (std::size_t p = 0; p < Pixels; ++p) {
            const std::size_t i = p * std::size_t(C) + std::size_t(c);
            switch (Type) {
            case TSampleType::st8bit: Image.Samples8[i] = std::uint8_t(Quantize(In[p], 255.0)); break;
            case TSampleType::st16bit: Image.Samples16[i] = std::uint16_t(Quantize(In[p], 65535.0)); break;
            case TSampleType::stFloat64: Image.SamplesFloat[i] = In[p]; break;
            }
        }
    }
    return Image;
}

} // namespace fi
