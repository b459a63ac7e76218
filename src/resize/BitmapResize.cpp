#include "resize/BitmapResize.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "parallel/Progress.h"
#include "support/FloatEnvironment.h"

namespace fi {

namespace {

bool IsPlainGamma(float Gamma) { return Gamma == 1.0f; }

// Round(Linear * 256), held inside FromLinear: a long single-precision sum
// can drift a little past 255 per pixel.
inline std::int32_t FromLinearIndex(long double Scaled) {
    const std::int32_t Index = RoundExtended(Scaled);
    return Index > FromLinearTop ? FromLinearTop : Index < 0 ? 0 : Index;
}

void FillToLinear(float (&ToLinear)[256], float Gamma) {
    const long double G = Gamma;
    ToLinear[0] = 0;
    for (int i = 1; i < 256; ++i) ToLinear[i] = float(255.0L * std::pow((long double)i / 255.0L, G));
}

void CopyPalette(const TLinearBitmap& Source, TLinearBitmap& Dest) {
    if (Source.PixelFormat == TPixelFormat::pf8bit && Dest.PixelFormat == TPixelFormat::pf8bit)
        std::memcpy(Dest.Palette, Source.Palette, sizeof(TPalette));
}

// Builds into a temporary and moves the result into Bitmap, so that a
// failure leaves Bitmap as it was.
template <typename TBody>
void ReplaceContent(TLinearBitmap& Bitmap, TBody Body) {
    TLinearBitmap Temporary;
    Body(Temporary);
    Bitmap.TakeOver(Temporary);
}

// ---------------------------------------------------------------------------
// Bilinear rows

// One destination column: the two source samples around it and their weights.
struct TColumnTap {
    std::int32_t Left;  // sample offset of column ix
    std::int32_t Right; // sample offset of column ix + 1, held inside the row
    long double Fx;
    long double Gx; // 1 - Fx
};

// Resamples destination rows Range of Dest from Source. TSample is the stored
// sample type; Load turns a sample into the value that is interpolated and
// Store turns the interpolated value back into a sample.
template <typename TSample, int Channels, typename TLoad, typename TStore>
void BilinearRows(const TLinearBitmap& Source, TLinearBitmap& Dest, const TRowRange& Range, TLoad Load,
                  TStore Store) {
    const std::int32_t W = Source.Width, H = Source.Height;
    const TAxisMapping MapX = GetAxisMapping(W, Dest.Width);
    const TAxisMapping MapY = GetAxisMapping(H, Dest.Height);

    // The column positions are the same on every row; positions grow by
    // repeated addition of the step.
    std::vector<TColumnTap> Taps(std::size_t(Dest.Width));
    double x = MapX.Offset;
    for (TColumnTap& Tap : Taps) {
        const std::int32_t ix = std::min(std::int32_t(x), W - 1);
        const double fx = x - double(ix);
        Tap.Left = ix * Channels;
        // A sample on the last column (or a one-column source) takes its
        // right neighbour from the column itself, which then has no weight.
        Tap.Right = std::min(ix + 1, W - 1) * Channels;
        Tap.Fx = fx;
        Tap.Gx = 1.0L - fx;
        x += MapX.Step;
    }

    double y = Range.First * MapY.Step + MapY.Offset;
    for (std::int32_t Row = Range.First; Row <= Range.Last; ++Row) {
        std::int32_t iy = std::int32_t(y);
        double fy;
        if (iy < H - 1) {
            fy = y - double(iy);
        } else {
            // The bottom edge uses the last two rows with full weight on the last.
            iy = H - 2;
            fy = 1;
        }
        const TSample* Top;
        const TSample* Bottom;
        if (H == 1) {
            // A one-row source is its own lower neighbour.
            Top = Bottom = reinterpret_cast<const TSample*>(Source.Line(0));
        } else {
            Top = reinterpret_cast<const TSample*>(Source.Line(iy));
            Bottom = reinterpret_cast<const TSample*>(Source.Line(iy + 1));
        }
        const long double Fy = fy, Gy = 1.0L - fy;
        TSample* Out = reinterpret_cast<TSample*>(Dest.Line(Row));
        for (const TColumnTap& Tap : Taps) {
            for (int c = 0; c < Channels; ++c) {
                const long double V = Tap.Gx * Load(Top[Tap.Left + c]) * Gy + Tap.Fx * Load(Top[Tap.Right + c]) * Gy +
                                      Tap.Gx * Load(Bottom[Tap.Left + c]) * Fy +
                                      Tap.Fx * Load(Bottom[Tap.Right + c]) * Fy;
                Out[c] = Store(V);
            }
            Out += Channels;
        }
        y += MapY.Step;
    }
}

constexpr auto LoadPlain = [](std::uint32_t Sample) -> long double { return Sample; };

template <typename TSample>
constexpr auto StorePlain = [](long double V) { return TSample(RoundExtended(V)); };

template <int Channels>
void GammaRows(const TBilinearGammaResizeProcess& Process, const TRowRange& Range) {
    const TGammaTables& Tables = Process.Tables;
    BilinearRows<std::uint8_t, Channels>(
        *Process.Source, *Process.Dest, Range, [&Tables](std::uint8_t Sample) -> long double { return Tables.ToLinear[Sample]; },
        [&Tables](long double V) { return Tables.FromLinear[FromLinearIndex(V * 256)]; });
}

void RunBilinear(TBilinearResizeProcess& Process, const TLinearBitmap& Source, TLinearBitmap& Dest) {
    Process.Source = &Source;
    Process.Dest = &Dest;
    Process.RunRange(0, Dest.Height - 1, 64, 0);
}

// The resamplers that write into a Dest sized by the caller: a Dest of
// another format or without pixels would be written out of bounds.
void CheckSizedDest(const TLinearBitmap& Source, const TLinearBitmap& Dest) {
    if (!Source.Present || !Dest.Present || Dest.PixelFormat != Source.PixelFormat)
        throw ELinearBitmap(SInvalidBitmapSize);
}

// ---------------------------------------------------------------------------
// Halving and doubling

struct TPlainMeans {
    static std::uint8_t Mean2(std::uint32_t A, std::uint32_t B) { return std::uint8_t((A + B + 1) >> 1); }
    static std::uint8_t Mean4(std::uint32_t A, std::uint32_t B, std::uint32_t C, std::uint32_t D) {
        return std::uint8_t((A + B + C + D + 2) >> 2);
    }
};

// Pairs is only needed, and only built, for doubling.
struct TGammaMeans {
    const TGammaTables& Tables;
    const TPairMix* Pairs;
    std::uint8_t Mean2(std::uint8_t A, std::uint8_t B) const { return Pairs->Mix[A][B]; }
    std::uint8_t Mean4(std::uint8_t A, std::uint8_t B, std::uint8_t C, std::uint8_t D) const {
        return GammaMean4(Tables, A, B, C, D);
    }
};

void CheckHalfDoubleFormat(const TLinearBitmap& Source) {
    if (Source.PixelFormat != TPixelFormat::pf8bit && Source.PixelFormat != TPixelFormat::pf24bit)
        throw ELinearBitmap(SUnsupportedPixelFormat);
}

template <typename TMeans>
void HalveRows(const TLinearBitmap& Source, TLinearBitmap& Dest, const TMeans& Means) {
    const std::int32_t Channels = Source.PixelSize;
    const std::int32_t RowSamples = Dest.Width * Channels;
    for (std::int32_t y = 0; y < Dest.Height; ++y) {
        const std::uint8_t* A = Source.Line(2 * y);
        const std::uint8_t* B = Source.Line(2 * y + 1);
        std::uint8_t* Out = Dest.Line(y);
        for (std::int32_t s = 0; s < RowSamples; ++s) {
            // Sample s of the destination row: pixel x = s / Channels, channel s % Channels.
            const std::int32_t Left = s + (s / Channels) * Channels;
            const std::int32_t Right = Left + Channels;
            Out[s] = Means.Mean4(A[Left], B[Left], B[Right], A[Right]);
        }
    }
}

void HalveInto(const TLinearBitmap& Source, TLinearBitmap& Dest, float Gamma) {
    Dest.SetSize(Source.Width / 2, Source.Height / 2, Source.PixelFormat, 0);
    CopyPalette(Source, Dest);
    CheckHalfDoubleFormat(Source);
    if (IsPlainGamma(Gamma)) {
        HalveRows(Source, Dest, TPlainMeans{});
        return;
    }
    auto Tables = std::make_unique<TGammaTables>();
    BuildGammaTables(*Tables, Gamma);
    HalveRows(Source, Dest, TGammaMeans{*Tables, nullptr});
}

// Destination rows 2y + 1 (P: source row y) and 2y + 2 (Q: source row y + 1);
// Lower is null where the source has a single row.
template <typename TMeans>
void DoubleRowPair(const std::uint8_t* P, const std::uint8_t* Q, std::uint8_t* Upper, std::uint8_t* Lower,
                   std::int32_t W, std::int32_t Channels, const TMeans& Means) {
    for (std::int32_t c = 0; c < Channels; ++c) {
        Upper[c] = P[c];
        if (Lower != nullptr) Lower[c] = Means.Mean2(P[c], Q[c]);
        for (std::int32_t x = 1; x < W; ++x) {
            const std::uint8_t a = P[(x - 1) * Channels + c], b = P[x * Channels + c];
            std::uint8_t* U = Upper + (2 * x - 1) * Channels + c;
            U[0] = a;
            U[Channels] = Means.Mean2(a, b);
            if (Lower != nullptr) {
                const std::uint8_t d = Q[(x - 1) * Channels + c], e = Q[x * Channels + c];
                std::uint8_t* L = Lower + (2 * x - 1) * Channels + c;
                L[0] = Means.Mean2(a, d);
                L[Channels] = Means.Mean4(a, b, d, e);
            }
        }
        const std::int32_t Last = (W - 1) * Channels + c, DestLast = (2 * W - 1) * Channels + c;
        Upper[DestLast] = P[Last];
        if (Lower != nullptr) Lower[DestLast] = Means.Mean2(P[Last], Q[Last]);
    }
}

template <typename TMeans>
void DoubleRows(const TLinearBitmap& Source, TLinearBitmap& Dest, const TMeans& Means) {
    const std::int32_t W = Source.Width, H = Source.Height, Channels = Source.PixelSize;
    const std::size_t RowBytes = std::size_t(Dest.Width) * std::size_t(Channels);
    if (H == 1) {
        // A one-row source fills row 1 alone; row 0 repeats it below.
        DoubleRowPair(Source.Line(0), Source.Line(0), Dest.Line(1), nullptr, W, Channels, Means);
    } else {
        RunRows(0, H - 2, 32, [&](const TRowRange& Rows) {
            for (std::int32_t y = Rows.First; y <= Rows.Last; ++y)
                DoubleRowPair(Source.Line(y), Source.Line(y + 1), Dest.Line(2 * y + 1), Dest.Line(2 * y + 2), W,
                              Channels, Means);
        });
        std::memcpy(Dest.Line(2 * H - 1), Dest.Line(2 * H - 2), RowBytes);
    }
    std::memcpy(Dest.Line(0), Dest.Line(1), RowBytes);
}

void DoubleInto(const TLinearBitmap& Source, TLinearBitmap& Dest, float Gamma) {
    CheckHalfDoubleFormat(Source);
    Dest.SetSize(Source.Width * 2, Source.Height * 2, Source.PixelFormat, 0);
    CopyPalette(Source, Dest);
    if (IsPlainGamma(Gamma)) {
        DoubleRows(Source, Dest, TPlainMeans{});
        return;
    }
    auto Tables = std::make_unique<TGammaTables>();
    BuildGammaTables(*Tables, Gamma);
    auto Pairs = std::make_unique<TPairMix>();
    BuildPairMix(*Pairs, Gamma);
    DoubleRows(Source, Dest, TGammaMeans{*Tables, Pairs.get()});
}

// ---------------------------------------------------------------------------
// Area-average reduction

// The block bounds of one axis: destination index k covers source
// Start[k] .. End[k]. The end is the rounded sample position, the start lies
// just after the previous block's end.
struct TBlockAxis {
    std::vector<std::int32_t> Start, End;
};

TBlockAxis GetBlockAxis(std::int32_t SrcLen, std::int32_t DstLen) {
    TBlockAxis Axis;
    Axis.Start.resize(std::size_t(DstLen));
    Axis.End.resize(std::size_t(DstLen));
    const double Step = DstLen == 1 ? 0.0 : double(SrcLen - 1) / double(DstLen - 1);
    double Position = 0;
    std::int32_t Start = 0;
    for (std::int32_t k = 0; k < DstLen; ++k) {
        const std::int32_t End = std::min(std::int32_t(RoundExtended(Position)), SrcLen - 1);
        // An enlarged axis would give empty blocks; the block then shrinks to
        // the sample's own pixel instead of dividing by zero.
        Axis.Start[std::size_t(k)] = std::min(Start, End);
        Axis.End[std::size_t(k)] = End;
        Start = End + 1;
        Position += Step;
    }
    return Axis;
}

void ReportRow(std::int32_t Row, std::int32_t Rows) {
    if (ProgressHook != nullptr) ProgressHook(std::int32_t((std::int64_t(Row) + 1) * 100 / Rows));
}

template <typename TAccumulator>
void AreaAverageRows(const TLinearBitmap& Source, TLinearBitmap& Dest, std::int32_t Channels, bool PerPixelProgress,
                     TAccumulator Accumulate) {
    const TBlockAxis Columns = GetBlockAxis(Source.Width, Dest.Width);
    const TBlockAxis Rows = GetBlockAxis(Source.Height, Dest.Height);
    std::uint8_t* Out = Dest.Map;
    for (std::int32_t Row = 0; Row < Dest.Height; ++Row) {
        const std::int32_t y0 = Rows.Start[std::size_t(Row)], y1 = Rows.End[std::size_t(Row)];
        for (std::int32_t Col = 0; Col < Dest.Width; ++Col) {
            const std::int32_t x0 = Columns.Start[std::size_t(Col)], x1 = Columns.End[std::size_t(Col)];
            const std::int32_t Count = (x1 - x0 + 1) * (y1 - y0 + 1);
            for (std::int32_t c = 0; c < Channels; ++c) *Out++ = Accumulate(x0, x1, y0, y1, c, Count);
            if (PerPixelProgress) ReportRow(Row, Dest.Height);
        }
        if (!PerPixelProgress) ReportRow(Row, Dest.Height);
    }
}

} // namespace

// ---------------------------------------------------------------------------

void BuildGammaTables(TGammaTables& Tables, float Gamma) {
    FillToLinear(Tables.ToLinear, Gamma);
    const long double Inverse = 1.0L / (long double)Gamma;
    Tables.FromLinear[0] = 0;
    for (std::int32_t k = 1; k <= FromLinearTop; ++k)
        Tables.FromLinear[k] =
            std::uint8_t(RoundExtended(255.0L * std::pow((long double)k / (long double)FromLinearTop, Inverse)));
}

void BuildPairMix(TPairMix& Table, float Gamma) {
    float ToLinear[256];
    FillToLinear(ToLinear, Gamma);
    const long double Inverse = 1.0L / (long double)Gamma;
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j <= i; ++j) {
            const long double Mean = ((long double)ToLinear[i] + ToLinear[j]) / 510.0L;
            Table.Mix[i][j] = Table.Mix[j][i] = std::uint8_t(RoundExtended(255.0L * std::pow(Mean, Inverse)));
        }
}

