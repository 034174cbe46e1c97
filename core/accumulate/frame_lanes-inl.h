// Part of the accumulation body (accumulate-inl.h includes it inside its
// unnamed namespace): the frame-lane kernel. Each vector lane is one frame,
// read from the sample table of samples-inl.h; a register block of
// frameVectors vectors by frameFrequencies frequencies shares every sample
// vector.

// Frequencies per frame-lane register block; a set without the kernel
// (frameFrequencies 0) still compiles it, and never calls it.
constexpr int frameBlockFrequencies = frameFrequencies > 0 ? frameFrequencies : 1;

// Units of at most this many frequencies read their samples straight from
// the signal where they can (accumulateDirectGroups below): with one
// frequency the table's stores and reloads cost more than turning every
// sample once per frame that reads it; with two or more the table, whose
// turn serves every frequency, is faster (measured on AMD Zen 4, AVX-512
// and AVX2).
constexpr Index directFrameFrequencies = 1;

// What the register blocks of one set of frame vectors share: the sample
// table from the set's first frame on, the window, the twiddle panels
// (block b of blockLanes frequencies at b * count * blockLanes), the
// coefficient of the first frequency and frame, and signal lines to ask
// for while computing.
struct GroupTask {
    const double* samples;
    SampleColumns layout;
    Index hop;
    const double* window;
    const double* cosPanel;
    const double* sinPanel;
    Index count;  // window samples
    double* real;
    double* imag;
    Index step;
    Index column;
    Index frequencies;
    int lastLanes;  // frames in the last vector
    bool fresh;
    const char* ahead;
    Index aheadLines;
};

// Window samples q * hop + row, row in [begin, end), of a frame-lane
// register block, all with the same shift q: samples at x (one row per
// sample). Asks for signal line row - begin at each when `prefetching`.
template <int vectorCount, int frequencyCount, bool prefetching>
inline __attribute__((always_inline)) void frameSamples(const double* x, Index stride,
                                                         const double* window, const double* cosRows,
                                                         const double* sinRows, Index begin, Index end,
                                                         V (&re)[frequencyCount][vectorCount],
                                                         V (&im)[frequencyCount][vectorCount],
                                                         const char* ahead) {
    constexpr Index blockLanes = frameBlockFrequencies;
    for (Index i = begin; i < end; ++i) {
        if (prefetching) __builtin_prefetch(ahead + (i - begin) * lineBytes, 0, 2);
        V p[vectorCount];
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) p[v] = mulSample(load(x + i * stride + v * lanes), window + i);
#pragma GCC unroll 16
        for (int k = 0; k < frequencyCount; ++k) {
            const double* c = cosRows + i * blockLanes + k;
            const double* s = sinRows + i * blockLanes + k;
#pragma GCC unroll 16
            for (int v = 0; v < vectorCount; ++v) {
                re[k][v] = add(re[k][v], mulSample(p[v], c));
                im[k][v] = sub(im[k][v], mulSample(p[v], s));
            }
        }
    }
}

// The accumulators of a register block: frequencies [first, first +
// frequencyCount) of `vectorCount` vectors of frames, zeros for fresh
// planes, else the sums so far (the last vector holds t.lastLanes frames);
// and storing them back.
template <int vectorCount, int frequencyCount>
inline __attribute__((always_inline)) void loadFrameBlock(const GroupTask& t, Index first,
                                                           V (&re)[frequencyCount][vectorCount],
                                                           V (&im)[frequencyCount][vectorCount]) {
    const Index frameStride = t.column * t.step;
#pragma GCC unroll 16
    for (int k = 0; k < frequencyCount; ++k) {
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) {
            const Index at = (first + k) * t.step + v * lanes * frameStride;
            const int frames = v < vectorCount - 1 ? lanes : t.lastLanes;
            re[k][v] = t.fresh ? zero() : loadStrided(t.real + at, frameStride, frames);
            im[k][v] = t.fresh ? zero() : loadStrided(t.imag + at, frameStride, frames);
        }
    }
}

