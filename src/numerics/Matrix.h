#pragma once
// Linear-algebra containers of the engine: a growable array of fixed-size
// items with its integer vector, and the dense double matrix (a float map
// seen as rows x columns) with its column vector. Indices are 1-based and
// unchecked. Contents after a change of size are undefined.
#include <cstdint>
#include <utility>

#include "image/FloatMap.h"

namespace fi {

class TBaseStream;

// A growable array of items of one fixed size in one block. A descendant
// keeps a typed pointer to the items and hands its address to InitList, so
// that the typed pointer always equals the block.
class TDynamicList : public TStreamClass {
public:
    TDynamicList() = default;
    ~TDynamicList() override;
    TDynamicList(const TDynamicList&) = delete;
    TDynamicList& operator=(const TDynamicList&) = delete;

    // Copies another list of the same item size; anything else goes to the base.
    void Assign(const TAssignObject* Source) override;
    // The count as 4 bytes little-endian, then the raw items.
    void SaveToStream(TBaseStream& Stream) override;
    // Empties the list; then, if 4 count bytes could be read, the items.
    void LoadFromStream(TBaseStream& Stream) override;
    // Frees the block: capacity and count 0.
    virtual void Clear();
    // Capacity := count.
    virtual void Pack();
    const char* ClassName() const override { return "TDynamicList"; }

    // Reallocates to exactly N items, keeping what fits; lowers the count to N.
    void SetCapacity(std::int32_t N);
    // Grows the capacity to exactly N when needed; shrinking keeps the capacity.
    void SetCount(std::int32_t N);

    std::int32_t Count() const { return FCount; }
    std::int32_t Capacity() const { return FCapacity; }
    std::int32_t ItemSize() const { return FItemSize; }
    void* Data() const { return FData; }

protected:
    // Sets the item size and the typed pointer to keep equal to the block.
    // Called once by a descendant before the first resize.
    template <class T>
    void InitList(std::int32_t AItemSize, T** DataVar) {
        InitListRaw(AItemSize, DataVar);
    }

private:
    void InitListRaw(std::int32_t AItemSize, void* DataVar);

    // Address of the descendant's typed pointer (a pointer object), or null.
    void* FDataVar = nullptr;
    std::int32_t FCapacity = 0;
    std::int32_t FItemSize = 0;
    void* FData = nullptr;
    std::int32_t FCount = 0;
};

class TMatrix;

// A list of 32-bit signed integers, addressed 1-based.
class TIntVector : public TDynamicList {
public:
    TIntVector();
    explicit TIntVector(std::int32_t N);

    // Into a matrix (or vector): count rows x 1 column of the items as doubles.
    void AssignTo(TAssignObject* Dest) const override;
    const char* ClassName() const override { return "TIntVector"; }

    std::int32_t& Item(std::int32_t I) { return FItems[I - 1]; }
    std::int32_t Item(std::int32_t I) const { return FItems[I - 1]; }

private:
    std::int32_t* FItems = nullptr;
};

// A dense double matrix: a float map with Width = columns and Height = rows,
// element (Row, Col) at Map[(Row - 1) * Width + (Col - 1)].
class TMatrix : public TFloatMap {
public:
    TMatrix() = default;
    TMatrix(std::int32_t Rows, std::int32_t Cols);
    // Takes Other's buffer; Other is left empty.
    TMatrix(TMatrix&& Other) noexcept { TakeOver(Other); }
    const char* ClassName() const override { return "TMatrix"; }

    // Rows first here, width first in the float map. Unchanged dimensions
    // keep the data.
    void SetDimensions(std::int32_t Rows, std::int32_t Cols) { SetSize(Cols, Rows); }
    std::int32_t Rows() const { return Height; }
    std::int32_t Cols() const { return Width; }

    double& Item(std::int32_t Row, std::int32_t Col) { return Map[std::intptr_t(Row - 1) * Width + (Col - 1)]; }
    double Item(std::int32_t Row, std::int32_t Col) const { return Map[std::intptr_t(Row - 1) * Width + (Col - 1)]; }

    // All zero, then 1.0 on the diagonal.
    void SetIdentity();
    // Factor exactly 0 clears the block (NaN and infinities included).
    void Scale(double Factor);
    // In place; a row or column result only swaps the dimensions.
    void Transpose();
    // All elements in storage order.
    double Sum() const;
    void AbsValues();
    // The upper bound is tested first; NaN stays NaN.
    void Clamp(double Min, double Max);
};

// A column vector: an n x 1 matrix, element I at Map[I - 1]. A row vector
// has the same layout.
class TVector : public TMatrix {
public:
    TVector() = default;
    explicit TVector(std::int32_t Rows, std::int32_t Cols = 1) : TMatrix(Rows, Cols) {}
    TVector(TVector&& Other) noexcept : TMatrix(std::move(Other)) {}
    const char* ClassName() const override { return "TVector"; }

    // The float map's copy, then transposed when wider than one column.
    void Assign(const TAssignObject* Source) override;

    using TMatrix::Item;
    double& Item(std::int32_t I) { return Map[I - 1]; }
    double Item(std::int32_t I) const { return Map[I - 1]; }

    // Sum of self[i] * Other[i] over own element count, in index order.
    // Other must have at least as many elements.
    double Dot(const TVector& Other) const;
};

// Inverts a row-major 3x3 matrix in place through its cofactors. A zero
// determinant leaves M unchanged and returns false.
bool Invert3x3(double* M);
// Inverts a row-major 4x4 affine transform (last row taken as 0 0 0 1):
// the 3x3 block through Invert3x3, the translation through the inverse.
void InvertAffine4x4(const double* Source, double* Dest);

} // namespace fi
