// The accumulate room's interface: the blocked accumulation behind
// computeCoefficients, the shapes a call is cut into, the task a kernel
// gets, and the KernelSet that describes each instruction set's kernels.
// The driver plans the cuts (driver/accumulation_plan.h), keeps the table
// of sets (driver/kernel_sets.h) and runs the units (driver/compute.h).
//
// A kernel computes every coefficient of a rectangle of frequencies and
// frames with exactly the arithmetic of accumulateFrames: one accumulator
// per coefficient, started at +0.0, taking (signal * window) * table in
// ascending window index, every product rounded. It gets its speed from
// computing many coefficients side by side, in one of two orientations:
//   frequency lanes  each vector lane is one frequency; a register block of
//                    frames shares every twiddle vector it loads. Lanes are
//                    wasted when the frequencies do not fill whole vectors.
//   frame lanes      each vector lane is one frame (the samples stored
//                    transposed in a table, or for a single frequency turned
//                    in registers as they are read); a register block of
//                    frequencies shares every sample vector. For few
//                    frequencies.
// The window is walked in tiles; between tiles an accumulator waits in the
// coefficient planes, which changes no bit.
//
// A call with a window for each frequency runs its runs of consecutive
// frequencies with distinct windows in a third kernel, frame lanes with
// each frequency of a register block windowing the shared samples with its
// own window (accumulateOwnWindowUnit): per coefficient the same arithmetic
// with that frequency's window, length and offset.
#ifndef SPECTROGRID_CORE_ACCUMULATE_KERNELS_H
#define SPECTROGRID_CORE_ACCUMULATE_KERNELS_H

#include <cstdint>
#include <type_traits>

#include "driver/instruction_sets.h"
#include "driver/stopping.h"
#include "spectrogrid_core.h"

namespace spectrogrid {

enum class Orientation { frequencyLanes = 0, frameLanes = 1 };

// How the coefficients of one orientation are cut: units of
// unitFrequencies x unitFrames coefficients, each walked tile by tile
// (tileLength window samples, tileFrames frames). Any positive sizes give
// the same bits; the planner picks them for speed.
struct UnitShape {
    std::int32_t unitFrequencies;
    std::int32_t unitFrames;
    std::int32_t tileFrames;
    std::int32_t tileLength;
};

// A frame-lane unit has at most this many register blocks of frequencies.
constexpr int maxFrameLaneFrequencyBlocks = 4;

// A unit of frequencies with their own windows has at most this many: the
// more blocks share one table of samples, the less its filling costs each.
constexpr int maxOwnWindowBlocks = 8;

// The rows of the frame-lane table of samples are whole cache lines: their
// length in doubles is a multiple of this.
constexpr std::int64_t tableRowQuantum = 8;

// The work of one call. Frequencies [0, frameLaneBegin) run in the
// frequency-lane kernel, [frameLaneBegin, K) in the frame-lane kernel.
struct AccumulationPlan {
    std::int32_t frameLaneBegin;
    std::int32_t hop;  // of the frames the plan is for
    UnitShape frequencyLanes;
    UnitShape frameLanes;
    std::int64_t threadWorkspace;  // doubles of workspace one thread uses
};

struct UnitRange {
    std::int32_t kBegin, kEnd, jBegin, jEnd;
};

// Everything a kernel reads and writes, shared by every thread of a call
// with one window. The signal is taken as `channels` real channels: those
// of its real parts, then for a complex signal those of its imaginary
// parts, whose coefficients go to imaginaryPart (to be combined
// afterwards).
struct KernelTask {
    const AnalysisInputs* inputs;
    std::int32_t hop;
    std::int32_t frameCount;
    const double* angularSteps;  // filled for the whole window
    CoefficientPlanes planes;
    AccumulationPlan plan;
    std::int32_t channels;
    CoefficientPlanes imaginaryPart;
    CallStop* stop;  // asked before each tile of frames (null: never stop); a unit ends early once it says stop
    // Null: the twiddles of the arithmetic contract. Otherwise the fast
    // mode's direct path: f/fs of each frequency of the task, reduced, as
    // (high, low) pairs (fast::fillReducedRatios), and the twiddle of
    // window sample n the sine and cosine of 2 pi frac(nu n), the fraction
    // found exactly and taken to [-1/2, 1/2] (fast/fast_plan.cpp bounds it).
    const double* reducedRatios = nullptr;
};

// Rows between columns of planes for frequencyCount frequencies.
inline std::int64_t columnHeightOf(const CoefficientPlanes& planes, std::int32_t frequencyCount) {
    return planes.columnHeight != 0 ? planes.columnHeight : frequencyCount;
}

using UnitKernel = void (*)(const KernelTask& task, const UnitRange& unit, double* workspace);
using BatchSinCos = void (*)(const double* theta, double* sine, double* cosine, std::int64_t n);

// What the planner knows of a kernel's speed, in units of its own peak: the
// share of the peak its inner loop reaches, and the extra work per window
// sample of one frame (windowing, and for frame lanes the transposition)
// and per twiddle entry, both counted in cells.
struct KernelCosts {
    double frequencyLaneEfficiency;
    double frameLaneEfficiency;
    double windowingCells;
    double transpositionCells;
    double twiddleCells;
    // The share 2k / (2k + 1) of a frame-lane block of k frequencies at
    // which frameLaneEfficiency holds (the planner scales it by the share
    // of the block it plans): 3/4 where it was fitted on measured calls,
    // that of a full block where it is a full block's modelled figure.
    double frameLaneShare;
};

// One instruction set: its vector width, register blocks and entry points.
// Only sets that instructionSetSupported allows may be called.
struct KernelSet {
    InstructionSet set;
    const char* name;
    int lanes;                  // doubles per vector
    int frequencyVectors;       // frequency-lane register block: vectors of frequencies
    int frequencyFrames;        //   by frames
    int frameVectors;           // frame-lane register block: vectors of frames
    int frameFrequencies;       //   by frequencies (0: no frame-lane kernel)
    UnitKernel accumulateFrequencyLaneUnit;
    UnitKernel accumulateFrameLaneUnit;
    std::int64_t (*threadWorkspace)(const AccumulationPlan& plan);  // doubles
    BatchSinCos fillSinCos;
    KernelCosts costs;
    // Frame lanes over frequencies with their own windows (a task over the
    // whole call's inputs, windows and windowLengths set; the plan's
    // frameLanes shape; none where frameFrequencies is 0), and the
    // workspace one thread needs for such a plan.
    UnitKernel accumulateOwnWindowUnit;
    std::int64_t (*ownWindowWorkspace)(const AccumulationPlan& plan);  // doubles
    int ownFrameFrequencies = 0;  // its register block's frequencies (0: frameFrequencies)
};

namespace scalar {
extern const KernelSet kernels;
}
namespace avx2 {
extern const KernelSet kernels;
}
// Two AVX-512 variants: `kernels` with embedded-broadcast products (AMD Zen 4,
// Intel), fullWidthKernels with each sample broadcast once (AMD Zen 5; see
// avx512.cpp).
namespace avx512 {
extern const KernelSet kernels;
extern const KernelSet fullWidthKernels;
}

}  // namespace spectrogrid

#endif
