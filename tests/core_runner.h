// Runs the core on std::vector inputs with buffers sized as the host would
// size them (or with no workspace: the per-frequency form), asking `stop`
// whether to stop, and returns everything it wrote and how the call ended.
#ifndef SPECTROGRID_TESTS_CORE_RUNNER_H
#define SPECTROGRID_TESTS_CORE_RUNNER_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "driver/kernel_sets.h"
#include "fast/fast.h"
#include "spectrogrid_core.h"

struct CoreOutput {
    spectrogrid::FramePlan plan;
    std::vector<double> angularSteps, cosTable, sinTable, workspace, times, real, imag;
    spectrogrid::CallOutcome outcome;
};

inline CoreOutput runCore(const std::vector<double>& signal, const std::vector<double>& window,
                          double overlap, const std::vector<double>& frequencies,
                          double sampleRate, const spectrogrid::StopQuery& stop = {},
                          bool withWorkspace = true) {
    spectrogrid::AnalysisInputs in;
    in.signal = signal.data();
    in.signalLength = static_cast<std::int32_t>(signal.size());
    in.window = window.data();
    in.windowLength = static_cast<std::int32_t>(window.size());
    in.overlap = overlap;
    in.frequencies = frequencies.data();
    in.frequencyCount = static_cast<std::int32_t>(frequencies.size());
    in.sampleRate = sampleRate;

    CoreOutput out;
    out.plan = spectrogrid::planFrames(in.signalLength, in.windowLength, overlap);
    const std::size_t cells =
        static_cast<std::size_t>(in.frequencyCount) * static_cast<std::size_t>(out.plan.frameCount);
    // Fill with a marker so that an element left unwritten shows up.
    const double unwritten = -123456.75;
    out.angularSteps.assign(window.size(), unwritten);
    out.cosTable.assign(window.size(), unwritten);
    out.sinTable.assign(window.size(), unwritten);
    out.times.assign(out.plan.frameCount, unwritten);
    out.real.assign(cells, unwritten);
    out.imag.assign(cells, unwritten);
    if (withWorkspace) {
        out.workspace.assign(static_cast<std::size_t>(spectrogrid::workspaceLength(
                                 in.windowLength, in.frequencyCount, out.plan.frameCount)),
                             unwritten);
    }
    spectrogrid::ScratchTables tables = {out.angularSteps.data(), out.cosTable.data(),
                                         out.sinTable.data(),
                                         out.workspace.empty() ? nullptr : out.workspace.data()};
    spectrogrid::CoefficientPlanes planes = {out.real.data(), out.imag.data()};
    out.outcome = spectrogrid::computeCoefficients(in, out.plan, tables, planes, out.times.data(), stop);
    return out;
}

// The fast path of a call on any inputs (complex, channels, every sample
// type), the FFT path or the direct path as asked (or as the cost model
// picks), with the bodies of `set` (the direct path: `exactKernels`, by
// default the set's own kernels): the plan it
// took and the planes (and times) it wrote. plan.fast is false, and nothing
// is computed, where no kernel reaches the tolerance.
struct FastOutput {
    spectrogrid::fast::FastPlan plan;
    spectrogrid::FramePlan frames;
    std::vector<double> times, real, imag;
    spectrogrid::CallOutcome outcome = spectrogrid::CallOutcome::finished;
};

// The twiddle tables and the imaginary part's planes of a call, as the
// gateway sizes them.
struct CallTables {
    std::vector<double> steps, cosTable, sinTable, imaginaryPart;
    CallTables(const spectrogrid::AnalysisInputs& in, const spectrogrid::FramePlan& frames)
        : steps(in.windowLength), cosTable(in.windowLength), sinTable(in.windowLength),
          imaginaryPart(static_cast<std::size_t>(spectrogrid::imaginaryPartLength(
              in.frequencyCount, frames.frameCount, in.channelCount, in.signalImag != nullptr))) {}
    spectrogrid::ScratchTables with(double* workspace) {
        return {steps.data(), cosTable.data(), sinTable.data(), workspace,
                imaginaryPart.empty() ? nullptr : imaginaryPart.data()};
    }
};

// Times and planes of the call's size holding a value no call writes, so
// that an element left unwritten shows.
inline void poisonOutputs(const spectrogrid::AnalysisInputs& in, FastOutput* out) {
    const std::size_t cells = static_cast<std::size_t>(in.frequencyCount) *
                              static_cast<std::size_t>(out->frames.frameCount) *
                              static_cast<std::size_t>(in.channelCount);
    out->times.assign(out->frames.frameCount, -123456.75);
    out->real.assign(cells, -123456.75);
    out->imag.assign(cells, -123456.75);
}

inline FastOutput runFast(const spectrogrid::AnalysisInputs& in, double tolerance,
                          spectrogrid::InstructionSet set,
                          spectrogrid::fast::Preference path = spectrogrid::fast::Preference::nufft,
                          const spectrogrid::StopQuery& stop = spectrogrid::StopQuery{},
                          const spectrogrid::KernelSet* exactKernels = nullptr) {
    FastOutput out;
    out.frames = spectrogrid::planFrames(in.signalLength, in.windowLength, in.overlap);
    out.plan = spectrogrid::fast::planFastFor(in, out.frames, tolerance, path);
    if (!out.plan.fast) return out;
    CallTables scratch(in, out.frames);
    // NaN in the workspace: a double read before it is written spoils the result.
    std::vector<double> workspace(static_cast<std::size_t>(out.plan.length), std::nan(""));
    poisonOutputs(in, &out);
    const spectrogrid::ScratchTables tables = scratch.with(nullptr);
    spectrogrid::CoefficientPlanes planes = {out.real.data(), out.imag.data()};
    out.outcome = spectrogrid::fast::computeFastWith(spectrogrid::fast::fastKernelsFor(set),
                                                     exactKernels != nullptr ? *exactKernels
                                                                             : spectrogrid::kernelSetFor(set),
                                                     out.plan, in,
                                                     out.frames, tables, planes, out.times.data(),
                                                     workspace.data(), stop);
    return out;
}

// A call through computeCoefficientsWithin, of either form, with the
// buffers the gateway gives it: the fast mode's workspace where it needs
// one, the exact kernels' otherwise.
inline FastOutput runWithin(const spectrogrid::AnalysisInputs& in, double tolerance) {
    FastOutput out;
    out.frames = spectrogrid::planFrames(in.signalLength, in.windowLength, in.overlap);
    CallTables scratch(in, out.frames);
    const std::int64_t fastLength = spectrogrid::toleranceWorkspaceLength(in, out.frames, tolerance);
    std::vector<double> fastWorkspace(static_cast<std::size_t>(fastLength), -123456.75);
    std::vector<double> workspace(
        fastLength > 0 ? 0 : static_cast<std::size_t>(spectrogrid::workspaceLength(in, out.frames.frameCount)));
    poisonOutputs(in, &out);
    const spectrogrid::ScratchTables tables = scratch.with(workspace.empty() ? nullptr : workspace.data());
    spectrogrid::CoefficientPlanes planes = {out.real.data(), out.imag.data()};
    out.outcome = spectrogrid::computeCoefficientsWithin(in, out.frames, tables, planes, out.times.data(), tolerance,
                                                         fastLength > 0 ? fastWorkspace.data() : nullptr);
    return out;
}

#endif
