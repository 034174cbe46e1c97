// The exact computation of one call with a chosen kernel set, and the
// combination of a complex signal's two parts (compute.cpp); the public
// computeCoefficients runs these with the best set.
#ifndef SPECTROGRID_CORE_DRIVER_COMPUTE_H
#define SPECTROGRID_CORE_DRIVER_COMPUTE_H

#include <cstdint>

#include "accumulate/kernels.h"

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

}  // namespace spectrogrid

#endif
