// The computation of one call: the per-frequency operations (twiddle
// tables, frame accumulation), the blocked form that runs the units of an
// accumulation plan on the threads, and the form with a window for each
// frequency, which runs each group of frequencies sharing a window as a
// plain call of its own into its rows of the planes (with a tolerance, on
// the path the fast mode's plan picks for the group).
#include "spectrogrid_core.h"

#include <cstring>

#include "driver/accumulation_plan.h"
#include "driver/compute.h"
#include "driver/kernel_sets.h"
#include "driver/stopping.h"
#include "driver/threads.h"
#include "fast/fast.h"
#include "sincos/sincos.h"

namespace spectrogrid {

namespace {

void fillTwiddleRange(const double* angularSteps, double frequency, double* cosTable,
                      double* sinTable, std::int64_t begin, std::int64_t end) {
    for (std::int64_t i = begin; i < end; ++i) {
        const double theta = angularSteps[i] * frequency;
        sinCos(theta, &sinTable[i], &cosTable[i]);
    }
}

std::int64_t channelStrideOf(const AnalysisInputs& inputs) {
    return inputs.channelStride != 0 ? inputs.channelStride
                                     : std::int64_t{inputs.signalLength} * inputs.sampleStep;
}

// No offset may be applied to a null pointer (an empty array's).
template <typename T>
T* offsetBy(T* p, std::int64_t elements) {
    return p != nullptr ? p + elements : p;
}

// The planes with their column height spelt out.
CoefficientPlanes withHeight(const CoefficientPlanes& planes, std::int32_t frequencyCount) {
    CoefficientPlanes resolved = planes;
    resolved.columnHeight = columnHeightOf(planes, frequencyCount);
    return resolved;
}

// The coefficients of the imaginary part of a complex signal: interleaved,
// with the column height of the planes. A real signal has none.
CoefficientPlanes imaginaryPlanesOf(const ScratchTables& tables, std::int64_t columnHeight) {
    return {tables.imaginaryPart, offsetBy(tables.imaginaryPart, 1), 2, columnHeight};
}

// The task of the kernels for a call (or a group of a call's frequencies,
// as a plain call) with this plan: its coefficients into `planes`, a
// complex signal's imaginary part into the scratch of `tables`, phases from
// the angular steps or, given reduced ratios, from those.
KernelTask kernelTaskOf(const AnalysisInputs& inputs, const FramePlan& framePlan, const ScratchTables& tables,
                        const CoefficientPlanes& planes, const AccumulationPlan& plan, CallStop* stop,
                        const double* reducedRatios) {
    KernelTask task;
    task.inputs = &inputs;
    task.hop = framePlan.hop;
    task.frameCount = framePlan.frameCount;
    task.angularSteps = tables.angularSteps;
    task.planes = planes;
    task.plan = plan;
    task.channels = realChannels(inputs);
    task.imaginaryPart = imaginaryPlanesOf(tables, planes.columnHeight);
    task.stop = stop;
    task.reducedRatios = reducedRatios;
    return task;
}

// Whether a frequency with a window of its own takes the FFT path within
// the tolerance (never in the exact mode, tolerance 0).
bool takesFftPath(const AnalysisInputs& inputs, const FramePlan& framePlan, double tolerance, std::int32_t k) {
    if (!(tolerance > 0.0)) return false;
    const fast::FastPlan path = fast::planFastFor(groupInputs(inputs, k, 1), framePlan, tolerance);
    return path.fast && !path.direct;
}

// One past the last frequency of the run of consecutive groups of one from
// `first` on (whose group ends at `end`), which the own-window kernel takes
// together: `end` itself when that group is not of one, the run has no
// second frequency or the kernels have no frame lanes. Within a tolerance,
// frequencies of the FFT path end a run (they are computed apart).
std::int32_t ownWindowRunEnd(const KernelSet& kernels, const AnalysisInputs& inputs, const FramePlan& framePlan,
                             double tolerance, std::int32_t first, std::int32_t end) {
    if (kernels.frameFrequencies < 1 || end != first + 1) return end;
    if (takesFftPath(inputs, framePlan, tolerance, first)) return end;
    std::int32_t runEnd = end;
    while (runEnd < inputs.frequencyCount && groupEnd(inputs, runEnd) == runEnd + 1 &&
           !takesFftPath(inputs, framePlan, tolerance, runEnd)) {
        ++runEnd;
    }
    return runEnd > first + 1 ? runEnd : end;
}

// Frames [beginFrame, endFrame) of one real channel whose samples, of type
// T, start at `samples`, with the twiddles of frequency k.
template <typename T>
void accumulateChannelFrames(const AnalysisInputs& inputs, const FramePlan& plan,
                             const ScratchTables& tables, const CoefficientPlanes& out,
                             std::int64_t column, const void* samples, std::int32_t k,
                             std::int64_t beginFrame, std::int64_t endFrame) {
    const std::int32_t L = inputs.windowLength;
    const double* window = inputs.window;
    const double* cosTable = tables.cosTable;
    const double* sinTable = tables.sinTable;
    const std::int64_t H = out.columnHeight;
    const std::int64_t sampleStep = inputs.sampleStep;
    for (std::int64_t j = beginFrame; j < endFrame; ++j) {
        const T* frame = static_cast<const T*>(samples) + j * plan.hop * sampleStep;
        double re = 0.0;
        double im = 0.0;
        for (std::int32_t i = 0; i < L; ++i) {
            const double p = static_cast<double>(frame[i * sampleStep]) * window[i];
            re = re + p * cosTable[i];
            im = im - p * sinTable[i];
        }
        out.real[(k + (column + j) * H) * out.step] = re;
        out.imag[(k + (column + j) * H) * out.step] = im;
    }
}

// Frames of real channel `channel` (the channels of the real parts, then
// those of the imaginary parts), with the twiddles of frequency k.
void accumulateFrameRange(const AnalysisInputs& inputs, const FramePlan& plan,
                          const ScratchTables& tables, const CoefficientPlanes& planes,
                          std::int32_t k, std::int64_t channel, std::int64_t beginFrame,
                          std::int64_t endFrame) {
    const bool imaginaryPart = channel >= inputs.channelCount;
    const std::int64_t c = imaginaryPart ? channel - inputs.channelCount : channel;
    const CoefficientPlanes out = imaginaryPart ? imaginaryPlanesOf(tables, planes.columnHeight) : planes;
    const std::int64_t column = c * plan.frameCount;
    const std::int64_t first = c * channelStrideOf(inputs);
    const void* part = imaginaryPart ? inputs.signalImag : inputs.signal;
    const auto run = [&](auto sample) {
        using T = decltype(sample);
        accumulateChannelFrames<T>(inputs, plan, tables, out, column, static_cast<const T*>(part) + first, k,
                                   beginFrame, endFrame);
    };
    withSampleType(inputs.signalType, run);
}

// C = A + iB for the coefficients [begin, end) of the first `rows` rows of
// the planes, counted down the columns: A in the planes, B in the
// imaginary part's coefficients, laid out alike.
void combineParts(const ScratchTables& tables, const CoefficientPlanes& planes, std::int64_t rows,
                  std::int64_t begin, std::int64_t end) {
    const CoefficientPlanes part = imaginaryPlanesOf(tables, planes.columnHeight);
    const std::int64_t H = planes.columnHeight;
    for (std::int64_t at = begin; at < end;) {
        const std::int64_t column = at / rows;
        const std::int64_t row = at % rows;
        const std::int64_t last = end - at < rows - row ? row + (end - at) : rows;
        for (std::int64_t e = row + column * H; e < last + column * H; ++e) {
            const double re = planes.real[e * planes.step] - part.imag[e * 2];
            const double im = planes.imag[e * planes.step] + part.real[e * 2];
            planes.real[e * planes.step] = re;
            planes.imag[e * planes.step] = im;
        }
        at += last - row;
    }
}

// The per-frequency form, for a caller that provides no workspace.
void computeEachFrequency(const AnalysisInputs& inputs, const FramePlan& plan,
                          const ScratchTables& tables, const CoefficientPlanes& planes,
                          CallStop* stop) {
    for (std::int32_t k = 0; k < inputs.frequencyCount; ++k) {
        if (stopRequested(stop)) return;
        fillTwiddles(inputs, tables, k);
        accumulateFrames(inputs, plan, tables, planes, k);
    }
}

void runUnit(const KernelSet& kernels, const KernelTask& task, std::int64_t index,
             double* workspace) {
    Orientation orientation;
    const UnitRange unit =
        unitAt(task.plan, task.inputs->frequencyCount, task.frameCount, index, &orientation);
    if (orientation == Orientation::frequencyLanes) {
        kernels.accumulateFrequencyLaneUnit(task, unit, workspace);
    } else {
        kernels.accumulateFrameLaneUnit(task, unit, workspace);
    }
}

// Every coefficient of the call. The threads take units one at a time as
// they finish the previous one, so that a thread slowed by other work on
// its processor does not hold the others up; each unit writes only its own
// rectangle of the planes, and each thread uses only its own part of the
// workspace. Once the call must stop, the units left are skipped (an
// OpenMP loop cannot be left early), and the region ends when every thread
// has finished the unit it was on.
void accumulateAllUnits(const KernelSet& kernels, const KernelTask& task, double* workspace) {
    const std::int64_t units = unitCount(task.plan, task.inputs->frequencyCount, task.frameCount);
#if defined(SPECTROGRID_OPENMP)
#pragma omp parallel num_threads(threadsOfACall())
    {
        double* own = workspace + omp_get_thread_num() * task.plan.threadWorkspace;
#pragma omp for schedule(dynamic, 1)
        for (std::int64_t u = 0; u < units; ++u) {
            if (!stopRequested(task.stop)) runUnit(kernels, task, u, own);
        }
    }
#else
    for (std::int64_t u = 0; u < units && !stopRequested(task.stop); ++u) {
        runUnit(kernels, task, u, workspace);
    }
#endif
}

// Every coefficient of a plain call (one window, angular steps filled), in
// planes whose column height is spelt out, and a complex signal's parts
// combined; the twiddles from the reduced ratios when they are given
// (KernelTask).
void accumulateCall(const KernelSet& kernels, const AccumulationPlan& plan, const AnalysisInputs& inputs,
                    const FramePlan& framePlan, const ScratchTables& tables, const CoefficientPlanes& planes,
                    const double* reducedRatios, CallStop* stop) {
    const std::int32_t K = inputs.frequencyCount;
    if (K < 1 || framePlan.frameCount < 1 || inputs.windowLength < 1 || realChannels(inputs) < 1) return;
    if (tables.workspace == nullptr) {
        computeEachFrequency(inputs, framePlan, tables, planes, stop);
        return;
    }
    const KernelTask task = kernelTaskOf(inputs, framePlan, tables, planes, plan, stop, reducedRatios);
    accumulateAllUnits(kernels, task, tables.workspace);
    if (stop->stopped) return;
    combineImaginaryPart(inputs, framePlan, tables, planes);
}

}  // namespace

// Every coefficient of a call with a window for each frequency: each group
// of consecutive frequencies sharing a window as a plain call into its rows
// of the planes, and each run of consecutive frequencies with distinct
// windows (groups of one) in units of the own-window kernel, all in one
// parallel region. Every thread works out the groups, runs and their plans
// itself (the same ones) and takes units of each as they come, going on to
// the next one's without waiting for the others: a unit writes only its own
// coefficients. Each thread has its own part of the workspace, as large as
// the largest plan of any group or run needs. A complex signal's parts are
// combined last, in one pass. Within a tolerance, groups of the FFT path
// are skipped (computed before), groups the exact sums' rounding would miss
// take the reduced ratios, and runs of distinct windows take them always:
// for a tolerance of at least 1e-12 the direct bound is within it wherever
// the exact bound is.
void accumulateEachWindow(const KernelSet& kernels, const AnalysisInputs& inputs, const FramePlan& framePlan,
                          const ScratchTables& tables, const CoefficientPlanes& planes, CallStop* stop,
                          double tolerance, const double* reducedRatios) {
    const std::int32_t K = inputs.frequencyCount;
    const std::int32_t channels = realChannels(inputs);
    if (K < 1 || framePlan.frameCount < 1 || channels < 1) return;
    const int threads = threadsOfACall();
#if defined(SPECTROGRID_OPENMP)
    const std::int64_t threadWorkspace = workspaceLength(inputs, framePlan.frameCount) / workerLimit();
#pragma omp parallel num_threads(threads)
#endif
    {
#if defined(SPECTROGRID_OPENMP)
        double* own = tables.workspace + omp_get_thread_num() * threadWorkspace;
#else
        double* own = tables.workspace;
#endif
        for (std::int32_t first = 0, end = 0; first < K; first = end) {
            end = groupEnd(inputs, first);
            const std::int32_t runEnd = ownWindowRunEnd(kernels, inputs, framePlan, tolerance, first, end);
            if (runEnd > end) {
                end = runEnd;
                const AccumulationPlan plan =
                    planOwnWindows(kernels, inputs.windowLengths + first, end - first, inputs.windowLength,
                                   framePlan.frameCount, framePlan.hop, channels, threads);
                const KernelTask task = kernelTaskOf(inputs, framePlan, tables, planes, plan, stop,
                                                     tolerance > 0.0 ? reducedRatios : nullptr);
                const std::int64_t units = unitCount(task.plan, end - first, framePlan.frameCount);
#if defined(SPECTROGRID_OPENMP)
#pragma omp for schedule(dynamic, 1) nowait
#endif
                for (std::int64_t u = 0; u < units; ++u) {
                    if (stopRequested(stop)) continue;
                    Orientation orientation;
                    UnitRange unit = unitAt(task.plan, end - first, framePlan.frameCount, u, &orientation);
                    unit.kBegin += first;
                    unit.kEnd += first;
                    kernels.accumulateOwnWindowUnit(task, unit, own);
                }
                continue;
            }
            const AnalysisInputs group = groupInputs(inputs, first, end - first);
            const fast::FastPlan path =
                tolerance > 0.0 ? fast::planFastFor(group, framePlan, tolerance) : fast::FastPlan{};
            if (path.fast && !path.direct) continue;
            const AccumulationPlan plan = planAccumulation(kernels, group.windowLength, group.frequencyCount,
                                                           framePlan.frameCount, framePlan.hop, channels, threads);
            const KernelTask task =
                kernelTaskOf(group, framePlan, rowsFrom(tables, first), rowsFrom(planes, first), plan, stop,
                             path.direct ? reducedRatios + 2 * std::int64_t{first} : nullptr);
            const std::int64_t units = unitCount(task.plan, group.frequencyCount, framePlan.frameCount);
#if defined(SPECTROGRID_OPENMP)
#pragma omp for schedule(dynamic, 1) nowait
#endif
            for (std::int64_t u = 0; u < units; ++u) {
                if (!stopRequested(stop)) runUnit(kernels, task, u, own);
            }
        }
    }
    if (stop->stopped) return;
    combineImaginaryPart(inputs, framePlan, tables, planes);
}

void accumulatePlainCall(const KernelSet& kernels, const AnalysisInputs& inputs, const FramePlan& framePlan,
                         const ScratchTables& tables, const CoefficientPlanes& planes,
                         const double* reducedRatios, CallStop* stop) {
    const AccumulationPlan plan = planAccumulation(kernels, inputs.windowLength, inputs.frequencyCount,
                                                   framePlan.frameCount, framePlan.hop, realChannels(inputs),
                                                   threadsOfACall());
    accumulateCall(kernels, plan, inputs, framePlan, tables, withHeight(planes, inputs.frequencyCount),
                   reducedRatios, stop);
}

CoefficientPlanes rowsFrom(const CoefficientPlanes& planes, std::int64_t first) {
    return {offsetBy(planes.real, first * planes.step), offsetBy(planes.imag, first * planes.step),
            planes.step, planes.columnHeight};
}

ScratchTables rowsFrom(const ScratchTables& tables, std::int64_t first) {
    ScratchTables rows = tables;
    rows.imaginaryPart = offsetBy(tables.imaginaryPart, 2 * first);
    return rows;
}

// Frame j of the plain call's plan starts d = floor((L - L_first) / 2)
// samples into frame j of the whole call.
AnalysisInputs groupInputs(const AnalysisInputs& inputs, std::int32_t first, std::int32_t count) {
    AnalysisInputs group = inputs;
    const std::int32_t length = inputs.windowLengths[first];
    const std::int64_t shift = (std::int64_t{inputs.windowLength} - length) / 2 * inputs.sampleStep;
    const std::int64_t bytes = bytesPerSample(inputs.signalType);
    group.channelStride = channelStrideOf(inputs);
    group.signal = offsetBy(static_cast<const char*>(inputs.signal), shift * bytes);
    group.signalImag = offsetBy(static_cast<const char*>(inputs.signalImag), shift * bytes);
    group.signalLength = inputs.signalLength - (inputs.windowLength - length) / 2;
    group.window = inputs.windows[first];
    group.windowLength = length;
    group.frequencies = inputs.frequencies + first;
    group.frequencyCount = count;
    group.windows = nullptr;
    group.windowLengths = nullptr;
    return group;
}

std::int32_t groupEnd(const AnalysisInputs& inputs, std::int32_t first) {
    const double* window = inputs.windows[first];
    const std::int32_t length = inputs.windowLengths[first];
    std::int32_t end = first + 1;
    while (end < inputs.frequencyCount && inputs.windowLengths[end] == length &&
           (inputs.windows[end] == window ||
            std::memcmp(inputs.windows[end], window, sizeof(double) * length) == 0)) {
        ++end;
    }
    return end;
}

void fillTwiddles(const AnalysisInputs& inputs, const ScratchTables& tables, std::int32_t k) {
    if (inputs.windows != nullptr) {
        // As many entries as frequency k's window has.
        AnalysisInputs own = inputs;
        own.windowLength = inputs.windowLengths[k];
        own.windows = nullptr;
        own.windowLengths = nullptr;
        fillTwiddles(own, tables, k);
        return;
    }
    const double frequency = inputs.frequencies[k];
    runParallelRange(inputs.windowLength, [&](std::int64_t begin, std::int64_t end) {
        fillTwiddleRange(tables.angularSteps, frequency, tables.cosTable, tables.sinTable, begin,
                         end);
    });
}

void accumulateFrames(const AnalysisInputs& inputs, const FramePlan& plan,
                      const ScratchTables& tables, const CoefficientPlanes& planes,
                      std::int32_t k) {
    const CoefficientPlanes resolved = withHeight(planes, inputs.frequencyCount);
    if (inputs.windows != nullptr) {
        if (plan.frameCount < 1) return;
        accumulateFrames(groupInputs(inputs, k, 1), plan, rowsFrom(tables, k), rowsFrom(resolved, k), 0);
        return;
    }
    const std::int64_t frames = plan.frameCount > 0 ? plan.frameCount : 0;
    const std::int64_t channels = realChannels(inputs);
    runParallelRange(frames * channels, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t at = begin; at < end;) {
            const std::int64_t channel = at / frames;
            const std::int64_t j = at % frames;
            const std::int64_t last = end - at < frames - j ? j + (end - at) : frames;
            accumulateFrameRange(inputs, plan, tables, resolved, k, channel, j, last);
            at += last - j;
        }
    });
    if (inputs.signalImag != nullptr) {
        // Row k of every column of every channel.
        const std::int64_t columns = frames * inputs.channelCount;
        runParallelRange(columns, [&](std::int64_t begin, std::int64_t end) {
            combineParts(rowsFrom(tables, k), rowsFrom(resolved, k), 1, begin, end);
        });
    }
}

