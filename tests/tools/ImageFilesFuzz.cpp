// libFuzzer target: any bytes must read as an image or fail with the image
// files' one-line error, through the dispatch the command line uses, with
// the metadata of every format parsed and an EXIF block made for output.
#include <cstdint>
#include <cstdlib>

#include "tools/ImageFiles.h"
#include "tools/ImageMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    fi::TReadOptions Options;
    // Real images may be far larger; the bound keeps a run within the
    // fuzzer's memory, as any header may claim the largest size.
    Options.MaxPixels = 1 << 20;
    try {
        const fi::TImageData Image = fi::ReadImageBytes("input", fi::TFileBytes(Data, Size), Options);
        if (Image.Samples.Size() != Image.SampleCount()) std::abort();
        fi::ExifForOutput(Image, true);
    } catch (const fi::EImageFile&) {
    } catch (const fi::EOutOfMemory&) {
    }
    return 0;
}
