#include "tools/JpegFile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "tools/ImageMetadata.h"

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
    jpeg_save_markers(&Job->Info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&Job->Info, JPEG_APP0 + 2, 0xFFFF);
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

// The signatures that open the APP1 markers of EXIF and XMP, and the APP2
// markers of an ICC profile; each with its terminating zero.
constexpr char ExifSignature[] = "Exif\0";
constexpr char XmpSignature[] = "http://ns.adobe.com/xap/1.0/";
constexpr char IccSignature[] = "ICC_PROFILE";

bool Opens(const jpeg_saved_marker_ptr M, const char* Signature, std::size_t Length) {
    return M->data_length >= Length && std::memcmp(M->data, Signature, Length) == 0;
}

// The caption, EXIF, XMP and ICC profile from the saved markers; the first of
// each counts.
void JpegReadMarkers(const std::string& FileName, jpeg_decompress_struct& Info, TImageData& Image) {
    TImageMetadata& Meta = Image.Metadata;
    bool IccMarkers = false, Caption = false;
    for (jpeg_saved_marker_ptr M = Info.marker_list; M != nullptr; M = M->next) {
        const auto* Data = reinterpret_cast<const char*>(M->data);
        if (M->marker == JPEG_COM && !Caption) {
            std::string Text(Data, M->data_length);
            while (!Text.empty() && Text.back() == '\0') Text.pop_back();
            Image.Caption = Text;
            Caption = true;
        } else if (M->marker == JPEG_APP0 + 1 && Meta.Exif.empty() && Opens(M, ExifSignature, sizeof ExifSignature)) {
            Meta.Exif.assign(M->data + sizeof ExifSignature, M->data + M->data_length);
        } else if (M->marker == JPEG_APP0 + 1 && Meta.Xmp.empty() && Opens(M, XmpSignature, sizeof XmpSignature)) {
            Meta.Xmp.assign(Data + sizeof XmpSignature, M->data_length - sizeof XmpSignature);
        } else if (M->marker == JPEG_APP0 + 2 && Opens(M, IccSignature, sizeof IccSignature)) {
            IccMarkers = true;
        }
    }
    JOCTET* Profile = nullptr;
    unsigned int Length = 0;
    if (IccMarkers && jpeg_read_icc_profile(&Info, &Profile, &Length) && Profile != nullptr)
        Meta.IccProfile.assign(Profile, Profile + Length);
    else if (IccMarkers)
        Image.Warnings.push_back(FileName + ": damaged ICC profile dropped");
    std::free(Profile);
    // JFIF's density, when it states a unit.
    if (Info.saw_JFIF_marker && (Info.density_unit == 1 || Info.density_unit == 2) && Info.X_density > 0 &&
        Info.Y_density > 0)
        Meta.Resolution = {double(Info.X_density), double(Info.Y_density),
                           Info.density_unit == 1 ? TResolutionUnit::ruInch : TResolutionUnit::ruCentimetre};
}

// The standard tables at every quality, to compare a file's tables with.
struct TQualityJob {
    jpeg_compress_struct Info{};
    TJpegError Error{};
    bool Created = false;
};

bool QualityJobStart(TQualityJob* Job) {
    Job->Info.err = &JpegErrorSetup(&Job->Error)->Manager;
    if (setjmp(Job->Error.Jump)) return false;
    jpeg_create_compress(&Job->Info);
    Job->Created = true;
    Job->Info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&Job->Info);
    return true;
}

long TableDistance(const JQUANT_TBL* File, const JQUANT_TBL* Reference) {
    if (File == nullptr || Reference == nullptr) return 0;
    long Distance = 0;
    for (int i = 0; i < DCTSIZE2; ++i) Distance += std::labs(long(File->quantval[i]) - long(Reference->quantval[i]));
    return Distance;
}

// The quality libjpeg's scaling of the standard tables comes closest to for
// the file's tables: the setting a re-encode should use (0 when unknown).
std::int32_t EstimateQuality(const jpeg_decompress_struct& Source) {
    if (Source.quant_tbl_ptrs[0] == nullptr) return 0;
    auto Job = std::make_unique<TQualityJob>();
    TJpegGuard<TQualityJob> Guard{*Job};
    if (!QualityJobStart(Job.get())) return 0;
    std::int32_t Best = 0;
    long BestDistance = LONG_MAX;
    for (int Quality = 1; Quality <= 100; ++Quality) {
        jpeg_set_quality(&Job->Info, Quality, TRUE);
        const long Distance = TableDistance(Source.quant_tbl_ptrs[0], Job->Info.quant_tbl_ptrs[0]) +
                              TableDistance(Source.quant_tbl_ptrs[1], Job->Info.quant_tbl_ptrs[1]);
        if (Distance < BestDistance) {
            BestDistance = Distance;
            Best = Quality;
        }
    }
    return Best;
}

struct TJpegWriteJob {
    jpeg_compress_struct Info{};
    TJpegError Error{};
    bool Created = false;
    std::FILE* File = nullptr;
    const TImageData* Image = nullptr;
    JSAMPARRAY Rows = nullptr;
    const std::string* Caption = nullptr;
    const std::vector<std::uint8_t>* Exif = nullptr;
    const std::string* Xmp = nullptr;
    int Quality = 92;
};

