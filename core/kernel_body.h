// The blocked accumulation, written once and compiled once per instruction
// set. A kernel source includes kernels.h and sincos.h, opens its own
// namespace (where kernels.h gives the register block), defines inside an
// unnamed namespace
//   V, lanes                      the vector type and its number of doubles
//   zero, load, broadcast, store  whole-vector moves (no alignment needed)
//   loadFirst, storeFirst         moves of the first n lanes only (other
//                                 lanes read as zero, memory past n untouched)
//   mul, add, sub                 lane-wise rounded double arithmetic
// and then includes this file, which defines accumulateShare. Nothing here
// may use an inline function from a library header: a copy compiled with
// wider instructions could be the one the linker keeps for every caller.
//
// Layouts in the thread's workspace, for one window tile of n samples:
//   twiddle panels  block b of blockLanes frequencies, sample i, lane l at
//                   (b * n + i) * blockLanes + l, cosine and sine apart;
//                   lanes past the last frequency hold the twiddles of
//                   frequency 0
//   windowed tile   frame r of the tile, sample i at r * n + i

namespace {

constexpr int blockLanes = vectorsPerBlock * lanes;

using Index = std::int64_t;

Index smaller(Index a, Index b) { return a < b ? a : b; }

// Doubles per cache line, for prefetching.
constexpr Index lineDoubles = 8;

// The coefficients of `frameCount` frames (rows of `windowed`) and
// `vectorCount` vectors of frequencies over `count` window samples. `fresh`
// starts every accumulator at +0.0, otherwise at the value the previous
// tile left in the planes; the last vector holds `lastLanes` frequencies.
// Meanwhile it asks for `aheadLines` cache lines from `ahead`, one per
// window sample, so that they arrive while the arithmetic runs.
template <int vectorCount, int frameCount>
void accumulateRegisterBlock(const double* cosPanel, const double* sinPanel,
                             const double* windowed, Index windowedStride, Index count,
                             double* real, double* imag, Index frequencyCount, int lastLanes,
                             bool fresh, const double* ahead, Index aheadLines) {
    V re[frameCount][vectorCount];
    V im[frameCount][vectorCount];
#pragma GCC unroll 8
    for (int r = 0; r < frameCount; ++r) {
#pragma GCC unroll 8
        for (int v = 0; v < vectorCount; ++v) {
            const Index at = r * frequencyCount + v * lanes;
            if (fresh) {
                re[r][v] = zero();
                im[r][v] = zero();
            } else if (v < vectorCount - 1 || lastLanes == lanes) {
                re[r][v] = load(real + at);
                im[r][v] = load(imag + at);
            } else {
                re[r][v] = loadFirst(real + at, lastLanes);
                im[r][v] = loadFirst(imag + at, lastLanes);
            }
        }
    }
    for (Index i = 0; i < count; ++i) {
        if (i < aheadLines) __builtin_prefetch(ahead + i * lineDoubles, 0, 2);
        V c[vectorCount];
        V s[vectorCount];
#pragma GCC unroll 8
        for (int v = 0; v < vectorCount; ++v) {
            c[v] = load(cosPanel + i * blockLanes + v * lanes);
            s[v] = load(sinPanel + i * blockLanes + v * lanes);
        }
#pragma GCC unroll 8
        for (int r = 0; r < frameCount; ++r) {
            const V p = broadcast(windowed + r * windowedStride + i);
#pragma GCC unroll 8
            for (int v = 0; v < vectorCount; ++v) {
                re[r][v] = add(re[r][v], mul(p, c[v]));
                im[r][v] = sub(im[r][v], mul(p, s[v]));
            }
        }
    }
#pragma GCC unroll 8
    for (int r = 0; r < frameCount; ++r) {
#pragma GCC unroll 8
        for (int v = 0; v < vectorCount; ++v) {
            const Index at = r * frequencyCount + v * lanes;
            if (v < vectorCount - 1 || lastLanes == lanes) {
                store(real + at, re[r][v]);
                store(imag + at, im[r][v]);
            } else {
                storeFirst(real + at, re[r][v], lastLanes);
                storeFirst(imag + at, im[r][v], lastLanes);
            }
        }
    }
}

using RegisterBlock = void (*)(const double*, const double*, const double*, Index, Index, double*,
                               double*, Index, int, bool, const double*, Index);

template <int vectorCount, int frameCount>
RegisterBlock registerBlockForFrames(int frames) {
    if constexpr (frameCount == 1) {
        return &accumulateRegisterBlock<vectorCount, 1>;
    } else {
        return frames == frameCount ? &accumulateRegisterBlock<vectorCount, frameCount>
                                    : registerBlockForFrames<vectorCount, frameCount - 1>(frames);
    }
}

template <int vectorCount>
RegisterBlock registerBlockFor(int vectors, int frames) {
    if constexpr (vectorCount == 1) {
        return registerBlockForFrames<1, framesPerBlock>(frames);
    } else {
        return vectors == vectorCount
                   ? registerBlockForFrames<vectorCount, framesPerBlock>(frames)
                   : registerBlockFor<vectorCount - 1>(vectors, frames);
    }
}

// Twiddle panels of frequencies [kBegin, kBegin + kCount) for window samples
// [iBegin, iBegin + n): the angles of whole panel rows, a chunk at a time.
// Lanes past the last frequency take the angles of frequency 0; their sums
// are never stored.
void fillTwiddlePanels(const KernelTask& task, Index kBegin, Index kCount, Index iBegin, Index n,
                       double* cosPanel, double* sinPanel, double* theta) {
    const double* steps = task.angularSteps + iBegin;
    const double* frequencies = task.inputs->frequencies + kBegin;
    const Index rowsPerChunk = task.geometry.thetaChunk >= blockLanes
                                   ? task.geometry.thetaChunk / blockLanes
                                   : 1;
    const Index blocks = (kCount + blockLanes - 1) / blockLanes;
    Index filled = 0;
    for (Index b = 0; b < blocks; ++b) {
        const Index first = b * blockLanes;
        const Index valid = smaller(blockLanes, kCount - first);
        double laneFrequencies[blockLanes];
        for (Index l = 0; l < blockLanes; ++l) laneFrequencies[l] = l < valid ? frequencies[first + l] : 0.0;
        for (Index row = 0; row < n; row += rowsPerChunk) {
            const Index rows = smaller(rowsPerChunk, n - row);
            for (Index r = 0; r < rows; ++r) {
                const double step = steps[row + r];
                for (Index l = 0; l < blockLanes; ++l) theta[r * blockLanes + l] = step * laneFrequencies[l];
            }
            fillSinCos(task.set, theta, sinPanel + filled, cosPanel + filled, rows * blockLanes);
            filled += rows * blockLanes;
        }
    }
}

// signal * window for frames [jBegin, jBegin + frames) and window samples
// [iBegin, iBegin + n).
void fillWindowedTile(const KernelTask& task, Index jBegin, Index frames, Index iBegin, Index n,
                      double* windowed) {
    const double* window = task.inputs->window + iBegin;
    for (Index r = 0; r < frames; ++r) {
        const double* frame = task.inputs->signal + (jBegin + r) * task.hop + iBegin;
        double* out = windowed + r * n;
        Index i = 0;
        for (; i + lanes <= n; i += lanes) store(out + i, mul(load(frame + i), load(window + i)));
        for (; i < n; ++i) out[i] = frame[i] * window[i];
    }
}

// The signal samples that the next windowed tile will read, when they form
// one run (frames overlap or touch): otherwise nothing is prefetched.
struct SignalRun {
    const double* first;
    Index lines;
};

SignalRun nextTileRun(const KernelTask& task, Index kBegin, Index kCount, Index jBegin,
                      Index frames, Index iBegin, Index n) {
    const ThreadShare& share = task.share;
    const TileGeometry& g = task.geometry;
    const Index L = task.inputs->windowLength;
    SignalRun run = {task.inputs->signal, 0};
    // After the last frames of a block come its first frames, for the next
    // block or, after the last block, for the next window tile.
    Index nextFrame = jBegin + frames;
    Index nextSample = iBegin;
    if (nextFrame >= share.jEnd) {
        nextFrame = share.jBegin;
        if (kBegin + kCount >= share.kEnd) nextSample = iBegin + n;
    }
    if (nextSample >= L || task.hop > g.tileLength) return run;
    const Index lastFrame = smaller(nextFrame + g.tileFrames, share.jEnd) - 1;
    const Index begin = nextFrame * task.hop + nextSample;
    const Index end = lastFrame * task.hop + nextSample + smaller(g.tileLength, L - nextSample);
    run.first = task.inputs->signal + begin;
    run.lines = (end - begin + lineDoubles - 1) / lineDoubles;
    return run;
}

double* alignedTo64Bytes(double* p) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p);
    return p + ((64 - address % 64) % 64) / sizeof(double);
}

}  // namespace