void combineImaginaryPart(const AnalysisInputs& inputs, const FramePlan& framePlan,
                          const ScratchTables& tables, const CoefficientPlanes& planes) {
    if (inputs.signalImag == nullptr) return;
    const std::int32_t K = inputs.frequencyCount;
    const CoefficientPlanes all = withHeight(planes, K);
    const std::int64_t cells = std::int64_t{K} * framePlan.frameCount * inputs.channelCount;
    runParallelRange(cells, [&](std::int64_t begin, std::int64_t end) {
        combineParts(tables, all, K, begin, end);
    });
}

std::int32_t realChannels(const AnalysisInputs& inputs) {
    const std::int32_t channels = inputs.channelCount > 0 ? inputs.channelCount : 0;
    return inputs.signalImag != nullptr ? 2 * channels : channels;
}

std::int64_t imaginaryPartLength(std::int32_t frequencyCount, std::int32_t frameCount,
                                 std::int32_t channelCount, bool complexSignal) {
    if (!complexSignal || frequencyCount < 1 || frameCount < 1 || channelCount < 1) return 0;
    return 2 * std::int64_t{frequencyCount} * frameCount * channelCount;
}

std::int64_t workspaceLength(std::int32_t windowLength, std::int32_t frequencyCount,
                             std::int32_t frameCount) {
    if (windowLength < 1 || frequencyCount < 1 || frameCount < 1) return 0;
    std::int64_t largest = 0;
    for (int s = 0; s < kernelSetCount; ++s) {
        const std::int64_t length = largestThreadWorkspace(*kernelSets[s], windowLength, frequencyCount);
        if (length > largest) largest = length;
    }
    return workerLimit() * largest;
}

