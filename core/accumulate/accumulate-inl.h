// The blocked accumulation, written once and compiled once per instruction
// set (scalar.cpp, avx2.cpp, avx512.cpp beside it). Such a source includes
// accumulate/kernels.h, opens its own namespace and defines inside an
// unnamed namespace
//   V, lanes                       the vector type and its number of doubles
//   frequencyVectors, frequencyFrames, frameVectors, frameFrequencies
//                                  the register blocks (see KernelSet)
//   zero, load, store              whole-vector moves (no alignment needed)
//   loadFirst, storeFirst          moves of the first n lanes only (other
//                                  lanes read as zero, memory past n untouched)
//   mul, add, sub                  lane-wise rounded double arithmetic
//   mulSample(v, p)                v * broadcast(*p), rounded
//   storeColumns(first, hop, out, stride)
//                                  samples 0 .. lanes-1 of lanes frames hop
//                                  apart, one vector per sample (frames in
//                                  lanes), sample i's at out + i * stride
//   batchSinCos                    the set's sine-cosine routine
// and then includes this file, which defines accumulateFrequencyLaneUnit
// and accumulateFrameLaneUnit. Nothing here may use an inline function
// from a library header: a copy compiled with wider instructions could be
// the one the linker keeps for every caller.
//
// Layouts in the thread's workspace, for one window tile of n samples:
//   twiddle panels  block b of blockLanes frequencies, sample i, lane l at
//                   (b * n + i) * blockLanes + l, cosine and sine apart;
//                   lanes past the last frequency hold the twiddles of
//                   frequency 0 (blockLanes is frequencyVectors * lanes for
//                   frequency lanes, frameFrequencies for frame lanes)
//   windowed tile   frequency lanes: frame r, sample i at r * n + i
//   sample table    frame lanes: raw samples, see SampleColumns

namespace {

using Index = std::int64_t;

Index smaller(Index a, Index b) { return a < b ? a : b; }

double* alignedTo64Bytes(double* p) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p);
    return p + ((64 - address % 64) % 64) / sizeof(double);
}

// Doubles of workspace beyond the panels and the tile: the angles passed to
// the sine-cosine routine at once, and slack for the alignment of each part.
constexpr Index thetaChunk = 1024;
constexpr Index alignmentSlack = 3 * 8;

// `count` consecutive coefficients (at most lanes) of one plane with the
// given step; the other lanes read as zero.
V loadCoefficients(const double* plane, Index step, int count) {
    if (step == 1) return count == lanes ? load(plane) : loadFirst(plane, count);
    double buffer[lanes] = {};
    for (int l = 0; l < count; ++l) buffer[l] = plane[l * step];
    return load(buffer);
}

void storeCoefficients(double* plane, Index step, int count, V value) {
    if (step == 1) {
        if (count == lanes) {
            store(plane, value);
        } else {
            storeFirst(plane, value, count);
        }
        return;
    }
    double buffer[lanes];
    store(buffer, value);
    for (int l = 0; l < count; ++l) plane[l * step] = buffer[l];
}

// The same for `count` coefficients that lie `stride` elements apart (the
// frames of one frequency).
V loadStrided(const double* plane, Index stride, int count) {
    double buffer[lanes] = {};
    for (int l = 0; l < count; ++l) buffer[l] = plane[l * stride];
    return load(buffer);
}

void storeStrided(double* plane, Index stride, int count, V value) {
    double buffer[lanes];
    store(buffer, value);
    for (int l = 0; l < count; ++l) plane[l * stride] = buffer[l];
}

// ---- frequency lanes ----------------------------------------------------

// Bytes per cache line, for prefetching.
constexpr Index lineBytes = 64;

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

// Asks for the cache lines of `count` coefficients from p on, to be written
// (fresh) or read and written.
void prefetchCoefficients(const double* p, Index count, bool fresh) {
    const double* last = p + count - 1;
    if (fresh) {
        __builtin_prefetch(p, 1, 3);
        __builtin_prefetch(last, 1, 3);
    } else {
        __builtin_prefetch(p, 0, 3);
        __builtin_prefetch(last, 0, 3);
    }
}

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

