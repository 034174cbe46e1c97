// The fast mode's room: a per-frame non-uniform FFT with a proven bound on
// its error. For a frame y(n), n < L, centred at c = floor(L/2), and a
// frequency nu = f / fs, the coefficient
//
//   C = sum_n y(n) exp(-2 pi i nu n) = exp(-2 pi i nu c) sum_{n'} y(c + n') exp(-2 pi i nu n')
//
// is computed as
//   1. ytilde(n') = y(c + n') * psi(n'/N) (the deconvolution, folded into the
//      window once per call), placed at FFT index n' mod N, zeros elsewhere;
//   2. Y = the length-N DFT of ytilde (N = 2^a 3^b 5^c >= 2L, a >= 3),
//      frames in the lanes, from a complex DFT of length N/2 of the even
//      and odd samples (Stockham stages of radix 4, 5, 3, then 2);
//   3. C ~ exp(-2 pi i nu c) * sum_{m<w} phi(delta + h - 1 - m) * Y(l0 - h + 1 + m),
//      N nu = l0 + delta, 0 <= delta < 1, h = w/2 (weights once per call).
// The kernel phi, its width w and psi are those of generated/kernel_table.h,
// whose error e bounds the approximation in exact arithmetic: |C - C_fast| <=
// e * S with S = sum_n |y(n)| (e is proven for every |n'|/N <= tau and
// delta, not sampled: scripts/fast_kernel_table.cpp has the proof). planFast adds a bound on every rounding of
// steps 1-3 (derived beside it in fast_plan.cpp) and picks the narrowest
// kernel whose total bound is within the tolerance.
//
// Few frequencies at a tolerance the exact mode's rounding would miss take
// the direct path instead: the exact mode's kernels, each twiddle's phase
// reduced exactly (fast_plan.cpp has its bound).
//
// Every value of a lane is computed with the same IEEE operations in the
// same order in every instruction set, so the scalar, AVX2 and AVX-512
// bodies give the same bits; each coefficient is computed by one thread.
#ifndef SPECTROGRID_CORE_FAST_FAST_H
#define SPECTROGRID_CORE_FAST_FAST_H

#include <cstdint>

#include "driver/instruction_sets.h"
#include "driver/stopping.h"
#include "spectrogrid_core.h"

