#include "tools/PngFile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <png.h>

#include "tools/ImageMetadata.h"

namespace fi {

namespace {

// libpng reports errors by longjmp: every function that sets the jump point
// below holds only trivially destructible locals, and C++ objects live in
// the callers.

// The error handler's part of every libpng job; warnings about metadata
// chunks are kept, since libpng drops what it warns about.
struct TPngErrorText {
    char Message[256] = {};
    char MetadataWarning[256] = {};
};

// The library's state of one read or write, freed on every way out.
struct TPngHandles : TPngErrorText {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    bool Writing = false;

    explicit TPngHandles(bool ForWriting);
    ~TPngHandles() { Release(); }
    TPngHandles(const TPngHandles&) = delete;
    TPngHandles& operator=(const TPngHandles&) = delete;

private:
    void Release() {
        if (Writing) png_destroy_write_struct(&Png, Info != nullptr ? &Info : nullptr);
        else png_destroy_read_struct(&Png, Info != nullptr ? &Info : nullptr, nullptr);
    }
};

struct TPngJob : TPngHandles {
    TPngJob() : TPngHandles(false) {}
    TFileBytes Source;
    std::size_t Position = 0;
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

void PngWarning(png_structp Png, png_const_charp Message) {
    auto* Error = static_cast<TPngErrorText*>(png_get_error_ptr(Png));
    const bool Metadata = std::strncmp(Message, "iCCP", 4) == 0 || std::strncmp(Message, "eXIf", 4) == 0 ||
                          std::strncmp(Message, "iTXt", 4) == 0 || std::strncmp(Message, "pHYs", 4) == 0;
    if (Metadata && Error->MetadataWarning[0] == 0)
        std::snprintf(Error->MetadataWarning, sizeof Error->MetadataWarning, "%s", Message);
}

// libpng takes a chunk's claimed length at its word and allocates it before
// reading; a damaged 1 KB file could ask for a gigabyte. No buffer libpng
// needs for an image the containers take comes near this (a row of a
// million 16-bit RGBA pixels is 8 MB), so a larger request is refused and
// libpng skips the chunk or fails the file.
constexpr png_alloc_size_t LargestPngBuffer = png_alloc_size_t(64) << 20;

png_voidp PngAllocate(png_structp, png_alloc_size_t Size) {
    return Size <= LargestPngBuffer ? std::malloc(Size) : nullptr;
}

void PngFree(png_structp, png_voidp Memory) { std::free(Memory); }

TPngHandles::TPngHandles(bool ForWriting) : Writing(ForWriting) {
    TPngErrorText* Error = this;
    Png = Writing ? png_create_write_struct_2(PNG_LIBPNG_VER_STRING, Error, PngError, PngWarning, nullptr, PngAllocate,
                                              PngFree)
                  : png_create_read_struct_2(PNG_LIBPNG_VER_STRING, Error, PngError, PngWarning, nullptr, PngAllocate,
                                             PngFree);
    if (Png == nullptr) throw EOutOfMemory();
    Info = png_create_info_struct(Png);
    if (Info == nullptr) {
        Release();
        throw EOutOfMemory();
    }
    // A profile libpng refuses is left out with a warning, not a failure.
    png_set_benign_errors(Png, 1);
}

void PngReadBytes(png_structp Png, png_bytep Data, png_size_t Length) {
    auto* Job = static_cast<TPngJob*>(png_get_io_ptr(Png));
    if (Job->Source.size() - Job->Position < Length) png_error(Png, "Read Error: file ends early");
    std::memcpy(Data, Job->Source.data() + Job->Position, Length);
    Job->Position += Length;
}

bool PngReadHeader(TPngJob* Job) {
    if (setjmp(png_jmpbuf(Job->Png))) return false;
    png_set_read_fn(Job->Png, Job, PngReadBytes);
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

constexpr const char* XmpKey = "XML:com.adobe.xmp";

// The caption and the XMP packet from the text chunks.
void PngTexts(png_structp Png, png_infop Info, TImageData& Image) {
    png_textp Text = nullptr;
    int Count = 0;
    png_get_text(Png, Info, &Text, &Count);
    for (int i = Count - 1; i >= 0; --i) {
        if (Text[i].text == nullptr) continue;
        if (std::strcmp(Text[i].key, "Description") == 0) Image.Caption = Text[i].text;
        if (std::strcmp(Text[i].key, XmpKey) == 0) Image.Metadata.Xmp = Text[i].text;
    }
}

void PngReadMetadata(const std::string& FileName, const TPngJob& Job, TImageData& Image) {
    TImageMetadata& M = Image.Metadata;
    png_charp Name = nullptr;
    png_bytep Profile = nullptr;
    png_uint_32 Length = 0;
    int Compression = 0;
    if (png_get_iCCP(Job.Png, Job.Info, &Name, &Compression, &Profile, &Length) != 0 && Profile != nullptr)
        M.IccProfile.assign(Profile, Profile + Length);
    png_bytep Exif = nullptr;
    png_uint_32 ExifLength = 0;
    if (png_get_eXIf_1(Job.Png, Job.Info, &ExifLength, &Exif) != 0 && Exif != nullptr)
        M.Exif.assign(Exif, Exif + ExifLength);
    png_uint_32 X = 0, Y = 0;
    int Unit = 0;
    if (png_get_pHYs(Job.Png, Job.Info, &X, &Y, &Unit) != 0 && Unit == PNG_RESOLUTION_METER && X > 0 && Y > 0)
        M.Resolution = {X / 100.0, Y / 100.0, TResolutionUnit::ruCentimetre};
    PngTexts(Job.Png, Job.Info, Image);
    if (Job.MetadataWarning[0] != 0)
        Image.Warnings.push_back(FileName + ": damaged metadata chunk dropped (" + Job.MetadataWarning + ")");
}

png_bytep PngRow(TImageData& Image, std::int32_t y) {
    return Image.SampleType() == TSampleType::st8bit ? Image.Row<std::uint8_t>(y)
                                                     : reinterpret_cast<png_bytep>(Image.Row<std::uint16_t>(y));
}

// Reads the rows after the header into Image, whose shape is set.
void PngReadPixels(const std::string& FileName, TPngJob& Job, TImageData& Image) {
    const auto Corrupt = [&] { FailFile(FileName, std::string("corrupt or truncated PNG (") + Job.Message + ")"); };
    std::vector<png_bytep> Rows(Job.Height);
    if (Job.Interlaced) {
        // Every pass touches every row, so the whole image is needed at once;
        // the size was checked against the file before.
        Image.GrowRows(Image.Height);
        for (std::int32_t y = 0; y < Image.Height; ++y) Rows[y] = PngRow(Image, y);
        if (!PngReadImage(&Job, Rows.data())) Corrupt();
        return;
    }
    const std::int32_t Chunk = 64;
    for (std::int32_t First = 0; First < Image.Height; First += Chunk) {
        const std::int32_t Count = std::min(Chunk, Image.Height - First);
        Image.GrowRows(First + Count);
        for (std::int32_t y = First; y < First + Count; ++y) Rows[y] = PngRow(Image, y);
        if (!PngReadRows(&Job, Rows.data(), png_uint_32(First), png_uint_32(Count))) Corrupt();
    }
}

struct TPngWriteJob : TPngHandles {
    TPngWriteJob() : TPngHandles(true) {}
    std::FILE* File = nullptr;
    const TImageData* Image = nullptr;
    png_bytepp Rows = nullptr;
    png_text* Texts = nullptr;
    int TextCount = 0;
    std::vector<std::uint8_t>* Exif = nullptr;
};

void PngSetMetadata(TPngWriteJob* Job) {
    const TImageMetadata& M = Job->Image->Metadata;
    if (!M.IccProfile.empty())
        png_set_iCCP(Job->Png, Job->Info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, M.IccProfile.data(),
                     png_uint_32(M.IccProfile.size()));
    if (!Job->Exif->empty()) png_set_eXIf_1(Job->Png, Job->Info, png_uint_32(Job->Exif->size()), Job->Exif->data());
    if (M.Resolution.Known())
        png_set_pHYs(Job->Png, Job->Info, M.Resolution.PerMetre(M.Resolution.X), M.Resolution.PerMetre(M.Resolution.Y),
                     PNG_RESOLUTION_METER);
    if (Job->TextCount > 0) png_set_text(Job->Png, Job->Info, Job->Texts, Job->TextCount);
}

bool PngWrite(TPngWriteJob* Job) {
    if (setjmp(png_jmpbuf(Job->Png))) return false;
    const TImageData& Image = *Job->Image;
    static constexpr int ColorTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                         PNG_COLOR_TYPE_RGB_ALPHA};
    const bool Deep = Image.SampleType() == TSampleType::st16bit;
    png_init_io(Job->Png, Job->File);
    png_set_IHDR(Job->Png, Job->Info, png_uint_32(Image.Width), png_uint_32(Image.Height), Deep ? 16 : 8,
                 ColorTypes[Image.Channels - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    PngSetMetadata(Job);
    png_write_info(Job->Png, Job->Info);
    if (Deep && std::endian::native == std::endian::little) png_set_swap(Job->Png);
    png_write_image(Job->Png, Job->Rows);
    // Every chunk went before the image; with the info again libpng would
    // write eXIf a second time.
    png_write_end(Job->Png, nullptr);
    return true;
}

// The frames an animated PNG announces in its acTL chunk, which comes before
// the image data; 1 for a still image.
std::uint32_t PngFrameCount(TFileBytes Bytes) {
    const auto Big32 = [&](std::size_t At) {
        return std::uint32_t(Bytes[At]) << 24 | std::uint32_t(Bytes[At + 1]) << 16 | std::uint32_t(Bytes[At + 2]) << 8 |
               std::uint32_t(Bytes[At + 3]);
    };
    for (std::size_t At = 8; At + 12 <= Bytes.size();) {
        const std::uint32_t Length = Big32(At);
        const std::uint8_t* Type = Bytes.data() + At + 4;
        if (std::memcmp(Type, "IDAT", 4) == 0 || Length > Bytes.size() - At - 12) break;
        if (std::memcmp(Type, "acTL", 4) == 0 && Length >= 8) return Big32(At + 8);
        At += 12 + std::size_t(Length);
    }
    return 1;
}

bool IsPng(TFileBytes Bytes) {
    static constexpr std::uint8_t Magic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return Bytes.size() >= 8 && std::memcmp(Bytes.data(), Magic, 8) == 0;
}

TImageData ReadPng(const std::string& FileName, TFileBytes Bytes, const TReadOptions& Options) {
    TPngJob Job;
    Job.Source = Bytes;
    if (!PngReadHeader(&Job)) FailFile(FileName, std::string("corrupt or truncated PNG (") + Job.Message + ")");
    // The image data is the first frame only, or none of them.
    if (const std::uint32_t Frames = PngFrameCount(Bytes); Frames > 1)
        FailFile(FileName, "unsupported animated PNG (" + std::to_string(Frames) + " frames; only still images are "
                           "enlarged)");

    const bool Alpha = Job.Channels == 2 || Job.Channels == 4;
    const TSampleType Type = Job.BitDepth == 16 ? TSampleType::st16bit : TSampleType::st8bit;
    CheckShape(FileName, Job.Width, Job.Height, Options.MaxPixels);
    // Deflate expands at most about 1032 times: a header asking for more
    // filtered bytes than the file could decompress to is a lie.
    const std::int64_t FileSize = std::int64_t(Bytes.size());
    const std::int64_t FilteredBytes =
        std::int64_t(Job.Height) * (1 + (std::int64_t(Job.Width) * Job.SourceChannels * Job.SourceBitDepth + 7) / 8);
    if (FilteredBytes > 1040 * FileSize + 65536)
        FailFile(FileName, "corrupt or truncated PNG (" + DimensionsText(Job.Width, Job.Height) +
                               " pixels cannot fit in " + std::to_string(FileSize) + " bytes)");

    TImageData Image;
    Image.SetShape(std::int32_t(Job.Width), std::int32_t(Job.Height), Job.Channels, Alpha, Type);
    PngReadPixels(FileName, Job, Image);
    if (!PngReadEnd(&Job)) FailFile(FileName, std::string("corrupt or truncated PNG (") + Job.Message + ")");
    Image.SourceFormat = TImageFormat::ifPng;
    PngReadMetadata(FileName, Job, Image);
    CheckReadMetadata(FileName, Image);
    return Image;
}

// A text chunk for Value; non-ASCII text (UTF-8 file names) and XMP need
// the international chunk.
png_text PngText(char* Key, std::string& Value, bool International) {
    static char Empty[] = "";
    png_text Text{};
    Text.key = Key;
    Text.text = Value.data();
    if (!International && std::all_of(Value.begin(), Value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        Text.compression = PNG_TEXT_COMPRESSION_NONE;
        Text.text_length = Value.size();
    } else {
        Text.compression = PNG_ITXT_COMPRESSION_NONE;
        Text.itxt_length = Value.size();
        Text.lang = Empty;
        Text.lang_key = Empty;
    }
    return Text;
}

void WritePng(TTempOutput& Output, const TImageData& Image, const TWriteOptions&, std::vector<std::string>& Warnings) {
    // libpng takes non-const row pointers and only reads through them.
    TImageData& Source = const_cast<TImageData&>(Image);
    std::vector<png_bytep> Rows(std::size_t(Image.Height));
    for (std::int32_t y = 0; y < Image.Height; ++y) Rows[y] = PngRow(Source, y);
    std::string Caption = Image.Caption, Xmp = Image.Metadata.Xmp;
    char CaptionKey[] = "Description", XmpKeyText[] = "XML:com.adobe.xmp";
    png_text Texts[2];
    int TextCount = 0;
    if (!Caption.empty()) Texts[TextCount++] = PngText(CaptionKey, Caption, false);
    if (!Xmp.empty()) Texts[TextCount++] = PngText(XmpKeyText, Xmp, true);
    std::vector<std::uint8_t> Exif = ExifForOutput(Image);

    TPngWriteJob Job;
    Job.Image = &Image;
    Job.Rows = Rows.data();
    Job.Texts = Texts;
    Job.TextCount = TextCount;
    Job.Exif = &Exif;
    Job.File = Output.OpenStream();
    if (!PngWrite(&Job)) FailFile(Output.Name(), std::string("cannot write PNG (") + Job.Message + ")");
    Output.CloseStream();
    if (Job.MetadataWarning[0] != 0)
        Warnings.push_back(Output.Name() + ": metadata left out (" + Job.MetadataWarning + ")");
}

} // namespace

const TImageCodec PngCodec{IsPng, ReadPng, WritePng};

} // namespace fi