std::uint8_t GammaMean4(const TGammaTables& Tables, std::uint8_t A, std::uint8_t B, std::uint8_t C, std::uint8_t D) {
    const double Sum = double(Tables.ToLinear[A]) + Tables.ToLinear[B] + Tables.ToLinear[C] + Tables.ToLinear[D];
    return Tables.FromLinear[FromLinearIndex(Sum * 64)];
}

TAxisMapping GetAxisMapping(std::int32_t SrcLen, std::int32_t DstLen) {
    if (DstLen <= 1) return {0.0, 0.5};
    if (SrcLen <= DstLen) return {double(SrcLen - 1) / double(DstLen - 1), 0.0};
    const double r = double(DstLen) / double(SrcLen);
    if (r >= 0.5) return {(double(SrcLen - 1) - 2 * (1 - r)) / double(DstLen - 1), 1 - r};
    return {double(SrcLen - 2) / double(DstLen - 1), 0.5};
}

void TBilinearResizeProcess8bit::ProcessItem(TMultiCoreProcessThread*, void* Data) {
    BilinearRows<std::uint8_t, 1>(*Source, *Dest, *static_cast<const TRowRange*>(Data), LoadPlain,
                                  StorePlain<std::uint8_t>);
}

void TBilinearResizeProcess16bit::ProcessItem(TMultiCoreProcessThread*, void* Data) {
    BilinearRows<std::uint16_t, 1>(*Source, *Dest, *static_cast<const TRowRange*>(Data), LoadPlain,
                                   StorePlain<std::uint16_t>);
}

