// spectrogrid core: short-time Fourier coefficients at an arbitrary list of
// frequencies, computed exactly and reproducibly from plain arrays.
//
// The core never allocates and never calls a host: every buffer is owned by
// the caller. Counts are 32-bit signed; element indices into the coefficient
// planes are 64-bit, since K * frameCount may exceed 2^31 - 1.
//
// Arithmetic contract (it fixes every bit of every result):
//   angularSteps[i] = (double(i) / sampleRate) * 6.283185307179586
//   theta           = angularSteps[i] * frequencies[k]
//   cosTable[i]     = cos(theta), sinTable[i] = sin(theta), both correctly
//                     rounded by the core's own routine (core/sincos), so the
//                     same on every platform
//   p               = signal[j*hop + i] * window[i]
//   re = +0.0; re = re + p * cosTable[i]   for i = 0, 1, ..., L-1
//   im = +0.0; im = im - p * sinTable[i]   for i = 0, 1, ..., L-1
// Every product is rounded to double before it is added (no fused
// multiply-add); each coefficient has one accumulator summed in ascending i.
//
// With a window for each frequency, frequency k has its own window w_k of
// L_k samples; L, the frame length, is the longest of them, and the frames
// (hop, frame count, times) are those of a plain call with L. The window
// of frequency k sits centred in each frame, d_k = floor((L - L_k) / 2)
// samples after its first sample: the contract above holds for frequency
// k with w_k, L_k and signal[j*hop + d_k + i] in place of window, L and
// signal[j*hop + i]. So frequencies whose windows are all equal give the
// bits of the plain call with that window.
#ifndef SPECTROGRID_CORE_SPECTROGRID_CORE_H
#define SPECTROGRID_CORE_SPECTROGRID_CORE_H

#include <cstdint>

