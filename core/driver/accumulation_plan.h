// How one call is cut into units of work, each orientation's units and
// tiles chosen from the kernels' measured costs (accumulation_plan.cpp).
#ifndef SPECTROGRID_CORE_DRIVER_ACCUMULATION_PLAN_H
#define SPECTROGRID_CORE_DRIVER_ACCUMULATION_PLAN_H

#include <cstdint>

#include "accumulate/kernels.h"

namespace spectrogrid {

// The plan the planner picks for these sizes (all at least 1) and this many
// threads, with its threadWorkspace filled in.
AccumulationPlan planAccumulation(const KernelSet& kernels, std::int32_t windowLength,
                                  std::int32_t frequencyCount, std::int32_t frameCount,
                                  std::int32_t hop, std::int32_t channels, int threads);

// The most workspace one thread needs under any plan the planner may pick
// for this window length and number of frequencies.
std::int64_t largestThreadWorkspace(const KernelSet& kernels, std::int32_t windowLength,
                                    std::int32_t frequencyCount);

// The plan of the own-window units (accumulateOwnWindowUnit) for a run of
// `count` consecutive frequencies with distinct windows of these lengths in
// a call whose longest window has windowLength samples: its frameLanes
// shape (frameLaneBegin 0, so that unitCount and unitAt count the run's
// frequencies from 0) and threadWorkspace. The kernels must have frame
// lanes.
AccumulationPlan planOwnWindows(const KernelSet& kernels, const std::int32_t* windowLengths, std::int32_t count,
                                std::int32_t windowLength, std::int32_t frameCount, std::int32_t hop,
                                std::int32_t channels, int threads);

// The most workspace one thread needs under any plan planOwnWindows may
// pick (0 for kernels without frame lanes).
std::int64_t largestOwnWindowWorkspace(const KernelSet& kernels, std::int32_t windowLength);

// The units of a plan: the frequency-lane ones first, each range of
// frequencies by each range of frames, in every channel. Every coefficient
// lies in exactly one.
std::int64_t unitCount(const AccumulationPlan& plan, std::int32_t frequencyCount,
                       std::int32_t frameCount);
UnitRange unitAt(const AccumulationPlan& plan, std::int32_t frequencyCount,
                 std::int32_t frameCount, std::int64_t index, Orientation* orientation);

}  // namespace spectrogrid

#endif