void TBilinearResizeProcess24bit::ProcessItem(TMultiCoreProcessThread*, void* Data) {
    BilinearRows<std::uint8_t, 3>(*Source, *Dest, *static_cast<const TRowRange*>(Data), LoadPlain,
                                  StorePlain<std::uint8_t>);
}

void TBilinearGammaResizeProcess8bit::ProcessItem(TMultiCoreProcessThread*, void* Data) {
    GammaRows<1>(*this, *static_cast<const TRowRange*>(Data));
}

void TBilinearGammaResizeProcess24bit::ProcessItem(TMultiCoreProcessThread*, void* Data) {
    GammaRows<3>(*this, *static_cast<const TRowRange*>(Data));
}

void BilinearResize(const TLinearBitmap& Source, TLinearBitmap& Dest) {
    std::unique_ptr<TBilinearResizeProcess> Process;
    switch (Source.PixelFormat) {
    case TPixelFormat::pf8bit: Process = std::make_unique<TBilinearResizeProcess8bit>(); break;
    case TPixelFormat::pf16bit: Process = std::make_unique<TBilinearResizeProcess16bit>(); break;
    case TPixelFormat::pf24bit: Process = std::make_unique<TBilinearResizeProcess24bit>(); break;
    default: throw ELinearBitmap(SUnsupportedPixelFormat);
    }
    CheckSizedDest(Source, Dest);
    RunBilinear(*Process, Source, Dest);
}

