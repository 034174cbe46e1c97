// Times the analysis on three workloads with every kernel the processor
// supports and compares it with the plain per-frequency loop compiled into
// this program, and with the machine's peak rate of unfused multiplications
// and additions measured here.
//
//   accumulation_bench            W1, W2 and W3
//   accumulation_bench W2 W3      the named workloads
//   accumulation_bench N L overlap K   random signal, Hann window, K
//                                      log-spaced frequencies at 48 kHz
//
// A cell is one (frequency, frame, window sample) term: two multiplications
// and two additions. The accumulation phase is the whole call less the
// twiddles, timed apart with the same sine-cosine routine and threads.
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

#include "kernels.h"
#include "peak.h"
#include "sincos.h"
#include "spectrogrid.h"

namespace {

using spectrogrid::InstructionSet;

struct Workload {
    std::string name;
    int signalLength, windowLength, overlap, frequencyCount;
    bool logSpaced;
};

struct Inputs {
    std::vector<double> signal, window, frequencies;
    double sampleRate = 48000.0;
    double overlap = 0.0;
};

Inputs makeInputs(const Workload& w) {
    Inputs in;
    std::mt19937_64 rng(2024);
    std::normal_distribution<double> normal(0.0, 1.0);
    in.signal.resize(w.signalLength);
    for (double& x : in.signal) x = normal(rng);
    in.window.resize(w.windowLength);
    for (int i = 0; i < w.windowLength; ++i) {
        in.window[i] = 0.5 - 0.5 * std::cos(6.283185307179586 * i / w.windowLength);
    }
    in.frequencies.resize(w.frequencyCount);
    for (int k = 0; k < w.frequencyCount; ++k) {
        const double u = w.frequencyCount > 1 ? static_cast<double>(k) / (w.frequencyCount - 1) : 0.0;
        in.frequencies[k] = w.logSpaced ? 20.0 * std::pow(1000.0, u) : 20.0 + u * (24000.0 - 20.0);
    }
    in.overlap = w.overlap;
    return in;
}

spectrogrid::AnalysisInputs viewOf(const Inputs& in) {
    return {in.signal.data(), static_cast<std::int32_t>(in.signal.size()), in.window.data(),
            static_cast<std::int32_t>(in.window.size()), in.overlap, in.frequencies.data(),
            static_cast<std::int32_t>(in.frequencies.size()), in.sampleRate};
}

struct Outputs {
    std::vector<double> angularSteps, cosTable, sinTable, workspace, times, real, imag;
};

Outputs makeOutputs(const spectrogrid::AnalysisInputs& in, const spectrogrid::FramePlan& plan) {
    Outputs out;
    const std::size_t cells = static_cast<std::size_t>(in.frequencyCount) * plan.frameCount;
    out.angularSteps.resize(in.windowLength);
    out.cosTable.resize(in.windowLength);
    out.sinTable.resize(in.windowLength);
    out.workspace.resize(static_cast<std::size_t>(
        spectrogrid::workspaceLength(in.windowLength, in.frequencyCount, plan.frameCount)));
    out.times.resize(plan.frameCount);
    out.real.resize(cells);
    out.imag.resize(cells);
    return out;
}

template <typename Body>
double medianSeconds(int runs, const Body& body) {
    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        body();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

// Runs enough to take about a second, at least 5 and at most 50 times.
template <typename Body>
double timeCall(const Body& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const double once = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int runs = std::max(5, std::min(50, static_cast<int>(1.0 / std::max(once, 1e-6))));
    return medianSeconds(runs, body);
}

// The per-frequency loop written plainly, on one thread: twiddles of one
// frequency, then one accumulator per frame.
void plainAnalysis(const spectrogrid::AnalysisInputs& in, const spectrogrid::FramePlan& plan,
                   Outputs& out) {
    const std::int64_t L = in.windowLength, K = in.frequencyCount;
    for (std::int64_t i = 0; i < L; ++i) {
        out.angularSteps[i] = static_cast<double>(i) / in.sampleRate * 6.283185307179586;
    }
    for (std::int64_t k = 0; k < K; ++k) {
        for (std::int64_t i = 0; i < L; ++i) {
            spectrogrid::sinCos(out.angularSteps[i] * in.frequencies[k], &out.sinTable[i],
                                &out.cosTable[i]);
        }
        for (std::int64_t j = 0; j < plan.frameCount; ++j) {
            const double* frame = in.signal + j * plan.hop;
            double re = 0.0, im = 0.0;
            for (std::int64_t i = 0; i < L; ++i) {
                const double p = frame[i] * in.window[i];
                re = re + p * out.cosTable[i];
                im = im - p * out.sinTable[i];
            }
            out.real[k + j * K] = re;
            out.imag[k + j * K] = im;
        }
    }
}

// The twiddles of every frequency, split over the threads by frequency, in
// blocks as the kernels compute them.
double twiddleSeconds(InstructionSet set, const spectrogrid::AnalysisInputs& in,
                      const std::vector<double>& angularSteps) {
    const std::int64_t L = in.windowLength, K = in.frequencyCount;
    const int threads = omp_get_max_threads();
    const std::int64_t chunk = 1024;
    std::vector<double> scratch(static_cast<std::size_t>(threads) * 3 * chunk);
    return timeCall([&] {
#pragma omp parallel
        {
            const int t = omp_get_thread_num();
            double* theta = scratch.data() + t * 3 * chunk;
            double* sine = theta + chunk;
            double* cosine = sine + chunk;
            const std::int64_t begin = K * t / threads, end = K * (t + 1) / threads;
            std::int64_t pending = 0;
            for (std::int64_t k = begin; k < end; ++k) {
                for (std::int64_t i = 0; i < L; ++i) {
                    theta[pending++] = angularSteps[i] * in.frequencies[k];
                    if (pending == chunk) {
                        spectrogrid::fillSinCos(set, theta, sine, cosine, pending);
                        pending = 0;
                    }
                }
            }
            if (pending > 0) spectrogrid::fillSinCos(set, theta, sine, cosine, pending);
        }
    });
}

bool sameCoefficients(const Outputs& a, const Outputs& b) {
    return a.real.size() == b.real.size() &&
           std::memcmp(a.real.data(), b.real.data(), a.real.size() * sizeof(double)) == 0 &&
           std::memcmp(a.imag.data(), b.imag.data(), a.imag.size() * sizeof(double)) == 0;
}

// Other programs running meanwhile make every figure lower: say how busy
// the machine was.
std::string loadAverage() {
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    if (file == nullptr) return "unknown\n";
    char line[128] = {0};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    return read ? std::string(line) : std::string("unknown\n");
}

int vectorLanes(InstructionSet set) {
    switch (set) {
        case InstructionSet::avx512: return spectrogrid::avx512::vectorLanes;
        case InstructionSet::avx2: return spectrogrid::avx2::vectorLanes;
        default: return spectrogrid::scalar::vectorLanes;
    }
}

void runWorkload(const Workload& w, const double peakCells[3][2], int threads) {
    const Inputs inputs = makeInputs(w);
    const spectrogrid::AnalysisInputs in = viewOf(inputs);
    const spectrogrid::FramePlan plan = spectrogrid::planFrames(in.signalLength, in.windowLength, in.overlap);
    const double cells = static_cast<double>(in.frequencyCount) * plan.frameCount * in.windowLength;
    std::printf("\n%s: N = %d, L = %d, overlap = %d, K = %d (%s), %d frames, %.3g cells\n",
                w.name.c_str(), w.signalLength, w.windowLength, w.overlap, w.frequencyCount,
                w.logSpaced ? "log-spaced" : "evenly spaced", plan.frameCount, cells);

    Outputs plain = makeOutputs(in, plan);
    const double plainTime = medianSeconds(3, [&] { plainAnalysis(in, plan, plain); });
    std::printf("  plain loop, 1 thread: %.1f ms, %.2f G cells/s\n", plainTime * 1e3,
                cells / plainTime * 1e-9);
    std::printf("  %-7s %7s %10s %8s %9s %11s %9s %11s %7s\n", "kernel", "threads", "median ms",
                "Gcell/s", "vs plain", "twiddle ms", "accum ms", "accum Gc/s", "% peak");

    for (InstructionSet set : {InstructionSet::avx512, InstructionSet::avx2, InstructionSet::scalar}) {
        if (!spectrogrid::instructionSetSupported(set)) continue;
        for (int t : {threads, 1}) {
            if (t == 1 && threads == 1) continue;
            if (t == 1 && set != spectrogrid::bestInstructionSet()) continue;
            omp_set_num_threads(t);
            Outputs out = makeOutputs(in, plan);
            spectrogrid::ScratchTables tables = {out.angularSteps.data(), out.cosTable.data(),
                                                 out.sinTable.data(), out.workspace.data()};
            spectrogrid::CoefficientPlanes planes = {out.real.data(), out.imag.data()};
            const double total = timeCall([&] {
                spectrogrid::computeCoefficientsWith(set, in, plan, tables, planes, out.times.data());
            });
            const double twiddles = twiddleSeconds(set, in, out.angularSteps);
            const double accumulation = total - twiddles;
            const int s = static_cast<int>(set);
            const double peak = peakCells[s][t == 1 ? 0 : 1];
            std::printf("  %-7s %7d %10.2f %8.2f %8.1fx %11.2f ", spectrogrid::instructionSetName(set),
                        t, total * 1e3, cells / total * 1e-9, plainTime / total, twiddles * 1e3);
            // Where the twiddles are nearly all the time, the difference is noise.
            if (accumulation > 0.1 * total) {
                std::printf("%9.2f %11.2f %6.0f%%", accumulation * 1e3, cells / accumulation * 1e-9,
                            100.0 * cells / accumulation / peak);
            } else {
                std::printf("%9s %11s %7s", "-", "-", "-");
            }
            std::printf("%s\n", sameCoefficients(out, plain) ? "" : "  BITS DIFFER FROM THE PLAIN LOOP");
        }
    }
    spectrogrid::setAnalysisThreads();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Workload> all = {
        {"W1 audio", 480000, 2048, 1536, 512, true},
        {"W2 few frames", 16384, 4096, 0, 2000, false},
        {"W3 many short frames", 2000000, 256, 128, 64, false},
    };
    std::vector<Workload> chosen;
    if (argc == 5) {
        chosen.push_back({"custom", std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]),
                          std::atoi(argv[4]), true});
    } else if (argc == 1) {
        chosen = all;
    } else {
        for (int a = 1; a < argc; ++a) {
            for (const Workload& w : all) {
                if (w.name.compare(0, std::strlen(argv[a]), argv[a]) == 0) chosen.push_back(w);
            }
        }
    }
    if (chosen.empty()) {
        std::fprintf(stderr, "usage: %s [W1] [W2] [W3] | N L overlap K\n", argv[0]);
        return 2;
    }