namespace spectrogrid {

struct KernelSet;
namespace fast {

// Frames transformed side by side, one per lane, in every instruction set.
constexpr int lanes = 8;

// Doubles of one complex element of a batch: lanes real parts, then lanes
// imaginary parts.
constexpr int elementDoubles = 2 * lanes;

// Frequencies per call of interpolate.
constexpr int frequencyChunk = 32;

// What one call does: the exact path, or a fast one with these sizes: the
// FFT path, or for few frequencies at a tolerance the exact path's own
// rounding would miss, the direct path (the exact kernels with exactly
// reduced phases).
struct FastPlan {
    bool fast;
    bool direct;
    std::int32_t fftLength;     // N = 2^a 3^b 5^c, a >= 3
    std::int32_t kernelIndex;   // into fast_tables::kernels
    std::int32_t width;         // w, even
    std::int32_t tauIndex;      // column of the kernel table
    std::int32_t centre;        // c
    double bound;               // |C_fast - C_true| <= bound * S, for each real channel
    double exactBound;          // the exact mode's own bound, per unit of S
    double fastCost;            // modelled costs, in cells of the exact kernel
    double exactCost;
    // Workspace, in doubles from its start: the twiddles exp(-2 pi i k / N)
    // (N real parts, then N imaginary parts), the folded window (L), the taps of each frequency
    // (tapStride doubles each: first index, phase re, phase im, w weights),
    // then one block per thread. The direct path: the reduced ratios
    // (tapStride 2), then the exact kernels' workspace from threadOffset.
    std::int64_t twiddleOffset;
    std::int64_t windowOffset;
    std::int64_t tapOffset;
    std::int64_t tapStride;
    std::int64_t threadOffset;
    std::int64_t threadLength;  // two spectra of N + w elements, and a staging block
    std::int64_t length;        // 0 when the exact path runs
};

// The plan for a call of these sizes: L window samples, K frequencies with
// largest |f| / fs of maxRatio, M frames, P real channels (twice the
// channels of a complex signal), at tolerance tol > 0, for `threads` threads
// of workspace. Depends on nothing else (not the processor, not the
// threads in use), so every platform takes the same path with the same sizes.
// A preference other than `model` (tests, benchmarks) takes that path
// whenever it reaches the tolerance, without asking the cost model.
enum class Preference { model, nufft, direct };

FastPlan planFast(std::int32_t windowLength, std::int32_t frequencyCount, std::int32_t frameCount,
                  std::int32_t realChannels, bool complexSignal, double maxRatio, double tolerance,
                  int threads, Preference preference = Preference::model);

// The bound of the direct path over a window of this length, per unit of S.
double directBound(std::int32_t windowLength);

// The rounding part of the bound of a kernel and FFT length, per unit of S.
double roundingBound(std::int32_t fftLength, std::int32_t kernelIndex, std::int32_t tauIndex);

// exp(a) for -64 <= a <= 0 with IEEE +, -, * and exact scaling only, the same
// bits everywhere; relative error below 4 * 2^-53.
double kernelExp(double a);

// phi(z) of kernel `kernelIndex`, |z| <= w/2.
double kernelValue(std::int32_t kernelIndex, double z);

// The per-instruction-set bodies.
struct FastKernels {
    // Forward DFT of N real samples per lane, held in `data` as N/2 complex
    // elements (sample 2m the real part of element m, 2m + 1 its imaginary
    // part), elements [N/8, 3N/8) zero (the padding of a frame of at most
    // N/2 samples centred at index 0), using `spare`; returns the buffer
    // (data or spare) holding the spectrum: elements [0, N/2] and
    // [mirrorFrom, N) (the mirrored ones no frequency reads are left out).
    // Both buffers hold N elements; N >= 16, N = 2^a 3^b 5^c, a >= 3.
    double* (*transform)(double* data, double* spare, const double* twiddles, std::int32_t N,
                         std::int32_t mirrorFrom);
    // For frequencies [0, count), count <= frequencyChunk, with their taps
    // at `taps` (tapStride apart): the coefficients of every lane into
    // out[k * elementDoubles + lane] (real) and [... + lanes + lane] (imaginary).
    void (*interpolate)(const double* spectrum, const double* taps, std::int64_t tapStride,
                        std::int32_t width, std::int32_t count, double* out);
    // Windowed samples into a batch: FFT index first + j of lane r (j <
    // count) gets rows[r][j] * weights[j]; index p is the real part of
    // element p/2 when p is even, its imaginary part when odd.
    void (*placeRun)(const double* const* rows, const double* weights, std::int32_t count,
                     std::int64_t first, double* data);
    // The coefficients of frequencies [0, count) of lanes [0, frames) from
    // interpolate's out into the result: frequency k of lane r at
    // real[(k + r * frameStride) * step] and imag[...].
    void (*storeCoefficients)(const double* staging, std::int32_t count, std::int32_t frames,
                              double* real, double* imag, std::int32_t step, std::int64_t frameStride);
    // The w = width weights of one frequency of the kernel with this beta,
    // weights[m] = phi(delta + w/2 - 1 - m): kernelValue's bits.
    void (*kernelTaps)(double beta, std::int32_t width, double delta, double* weights);
};

const FastKernels& fastKernelsFor(InstructionSet set);


// The plan of a call (driver/fast_compute.cpp): sizes from the inputs,
// workspace for workerLimit() threads.
FastPlan planFastFor(const AnalysisInputs& inputs, const FramePlan& framePlan, double tolerance,
                     Preference preference = Preference::model);

// f/fs of frequencies [0, count) reduced to (-1, 1), each as a pair (high,
// low) within 2^-106 of the exact fraction, |low| <= 2^-53 |high|; NaN for
// a frequency that is not finite.
void fillReducedRatios(const double* frequencies, std::int32_t count, double sampleRate, double* ratios);

// The fast path of a call with these bodies and plan (plan.fast must be
// true): the FFT path with `kernels`, the direct path with `exactKernels`;
// the workspace holds plan.length doubles. `stop` is asked before the work
// and before each batch or tile (on the calling thread; see StopQuery).
CallOutcome computeFastWith(const FastKernels& kernels, const KernelSet& exactKernels, const FastPlan& plan,
                            const AnalysisInputs& inputs, const FramePlan& framePlan,
                            const ScratchTables& tables, const CoefficientPlanes& planes,
                            double* times, double* workspace, const StopQuery& stop = StopQuery{});

// The FFT path's coefficients of a plain call (plan.fast, not direct) into
// planes of any column height, without the axes and, for a complex
// signal, with the parts left uncombined (in tables.imaginaryPart, with
// the planes' column height): for one group of a call with a window for
// each frequency. Returns early once `stop` says stop.
void accumulateFast(const FastKernels& kernels, const FastPlan& plan, const AnalysisInputs& inputs,
                    const FramePlan& framePlan, const ScratchTables& tables, const CoefficientPlanes& planes,
                    double* workspace, CallStop* stop);

namespace scalar {
extern const FastKernels kernels;
}
namespace avx2 {
extern const FastKernels kernels;
}
namespace avx512 {
extern const FastKernels kernels;
}

}  // namespace fast
}  // namespace spectrogrid

#endif
