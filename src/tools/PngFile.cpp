#include "tools/PngFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include <png.h>

namespace fi {

namespace {

// libpng reports errors by longjmp: every function that sets the jump point
// below holds only trivially destructible locals, and C++ objects live in
// the callers.

// The error handler's part of every libpng job.
struct TPngErrorText {
    char Message[256] = {};
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

void PngWarning(png_structp, png_const_charp) {}

TPngHandles::TPngHandles(bool ForWriting) : Writing(ForWriting) {
    TPngErrorText* Error = this;
    Png = Writing ? png_create_write_struct(PNG_LIBPNG_VER_STRING, Error, PngError, PngWarning)
                  : png_create_read_struct(PNG_LIBPNG_VER_STRING, Error, PngError, PngWarning);
    if (Png == nullptr) throw EOutOfMemory();
    Info = png_create_info_struct(Png);
    if (Info == nullptr) {
        Release();
        throw EOutOfMemory();
    }
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

std::string PngCaption(png_structp Png, png_infop Info) {
    png_textp Text = nullptr;
    int Count = 0;
    png_get_text(Png, Info, &Text, &Count);
    for (int i = 0; i < Count; ++i)
        if (std::strcmp(Text[i].key, "Description") == 0 && Text[i].text != nullptr) return Text[i].text;
    return std::string();
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
    png_text* Text = nullptr;
};

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
    if (Job->Text != nullptr) png_set_text(Job->Png, Job->Info, Job->Text, 1);
    png_write_info(Job->Png, Job->Info);
    if (Deep && std::endian::native == std::endian::little) png_set_swap(Job->Png);
    png_write_image(Job->Png, Job->Rows);
    png_write_end(Job->Png, Job->Info);
    return true;
}

bool IsPng(TFileBytes Bytes) {
    static constexpr std::uint8_t Magic[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return Bytes.size() >= 8 && std::memcmp(Bytes.data(), Magic, 8) == 0;
}

TImageData ReadPng(const std::string& FileName, TFileBytes Bytes) {
    TPngJob Job;
    Job.Source = Bytes;
    if (!PngReadHeader(&Job)) FailFile(FileName, std::string("corrupt or truncated PNG (") + Job.Message + ")");

    const bool Alpha = Job.Channels == 2 || Job.Channels == 4;
    const TSampleType Type = Job.BitDepth == 16 ? TSampleType::st16bit : TSampleType::st8bit;
    CheckShape(FileName, Job.Width, Job.Height, Job.Channels, Alpha, Type);
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
    Image.Caption = PngCaption(Job.Png, Job.Info);
    return Image;
}

void WritePng(TTempOutput& Output, const TImageData& Image, const TWriteOptions&) {
    // libpng takes non-const row pointers and only reads through them.
    TImageData& Source = const_cast<TImageData&>(Image);
    std::vector<png_bytep> Rows(std::size_t(Image.Height));
    for (std::int32_t y = 0; y < Image.Height; ++y) Rows[y] = PngRow(Source, y);
    std::string Caption = Image.Caption;
    char Key[] = "Description";
    char Empty[] = "";
    png_text Text{};
    Text.key = Key;
    Text.text = Caption.data();
    const bool Ascii = std::all_of(Caption.begin(), Caption.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (Ascii) {
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
    Job.File = Output.OpenStream();
    if (!PngWrite(&Job)) FailFile(Output.Name(), std::string("cannot write PNG (") + Job.Message + ")");
    Output.CloseStream();
}

} // namespace

const TImageCodec PngCodec{IsPng, ReadPng, WritePng};

} // namespace fi
