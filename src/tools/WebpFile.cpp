#include "tools/WebpFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include "tools/ImageMetadata.h"

namespace fi {

namespace {

struct TDemuxDelete {
    void operator()(WebPDemuxer* Demuxer) const { WebPDemuxDelete(Demuxer); }
};

[[noreturn]] void Corrupt(const std::string& FileName, const std::string& Detail) {
    FailFile(FileName, "corrupt or truncated WebP (" + Detail + ")");
}

// The payload of the first chunk named Id, or nothing.
std::vector<std::uint8_t> Chunk(WebPDemuxer* Demuxer, const char* Id) {
    WebPChunkIterator Iterator;
    std::vector<std::uint8_t> Payload;
    if (WebPDemuxGetChunk(Demuxer, Id, 1, &Iterator))
        Payload.assign(Iterator.chunk.bytes, Iterator.chunk.bytes + Iterator.chunk.size);
    WebPDemuxReleaseChunkIterator(&Iterator);
    return Payload;
}

void ReadWebpMetadata(WebPDemuxer* Demuxer, TImageMetadata& M) {
    M.IccProfile = Chunk(Demuxer, "ICCP");
    M.Exif = Chunk(Demuxer, "EXIF");
    // Some writers keep JPEG's signature in front of the block.
    static constexpr std::uint8_t Signature[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (M.Exif.size() >= 6 && std::memcmp(M.Exif.data(), Signature, 6) == 0) M.Exif.erase(M.Exif.begin(), M.Exif.begin() + 6);
    const std::vector<std::uint8_t> Xmp = Chunk(Demuxer, "XMP ");
    M.Xmp.assign(Xmp.begin(), Xmp.end());
}

bool IsWebp(TFileBytes B) {
    return B.size() >= 12 && std::memcmp(B.data(), "RIFF", 4) == 0 && std::memcmp(B.data() + 8, "WEBP", 4) == 0;
}

TImageData ReadWebp(const std::string& FileName, TFileBytes Bytes, const TReadOptions& Options) {
    const WebPData Data{Bytes.data(), Bytes.size()};
    const std::unique_ptr<WebPDemuxer, TDemuxDelete> Demuxer(WebPDemux(&Data));
    if (!Demuxer) Corrupt(FileName, "unreadable container");
    const std::uint32_t Frames = WebPDemuxGetI(Demuxer.get(), WEBP_FF_FRAME_COUNT);
    if (Frames == 0) Corrupt(FileName, "no image");
    if (Frames > 1)
        FailFile(FileName, "unsupported animated WebP (" + std::to_string(Frames) + " frames; only still images are "
                           "enlarged)");
    WebPBitstreamFeatures Features;
    if (WebPGetFeatures(Bytes.data(), Bytes.size(), &Features) != VP8_STATUS_OK) Corrupt(FileName, "bad header");
    const bool Alpha = Features.has_alpha != 0;
    const std::int32_t Channels = Alpha ? 4 : 3;
    CheckShape(FileName, Features.width, Features.height, Options.MaxPixels);

    TImageData Image;
    Image.Allocate(Features.width, Features.height, Channels, Alpha, TSampleType::st8bit);
    std::vector<std::uint8_t>& Out = Image.Samples.U8();
    const int Stride = Features.width * Channels;
    const std::uint8_t* Done = Alpha ? WebPDecodeRGBAInto(Bytes.data(), Bytes.size(), Out.data(), Out.size(), Stride)
                                     : WebPDecodeRGBInto(Bytes.data(), Bytes.size(), Out.data(), Out.size(), Stride);
    if (Done == nullptr) Corrupt(FileName, "bad image data");
    Image.SourceFormat = TImageFormat::ifWebp;
    Image.LossySource = Features.format != 2; // 2: lossless
    ReadWebpMetadata(Demuxer.get(), Image.Metadata);
    CheckReadMetadata(FileName, Image);
    return Image;
}

// libwebp's picture, encoded bytes and container, freed on every way out.
struct TWebpEncoding {
    WebPPicture Picture;
    WebPMemoryWriter Writer;
    WebPMux* Mux = nullptr;
    WebPData Assembled;

    TWebpEncoding() {
        WebPPictureInit(&Picture);
        WebPMemoryWriterInit(&Writer);
        WebPDataInit(&Assembled);
    }
    ~TWebpEncoding() {
        WebPDataClear(&Assembled);
        if (Mux != nullptr) WebPMuxDelete(Mux);
        WebPMemoryWriterClear(&Writer);
        WebPPictureFree(&Picture);
    }
    TWebpEncoding(const TWebpEncoding&) = delete;
    TWebpEncoding& operator=(const TWebpEncoding&) = delete;
};

// The samples as RGB or RGBA rows, which is what libwebp imports.
std::vector<std::uint8_t> RgbSamples(const TImageData& Image) {
    if (Image.ColorChannels() == 3) return Image.Samples.U8();
    const std::size_t Pixels = std::size_t(Image.Width) * std::size_t(Image.Height);
    const std::size_t Out = Image.HasAlpha ? 4 : 3;
    std::vector<std::uint8_t> Rgb(Pixels * Out);
    const std::uint8_t* In = Image.Samples.U8().data();
    for (std::size_t p = 0; p < Pixels; ++p) {
        const std::uint8_t* S = In + p * std::size_t(Image.Channels);
        std::uint8_t* D = Rgb.data() + p * Out;
        D[0] = D[1] = D[2] = S[0];
        if (Image.HasAlpha) D[3] = S[1];
    }
    return Rgb;
}

void EncodeWebp(const std::string& FileName, const TImageData& Image, const TWriteOptions& Options,
                TWebpEncoding& E) {
    WebPConfig Config;
    if (!WebPConfigInit(&Config)) FailFile(FileName, "cannot write WebP (library version mismatch)");
    Config.lossless = Options.WebpLossless ? 1 : 0;
    // Lossless keeps the colour under transparent pixels as well.
    Config.exact = Config.lossless;
    if (!Config.lossless) Config.quality = float(std::clamp(Options.Quality, 1, 100));
    E.Picture.width = Image.Width;
    E.Picture.height = Image.Height;
    E.Picture.use_argb = 1;
    const std::vector<std::uint8_t> Rgb = RgbSamples(Image);
    const int Stride = Image.Width * (Image.HasAlpha ? 4 : 3);
    const int Imported = Image.HasAlpha ? WebPPictureImportRGBA(&E.Picture, Rgb.data(), Stride)
                                        : WebPPictureImportRGB(&E.Picture, Rgb.data(), Stride);
    if (!Imported) throw EOutOfMemory();
    E.Picture.writer = WebPMemoryWrite;
    E.Picture.custom_ptr = &E.Writer;
    if (!WebPEncode(&Config, &E.Picture))
        FailFile(FileName, "cannot write WebP (encoder error " + std::to_string(int(E.Picture.error_code)) + ")");
}

// The bitstream with the metadata chunks in the extended container.
void AddWebpChunks(const std::string& FileName, const TImageData& Image, TWebpEncoding& E) {
    const std::vector<std::uint8_t> Exif = ExifForOutput(Image, true);
    const TImageMetadata& M = Image.Metadata;
    E.Mux = WebPMuxNew();
    if (E.Mux == nullptr) throw EOutOfMemory();
    const WebPData Bitstream{E.Writer.mem, E.Writer.size};
    bool Ok = WebPMuxSetImage(E.Mux, &Bitstream, 0) == WEBP_MUX_OK;
    const auto Add = [&](const char* Id, const std::uint8_t* Bytes, std::size_t Size) {
        const WebPData Payload{Bytes, Size};
        if (Size > 0) Ok = Ok && WebPMuxSetChunk(E.Mux, Id, &Payload, 0) == WEBP_MUX_OK;
    };
    Add("ICCP", M.IccProfile.data(), M.IccProfile.size());
    Add("EXIF", Exif.data(), Exif.size());
    Add("XMP ", reinterpret_cast<const std::uint8_t*>(M.Xmp.data()), M.Xmp.size());
    if (!Ok || WebPMuxAssemble(E.Mux, &E.Assembled) != WEBP_MUX_OK) FailFile(FileName, "cannot write WebP (container)");
}

void WriteWebp(TTempOutput& Output, const TImageData& Image, const TWriteOptions& Options, std::vector<std::string>&) {
    TWebpEncoding E;
    EncodeWebp(Output.Name(), Image, Options, E);
    AddWebpChunks(Output.Name(), Image, E);
    std::FILE* File = Output.OpenStream();
    std::fwrite(E.Assembled.bytes, 1, E.Assembled.size, File);
    Output.CloseStream();
}

} // namespace

const TImageCodec WebpCodec{IsWebp, ReadWebp, WriteWebp};

} // namespace fi
