// Part of the accumulation body, included last by accumulate-inl.h: frame
// lanes for frequencies with their own windows (a call with a window for
// each frequency, its runs of consecutive distinct windows). Frequency k's
// window w_k has L_k samples and starts d_k = floor((L - L_k) / 2) samples
// into each frame of the call (L the longest window), so it covers the
// frame positions [d_k, d_k + L_k). A register block of up to
// ownFrameFrequencies such frequencies by ownFrameVectors vectors of frames
// (each set's own shape, as its window products change the best one)
// shares one table of raw samples (samples-inl.h) over the positions its
// windows cover, and each coefficient keeps the plain call's arithmetic
// with its own window: p = x * w_k(n), then p * cos and p * sin, summed
// from +0.0 in ascending n, with n (and so the twiddles' phase) counted
// from that window's own first sample.
//
// Two windows' ranges are nested (the longer one's contains the shorter
// one's), so with a block's lanes sorted longest window first, the
// frequencies whose windows cover a frame position are always the first
// lanes. A block walks its positions in pieces over which their number
// stays the same and computes only those lanes: no frequency ever
// multiplies a sample outside its window. Its panel (for each position the
// window samples, cosines and sines of its lanes side by side) is filled
// once per window tile, like the twiddles of the other kernels. Defines the set's entry points accumulateOwnWindowUnit
// and ownWindowWorkspace.

