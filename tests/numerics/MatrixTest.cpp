#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "numerics/Matrix.h"
#include "support/Streams.h"

namespace fi {
namespace {

// An in-memory stream, strict or not, to feed the list short data.
class TMemoryStream : public TBaseStream {
public:
    std::vector<std::uint8_t> Data;
    std::size_t Position = 0;

    TMemoryStream() { CanRead = CanWrite = true; }
    std::int32_t Write(const void* Buffer, std::int32_t Count) override {
        const auto* p = static_cast<const std::uint8_t*>(Buffer);
        Data.insert(Data.end(), p, p + Count);
        return Count;
    }
    std::int32_t Read(void* Buffer, std::int32_t Count) override {
        const std::int32_t n = std::min<std::int32_t>(Count, std::int32_t(Data.size() - Position));
        std::memcpy(Buffer, Data.data() + Position, std::size_t(n));
        Position += std::size_t(n);
        if (Strict && n < Count) throw EInOutError(SReadLessThanExpected);
        return n;
    }
    std::int32_t BytesLeft() override { return std::int32_t(Data.size() - Position); }
};

TEST(IntVector, CountCapacityAndTheTypedPointer) {
    TIntVector V;
    EXPECT_EQ(V.ItemSize(), 4);
    V.SetCount(3);
    EXPECT_EQ(V.Capacity(), 3);
    V.Item(1) = 10;
    V.Item(3) = -30;
    EXPECT_EQ(static_cast<std::int32_t*>(V.Data())[2], -30);

    // Growth is exact and keeps the items; the typed pointer follows the block.
    V.SetCount(5);
    EXPECT_EQ(V.Capacity(), 5);
    V.Item(5) = 50;
    EXPECT_EQ(static_cast<std::int32_t*>(V.Data())[4], 50);
    EXPECT_EQ(V.Item(1), 10);
    EXPECT_EQ(V.Item(3), -30);

    // Shrinking the count keeps the block; Pack and capacity below the count cut it.
    void* Block = V.Data();
    V.SetCount(0);
    EXPECT_EQ(V.Capacity(), 5);
    EXPECT_EQ(V.Data(), Block);
    V.SetCount(4);
    V.SetCapacity(2);
    EXPECT_EQ(V.Count(), 2);
    EXPECT_EQ(V.Item(1), 10);
    V.SetCapacity(6);
    V.Pack();
    EXPECT_EQ(V.Capacity(), 2);

    V.Clear();
    EXPECT_EQ(V.Capacity(), 0);
    EXPECT_EQ(V.Count(), 0);
    EXPECT_EQ(V.Data(), nullptr);

    EXPECT_THROW(V.SetCapacity(-1), EOutOfMemory);
    EXPECT_THROW(V.SetCapacity(600000000), EOutOfMemory);
    EXPECT_EQ(V.Capacity(), 0);
}

TEST(IntVector, AssignCopiesListsAndConvertsIntoMatrices) {
    TIntVector Source(3);
    Source.Item(1) = 7;
    Source.Item(2) = -2;
    Source.Item(3) = 9;
    Source.SetCapacity(10);

    TIntVector Copy;
    Copy.Assign(&Source);
    EXPECT_EQ(Copy.Count(), 3);
    EXPECT_EQ(Copy.Capacity(), 3);
    EXPECT_EQ(Copy.Item(2), -2);
    Copy.Assign(&Copy);
    EXPECT_EQ(Copy.Item(3), 9);

    // Into a vector directly and through the vector's own Assign.
    TMatrix M(2, 2);
    Source.AssignTo(&M);
    EXPECT_EQ(M.Rows(), 3);
    EXPECT_EQ(M.Cols(), 1);
    EXPECT_EQ(M.Item(3, 1), 9.0);
    TVector V;
    V.Assign(&Source);
    EXPECT_EQ(V.Rows(), 3);
    EXPECT_EQ(V.Item(2), -2.0);

    // No way from a matrix into a list.
    EXPECT_THROW(Copy.Assign(&M), Exception);
}

TEST(IntVector, StreamRoundTripAndShortCounts) {
    TIntVector V(3);
    V.Item(1) = 1;
    V.Item(2) = -1;
    V.Item(3) = 0x01020304;
    TMemoryStream S;
    V.SaveToStream(S);
    ASSERT_EQ(S.Data.size(), 16u);
    EXPECT_EQ(std::vector<std::uint8_t>(S.Data.begin(), S.Data.begin() + 4), (std::vector<std::uint8_t>{3, 0, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(S.Data.begin() + 12, S.Data.end()), (std::vector<std::uint8_t>{4, 3, 2, 1}));

    TIntVector Loaded(5);
    Loaded.LoadFromStream(S);
    EXPECT_EQ(Loaded.Count(), 3);
    EXPECT_EQ(Loaded.Item(2), -1);
    EXPECT_EQ(Loaded.Item(3), 0x01020304);

    // A count cut short leaves the list empty, whether the stream is strict or not.
    TMemoryStream Short;
    Short.Data = {3, 0};
    Short.SetStrict(false);
    Loaded.LoadFromStream(Short);
    EXPECT_EQ(Loaded.Count(), 0);
    EXPECT_EQ(Loaded.Capacity(), 0);
    Loaded.SetCount(2);
    TMemoryStream StrictShort;
    StrictShort.Data = {3};
    EXPECT_THROW(Loaded.LoadFromStream(StrictShort), EInOutError);
    EXPECT_EQ(Loaded.Count(), 0);

    // A negative count from a damaged stream leaves it empty as well.
    TMemoryStream Negative;
    Negative.Data = {0xff, 0xff, 0xff, 0xff, 1, 2, 3, 4};
    Loaded.LoadFromStream(Negative);
    EXPECT_EQ(Loaded.Count(), 0);
}

TEST(IntVector, FileRoundTrip) {
    const std::string Name = testing::TempDir() + "intvector.bin";
    TIntVector V(1000);
    for (std::int32_t i = 1; i <= 1000; ++i) V.Item(i) = i * i - 7;
    V.SaveToFile(Name);
    TIntVector Loaded;
    Loaded.LoadFromFile(Name);
    ASSERT_EQ(Loaded.Count(), 1000);
    EXPECT_EQ(std::memcmp(Loaded.Data(), V.Data(), 4000), 0);
    std::remove(Name.c_str());
}

TEST(Matrix, LayoutIdentityAndDimensions) {
    TMatrix M(2, 3);
    EXPECT_EQ(M.Width, 3);
    EXPECT_EQ(M.Height, 2);
    M.Item(2, 1) = 4.0;
    EXPECT_EQ(M.Map[3], 4.0);
    double* Block = M.Map;
    M.SetDimensions(2, 3);
    EXPECT_EQ(M.Map, Block);
    EXPECT_THROW(M.SetDimensions(100000, 10000), EOutOfMemory);

    TMatrix I(3, 3);
    I.Fill(std::numeric_limits<double>::quiet_NaN());
    I.SetIdentity();
    for (std::int32_t r = 1; r <= 3; ++r)
        for (std::int32_t c = 1; c <= 3; ++c) EXPECT_EQ(I.Item(r, c), r == c ? 1.0 : 0.0);
}

TEST(Matrix, Transpose) {
    TMatrix M(2, 3);
    for (std::int32_t i = 0; i < 6; ++i) M.Map[i] = i + 1;
    M.Transpose();
    ASSERT_EQ(M.Rows(), 3);
    ASSERT_EQ(M.Cols(), 2);
    EXPECT_EQ(M.BytesPerLine, 16);
    const double Expected[] = {1, 4, 2, 5, 3, 6};
    for (std::int32_t i = 0; i < 6; ++i) EXPECT_EQ(M.Map[i], Expected[i]);

    // A row becomes a column without moving its data.
    TMatrix Row(1, 4);
    double* Block = Row.Map;
    Row.Transpose();
    EXPECT_EQ(Row.Rows(), 4);
    EXPECT_EQ(Row.Cols(), 1);
    EXPECT_EQ(Row.BytesPerLine, 8);
    EXPECT_EQ(Row.Map, Block);
}

TEST(Matrix, ElementwiseOperations) {
    TMatrix M(2, 2);
    M.Map[0] = std::numeric_limits<double>::quiet_NaN();
    M.Map[1] = std::numeric_limits<double>::infinity();
    M.Map[2] = -1.5;
    M.Map[3] = 2.0;
    M.Scale(0.0);
    for (std::int32_t i = 0; i < 4; ++i) EXPECT_EQ(M.Map[i], 0.0);

    const double Values[] = {-0.5, 1.5, 0.3, -2.25};
    std::memcpy(M.Map, Values, sizeof Values);
    M.Scale(2.0);
    EXPECT_EQ(M.Map[3], -4.5);
    EXPECT_EQ(M.Sum(), -1.0 + 3.0 + 0.6 - 4.5);
    M.AbsValues();
    EXPECT_EQ(M.Map[0], 1.0);
    EXPECT_EQ(M.Map[3], 4.5);

    std::memcpy(M.Map, Values, sizeof Values);
    M.Clamp(0.0, 1.0);
    EXPECT_EQ(M.Map[0], 0.0);
    EXPECT_EQ(M.Map[1], 1.0);
    EXPECT_EQ(M.Map[2], 0.3);
    // NaN passes both tests; with crossed bounds the upper one wins.
    M.Map[0] = std::numeric_limits<double>::quiet_NaN();
    M.Map[1] = 5.0;
    M.Clamp(3.0, 2.0);
    EXPECT_TRUE(std::isnan(M.Map[0]));
    EXPECT_EQ(M.Map[1], 2.0);
    EXPECT_EQ(M.Map[2], 3.0);
}

TEST(Vector, AssignTurnsRowsIntoColumnsAndDot) {
    TFloatMap Row(5, 1);
    for (std::int32_t i = 0; i < 5; ++i) Row.Map[i] = 0.5 * i;
    TVector V;
    V.Assign(&Row);
    EXPECT_EQ(V.Rows(), 5);
    EXPECT_EQ(V.Cols(), 1);
    EXPECT_EQ(V.Item(5), 2.0);

    // A wider matrix arrives transposed.
    TMatrix M(2, 3);
    for (std::int32_t i = 0; i < 6; ++i) M.Map[i] = i + 1;
    V.Assign(&M);
    EXPECT_EQ(V.Rows(), 3);
    EXPECT_EQ(V.Cols(), 2);
    EXPECT_EQ(V.Item(2, 1), 2.0);
    EXPECT_EQ(V.Item(2, 2), 5.0);

    TVector A(3), B(4);
    A.Item(1) = 1e17;
    A.Item(2) = 1.0;
    A.Item(3) = -1e17;
    B.Fill(1.0);
    B.Item(4) = 1e300;
    // Index order: (1e17 + 1) rounds away the 1, so the sum is 0, and B's
    // extra element is not read.
    EXPECT_EQ(A.Dot(B), 0.0);
}

TEST(FixedSize, Invert3x3) {
    double M[9] = {2, 0, 0, 0, 4, 0, 0, 0, 8};
    ASSERT_TRUE(Invert3x3(M));
    const double Diag[9] = {0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(M[i], Diag[i]);

    double Singular[9] = {1, 2, 3, 2, 4, 6, 0, 1, 5};
    const std::vector<double> Before(Singular, Singular + 9);
    EXPECT_FALSE(Invert3x3(Singular));
    EXPECT_EQ(std::vector<double>(Singular, Singular + 9), Before);

    // A general matrix: the product with the original is the identity.
    const double A[9] = {2, -1, 0, 1, 3, 2, 0, 1, 4};
    double Inv[9];
    std::memcpy(Inv, A, sizeof A);
    ASSERT_TRUE(Invert3x3(Inv));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += A[r * 3 + k] * Inv[k * 3 + c];
            EXPECT_NEAR(s, r == c ? 1.0 : 0.0, 1e-15);
        }
}

TEST(FixedSize, InvertAffine4x4) {
    const double Translation[16] = {1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 9, 9, 9, 9};
    double Dest[16];
    InvertAffine4x4(Translation, Dest);
    const double Expected[16] = {1, 0, 0, -1, 0, 1, 0, -2, 0, 0, 1, -3, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(Dest[i], Expected[i]) << i;

    // Scale and translation, inverted in place: applying both gives the identity.
    double T[16] = {2, 0, 0, 4, 0, 4, 0, -8, 0, 0, 0.5, 1, 0, 0, 0, 1};
    InvertAffine4x4(T, T);
    const double InPlace[16] = {0.5, 0, 0, -2, 0, 0.25, 0, 2, 0, 0, 2, -2, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(T[i], InPlace[i]) << i;
}

} // namespace
} // namespace fi
