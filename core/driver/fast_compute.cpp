// The fast mode of one call (fast/fast.h has the method and its bound): the
// per-call tables (FFT twiddles, the window with the deconvolution folded
// in, each frequency's taps and phase), then units of one batch of frames
// of one real channel, shared by the threads, each writing only its own
// coefficients; or the direct path, the exact kernels with each
// frequency's reduced ratio. A call with a window for each frequency plans
// each group of frequencies sharing a window on its own.
#include <cmath>
#include <cstring>
#include <type_traits>

#include "driver/compute.h"
#include "driver/kernel_sets.h"
#include "driver/stopping.h"
#include "driver/threads.h"
#include "fast/fast.h"
#include "fast/generated/kernel_table.h"
#include "sincos/sincos.h"
#include "spectrogrid_core.h"

namespace spectrogrid {

namespace {

using fast::elementDoubles;
using fast::FastPlan;
using fast::lanes;

constexpr double twoPi = 6.283185307179586;

// a * b = product + error exactly (Dekker; no fused multiply-add), for
// operands well inside the exponent range.
void exactProduct(double a, double b, double* product, double* error) {
    const auto split = [](double x, double* high, double* low) {
        const double t = 134217729.0 * x;  // 2^27 + 1
        *high = t - (t - x);
        *low = x - *high;
    };
    double ah, al, bh, bl;
    split(a, &ah, &al);
    split(b, &bh, &bl);
    *product = a * b;
    *error = ((ah * bh - *product) + ah * bl + al * bh) + al * bl;
}

// f / fs reduced to (-1, 1), as high + low with |low| <= 2^-53 |high|, within
// 2^-106 of the exact fraction: fmod is exact, the quotient's remainder is
// found exactly, and scaling both by a power of two changes nothing.
void reducedRatio(double f, double fs, double* high, double* low) {
    int exponent = 0;
    std::frexp(fs, &exponent);
    const double rate = std::ldexp(fs, -exponent);
    const double r = std::ldexp(std::fmod(f, fs), -exponent);
    *high = r / rate;
    double p, e;
    exactProduct(*high, rate, &p, &e);
    *low = ((r - p) - e) / rate;
}

// The twiddles exp(-2 pi i k / N), k in [begin, end): real parts at
// twiddles[k], imaginary parts at twiddles[N + k].
void fillFftTwiddles(const KernelSet& kernels, std::int32_t N, double* twiddles, std::int64_t begin,
                     std::int64_t end) {
    for (std::int64_t k = begin; k < end; ++k) twiddles[k] = (static_cast<double>(k) / N) * twoPi;
    kernels.fillSinCos(twiddles + begin, twiddles + N + begin, twiddles + begin, end - begin);
    for (std::int64_t k = begin; k < end; ++k) twiddles[N + k] = -twiddles[N + k];
}

// window[n] * psi((n - c) / N), psi = 1 / (phi(0) + sum_j 2 phi(j) cos(2 pi (n - c) j / N)).
void fillFoldedWindow(const FastPlan& plan, const double* window, const double* twiddles,
                      double* folded, std::int64_t begin, std::int64_t end) {
    const fast_tables::Kernel& kernel = fast_tables::kernels[plan.kernelIndex];
    const std::int64_t N = plan.fftLength;
    for (std::int64_t n = begin; n < end; ++n) {
        const std::int64_t offset = n - plan.centre;
        double sum = kernel.atIntegers[0];
        for (std::int32_t j = 1; j <= plan.width / 2; ++j) {
            std::int64_t index = (offset * j) % N;
            if (index < 0) index += N;
            sum = sum + (2.0 * kernel.atIntegers[j]) * twiddles[index];
        }
        folded[n] = window[n] * (1.0 / sum);
    }
}

// Frequency k's taps: the FFT index of the first, the phase exp(-2 pi i nu c),
// and the weights phi(delta + h - 1 - m), m < w, with N nu = l0 + delta.
void fillTaps(const FastPlan& plan, const fast::FastKernels& kernels, double frequency,
              double sampleRate, double* tap) {
    const std::int32_t w = plan.width;
    if (!std::isfinite(frequency)) {
        tap[0] = 0.0;
        for (std::int32_t m = 1; m < w + 3; ++m) tap[m] = std::nan("");
        return;
    }
    const double N = plan.fftLength;
    double high, low;
    reducedRatio(frequency, sampleRate, &high, &low);
    // Grid position. When N is a power of two both products are exact;
    // else N * high is taken exactly as p + e, and delta is within 4u.
    double l0, delta;
    if ((plan.fftLength & (plan.fftLength - 1)) == 0) {
        l0 = std::floor(N * high);
        delta = (N * high - l0) + N * low;
    } else {
        double p, e;
        exactProduct(high, N, &p, &e);
        l0 = std::floor(p);
        delta = ((p - l0) + e) + N * low;
    }
    if (delta < 0.0) {
        delta = delta + 1.0;
        l0 = l0 - 1.0;
    } else if (delta >= 1.0) {
        delta = delta - 1.0;
        l0 = l0 + 1.0;
    }
    std::int64_t first = static_cast<std::int64_t>(l0) - (w / 2 - 1);
    first %= plan.fftLength;
    if (first < 0) first += plan.fftLength;
    tap[0] = static_cast<double>(first);
    // The fraction of nu * c, within a few units of 2^-53, taken to [-1/2, 1/2).
    double p, e;
    exactProduct(high, plan.centre, &p, &e);
    double g = ((p - std::floor(p)) + e) + low * plan.centre;
    g = g - std::floor(g);
    if (g >= 0.5) g = g - 1.0;
    double sine, cosine;
    sinCos(g * twoPi, &sine, &cosine);
    tap[1] = cosine;
    tap[2] = -sine;
    kernels.kernelTaps(fast_tables::kernels[plan.kernelIndex].beta, w, delta, tap + 3);
}

// The windowed samples of frames [first, first + frames) of one real
// channel at `samples` for the FFT, sample n of a lane at FFT index p = (n -
// c) mod N, zeros elsewhere; as the transform takes them, index p is the
// real part of element p/2 when p is even, its imaginary part when odd. The
// samples lie in elements [0, N/8) and [3N/8, N/2) (N >= 2L); the transform
// never reads the ones between, which are left as they are, nor the ones
// a sample fills, which are not cleared first. The indices of
// n < c and of n >= c are two runs, placed by the set's placeRun: straight
// from the signal when it is doubles one after another, else through a
// block of converted samples on the stack. Lanes past the frames repeat the
// last frame (their results are never stored).
template <typename T>
void fillFftBatch(const FastPlan& plan, const fast::FastKernels& kernels, const T* samples,
                  std::int64_t sampleStep, std::int32_t hop, std::int64_t first, std::int32_t frames,
                  const double* folded, std::int32_t L, double* data) {
    // Zeros at the indices the transform reads and no sample covers:
    // [L - c, N/4) and [3N/4, N - c).
    const auto zeroIndices = [data](std::int64_t from, std::int64_t to) {
        if (from >= to) return;
        // An odd first index is an imaginary part, an odd end's last index a real one.
        const std::size_t part = sizeof(double) * lanes;
        if ((from & 1) != 0) std::memset(data + (from >> 1) * elementDoubles + lanes, 0, part);
        if ((to & 1) != 0) std::memset(data + (to >> 1) * elementDoubles, 0, part);
        const std::int64_t firstWhole = (from + 1) >> 1, endWhole = to >> 1;
        if (firstWhole < endWhole) {
            std::memset(data + firstWhole * elementDoubles, 0,
                        sizeof(double) * elementDoubles * static_cast<std::size_t>(endWhole - firstWhole));
        }
    };
    const std::int64_t N = plan.fftLength;
    zeroIndices(L - plan.centre, N / 4);
    zeroIndices(3 * N / 4, N - plan.centre);
    const T* frame[lanes];
    for (std::int32_t lane = 0; lane < lanes; ++lane) {
        frame[lane] = samples + (first + (lane < frames ? lane : frames - 1)) * hop * sampleStep;
    }
    constexpr std::int32_t block = 128;
    const auto placeRun = [&](std::int32_t begin, std::int32_t end, std::int64_t index) {
        const double* rows[lanes];
        if (std::is_same<T, double>::value && sampleStep == 1) {
            for (std::int32_t lane = 0; lane < lanes; ++lane) {
                rows[lane] = reinterpret_cast<const double*>(frame[lane]) + begin;
            }
            kernels.placeRun(rows, folded + begin, end - begin, index, data);
            return;
        }
        double converted[lanes * block];
        for (std::int32_t lane = 0; lane < lanes; ++lane) rows[lane] = converted + lane * block;
        for (std::int32_t n0 = begin; n0 < end; n0 += block) {
            const std::int32_t count = end - n0 < block ? end - n0 : block;
            for (std::int32_t lane = 0; lane < lanes; ++lane) {
                const T* from = frame[lane] + n0 * sampleStep;
                for (std::int32_t j = 0; j < count; ++j) {
                    converted[lane * block + j] = static_cast<double>(from[j * sampleStep]);
                }
            }
            kernels.placeRun(rows, folded + n0, count, index + (n0 - begin), data);
        }
    };
    placeRun(0, plan.centre, plan.fftLength - plan.centre);
    placeRun(plan.centre, L, 0);
}

// The per-call tables: on the calling thread when they are a small part of
// the call (each parallel region ends at a barrier that a thread the
// system has set aside holds up for its whole time slice), on every thread
// otherwise. Each entry is written alone, so the bits do not depend on it.
constexpr std::int64_t serialSetupWork = std::int64_t{1} << 15;

template <typename Body>
void runSetupRange(bool serial, std::int64_t n, const Body& body) {
    if (serial) {
        if (n > 0) body(0, n);
    } else {
        runParallelRange(n, body);
    }
}

struct FastTask {
    const fast::FastKernels* kernels;
    const FastPlan* plan;
    const AnalysisInputs* inputs;
    const FramePlan* framePlan;
    CoefficientPlanes planes;         // column height spelt out
    CoefficientPlanes imaginaryPart;  // the same height
    const double* twiddles;
    const double* folded;
    const double* taps;
    std::int64_t batches;
    std::int32_t mirrorFrom;  // the lowest spectrum index above N/2 a tap reads (N if none)
    CallStop* stop;
};

// Unit u: batch u % batches of real channel u / batches.
void runFastUnit(const FastTask& task, std::int64_t unit, double* own) {
    const FastPlan& plan = *task.plan;
    const AnalysisInputs& inputs = *task.inputs;
    const std::int64_t channel = unit / task.batches;
    const std::int64_t first = (unit % task.batches) * lanes;
    const std::int64_t M = task.framePlan->frameCount;
    const std::int32_t frames = static_cast<std::int32_t>(M - first < lanes ? M - first : lanes);
    const bool imaginaryPart = channel >= inputs.channelCount;
    const std::int64_t c = imaginaryPart ? channel - inputs.channelCount : channel;
    const CoefficientPlanes out = imaginaryPart ? task.imaginaryPart : task.planes;
    const std::int64_t stride = inputs.channelStride != 0
                                    ? inputs.channelStride
                                    : std::int64_t{inputs.signalLength} * inputs.sampleStep;
    const void* part = imaginaryPart ? inputs.signalImag : inputs.signal;

    const std::int64_t N = plan.fftLength;
    double* data = own;
    double* spare = own + (N + plan.width) * elementDoubles;
    double* staging = spare + (N + plan.width) * elementDoubles;
    const auto fill = [&](auto sample) {
        using T = decltype(sample);
        fillFftBatch<T>(plan, *task.kernels, static_cast<const T*>(part) + c * stride, inputs.sampleStep,
                        task.framePlan->hop, first, frames, task.folded, inputs.windowLength, data);
    };
    withSampleType(inputs.signalType, fill);
    double* spectrum = task.kernels->transform(data, spare, task.twiddles, plan.fftLength, task.mirrorFrom);
    // The taps of a frequency near the end wrap round to the start.
    std::memcpy(spectrum + N * elementDoubles, spectrum, sizeof(double) * elementDoubles * plan.width);

    const std::int64_t K = inputs.frequencyCount;
    const std::int64_t H = out.columnHeight;
    const std::int64_t column = c * M + first;
    for (std::int64_t k0 = 0; k0 < K; k0 += fast::frequencyChunk) {
        const std::int32_t count =
            static_cast<std::int32_t>(K - k0 < fast::frequencyChunk ? K - k0 : fast::frequencyChunk);
        task.kernels->interpolate(spectrum, task.taps + k0 * plan.tapStride, plan.tapStride, plan.width,
                                  count, staging);
        const std::int64_t e = k0 + column * H;
        task.kernels->storeCoefficients(staging, count, frames, out.real + e * out.step, out.imag + e * out.step,
                                        out.step, H);
    }
}

void runFastUnits(const FastTask& task, std::int64_t units, double* threadBlocks,
                  std::int64_t threadLength) {
#if defined(SPECTROGRID_OPENMP)
#pragma omp parallel num_threads(threadsOfACall())
    {
        double* own = threadBlocks + omp_get_thread_num() * threadLength;
#pragma omp for schedule(dynamic, 1)
        for (std::int64_t u = 0; u < units; ++u) {
            if (!stopRequested(task.stop)) runFastUnit(task, u, own);
        }
    }
#else
    (void)threadLength;
    for (std::int64_t u = 0; u < units && !stopRequested(task.stop); ++u) runFastUnit(task, u, threadBlocks);
#endif
}

// Doubles of the reduced ratios of K frequencies, a whole number of cache lines.
std::int64_t ratioLength(std::int32_t K) { return (2 * std::int64_t{K} + 7) / 8 * 8; }

void fillRatiosOnce(const AnalysisInputs& inputs, double* ratios) {
    runSetupRange(inputs.frequencyCount <= serialSetupWork, inputs.frequencyCount,
                  [&](std::int64_t begin, std::int64_t end) {
                      fast::fillReducedRatios(inputs.frequencies + begin, static_cast<std::int32_t>(end - begin),
                                              inputs.sampleRate, ratios + 2 * begin);
                  });
}

// The workspace of a call with a window for each frequency within the
// tolerance: the reduced ratios of every frequency, then room that the
// groups of the FFT path use one after another, and then the exact
// kernels of the other groups; 0 when every group runs exactly.
std::int64_t eachWindowWorkspaceLength(const AnalysisInputs& inputs, const FramePlan& framePlan,
                                       double tolerance) {
    if (!(tolerance > 0.0)) return 0;
    bool anyFast = false, anyExact = false;
    std::int64_t shared = 0;
    for (std::int32_t first = 0, end = 0; first < inputs.frequencyCount; first = end) {
        end = groupEnd(inputs, first);
        const FastPlan path = fast::planFastFor(groupInputs(inputs, first, end - first), framePlan, tolerance);
        anyFast = anyFast || path.fast;
        if (path.fast && !path.direct) {
            if (path.length > shared) shared = path.length;
        } else {
            anyExact = true;
        }
    }
    if (!anyFast) return 0;
    const std::int64_t exact = anyExact ? workspaceLength(inputs, framePlan.frameCount) : 0;
    return ratioLength(inputs.frequencyCount) + (exact > shared ? exact : shared);
}

// A call with a window for each frequency within the tolerance, with a
// workspace of eachWindowWorkspaceLength: the groups of the FFT path one
// after another, then the others in one region (accumulateEachWindow),
// which combines a complex signal's parts over every group.
CallOutcome computeEachWindowWithin(const AnalysisInputs& inputs, const FramePlan& framePlan,
                                    const ScratchTables& tables, const CoefficientPlanes& planes,
                                    double* times, double tolerance, double* workspace,
                                    const StopQuery& query) {
    const std::int32_t K = inputs.frequencyCount;
    fillAngularSteps(tables.angularSteps, inputs.windowLength, inputs.sampleRate);
    fillFrameTimes(times, framePlan.frameCount, framePlan.hop, inputs.windowLength, inputs.sampleRate);
    CallStop stop;
    stop.query = query;
    if (stopRequested(&stop)) return CallOutcome::stopped;
    double* ratios = workspace;
    double* shared = workspace + ratioLength(K);
    fillRatiosOnce(inputs, ratios);
    CoefficientPlanes all = planes;
    all.columnHeight = columnHeightOf(planes, K);
    const fast::FastKernels& fastKernels = fast::fastKernelsFor(bestInstructionSet());
    for (std::int32_t first = 0, end = 0; first < K && !stop.stopped; first = end) {
        end = groupEnd(inputs, first);
        const AnalysisInputs group = groupInputs(inputs, first, end - first);
        const FastPlan path = fast::planFastFor(group, framePlan, tolerance);
        if (path.fast && !path.direct) {
            fast::accumulateFast(fastKernels, path, group, framePlan, rowsFrom(tables, first), rowsFrom(all, first),
                                 shared, &stop);
        }
    }
    if (stop.stopped) return CallOutcome::stopped;
    ScratchTables exact = tables;
    exact.workspace = shared;
    accumulateEachWindow(bestKernelSet(), inputs, framePlan, exact, all, &stop, tolerance, ratios);
    return stop.stopped ? CallOutcome::stopped : CallOutcome::finished;
}

}  // namespace

namespace fast {

void fillReducedRatios(const double* frequencies, std::int32_t count, double sampleRate, double* ratios) {
    for (std::int32_t k = 0; k < count; ++k) {
        if (std::isfinite(frequencies[k])) {
            reducedRatio(frequencies[k], sampleRate, &ratios[2 * k], &ratios[2 * k + 1]);
        } else {
            ratios[2 * k] = ratios[2 * k + 1] = std::nan("");
        }
    }
}

FastPlan planFastFor(const AnalysisInputs& inputs, const FramePlan& framePlan, double tolerance,
                     Preference preference) {
    double maxRatio = 0.0;
    for (std::int32_t k = 0; k < inputs.frequencyCount; ++k) {
        const double ratio = std::fabs(inputs.frequencies[k]) / inputs.sampleRate;
        if (!(ratio <= maxRatio)) maxRatio = ratio;
    }
    FastPlan plan = planFast(inputs.windowLength, inputs.frequencyCount, framePlan.frameCount,
                             realChannels(inputs), inputs.signalImag != nullptr, maxRatio, tolerance,
                             workerLimit(), preference);
    if (plan.direct) plan.length += workspaceLength(inputs.windowLength, inputs.frequencyCount, framePlan.frameCount);
    return plan;
}

void accumulateFast(const FastKernels& kernels, const FastPlan& plan, const AnalysisInputs& inputs,
                    const FramePlan& framePlan, const ScratchTables& tables, const CoefficientPlanes& planes,
                    double* workspace, CallStop* stop) {
    const std::int32_t L = inputs.windowLength;
    double* twiddles = workspace + plan.twiddleOffset;
    double* folded = workspace + plan.windowOffset;
    double* taps = workspace + plan.tapOffset;
    // Work of the tables, counted in twiddles, kernel values and products.
    const std::int64_t setupWork = plan.fftLength + std::int64_t{L} * plan.width / 2 +
                                   std::int64_t{inputs.frequencyCount} * plan.width;
    const bool serial = setupWork <= serialSetupWork;
    const KernelSet& sinCosSet = bestKernelSet();
    runSetupRange(serial, plan.fftLength, [&](std::int64_t begin, std::int64_t end) {
        fillFftTwiddles(sinCosSet, plan.fftLength, twiddles, begin, end);
    });
    runSetupRange(serial, L, [&](std::int64_t begin, std::int64_t end) {
        fillFoldedWindow(plan, inputs.window, twiddles, folded, begin, end);
    });
    runSetupRange(serial, inputs.frequencyCount, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t k = begin; k < end; ++k) {
            fillTaps(plan, kernels, inputs.frequencies[k], inputs.sampleRate, taps + k * plan.tapStride);
        }
    });

