#pragma once
// The fast engine of the general interpolator's passes: neighbouring source
// pixels of one relation solve their filters in the lanes of a vector
// (LaneSolver), their training rows read through padded copies of the maps
// instead of the edge-clamped accessor. The switches and the prediction run
// lane by lane with the reference's operations (the prediction per pixel
// near the edges); a block whose vector solve fails is redone pixel by pixel
// the reference way.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "parallel/MultiCoreProcessing.h"
#include "wiener/PaddedMap.h"

namespace fi {

class TWienerRun;
class TPixelRelations;
struct TWienerWork;

class TWienerLanePass {
public:
    // The pass for Run, or null where the reference runs instead: the
    // reference engine is selected, the source or the training region is empty, a filter
    // has more weights than the lanes take, or a phase map a relation trains
    // on is empty (a source side shorter than the factor).
    static std::unique_ptr<TWienerLanePass> For(const TWienerRun& Run);

    TWienerLanePass(const TWienerRun& Run, std::int32_t Lanes, std::int32_t Reach);

    // Computes the run's current relation for the source rows of Range;
    // progress from the calling thread's item only.
    void ProcessRows(const TWienerRun& Run, const TRowRange& Range, bool ReportProgress) const;

private:
    // The key rows an item of the current pass computes, First .. Last, and
    // the source row after which each counts as done for progress.
    struct TKeyRows {
        std::int32_t First;
        std::int32_t Last;
        // A pass of its own: key row k is done with source row k + Offset.
        std::int32_t Offset;
        // A shared pass: its slice of all key rows, spread over the source rows.
        bool Sliced;
        std::int32_t SliceFirst;
        std::int32_t SliceLength;

        std::int32_t Position(std::int32_t Key, std::int32_t Height) const {
            return Sliced ? std::int32_t(std::int64_t(Key - SliceFirst) * Height / SliceLength) : Key + Offset;
        }
    };
    TKeyRows KeyRowsOf(const TWienerRun& Run, const TRowRange& Range) const;

    // Squares[(Row * Weights + c) * Stride + i] := training entry c of the
    // key position (First + i, FirstRow + Row) in key coordinates (x - X,
    // y - Y of relation R), for Rows rows and Entries positions.
    void GatherSquares(const TWienerRun& Run, const TPixelRelations& R, std::int32_t First, std::int32_t Entries,
                       std::int32_t FirstRow, std::int32_t Rows, std::ptrdiff_t Stride, double* Squares) const;

    // The outputs of relation R for the lanes' source pixels (x + l, y), from
    // their weights (Weights[c * lanes + l]) as the reference predicts them.
    // Only where every lane's inputs lie inside the maps; false, with
    // nothing written, otherwise.
    bool PredictBlock(const TWienerRun& Run, const TPixelRelations& R, std::int32_t x, std::int32_t y,
                      const double* Weights) const;

    // The outputs of the Group's relations for the Keys keys of one block
    // from index Block of the segment starting at First, in key row Key,
    // from the block's weights (Solution, one right-hand side per relation,
    // adjusted here) or, where it was not Solved, the reference way.
    void PredictKeys(const TWienerRun& Run, const std::vector<const TPixelRelations*>& Group, std::int32_t First,
                     std::int32_t Block, std::int32_t Keys, std::int32_t Key, bool Solved, double* Solution,
                     TWienerWork& Work) const;

    std::int32_t FLanes;
    // The relations of a shared pass, in pass order; empty when every
    // relation is a pass of its own.
    std::vector<const TPixelRelations*> FShared;
    // The largest block position of any relation.
    std::int32_t FReachX = 0;
    std::int32_t FReachY = 0;
    TPaddedMap FSource;
    // [column phase * factor + row phase]; empty when no relation trains on them.
    std::vector<TPaddedMap> FPhases;
};

} // namespace fi
