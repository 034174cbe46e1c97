// How one call's coefficients are cut into units of work: which frequencies
// run in which orientation, the tile sizes, and how many units there are for
// the threads to share. The choice changes no bit of any result, only the
// time: the planner estimates the time of a few candidate plans from the
// kernels' measured costs and keeps the cheapest.
#include "kernels.h"

namespace spectrogrid {

namespace {

using Index = std::int64_t;

// Tile limits. A window tile of up to 256 samples keeps the windowed rows
// one register block reads in the first-level cache; the twiddle panel of a
// unit and its windowed tile stay within about 320 KiB of the second level.
constexpr Index maxTileLength = 256;
constexpr Index panelBudget = 16384;      // doubles: cosine panel; the sine panel is as large
constexpr Index windowedBudget = 8192;    // doubles: one windowed tile
constexpr Index maxFrameLaneFrequencyBlocks = 4;

Index ceilDiv(Index a, Index b) { return (a + b - 1) / b; }
Index roundUp(Index value, Index quantum) { return ceilDiv(value, quantum) * quantum; }
Index roundDown(Index value, Index quantum) { return value / quantum * quantum; }
Index atMost(Index value, Index limit) { return value < limit ? value : limit; }
Index atLeast(Index value, Index limit) { return value > limit ? value : limit; }

Index tileLengthFor(Index L) {
    const Index tiles = ceilDiv(L, maxTileLength);
    return ceilDiv(L, tiles);
}

Index frequencyBlockLanes(const KernelSet& kernels) {
    return Index{kernels.frequencyVectors} * kernels.lanes;
}

// The largest unit and tile each orientation may use for this window tile.
Index maxFrequencyLaneUnit(const KernelSet& kernels, Index tile) {
    const Index block = frequencyBlockLanes(kernels);
    return atLeast(roundDown(panelBudget / tile, block), block);
}

Index frequencyLaneTileFrames(const KernelSet& kernels, Index tile) {
    return atLeast(roundDown(windowedBudget / tile, kernels.frequencyFrames), kernels.frequencyFrames);
}

Index maxFrameLaneUnit(const KernelSet& kernels) {
    return maxFrameLaneFrequencyBlocks * kernels.frameFrequencies;
}

Index frameLaneTileFrames(const KernelSet& kernels, Index tile) {
    const Index group = Index{kernels.frameVectors} * kernels.lanes;
    return atLeast(roundDown(windowedBudget / tile, group), group);
}

// Estimated cost, in cells at the kernel's peak, of one orientation's share
// of the work cut into units of (unitFrequencies, unitFrames).
struct PartCost {
    double total;     // all units together
    double largest;   // the largest unit
    Index units;
};

PartCost frequencyLaneCost(const KernelSet& kernels, Index frequencies, Index frames, Index L,
                           Index unitFrequencies, Index unitFrames) {
    const KernelCosts& c = kernels.costs;
    const Index lanes = kernels.lanes;
    const Index kUnits = ceilDiv(frequencies, unitFrequencies);
    const Index jUnits = ceilDiv(frames, unitFrames);
    const auto unitCost = [&](Index k, Index j) {
        const double cells = static_cast<double>(roundUp(k, lanes)) * j * L / c.frequencyLaneEfficiency;
        const double windowing = static_cast<double>(j) * L * c.windowingCells;
        const double twiddles = static_cast<double>(roundUp(k, lanes)) * L * c.twiddleCells;
        return cells + windowing + twiddles;
    };
    PartCost cost;
    cost.units = kUnits * jUnits;
    cost.largest = unitCost(atMost(unitFrequencies, frequencies), atMost(unitFrames, frames));
    double total = 0.0;
    for (Index k = 0; k < kUnits; ++k) {
        const Index kCount = atMost(unitFrequencies, frequencies - k * unitFrequencies);
        const Index jFull = frames / unitFrames;
        total += static_cast<double>(jFull) * unitCost(kCount, unitFrames);
        if (frames % unitFrames != 0) total += unitCost(kCount, frames % unitFrames);
    }
    cost.total = total;
    return cost;
}

PartCost frameLaneCost(const KernelSet& kernels, Index frequencies, Index frames, Index L,
                       Index unitFrequencies, Index unitFrames) {
    const KernelCosts& c = kernels.costs;
    const Index lanes = kernels.lanes;
    const Index kUnits = ceilDiv(frequencies, unitFrequencies);
    const Index jUnits = ceilDiv(frames, unitFrames);
    const auto unitCost = [&](Index k, Index j) {
        const double paddedFrames = static_cast<double>(roundUp(j, lanes));
        const double cells = static_cast<double>(k) * paddedFrames * L / c.frameLaneEfficiency;
        const double transposition = paddedFrames * L * c.transpositionCells;
        const double twiddles = static_cast<double>(roundUp(k, kernels.frameFrequencies)) * L * c.twiddleCells;
        return cells + transposition + twiddles;
    };
    PartCost cost;
    cost.units = kUnits * jUnits;
    cost.largest = unitCost(atMost(unitFrequencies, frequencies), atMost(unitFrames, frames));
    double total = 0.0;
    for (Index k = 0; k < kUnits; ++k) {
        const Index kCount = atMost(unitFrequencies, frequencies - k * unitFrequencies);
        const Index jFull = frames / unitFrames;
        total += static_cast<double>(jFull) * unitCost(kCount, unitFrames);
        if (frames % unitFrames != 0) total += unitCost(kCount, frames % unitFrames);
    }
    cost.total = total;
    return cost;
}

// Time of a plan on `threads` threads that take units as they finish: the
// share of each, plus on average half a unit's wait at the end.
double timeOf(double total, double largest, int threads) {
    return threads > 1 ? total / threads + 0.5 * largest : total;
}

struct Choice {
    Index unitFrequencies = 1;
    Index unitFrames = 1;
    PartCost cost = {0.0, 0.0, 0};
};

// The unit shape of one orientation that the estimate likes best, trying
// fewer frequencies per unit first (free) and then fewer frames per unit
// (each frame range computes the twiddles again).
template <typename CostOf>
Choice bestUnits(Index frequencies, Index frames, Index maxUnitFrequencies, Index frequencyQuantum,
                 Index frameQuantum, int threads, const CostOf& costOf) {
    Choice best;
    double bestTime = -1.0;
    const Index widest = atMost(maxUnitFrequencies, roundUp(frequencies, frequencyQuantum));
    for (Index unitFrequencies = widest; unitFrequencies >= frequencyQuantum;
         unitFrequencies = roundUp(unitFrequencies / 2, frequencyQuantum)) {
        for (Index ranges = 1; ranges <= 64; ranges *= 2) {
            const Index unitFrames = atMost(roundUp(ceilDiv(frames, ranges), frameQuantum), frames);
            const PartCost cost = costOf(unitFrequencies, unitFrames);
            const double time = timeOf(cost.total, cost.largest, threads);
            if (bestTime < 0.0 || time < bestTime * 0.999) {
                bestTime = time;
                best.unitFrequencies = unitFrequencies;
                best.unitFrames = unitFrames;
                best.cost = cost;
            }
            if (unitFrames <= frameQuantum) break;
            if (threads == 1) break;
        }
        if (unitFrequencies == frequencyQuantum) break;
        if (threads == 1) break;
    }
    return best;
}

}  // namespace

AccumulationPlan planAccumulation(const KernelSet& kernels, std::int32_t windowLength,
                                  std::int32_t frequencyCount, std::int32_t frameCount, int threads) {
    const Index L = atLeast(windowLength, 1);
    const Index K = atLeast(frequencyCount, 1);
    const Index M = atLeast(frameCount, 1);
    const Index tile = tileLengthFor(L);
    const Index block = frequencyBlockLanes(kernels);
    const Index frequencyTileFrames = frequencyLaneTileFrames(kernels, tile);

    AccumulationPlan plan;
    plan.tileLength = static_cast<std::int32_t>(tile);
    plan.frequencyLanes = {static_cast<std::int32_t>(block), static_cast<std::int32_t>(M),
                           static_cast<std::int32_t>(frequencyTileFrames)};
    plan.frameLanes = plan.frequencyLanes;

    // Candidate splits: every frequency in frequency lanes; with a
    // frame-lane kernel also every frequency in frame lanes, and whole
    // vectors (or whole register blocks) in frequency lanes with the rest
    // in frame lanes.
    Index splits[4] = {K, -1, -1, -1};
    int splitCount = 1;
    if (kernels.frameFrequencies > 0) {
        splits[splitCount++] = 0;
        const Index quanta[2] = {block, kernels.lanes};
        for (Index quantum : quanta) {
            const Index split = roundDown(K, quantum);
            if (split > 0 && split < K) splits[splitCount++] = split;
        }
    }

    const auto frequencyChoice = [&](Index frequencies) {
        return bestUnits(frequencies, M, maxFrequencyLaneUnit(kernels, tile), block,
                         kernels.frequencyFrames, threads, [&](Index kUnit, Index jUnit) {
                             return frequencyLaneCost(kernels, frequencies, M, L, kUnit, jUnit);
                         });
    };
    const auto frameChoice = [&](Index frequencies) {
        const Index group = Index{kernels.frameVectors} * kernels.lanes;
        return bestUnits(frequencies, M, maxFrameLaneUnit(kernels), kernels.frameFrequencies, group,
                         threads, [&](Index kUnit, Index jUnit) {
                             return frameLaneCost(kernels, frequencies, M, L, kUnit, jUnit);
                         });
    };

    double bestTime = -1.0;
    for (int s = 0; s < splitCount; ++s) {
        const Index split = splits[s];
        Choice frequencyPart, framePart;
        if (split > 0) frequencyPart = frequencyChoice(split);
        if (split < K) framePart = frameChoice(K - split);
        const double total = frequencyPart.cost.total + framePart.cost.total;
        const double largest = frequencyPart.cost.largest > framePart.cost.largest
                                   ? frequencyPart.cost.largest
                                   : framePart.cost.largest;
        const double time = timeOf(total, largest, threads);
        if (bestTime < 0.0 || time < bestTime) {
            bestTime = time;
            plan.frameLaneBegin = static_cast<std::int32_t>(split);
            if (split > 0) {
                plan.frequencyLanes = {static_cast<std::int32_t>(frequencyPart.unitFrequencies),
                                       static_cast<std::int32_t>(frequencyPart.unitFrames),
                                       static_cast<std::int32_t>(atMost(frequencyTileFrames, frequencyPart.unitFrames))};
            }
            if (split < K) {
                plan.frameLanes = {static_cast<std::int32_t>(framePart.unitFrequencies),
                                   static_cast<std::int32_t>(framePart.unitFrames),
                                   static_cast<std::int32_t>(atMost(frameLaneTileFrames(kernels, tile),
                                                                    framePart.unitFrames))};
            }
        }
    }
    plan.threadWorkspace = kernels.threadWorkspace(plan);
    return plan;
}

std::int64_t largestThreadWorkspace(const KernelSet& kernels, std::int32_t windowLength,
                                    std::int32_t frequencyCount) {
    const Index L = atLeast(windowLength, 1);
    const Index tile = tileLengthFor(L);
    const Index block = frequencyBlockLanes(kernels);
    AccumulationPlan plan;
    plan.frameLaneBegin = 0;
    plan.tileLength = static_cast<std::int32_t>(tile);
    plan.frequencyLanes = {
        static_cast<std::int32_t>(atMost(maxFrequencyLaneUnit(kernels, tile),
                                         roundUp(atLeast(frequencyCount, 1), block))),
        1, static_cast<std::int32_t>(frequencyLaneTileFrames(kernels, tile))};
    plan.frameLanes = {static_cast<std::int32_t>(maxFrameLaneUnit(kernels)), 1,
                       static_cast<std::int32_t>(frameLaneTileFrames(kernels, tile))};
    return kernels.threadWorkspace(plan);
}

std::int64_t unitCount(const AccumulationPlan& plan, std::int32_t frequencyCount,
                       std::int32_t frameCount) {
    const Index split = plan.frameLaneBegin;
    const Index rest = frequencyCount - split;
    Index units = 0;
    if (split > 0) {
        units += ceilDiv(split, plan.frequencyLanes.unitFrequencies) *
                 ceilDiv(frameCount, plan.frequencyLanes.unitFrames);
    }
    if (rest > 0) {
        units += ceilDiv(rest, plan.frameLanes.unitFrequencies) *
                 ceilDiv(frameCount, plan.frameLanes.unitFrames);
    }
    return units;
}

UnitRange unitAt(const AccumulationPlan& plan, std::int32_t frequencyCount,
                 std::int32_t frameCount, std::int64_t index, Orientation* orientation) {
    const Index split = plan.frameLaneBegin;
    Index kBegin = 0, kEnd = split;
    UnitShape shape = plan.frequencyLanes;
    *orientation = Orientation::frequencyLanes;
    const Index frequencyUnits =
        split > 0 ? ceilDiv(split, shape.unitFrequencies) * ceilDiv(frameCount, shape.unitFrames) : 0;
    if (index >= frequencyUnits) {
        index -= frequencyUnits;
        kBegin = split;
        kEnd = frequencyCount;
        shape = plan.frameLanes;
        *orientation = Orientation::frameLanes;
    }
    const Index jUnits = ceilDiv(frameCount, shape.unitFrames);
    const Index k = index / jUnits;
    const Index j = index % jUnits;
    UnitRange unit;
    unit.kBegin = static_cast<std::int32_t>(kBegin + k * shape.unitFrequencies);
    unit.kEnd = static_cast<std::int32_t>(atMost(unit.kBegin + Index{shape.unitFrequencies}, kEnd));
    unit.jBegin = static_cast<std::int32_t>(j * shape.unitFrames);
    unit.jEnd = static_cast<std::int32_t>(atMost(unit.jBegin + Index{shape.unitFrames}, frameCount));
    return unit;
}

}  // namespace spectrogrid
