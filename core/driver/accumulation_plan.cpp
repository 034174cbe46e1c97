// How one call's coefficients are cut into units of work: which frequencies
// run in which orientation, the tile sizes, and how many units there are for
// the threads to share. The choice changes no bit of any result, only the
// time: the planner estimates the time of a few candidate plans from the
// kernels' measured costs (KernelCosts, from the shape sweep of
// bench/shape_sweep.cpp) and keeps the cheapest.
#include "driver/accumulation_plan.h"

namespace spectrogrid {

namespace {

using Index = std::int64_t;

// Tile limits. Frequency lanes: a window tile of up to 256 samples keeps
// the windowed rows one register block reads in the first-level cache, and
// the twiddle panels of a unit (up to 1 MiB) stream through the register
// blocks from the second or third level; the more frequencies share one
// windowed tile, the less the windowing costs per coefficient. Frame
// lanes: few frequencies, so long tiles, and a table of samples of up to
// 256 KiB.
constexpr Index maxFrequencyLaneTile = 256;
constexpr Index maxFrameLaneTile = 1024;
constexpr Index panelBudget = 65536;       // doubles: cosine panel; the sine panel is as large
constexpr Index windowedBudget = 8192;     // doubles: one windowed tile
constexpr Index sampleTableBudget = 32768; // doubles: one frame-lane table of samples

Index ceilDiv(Index a, Index b) { return (a + b - 1) / b; }
Index roundUp(Index value, Index quantum) { return ceilDiv(value, quantum) * quantum; }
Index roundDown(Index value, Index quantum) { return value / quantum * quantum; }
Index atMost(Index value, Index limit) { return value < limit ? value : limit; }
Index atLeast(Index value, Index limit) { return value > limit ? value : limit; }

// Tiles of equal length, at most `limit` samples.
Index tileLengthFor(Index L, Index limit) { return ceilDiv(L, ceilDiv(L, limit)); }

Index frequencyBlockLanes(const KernelSet& kernels) {
    return Index{kernels.frequencyVectors} * kernels.lanes;
}

Index frameGroup(const KernelSet& kernels) { return Index{kernels.frameVectors} * kernels.lanes; }

// The largest unit and tile each orientation may use.
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

// Frames per frame-lane tile: the table holds min(hop, tile) rows.
Index frameLaneTileFrames(const KernelSet& kernels, Index hop, Index tile) {
    return atLeast(roundDown(sampleTableBudget / atMost(hop, tile), frameGroup(kernels)), frameGroup(kernels));
}

// The share of the peak a frame-lane register block of `frequencies`
// frequencies reaches. Each sample vector costs one multiplication by the
// window, shared by the block's frequencies, beside their two
// multiplications and two additions each: with the multiplications the
// bound, a block of k reaches 2k / (2k + 1) of the rest. The set's figure
// is scaled by that over the share it holds at (KernelCosts): 3/4 fitted
// on Zen 4 (AVX-512, measured) so that 12 frequencies of a 14 000-sample
// window, hop 256, run in frame lanes (75 % of peak, against 63 % for 8 in
// frequency lanes and 4 in frame lanes) while 8 of a 256-sample window,
// hop 128, stay in frequency lanes (3 % faster than frame lanes).
double frameLaneEfficiency(const KernelCosts& c, Index frequencies) {
    const double k = static_cast<double>(frequencies);
    return c.frameLaneEfficiency * (2.0 * k) / (2.0 * k + 1.0) / c.frameLaneShare;
}

// Estimated cost, in cells at the kernel's peak, of one orientation's share
// of the work cut into units.
struct PartCost {
    double total;     // all units together
    double largest;   // the largest unit
};

// The cost of `frequencies` x `frames` coefficients in units of
// (unitFrequencies, unitFrames), given the cost of one unit.
template <typename UnitCost>
PartCost partCost(Index frequencies, Index frames, Index unitFrequencies, Index unitFrames,
                  const UnitCost& unitCost) {
    PartCost cost;
    cost.largest = unitCost(atMost(unitFrequencies, frequencies), atMost(unitFrames, frames));
    // Whole units, then the narrower ones of the last frequencies and of the
    // last frames.
    const double kWhole = static_cast<double>(frequencies / unitFrequencies);
    const double jWhole = static_cast<double>(frames / unitFrames);
    const Index kRest = frequencies % unitFrequencies;
    const Index jRest = frames % unitFrames;
    cost.total = kWhole * jWhole * unitCost(unitFrequencies, unitFrames);
    if (jRest != 0) cost.total += kWhole * unitCost(unitFrequencies, jRest);
    if (kRest != 0) cost.total += jWhole * unitCost(kRest, unitFrames);
    if (kRest != 0 && jRest != 0) cost.total += unitCost(kRest, jRest);
    return cost;
}

// Time of a plan on `threads` threads that take units as they finish: the
// share of each, plus a wait at the end of about a quarter of a unit.
double timeOf(double total, double largest, int threads) {
    return threads > 1 ? total / threads + 0.25 * largest : total;
}

struct Choice {
    Index unitFrequencies = 1;
    Index unitFrames = 1;
    PartCost cost = {0.0, 0.0};
};

// The unit shape of one orientation that the estimate likes best: every
// power-of-two share of the frequencies (in whole register blocks) and of
// the frames. Fewer frequencies per unit cost the windowing again, fewer
// frames per unit the twiddles.
template <typename UnitCost>
Choice bestUnits(Index frequencies, Index frames, Index maxUnitFrequencies, Index frequencyQuantum,
                 Index frameQuantum, int threads, const UnitCost& unitCost) {
    Choice best;
    double bestTime = -1.0;
    const Index widest = atMost(maxUnitFrequencies, roundUp(frequencies, frequencyQuantum));
    for (Index unitFrequencies = widest;; unitFrequencies = roundUp(unitFrequencies / 2, frequencyQuantum)) {
        for (Index ranges = 1; ranges <= 64; ranges *= 2) {
            const Index unitFrames = atMost(roundUp(ceilDiv(frames, ranges), frameQuantum), frames);
            const PartCost cost = partCost(frequencies, frames, unitFrequencies, unitFrames, unitCost);
            const double time = timeOf(cost.total, cost.largest, threads);
            if (bestTime < 0.0 || time < bestTime * 0.999) {
                bestTime = time;
                best.unitFrequencies = unitFrequencies;
                best.unitFrames = unitFrames;
                best.cost = cost;
            }
            if (threads == 1 || unitFrames <= frameQuantum) break;
        }
        if (threads == 1 || unitFrequencies <= frequencyQuantum) break;
    }
    return best;
}

}  // namespace

AccumulationPlan planAccumulation(const KernelSet& kernels, std::int32_t windowLength,
                                  std::int32_t frequencyCount, std::int32_t frameCount,
                                  std::int32_t hop, std::int32_t channels, int threads) {
    const Index L = atLeast(windowLength, 1);
    // Every unit does its frames in every channel, with the same twiddles.
    const double P = static_cast<double>(atLeast(channels, 1));
    const Index K = atLeast(frequencyCount, 1);
    const Index M = atLeast(frameCount, 1);
    const Index h = atLeast(hop, 1);
    const KernelCosts& c = kernels.costs;
    const Index lanes = kernels.lanes;
    const Index block = frequencyBlockLanes(kernels);

    AccumulationPlan plan;
    plan.hop = static_cast<std::int32_t>(h);
    const Index frequencyTile = tileLengthFor(L, maxFrequencyLaneTile);
    const Index frequencyTileFrames = frequencyLaneTileFrames(kernels, frequencyTile);
    plan.frequencyLanes = {static_cast<std::int32_t>(block), static_cast<std::int32_t>(M),
                           static_cast<std::int32_t>(frequencyTileFrames),
                           static_cast<std::int32_t>(frequencyTile)};
    const Index frameTile = tileLengthFor(L, maxFrameLaneTile);
    const Index frameTileFrames = frameLaneTileFrames(kernels, h, frameTile);
    plan.frameLanes = {static_cast<std::int32_t>(atLeast(kernels.frameFrequencies, 1)),
                       static_cast<std::int32_t>(M), static_cast<std::int32_t>(frameTileFrames),
                       static_cast<std::int32_t>(frameTile)};

    // A frequency-lane unit: the cells of whole vectors, the windowing of
    // its frames for every unit, the twiddles of its frequencies.
    const auto frequencyUnitCost = [&](Index k, Index j) {
        const double padded = static_cast<double>(roundUp(k, lanes));
        return P * (padded * j * L / c.frequencyLaneEfficiency + static_cast<double>(j) * L * c.windowingCells) +
               padded * L * c.twiddleCells;
    };
    // A frame-lane unit: the cells of whole vectors of frames, at the
    // efficiency of register blocks as full as the unit's frequencies fill
    // them, the table of samples (whose rows serve L / hop window samples
    // each when frames overlap), the twiddles of its frequencies.
    const double tableShare = static_cast<double>(atMost(h, frameTile)) / static_cast<double>(frameTile);
    const Index F = atLeast(kernels.frameFrequencies, 1);
    const auto frameUnitCost = [&](Index k, Index j) {
        const double padded = static_cast<double>(roundUp(j, lanes));
        const double blockCells = static_cast<double>(k / F * F) / frameLaneEfficiency(c, F) +
                                  (k % F != 0 ? static_cast<double>(k % F) / frameLaneEfficiency(c, k % F) : 0.0);
        return P * (blockCells * padded * L + padded * L * tableShare * c.transpositionCells) +
               static_cast<double>(roundUp(k, kernels.frameFrequencies)) * L * c.twiddleCells;
    };

    // Candidate splits: every frequency in frequency lanes; with a
    // frame-lane kernel also every frequency in frame lanes, and whole
    // register blocks (or whole vectors) in frequency lanes with the rest
    // in frame lanes.
    Index splits[4] = {K, -1, -1, -1};
    int splitCount = 1;
    if (kernels.frameFrequencies > 0) {
        splits[splitCount++] = 0;
        const Index quanta[2] = {block, lanes};
        for (Index quantum : quanta) {
            const Index split = roundDown(K, quantum);
            if (split > 0 && split < K) splits[splitCount++] = split;
        }
    }

    double bestTime = -1.0;
    for (int s = 0; s < splitCount; ++s) {
        const Index split = splits[s];
        Choice frequencyPart, framePart;
        if (split > 0) {
            frequencyPart = bestUnits(split, M, maxFrequencyLaneUnit(kernels, frequencyTile), block,
                                      kernels.frequencyFrames, threads, frequencyUnitCost);
        }
        if (split < K) {
            framePart = bestUnits(K - split, M, maxFrameLaneUnit(kernels), kernels.frameFrequencies,
                                  frameGroup(kernels), threads, frameUnitCost);
        }
        const double total = frequencyPart.cost.total + framePart.cost.total;
        const double largest = frequencyPart.cost.largest > framePart.cost.largest
                                   ? frequencyPart.cost.largest
                                   : framePart.cost.largest;
        const double time = timeOf(total, largest, threads);
        if (bestTime >= 0.0 && time >= bestTime) continue;
        bestTime = time;
        plan.frameLaneBegin = static_cast<std::int32_t>(split);
        if (split > 0) {
            plan.frequencyLanes.unitFrequencies = static_cast<std::int32_t>(frequencyPart.unitFrequencies);
            plan.frequencyLanes.unitFrames = static_cast<std::int32_t>(frequencyPart.unitFrames);
            plan.frequencyLanes.tileFrames =
                static_cast<std::int32_t>(atMost(frequencyTileFrames, frequencyPart.unitFrames));
        }
        if (split < K) {
            plan.frameLanes.unitFrequencies = static_cast<std::int32_t>(framePart.unitFrequencies);
            plan.frameLanes.unitFrames = static_cast<std::int32_t>(framePart.unitFrames);
            plan.frameLanes.tileFrames =
                static_cast<std::int32_t>(atMost(frameTileFrames, framePart.unitFrames));
        }
    }
    plan.threadWorkspace = kernels.threadWorkspace(plan);
    return plan;
}

std::int64_t largestThreadWorkspace(const KernelSet& kernels, std::int32_t windowLength,
                                    std::int32_t frequencyCount) {
    // The frequency-lane part does not depend on the hop. The frame-lane
    // table, before its rows are padded to whole cache lines, has at most
    // about sampleTableBudget + tile doubles whatever the hop, and its
    // largest forms are among these hops; the padding adds fewer than
    // tableRowQuantum doubles to each of its at most `frameTile` rows,
    // which the hops here need not show.
    const Index L = atLeast(windowLength, 1);
    const Index frequencyTile = tileLengthFor(L, maxFrequencyLaneTile);
    const Index frameTile = tileLengthFor(L, maxFrameLaneTile);
    std::int64_t largest = 0;
    const Index hops[5] = {1, 2, 3, atLeast(frameTile / 2, 1), frameTile};
    for (Index hop : hops) {
        AccumulationPlan plan;
        plan.frameLaneBegin = 0;
        plan.hop = static_cast<std::int32_t>(hop);
        plan.frequencyLanes = {
            static_cast<std::int32_t>(atMost(maxFrequencyLaneUnit(kernels, frequencyTile),
                                             roundUp(atLeast(frequencyCount, 1), frequencyBlockLanes(kernels)))),
            1, static_cast<std::int32_t>(frequencyLaneTileFrames(kernels, frequencyTile)),
            static_cast<std::int32_t>(frequencyTile)};
        plan.frameLanes = {static_cast<std::int32_t>(atLeast(maxFrameLaneUnit(kernels), 1)), 1,
                           static_cast<std::int32_t>(frameLaneTileFrames(kernels, hop, frameTile)),
                           static_cast<std::int32_t>(frameTile)};
        const std::int64_t length = kernels.threadWorkspace(plan);
        if (length > largest) largest = length;
    }
    return largest + (tableRowQuantum - 1) * frameTile;
}

namespace {

// A cell of the own-window kernel costs three multiplications where one of
// the frame-lane kernel costs two (the window's product is not shared
// between frequencies), and the same two additions: with the
// multiplications the bound, half as much again.
constexpr double ownCellCost = 1.5;

// Threads the own-window planner follows at most (more take units alike).
constexpr int mostPlannedThreads = 64;

}  // namespace

AccumulationPlan planOwnWindows(const KernelSet& kernels, const std::int32_t* windowLengths, std::int32_t count,
                                std::int32_t windowLength, std::int32_t frameCount, std::int32_t hop,
                                std::int32_t channels, int threads) {
    const Index L = atLeast(windowLength, 1);
    const Index R = atLeast(count, 1);
    const Index M = atLeast(frameCount, 1);
    const Index h = atLeast(hop, 1);
    const double P = static_cast<double>(atLeast(channels, 1));
    const KernelCosts& c = kernels.costs;
    const Index F = atLeast(kernels.ownFrameFrequencies > 0 ? kernels.ownFrameFrequencies : kernels.frameFrequencies, 1);
    const Index widest = maxOwnWindowBlocks * F;  // frequencies a unit walks at once
    const Index tile = tileLengthFor(L, maxFrameLaneTile);
    const Index tileFrames = frameLaneTileFrames(kernels, h, tile);
    const double tableShare = static_cast<double>(atMost(h, tile)) / static_cast<double>(tile);
    const double efficiency = c.frameLaneEfficiency > 0.0 ? c.frameLaneEfficiency : 1.0;

    // A unit of frequencies [k0, k1) and J frames costs perFrame *
    // roundUp(J, lanes) + once: the cells of whole vectors of frames and
    // the table of samples over the positions the longest window of each
    // `widest` frequencies covers, then the window and twiddle panels of
    // each register block over its own longest window.
    struct UnitCost {
        double perFrame, once;
    };
    const auto costOf = [&](Index k0, Index k1) {
        double cells = 0.0, span = 0.0, panels = 0.0;
        for (Index part = k0; part < k1; part += widest) {
            Index partLongest = 0;
            for (Index b = part; b < atMost(part + widest, k1); b += F) {
                Index longest = 0;
                for (Index k = b; k < atMost(b + F, k1); ++k) {
                    cells += windowLengths[k];
                    longest = atLeast(longest, windowLengths[k]);
                }
                panels += static_cast<double>(F * longest);
                partLongest = atLeast(partLongest, longest);
            }
            span += static_cast<double>(partLongest);
        }
        return UnitCost{P * (cells * ownCellCost / efficiency + span * tableShare * c.transpositionCells),
                        panels * c.twiddleCells};
    };

    const int followed = threads < 1 ? 1 : (threads > mostPlannedThreads ? mostPlannedThreads : threads);
    double bestTime = -1.0;
    Index bestFrequencies = atMost(widest, R), bestFrames = M;
    for (Index unitFrequencies = widest;; unitFrequencies /= 2) {
        for (Index ranges = 1; ranges <= 64; ranges *= 2) {
            const Index unitFrames = atMost(roundUp(ceilDiv(M, ranges), frameGroup(kernels)), M);
            // The threads take the units in order as they finish the
            // previous one: the time is the last one's finish.
            double finish[mostPlannedThreads] = {};
            for (Index k0 = 0; k0 < R; k0 += unitFrequencies) {
                const UnitCost unit = costOf(k0, atMost(k0 + unitFrequencies, R));
                for (Index j0 = 0; j0 < M; j0 += unitFrames) {
                    const Index frames = atMost(unitFrames, M - j0);
                    int earliest = 0;
                    for (int t = 1; t < followed; ++t) {
                        if (finish[t] < finish[earliest]) earliest = t;
                    }
                    finish[earliest] += unit.perFrame * static_cast<double>(roundUp(frames, kernels.lanes)) + unit.once;
                }
            }
            double time = 0.0;
            for (int t = 0; t < followed; ++t) time = time > finish[t] ? time : finish[t];
            if (bestTime < 0.0 || time < bestTime * 0.999) {
                bestTime = time;
                bestFrequencies = atMost(unitFrequencies, R);
                bestFrames = unitFrames;
            }
            if (followed == 1 || unitFrames <= frameGroup(kernels)) break;
        }
        if (followed == 1 || unitFrequencies <= F) break;
    }

    AccumulationPlan plan;
    plan.frameLaneBegin = 0;
    plan.hop = static_cast<std::int32_t>(h);
    plan.frequencyLanes = {1, 1, 1, 1};  // no frequency-lane units
    plan.frameLanes = {static_cast<std::int32_t>(bestFrequencies), static_cast<std::int32_t>(bestFrames),
                       static_cast<std::int32_t>(atMost(tileFrames, bestFrames)), static_cast<std::int32_t>(tile)};
    plan.threadWorkspace = kernels.ownWindowWorkspace(plan);
    return plan;
}

std::int64_t largestOwnWindowWorkspace(const KernelSet& kernels, std::int32_t windowLength) {
    if (kernels.frameFrequencies < 1) return 0;
    // As largestThreadWorkspace: the table's largest forms are among these
    // hops, its padding to whole cache lines beside.
    const Index tile = tileLengthFor(atLeast(windowLength, 1), maxFrameLaneTile);
    const Index hops[5] = {1, 2, 3, atLeast(tile / 2, 1), tile};
    std::int64_t largest = 0;
    for (Index hop : hops) {
        AccumulationPlan plan;
        plan.frameLaneBegin = 0;
        plan.hop = static_cast<std::int32_t>(hop);
        plan.frequencyLanes = {1, 1, 1, 1};
        plan.frameLanes = {static_cast<std::int32_t>(maxFrameLaneUnit(kernels)), 1,
                           static_cast<std::int32_t>(frameLaneTileFrames(kernels, hop, tile)),
                           static_cast<std::int32_t>(tile)};
        const std::int64_t length = kernels.ownWindowWorkspace(plan);
        if (length > largest) largest = length;
    }
    return largest + (tableRowQuantum - 1) * tile;
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