template <int vectorCount, int frequencyCount>
inline __attribute__((always_inline)) void storeFrameBlock(const GroupTask& t, Index first,
                                                            const V (&re)[frequencyCount][vectorCount],
                                                            const V (&im)[frequencyCount][vectorCount]) {
    const Index frameStride = t.column * t.step;
#pragma GCC unroll 16
    for (int k = 0; k < frequencyCount; ++k) {
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) {
            const Index at = (first + k) * t.step + v * lanes * frameStride;
            const int frames = v < vectorCount - 1 ? lanes : t.lastLanes;
            storeStrided(t.real + at, frameStride, frames, re[k][v]);
            storeStrided(t.imag + at, frameStride, frames, im[k][v]);
        }
    }
}

// The coefficients of `frequencyCount` frequencies from `first` on and
// `vectorCount` vectors of frames over every window sample.
template <int vectorCount, int frequencyCount>
inline __attribute__((always_inline)) void accumulateFrameBlock(const GroupTask& t, Index first,
                                                                 const char* ahead, Index aheadLines) {
    constexpr Index blockLanes = frameBlockFrequencies;
    const double* cosPanel = t.cosPanel + first * t.count;
    const double* sinPanel = t.sinPanel + first * t.count;
    V re[frequencyCount][vectorCount];
    V im[frequencyCount][vectorCount];
    loadFrameBlock(t, first, re, im);
    // The signal lines to ask for, one per window sample from the first
    // on, so that they stream in beside the arithmetic; a burst of them
    // would fill the queue of misses and stall it.
    for (Index q = 0; q <= t.layout.shifts; ++q) {
        const Index i = q * t.hop;
        const Index count = smaller(t.layout.rows, t.count - i);
        const Index asking = smaller(aheadLines, count);
        const double* x = t.samples + q;
        const double* window = t.window + i;
        const double* cosRows = cosPanel + i * blockLanes;
        const double* sinRows = sinPanel + i * blockLanes;
        frameSamples<vectorCount, frequencyCount, true>(x, t.layout.columns, window, cosRows, sinRows, 0,
                                                        asking, re, im, ahead);
        frameSamples<vectorCount, frequencyCount, false>(x, t.layout.columns, window, cosRows, sinRows,
                                                         asking, count, re, im, ahead);
        ahead += asking * lineBytes;
        aheadLines -= asking;
    }
    for (Index l = 0; l < aheadLines; ++l) __builtin_prefetch(ahead + l * lineBytes, 0, 2);
    storeFrameBlock(t, first, re, im);
}

// Every frequency of the unit for `vectorCount` vectors of frames, a
// register block at a time; the last block may have fewer frequencies.
// Out of line: the tile loop stays small, with one call per set of vectors.
template <int vectorCount>
__attribute__((noinline)) void accumulateFrameGroups(const GroupTask& t) {
    constexpr Index blockLanes = frameBlockFrequencies;
    const Index blocks = (t.frequencies + blockLanes - 1) / blockLanes;
    RunShares shares = sharesOf({t.ahead, t.aheadLines}, blocks);
    for (Index first = 0; first < t.frequencies; first += blockLanes) {
        const SignalRun ahead = nextShare(shares);
        if (first + blockLanes <= t.frequencies) {
            accumulateFrameBlock<vectorCount, frameBlockFrequencies>(t, first, ahead.first, ahead.lines);
        } else {
            withCount<frameBlockFrequencies>(static_cast<int>(t.frequencies - first), [&](auto block) {
                accumulateFrameBlock<vectorCount, decltype(block)::value>(t, first, ahead.first, ahead.lines);
            });
        }
    }
}