std::int64_t workspaceLength(const AnalysisInputs& inputs, std::int32_t frameCount) {
    if (inputs.windows == nullptr) return workspaceLength(inputs.windowLength, inputs.frequencyCount, frameCount);
    // The plans of shorter windows use shorter tiles, but not always less
    // workspace: the most any window's length needs, with every frequency,
    // and the own-window units' if the call has a run of distinct windows.
    std::int64_t largest = 0;
    bool ownWindowRun = false;
    for (std::int32_t first = 0, end = 0, previous = 0; first < inputs.frequencyCount; previous = first, first = end) {
        end = groupEnd(inputs, first);
        if (first > 0 && first == previous + 1 && end == first + 1) ownWindowRun = true;
    }
    for (std::int32_t k = 0; k < inputs.frequencyCount; ++k) {
        if (k > 0 && inputs.windowLengths[k] == inputs.windowLengths[k - 1]) continue;
        const std::int64_t length = workspaceLength(inputs.windowLengths[k], inputs.frequencyCount, frameCount);
        if (length > largest) largest = length;
    }
    if (ownWindowRun && frameCount >= 1) {
        for (int s = 0; s < kernelSetCount; ++s) {
            const std::int64_t length = workerLimit() * largestOwnWindowWorkspace(*kernelSets[s], inputs.windowLength);
            if (length > largest) largest = length;
        }
    }
    return largest;
}