// The last, partial block of frequencies: `vectors` vectors.
template <int vectorCount, int frameCount>
void accumulateFrequencyTail(const RowTask& t, Index first, int vectors, int lastLanes,
                             const char* ahead, Index aheadLines) {
    if constexpr (vectorCount == 1) {
        accumulateFrequencyBlock<1, frameCount>(t, first, lastLanes, ahead, aheadLines);
    } else if (vectors == vectorCount) {
        accumulateFrequencyBlock<vectorCount, frameCount>(t, first, lastLanes, ahead, aheadLines);
    } else {
        accumulateFrequencyTail<vectorCount - 1, frameCount>(t, first, vectors, lastLanes, ahead, aheadLines);
    }
}

// Every frequency of the group for `frameCount` frames, a register block
// at a time; the next block's coefficients are asked for while one runs.
template <int frameCount>
void accumulateFrequencyRow(const RowTask& t) {
    constexpr Index blockLanes = Index{frequencyVectors} * lanes;
    const Index blocks = (t.frequencies + blockLanes - 1) / blockLanes;
    const Index linesPerBlock = (t.aheadLines + blocks - 1) / blocks;
    Index asked = 0;
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
        const Index lines = smaller(linesPerBlock, t.aheadLines - asked);
        const char* ahead = t.ahead + asked * lineBytes;
        asked += lines;
        if (next <= t.frequencies) {
            accumulateFrequencyBlock<frequencyVectors, frameCount>(t, first, lanes, ahead, lines);
        } else {
            const int valid = static_cast<int>(t.frequencies - first);
            const int vectors = (valid + lanes - 1) / lanes;
            accumulateFrequencyTail<frequencyVectors, frameCount>(t, first, vectors,
                                                                  valid - (vectors - 1) * lanes, ahead,
                                                                  lines);
        }
    }
}

using FrequencyRow = void (*)(const RowTask&);

template <int frameCount>
FrequencyRow frequencyRowFor(int frames) {
    if constexpr (frameCount == 1) {
        return &accumulateFrequencyRow<1>;
    } else {
        return frames == frameCount ? &accumulateFrequencyRow<frameCount>
                                    : frequencyRowFor<frameCount - 1>(frames);
    }
}

// Twiddle panels of frequencies [kBegin, kBegin + kCount) in blocks of
// blockLanes, for window samples [iBegin, iBegin + n): the angles of whole
// panel rows, a chunk at a time. Lanes past the last frequency take the
// angles of frequency 0; their sums are never stored.
void fillTwiddlePanels(const KernelTask& task, Index kBegin, Index kCount, Index blockLanes,
                       Index iBegin, Index n, double* cosPanel, double* sinPanel, double* theta) {
    const double* steps = task.angularSteps + iBegin;
    const double* frequencies = task.inputs->frequencies + kBegin;
    const Index rowsPerChunk = thetaChunk >= blockLanes ? thetaChunk / blockLanes : 1;
    const Index blocks = (kCount + blockLanes - 1) / blockLanes;
    double laneFrequencies[64];
    Index filled = 0;
    for (Index b = 0; b < blocks; ++b) {
        const Index first = b * blockLanes;
        const Index valid = smaller(blockLanes, kCount - first);
        for (Index l = 0; l < blockLanes; ++l) laneFrequencies[l] = l < valid ? frequencies[first + l] : 0.0;
        for (Index row = 0; row < n; row += rowsPerChunk) {
            const Index rows = smaller(rowsPerChunk, n - row);
            for (Index r = 0; r < rows; ++r) {
                const double step = steps[row + r];
                for (Index l = 0; l < blockLanes; ++l) theta[r * blockLanes + l] = step * laneFrequencies[l];
            }
            batchSinCos(theta, sinPanel + filled, cosPanel + filled, rows * blockLanes);
            filled += rows * blockLanes;
        }
    }
}

// One real channel of the signal (a channel's real or imaginary parts) and
// where its coefficients go.
struct Channel {
    const char* samples;  // its sample 0
    Index sampleBytes;    // from one sample to the next
    double* real;         // coefficient (0, 0)
    double* imag;
    Index step;
};

Channel channelOf(const KernelTask& task, Index channel) {
    const AnalysisInputs& in = *task.inputs;
    const Index channels = in.channelCount;
    const bool imaginaryPart = channel >= channels;
    const Index c = imaginaryPart ? channel - channels : channel;
    const Index bytes = bytesPerSample(in.signalType);
    const Index stride = in.channelStride != 0 ? in.channelStride : Index{in.signalLength} * in.sampleStep;
    const void* part = imaginaryPart ? in.signalImag : in.signal;
    const CoefficientPlanes& planes = imaginaryPart ? task.imaginaryPart : task.planes;
    const Index coefficients = columnHeightOf(planes, in.frequencyCount) * task.frameCount * c * planes.step;
    Channel result;
    result.samples = static_cast<const char*>(part) + c * stride * bytes;
    result.sampleBytes = in.sampleStep * bytes;
    result.real = planes.real + coefficients;
    result.imag = planes.imag + coefficients;
    result.step = planes.step;
    return result;
}