// The frame-lane kernel without the sample table, for a unit of at most
// directFrameFrequencies frequencies whose signal is contiguous doubles:
// every turnedRows window samples of `lanes` frames are read straight from
// the signal (frames hop apart) and turned in registers (loadColumns), one
// vector per window sample. Each sample is turned once for every frame
// that reads it instead of once per table, but nothing is stored and read
// back, and the shuffles run beside the products on the ports a single
// frequency leaves idle. The same products and sums as frameSamples, in
// the same order: ascending window samples for every coefficient.
// t.samples is frame 0's sample 0 of the set, t.count a whole number of
// turns, and every vector of the set full.
// Window samples [begin, end) (whole turns of turnedRows) of a direct
// register block, x at frame 0's sample 0 of the set; asks for turnedRows
// signal lines from `ahead` on at each turn when `prefetching`.
template <int vectorCount, int frequencyCount, bool prefetching>
inline __attribute__((always_inline)) void directSamples(const GroupTask& t, Index begin, Index end,
                                                          V (&re)[frequencyCount][vectorCount],
                                                          V (&im)[frequencyCount][vectorCount],
                                                          const char* ahead) {
    constexpr Index blockLanes = frameBlockFrequencies;
    for (Index i0 = begin; i0 < end; i0 += turnedRows) {
        if (prefetching) {
#pragma GCC unroll 16
            for (int l = 0; l < turnedRows; ++l) __builtin_prefetch(ahead + l * lineBytes, 0, 2);
            ahead += turnedRows * lineBytes;
        }
        const double* x = t.samples + i0;
        const double* window = t.window + i0;
        const double* cosRows = t.cosPanel + i0 * blockLanes;
        const double* sinRows = t.sinPanel + i0 * blockLanes;
        V columns[vectorCount][turnedRows];
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) loadColumns(x + v * lanes * t.hop, t.hop, columns[v]);
#pragma GCC unroll 16
        for (int r = 0; r < turnedRows; ++r) {
            V p[vectorCount];
#pragma GCC unroll 16
            for (int v = 0; v < vectorCount; ++v) p[v] = mulSample(columns[v][r], window + r);
#pragma GCC unroll 16
            for (int k = 0; k < frequencyCount; ++k) {
#pragma GCC unroll 16
                for (int v = 0; v < vectorCount; ++v) {
                    re[k][v] = add(re[k][v], mulSample(p[v], cosRows + r * blockLanes + k));
                    im[k][v] = sub(im[k][v], mulSample(p[v], sinRows + r * blockLanes + k));
                }
            }
        }
    }
}

template <int vectorCount, int frequencyCount>
inline __attribute__((always_inline)) void accumulateDirectBlock(const GroupTask& t, const char* ahead,
                                                                  Index aheadLines) {
    V re[frequencyCount][vectorCount];
    V im[frequencyCount][vectorCount];
    loadFrameBlock(t, 0, re, im);  // every vector full: t.lastLanes is lanes
    // The next tile's signal, a line per window sample while it lasts, as
    // frameSamples asks for it.
    const Index asking = smaller(aheadLines / turnedRows * turnedRows, t.count);
    directSamples<vectorCount, frequencyCount, true>(t, 0, asking, re, im, ahead);
    directSamples<vectorCount, frequencyCount, false>(t, asking, t.count, re, im, ahead);
    ahead += asking * lineBytes;
    aheadLines -= asking;
    for (Index l = 0; l < aheadLines; ++l) __builtin_prefetch(ahead + l * lineBytes, 0, 2);
    storeFrameBlock(t, 0, re, im);
}

// The unit's frequencies (at most one register block) for `vectorCount`
// full vectors of frames, straight from the signal. Out of line, as
// accumulateFrameGroups.
template <int vectorCount>
__attribute__((noinline)) void accumulateDirectGroups(const GroupTask& t) {
    withCount<frameBlockFrequencies>(static_cast<int>(t.frequencies), [&](auto block) {
        accumulateDirectBlock<vectorCount, decltype(block)::value>(t, t.ahead, t.aheadLines);
    });
}