// The markers after the frame's start: EXIF first, as readers expect it
// next to the start, then the profile, XMP and the caption. The caller left
// out blocks too large for one marker.
void JpegWriteMarkers(TJpegWriteJob* Job) {
    j_compress_ptr Info = &Job->Info;
    if (!Job->Exif->empty()) {
        std::vector<JOCTET> Marker(ExifSignature, ExifSignature + sizeof ExifSignature);
        Marker.insert(Marker.end(), Job->Exif->begin(), Job->Exif->end());
        jpeg_write_marker(Info, JPEG_APP0 + 1, Marker.data(), unsigned(Marker.size()));
    }
    const std::vector<std::uint8_t>& Profile = Job->Image->Metadata.IccProfile;
    if (!Profile.empty()) jpeg_write_icc_profile(Info, Profile.data(), unsigned(Profile.size()));
    if (!Job->Xmp->empty()) {
        std::vector<JOCTET> Marker(XmpSignature, XmpSignature + sizeof XmpSignature);
        Marker.insert(Marker.end(), Job->Xmp->begin(), Job->Xmp->end());
        jpeg_write_marker(Info, JPEG_APP0 + 1, Marker.data(), unsigned(Marker.size()));
    }
    if (!Job->Caption->empty()) {
        // One comment marker holds at most 65533 bytes.
        const std::size_t Length = std::min<std::size_t>(Job->Caption->size(), 65533);
        jpeg_write_marker(Info, JPEG_COM, reinterpret_cast<const JOCTET*>(Job->Caption->data()), unsigned(Length));
    }
}

// JFIF's density holds whole numbers up to 65535, per inch or per
// centimetre: the unit that rounds closer is taken (300 dots per inch read
// from a PNG are 118.11 per centimetre).
void JpegSetDensity(jpeg_compress_struct& Info, const TResolution& R) {
    if (!R.Known()) return;
    const double Scale = R.Unit == TResolutionUnit::ruInch ? 1.0 : 2.54;
    const double InchX = R.X * Scale, InchY = R.Y * Scale;
    const auto Error = [](double v) { return std::fabs(v - std::nearbyint(v)) / v; };
    const bool Inch = Error(InchX) + Error(InchY) <= Error(InchX / 2.54) + Error(InchY / 2.54);
    const double X = Inch ? InchX : InchX / 2.54, Y = Inch ? InchY : InchY / 2.54;
    if (X > 65535 || Y > 65535) return;
    Info.density_unit = Inch ? 1 : 2;
    Info.X_density = UINT16(std::max(1L, std::lround(X)));
    Info.Y_density = UINT16(std::max(1L, std::lround(Y)));
}

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
    JpegSetDensity(Job->Info, Image.Metadata.Resolution);
    jpeg_start_compress(&Job->Info, TRUE);
    JpegWriteMarkers(Job);
    JDIMENSION Done = 0;
    while (Done < Job->Info.image_height)
        Done += jpeg_write_scanlines(&Job->Info, Job->Rows + Done, Job->Info.image_height - Done);
    jpeg_finish_compress(&Job->Info);
    return true;
}

bool IsJpeg(TFileBytes Bytes) { return Bytes.size() >= 3 && Bytes[0] == 0xFF && Bytes[1] == 0xD8 && Bytes[2] == 0xFF; }

TImageData ReadJpeg(const std::string& FileName, TFileBytes Bytes, const TReadOptions& Options) {
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
    CheckShape(FileName, Info.image_width, Info.image_height, Options.MaxPixels);
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
    Image.SourceFormat = TImageFormat::ifJpeg;
    Image.LossySource = true;
    Image.SourceQuality = EstimateQuality(Info);
    JpegReadMarkers(FileName, Info, Image);
    CheckReadMetadata(FileName, Image);
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

void WriteJpeg(TTempOutput& Output, const TImageData& Image, const TWriteOptions& Options,
               std::vector<std::string>& Warnings) {
    // A marker holds at most 65533 bytes with its signature.
    std::vector<std::uint8_t> Exif = ExifForOutput(Image);
    if (Exif.size() + sizeof ExifSignature > 65533) {
        Warnings.push_back(Output.Name() + ": EXIF block too large for JPEG, left out");
        Exif.clear();
    }
    std::string Xmp = Image.Metadata.Xmp;
    if (Xmp.size() + sizeof XmpSignature > 65533) {
        Warnings.push_back(Output.Name() + ": XMP packet too large for JPEG, left out");
        Xmp.clear();
    }
    TImageData& Source = const_cast<TImageData&>(Image); // the library only reads the rows
    std::vector<JSAMPROW> Rows(std::size_t(Image.Height));
    for (std::int32_t y = 0; y < Image.Height; ++y) Rows[y] = Source.Row<std::uint8_t>(y);
    auto Job = std::make_unique<TJpegWriteJob>();
    TJpegGuard<TJpegWriteJob> Guard{*Job};
    Job->Image = &Image;
    Job->Rows = Rows.data();
    Job->Caption = &Image.Caption;
    Job->Exif = &Exif;
    Job->Xmp = &Xmp;
    Job->Quality = std::clamp(Options.Quality, 1, 100);
    Job->File = Output.OpenStream();
    if (!JpegWrite(Job.get())) FailFile(Output.Name(), std::string("cannot write JPEG (") + Job->Error.Message + ")");
    Output.CloseStream();
}

} // namespace

const TImageCodec JpegCodec{IsJpeg, ReadJpeg, WriteJpeg};

} // namespace fi