// Sample n of a channel of samples of type T, as a double (exactly).
template <typename T>
double sampleAt(const char* samples, Index sampleBytes, Index n) {
    return static_cast<double>(*reinterpret_cast<const T*>(samples + n * sampleBytes));
}

// signal * window for frames [jBegin, jBegin + frames) of a channel of
// samples of type T and window samples [iBegin, iBegin + n), one row per
// frame.
template <typename T>
void fillWindowedTileOf(const KernelTask& task, const Channel& channel, Index jBegin, Index frames,
                        Index iBegin, Index n, double* windowed) {
    const double* window = task.inputs->window + iBegin;
    for (Index r = 0; r < frames; ++r) {
        const Index first = (jBegin + r) * task.hop + iBegin;
        double* out = windowed + r * n;
        Index i = 0;
        if (channel.sampleBytes == sizeof(T)) {
            const T* frame = reinterpret_cast<const T*>(channel.samples) + first;
            if constexpr (std::is_same<T, double>::value) {
                for (; i + lanes <= n; i += lanes) store(out + i, mul(load(frame + i), load(window + i)));
            }
            for (; i < n; ++i) out[i] = static_cast<double>(frame[i]) * window[i];
        }
        for (; i < n; ++i) out[i] = sampleAt<T>(channel.samples, channel.sampleBytes, first + i) * window[i];
    }
}

void fillWindowedTile(const KernelTask& task, const Channel& channel, Index jBegin, Index frames,
                      Index iBegin, Index n, double* windowed) {
    withSampleType(task.inputs->signalType, [&](auto sample) {
        fillWindowedTileOf<decltype(sample)>(task, channel, jBegin, frames, iBegin, n, windowed);
    });
}

// The signal lines that the tile of frames after those of [.., jNext) of
// channel `channel` will window: for the same window samples, or after the
// unit's last frames for the next channel, or after the last channel for
// the next window tile; as one run when the frames overlap or touch, and
// nothing otherwise.
struct SignalRun {
    const char* first;
    Index lines;
};

SignalRun nextTileRun(const KernelTask& task, const UnitRange& unit, Index channel, Index jNext,
                      Index tileFrames, Index iBegin, Index n) {
    SignalRun run = {static_cast<const char*>(task.inputs->signal), 0};
    const Index L = task.inputs->windowLength;
    if (jNext >= unit.jEnd) {
        jNext = unit.jBegin;
        if (++channel >= task.channels) {
            channel = 0;
            iBegin += n;
            n = smaller(n, L - iBegin);
        }
    }
    if (iBegin >= L || task.hop > n) return run;
    const Channel next = channelOf(task, channel);
    const Index last = smaller(jNext + tileFrames, unit.jEnd) - 1;
    const char* begin = next.samples + (jNext * task.hop + iBegin) * next.sampleBytes;
    const char* end = next.samples + (last * task.hop + iBegin + n) * next.sampleBytes;
    run.first = begin;
    run.lines = (end - begin + lineBytes - 1) / lineBytes;
    return run;
}

Index panelLength(Index frequencies, Index blockLanes, Index tileLength) {
    return (frequencies + blockLanes - 1) / blockLanes * blockLanes * tileLength;
}

// ---- frame lanes ----------------------------------------------------------

// Frequencies per frame-lane register block; a set without the kernel
// (frameFrequencies 0) still compiles it, and never calls it.
constexpr int frameBlockFrequencies = frameFrequencies > 0 ? frameFrequencies : 1;

// The raw samples of a tile of frames for frame lanes. Frame j and frame
// j + q share their samples q * hop apart, so one table serves every
// window sample: column c holds frame jBegin + c, row r its sample
// iBegin + r, for r below min(hop, n). Window sample iBegin + q * hop + r of
// frame jBegin + c is then at row r, column c + q, and the frames of a
// vector are consecutive columns of one row.
struct SampleColumns {
    Index rows;
    Index columns;  // the row stride, a whole number of cache lines
    Index shifts;   // largest q: (n - 1) / hop
};

