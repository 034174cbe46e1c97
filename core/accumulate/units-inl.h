// Part of the accumulation body, included last by accumulate-inl.h: the
// units of work. A unit is walked window tile by window tile (the twiddle
// panels of its frequencies first), then channel by channel and tile of
// frames by tile of frames, each handed to the kernel of its orientation;
// and the workspace one thread needs for that. Defines the set's entry
// points accumulateFrequencyLaneUnit, accumulateFrameLaneUnit and
// threadWorkspace.

namespace {

double* alignedTo64Bytes(double* p) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p);
    return p + ((64 - address % 64) % 64) / sizeof(double);
}

// Doubles of workspace beyond the panels and the tile: the angles passed to
// the sine-cosine routine at once, and slack for the alignment of each part.
constexpr Index thetaChunk = 1024;
constexpr Index alignmentSlack = 3 * 8;

Index panelLength(Index frequencies, Index blockLanes, Index tileLength) {
    return (frequencies + blockLanes - 1) / blockLanes * blockLanes * tileLength;
}

// The angle 2 pi g of window sample n < 2^23 for nu = f/fs = high + low
// (a reduced ratio), g = frac(nu n) in [-1/2, 1/2]: high = top + bottom
// split in halves of at most 26 bits, so that top * n - p, then adding
// bottom * n, is exact and p + e = high n exactly; adding and taking away
// the shifter rounds to the nearest integer.
inline double reducedAngle(double high, double top, double bottom, double low, double n) {
    constexpr double shifter = 0x1.8p52;
    const double p = high * n;
    const double e = (top * n - p) + bottom * n;
    const double a = (p - ((p + shifter) - shifter)) + e;
    const double b = a + low * n;
    return (b - ((b + shifter) - shifter)) * 6.283185307179586;
}

// high split into top + bottom of at most 26 bits each (Veltkamp), as
// reducedAngle takes it.
inline void splitHigh(double high, double* top, double* bottom) {
    const double t = 134217729.0 * high;  // 2^27 + 1
    *top = t - (t - high);
    *bottom = high - *top;
}

// Twiddle panels of frequencies [kBegin, kBegin + kCount) in blocks of
// blockLanes, for window samples [iBegin, iBegin + n): the angles of whole
// panel rows, a chunk at a time, from the angular steps or, for the fast
// mode's direct path, the reduced ratios. Lanes past the last frequency
// take the angles of frequency 0; their sums are never stored.
void fillTwiddlePanels(const KernelTask& task, Index kBegin, Index kCount, Index blockLanes,
                       Index iBegin, Index n, double* cosPanel, double* sinPanel, double* theta) {
    const double* steps = task.angularSteps + iBegin;
    const double* frequencies = task.inputs->frequencies + kBegin;
    const double* ratios = task.reducedRatios != nullptr ? task.reducedRatios + 2 * kBegin : nullptr;
    const Index rowsPerChunk = thetaChunk >= blockLanes ? thetaChunk / blockLanes : 1;
    const Index blocks = (kCount + blockLanes - 1) / blockLanes;
    double laneFrequencies[64], high[64], top[64], bottom[64], low[64];
    Index filled = 0;
    for (Index b = 0; b < blocks; ++b) {
        const Index first = b * blockLanes;
        const Index valid = smaller(blockLanes, kCount - first);
        for (Index l = 0; l < blockLanes; ++l) {
            const bool used = l < valid;
            laneFrequencies[l] = used ? frequencies[first + l] : 0.0;
            high[l] = used && ratios != nullptr ? ratios[2 * (first + l)] : 0.0;
            low[l] = used && ratios != nullptr ? ratios[2 * (first + l) + 1] : 0.0;
            splitHigh(high[l], &top[l], &bottom[l]);
        }
        for (Index row = 0; row < n; row += rowsPerChunk) {
            const Index rows = smaller(rowsPerChunk, n - row);
            for (Index r = 0; r < rows; ++r) {
                double* angles = theta + r * blockLanes;
                if (ratios != nullptr) {
                    const double sample = static_cast<double>(iBegin + row + r);
                    for (Index l = 0; l < blockLanes; ++l) {
                        angles[l] = reducedAngle(high[l], top[l], bottom[l], low[l], sample);
                    }
                    continue;
                }
                const double step = steps[row + r];
                for (Index l = 0; l < blockLanes; ++l) angles[l] = step * laneFrequencies[l];
            }
            batchSinCos(theta, sinPanel + filled, cosPanel + filled, rows * blockLanes);
            filled += rows * blockLanes;
        }
    }
}