namespace {

// Frequencies per own-window register block; a set without frame lanes
// still compiles the kernel, and never calls it.
constexpr int ownBlockLanes = frameFrequencies > 0 ? ownFrameFrequencies : 1;

// The frequencies of one register block, longest window first (equal
// lengths in call order): for each lane its row in the planes, frequency,
// window and the frame positions [begin, end) that window covers.
struct OwnBlock {
    int count;
    Index row[ownBlockLanes];
    double frequency[ownBlockLanes];
    const double* window[ownBlockLanes];
    Index begin[ownBlockLanes];
    Index end[ownBlockLanes];
};

OwnBlock ownBlockOf(const AnalysisInputs& in, Index first, int count) {
    OwnBlock block;
    block.count = count;
    for (int l = 0; l < count; ++l) {
        const Index k = first + l;
        const Index length = in.windowLengths[k];
        int at = l;
        for (; at > 0 && block.end[at - 1] - block.begin[at - 1] < length; --at) {
            block.row[at] = block.row[at - 1];
            block.frequency[at] = block.frequency[at - 1];
            block.window[at] = block.window[at - 1];
            block.begin[at] = block.begin[at - 1];
            block.end[at] = block.end[at - 1];
        }
        block.row[at] = k;
        block.frequency[at] = in.frequencies[k];
        block.window[at] = in.windows[k];
        block.begin[at] = (Index{in.windowLength} - length) / 2;
        block.end[at] = block.begin[at] + length;
    }
    return block;
}

// The lanes whose windows cover frame position m (the first ones).
int coveringLanes(const OwnBlock& block, Index m) {
    int lanesCovering = 0;
    while (lanesCovering < block.count && block.begin[lanesCovering] <= m && m < block.end[lanesCovering]) {
        ++lanesCovering;
    }
    return lanesCovering;
}

// The lanes whose windows meet positions [from, to) (the first ones).
int meetingLanes(const OwnBlock& block, Index from, Index to) {
    int meeting = 0;
    while (meeting < block.count && block.begin[meeting] < to && block.end[meeting] > from) ++meeting;
    return meeting;
}

// The first position after m, up to `limit`, where a window of the block
// starts or ends.
Index nextWindowEdge(const OwnBlock& block, Index m, Index limit) {
    for (int l = 0; l < block.count; ++l) {
        const Index edge = block.begin[l] > m ? block.begin[l] : block.end[l];
        if (edge > m && edge < limit) limit = edge;
    }
    return limit;
}

// A panel row: the window samples, cosines and sines of a block's lanes.
constexpr Index ownRowLength = 3 * Index{ownBlockLanes};

// Rows [from, to) - iBegin of a block's panel (row r: frame position
// iBegin + r): each lane's window sample and twiddles where its window
// covers the position, zeros (never used) elsewhere. `scratch` holds three
// chunks of angles.
void fillOwnPanel(const KernelTask& task, const OwnBlock& block, Index iBegin, Index from, Index to,
                  double* panel, double* scratch) {
    constexpr Index blockLanes = ownBlockLanes;
    constexpr Index rowsPerChunk = thetaChunk / blockLanes;
    double* theta = scratch;
    double* sine = scratch + thetaChunk;
    double* cosine = sine + thetaChunk;
    // The fast mode's direct path: phases from the reduced ratios (indexed
    // by frequency) instead of the angular steps.
    const double* ratios = task.reducedRatios;
    double high[blockLanes], top[blockLanes], bottom[blockLanes], low[blockLanes];
    for (int l = 0; l < blockLanes; ++l) {
        const bool used = l < block.count && ratios != nullptr;
        high[l] = used ? ratios[2 * block.row[l]] : 0.0;
        low[l] = used ? ratios[2 * block.row[l] + 1] : 0.0;
        splitHigh(high[l], &top[l], &bottom[l]);
    }
    for (Index m0 = from; m0 < to; m0 += rowsPerChunk) {
        const Index rows = smaller(rowsPerChunk, to - m0);
        for (Index r = 0; r < rows; ++r) {
            const Index m = m0 + r;
            double* row = panel + (m - iBegin) * ownRowLength;
            for (int l = 0; l < blockLanes; ++l) {
                const bool covered = l < block.count && block.begin[l] <= m && m < block.end[l];
                const Index n = covered ? m - block.begin[l] : 0;
                const double angle = ratios != nullptr
                                         ? reducedAngle(high[l], top[l], bottom[l], low[l], static_cast<double>(n))
                                         : task.angularSteps[n] * block.frequency[l];
                theta[r * blockLanes + l] = covered ? angle : 0.0;
                row[l] = covered ? block.window[l][n] : 0.0;
            }
        }
        batchSinCos(theta, sine, cosine, rows * blockLanes);
        for (Index r = 0; r < rows; ++r) {
            double* row = panel + (m0 + r - iBegin) * ownRowLength;
            for (int l = 0; l < blockLanes; ++l) {
                row[blockLanes + l] = cosine[r * blockLanes + l];
                row[2 * blockLanes + l] = sine[r * blockLanes + l];
            }
        }
    }
}

// What one register block reads and writes for one set of frame vectors:
// the table from the set's first frame on (row 0 at frame position
// iBegin), the block's panel (row 0 at iBegin), the positions [from, to)
// it computes in this tile, the coefficient of row 0 and the set's first
// frame, and signal lines to ask for while computing.
struct OwnTask {
    const double* samples;
    SampleColumns layout;
    Index hop;
    Index iBegin;
    const double* panel;
    Index from, to;
    double* real;
    double* imag;
    Index step;
    Index frameStride;  // between the coefficients of consecutive frames
    int lastLanes;      // frames in the last vector
    const char* ahead;
    Index aheadLines;
};

// Table rows [begin, end) of one shift for the first `covering` lanes of a
// block (their windows cover every position here): samples from x on,
// panel rows from `rows` on, both advanced one row per table row. Asks for
// signal line i at the i-th row when `prefetching`.
template <int vectorCount, int covering, bool prefetching>
inline __attribute__((always_inline)) void ownRows(const double* x, Index stride, const double* rows, Index count,
                                                    V (&re)[ownBlockLanes][vectorCount],
                                                    V (&im)[ownBlockLanes][vectorCount], const char* ahead) {
    constexpr Index blockLanes = ownBlockLanes;
    for (Index i = 0; i < count; ++i) {
        if (prefetching) __builtin_prefetch(ahead + i * lineBytes, 0, 2);
        V s[vectorCount];
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) s[v] = load(x + v * lanes);
#pragma GCC unroll 16
        for (int k = 0; k < covering; ++k) {
#pragma GCC unroll 16
            for (int v = 0; v < vectorCount; ++v) {
                const V p = mulSample(s[v], rows + k);
                re[k][v] = add(re[k][v], mulSample(p, rows + blockLanes + k));
                im[k][v] = sub(im[k][v], mulSample(p, rows + 2 * blockLanes + k));
            }
        }
        x += stride;
        rows += ownRowLength;
    }
}

// Positions [from, to) for the first `covering` lanes, shift by shift of
// the table, the first rows asking for the signal lines still to ask for.
template <int vectorCount, int covering>
inline __attribute__((always_inline)) void ownPositions(const OwnTask& t, Index from, Index to,
                                                         V (&re)[ownBlockLanes][vectorCount],
                                                         V (&im)[ownBlockLanes][vectorCount], const char*& ahead,
                                                         Index& aheadLines) {
    for (Index at = from - t.iBegin; at < to - t.iBegin;) {
        const Index q = at / t.hop;
        const Index row = at - q * t.hop;
        const Index rows = smaller(to - t.iBegin, (q + 1) * t.hop) - at;
        const Index asking = smaller(aheadLines, rows);
        const double* x = t.samples + q + row * t.layout.columns;
        const double* panelRows = t.panel + at * ownRowLength;
        ownRows<vectorCount, covering, true>(x, t.layout.columns, panelRows, asking, re, im, ahead);
        ownRows<vectorCount, covering, false>(x + asking * t.layout.columns, t.layout.columns,
                                              panelRows + asking * ownRowLength, rows - asking, re, im, ahead);
        ahead += asking * lineBytes;
        aheadLines -= asking;
        at += rows;
    }
}

