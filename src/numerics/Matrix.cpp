#include "numerics/Matrix.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "support/Streams.h"

namespace fi {

namespace {
// The same ceiling as the float map's: a block must stay addressable with
// the 32-bit byte counts of the streams.
constexpr std::int64_t MaxListBytes = 2000000000;
} // namespace

// ---------------------------------------------------------------- TDynamicList

TDynamicList::~TDynamicList() { TDynamicList::Clear(); }

void TDynamicList::InitListRaw(std::int32_t AItemSize, void* DataVar) {
    FItemSize = AItemSize;
    FDataVar = DataVar;
}

void TDynamicList::SetCapacity(std::int32_t N) {
    if (N == FCapacity) return;
    const std::int64_t Bytes = std::int64_t(N) * FItemSize;
    if (N < 0 || Bytes > MaxListBytes) throw EOutOfMemory();
    void* NewData = nullptr;
    if (Bytes == 0) {
        std::free(FData);
    } else {
        NewData = std::realloc(FData, std::size_t(Bytes));
        // A failed reallocation leaves the old block and the list as they were.
        if (NewData == nullptr) throw EOutOfMemory();
    }
    FData = NewData;
    FCapacity = N;
    // The descendant's typed pointer is a pointer object of its own type;
    // every data pointer has the same representation on the targets.
    if (FDataVar != nullptr) std::memcpy(FDataVar, &FData, sizeof FData);
    if (N < FCount) FCount = N;
}

void TDynamicList::SetCount(std::int32_t N) {
    if (FCapacity < N) SetCapacity(N);
    // A negative count would stand for no items at all.
    FCount = N < 0 ? 0 : N;
}

void TDynamicList::Clear() { SetCapacity(0); }

void TDynamicList::Pack() { SetCapacity(FCount); }

void TDynamicList::Assign(const TAssignObject* Source) {
    const auto* Other = dynamic_cast<const TDynamicList*>(Source);
    if (Other == nullptr) {
        TStreamClass::Assign(Source);
        return;
    }
    if (Other == this) return;
    // Items of another size cannot be copied byte for byte.
    if (Other->FItemSize != FItemSize) RaiseAssignError(Source, this);
    Clear();
    SetCapacity(Other->FCount);
    FCount = FCapacity;
    if (FCount > 0) std::memcpy(FData, Other->FData, std::size_t(FCount) * std::size_t(FItemSize));
}

void TDynamicList::SaveToStream(TBaseStream& Stream) {
    const std::uint32_t N = std::uint32_t(FCount);
    const std::uint8_t Bytes[4] = {std::uint8_t(N), std::uint8_t(N >> 8), std::uint8_t(N >> 16), std::uint8_t(N >> 24)};
    Stream.Write(Bytes, 4);
    const std::int32_t DataBytes = FCount * FItemSize;
    if (DataBytes > 0) Stream.Write(FData, DataBytes);
}

void TDynamicList::LoadFromStream(TBaseStream& Stream) {
    SetCapacity(0);
    std::uint8_t Bytes[4];
    if (Stream.Read(Bytes, 4) != 4) return;
    const std::int32_t N = std::int32_t(std::uint32_t(Bytes[0]) | std::uint32_t(Bytes[1]) << 8 |
                                        std::uint32_t(Bytes[2]) << 16 | std::uint32_t(Bytes[3]) << 24);
    // A negative count comes only from a damaged stream: keep the list empty.
    if (N < 0) return;
    SetCount(N);
    const std::int32_t DataBytes = N * FItemSize;
    if (DataBytes > 0) Stream.Read(FData, DataBytes);
}

// ------------------------------------------------------------------ TIntVector

// Initialised at construction, so that every operation (SetCount, Assign,
// LoadFromStream) finds the item size and the typed pointer in place.
TIntVector::TIntVector() { InitList(4, &FItems); }

TIntVector::TIntVector(std::int32_t N) : TIntVector() { SetCount(N); }

void TIntVector::AssignTo(TAssignObject* Dest) const {
    auto* M = dynamic_cast<TMatrix*>(Dest);
    if (M == nullptr) {
        TDynamicList::AssignTo(Dest);
        return;
    }
    M->SetDimensions(Count(), 1);
    for (std::int32_t i = 0; i < Count(); ++i) M->Map[i] = double(FItems[i]);
}

// --------------------------------------------------------------------- TMatrix

TMatrix::TMatrix(std::int32_t Rows, std::int32_t Cols) { SetDimensions(Rows, Cols); }

void TMatrix::SetIdentity() {
    ZeroAll();
    // Square matrices only; the bound keeps any other shape inside its block.
    const std::int32_t N = Height < Width ? Height : Width;
    for (std::int32_t k = 0; k < N; ++k) Map[std::intptr_t(k) * (Width + 1)] = 1.0;
}

void TMatrix::Scale(double Factor) {
    if (Factor == 0.0) {
        ZeroAll();
        return;
    }
    for (std::int32_t i = 0; i < Count; ++i) Map[i] *= Factor;
}

void TMatrix::Transpose() {
    const std::int32_t OldW = Width, OldH = Height;
    Width = OldH;
    Height = OldW;
    BytesPerLine = Width * 8;
    // A row and a column vector share one layout.
    if (Width == 1 || Height == 1 || Count == 0) return;
    auto* NewMap = static_cast<double*>(std::malloc(std::size_t(Size)));
    if (NewMap == nullptr) {
        Width = OldW;
        Height = OldH;
        BytesPerLine = Width * 8;
        throw EOutOfMemory();
    }
    for (std::int32_t i = 0; i < Height; ++i)
        for (std::int32_t j = 0; j < Width; ++j) NewMap[std::intptr_t(i) * Width + j] = Map[std::intptr_t(j) * OldW + i];
    std::free(Map);
    Map = NewMap;
}

double TMatrix::Sum() const {
    double S = 0.0;
    for (std::int32_t i = 0; i < Count; ++i) S += Map[i];
    return S;
}

void TMatrix::AbsValues() {
    for (std::int32_t i = 0; i < Count; ++i) Map[i] = std::fabs(Map[i]);
}

void TMatrix::Clamp(double Min, double Max) {
    for (std::int32_t i = 0; i < Count; ++i) {
        if (Map[i] > Max)
            Map[i] = Max;
        else if (Map[i] < Min)
            Map[i] = Min;
    }
}

// --------------------------------------------------------------------- TVector

void TVector::Assign(const TAssignObject* Source) {
    TMatrix::Assign(Source);
    if (Width > 1) Transpose();
}

double TVector::Dot(const TVector& Other) const {
    double S = 0.0;
    for (std::int32_t i = 0; i < Count; ++i) S += Map[i] * Other.Map[i];
    return S;
}

// --------------------------------------------------------- fixed-size inverses

bool Invert3x3(double* M) {
    double C[9];
    C[0] = M[4] * M[8] - M[5] * M[7];
    C[1] = M[6] * M[5] - M[3] * M[8];
    C[2] = M[3] * M[7] - M[6] * M[4];
    C[3] = M[7] * M[2] - M[1] * M[8];
    C[4] = M[0] * M[8] - M[6] * M[2];
    C[5] = M[6] * M[1] - M[0] * M[7];
    C[6] = M[1] * M[5] - M[4] * M[2];
    C[7] = M[3] * M[2] - M[0] * M[5];
    C[8] = M[0] * M[4] - M[3] * M[1];
    const double D = M[0] * C[0] + M[1] * C[1] + M[2] * C[2];
    if (D == 0.0) return false;
    const double R = 1.0 / D;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) M[i * 3 + j] = C[j * 3 + i] * R;
    return true;
}

void InvertAffine4x4(const double* Source, double* Dest) {
    // Read everything from Source first, so that Dest may be Source.
    const double T[3] = {Source[3], Source[7], Source[11]};
    double R[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) R[i * 3 + j] = Source[i * 4 + j];
    Invert3x3(R);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) Dest[i * 4 + j] = R[i * 3 + j];
        Dest[i * 4 + 3] = -(R[i * 3 + 0] * T[0] + R[i * 3 + 1] * T[1] + R[i * 3 + 2] * T[2]);
    }
    Dest[12] = 0.0;
    Dest[13] = 0.0;
    Dest[14] = 0.0;
    Dest[15] = 1.0;
}

} // namespace fi