    spectrogrid::setAnalysisThreads();
    const int threads = omp_get_max_threads();
    std::printf("load average at start: %s", loadAverage().c_str());
    std::printf("best kernel here: %s; threads per call: %d\n",
                spectrogrid::instructionSetName(spectrogrid::bestInstructionSet()), threads);
    std::printf("peak without fused multiply-add, in G cells/s (4 operations per cell):\n");
    double peakCells[3][2] = {{0, 0}, {0, 0}, {0, 0}};
    for (InstructionSet set : {InstructionSet::avx512, InstructionSet::avx2, InstructionSet::scalar}) {
        if (!spectrogrid::instructionSetSupported(set)) continue;
        const int s = static_cast<int>(set);
        const int lanes = vectorLanes(set);
        peakCells[s][0] = peakVectorOperations(set, 1) * lanes / 4.0;
        peakCells[s][1] = peakVectorOperations(set, threads) * lanes / 4.0;
        std::printf("  %-7s 1 thread %6.2f, %d threads %6.2f\n", spectrogrid::instructionSetName(set),
                    peakCells[s][0] * 1e-9, threads, peakCells[s][1] * 1e-9);
    }
    for (const Workload& w : chosen) runWorkload(w, peakCells, threads);
    std::printf("\nload average at end: %s", loadAverage().c_str());
    return 0;
}