namespace {

// The angular steps of the (longest) window, which serve every window, and
// the frame times.
void fillAxes(const AnalysisInputs& inputs, const FramePlan& framePlan, const ScratchTables& tables,
              double* times) {
    fillAngularSteps(tables.angularSteps, inputs.windowLength, inputs.sampleRate);
    fillFrameTimes(times, framePlan.frameCount, framePlan.hop, inputs.windowLength, inputs.sampleRate);
}

}  // namespace

CallOutcome computeCoefficientsWith(const KernelSet& kernels, const AccumulationPlan& plan,
                                    const AnalysisInputs& inputs, const FramePlan& framePlan,
                                    const ScratchTables& tables, const CoefficientPlanes& planes,
                                    double* times, const StopQuery& query) {
    const std::int32_t K = inputs.frequencyCount;
    CallStop stop;
    stop.query = query;
    fillAxes(inputs, framePlan, tables, times);
    if (K < 1) return CallOutcome::finished;
    if (framePlan.frameCount >= 1 && inputs.windowLength >= 1 && realChannels(inputs) >= 1) {
        // Asked once before any work too, so that a stop already pending
        // when the call starts is seen whatever units thread 0 gets.
        if (stopRequested(&stop)) return CallOutcome::stopped;
        accumulateCall(kernels, plan, inputs, framePlan, tables, withHeight(planes, K), nullptr, &stop);
        if (stop.stopped) return CallOutcome::stopped;
    }
    // The tables end holding the twiddles of the last frequency, as after
    // the per-frequency form.
    fillTwiddles(inputs, tables, K - 1);
    return CallOutcome::finished;
}

