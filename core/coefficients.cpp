// Twiddle tables, frame accumulation and the driver of one call.
#include "spectrogrid.h"

#include "kernels.h"
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

namespace {

// Tile limits, in doubles and samples: with every thread's share they keep
// the workspace under 3 MiB whatever the sizes. A tile of 512 window
// samples keeps the twiddles one register block reads (16 frequencies) in
// the second-level cache and the windowed samples of its frames in the first.
constexpr std::int64_t maxTileLength = 512;
constexpr std::int64_t panelBudget = 32768;     // cosine panel; the sine panel is as large
constexpr std::int64_t windowedBudget = 24576;
constexpr std::int64_t maxThetaChunk = 1024;

// Multiples of every kernel's register block: 2 x 8 frequencies (AVX-512),
// 4 (AVX2), 2 (scalar); 6 frames (AVX-512, AVX2), 2 (scalar).
constexpr std::int64_t frequencyQuantum = 16;
constexpr std::int64_t frameQuantum = 6;

// Twiddles of one frequency vector at one window sample cost about as much
// as accumulating that vector over this many frames (a sine and a cosine
// against two multiplications and two additions).
constexpr double twiddleCostInFrames = 10.0;

std::int64_t roundUp(std::int64_t value, std::int64_t quantum) {
    return (value + quantum - 1) / quantum * quantum;
}

std::int64_t roundDown(std::int64_t value, std::int64_t quantum) {
    return value / quantum * quantum;
}

std::int64_t atMost(std::int64_t value, std::int64_t limit) { return value < limit ? value : limit; }

std::int64_t atLeast(std::int64_t value, std::int64_t limit) { return value > limit ? value : limit; }

void runKernel(InstructionSet set, const KernelTask& task) {
    switch (set) {
        case InstructionSet::avx512: avx512::accumulateShare(task); break;
        case InstructionSet::avx2: avx2::accumulateShare(task); break;
        default: scalar::accumulateShare(task); break;
    }
}

int vectorLanesOf(InstructionSet set) {
    switch (set) {
        case InstructionSet::avx512: return avx512::vectorLanes;
        case InstructionSet::avx2: return avx2::vectorLanes;
        default: return scalar::vectorLanes;
    }
}

void runShare(InstructionSet set, KernelTask task, std::int32_t frameCount, int thread,
              int threadCount) {
    task.share = threadShare(task.inputs->frequencyCount, frameCount, vectorLanesOf(set), thread,
                             threadCount);
    task.workspace += thread * task.geometry.threadWorkspace;
    runKernel(set, task);
}

// Every coefficient of the call, split over the threads of one region; each
// thread writes only its own rectangle of both planes and uses only its own
// part of the workspace.
void accumulateAllFrames(InstructionSet set, const KernelTask& task, std::int32_t frameCount) {
#if defined(SPECTROGRID_OPENMP)
#pragma omp parallel
    {
        const int limit = workerLimit();
        const int threads = omp_get_num_threads() < limit ? omp_get_num_threads() : limit;
        const int thread = omp_get_thread_num();
        if (thread < threads) runShare(set, task, frameCount, thread, threads);
    }
#else
    runShare(set, task, frameCount, 0, 1);
#endif
}

// The per-frequency form, for a caller that provides no workspace.
void computeEachFrequency(const AnalysisInputs& inputs, const FramePlan& plan,
                          const ScratchTables& tables, const CoefficientPlanes& planes) {
    for (std::int32_t k = 0; k < inputs.frequencyCount; ++k) {
        fillTwiddles(inputs, tables, k);
        accumulateFrames(inputs, plan, tables, planes, k);
    }
}

}  // namespace

TileGeometry tileGeometry(std::int32_t windowLength, std::int32_t frequencyCount,
                          std::int32_t frameCount) {
    TileGeometry g;
    const std::int64_t tile = atMost(atLeast(windowLength, 1), maxTileLength);
    const std::int64_t blockLimit = atLeast(roundDown(panelBudget / tile, frequencyQuantum), frequencyQuantum);
    const std::int64_t block = atMost(roundUp(atLeast(frequencyCount, 1), frequencyQuantum), blockLimit);
    const std::int64_t framesLimit = atLeast(roundDown(windowedBudget / tile, frameQuantum), frameQuantum);
    const std::int64_t frames = atMost(roundUp(atLeast(frameCount, 1), frameQuantum), framesLimit);
    g.tileLength = static_cast<std::int32_t>(tile);
    g.blockFrequencies = static_cast<std::int32_t>(block);
    g.tileFrames = static_cast<std::int32_t>(frames);
    g.thetaChunk = static_cast<std::int32_t>(atMost(block * tile, maxThetaChunk));
    // Each part starts on a 64-byte boundary: 8 doubles of slack for the first.
    g.threadWorkspace = 2 * block * tile + g.thetaChunk + frames * tile + 8;
    return g;
}

