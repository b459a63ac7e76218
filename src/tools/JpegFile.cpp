#include "tools/JpegFile.h"

#include <algorithm>
#include <csetjmp>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace fi {

namespace {

// The error manager's exit longjmps back into the function that set the
// jump point; those hold no C++ objects.
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
    TFileBytes Source;
};

bool JpegReadHeader(TJpegReadJob* Job) {
    Job->Info.err = &JpegErrorSetup(&Job->Error)->Manager;
    if (setjmp(Job->Error.Jump)) return false;
    jpeg_create_decompress(&Job->Info);
    Job->Created = true;
    jpeg_mem_src(&Job->Info, Job->Source.data(), static_cast<unsigned long>(Job->Source.size()));
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

// Frees the library's state of a job that got as far as creating it.
template <class TJob> struct TJpegGuard {
    TJob& Job;
    ~TJpegGuard() {
        if (Job.Created) jpeg_destroy(reinterpret_cast<j_common_ptr>(&Job.Info));
    }
};

std::string JpegComment(const jpeg_decompress_struct& Info) {
    for (jpeg_saved_marker_ptr M = Info.marker_list; M != nullptr; M = M->next)
        if (M->marker == JPEG_COM) {
            std::string Text(reinterpret_cast<const char*>(M->data), M->data_length);
            while (!Text.empty() && Text.back() == '\0') Text.pop_back();
            return Text;
        }
    return std::string();
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

bool IsJpeg(TFileBytes Bytes) { return Bytes.size() >= 3 && Bytes[0] == 0xFF && Bytes[1] == 0xD8 && Bytes[2] == 0xFF; }

TImageData ReadJpeg(const std::string& FileName, TFileBytes Bytes) {
    auto Job = std::make_unique<TJpegReadJob>();
    Job->Source = Bytes;
    TJpegGuard<TJpegReadJob> Guard{*Job};
    const auto Corrupt = [&] { FailFile(FileName, std::string("corrupt or truncated JPEG (") + Job->Error.Message + ")"); };
    if (!JpegReadHeader(Job.get())) Corrupt();
    jpeg_decompress_struct& Info = Job->Info;

    std::int32_t Channels = 3;
    if (Info.jpeg_color_space == JCS_GRAYSCALE) {
        Info.out_color_space = JCS_GRAYSCALE;
        Channels = 1;
    } else if (Info.num_components == 3) {
        Info.out_color_space = JCS_RGB;
    } else {
        FailFile(FileName, "unsupported JPEG colour space (" + std::to_string(Info.num_components) + " components)");
    }
    CheckShape(FileName, Info.image_width, Info.image_height, Channels, false, TSampleType::st8bit);
    // A Huffman-coded JPEG spends at least one bit on every 8 x 8 block of
    // its full-resolution component, which bounds the size its data allows.
    const std::int64_t FileSize = std::int64_t(Bytes.size());
    if (!Info.arith_code) {
        const std::int64_t Blocks = ((std::int64_t(Info.image_width) + 7) / 8) * ((std::int64_t(Info.image_height) + 7) / 8);
        if (Blocks > 8 * FileSize + 64)
            FailFile(FileName, "corrupt or truncated JPEG (" + DimensionsText(Info.image_width, Info.image_height) +
                                   " pixels cannot fit in " + std::to_string(FileSize) + " bytes)");
    }
    if (!JpegStart(Job.get())) Corrupt();

    TImageData Image;
    Image.SetShape(std::int32_t(Info.output_width), std::int32_t(Info.output_height), Channels, false,
                   TSampleType::st8bit);
    Image.Caption = JpegComment(Info);
    const std::int32_t Chunk = 64;
    std::vector<JSAMPROW> Rows(static_cast<std::size_t>(Chunk));
    for (std::int32_t First = 0; First < Image.Height; First += Chunk) {
        const std::int32_t Count = std::min(Chunk, Image.Height - First);
        Image.GrowRows(First + Count);
        for (std::int32_t i = 0; i < Count; ++i) Rows[i] = Image.Row<std::uint8_t>(First + i);
        if (!JpegReadRows(Job.get(), Rows.data(), JDIMENSION(Count))) Corrupt();
    }
    if (!JpegFinish(Job.get())) Corrupt();
    return Image;
}

void WriteJpeg(TTempOutput& Output, const TImageData& Image, const TWriteOptions& Options) {
    TImageData& Source = const_cast<TImageData&>(Image); // the library only reads the rows
    std::vector<JSAMPROW> Rows(std::size_t(Image.Height));
    for (std::int32_t y = 0; y < Image.Height; ++y) Rows[y] = Source.Row<std::uint8_t>(y);
    auto Job = std::make_unique<TJpegWriteJob>();
    TJpegGuard<TJpegWriteJob> Guard{*Job};
    Job->Image = &Image;
    Job->Rows = Rows.data();
    Job->Caption = &Image.Caption;
    Job->Quality = std::clamp(Options.JpegQuality, 1, 100);
    Job->File = Output.OpenStream();
    if (!JpegWrite(Job.get())) FailFile(Output.Name(), std::string("cannot write JPEG (") + Job->Error.Message + ")");
    Output.CloseStream();
}

} // namespace

const TImageCodec JpegCodec{IsJpeg, ReadJpeg, WriteJpeg};

} // namespace fi