CallOutcome computeCoefficientsWith(const KernelSet& kernels, const AnalysisInputs& inputs,
                                    const FramePlan& framePlan, const ScratchTables& tables,
                                    const CoefficientPlanes& planes, double* times,
                                    const StopQuery& query) {
    const std::int32_t channels = realChannels(inputs);
    if (inputs.windows == nullptr) {
        const AccumulationPlan plan = planAccumulation(kernels, inputs.windowLength, inputs.frequencyCount,
                                                       framePlan.frameCount, framePlan.hop, channels,
                                                       threadsOfACall());
        return computeCoefficientsWith(kernels, plan, inputs, framePlan, tables, planes, times, query);
    }
    const std::int32_t K = inputs.frequencyCount;
    CallStop stop;
    stop.query = query;
    fillAxes(inputs, framePlan, tables, times);
    if (K < 1) return CallOutcome::finished;
    if (framePlan.frameCount >= 1 && realChannels(inputs) >= 1 && stopRequested(&stop)) {
        return CallOutcome::stopped;
    }
    const CoefficientPlanes all = withHeight(planes, K);
    if (tables.workspace == nullptr) {
        computeEachFrequency(inputs, framePlan, tables, all, &stop);
        return stop.stopped ? CallOutcome::stopped : CallOutcome::finished;
    }
    accumulateEachWindow(kernels, inputs, framePlan, tables, all, &stop);
    if (stop.stopped) return CallOutcome::stopped;
    fillTwiddles(inputs, tables, K - 1);
    return CallOutcome::finished;
}

CallOutcome computeCoefficients(const AnalysisInputs& inputs, const FramePlan& plan,
                                const ScratchTables& tables, const CoefficientPlanes& planes,
                                double* times, const StopQuery& stop) {
    return computeCoefficientsWith(bestKernelSet(), inputs, plan, tables, planes, times, stop);
}

}  // namespace spectrogrid