int workerLimit() {
#if defined(SPECTROGRID_OPENMP)
    return maxAnalysisThreads;
#else
    return 1;
#endif
}

std::int64_t workspaceLength(std::int32_t windowLength, std::int32_t frequencyCount,
                             std::int32_t frameCount) {
    if (windowLength < 1 || frequencyCount < 1 || frameCount < 1) return 0;
    return workerLimit() * tileGeometry(windowLength, frequencyCount, frameCount).threadWorkspace;
}

ThreadShare threadShare(std::int32_t frequencyCount, std::int32_t frameCount, int lanes,
                        int thread, int threadCount) {
    ThreadShare share = {0, 0, 0, 0};
    if (frequencyCount < 1 || frameCount < 1 || threadCount < 1 || thread >= threadCount) {
        return share;
    }
    const std::int64_t vectors = (frequencyCount + std::int64_t{lanes} - 1) / lanes;

    // Grid of `groups` frequency groups by threadCount / groups frame
    // groups; ties go to fewer frame groups, which compute fewer twiddles.
    int groups = 1;
    double leastCost = 0.0;
    for (int candidate = threadCount; candidate >= 1; --candidate) {
        if (threadCount % candidate != 0) continue;
        const double groupVectors = static_cast<double>((vectors + candidate - 1) / candidate);
        const std::int64_t frameGroups = threadCount / candidate;
        const double groupFrames =
            static_cast<double>((frameCount + frameGroups - 1) / frameGroups);
        const double cost = groupVectors * (groupFrames + twiddleCostInFrames);
        if (candidate == threadCount || cost < leastCost) {
            leastCost = cost;
            groups = candidate;
        }
    }
    const int frameGroups = threadCount / groups;
    const IndexRange k = staticBlock(vectors, groups, thread / frameGroups);
    const IndexRange j = staticBlock(frameCount, frameGroups, thread % frameGroups);
    if (k.begin >= k.end || j.begin >= j.end) return share;
    share.kBegin = static_cast<std::int32_t>(k.begin * lanes);
    share.kEnd = static_cast<std::int32_t>(atMost(k.end * lanes, frequencyCount));
    share.jBegin = static_cast<std::int32_t>(j.begin);
    share.jEnd = static_cast<std::int32_t>(j.end);
    return share;
}

void computeCoefficientsWith(InstructionSet set, const AnalysisInputs& inputs,
                             const FramePlan& plan, const ScratchTables& tables,
                             const CoefficientPlanes& planes, double* times) {
    const std::int32_t L = inputs.windowLength;
    const std::int32_t K = inputs.frequencyCount;
    fillAngularSteps(tables.angularSteps, L, inputs.sampleRate);
    fillFrameTimes(times, plan.frameCount, plan.hop, L, inputs.sampleRate);
    if (K < 1) return;
    if (plan.frameCount >= 1 && L >= 1) {
        if (tables.workspace == nullptr) {
            computeEachFrequency(inputs, plan, tables, planes);
            return;
        }
        KernelTask task;
        task.inputs = &inputs;
        task.hop = plan.hop;
        task.angularSteps = tables.angularSteps;
        task.planes = planes;
        task.geometry = tileGeometry(L, K, plan.frameCount);
        task.share = {0, 0, 0, 0};
        task.workspace = tables.workspace;
        task.set = set;
        accumulateAllFrames(set, task, plan.frameCount);
    }
    // The tables end holding the twiddles of the last frequency, as after
    // the per-frequency form.
    fillTwiddles(inputs, tables, K - 1);
}

void computeCoefficients(const AnalysisInputs& inputs, const FramePlan& plan,
                         const ScratchTables& tables, const CoefficientPlanes& planes,
                         double* times) {
    computeCoefficientsWith(bestInstructionSet(), inputs, plan, tables, planes, times);
}

}  // namespace spectrogrid