static_assert(tableRowQuantum * sizeof(double) == lineBytes && tableRowQuantum % lanes == 0,
              "table rows of whole cache lines hold whole vectors");

SampleColumns sampleColumnsFor(Index hop, Index frames, Index n) {
    SampleColumns layout;
    layout.rows = smaller(hop, n);
    layout.shifts = (n - 1) / hop;
    // Whole cache lines per row, so that the vectors of shift 0 never
    // straddle two lines.
    const Index used = (frames + lanes - 1) / lanes * lanes + layout.shifts;
    layout.columns = (used + tableRowQuantum - 1) / tableRowQuantum * tableRowQuantum;
    return layout;
}

// Fills the table for frames [jBegin, jBegin + frames) of a channel of
// samples of type T and window samples [iBegin, iBegin + n). A column past
// the last frame is filled only as far as some frame reads it (which stays
// inside that frame); the rest, and the lanes of missing frames, hold
// zeros.
template <typename T>
void fillSampleColumnsOf(const KernelTask& task, const Channel& channel, Index jBegin, Index frames,
                         Index iBegin, Index n, const SampleColumns& layout, double* table) {
    const Index hop = task.hop;
    const bool contiguousDoubles = std::is_same<T, double>::value && channel.sampleBytes == sizeof(double);
    for (Index c0 = 0; c0 < layout.columns; c0 += lanes) {
        const Index width = smaller(lanes, layout.columns - c0);
        Index r = 0;
        if (contiguousDoubles && width == lanes && c0 + lanes <= frames) {
            const double* first = reinterpret_cast<const double*>(channel.samples) + (jBegin + c0) * hop + iBegin;
            for (; r + lanes <= layout.rows; r += lanes) {
                storeColumns(first + r, hop, table + r * layout.columns + c0, layout.columns);
            }
        }
        for (Index l = 0; l < width; ++l) {
            const Index c = c0 + l;
            // Rows that frame c - q reads for some q with c - q a frame of the tile.
            const Index needed = c < frames ? layout.rows : smaller(layout.rows, n - (c - frames + 1) * hop);
            const Index first = (jBegin + c) * hop + iBegin;
            for (Index row = r; row < layout.rows; ++row) {
                table[row * layout.columns + c] =
                    row < needed ? sampleAt<T>(channel.samples, channel.sampleBytes, first + row) : 0.0;
            }
        }
    }
}

void fillSampleColumns(const KernelTask& task, const Channel& channel, Index jBegin, Index frames,
                       Index iBegin, Index n, const SampleColumns& layout, double* table) {
    withSampleType(task.inputs->signalType, [&](auto sample) {
        fillSampleColumnsOf<decltype(sample)>(task, channel, jBegin, frames, iBegin, n, layout, table);
    });
}

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

// The coefficients of `frequencyCount` frequencies from `first` on and
// `vectorCount` vectors of frames over every window sample.
template <int vectorCount, int frequencyCount>
inline __attribute__((always_inline)) void accumulateFrameBlock(const GroupTask& t, Index first,
                                                                 const char* ahead, Index aheadLines) {
    constexpr Index blockLanes = frameBlockFrequencies;
    const double* cosPanel = t.cosPanel + first * t.count;
    const double* sinPanel = t.sinPanel + first * t.count;
    const Index frameStride = t.column * t.step;
    V re[frequencyCount][vectorCount];
    V im[frequencyCount][vectorCount];
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

template <int vectorCount, int frequencyCount>
void accumulateFrameTail(const GroupTask& t, Index first, int frequencies, const char* ahead,
                         Index aheadLines) {
    if constexpr (frequencyCount == 1) {
        accumulateFrameBlock<vectorCount, 1>(t, first, ahead, aheadLines);
    } else if (frequencies == frequencyCount) {
        accumulateFrameBlock<vectorCount, frequencyCount>(t, first, ahead, aheadLines);
    } else {
        accumulateFrameTail<vectorCount, frequencyCount - 1>(t, first, frequencies, ahead, aheadLines);
    }
}

// Every frequency of the unit for `vectorCount` vectors of frames, a
// register block at a time.
template <int vectorCount>
void accumulateFrameGroups(const GroupTask& t) {
    constexpr Index blockLanes = frameBlockFrequencies;
    const Index blocks = (t.frequencies + blockLanes - 1) / blockLanes;
    const Index linesPerBlock = (t.aheadLines + blocks - 1) / blocks;
    Index asked = 0;
    for (Index first = 0; first < t.frequencies; first += blockLanes) {
        const Index lines = smaller(linesPerBlock, t.aheadLines - asked);
        const char* ahead = t.ahead + asked * lineBytes;
        asked += lines;
        if (first + blockLanes <= t.frequencies) {
            accumulateFrameBlock<vectorCount, frameBlockFrequencies>(t, first, ahead, lines);
        } else {
            accumulateFrameTail<vectorCount, frameBlockFrequencies>(
                t, first, static_cast<int>(t.frequencies - first), ahead, lines);
        }
    }
}

using FrameGroups = void (*)(const GroupTask&);

template <int vectorCount>
FrameGroups frameGroupsFor(int vectors) {
    if constexpr (vectorCount == 1) {
        return &accumulateFrameGroups<1>;
    } else {
        return vectors == vectorCount ? &accumulateFrameGroups<vectorCount>
                                      : frameGroupsFor<vectorCount - 1>(vectors);
    }
}

// ---- units ---------------------------------------------------------------

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

}  // namespace

