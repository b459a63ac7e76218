#pragma once
// Resampling of integer bitmaps: bilinear (optionally in linear light, on all
// cores), exact halving and doubling, box reduction for large reductions and
// nearest neighbour for palette images, behind one dispatcher that picks the
// resampler suiting the size change.
#include <cstdint>

#include "image/LinearBitmap.h"
#include "parallel/MultiCoreProcessing.h"

namespace fi {

// The largest index of FromLinear: 255 in linear light times 256.
inline constexpr std::int32_t FromLinearTop = 65280;

// Conversion between gamma-encoded bytes and linear light on a 0 .. 255 scale.
// FromLinear is indexed by the linear value times 256, so that converting
// back costs one rounding and no power function.
struct TGammaTables {
    float ToLinear[256];
    std::uint8_t FromLinear[FromLinearTop + 1];
};

// Fills both tables for Gamma (powers in extended precision).
void BuildGammaTables(TGammaTables& Tables, float Gamma);

// Mix[i][j]: the gamma-correct mean of the two bytes i and j.
struct TPairMix {
    std::uint8_t Mix[256][256];
};
void BuildPairMix(TPairMix& Table, float Gamma);

// The gamma-correct mean of four bytes.
std::uint8_t GammaMean4(const TGammaTables& Tables, std::uint8_t A, std::uint8_t B, std::uint8_t C,
                               std::uint8_t D);

// Where destination sample k lies along one source axis: Offset + k * Step.
struct TAxisMapping {
    double Step;
    double Offset;
};
TAxisMapping GetAxisMapping(std::int32_t SrcLen, std::int32_t DstLen);

// Bilinear resize over destination rows. Dest must already have its final
// size and Source's format; neither is owned.
class TBilinearResizeProcess : public TMultiCoreProcess {
public:
    const TLinearBitmap* Source = nullptr;
    TLinearBitmap* Dest = nullptr;
};

// The same in linear light; the tables are filled before the pass starts.
class TBilinearGammaResizeProcess : public TBilinearResizeProcess {
public:
    TGammaTables Tables;
};

class TBilinearResizeProcess8bit : public TBilinearResizeProcess {
protected:
    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override;
};

class TBilinearResizeProcess16bit : public TBilinearResizeProcess {
protected:
    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override;
};

class TBilinearResizeProcess24bit : public TBilinearResizeProcess {
protected:
    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override;
};

class TBilinearGammaResizeProcess8bit : public TBilinearGammaResizeProcess {
protected:
    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override;
};

class TBilinearGammaResizeProcess24bit : public TBilinearGammaResizeProcess {
protected:
    void ProcessItem(TMultiCoreProcessThread* Thread, void* Data) override;
};

// Bilinear resize of an 8-bit gray, 16-bit or 24-bit Source into Dest, which
// must already be sized (packed rows, Source's format).
void BilinearResize(const TLinearBitmap& Source, TLinearBitmap& Dest);
// The same in linear light for 8-bit and 24-bit images; Gamma 1 is plain.
void BilinearResizeGamma(const TLinearBitmap& Source, TLinearBitmap& Dest, float Gamma);

// Half the width and height by 2x2 block means. Dest null or Source: in place.
void HalveBitmap(TLinearBitmap& Source, TLinearBitmap* Dest, float Gamma);
// Twice the width and height, keeping every source pixel and filling the new
// ones with means of their neighbours. Dest null or Source: in place.
void DoubleBitmap(TLinearBitmap& Source, TLinearBitmap* Dest, float Gamma);

// Box reduction into the already sized Dest; reports progress.
void AreaAverageReduce(const TLinearBitmap& Source, TLinearBitmap& Dest, float Gamma);

// Nearest-neighbour resize, pixels copied unchanged (palette indices stay valid).
void NearestResize(const TLinearBitmap& Source, std::int32_t NewWidth, std::int32_t NewHeight,
                   TLinearBitmap& Dest);

// Dest := Source resized to NewWidth x NewHeight by the resampler that suits
// the change. Gamma 1 turns gamma correction off.
void ResizeBitmap(const TLinearBitmap& Source, TLinearBitmap& Dest, std::int32_t NewWidth,
                  std::int32_t NewHeight, float Gamma);
// The same in place; Bitmap stays unchanged when the resampler fails.
void ResizeBitmapInPlace(TLinearBitmap& Bitmap, std::int32_t NewWidth, std::int32_t NewHeight, float Gamma);

} // namespace fi