void BilinearResizeGamma(const TLinearBitmap& Source, TLinearBitmap& Dest, float Gamma) {
    if (IsPlainGamma(Gamma)) {
        BilinearResize(Source, Dest);
        return;
    }
    std::unique_ptr<TBilinearGammaResizeProcess> Process;
    switch (Source.PixelFormat) {
    case TPixelFormat::pf8bit: Process = std::make_unique<TBilinearGammaResizeProcess8bit>(); break;
    case TPixelFormat::pf24bit: Process = std::make_unique<TBilinearGammaResizeProcess24bit>(); break;
    default: throw ELinearBitmap(SUnsupportedPixelFormat);
    }
    CheckSizedDest(Source, Dest);
    BuildGammaTables(Process->Tables, Gamma);
    RunBilinear(*Process, Source, Dest);
}

void HalveBitmap(TLinearBitmap& Source, TLinearBitmap* Dest, float Gamma) {
    if (Dest == nullptr || Dest == &Source)
        ReplaceContent(Source, [&](TLinearBitmap& Temporary) { HalveInto(Source, Temporary, Gamma); });
    else
        HalveInto(Source, *Dest, Gamma);
}

void DoubleBitmap(TLinearBitmap& Source, TLinearBitmap* Dest, float Gamma) {
    if (Dest == nullptr || Dest == &Source)
        ReplaceContent(Source, [&](TLinearBitmap& Temporary) { DoubleInto(Source, Temporary, Gamma); });
    else
        DoubleInto(Source, *Dest, Gamma);
}