void accumulateShare(const KernelTask& task) {
    const ThreadShare& share = task.share;
    if (share.kBegin >= share.kEnd || share.jBegin >= share.jEnd) return;
    const TileGeometry& g = task.geometry;
    const Index L = task.inputs->windowLength;
    const Index K = task.inputs->frequencyCount;

    double* cosPanel = alignedTo64Bytes(task.workspace);
    double* sinPanel = cosPanel + Index{g.blockFrequencies} * g.tileLength;
    double* theta = sinPanel + Index{g.blockFrequencies} * g.tileLength;
    double* windowed = theta + g.thetaChunk;

    for (Index iBegin = 0; iBegin < L; iBegin += g.tileLength) {
        const Index n = smaller(g.tileLength, L - iBegin);
        const bool fresh = iBegin == 0;
        for (Index kBegin = share.kBegin; kBegin < share.kEnd; kBegin += g.blockFrequencies) {
            const Index kCount = smaller(g.blockFrequencies, share.kEnd - kBegin);
            fillTwiddlePanels(task, kBegin, kCount, iBegin, n, cosPanel, sinPanel, theta);
            for (Index jBegin = share.jBegin; jBegin < share.jEnd; jBegin += g.tileFrames) {
                const Index frames = smaller(g.tileFrames, share.jEnd - jBegin);
                fillWindowedTile(task, jBegin, frames, iBegin, n, windowed);
                // The next tile's signal streams in over this tile's
                // register blocks instead of stalling its windowing.
                const SignalRun ahead = nextTileRun(task, kBegin, kCount, jBegin, frames, iBegin, n);
                const Index registerBlocks = ((frames + framesPerBlock - 1) / framesPerBlock) *
                                             ((kCount + blockLanes - 1) / blockLanes);
                const Index linesPerBlock = (ahead.lines + registerBlocks - 1) / registerBlocks;
                Index linesAsked = 0;
                for (Index r = 0; r < frames; r += framesPerBlock) {
                    const int blockFrames = static_cast<int>(smaller(framesPerBlock, frames - r));
                    const Index column = (jBegin + r) * K;
                    for (Index first = 0; first < kCount; first += blockLanes) {
                        const int valid = static_cast<int>(smaller(blockLanes, kCount - first));
                        const int vectors = (valid + lanes - 1) / lanes;
                        const int lastLanes = valid - (vectors - 1) * lanes;
                        const Index panel = first * n;
                        const Index at = kBegin + first + column;
                        registerBlockFor<vectorsPerBlock>(vectors, blockFrames)(
                            cosPanel + panel, sinPanel + panel, windowed + r * n, n, n,
                            task.planes.real + at, task.planes.imag + at, K, lastLanes, fresh,
                            ahead.first + linesAsked * lineDoubles,
                            smaller(linesPerBlock, ahead.lines - linesAsked));
                        linesAsked = smaller(linesAsked + linesPerBlock, ahead.lines);
                    }
                }
            }
        }
    }
}
