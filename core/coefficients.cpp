// Twiddle tables, frame accumulation and the driver of one call.
#include "spectrogrid.h"

#include "parallel_region.h"
#include "sincos.h"

namespace spectrogrid {

namespace {

void fillTwiddleRange(const double* angularSteps, double frequency, double* cosTable,
                      double* sinTable, std::int64_t begin, std::int64_t end) {
    for (std::int64_t i = begin; i < end; ++i) {
        const double theta = angularSteps[i] * frequency;
        sinCos(theta, &sinTable[i], &cosTable[i]);
    }
}

void accumulateFrameRange(const AnalysisInputs& inputs, const FramePlan& plan,
                          const ScratchTables& tables, const CoefficientPlanes& planes,
                          std::int32_t k, std::int64_t beginFrame, std::int64_t endFrame) {
    const std::int32_t L = inputs.windowLength;
    const double* window = inputs.window;
    const double* cosTable = tables.cosTable;
    const double* sinTable = tables.sinTable;
    const std::int64_t K = inputs.frequencyCount;
    for (std::int64_t j = beginFrame; j < endFrame; ++j) {
        const double* frame = inputs.signal + j * plan.hop;
        double re = 0.0;
        double im = 0.0;
        for (std::int32_t i = 0; i < L; ++i) {
            const double p = frame[i] * window[i];
            re = re + p * cosTable[i];
            im = im - p * sinTable[i];
        }
        planes.real[k + j * K] = re;
        planes.imag[k + j * K] = im;
    }
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
    runParallelRange(plan.frameCount, [&](std::int64_t begin, std::int64_t end) {
        accumulateFrameRange(inputs, plan, tables, planes, k, begin, end);
    });
}

void computeCoefficients(const AnalysisInputs& inputs, const FramePlan& plan,
                         const ScratchTables& tables, const CoefficientPlanes& planes,
                         double* times) {
    fillAngularSteps(tables.angularSteps, inputs.windowLength, inputs.sampleRate);
    fillFrameTimes(times, plan.frameCount, plan.hop, inputs.windowLength, inputs.sampleRate);
    for (std::int32_t k = 0; k < inputs.frequencyCount; ++k) {
        fillTwiddles(inputs, tables, k);
        accumulateFrames(inputs, plan, tables, planes, k);
    }
}

}  // namespace spectrogrid