void AreaAverageReduce(const TLinearBitmap& Source, TLinearBitmap& Dest, float Gamma) {
    CheckSizedDest(Source, Dest);
    const bool Colour = Source.PixelFormat == TPixelFormat::pf24bit;
    const std::int32_t Channels = Colour ? 3 : 1;
    auto Sum = [&Source, Channels](std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1, std::int32_t c,
                                   auto Add) {
        for (std::int32_t y = y0; y <= y1; ++y) {
            const std::uint8_t* P = Source.Line(y) + x0 * Channels + c;
            for (std::int32_t x = x0; x <= x1; ++x, P += Channels) Add(*P);
        }
    };
    if (IsPlainGamma(Gamma)) {
        auto Block = [&](std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1, std::int32_t c,
                         std::int32_t Count) {
            std::int64_t Total = 0;
            Sum(x0, x1, y0, y1, c, [&Total](std::uint8_t Value) { Total += Value; });
            if (Colour) {
                const double q = 1.0 / Count;
                return std::uint8_t(RoundExtended((long double)Total * q));
            }
            return std::uint8_t(RoundExtended((long double)Total / Count));
        };
        AreaAverageRows(Source, Dest, Channels, !Colour, Block);
        return;
    }
    auto Tables = std::make_unique<TGammaTables>();
    BuildGammaTables(*Tables, Gamma);
    const TGammaTables& T = *Tables;
    auto Block = [&](std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1, std::int32_t c,
                     std::int32_t Count) {
        // Single precision, rounded after every addition.
        float Total = 0;
        Sum(x0, x1, y0, y1, c, [&Total, &T](std::uint8_t Value) { Total = Total + T.ToLinear[Value]; });
        if (Colour) {
            const double m = 256.0 / Count;
            return T.FromLinear[FromLinearIndex((long double)Total * m)];
        }
        return T.FromLinear[FromLinearIndex((long double)Total * 256 / Count)];
    };
    AreaAverageRows(Source, Dest, Channels, !Colour, Block);
}