Index frequencyLaneWorkspace(const AccumulationPlan& plan) {
    const UnitShape& shape = plan.frequencyLanes;
    const Index blockLanes = Index{frequencyVectors} * lanes;
    const Index panel = panelLength(shape.unitFrequencies, blockLanes, shape.tileLength);
    return 2 * panel + thetaChunk + Index{shape.tileFrames} * shape.tileLength + alignmentSlack;
}

Index frameLaneWorkspace(const AccumulationPlan& plan) {
    if (frameFrequencies < 1) return 0;
    const UnitShape& shape = plan.frameLanes;
    const Index panel = panelLength(shape.unitFrequencies, frameFrequencies, shape.tileLength);
    const SampleColumns layout = sampleColumnsFor(plan.hop, shape.tileFrames, shape.tileLength);
    return 2 * panel + thetaChunk + layout.rows * layout.columns + alignmentSlack;
}

// One tile of frames of one channel as a unit walks it: the twiddle panels
// of the window tile, where the tile lies, and the signal to ask for while
// computing it.
struct FrameTile {
    const double* cosPanel;
    const double* sinPanel;
    double* scratch;  // the orientation's own part of the workspace
    Channel channel;
    Index iBegin, n, jBegin, frames;
    bool fresh;
    SignalRun ahead;
};

// Walks a unit: for each window tile the twiddle panels of its frequencies
// (in blocks of blockLanes), then in every channel, which share them, every
// tile of frames, handed to computeTile. Before each tile of frames it asks
// whether the call must stop, and if so leaves the unit unfinished.
template <typename ComputeTile>
void walkUnit(const KernelTask& task, const UnitRange& unit, const UnitShape& shape, Index blockLanes,
              double* workspace, const ComputeTile& computeTile) {
    const Index L = task.inputs->windowLength;
    const Index kCount = unit.kEnd - unit.kBegin;
    const Index panel = panelLength(kCount, blockLanes, shape.tileLength);
    double* cosPanel = alignedTo64Bytes(workspace);
    double* sinPanel = alignedTo64Bytes(cosPanel + panel);
    double* theta = alignedTo64Bytes(sinPanel + panel);
    FrameTile tile;
    tile.cosPanel = cosPanel;
    tile.sinPanel = sinPanel;
    tile.scratch = theta + thetaChunk;
    for (tile.iBegin = 0; tile.iBegin < L; tile.iBegin += shape.tileLength) {
        tile.n = smaller(shape.tileLength, L - tile.iBegin);
        tile.fresh = tile.iBegin == 0;
        fillTwiddlePanels(task, unit.kBegin, kCount, blockLanes, tile.iBegin, tile.n, cosPanel, sinPanel, theta);
        for (Index c = 0; c < task.channels; ++c) {
            tile.channel = channelOf(task, c);
            for (tile.jBegin = unit.jBegin; tile.jBegin < unit.jEnd; tile.jBegin += shape.tileFrames) {
                if (stopRequested(task.stop)) return;
                tile.frames = smaller(shape.tileFrames, unit.jEnd - tile.jBegin);
                // The next tile's signal streams in over this tile's register
                // blocks instead of stalling its windowing.
                tile.ahead = nextTileRun(task, unit, c, tile.jBegin + tile.frames, shape.tileFrames,
                                         tile.iBegin, tile.n, task.inputs->windowLength);
                computeTile(tile);
            }
        }
    }
}

// The coefficient of frequency k and frame `frame` of the tile's channel,
// in planes whose columns are H rows apart.
double* coefficientAt(const Channel& channel, double* plane, Index H, Index k, Index frame) {
    return plane + (k + frame * H) * channel.step;
}

// Whether a frame-lane tile of the unit reads its samples straight from
// the signal (accumulateDirectGroups) instead of from the table: contiguous
// doubles, at most directFrameFrequencies frequencies, and a window tile of
// whole turns (turnedRows samples).
bool directFrameLanes(const KernelTask& task, const Channel& channel, Index frequencies, Index n) {
    return task.inputs->signalType == SampleType::float64 && channel.sampleBytes == sizeof(double) &&
           frequencies <= smaller(directFrameFrequencies, frameBlockFrequencies) && n % turnedRows == 0;
}

}  // namespace

