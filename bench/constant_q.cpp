// Speed of calls with a window for each frequency: 96 bins over 8 octaves
// (12 per octave from 27.5 Hz) of 30 s at 22 050 Hz, Hann windows of
// 17.5 cycles, kept between 100 and 14 000 samples, hop 256.
//
//   constant_q [--rounds R] [--seconds S] [--kernel NAME] [--windows true-cq|octave]
//              [--threads T]
//
// Two sets of windows: true constant-Q, every bin its own length, and one
// length per octave (that of the octave's lowest bin, as
// spectrogridcqwindows offers), whose 12 bins share a window. Each is timed
// with every kernel set the processor supports, on one thread and on all a
// call uses, and reported in G cells/s, a cell being one (frequency, frame,
// window sample) term, so Σ_k L_k per frame, against the peak rate of
// unfused multiplications and additions measured in turn. The octave set
// is also timed as 8 plain calls, one per octave, each over the frames and
// samples its group reads (the signal from d_g on): what a caller would do
// without windows per frequency. Best of R rounds; asserts nothing.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "driver/compute.h"
#include "driver/kernel_sets.h"
#include "peak.h"
#include "spectrogrid_core.h"

namespace {

constexpr int bins = 96, perOctave = 12, hop = 256, shortest = 100, longest = 14000;
constexpr double sampleRate = 22050.0, lowest = 27.5, cycles = 17.5;

std::vector<double> hann(int length) {
    std::vector<double> w(length);
    for (int n = 0; n < length; ++n) w[n] = 0.5 - 0.5 * std::cos(6.283185307179586 * (n + 0.5) / length);
    return w;
}

int lengthFor(double frequency) {
    const int length = static_cast<int>(std::lround(cycles * sampleRate / frequency));
    return std::min(longest, std::max(shortest, length));
}

template <typename Body>
double secondsOf(const Body& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The buffers of one call, sized as a host would size them.
struct Call {
    spectrogrid::AnalysisInputs inputs;
    spectrogrid::FramePlan plan;
    std::vector<double> steps, cosTable, sinTable, workspace, times, real, imag;
    spectrogrid::ScratchTables tables;
    spectrogrid::CoefficientPlanes planes;

    explicit Call(const spectrogrid::AnalysisInputs& in) : inputs(in) {
        plan = spectrogrid::planFrames(in.signalLength, in.windowLength, in.overlap);
        const std::size_t cells = static_cast<std::size_t>(in.frequencyCount) * plan.frameCount;
        steps.resize(in.windowLength);
        cosTable.resize(in.windowLength);
        sinTable.resize(in.windowLength);
        workspace.resize(static_cast<std::size_t>(spectrogrid::workspaceLength(in, plan.frameCount)));
        times.resize(plan.frameCount);
        real.resize(cells);
        imag.resize(cells);
        tables = {steps.data(), cosTable.data(), sinTable.data(), workspace.data()};
        planes = {real.data(), imag.data()};
    }
    void run(const spectrogrid::KernelSet& kernels) {
        spectrogrid::computeCoefficientsWith(kernels, inputs, plan, tables, planes, times.data());
    }
};

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    double seconds = 30.0;
    std::string onlyKernel, onlyWindows;
    int onlyThreads = 0;
    for (int a = 1; a + 1 < argc; a += 2) {
        if (std::strcmp(argv[a], "--rounds") == 0) rounds = std::max(1, std::atoi(argv[a + 1]));
        if (std::strcmp(argv[a], "--seconds") == 0) seconds = std::max(1.0, std::atof(argv[a + 1]));
        if (std::strcmp(argv[a], "--kernel") == 0) onlyKernel = argv[a + 1];
        if (std::strcmp(argv[a], "--windows") == 0) onlyWindows = argv[a + 1];
        if (std::strcmp(argv[a], "--threads") == 0) onlyThreads = std::atoi(argv[a + 1]);
    }
    std::mt19937_64 rng(96);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> signal(static_cast<std::size_t>(seconds * sampleRate));
    for (double& x : signal) x = normal(rng);
    const std::int32_t N = static_cast<std::int32_t>(signal.size());

    std::vector<double> frequencies(bins);
    std::vector<int> trueLengths(bins), octaveLengths(bins);
    for (int k = 0; k < bins; ++k) {
        frequencies[k] = lowest * std::pow(2.0, static_cast<double>(k) / perOctave);
        trueLengths[k] = lengthFor(frequencies[k]);
        octaveLengths[k] = lengthFor(frequencies[k / perOctave * perOctave]);
    }

    spectrogrid::setAnalysisThreads();
    const int callThreads = omp_get_max_threads();
    std::printf("%d bins, %d per octave from %.1f Hz, %.0f s at %.0f Hz, hop %d; best of %d rounds\n", bins,
                perOctave, lowest, seconds, sampleRate, hop, rounds);
    std::printf("%-8s %-7s %2s %9s %8s %8s %7s %10s %6s\n", "windows", "kernel", "T", "ms", "Gcell/s", "peak",
                "%peak", "8 calls ms", "ratio");
    for (const std::vector<int>* lengths : {&trueLengths, &octaveLengths}) {
        const bool octaves = lengths == &octaveLengths;
        if (!onlyWindows.empty() && onlyWindows != (octaves ? "octave" : "true-cq")) continue;
        // One window object per distinct length; equal lengths share it.
        std::vector<std::vector<double>> shapes(longest + 1);
        std::vector<const double*> windows(bins);
        std::vector<std::int32_t> windowLengths(bins);
        std::int32_t L = 0;
        double sumOfLengths = 0.0;
        for (int k = 0; k < bins; ++k) {
            const int length = (*lengths)[k];
            if (shapes[length].empty()) shapes[length] = hann(length);
            windows[k] = shapes[length].data();
            windowLengths[k] = length;
            L = std::max(L, windowLengths[k]);
            sumOfLengths += length;
        }
        spectrogrid::AnalysisInputs in = {signal.data(), N, nullptr, L, static_cast<double>(L - hop),
                                          frequencies.data(), bins, sampleRate};
        in.windows = windows.data();
        in.windowLengths = windowLengths.data();
        Call whole(in);
        const double cells = sumOfLengths * whole.plan.frameCount;

        // The octave groups as plain calls over the same frames.
        std::vector<Call> groups;
        if (octaves) {
            for (int g = 0; g < bins / perOctave; ++g) {
                const int first = g * perOctave;
                const std::int32_t length = windowLengths[first];
                const std::int32_t d = (L - length) / 2;
                spectrogrid::AnalysisInputs plain = {signal.data() + d,
                                                     (whole.plan.frameCount - 1) * hop + length,
                                                     windows[first], length, static_cast<double>(length - hop),
                                                     frequencies.data() + first, perOctave, sampleRate};
                groups.emplace_back(plain);
            }
        }
        for (int s = 0; s < spectrogrid::kernelSetCount; ++s) {
            const spectrogrid::KernelSet& kernels = *spectrogrid::kernelSets[s];
            if (!spectrogrid::instructionSetSupported(kernels.set)) continue;
            if (!onlyKernel.empty() && onlyKernel != kernels.name) continue;
            for (int threads : {1, callThreads}) {
                if (onlyThreads > 0 && threads != onlyThreads) continue;
                omp_set_num_threads(threads);
                double bestCall = 1e30, bestGroups = 1e30, bestPeak = 0.0;
                for (int round = 0; round < rounds; ++round) {
                    bestPeak = std::max(bestPeak,
                                        peakVectorOperations(kernels.set, threads, 20000000, 1) * kernels.lanes / 4.0);
                    // The call and the group calls take turns going first,
                    // so that neither always runs on caches the other left.
                    const auto timeGroups = [&] {
                        if (octaves) {
                            bestGroups = std::min(bestGroups, secondsOf([&] {
                                for (Call& group : groups) group.run(kernels);
                            }));
                        }
                    };
                    if (round % 2 == 1) timeGroups();
                    bestCall = std::min(bestCall, secondsOf([&] { whole.run(kernels); }));
                    if (round % 2 == 0) timeGroups();
                }
                const double rate = cells / bestCall;
                std::printf("%-8s %-7s %2d %9.1f %8.2f %8.2f %6.0f%%", octaves ? "octave" : "true-cq", kernels.name,
                            threads, bestCall * 1e3, rate * 1e-9, bestPeak * 1e-9, 100.0 * rate / bestPeak);
                if (octaves) std::printf(" %10.1f %6.2f", bestGroups * 1e3, bestCall / bestGroups);
                std::printf("\n");
                std::fflush(stdout);
                if (callThreads == 1) break;
            }
        }
    }
    return 0;
}