void NearestResize(const TLinearBitmap& Source, std::int32_t NewWidth, std::int32_t NewHeight, TLinearBitmap& Dest) {
    if (&Source == &Dest) {
        ReplaceContent(Dest, [&](TLinearBitmap& Temporary) { NearestResize(Source, NewWidth, NewHeight, Temporary); });
        return;
    }
    if (Source.Width < 1 || NewWidth < 1 || NewHeight < 1) {
        Dest.Clear();
        return;
    }
    Dest.SetSize(NewWidth, NewHeight, Source.PixelFormat, 0);
    CopyPalette(Source, Dest);
    const std::int32_t PixelSize = Source.PixelSize;
    const double rx = double(Source.Width) / NewWidth, ry = double(Source.Height) / NewHeight;
    std::vector<std::int32_t> Columns(static_cast<std::size_t>(NewWidth));
    double x = 0;
    for (std::int32_t& Column : Columns) {
        Column = std::min(std::int32_t(x), Source.Width - 1) * PixelSize;
        x += rx;
    }
    double y = 0;
    for (std::int32_t Row = 0; Row < NewHeight; ++Row) {
        const std::uint8_t* From = Source.Line(std::min(std::int32_t(y), Source.Height - 1));
        std::uint8_t* Out = Dest.Line(Row);
        for (const std::int32_t Column : Columns) {
            std::memcpy(Out, From + Column, std::size_t(PixelSize));
            Out += PixelSize;
        }
        y += ry;
    }
}

void ResizeBitmap(const TLinearBitmap& Source, TLinearBitmap& Dest, std::int32_t NewWidth, std::int32_t NewHeight,
                  float Gamma) {
    if (&Source == &Dest) {
        ResizeBitmapInPlace(Dest, NewWidth, NewHeight, Gamma);
        return;
    }
    const std::int32_t W = Source.Width, H = Source.Height;
    if (W < 1 || NewWidth < 1 || NewHeight < 1) {
        Dest.Clear();
        return;
    }
    Dest.SetSize(NewWidth, NewHeight, Source.PixelFormat, 0);
    CopyPalette(Source, Dest);
    if (NewWidth == W && NewHeight == H) {
        const std::size_t RowBytes = std::size_t(Dest.BytesPerLine);
        for (std::int32_t y = 0; y < H; ++y) std::memcpy(Dest.Line(y), Source.Line(y), RowBytes);
        return;
    }
    if (Source.PixelFormat == TPixelFormat::pf8bit && !Source.IsGrayscale()) {
        NearestResize(Source, NewWidth, NewHeight, Dest);
        return;
    }
    const bool Mixed = (NewWidth < W && NewHeight > H) || (NewWidth > W && NewHeight < H);
    if (!Mixed && Source.PixelFormat != TPixelFormat::pf16bit) {
        if (NewWidth == W / 2 && NewHeight == H / 2) {
            HalveInto(Source, Dest, Gamma);
            return;
        }
        if (NewWidth == 2 * W && NewHeight == 2 * H) {
            DoubleInto(Source, Dest, Gamma);
            return;
        }
        if (2 * NewWidth < W || 2 * NewHeight < H) {
            AreaAverageReduce(Source, Dest, Gamma);
            return;
        }
    }
    BilinearResizeGamma(Source, Dest, Gamma);
}

void ResizeBitmapInPlace(TLinearBitmap& Bitmap, std::int32_t NewWidth, std::int32_t NewHeight, float Gamma) {
    if (NewWidth == Bitmap.Width && NewHeight == Bitmap.Height) return;
    ReplaceContent(Bitmap,
                   [&](TLinearBitmap& Temporary) { ResizeBitmap(Bitmap, Temporary, NewWidth, NewHeight, Gamma); });
}

} // namespace fi