    const std::int64_t H = columnHeightOf(planes, inputs.frequencyCount);
    FastTask task;
    task.kernels = &kernels;
    task.plan = &plan;
    task.inputs = &inputs;
    task.framePlan = &framePlan;
    task.planes = planes;
    task.planes.columnHeight = H;
    task.imaginaryPart = {tables.imaginaryPart, tables.imaginaryPart != nullptr ? tables.imaginaryPart + 1 : nullptr,
                          2, H};
    task.twiddles = twiddles;
    task.folded = folded;
    task.taps = taps;
    task.batches = (framePlan.frameCount + lanes - 1) / lanes;
    task.stop = stop;
    // Spectrum elements past N/2 that some frequency's taps read: the real
    // spectrum's pass writes their mirrors from there on only.
    task.mirrorFrom = plan.fftLength;
    for (std::int64_t k = 0; k < inputs.frequencyCount; ++k) {
        const std::int64_t first = static_cast<std::int64_t>(taps[k * plan.tapStride]);
        if (first + plan.width - 1 > plan.fftLength / 2) {
            const std::int64_t from = first > plan.fftLength / 2 ? first : plan.fftLength / 2 + 1;
            if (from < task.mirrorFrom) task.mirrorFrom = static_cast<std::int32_t>(from);
        }
    }
    runFastUnits(task, task.batches * realChannels(inputs), workspace + plan.threadOffset, plan.threadLength);
}

