// libFuzzer target: the C interface's enlargements through the shared
// library, as callers link it, with the way, setup, scale, size, channels,
// strides, cancelling and samples taken from the input, hostile sizes and
// strides among them. Buffers are exactly as large as the call claims when
// that is small, else a few bytes: a call that is not refused before
// touching them overruns them. A call that succeeds writes no byte beside
// its rows; a valid call succeeds.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fractal_interpolation.h"

namespace {

class TInput {
public:
    TInput(const std::uint8_t* Data, std::size_t Size) : Data(Data), Size(Size) {}
    std::uint8_t Byte() { return At < Size ? Data[At++] : 0; }
    // The remaining bytes, cycled, as samples.
    std::uint8_t Sample(std::size_t i) const { return At < Size ? Data[At + i % (Size - At)] : std::uint8_t(i); }

private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t At = 0;
};

// Mostly small sizes; a set bit 7 picks one that no other side makes
// valid: no image, or a result beyond the limit at any scale.
int Side(std::uint8_t b, bool& Hostile) {
    static constexpr int Hostiles[] = {0, -1, INT_MIN, INT_MAX, INT_MAX / 2, 1 << 30, 62500001, 125000001};
    if ((b & 0x80) == 0) return 1 + b % 20;
    Hostile = true;
    return Hostiles[b % 8];
}

// A row of Row elements and up to 6 more, or a stride shorter than a row
// or past the address space for any number of rows.
std::ptrdiff_t Stride(std::uint8_t b, std::int64_t Row, bool& Hostile) {
    if ((b & 0x80) == 0) return std::ptrdiff_t(Row + b % 7);
    Hostile = true;
    static constexpr std::ptrdiff_t Hostiles[] = {-1, 0, PTRDIFF_MAX, PTRDIFF_MIN};
    return b % 5 == 4 ? std::ptrdiff_t(Row - 1) : Hostiles[b % 5];
}

// Elements a call may touch, or 0 when more than a fuzz run may allocate.
std::size_t Span(std::int64_t Rows, std::int64_t Row, std::ptrdiff_t Step) {
    if (Rows < 1 || Row < 1 || Step < Row || Rows > 4096 || Step > 65536) return 0;
    return std::size_t((Rows - 1) * Step + Row);
}

struct TCancel {
    int After;
    int Calls = 0;
};

int Progress(int, void* Data) {
    auto& C = *static_cast<TCancel*>(Data);
    return C.After == 0 || ++C.Calls < C.After;
}

template <class T>
bool Untouched(const std::vector<T>& Buffer, std::int64_t Rows, std::int64_t Row, std::ptrdiff_t Step, T Mark) {
    for (std::int64_t y = 0; y < Rows; ++y)
        for (std::int64_t x = Row; x < Step && std::size_t(y * Step + x) < Buffer.size(); ++x)
            if (std::memcmp(&Buffer[std::size_t(y * Step + x)], &Mark, sizeof(T)) != 0) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    TInput In(Data, Size);
    const int Way = In.Byte() % 3, Setup = In.Byte() % 8, Scale = 2 + In.Byte() % 3;
    bool Hostile = false;
    const int W = Side(In.Byte(), Hostile), H = Side(In.Byte(), Hostile);
    const int Channels = Way == 0 ? In.Byte() % 5 : Way == 1 ? 1 : 3;
    TCancel Cancel{In.Byte() % 4 == 0 ? 1 + In.Byte() % 3 : 0};

    fi_settings* S = nullptr;
    if (fi_settings_new(&S) != FI_OK) std::abort();
    if (Setup == 7) fi_set_best_quality(S, 1);
    else fi_set_setup(S, Setup);
    fi_set_scale(S, Scale);
    fi_set_progress(S, Progress, &Cancel);
    fi_values V;
    if (fi_get_values(S, &V) != FI_OK) std::abort();

    const std::int64_t PerPixel = Way == 0 ? Channels : 1;
    const std::int64_t Row = std::int64_t(W) * PerPixel, BigRow = std::int64_t(W) * V.scale * PerPixel;
    const std::int64_t BigH = std::int64_t(H) * V.scale;
    const std::ptrdiff_t InStep = Stride(In.Byte(), Row, Hostile), OutStep = Stride(In.Byte(), BigRow, Hostile);
    const std::size_t InSpan = Span(H, Row, InStep), OutSpan = Span(BigH, BigRow, OutStep);
    Hostile = Hostile || InSpan == 0 || OutSpan == 0;
    const int Planes = Way == 2 ? 3 : 1;
    bool Finite = true;
    int Status;
    if (Way == 0) {
        std::vector<std::uint8_t> Source(InSpan > 0 ? InSpan : 4), Result(OutSpan > 0 ? OutSpan : 4, 0xEE);
        for (std::size_t i = 0; i < Source.size(); ++i) Source[i] = In.Sample(i);
        Status = fi_enlarge_bytes(S, Source.data(), W, H, Channels, InStep, Result.data(), OutStep);
        if (Status == FI_OK && !Untouched<std::uint8_t>(Result, BigH, BigRow, OutStep, 0xEE)) std::abort();
    } else {
        std::vector<std::vector<double>> Sources(3), Results(3);
        const double* SourcePointers[3];
        double* ResultPointers[3];
        for (int c = 0; c < 3; ++c) {
            Sources[c].resize(InSpan > 0 ? InSpan : 4);
            Results[c].assign(OutSpan > 0 ? OutSpan : 4, -7.5);
            for (std::size_t i = 0; i < Sources[c].size(); ++i) {
                const std::uint8_t b = In.Sample(i + std::size_t(c) * 7);
                // Now and then an infinity or a NaN, within the rows or beside them.
                Sources[c][i] = b == 255 ? INFINITY : b == 254 ? NAN : double(b);
                if (b >= 254 && InSpan > 0 && std::int64_t(i) % InStep < Row && c < Planes) Finite = false;
            }
            SourcePointers[c] = Sources[c].data();
            ResultPointers[c] = Results[c].data();
        }
        Status = Way == 1 ? fi_enlarge_plane(S, SourcePointers[0], W, H, InStep, ResultPointers[0], OutStep)
                          : fi_enlarge_planes(S, SourcePointers, Planes, W, H, InStep, ResultPointers, OutStep);
        for (int c = 0; c < Planes; ++c)
            if (Status == FI_OK && !Untouched(Results[c], BigH, BigRow, OutStep, -7.5)) std::abort();
    }
    const bool Unsupported = Way == 0 && Channels != 1 && Channels != 3;
    if (Status == FI_OK && (Hostile || !Finite || Unsupported)) std::abort();
    if (!Hostile && Finite && !Unsupported && Status != FI_OK && Status != FI_CANCELLED) std::abort();
    if (Status != FI_OK && fi_message(S)[0] == 0) std::abort();
    fi_settings_free(S);
    return 0;
}