void accumulateFrequencyLaneUnit(const KernelTask& task, const UnitRange& unit, double* workspace) {
    if (unit.kBegin >= unit.kEnd || unit.jBegin >= unit.jEnd) return;
    const Index H = columnHeightOf(task.planes, task.inputs->frequencyCount);
    const Index blockLanes = Index{frequencyVectors} * lanes;
    walkUnit(task, unit, task.plan.frequencyLanes, blockLanes, workspace, [&](const FrameTile& tile) {
        double* windowed = tile.scratch;
        fillWindowedTile(task, tile.channel, tile.jBegin, tile.frames, tile.iBegin, tile.n, windowed);
        const Index rows = (tile.frames + frequencyFrames - 1) / frequencyFrames;
        RunShares shares = sharesOf(tile.ahead, rows);
        for (Index r = 0; r < tile.frames; r += frequencyFrames) {
            RowTask t;
            t.cosPanel = tile.cosPanel;
            t.sinPanel = tile.sinPanel;
            t.windowed = windowed + r * tile.n;
            t.windowedStride = tile.n;
            t.count = tile.n;
            t.real = coefficientAt(tile.channel, tile.channel.real, H, unit.kBegin, tile.jBegin + r);
            t.imag = coefficientAt(tile.channel, tile.channel.imag, H, unit.kBegin, tile.jBegin + r);
            t.step = tile.channel.step;
            t.column = H;
            t.frequencies = unit.kEnd - unit.kBegin;
            t.fresh = tile.fresh;
            const SignalRun ahead = nextShare(shares);
            t.ahead = ahead.first;
            t.aheadLines = ahead.lines;
            withCount<frequencyFrames>(static_cast<int>(smaller(frequencyFrames, tile.frames - r)),
                                       [&](auto frames) { accumulateFrequencyRow<decltype(frames)::value>(t); });
        }
    });
}

void accumulateFrameLaneUnit(const KernelTask& task, const UnitRange& unit, double* workspace) {
    if (frameFrequencies < 1 || unit.kBegin >= unit.kEnd || unit.jBegin >= unit.jEnd) return;
    const Index H = columnHeightOf(task.planes, task.inputs->frequencyCount);
    const Index frequencies = unit.kEnd - unit.kBegin;
    walkUnit(task, unit, task.plan.frameLanes, frameFrequencies, workspace, [&](const FrameTile& tile) {
        double* table = tile.scratch;
        const SampleColumns layout = sampleColumnsFor(task.hop, tile.frames, tile.n);
        // Sets of whole vectors skip the table where directFrameLanes allows.
        const bool direct = directFrameLanes(task, tile.channel, frequencies, tile.n);
        bool tabled = false;
        const Index groups = (tile.frames + lanes - 1) / lanes;
        const Index sets = (groups + frameVectors - 1) / frameVectors;
        RunShares shares = sharesOf(tile.ahead, sets);
        for (Index g = 0; g < groups; g += frameVectors) {
            const int vectors = static_cast<int>(smaller(frameVectors, groups - g));
            const Index lastLanes = tile.frames - (g + vectors - 1) * lanes;
            const bool straight = direct && lastLanes >= lanes;
            if (!straight && !tabled) {
                fillSampleColumns(task, tile.channel, tile.jBegin, tile.frames, tile.iBegin, tile.n, layout, table);
                tabled = true;
            }
            GroupTask t;
            t.samples = straight ? reinterpret_cast<const double*>(tile.channel.samples) +
                                       (tile.jBegin + g * lanes) * task.hop + tile.iBegin
                                 : table + g * lanes;
            t.layout = layout;
            t.hop = task.hop;
            t.window = task.inputs->window + tile.iBegin;
            t.cosPanel = tile.cosPanel;
            t.sinPanel = tile.sinPanel;
            t.count = tile.n;
            t.real = coefficientAt(tile.channel, tile.channel.real, H, unit.kBegin, tile.jBegin + g * lanes);
            t.imag = coefficientAt(tile.channel, tile.channel.imag, H, unit.kBegin, tile.jBegin + g * lanes);
            t.step = tile.channel.step;
            t.column = H;
            t.frequencies = frequencies;
            t.lastLanes = static_cast<int>(lastLanes < lanes ? lastLanes : lanes);
            t.fresh = tile.fresh;
            const SignalRun ahead = nextShare(shares);
            t.ahead = ahead.first;
            t.aheadLines = ahead.lines;
            if (straight) {
                withCount<frameVectors>(vectors, [&](auto block) { accumulateDirectGroups<decltype(block)::value>(t); });
            } else {
                withCount<frameVectors>(vectors, [&](auto block) { accumulateFrameGroups<decltype(block)::value>(t); });
            }
        }
    });
}

std::int64_t threadWorkspace(const AccumulationPlan& plan) {
    const Index a = frequencyLaneWorkspace(plan);
    const Index b = frameLaneWorkspace(plan);
    return a > b ? a : b;
}
