#pragma once
// The real-valued image: a width x height grid of packed doubles, row after
// row, with the persistence root TStreamClass and the geometry base above it.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "image/AssignObject.h"

namespace fi {

class TBaseStream;

// Root of everything that can be saved to and loaded from a stream.
class TStreamClass : public TAssignObject {
public:
    virtual void SaveToStream(TBaseStream& Stream);
    virtual void LoadFromStream(TBaseStream& Stream);
    virtual void LoadFromBufferedStream(TBaseStream& Stream);
    virtual void SaveToFile(const std::string& FileName);
    virtual void LoadFromFile(const std::string& FileName);
    const char* ClassName() const override { return "TStreamClass"; }
};

// The most one map holds: 2e9 bytes of doubles. Every plane the engine
// makes for an image (the result's included) is one map, so this is the
// largest image any front end can enlarge; they check it before the work.
inline constexpr std::int64_t MaxFloatMapBytes = 2000000000;
inline constexpr std::int64_t MaxFloatMapElements = MaxFloatMapBytes / std::int64_t(sizeof(double));

// Whether a W x H map fits, for any sizes a caller may compute (no product
// is formed before both sides are known to be small enough).
constexpr bool FitsFloatMap(std::int64_t W, std::int64_t H) {
    if (W < 0 || H < 0 || W > MaxFloatMapElements || H > MaxFloatMapElements) return false;
    return W * H <= MaxFloatMapElements;
}

class TBaseFloatMap : public TStreamClass {
public:
    std::int32_t Size = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t BytesPerLine = 0;
    std::int32_t Count = 0;

    TBaseFloatMap() = default;
    ~TBaseFloatMap() override = default;
    TBaseFloatMap(const TBaseFloatMap&) = delete;
    TBaseFloatMap& operator=(const TBaseFloatMap&) = delete;

    virtual void Clear();
    const char* ClassName() const override { return "TBaseFloatMap"; }
};

class TFloatMap : public TBaseFloatMap {
public:
    double* Map = nullptr;

    TFloatMap() = default;
    // An empty map that then copies Source.
    explicit TFloatMap(const TAssignObject* Source);
    TFloatMap(std::int32_t W, std::int32_t H);
    ~TFloatMap() override;

    void Assign(const TAssignObject* Source) override;
    void AssignTo(TAssignObject* Dest) const override;
    void Clear() override;
    const char* ClassName() const override { return "TFloatMap"; }

    // Contents after a real change of size are undefined. A size beyond
    // FitsFloatMap raises EOutOfMemory and leaves the map empty.
    void SetSize(std::int32_t W, std::int32_t H);
    double* RowPtr(std::int32_t Row) const { return Map + std::intptr_t(Row) * Width; }
    double* PixelPtr(std::int32_t X, std::int32_t Y) const { return Map + std::intptr_t(Y) * Width + X; }
    // The element at (X, Y) with each coordinate clamped into the map.
    double GetClamped(std::int32_t X, std::int32_t Y) const {
        const std::int32_t cx = X < 0 ? 0 : (X >= Width ? Width - 1 : X);
        const std::int32_t cy = Y < 0 ? 0 : (Y >= Height ? Height - 1 : Y);
        return Map[std::intptr_t(cy) * Width + cx];
    }
    void TakeOver(TFloatMap& Other);
    void Fill(double Value);
    void ZeroAll();
    void GetMinMax(double& Min, double& Max) const;
};

// How Assign and AssignTo move values between an 8-bit bitmap and a map:
// V as an integer sample of type T: rounded to nearest (ties to even in the
// default rounding mode), clamped to 0 .. the type's maximum, NaN as 0.
template <class T>
T RoundToSample(double V) {
    const double Max = double(std::numeric_limits<T>::max());
    const double r = std::nearbyint(V);
    // NaN fails both tests and, like values below 0, becomes 0.
    return T(r > Max ? Max : (!(r >= 0.0) ? 0.0 : r));
}

// Values[i] := Bytes[i], and Bytes[i] := RoundToSample(Values[i]); for i < Count.
void BytesToDoubles(const std::uint8_t* Bytes, double* Values, std::int32_t Count);
void DoublesToBytes(const double* Values, std::uint8_t* Bytes, std::int32_t Count);

} // namespace fi
