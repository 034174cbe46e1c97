// The blocked accumulation behind computeCoefficients: tile geometry, the
// split of one call over threads, and one kernel per instruction set.
//
// A kernel computes every coefficient of a rectangle of frequencies and
// frames with exactly the arithmetic of accumulateFrames: one accumulator
// per coefficient, started at +0.0, taking (signal * window) * table in
// ascending window index, every product rounded. It gets its speed from
// computing many coefficients side by side: each vector lane is one
// frequency, and a block of frames shares every twiddle vector it loads.
// The window is walked in tiles; between tiles an accumulator waits in the
// coefficient plane, which changes no bit.
#ifndef SPECTROGRID_CORE_KERNELS_H
#define SPECTROGRID_CORE_KERNELS_H

#include <cstdint>

#include "cpu_features.h"
#include "spectrogrid.h"

namespace spectrogrid {

// Sizes of the tiles of one call; every thread and every kernel uses the
// same. The frequency block is a multiple of every kernel's frequencies per
// register block, the frame tile a multiple of every kernel's frames per
// register block.
struct TileGeometry {
    std::int32_t tileLength;        // window samples per tile
    std::int32_t blockFrequencies;  // frequencies whose twiddles are held at once
    std::int32_t tileFrames;        // frames whose windowed samples are held at once
    std::int32_t thetaChunk;        // angles passed to the sine-cosine routine at once
    std::int64_t threadWorkspace;   // doubles of workspace one thread uses
};

// The geometry for these sizes (all at least 1).
TileGeometry tileGeometry(std::int32_t windowLength, std::int32_t frequencyCount,
                          std::int32_t frameCount);

// The threads that can share one call's work: those of the region, at most
// maxAnalysisThreads, 1 in the serial form.
int workerLimit();

// One thread's rectangle of the output: frequencies [kBegin, kEnd) of
// frames [jBegin, jEnd). Empty when either range is.
struct ThreadShare {
    std::int32_t kBegin, kEnd, jBegin, jEnd;
};

// The share of thread `thread` of `threadCount`. The threads form a grid of
// frequency groups by frame groups, chosen to even out the estimated work
// (accumulation, plus twiddles that every frame group computes again);
// frequency groups are whole vectors of `lanes` frequencies. The shares
// cover every (frequency, frame) exactly once.
ThreadShare threadShare(std::int32_t frequencyCount, std::int32_t frameCount, int lanes,
                        int thread, int threadCount);

// Everything one thread's kernel reads and writes.
struct KernelTask {
    const AnalysisInputs* inputs;
    std::int32_t hop;
    const double* angularSteps;  // filled for the whole window
    CoefficientPlanes planes;
    TileGeometry geometry;
    ThreadShare share;
    double* workspace;  // geometry.threadWorkspace doubles of this thread's own
    InstructionSet set; // also passed to the sine-cosine routine
};

// One kernel per instruction set, each in its own source file, compiled
// with that set's flags only. Call only those that instructionSetSupported
// allows. accumulateShare writes every coefficient of task.share and no
// other element of the planes. Register block: vectorsPerBlock vectors of
// vectorLanes frequencies by framesPerBlock frames.
namespace scalar {
constexpr int vectorLanes = 1;
constexpr int vectorsPerBlock = 2;
constexpr int framesPerBlock = 2;
void accumulateShare(const KernelTask& task);
}  // namespace scalar

namespace avx2 {
constexpr int vectorLanes = 4;
constexpr int vectorsPerBlock = 1;
constexpr int framesPerBlock = 6;
void accumulateShare(const KernelTask& task);
}  // namespace avx2

namespace avx512 {
constexpr int vectorLanes = 8;
constexpr int vectorsPerBlock = 2;
constexpr int framesPerBlock = 6;
void accumulateShare(const KernelTask& task);
}  // namespace avx512

// computeCoefficients with the given instruction set, which must be
// supported here; computeCoefficients passes bestInstructionSet(). Every
// set writes the same bits.
void computeCoefficientsWith(InstructionSet set, const AnalysisInputs& inputs,
                             const FramePlan& plan, const ScratchTables& tables,
                             const CoefficientPlanes& planes, double* times);

}  // namespace spectrogrid

#endif
