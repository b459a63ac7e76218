#include "colour/ColourPlanes.h"

#include <cmath>
#include <cstring>

#include "numerics/Matrix.h"
#include "parallel/MultiCoreProcessing.h"
#include "support/FloatEnvironment.h"

namespace fi {

const TColourMatrix YCbCrMatrix = {
    0.299,    0.587,    0.114,    0.0,   //
    -0.16875, -0.33126, 0.5,      127.5, //
    0.5,      -0.41869, -0.08131, 127.5, //
    0.0,      0.0,      0.0,      1.0,
};

namespace {
TColourMatrix ComputeInverse() {
    // This runs while the host loads the module, in whatever environment the
    // host's thread has.
    const TDefaultFloatScope FloatScope;
    TColourMatrix Inverse;
    InvertAffine4x4(YCbCrMatrix.data(), Inverse.data());
    return Inverse;
}
// Constant-initialised YCbCrMatrix is ready before this dynamic initialiser runs.
const TColourMatrix Inverse = ComputeInverse();

std::uint8_t TransformRow(const double* Row, std::uint8_t A, std::uint8_t B, std::uint8_t C) {
    // Extended precision decides the rounding of values that lie within a
    // double's error of a half.
    const long double V = (long double)Row[0] * A + (long double)Row[1] * B + (long double)Row[2] * C + Row[3];
    const std::int32_t Rounded = RoundExtended(V);
    return Rounded > 255 ? 255 : Rounded < 0 ? 0 : std::uint8_t(Rounded);
}

// Rows are independent; fewer than this are not worth a thread.
constexpr std::int32_t RowsPerItem = 32;

void RequirePlane(const TLinearBitmap& Plane, const TLinearBitmap& Luma) {
    if (Plane.PixelFormat != TPixelFormat::pf8bit) throw ELinearBitmap(SUnsupportedPixelFormat);
    if (Plane.Width != Luma.Width || Plane.Height != Luma.Height) throw ELinearBitmap(SInvalidBitmapSize);
}
} // namespace

const TColourMatrix& InverseYCbCrMatrix = Inverse;

void TransformPixel(std::uint8_t A, std::uint8_t B, std::uint8_t C, const TColourMatrix& Matrix, std::uint8_t& R0,
                    std::uint8_t& R1, std::uint8_t& R2) {
    R0 = TransformRow(&Matrix[0], A, B, C);
    R1 = TransformRow(&Matrix[4], A, B, C);
    R2 = TransformRow(&Matrix[8], A, B, C);
}

void CreatePlanes(TColourPlanes& Planes) {
    Planes.Luma = std::make_unique<TLinearBitmap>();
    Planes.BlueDiff = std::make_unique<TLinearBitmap>();
    Planes.RedDiff = std::make_unique<TLinearBitmap>();
}

void FreePlanes(TColourPlanes& Planes) {
    Planes.Luma.reset();
    Planes.BlueDiff.reset();
    Planes.RedDiff.reset();
}

void SplitColourPlanes(const TLinearBitmap& Source, TColourPlanes& Planes, const TColourMatrix& Matrix) {
    // Reading three bytes per pixel of any other format would run past its rows.
    if (Source.PixelFormat != TPixelFormat::pf24bit) throw ELinearBitmap(SUnsupportedPixelFormat);
    CreatePlanes(Planes);
    try {
        TLinearBitmap* const Targets[3] = {Planes.Luma.get(), Planes.BlueDiff.get(), Planes.RedDiff.get()};
        for (TLinearBitmap* Plane : Targets) {
            Plane->SetSize(Source.Width, Source.Height, TPixelFormat::pf8bit, 0);
            // A gray palette makes each plane a gray image for the resamplers.
            std::memcpy(Plane->Palette, GrayPalette, sizeof(TPalette));
        }
        RunRows(0, Source.Height - 1, RowsPerItem, [&](const TRowRange& Rows) {
            for (std::int32_t Row = Rows.First; Row <= Rows.Last; ++Row) {
                const std::uint8_t* P = Source.Line(Row);
                std::uint8_t* Y = Planes.Luma->Line(Row);
                std::uint8_t* Cb = Planes.BlueDiff->Line(Row);
                std::uint8_t* Cr = Planes.RedDiff->Line(Row);
                for (std::int32_t x = 0; x < Source.Width; ++x, P += 3)
                    TransformPixel(P[2], P[1], P[0], Matrix, Y[x], Cb[x], Cr[x]);
            }
        });
    } catch (...) {
        FreePlanes(Planes);
        throw;
    }
}

void MergeColourPlanes(const TLinearBitmap& Luma, const TLinearBitmap& BlueDiff, const TLinearBitmap& RedDiff,
                       const TColourMatrix& Matrix, TLinearBitmap& Dest) {
    RequirePlane(Luma, Luma);
    RequirePlane(BlueDiff, Luma);
    RequirePlane(RedDiff, Luma);
    if (&Dest == &Luma || &Dest == &BlueDiff || &Dest == &RedDiff) {
        // Resizing Dest would free a plane that is still to be read.
        TLinearBitmap Merged;
        MergeColourPlanes(Luma, BlueDiff, RedDiff, Matrix, Merged);
        Dest.TakeOver(Merged);
        return;
    }
    Dest.SetSize(Luma.Width, Luma.Height, TPixelFormat::pf24bit, 0);
    RunRows(0, Luma.Height - 1, RowsPerItem, [&](const TRowRange& Rows) {
        for (std::int32_t Row = Rows.First; Row <= Rows.Last; ++Row) {
            const std::uint8_t* Y = Luma.Line(Row);
            const std::uint8_t* Cb = BlueDiff.Line(Row);
            const std::uint8_t* Cr = RedDiff.Line(Row);
            std::uint8_t* Out = Dest.Line(Row);
            for (std::int32_t x = 0; x < Luma.Width; ++x, Out += 3)
                TransformPixel(Y[x], Cb[x], Cr[x], Matrix, Out[2], Out[1], Out[0]);
        }
    });
}

void EnlargeThroughPlanes(TLinearBitmap& Source, TLinearBitmap& Dest, const TLumaEnlargement& EnlargeLuma,
                          const TDifferenceResize& ResizeDifference) {
    TColourPlanes Planes;
    SplitColourPlanes(Source, Planes, YCbCrMatrix);
    if (&Dest == &Source) Source.Clear();
    EnlargeLuma(*Planes.Luma);
    for (TLinearBitmap* Plane : {Planes.BlueDiff.get(), Planes.RedDiff.get()}) {
        std::memcpy(Plane->Palette, GrayPalette, sizeof(TPalette));
        ResizeDifference(*Plane, Planes.Luma->Width, Planes.Luma->Height);
    }
    MergeColourPlanes(*Planes.Luma, *Planes.BlueDiff, *Planes.RedDiff, InverseYCbCrMatrix, Dest);
}

} // namespace fi
