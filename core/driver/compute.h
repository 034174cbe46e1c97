// The exact computation of one call with a chosen kernel set, and the
// combination of a complex signal's two parts (compute.cpp); the public
// computeCoefficients runs these with the best set.
#ifndef SPECTROGRID_CORE_DRIVER_COMPUTE_H
#define SPECTROGRID_CORE_DRIVER_COMPUTE_H

#include <cstdint>

#include "accumulate/kernels.h"
#include "driver/stopping.h"

namespace spectrogrid {

// The real channels a call's signal is taken as: its channels, twice for a
// complex signal.
std::int32_t realChannels(const AnalysisInputs& inputs);

// For a complex signal, C = A + iB over every coefficient of the call: A in
// the planes, B in tables.imaginaryPart. Nothing for a real signal.
void combineImaginaryPart(const AnalysisInputs& inputs, const FramePlan& framePlan,
                          const ScratchTables& tables, const CoefficientPlanes& planes);
// computeCoefficients with the given kernels (which must be supported here)
// and plan, for inputs with one window (windows null); the workspace must
// hold workerLimit() * plan.threadWorkspace doubles. Every set and every
// plan writes the same bits.
CallOutcome computeCoefficientsWith(const KernelSet& kernels, const AccumulationPlan& plan,
                                    const AnalysisInputs& inputs, const FramePlan& framePlan,
                                    const ScratchTables& tables, const CoefficientPlanes& planes,
                                    double* times, const StopQuery& stop = StopQuery{});

// The same with the plan the planner picks, for inputs of either form: with
// a window for each frequency, one plan for each group of frequencies that
// share a window.
CallOutcome computeCoefficientsWith(const KernelSet& kernels, const AnalysisInputs& inputs,
                                    const FramePlan& framePlan, const ScratchTables& tables,
                                    const CoefficientPlanes& planes, double* times,
                                    const StopQuery& stop = StopQuery{});

// A plain call's coefficients with the planner's plan for `kernels`, in
// planes of any column height, a complex signal's parts combined; the
// workspace in tables (workspaceLength doubles). With reducedRatios (2 per
// frequency, fast::fillReducedRatios) the twiddles are those of exactly
// reduced phases: the fast mode's direct path. No axes filled; asks `stop`.
void accumulatePlainCall(const KernelSet& kernels, const AnalysisInputs& inputs, const FramePlan& framePlan,
                         const ScratchTables& tables, const CoefficientPlanes& planes,
                         const double* reducedRatios, CallStop* stop);

// The groups of a call with a window for each frequency: runs of
// consecutive frequencies whose windows are the same length and bits.
// groupEnd is one past the last of the group that starts at `first`;
// groupInputs makes frequencies [first, first + count) of such a group a
// plain call with their window, its signal read from d = floor((L -
// L_first) / 2) samples on; rowsFrom gives the planes and scratch from row
// `first` on.
std::int32_t groupEnd(const AnalysisInputs& inputs, std::int32_t first);
AnalysisInputs groupInputs(const AnalysisInputs& inputs, std::int32_t first, std::int32_t count);
CoefficientPlanes rowsFrom(const CoefficientPlanes& planes, std::int64_t first);
ScratchTables rowsFrom(const ScratchTables& tables, std::int64_t first);

// Every coefficient of a call with a window for each frequency, in planes
// whose column height is spelt out: each group as a plain call into its
// rows of the planes, exactly; with tolerance > 0, each group on the path
// fast::planFastFor picks for it: the direct path with reducedRatios (2
// per frequency of the whole call), and no work for a group of the FFT
// path, which the caller runs before. A complex signal's parts are
// combined last, over every group, in one pass.
void accumulateEachWindow(const KernelSet& kernels, const AnalysisInputs& inputs, const FramePlan& framePlan,
                          const ScratchTables& tables, const CoefficientPlanes& planes, CallStop* stop,
                          double tolerance = 0.0, const double* reducedRatios = nullptr);

}  // namespace spectrogrid

#endif
