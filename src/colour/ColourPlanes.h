#pragma once
// The interpolation works on one channel at a time: a 24-bit colour image is
// split into a luma plane and two colour-difference planes, each plane is
// enlarged on its own, and the planes are merged back into a 24-bit image.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "image/LinearBitmap.h"

namespace fi {

// A 4x4 affine colour transform stored row by row. Row r gives output r as
// m[r][0] * first + m[r][1] * second + m[r][2] * third input + m[r][3]; the
// last row is 0, 0, 0, 1.
using TColourMatrix = std::array<double, 16>;

// (red, green, blue) -> (luma, blue difference, red difference), with the
// differences centred on 127.5.
extern const TColourMatrix YCbCrMatrix;
// Its affine inverse, computed once at load: (luma, blue difference, red
// difference) -> (red, green, blue).
extern const TColourMatrix& InverseYCbCrMatrix;

// The three 8-bit planes of one colour image, luma first. Whoever fills the
// record owns the planes.
struct TColourPlanes {
    std::unique_ptr<TLinearBitmap> Luma;
    std::unique_ptr<TLinearBitmap> BlueDiff;
    std::unique_ptr<TLinearBitmap> RedDiff;
};

// The first three rows of Matrix applied to (A, B, C) in extended precision,
// rounded to nearest (ties to even) and clamped to 0 .. 255.
void TransformPixel(std::uint8_t A, std::uint8_t B, std::uint8_t C, const TColourMatrix& Matrix, std::uint8_t& R0,
                    std::uint8_t& R1, std::uint8_t& R2);

// Three new empty bitmaps.
void CreatePlanes(TColourPlanes& Planes);
// Frees the three and leaves the references null.
void FreePlanes(TColourPlanes& Planes);

// Fills Planes with Source's 24-bit pixels transformed by Matrix (inputs red,
// green, blue). The planes are freed again when filling fails.
void SplitColourPlanes(const TLinearBitmap& Source, TColourPlanes& Planes, const TColourMatrix& Matrix);
// Dest becomes the 24-bit image whose red, green and blue are the three
// planes (all of Luma's size) transformed by Matrix.
void MergeColourPlanes(const TLinearBitmap& Luma, const TLinearBitmap& BlueDiff, const TLinearBitmap& RedDiff,
                       const TColourMatrix& Matrix, TLinearBitmap& Dest);

// How one enlargement treats the planes: the luma plane is enlarged in place;
// each colour-difference plane (with the gray palette) is then brought in
// place to the luma plane's new width and height.
using TLumaEnlargement = std::function<void(TLinearBitmap& Luma)>;
using TDifferenceResize = std::function<void(TLinearBitmap& Plane, std::int32_t Width, std::int32_t Height)>;

// Dest becomes the 24-bit Source enlarged through its planes (YCbCr). Dest
// may be Source: it is cleared as soon as the planes hold all that is still
// needed, so that the source and the enlarged image are never held at once.
void EnlargeThroughPlanes(TLinearBitmap& Source, TLinearBitmap& Dest, const TLumaEnlargement& EnlargeLuma,
                          const TDifferenceResize& ResizeDifference);

} // namespace fi