CallOutcome computeFastWith(const FastKernels& kernels, const KernelSet& exactKernels, const FastPlan& plan,
                            const AnalysisInputs& inputs, const FramePlan& framePlan,
                            const ScratchTables& tables, const CoefficientPlanes& planes,
                            double* times, double* workspace, const StopQuery& query) {
    fillAngularSteps(tables.angularSteps, inputs.windowLength, inputs.sampleRate);
    fillFrameTimes(times, framePlan.frameCount, framePlan.hop, inputs.windowLength, inputs.sampleRate);
    CallStop stop;
    stop.query = query;
    // Asked once before any work too, so that a stop already pending ends
    // the call at once.
    if (stopRequested(&stop)) return CallOutcome::stopped;
    if (plan.direct) {
        // The exact kernels with each frequency's reduced ratio; they
        // combine a complex signal's parts themselves.
        double* ratios = workspace + plan.tapOffset;
        fillRatiosOnce(inputs, ratios);
        ScratchTables exact = tables;
        exact.workspace = workspace + plan.threadOffset;
        accumulatePlainCall(exactKernels, inputs, framePlan, exact, planes, ratios, &stop);
    } else {
        accumulateFast(kernels, plan, inputs, framePlan, tables, planes, workspace, &stop);
        if (!stop.stopped) combineImaginaryPart(inputs, framePlan, tables, planes);
    }
    return stop.stopped ? CallOutcome::stopped : CallOutcome::finished;
}

}  // namespace fast

