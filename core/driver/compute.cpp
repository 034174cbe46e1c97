// The computation of one call: the per-frequency operations (twiddle
// tables, frame accumulation), and the blocked form that runs the units of
// an accumulation plan on the threads.
#include "spectrogrid.h"

#include "accumulate/kernels.h"
#include "driver/stopping.h"
#include "driver/threads.h"
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

// The coefficients of the imaginary part of a complex signal: interleaved.
// A real signal has none (and no offset may be applied to a null pointer).
CoefficientPlanes imaginaryPlanesOf(const ScratchTables& tables) {
    if (tables.imaginaryPart == nullptr) return {nullptr, nullptr, 2};
    return {tables.imaginaryPart, tables.imaginaryPart + 1, 2};
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
    const std::int64_t K = inputs.frequencyCount;
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
        out.real[(k + (column + j) * K) * out.step] = re;
        out.imag[(k + (column + j) * K) * out.step] = im;
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
    const CoefficientPlanes out = imaginaryPart ? imaginaryPlanesOf(tables) : planes;
    const std::int64_t column = c * plan.frameCount;
    const std::int64_t first = c * channelStrideOf(inputs);
    const void* part = imaginaryPart ? inputs.signalImag : inputs.signal;
    const auto run = [&](auto sample) {
        using T = decltype(sample);
        accumulateChannelFrames<T>(inputs, plan, tables, out, column, static_cast<const T*>(part) + first, k,
                                   beginFrame, endFrame);
    };
    switch (inputs.signalType) {
        case SampleType::float64: run(double{}); break;
        case SampleType::float32: run(float{}); break;
        case SampleType::int8: run(std::int8_t{}); break;
        case SampleType::uint8: run(std::uint8_t{}); break;
        case SampleType::int16: run(std::int16_t{}); break;
        case SampleType::uint16: run(std::uint16_t{}); break;
        case SampleType::int32: run(std::int32_t{}); break;
        case SampleType::uint32: run(std::uint32_t{}); break;
    }
}

// C = A + iB for coefficients [begin, end) (indices e of the planes): A in
// the planes, B in the imaginary part's coefficients.
void combineParts(const ScratchTables& tables, const CoefficientPlanes& planes, std::int64_t begin,
                  std::int64_t end, std::int64_t stride) {
    const CoefficientPlanes part = imaginaryPlanesOf(tables);
    for (std::int64_t e = begin; e < end; e += stride) {
        const double re = planes.real[e * planes.step] - part.imag[e * 2];
        const double im = planes.imag[e * planes.step] + part.real[e * 2];
        planes.real[e * planes.step] = re;
        planes.imag[e * planes.step] = im;
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

}  // namespace

void fillTwiddles(const AnalysisInputs& inputs, const ScratchTables& tables, std::int32_t k) {
    const double frequency = inputs.frequencies[k];
    runParallelRange(inputs.windowLength, [&](std::int64_t begin, std::int64_t end) {
        fillTwiddleRange(tables.angularSteps, frequency, tables.cosTable, tables.sinTable, begin,
                         end);
    });
}

void accumulateFrames(const AnalysisInputs& inputs, const FramePlan& plan,
                      const ScratchTables& tables, const CoefficientPlanes& planes,
                      std::int32_t k) {
    const std::int64_t frames = plan.frameCount > 0 ? plan.frameCount : 0;
    const std::int64_t channels = realChannels(inputs);
    runParallelRange(frames * channels, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t at = begin; at < end;) {
            const std::int64_t channel = at / frames;
            const std::int64_t j = at % frames;
            const std::int64_t last = end - at < frames - j ? j + (end - at) : frames;
            accumulateFrameRange(inputs, plan, tables, planes, k, channel, j, last);
            at += last - j;
        }
    });
    if (inputs.signalImag != nullptr) {
        // Row k of every channel: elements k, k + K, k + 2K, ...
        const std::int64_t K = inputs.frequencyCount;
        const std::int64_t columns = frames * inputs.channelCount;
        runParallelRange(columns, [&](std::int64_t begin, std::int64_t end) {
            combineParts(tables, planes, k + begin * K, k + end * K, K);
        });
    }
}

void combineImaginaryPart(const AnalysisInputs& inputs, const FramePlan& framePlan,
                          const ScratchTables& tables, const CoefficientPlanes& planes) {
    if (inputs.signalImag == nullptr) return;
    const std::int64_t cells =
        std::int64_t{inputs.frequencyCount} * framePlan.frameCount * inputs.channelCount;
    runParallelRange(cells, [&](std::int64_t begin, std::int64_t end) {
        combineParts(tables, planes, begin, end, 1);
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

CallOutcome computeCoefficientsWith(const KernelSet& kernels, const AccumulationPlan& plan,
                                    const AnalysisInputs& inputs, const FramePlan& framePlan,
                                    const ScratchTables& tables, const CoefficientPlanes& planes,
                                    double* times, const StopQuery& query) {
    const std::int32_t L = inputs.windowLength;
    const std::int32_t K = inputs.frequencyCount;
    CallStop stop;
    stop.query = query;
    fillAngularSteps(tables.angularSteps, L, inputs.sampleRate);
    fillFrameTimes(times, framePlan.frameCount, framePlan.hop, L, inputs.sampleRate);
    if (K < 1) return CallOutcome::finished;
    if (framePlan.frameCount >= 1 && L >= 1 && realChannels(inputs) >= 1) {
        // Asked once before any work too, so that a stop already pending
        // when the call starts is seen whatever units thread 0 gets.
        if (stopRequested(&stop)) return CallOutcome::stopped;
        if (tables.workspace == nullptr) {
            computeEachFrequency(inputs, framePlan, tables, planes, &stop);
            return stop.stopped ? CallOutcome::stopped : CallOutcome::finished;
        }
        KernelTask task;
        task.inputs = &inputs;
        task.hop = framePlan.hop;
        task.frameCount = framePlan.frameCount;
        task.angularSteps = tables.angularSteps;
        task.planes = planes;
        task.plan = plan;
        task.channels = realChannels(inputs);
        task.imaginaryPart = imaginaryPlanesOf(tables);
        task.stop = &stop;
        accumulateAllUnits(kernels, task, tables.workspace);
        if (stop.stopped) return CallOutcome::stopped;
        combineImaginaryPart(inputs, framePlan, tables, planes);
    }
    // The tables end holding the twiddles of the last frequency, as after
    // the per-frequency form.
    fillTwiddles(inputs, tables, K - 1);
    return CallOutcome::finished;
}

CallOutcome computeCoefficientsWith(const KernelSet& kernels, const AnalysisInputs& inputs,
                                    const FramePlan& framePlan, const ScratchTables& tables,
                                    const CoefficientPlanes& planes, double* times,
                                    const StopQuery& stop) {
    const AccumulationPlan plan =
        planAccumulation(kernels, inputs.windowLength, inputs.frequencyCount, framePlan.frameCount,
                         framePlan.hop, realChannels(inputs), threadsOfACall());
    return computeCoefficientsWith(kernels, plan, inputs, framePlan, tables, planes, times, stop);
}

CallOutcome computeCoefficients(const AnalysisInputs& inputs, const FramePlan& plan,
                                const ScratchTables& tables, const CoefficientPlanes& planes,
                                double* times, const StopQuery& stop) {
    return computeCoefficientsWith(bestKernelSet(), inputs, plan, tables, planes, times, stop);
}

}  // namespace spectrogrid