// ownPositions with `covering` known only at run time, 1 <= covering <= most.
template <int vectorCount, int most>
inline __attribute__((always_inline)) void ownPositionsFor(int covering, const OwnTask& t, Index from, Index to,
                                                            V (&re)[ownBlockLanes][vectorCount],
                                                            V (&im)[ownBlockLanes][vectorCount],
                                                            const char*& ahead, Index& aheadLines) {
    if constexpr (most > 1) {
        if (covering < most) {
            ownPositionsFor<vectorCount, most - 1>(covering, t, from, to, re, im, ahead, aheadLines);
            return;
        }
    }
    ownPositions<vectorCount, most>(t, from, to, re, im, ahead, aheadLines);
}

// The block's coefficients over positions [t.from, t.to): each lane whose
// window meets them starts from +0.0 where its window starts, else from
// the sum the planes hold, and is stored back.
template <int vectorCount>
inline __attribute__((always_inline)) void accumulateOwnBlock(const OwnTask& t, const OwnBlock& block) {
    V re[ownBlockLanes][vectorCount];
    V im[ownBlockLanes][vectorCount];
    const int meeting = meetingLanes(block, t.from, t.to);
#pragma GCC unroll 16
    for (int k = 0; k < ownBlockLanes; ++k) {
        const bool fresh = k >= meeting || block.begin[k] >= t.from;
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) {
            const Index at = block.row[k < meeting ? k : 0] * t.step + v * lanes * t.frameStride;
            const int frames = v < vectorCount - 1 ? lanes : t.lastLanes;
            re[k][v] = fresh ? zero() : loadStrided(t.real + at, t.frameStride, frames);
            im[k][v] = fresh ? zero() : loadStrided(t.imag + at, t.frameStride, frames);
        }
    }
    const char* ahead = t.ahead;
    Index aheadLines = t.aheadLines;
    for (Index m = t.from; m < t.to;) {
        const Index next = nextWindowEdge(block, m, t.to);
        ownPositionsFor<vectorCount, ownBlockLanes>(coveringLanes(block, m), t, m, next, re, im, ahead, aheadLines);
        m = next;
    }
    for (Index l = 0; l < aheadLines; ++l) __builtin_prefetch(ahead + l * lineBytes, 0, 2);
#pragma GCC unroll 16
    for (int k = 0; k < ownBlockLanes; ++k) {
        if (k >= meeting) break;
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) {
            const Index at = block.row[k] * t.step + v * lanes * t.frameStride;
            const int frames = v < vectorCount - 1 ? lanes : t.lastLanes;
            storeStrided(t.real + at, t.frameStride, frames, re[k][v]);
            storeStrided(t.imag + at, t.frameStride, frames, im[k][v]);
        }
    }
}

// Every block of a unit over window tile [iBegin, iBegin + n) for one set
// of `vectorCount` frame vectors; block b's panel lies b * n rows on.
// Out of line: one copy per number of vectors.
template <int vectorCount>
__attribute__((noinline)) void accumulateOwnGroups(const OwnTask& set, const OwnBlock* blocks, int blockCount,
                                                   Index n) {
    RunShares shares = sharesOf({set.ahead, set.aheadLines}, blockCount);
    for (int b = 0; b < blockCount; ++b) {
        const SignalRun ahead = nextShare(shares);
        OwnTask t = set;
        t.from = blocks[b].begin[0] > set.iBegin ? blocks[b].begin[0] : set.iBegin;
        t.to = smaller(blocks[b].end[0], set.iBegin + n);
        if (t.from >= t.to) {
            for (Index l = 0; l < ahead.lines; ++l) __builtin_prefetch(ahead.first + l * lineBytes, 0, 2);
            continue;
        }
        t.panel += b * n * ownRowLength;
        t.ahead = ahead.first;
        t.aheadLines = ahead.lines;
        accumulateOwnBlock<vectorCount>(t, blocks[b]);
    }
}

// The most frequencies a unit walks at once: more are walked in turn.
constexpr Index ownUnitFrequencies = Index{maxOwnWindowBlocks} * ownBlockLanes;

// Doubles of the panels of that many frequencies for tiles of up to
// tileLength positions.
Index ownPanelsLength(Index tileLength) { return Index{maxOwnWindowBlocks} * ownRowLength * tileLength; }

