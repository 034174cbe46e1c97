// Part of the accumulation body (accumulate-inl.h includes it inside its
// unnamed namespace): the frequency-lane kernel. Each vector lane is one
// frequency; a register block of frequencyVectors vectors by
// frequencyFrames frames shares every twiddle vector it loads, and reads
// the windowed rows of samples-inl.h.

// What the register blocks of one group of frames share: twiddle panels
// (block b of blockLanes frequencies at b * count * blockLanes), windowed
// rows, the first coefficient of the group in the planes (frequencies
// lie `step` doubles apart, frames `column` coefficients apart), and signal
// lines to ask for while computing, one per window sample, so that they
// arrive before they are windowed.
struct RowTask {
    const double* cosPanel;
    const double* sinPanel;
    const double* windowed;
    Index windowedStride;
    Index count;  // window samples
    double* real;
    double* imag;
    Index step;
    Index column;
    Index frequencies;
    bool fresh;
    const char* ahead;
    Index aheadLines;
};

// Window samples [begin, end) of a frequency-lane register block, asking
// for signal line i - begin at sample i when `prefetching`.
template <int vectorCount, int frameCount, bool prefetching>
inline __attribute__((always_inline)) void frequencySamples(const double* cosPanel,
                                                             const double* sinPanel,
                                                             const double* const* rows, Index begin,
                                                             Index end, V (&re)[frameCount][vectorCount],
                                                             V (&im)[frameCount][vectorCount],
                                                             const char* ahead) {
    constexpr Index blockLanes = Index{frequencyVectors} * lanes;
#pragma GCC unroll 2
    for (Index i = begin; i < end; ++i) {
        if (prefetching) __builtin_prefetch(ahead + (i - begin) * lineBytes, 0, 2);
        V c[vectorCount];
        V s[vectorCount];
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) {
            c[v] = load(cosPanel + i * blockLanes + v * lanes);
            s[v] = load(sinPanel + i * blockLanes + v * lanes);
        }
#pragma GCC unroll 16
        for (int r = 0; r < frameCount; ++r) {
#pragma GCC unroll 16
            for (int v = 0; v < vectorCount; ++v) {
                re[r][v] = add(re[r][v], mulSample(c[v], rows[r] + i));
                im[r][v] = sub(im[r][v], mulSample(s[v], rows[r] + i));
            }
        }
    }
}

// The coefficients of `frameCount` frames and `vectorCount` vectors of
// frequencies from frequency `first` of the group on over every window
// sample; the last vector holds `lastLanes` frequencies. Accumulators start
// at +0.0 (fresh) or at the value the previous tile left in the planes.
template <int vectorCount, int frameCount>
inline __attribute__((always_inline)) void accumulateFrequencyBlock(const RowTask& t, Index first,
                                                                     int lastLanes,
                                                                     const char* ahead,
                                                                     Index aheadLines) {
    const double* cosPanel = t.cosPanel + first * t.count;
    const double* sinPanel = t.sinPanel + first * t.count;
    double* real = t.real + first * t.step;
    double* imag = t.imag + first * t.step;
    V re[frameCount][vectorCount];
    V im[frameCount][vectorCount];
#pragma GCC unroll 16
    for (int r = 0; r < frameCount; ++r) {
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) {
            const Index at = (r * t.column + v * lanes) * t.step;
            const int count = v < vectorCount - 1 ? lanes : lastLanes;
            re[r][v] = t.fresh ? zero() : loadCoefficients(real + at, t.step, count);
            im[r][v] = t.fresh ? zero() : loadCoefficients(imag + at, t.step, count);
        }
    }
    // One register per row: the compiler would otherwise form the row
    // addresses anew in every iteration.
    const double* rows[frameCount];
#pragma GCC unroll 16
    for (int r = 0; r < frameCount; ++r) {
        rows[r] = t.windowed + r * t.windowedStride;
        __asm__("" : "+r"(rows[r]));
    }
    // The window samples in two runs: those that also ask for a signal
    // line, then the rest, whose loop has nothing but the arithmetic.
    const Index asking = aheadLines < t.count ? aheadLines : t.count;
    frequencySamples<vectorCount, frameCount, true>(cosPanel, sinPanel, rows, 0, asking, re, im, ahead);
    frequencySamples<vectorCount, frameCount, false>(cosPanel, sinPanel, rows, asking, t.count, re, im, ahead);
#pragma GCC unroll 16
    for (int r = 0; r < frameCount; ++r) {
#pragma GCC unroll 16
        for (int v = 0; v < vectorCount; ++v) {
            const Index at = (r * t.column + v * lanes) * t.step;
            const int count = v < vectorCount - 1 ? lanes : lastLanes;
            storeCoefficients(real + at, t.step, count, re[r][v]);
            storeCoefficients(imag + at, t.step, count, im[r][v]);
        }
    }
}

// Every frequency of the group for `frameCount` frames, a register block
// at a time; the next block's coefficients are asked for while one runs.
// The last block, when partial, has as many vectors as its frequencies
// fill. Out of line: the tile loop stays small, with one call per row.
template <int frameCount>
__attribute__((noinline)) void accumulateFrequencyRow(const RowTask& t) {
    constexpr Index blockLanes = Index{frequencyVectors} * lanes;
    const Index blocks = (t.frequencies + blockLanes - 1) / blockLanes;
    RunShares shares = sharesOf({t.ahead, t.aheadLines}, blocks);
    for (Index first = 0; first < t.frequencies; first += blockLanes) {
        const Index next = first + blockLanes;
        if (next < t.frequencies) {
            const Index nextCount = smaller(blockLanes, t.frequencies - next);
            for (int r = 0; r < frameCount; ++r) {
                const Index at = (next + r * t.column) * t.step;
                prefetchCoefficients(t.real + at, nextCount * t.step, t.fresh);
                prefetchCoefficients(t.imag + at, nextCount * t.step, t.fresh);
            }
        }
        const SignalRun ahead = nextShare(shares);
        if (next <= t.frequencies) {
            accumulateFrequencyBlock<frequencyVectors, frameCount>(t, first, lanes, ahead.first, ahead.lines);
        } else {
            const int valid = static_cast<int>(t.frequencies - first);
            const int vectors = (valid + lanes - 1) / lanes;
            const int lastLanes = valid - (vectors - 1) * lanes;
            withCount<frequencyVectors>(vectors, [&](auto block) {
                accumulateFrequencyBlock<decltype(block)::value, frameCount>(t, first, lastLanes, ahead.first,
                                                                             ahead.lines);
            });
        }
    }
}
