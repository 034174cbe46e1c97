// Part of the accumulation body (accumulate-inl.h includes it inside its
// unnamed namespace): the signal as the kernels read it. A channel's
// samples of any type decoded to doubles, windowed rows for frequency lanes
// and the shared sample table for frame lanes; the signal lines to ask for
// while the previous tile computes, and their share per piece of work.

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
// the next window tile, window tiles covering frame positions up to `end`
// (L for a plain call); as one run when the frames overlap or touch, and
// nothing otherwise.
struct SignalRun {
    const char* first;
    Index lines;
};

SignalRun nextTileRun(const KernelTask& task, const UnitRange& unit, Index channel, Index jNext,
                      Index tileFrames, Index iBegin, Index n, Index end) {
    SignalRun run = {static_cast<const char*>(task.inputs->signal), 0};
    if (jNext >= unit.jEnd) {
        jNext = unit.jBegin;
        if (++channel >= task.channels) {
            channel = 0;
            iBegin += n;
            n = smaller(n, end - iBegin);
        }
    }
    if (iBegin >= end || task.hop > n) return run;
    const Channel next = channelOf(task, channel);
    const Index last = smaller(jNext + tileFrames, unit.jEnd) - 1;
    const char* begin = next.samples + (jNext * task.hop + iBegin) * next.sampleBytes;
    const char* stop = next.samples + (last * task.hop + iBegin + n) * next.sampleBytes;
    run.first = begin;
    run.lines = (stop - begin + lineBytes - 1) / lineBytes;
    return run;
}

// The signal lines of a run handed out in turn to `parts` pieces of work:
// each piece asks for at most its even share of the run, from where the
// previous piece stopped.
struct RunShares {
    SignalRun run;
    Index perPart;
    Index asked;
};

RunShares sharesOf(SignalRun run, Index parts) { return {run, (run.lines + parts - 1) / parts, 0}; }

SignalRun nextShare(RunShares& shares) {
    SignalRun share;
    share.lines = smaller(shares.perPart, shares.run.lines - shares.asked);
    share.first = shares.run.first + shares.asked * lineBytes;
    shares.asked += share.lines;
    return share;
}

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

