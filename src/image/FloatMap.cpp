#include "image/FloatMap.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image/LinearBitmap.h"
#include "support/LargeBlocks.h"
#include "support/Streams.h"

namespace fi {

void TStreamClass::SaveToStream(TBaseStream&) {}
void TStreamClass::LoadFromStream(TBaseStream&) {}
void TStreamClass::LoadFromBufferedStream(TBaseStream& Stream) { LoadFromStream(Stream); }

void TStreamClass::SaveToFile(const std::string& FileName) {
    TChainOwner Stream(OpenBufferedFile(FileName, true));
    SaveToStream(*Stream);
    Stream.Close();
}

void TStreamClass::LoadFromFile(const std::string& FileName) {
    TChainOwner Stream(OpenBufferedFile(FileName, false));
    LoadFromStream(*Stream);
    Stream.Close();
}

void TBaseFloatMap::Clear() { Size = Width = Height = BytesPerLine = Count = 0; }

TFloatMap::TFloatMap(const TAssignObject* Source) { Assign(Source); }
TFloatMap::TFloatMap(std::int32_t W, std::int32_t H) { SetSize(W, H); }
TFloatMap::~TFloatMap() { TFloatMap::Clear(); }

void TFloatMap::Clear() {
    TBaseFloatMap::Clear();
    std::free(Map);
    Map = nullptr;
}

void TFloatMap::SetSize(std::int32_t W, std::int32_t H) {
    if (W == Width && H == Height) return;
    TFloatMap::Clear();
    if (!FitsFloatMap(W, H)) throw EOutOfMemory();
    const std::int32_t NewCount = W * H;
    if (NewCount > 0) {
        Map = static_cast<double*>(std::malloc(std::size_t(NewCount) * sizeof(double)));
        if (Map == nullptr) throw EOutOfMemory();
        AdviseLargeBlock(Map, std::size_t(NewCount) * sizeof(double));
    }
    Count = NewCount;
    Width = W;
    Height = H;
    BytesPerLine = W * 8;
    Size = Count * 8;
}

void TFloatMap::TakeOver(TFloatMap& Other) {
    if (&Other == this) return;
    std::free(Map);
    Map = Other.Map;
    Width = Other.Width;
    Height = Other.Height;
    Count = Other.Count;
    BytesPerLine = Other.BytesPerLine;
    Size = Other.Size;
    Other.Map = nullptr;
    Other.Clear();
}

void TFloatMap::Fill(double Value) {
    for (std::int32_t i = 0; i < Count; ++i) Map[i] = Value;
}

void TFloatMap::ZeroAll() {
    if (Size > 0) std::memset(Map, 0, std::size_t(Size));
}

void TFloatMap::GetMinMax(double& Min, double& Max) const {
    Min = 1.7e+308;
    Max = -1.7e+308;
    for (std::int32_t i = 0; i < Count; ++i) {
        const double v = Map[i];
        if (v > Max) Max = v;
        // Written as "not >=" so that a NaN element becomes the minimum, as it always has.
        if (!(v >= Min)) Min = v;
    }
}

void TFloatMap::Assign(const TAssignObject* Source) {
    if (const auto* Other = dynamic_cast<const TFloatMap*>(Source)) {
        if (Other == this) return;
        SetSize(Other->Width, Other->Height);
        if (Size > 0) std::memcpy(Map, Other->Map, std::size_t(Size));
        return;
    }
    if (const auto* Bitmap = dynamic_cast<const TLinearBitmap*>(Source)) {
        // The bitmap is read as packed 8-bit, whatever its format and stride.
        SetSize(Bitmap->Width, Bitmap->Height);
        BytesToDoubles(Bitmap->Map, Map, Count);
        return;
    }
    TBaseFloatMap::Assign(Source);
}

void TFloatMap::AssignTo(TAssignObject* Dest) const {
    auto* Bitmap = dynamic_cast<TLinearBitmap*>(Dest);
    if (Bitmap == nullptr) {
        TBaseFloatMap::AssignTo(Dest);
        return;
    }
    Bitmap->SetSize(Width, Height, TPixelFormat::pf8bit, 0);
    DoublesToBytes(Map, Bitmap->Map, Count);
}

void BytesToDoubles(const std::uint8_t* Bytes, double* Values, std::int32_t Count) {
    for (std::int32_t i = 0; i < Count; ++i) Values[i] = Bytes[i];
}

void DoublesToBytes(const double* Values, std::uint8_t* Bytes, std::int32_t Count) {
    for (std::int32_t i = 0; i < Count; ++i) Bytes[i] = RoundToSample<std::uint8_t>(Values[i]);
}

} // namespace fi