// Frequencies [kBegin, kEnd) (at most ownUnitFrequencies) and frames
// [jBegin, jEnd) of a unit: window tile by window tile over the positions
// the windows cover (their panels first), then channel by channel and
// tile of frames by tile of frames, asking before each whether to stop.
// Returns false once told to stop.
bool walkOwnWindows(const KernelTask& task, const UnitRange& unit, double* workspace) {
    const AnalysisInputs& in = *task.inputs;
    const UnitShape& shape = task.plan.frameLanes;
    const Index H = columnHeightOf(task.planes, in.frequencyCount);
    OwnBlock blocks[maxOwnWindowBlocks];
    int blockCount = 0;
    Index uBegin = in.windowLength, uEnd = 0;
    for (Index k = unit.kBegin; k < unit.kEnd; k += ownBlockLanes) {
        OwnBlock& block = blocks[blockCount++];
        block = ownBlockOf(in, k, static_cast<int>(smaller(ownBlockLanes, unit.kEnd - k)));
        if (block.begin[0] < uBegin) uBegin = block.begin[0];
        if (block.end[0] > uEnd) uEnd = block.end[0];
    }
    // Tiles of equal length, at most shape.tileLength positions.
    const Index tiles = (uEnd - uBegin + shape.tileLength - 1) / shape.tileLength;
    const Index tileLength = (uEnd - uBegin + tiles - 1) / tiles;
    double* panels = alignedTo64Bytes(workspace);
    double* scratch = alignedTo64Bytes(panels + ownPanelsLength(shape.tileLength));
    double* table = scratch + 3 * thetaChunk;
    for (Index iBegin = uBegin; iBegin < uEnd; iBegin += tileLength) {
        const Index n = smaller(tileLength, uEnd - iBegin);
        for (int b = 0; b < blockCount; ++b) {
            const Index from = blocks[b].begin[0] > iBegin ? blocks[b].begin[0] : iBegin;
            const Index to = smaller(blocks[b].end[0], iBegin + n);
            if (from < to) fillOwnPanel(task, blocks[b], iBegin, from, to, panels + b * n * ownRowLength, scratch);
        }
        for (Index c = 0; c < task.channels; ++c) {
            const Channel channel = channelOf(task, c);
            for (Index jBegin = unit.jBegin; jBegin < unit.jEnd; jBegin += shape.tileFrames) {
                if (stopRequested(task.stop)) return false;
                const Index frames = smaller(shape.tileFrames, unit.jEnd - jBegin);
                const SignalRun ahead =
                    nextTileRun(task, unit, c, jBegin + frames, shape.tileFrames, iBegin, n, uEnd);
                const SampleColumns layout = sampleColumnsFor(task.hop, frames, n);
                fillSampleColumns(task, channel, jBegin, frames, iBegin, n, layout, table);
                const Index groups = (frames + lanes - 1) / lanes;
                RunShares shares = sharesOf(ahead, (groups + ownFrameVectors - 1) / ownFrameVectors);
                for (Index g = 0; g < groups; g += ownFrameVectors) {
                    const int vectors = static_cast<int>(smaller(ownFrameVectors, groups - g));
                    const Index lastLanes = frames - (g + vectors - 1) * lanes;
                    const SignalRun share = nextShare(shares);
                    OwnTask t;
                    t.samples = table + g * lanes;
                    t.layout = layout;
                    t.hop = task.hop;
                    t.iBegin = iBegin;
                    t.panel = panels;
                    t.from = t.to = iBegin;
                    t.real = channel.real + (jBegin + g * lanes) * H * channel.step;
                    t.imag = channel.imag + (jBegin + g * lanes) * H * channel.step;
                    t.step = channel.step;
                    t.frameStride = H * channel.step;
                    t.lastLanes = static_cast<int>(lastLanes < lanes ? lastLanes : lanes);
                    t.ahead = share.first;
                    t.aheadLines = share.lines;
                    withCount<ownFrameVectors>(vectors, [&](auto block) {
                        accumulateOwnGroups<decltype(block)::value>(t, blocks, blockCount, n);
                    });
                }
            }
        }
    }
    return true;
}

}  // namespace

void accumulateOwnWindowUnit(const KernelTask& task, const UnitRange& unit, double* workspace) {
    if (frameFrequencies < 1 || unit.kBegin >= unit.kEnd || unit.jBegin >= unit.jEnd) return;
    for (Index k = unit.kBegin; k < unit.kEnd; k += ownUnitFrequencies) {
        UnitRange part = unit;
        part.kBegin = static_cast<std::int32_t>(k);
        part.kEnd = static_cast<std::int32_t>(smaller(k + ownUnitFrequencies, unit.kEnd));
        if (!walkOwnWindows(task, part, workspace)) return;
    }
}

std::int64_t ownWindowWorkspace(const AccumulationPlan& plan) {
    if (frameFrequencies < 1) return 0;
    const UnitShape& shape = plan.frameLanes;
    const SampleColumns layout = sampleColumnsFor(plan.hop, shape.tileFrames, shape.tileLength);
    return ownPanelsLength(shape.tileLength) + 3 * thetaChunk + layout.rows * layout.columns + alignmentSlack;
}
