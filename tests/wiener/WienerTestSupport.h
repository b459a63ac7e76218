#pragma once
// Inputs and probes shared by the engine's tests: seeded maps that come out
// the same on every target, a hash of a map's bits, and a progress recorder
// installed as the module's progress hook.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/FloatMap.h"
#include "parallel/MultiCoreProcessing.h"
#include "parallel/Progress.h"
#include "wiener/LaneSolver.h"
#include "wiener/VectorUnits.h"

namespace fi::test {

// A 64-bit linear congruential generator: the same sequence everywhere.
class TSeededRandom {
public:
    explicit TSeededRandom(std::uint64_t Seed) : State(Seed) {}
    std::uint32_t Next() {
        State = State * 6364136223846793005ull + 1442695040888963407ull;
        return std::uint32_t(State >> 33);
    }
    // An integer in 0 .. Range - 1.
    std::int32_t Below(std::int32_t Range) { return std::int32_t(Next() % std::uint32_t(Range)); }

private:
    std::uint64_t State;
};

// A W x H map of integers 0 .. 255 drawn from Seed.
inline void FillRandom(TFloatMap& Map, std::int32_t W, std::int32_t H, std::uint64_t Seed) {
    Map.SetSize(W, H);
    TSeededRandom Random(Seed);
    for (std::int32_t i = 0; i < Map.Count; ++i) Map.Map[i] = Random.Below(256);
}

// FNV-1a over the geometry and the bits of every element.
inline std::uint64_t HashMap(const TFloatMap& Map, std::uint64_t Hash = 14695981039346656037ull) {
    auto Mix = [&Hash](const void* Data, std::size_t Bytes) {
        const auto* p = static_cast<const unsigned char*>(Data);
        for (std::size_t i = 0; i < Bytes; ++i) Hash = (Hash ^ p[i]) * 1099511628211ull;
    };
    Mix(&Map.Width, 4);
    Mix(&Map.Height, 4);
    if (Map.Count > 0) Mix(Map.Map, std::size_t(Map.Count) * 8);
    return Hash;
}

inline bool SameBits(const TFloatMap& A, const TFloatMap& B) {
    return A.Width == B.Width && A.Height == B.Height &&
           (A.Count == 0 || std::memcmp(A.Map, B.Map, std::size_t(A.Count) * 8) == 0);
}

// Records every progress value while it lives; with a call limit it raises
// the silent abort at that call, as the host's cancel does.
class TProgressRecorder {
public:
    explicit TProgressRecorder(std::int32_t AbortAtCall = -1) : AbortAt(AbortAtCall) {
        Current = this;
        ProgressHook = &Record;
    }
    ~TProgressRecorder() {
        ProgressHook = nullptr;
        Current = nullptr;
    }
    TProgressRecorder(const TProgressRecorder&) = delete;
    TProgressRecorder& operator=(const TProgressRecorder&) = delete;

    std::vector<std::int32_t> Values;
    // Runs inside every progress call, before the abort check.
    void (*Probe)() = nullptr;

private:
    static void Record(std::int32_t Progress) {
        Current->Values.push_back(Progress);
        if (Current->Probe != nullptr) Current->Probe();
        if (std::int32_t(Current->Values.size()) == Current->AbortAt) Abort();
    }
    static inline TProgressRecorder* Current = nullptr;
    std::int32_t AbortAt;
};

// Pretends the machine has Count processors while it lives, so that a pass
// splits into as many items with a worker thread each.
class TProcessorCountOverride {
public:
    explicit TProcessorCountOverride(std::int32_t Count) : Saved(ProcessorCountCache.load()) {
        ProcessorCountCache.store(Count);
    }
    ~TProcessorCountOverride() { ProcessorCountCache.store(Saved); }
    TProcessorCountOverride(const TProcessorCountOverride&) = delete;
    TProcessorCountOverride& operator=(const TProcessorCountOverride&) = delete;

private:
    std::int32_t Saved;
};

// Value over the top-left W x H corner of Map: a flat region, where an
// unregularised solve is singular.
inline void FlattenCorner(TFloatMap& Map, std::int32_t W, std::int32_t H, double Value) {
    for (std::int32_t y = 0; y < H; ++y)
        for (std::int32_t x = 0; x < W; ++x) *Map.PixelPtr(x, y) = Value;
}

// Runs Check(Description) on every vector unit the machine has, each with
// 1, 2 and 7 processors, then returns to the best unit.
template <typename TCheck>
void ForEveryVectorUnitAndThreadCount(TCheck Check) {
    for (std::int32_t Unit = 0; Unit < VectorUnitCount(); ++Unit) {
        ForceVectorUnit(Unit);
        for (std::int32_t Processors : {1, 2, 7}) {
            const TProcessorCountOverride Override(Processors);
            Check(std::string(LaneTarget()) + ", " + std::to_string(Processors) + " processors");
        }
    }
    ForceVectorUnit(-1);
}

} // namespace fi::test