namespace {

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
                                         tile.iBegin, tile.n);
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

}  // namespace

void accumulateFrequencyLaneUnit(const KernelTask& task, const UnitRange& unit, double* workspace) {
    if (unit.kBegin >= unit.kEnd || unit.jBegin >= unit.jEnd) return;
    const Index H = columnHeightOf(task.planes, task.inputs->frequencyCount);
    const Index blockLanes = Index{frequencyVectors} * lanes;
    walkUnit(task, unit, task.plan.frequencyLanes, blockLanes, workspace, [&](const FrameTile& tile) {
        double* windowed = tile.scratch;
        fillWindowedTile(task, tile.channel, tile.jBegin, tile.frames, tile.iBegin, tile.n, windowed);
        const Index rows = (tile.frames + frequencyFrames - 1) / frequencyFrames;
        const Index linesPerRow = (tile.ahead.lines + rows - 1) / rows;
        Index asked = 0;
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
            t.ahead = tile.ahead.first + asked * lineBytes;
            t.aheadLines = smaller(linesPerRow, tile.ahead.lines - asked);
            asked += t.aheadLines;
            frequencyRowFor<frequencyFrames>(static_cast<int>(smaller(frequencyFrames, tile.frames - r)))(t);
        }
    });
}

void accumulateFrameLaneUnit(const KernelTask& task, const UnitRange& unit, double* workspace) {
    if (frameFrequencies < 1 || unit.kBegin >= unit.kEnd || unit.jBegin >= unit.jEnd) return;
    const Index H = columnHeightOf(task.planes, task.inputs->frequencyCount);
    walkUnit(task, unit, task.plan.frameLanes, frameFrequencies, workspace, [&](const FrameTile& tile) {
        double* table = tile.scratch;
        const SampleColumns layout = sampleColumnsFor(task.hop, tile.frames, tile.n);
        fillSampleColumns(task, tile.channel, tile.jBegin, tile.frames, tile.iBegin, tile.n, layout, table);
        const Index groups = (tile.frames + lanes - 1) / lanes;
        const Index sets = (groups + frameVectors - 1) / frameVectors;
        const Index linesPerSet = (tile.ahead.lines + sets - 1) / sets;
        Index asked = 0;
        for (Index g = 0; g < groups; g += frameVectors) {
            const int vectors = static_cast<int>(smaller(frameVectors, groups - g));
            const Index lastLanes = tile.frames - (g + vectors - 1) * lanes;
            GroupTask t;
            t.samples = table + g * lanes;
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
            t.frequencies = unit.kEnd - unit.kBegin;
            t.lastLanes = static_cast<int>(lastLanes < lanes ? lastLanes : lanes);
            t.fresh = tile.fresh;
            t.ahead = tile.ahead.first + asked * lineBytes;
            t.aheadLines = smaller(linesPerSet, tile.ahead.lines - asked);
            asked += t.aheadLines;
            frameGroupsFor<frameVectors>(vectors)(t);
        }
    });
}

std::int64_t threadWorkspace(const AccumulationPlan& plan) {
    const Index a = frequencyLaneWorkspace(plan);
    const Index b = frameLaneWorkspace(plan);
    return a > b ? a : b;
}
