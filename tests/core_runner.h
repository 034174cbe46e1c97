// Runs the core on std::vector inputs with buffers sized as the host would
// size them (or with no workspace: the per-frequency form), asking `stop`
// whether to stop, and returns everything it wrote and how the call ended.
#ifndef SPECTROGRID_TESTS_CORE_RUNNER_H
#define SPECTROGRID_TESTS_CORE_RUNNER_H

#include <cstdint>
#include <vector>

#include "spectrogrid.h"

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

#endif