namespace spectrogrid {

// How the samples of a signal are stored. Every value converts to double
// exactly; the analysis sees only the converted values.
enum class SampleType { float64, float32, int8, uint8, int16, uint16, int32, uint32 };

// Bytes of one sample of each type.
constexpr int bytesPerSample(SampleType type) {
    return type == SampleType::float64                                   ? 8
           : type == SampleType::float32 || type == SampleType::int32 ||
                     type == SampleType::uint32                          ? 4
           : type == SampleType::int16 || type == SampleType::uint16     ? 2
                                                                          : 1;
}

// Calls f(T{}) with T the C++ type of `type` (double, float, std::int8_t,
// ...): the one place that turns a sample type into a type, so that code
// written once for every T needs no switch of its own.
template <typename F>
void withSampleType(SampleType type, F&& f) {
    switch (type) {
        case SampleType::float64: f(double{}); break;
        case SampleType::float32: f(float{}); break;
        case SampleType::int8: f(std::int8_t{}); break;
        case SampleType::uint8: f(std::uint8_t{}); break;
        case SampleType::int16: f(std::int16_t{}); break;
        case SampleType::uint16: f(std::uint16_t{}); break;
        case SampleType::int32: f(std::int32_t{}); break;
        case SampleType::uint32: f(std::uint32_t{}); break;
    }
}

// Read-only views of the caller's inputs; nothing is copied.
//
// The signal is channelCount channels of signalLength samples each, of
// signalType. Sample n of channel c is at element
// c * channelStride + n * sampleStep of `signal` (its real part) and, for
// a complex signal, of `signalImag` (its imaginary part; null for a real
// signal). A real double signal of one channel needs only the first eight
// fields. A complex signal a + ib gives C = A + iB, A and B the
// coefficients of the real signals a and b, combined last:
// real part A.real - B.imag, imaginary part A.imag + B.real.
struct AnalysisInputs {
    const void* signal;     // real parts of the samples
    std::int32_t signalLength;  // N, samples per channel
    const double* window;   // windowLength weights; also the frame length L
    std::int32_t windowLength;
    double overlap;         // samples shared by consecutive frames; may be fractional, zero or negative
    const double* frequencies;  // frequencyCount values in cycles per unit of sampleRate, any order
    std::int32_t frequencyCount;
    double sampleRate;      // samples per unit time
    SampleType signalType = SampleType::float64;
    const void* signalImag = nullptr;  // imaginary parts, same layout; null for a real signal
    std::int32_t channelCount = 1;     // P
    std::int64_t sampleStep = 1;       // elements from one sample to the next
    std::int64_t channelStride = 0;    // elements from one channel to the next; 0: N * sampleStep
    // A window for each frequency: frequencyCount pointers and lengths (each
    // at least 1), or null for one window for all. When set, windowLength is
    // the longest of windowLengths (the frame length L) and `window` is not
    // read.
    const double* const* windows = nullptr;
    const std::int32_t* windowLengths = nullptr;
};

// Frame geometry of one call. Frame j covers samples j*hop .. j*hop + L - 1.
struct FramePlan {
    std::int32_t hop;
    std::int32_t frameCount;
};

// The K x frameCount x channelCount result, column-major: element (k, j, c)
// at real[e * step] and imag[e * step], e = k + (j + c * frameCount) * H,
// H the column height: K, or columnHeight when that is not 0 (rows of a
// taller array, the planes pointing at the first of them).
// Separate planes have step 1; interleaved complex storage (real,
// imaginary, real, ...) is real = data, imag = data + 1, step 2.
struct CoefficientPlanes {
    double* real;
    double* imag;
    std::int32_t step = 1;
    std::int64_t columnHeight = 0;
};

// Caller-provided scratch: three vectors of L doubles each, a workspace of
// workspaceLength(...) doubles for the blocked kernels (may be null when
// that length is 0), and for a complex signal the coefficients of its
// imaginary part, imaginaryPartLength(...) doubles (null for a real one).
struct ScratchTables {
    double* angularSteps;
    double* cosTable;
    double* sinTable;
    double* workspace;
    double* imaginaryPart = nullptr;
};

// Number of doubles of ScratchTables::workspace that computeCoefficients
// needs for these sizes (frameCount from planFrames): under 6 MiB whatever
// the sizes, enough for every thread the form may use, and 0 when there is
// nothing to accumulate (any size below 1).
std::int64_t workspaceLength(std::int32_t windowLength, std::int32_t frequencyCount,
                             std::int32_t frameCount);

// The same for a call with these inputs, of either form: with a window for
// each frequency, enough for every window's length.
std::int64_t workspaceLength(const AnalysisInputs& inputs, std::int32_t frameCount);

// Number of doubles of ScratchTables::imaginaryPart a call needs: the
// coefficients of the imaginary part of a complex signal,
// 2 * frequencyCount * frameCount * channelCount; 0 for a real signal.
std::int64_t imaginaryPartLength(std::int32_t frequencyCount, std::int32_t frameCount,
                                 std::int32_t channelCount, bool complexSignal);

// Computes hop = trunc(L - overlap) and frameCount = floor((N - overlap) / hop),
// lowered so that every frame lies inside the signal:
// (frameCount - 1) * hop + L <= N. Never negative. Where the plan is
// meaningless (overlap not finite, hop < 1 or not representable, L < 1)
// frameCount is 0; hop is 0 when it cannot be represented.
FramePlan planFrames(std::int32_t signalLength, std::int32_t windowLength, double overlap);

// Writes angularSteps[i] = double(i) / sampleRate * 6.283185307179586 for
// i < windowLength. Writes nothing when windowLength <= 0.
void fillAngularSteps(double* angularSteps, std::int32_t windowLength, double sampleRate);

// Writes times[j] = (double(j * hop) + windowLength * 0.5) / sampleRate for
// j < frameCount: the time of the frame's centre. Writes nothing when
// frameCount <= 0.
void fillFrameTimes(double* times, std::int32_t frameCount, std::int32_t hop,
                    std::int32_t windowLength, double sampleRate);

// Fills tables.cosTable and tables.sinTable for frequency index k from
// tables.angularSteps (already filled) and inputs.frequencies[k]: as many
// entries as frequency k's window has.
void fillTwiddles(const AnalysisInputs& inputs, const ScratchTables& tables, std::int32_t k);

// Writes row k of both planes for every frame of the plan from the signal,
// the window of frequency k and its twiddle tables.
void accumulateFrames(const AnalysisInputs& inputs, const FramePlan& plan,
                      const ScratchTables& tables, const CoefficientPlanes& planes,
                      std::int32_t k);

// Stopping a long call early, as an interactive host's Ctrl-C asks. The
// caller gives a query; computeCoefficients asks it on the calling thread
// only, between pieces of work of a few milliseconds at most (a tile of
// frames of a unit, a unit, a frequency), and the other threads stop at a
// flag the calling thread sets. Once the query has answered true the call
// ends as soon as every thread has finished the piece it is on, and
// reports that it stopped; what it wrote then means nothing. The query must
// not throw or unwind (an exception may not leave a parallel region). A
// null query never stops a call; a query that never answers true changes no
// bit of any result.
struct StopQuery {
    bool (*requested)(void* context) = nullptr;  // true: stop now
    void* context = nullptr;                     // passed to requested
};

enum class CallOutcome { finished, stopped };

// Fills every output of one call: the angular step table, the time axis
// (plan.frameCount entries) and both coefficient planes
// (frequencyCount * frameCount entries each), with the same bits as
// fillTwiddles and accumulateFrames for each frequency in turn; the cosine
// and sine tables end holding the twiddles of the last frequency. The plan
// must come from planFrames for the same inputs, and tables.workspace must
// hold workspaceLength(...) doubles (without it, the per-frequency
// operations run instead, more slowly). The work runs in blocks of
// frequencies by tiles of frames, with the widest vector instruction set
// the processor supports; results depend on neither. With a window for each
// frequency, each run of consecutive frequencies whose windows are equal
// (same length, same bits) is computed as one plain call of its own.
// Returns stopped when `stop` asked the call to stop (see StopQuery),
// finished otherwise.
CallOutcome computeCoefficients(const AnalysisInputs& inputs, const FramePlan& plan,
                                const ScratchTables& tables, const CoefficientPlanes& planes,
                                double* times, const StopQuery& stop = StopQuery{});

// computeCoefficients within `tolerance` (0: exactly computeCoefficients).
// A call with a window for each frequency plans each group of frequencies
// sharing a window as the plain call with that window and those
// frequencies (S_j that of the group's window, from its offset d_k).
// fastWorkspace holds toleranceWorkspaceLength(...) doubles (may be null
// when that is 0); tables are as for computeCoefficients. On the fast path
// the cosine and sine tables are left as they were; `stop` is asked as by
// computeCoefficients, between batches of frames or tiles.
CallOutcome computeCoefficientsWithin(const AnalysisInputs& inputs, const FramePlan& plan,
                                      const ScratchTables& tables, const CoefficientPlanes& planes,
                                      double* times, double tolerance, double* fastWorkspace,
                                      const StopQuery& stop = StopQuery{});

// Makes a large buffer that the host has just created, and that the call
// will overwrite whole, ready for writing: on Linux it asks for transparent
// huge pages on the buffer's 2 MiB-aligned interior, so that the call's
// first writes take few page faults. Changes no contents; buffers under
// 8 MiB are left alone.
void prepareOutput(void* data, std::int64_t bytes);

// The fast mode. With tolerance > 0 a call may take a per-frame
// non-uniform FFT instead of the exact sums; every coefficient then obeys
//   |C(k, j) - C_true(k, j)| <= tolerance * S_j,  S_j = sum_i |x(j*hop + i) * window[i]|
// (the modulus for a complex signal), C_true the exact sum with the exact
// phase 2 pi f n / fs of the given doubles; the results are the same bits on
// every platform, instruction set and thread count. Where the fast path
// would not be quicker, the exact one runs, but only if its own deviation
// from C_true, at most (1.5 L + 21 max|f| L / fs) * 2^-53 * S_j, is within
// the tolerance; where it is not, the direct path: the exact kernels with
// exactly reduced phases, within about (L + 13) * 2^-53 * S_j. Frames of
// zeros give +0 coefficients; a non-finite sample makes every coefficient
// of its frame NaN.
//
// Number of doubles of workspace the fast path needs for this call (0 when
// the exact path runs, also for tolerance 0): bounded by the FFT buffers of
// the threads and per-call tables of the window, the FFT and the
// frequencies (about 2N + L + K (w + 3) + threads * 33 N, N < 4L a power of
// two, w <= 16), for the direct path 2K + workspaceLength(...), never by
// the number of frames. With a window for each frequency: 2K, then the
// most that one group of the FFT path or the exact kernels need (0 when
// every group runs exactly).
std::int64_t toleranceWorkspaceLength(const AnalysisInputs& inputs, const FramePlan& plan,
                                      double tolerance);

// Whether some method keeps the promise of `tolerance` for a call of these
// sizes (realChannels: the channels, twice for a complex signal), whose
// largest |frequency| / sampleRate is largestFrequencyRatio. Always for
// tolerance 0 and for calls with nothing to compute: wherever a fast
// method reaches it or the exact mode's bound is within it. With a window
// for each frequency (windowLength the longest), for every window length
// up to that one, so that each group of the call is attainable.
bool toleranceAttainable(std::int32_t windowLength, std::int32_t frequencyCount,
                         std::int32_t frameCount, std::int32_t realChannels, bool complexSignal,
                         double largestFrequencyRatio, bool windowPerFrequency, double tolerance);


// The most threads a call requests.
constexpr int maxAnalysisThreads = 4;

// Parallel form: requests min(processors, maxAnalysisThreads) threads from the
// OpenMP runtime for this and later regions; the setting stays after the
// call. Serial form: does nothing.
void setAnalysisThreads();

}  // namespace spectrogrid

#endif