std::int64_t toleranceWorkspaceLength(const AnalysisInputs& inputs, const FramePlan& plan,
                                      double tolerance) {
    if (inputs.windows != nullptr) return eachWindowWorkspaceLength(inputs, plan, tolerance);
    return fast::planFastFor(inputs, plan, tolerance).length;
}

bool toleranceAttainable(std::int32_t windowLength, std::int32_t frequencyCount,
                         std::int32_t frameCount, std::int32_t realChannels, bool complexSignal,
                         double largestFrequencyRatio, bool windowPerFrequency, double tolerance) {
    if (!(tolerance > 0.0) || windowLength < 1 || frequencyCount < 1 || frameCount < 1 ||
        realChannels < 1) {
        return true;
    }
    const auto attainable = [&](std::int32_t L) {
        const fast::FastPlan plan = fast::planFast(L, frequencyCount, frameCount, realChannels, complexSignal,
                                                   largestFrequencyRatio, tolerance, workerLimit());
        return plan.exactBound <= tolerance || plan.fast;
    };
    if (!attainable(windowLength)) return false;
    // A window for each frequency: the groups' windows may be of any length
    // up to the longest. The exact and direct bounds grow with the length,
    // and so does the FFT path's over the windows that share an FFT length
    // (the longest, N/2 samples, fills the most of it): every length is
    // attainable when these are.
    for (std::int32_t half = 8; windowPerFrequency && half < windowLength; half *= 2) {
        if (!attainable(half)) return false;
    }
    return true;
}

CallOutcome computeCoefficientsWithin(const AnalysisInputs& inputs, const FramePlan& plan,
                                      const ScratchTables& tables, const CoefficientPlanes& planes,
                                      double* times, double tolerance, double* fastWorkspace,
                                      const StopQuery& stop) {
    if (inputs.windows != nullptr) {
        if (fastWorkspace == nullptr || eachWindowWorkspaceLength(inputs, plan, tolerance) == 0) {
            return computeCoefficients(inputs, plan, tables, planes, times, stop);
        }
        return computeEachWindowWithin(inputs, plan, tables, planes, times, tolerance, fastWorkspace, stop);
    }
    const fast::FastPlan fastPlan = fast::planFastFor(inputs, plan, tolerance);
    if (!fastPlan.fast || fastWorkspace == nullptr) {
        return computeCoefficients(inputs, plan, tables, planes, times, stop);
    }
    return fast::computeFastWith(fast::fastKernelsFor(bestInstructionSet()), bestKernelSet(), fastPlan, inputs,
                                 plan, tables, planes, times, fastWorkspace, stop);
}

}  // namespace spectrogrid
