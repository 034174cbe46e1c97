// Speed of the whole analysis over the shapes of call people make, with
// every kernel set the processor supports (forced by name), on one thread
// and on all the threads a call uses, against the peak rate of unfused
// multiplications and additions of that instruction set.
//
//   shape_sweep                      every shape of the sweep
//   shape_sweep NAME ...             the shapes whose names start so
//   shape_sweep N L overlap K        one shape: random signal, Hann window,
//                                    K log-spaced frequencies at 48 kHz
// Options (before the shapes): --rounds R (best of R, default 5),
// --kernel NAME (only that set), --split frequency|frame (force every
// frequency into one orientation), --twiddles (also time the twiddles
// alone, to report the accumulation's share of the peak), and for tuning
// --tile, --tile-frames, --unit-frequencies, --unit-frames N (override the
// planner's sizes). --channels P compares instead a call with P channels,
// and one with a complex signal, with one channel's (best kernel).
// --stop-query times instead each call with no stop query and with one
// that, like Octave's, reads a flag nobody sets (best kernel, calls
// interleaved), and counts how often the calling thread asked it.
//
// A cell is one (frequency, frame, window sample) term: two multiplications
// and two additions. The machine is shared and its speed moves from one
// second to the next: for each shape the peak and the call are measured in
// turn, round after round, and the best of each is kept. The program
// asserts nothing.
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

#include "driver/accumulation_plan.h"
#include "driver/compute.h"
#include "driver/kernel_sets.h"
#include "peak.h"
#include "spectrogrid_core.h"

namespace {

using spectrogrid::KernelSet;

struct Shape {
    std::string name;
    int signalLength, windowLength, overlap, frequencyCount;
};

// One to eight tones over long recordings; EEG at 250 Hz; log-spaced bins
// over audio frames; short frames for transients; long windows; many bins.
const std::vector<Shape> sweepShapes = {
    {"tone1", 2000000, 256, 128, 1},
    {"tones2", 1000000, 128, 96, 2},
    {"tones3", 2000000, 1024, 768, 3},
    {"tones4", 2000000, 256, 128, 4},
    {"tones6", 1000000, 512, 256, 6},
    {"tones8", 2000000, 256, 128, 8},
    {"eeg20", 900000, 512, 384, 20},
    {"eeg32", 900000, 256, 192, 32},
    {"short32", 800000, 32, 24, 64},
    {"short64", 1000000, 64, 48, 200},
    {"frames64", 1000000, 64, 48, 64},
    {"band16", 2000000, 1024, 768, 16},
    {"audio84", 480000, 1024, 768, 84},
    {"W1audio512", 480000, 2048, 1536, 512},
    {"cqt672", 960000, 8192, 6144, 672},
    {"long256", 2000000, 16384, 12288, 256},
    {"bins4000", 300000, 4096, 3072, 4000},
};

struct Inputs {
    std::vector<double> signal, window, frequencies;
    double sampleRate = 48000.0;
    double overlap = 0.0;
};

Inputs makeInputs(const Shape& shape) {
    Inputs in;
    std::mt19937_64 rng(2024);
    std::normal_distribution<double> normal(0.0, 1.0);
    in.signal.resize(shape.signalLength);
    for (double& x : in.signal) x = normal(rng);
    in.window.resize(shape.windowLength);
    for (int i = 0; i < shape.windowLength; ++i) {
        in.window[i] = 0.5 - 0.5 * std::cos(6.283185307179586 * i / shape.windowLength);
    }
    in.frequencies.resize(shape.frequencyCount);
    for (int k = 0; k < shape.frequencyCount; ++k) {
        const double u = shape.frequencyCount > 1 ? static_cast<double>(k) / (shape.frequencyCount - 1) : 0.0;
        in.frequencies[k] = 20.0 * std::pow(1000.0, u);
    }
    in.overlap = shape.overlap;
    return in;
}

struct Buffers {
    std::vector<double> angularSteps, cosTable, sinTable, workspace, times, real, imag;
};

Buffers makeBuffers(const spectrogrid::AnalysisInputs& in, const spectrogrid::FramePlan& plan) {
    Buffers b;
    const std::size_t cells = static_cast<std::size_t>(in.frequencyCount) * plan.frameCount;
    b.angularSteps.resize(in.windowLength);
    b.cosTable.resize(in.windowLength);
    b.sinTable.resize(in.windowLength);
    b.workspace.resize(static_cast<std::size_t>(
        spectrogrid::workspaceLength(in.windowLength, in.frequencyCount, plan.frameCount)));
    b.times.resize(plan.frameCount);
    b.real.resize(cells);
    b.imag.resize(cells);
    return b;
}

template <typename Body>
double secondsOf(const Body& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The twiddles of every frequency alone, split over the threads by
// frequency, in chunks as the kernels compute them.
double twiddleSeconds(const KernelSet& kernels, const spectrogrid::AnalysisInputs& in,
                      const std::vector<double>& angularSteps) {
    const std::int64_t L = in.windowLength, K = in.frequencyCount;
    const int threads = omp_get_max_threads();
    const std::int64_t chunk = 1024;
    std::vector<double> scratch(static_cast<std::size_t>(threads) * 3 * chunk);
    return secondsOf([&] {
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
                        kernels.fillSinCos(theta, sine, cosine, pending);
                        pending = 0;
                    }
                }
            }
            if (pending > 0) kernels.fillSinCos(theta, sine, cosine, pending);
        }
    });
}

std::string loadAverage() {
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    if (file == nullptr) return "unknown";
    char line[128] = {0};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    std::string text = read ? std::string(line) : std::string("unknown");
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

struct Options {
    int rounds = 5;
    int channels = 0;  // > 0: the channels comparison instead of the sweep
    std::string kernel;
    std::string split;
    bool twiddles = false;
    bool stopQuery = false;  // the cost of asking a stop query instead of the sweep
    int tile = 0, tileFrames = 0, unitFrequencies = 0, unitFrames = 0;  // 0: the planner's
};

std::string describePlan(const spectrogrid::AccumulationPlan& p, int K) {
    char text[160];
    std::snprintf(text, sizeof text, "freq %d x%d/%d t%d | frame %d x%d/%d t%d", p.frameLaneBegin,
                  p.frequencyLanes.unitFrequencies, p.frequencyLanes.unitFrames, p.frequencyLanes.tileLength,
                  K - p.frameLaneBegin, p.frameLanes.unitFrequencies, p.frameLanes.unitFrames,
                  p.frameLanes.tileLength);
    return text;
}

struct Row {
    std::string shape, kernel;
    int threads;
    int frames, K;
    double fraction;
};

std::vector<Row> rows;

void runShape(const Shape& shape, const Options& options, int callThreads) {
    const Inputs inputs = makeInputs(shape);
    const spectrogrid::AnalysisInputs in = {
        inputs.signal.data(), static_cast<std::int32_t>(inputs.signal.size()), inputs.window.data(),
        static_cast<std::int32_t>(inputs.window.size()), inputs.overlap, inputs.frequencies.data(),
        static_cast<std::int32_t>(inputs.frequencies.size()), inputs.sampleRate};
    const spectrogrid::FramePlan framePlan =
        spectrogrid::planFrames(in.signalLength, in.windowLength, in.overlap);
    const double cells = static_cast<double>(in.frequencyCount) * framePlan.frameCount * in.windowLength;
    Buffers b = makeBuffers(in, framePlan);
    const spectrogrid::ScratchTables tables = {b.angularSteps.data(), b.cosTable.data(),
                                               b.sinTable.data(), b.workspace.data()};
    const spectrogrid::CoefficientPlanes planes = {b.real.data(), b.imag.data()};

    for (int s = 0; s < spectrogrid::kernelSetCount; ++s) {
        const KernelSet& kernels = *spectrogrid::kernelSets[s];
        if (!spectrogrid::instructionSetSupported(kernels.set)) continue;
        if (!options.kernel.empty() && options.kernel != kernels.name) continue;
        if (options.kernel.empty() && kernels.set == spectrogrid::InstructionSet::scalar &&
            spectrogrid::bestInstructionSet() != spectrogrid::InstructionSet::scalar) {
            continue;
        }
        for (int threads : {1, callThreads}) {
            if (threads == callThreads && threads == 1 && rows.size() > 0 &&
                rows.back().shape == shape.name && rows.back().kernel == kernels.name) {
                continue;
            }
            omp_set_num_threads(threads);
            spectrogrid::AccumulationPlan plan = spectrogrid::planAccumulation(
                kernels, in.windowLength, in.frequencyCount, framePlan.frameCount, framePlan.hop, 1, threads);
            if (options.split == "frequency") plan.frameLaneBegin = in.frequencyCount;
            if (options.split == "frame" && kernels.frameFrequencies > 0) {
                plan.frameLaneBegin = 0;
                plan.frameLanes.unitFrequencies = plan.frameLanes.unitFrequencies > 0 ? plan.frameLanes.unitFrequencies : 1;
            }
            for (spectrogrid::UnitShape* u : {&plan.frequencyLanes, &plan.frameLanes}) {
                if (options.tile > 0) u->tileLength = options.tile;
                if (options.tileFrames > 0) u->tileFrames = options.tileFrames;
                if (options.unitFrequencies > 0) u->unitFrequencies = options.unitFrequencies;
                if (options.unitFrames > 0) u->unitFrames = options.unitFrames;
            }
            plan.threadWorkspace = kernels.threadWorkspace(plan);
            if (static_cast<std::size_t>(plan.threadWorkspace * threads) > b.workspace.size()) {
                b.workspace.resize(static_cast<std::size_t>(plan.threadWorkspace * threads));
            }
            spectrogrid::ScratchTables own = tables;
            own.workspace = b.workspace.data();
            double bestCall = 1e30, bestPeak = 0.0, bestTwiddles = 1e30;
            // Calls of about 0.1 s or more run once per round; shorter ones
            // repeat so that a round lasts about that long.
            const double once = secondsOf([&] {
                spectrogrid::computeCoefficientsWith(kernels, plan, in, framePlan, own, planes, b.times.data());
            });
            const int repeats = std::max(1, std::min(200, static_cast<int>(0.1 / std::max(once, 1e-6))));
            for (int round = 0; round < options.rounds; ++round) {
                const double peak = peakVectorOperations(kernels.set, threads, 20000000, 1) * kernels.lanes / 4.0;
                bestPeak = std::max(bestPeak, peak);
                for (int r = 0; r < repeats; ++r) {
                    bestCall = std::min(bestCall, secondsOf([&] {
                        spectrogrid::computeCoefficientsWith(kernels, plan, in, framePlan, own, planes,
                                                             b.times.data());
                    }));
                }
                if (options.twiddles) bestTwiddles = std::min(bestTwiddles, twiddleSeconds(kernels, in, b.angularSteps));
            }
            const double rate = cells / bestCall;
            std::printf("%-11s %7d %5d %5d %-7s %2d %9.2f %8.2f %8.2f %6.0f%%", shape.name.c_str(),
                        framePlan.frameCount, in.windowLength, in.frequencyCount, kernels.name, threads,
                        bestCall * 1e3, rate * 1e-9, bestPeak * 1e-9, 100.0 * rate / bestPeak);
            if (options.twiddles) {
                const double accumulation = bestCall - bestTwiddles;
                if (accumulation > 0.2 * bestCall) {
                    std::printf(" %6.0f%%", 100.0 * cells / accumulation / bestPeak);
                } else {
                    std::printf(" %7s", "-");
                }
            }
            std::printf("  %s\n", describePlan(plan, in.frequencyCount).c_str());
            std::fflush(stdout);
            rows.push_back({shape.name, kernels.name, threads, framePlan.frameCount, in.frequencyCount,
                            rate / bestPeak});
        }
    }
}

// Several channels against one: the time of a call with `channels` copies
// of the signal as columns, and of the complex signal (the signal as its
// real and imaginary parts), against `channels` (or 2) times the
// accumulation of one channel plus the twiddles once, which every unit
// shares between its channels.
void compareChannels(const Shape& shape, const Options& options, int threads) {
    const Inputs inputs = makeInputs(shape);
    const int N = shape.signalLength;
    std::vector<double> columns(static_cast<std::size_t>(N) * options.channels);
    for (int c = 0; c < options.channels; ++c) {
        for (int n = 0; n < N; ++n) columns[static_cast<std::size_t>(c) * N + n] = inputs.signal[(n + 7919 * c) % N];
    }
    spectrogrid::AnalysisInputs one = {
        inputs.signal.data(), N, inputs.window.data(), static_cast<std::int32_t>(inputs.window.size()),
        inputs.overlap, inputs.frequencies.data(), static_cast<std::int32_t>(inputs.frequencies.size()),
        inputs.sampleRate};
    spectrogrid::AnalysisInputs many = one;
    many.signal = columns.data();
    many.channelCount = options.channels;
    spectrogrid::AnalysisInputs complex = one;
    complex.signal = columns.data();
    complex.signalImag = columns.data() + N;
    const spectrogrid::FramePlan framePlan = spectrogrid::planFrames(N, one.windowLength, one.overlap);
    Buffers b = makeBuffers(one, framePlan);
    const std::size_t cells = static_cast<std::size_t>(one.frequencyCount) * framePlan.frameCount;
    std::vector<double> real(cells * options.channels), imag(cells * options.channels);
    std::vector<double> imaginaryPart(static_cast<std::size_t>(
        spectrogrid::imaginaryPartLength(one.frequencyCount, framePlan.frameCount, 1, true)));
    spectrogrid::ScratchTables tables = {b.angularSteps.data(), b.cosTable.data(), b.sinTable.data(),
                                         b.workspace.data(), imaginaryPart.data()};
    const spectrogrid::CoefficientPlanes planes = {real.data(), imag.data()};
    omp_set_num_threads(threads);
    const spectrogrid::KernelSet& kernels = spectrogrid::kernelSetFor(spectrogrid::bestInstructionSet());
    double single = 1e30, twiddles = 1e30, several = 1e30, both = 1e30;
    for (int round = 0; round < options.rounds; ++round) {
        single = std::min(single, secondsOf([&] { spectrogrid::computeCoefficients(one, framePlan, tables, planes, b.times.data()); }));
        twiddles = std::min(twiddles, twiddleSeconds(kernels, one, b.angularSteps));
        several = std::min(several, secondsOf([&] { spectrogrid::computeCoefficients(many, framePlan, tables, planes, b.times.data()); }));
        both = std::min(both, secondsOf([&] { spectrogrid::computeCoefficients(complex, framePlan, tables, planes, b.times.data()); }));
    }
    const double accumulation = single - twiddles;
    const double severalBound = options.channels * accumulation + twiddles;
    const double complexBound = 2 * accumulation + twiddles;
    std::printf("%-11s %2d %8.2f %8.2f   %2d ch %8.2f %8.2f %5.2f   complex %8.2f %8.2f %5.2f\n",
                shape.name.c_str(), threads, single * 1e3, twiddles * 1e3, options.channels, several * 1e3,
                severalBound * 1e3, several / severalBound, both * 1e3, complexBound * 1e3, both / complexBound);
    std::fflush(stdout);
}

// A stop query as cheap as Octave's: a flag that stays clear, and a count.
volatile int neverSet = 0;
long long questions = 0;
bool askNeverSet(void*) {
    ++questions;
    return neverSet != 0;
}

// One shape without and with a stop query, best of the rounds, interleaved.
void compareStopQuery(const Shape& shape, const Options& options, int threads) {
    const Inputs inputs = makeInputs(shape);
    const spectrogrid::AnalysisInputs in = {
        inputs.signal.data(), shape.signalLength, inputs.window.data(), shape.windowLength,
        inputs.overlap, inputs.frequencies.data(), shape.frequencyCount, inputs.sampleRate};
    const spectrogrid::FramePlan framePlan = spectrogrid::planFrames(in.signalLength, in.windowLength, in.overlap);
    Buffers b = makeBuffers(in, framePlan);
    const spectrogrid::ScratchTables tables = {b.angularSteps.data(), b.cosTable.data(), b.sinTable.data(),
                                               b.workspace.data()};
    const spectrogrid::CoefficientPlanes planes = {b.real.data(), b.imag.data()};
    omp_set_num_threads(threads);
    double without = 1e30, with = 1e30;
    long long asked = 0;
    for (int round = 0; round < options.rounds; ++round) {
        without = std::min(without, secondsOf([&] {
            spectrogrid::computeCoefficients(in, framePlan, tables, planes, b.times.data());
        }));
        questions = 0;
        with = std::min(with, secondsOf([&] {
            spectrogrid::computeCoefficients(in, framePlan, tables, planes, b.times.data(), {askNeverSet, nullptr});
        }));
        asked = questions;
    }
    std::printf("%-11s %2d %9.2f %9.2f %+7.2f%% %9lld %9.3f\n", shape.name.c_str(), threads, without * 1e3,
                with * 1e3, 100.0 * (with - without) / without, asked, with * 1e3 / static_cast<double>(asked));
    std::fflush(stdout);
}

void summarise(int callThreads) {
    std::printf("\ngeometric mean of the fraction of peak, shapes with >= 200 frames and K >= 4:\n");
    std::vector<std::string> kernels;
    for (const Row& r : rows) {
        if (std::find(kernels.begin(), kernels.end(), r.kernel) == kernels.end()) kernels.push_back(r.kernel);
    }
    for (const std::string& kernel : kernels) {
        for (int threads : {1, callThreads}) {
            double logSum = 0.0;
            int count = 0;
            for (const Row& r : rows) {
                if (r.kernel != kernel || r.threads != threads || r.frames < 200 || r.K < 4) continue;
                logSum += std::log(r.fraction);
                ++count;
            }
            if (count > 0) {
                std::printf("  %-7s %d thread%s: %5.1f%% over %d shapes\n", kernel.c_str(), threads,
                            threads == 1 ? " " : "s", 100.0 * std::exp(logSum / count), count);
            }
            if (threads == callThreads) break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int a = 1;
    for (; a < argc && std::strncmp(argv[a], "--", 2) == 0; ++a) {
        const std::string flag = argv[a];
        if (flag == "--stop-query") {
            options.stopQuery = true;
        } else if (flag == "--twiddles") {
            options.twiddles = true;
        } else if (a + 1 < argc && flag == "--rounds") {
            options.rounds = std::max(1, std::atoi(argv[++a]));
        } else if (a + 1 < argc && flag == "--kernel") {
            options.kernel = argv[++a];
        } else if (a + 1 < argc && flag == "--channels") {
            options.channels = std::max(2, std::atoi(argv[++a]));
        } else if (a + 1 < argc && flag == "--split") {
            options.split = argv[++a];
        } else if (a + 1 < argc && flag == "--tile") {
            options.tile = std::atoi(argv[++a]);
        } else if (a + 1 < argc && flag == "--tile-frames") {
            options.tileFrames = std::atoi(argv[++a]);
        } else if (a + 1 < argc && flag == "--unit-frequencies") {
            options.unitFrequencies = std::atoi(argv[++a]);
        } else if (a + 1 < argc && flag == "--unit-frames") {
            options.unitFrames = std::atoi(argv[++a]);
        } else {
            std::fprintf(stderr, "unknown option %s\n", flag.c_str());
            return 2;
        }
    }
    std::vector<Shape> chosen;
    const int rest = argc - a;
    if (rest == 4 && std::atoi(argv[a]) > 0) {
        chosen.push_back({"custom", std::atoi(argv[a]), std::atoi(argv[a + 1]), std::atoi(argv[a + 2]),
                          std::atoi(argv[a + 3])});
    } else if (rest == 0) {
        chosen = sweepShapes;
    } else {
        for (; a < argc; ++a) {
            for (const Shape& s : sweepShapes) {
                if (s.name.compare(0, std::strlen(argv[a]), argv[a]) == 0) chosen.push_back(s);
            }
        }
    }
    if (chosen.empty()) {
        std::fprintf(stderr, "usage: %s [--rounds R] [--kernel NAME] [--split frequency|frame] "
                             "[--twiddles] [SHAPE ...] | N L overlap K\n", argv[0]);
        return 2;
    }
    spectrogrid::setAnalysisThreads();
    const int callThreads = omp_get_max_threads();
    std::printf("load average at start: %s\n", loadAverage().c_str());
    std::printf("best kernel here: %s; threads per call: %d; best of %d rounds\n\n",
                spectrogrid::instructionSetName(spectrogrid::bestInstructionSet()), callThreads,
                options.rounds);
    if (options.stopQuery) {
        std::printf("times in ms, without and with a stop query; questions the calling thread asked in a\n"
                    "call, and the ms of work between two of them\n");
        std::printf("%-11s %2s %9s %9s %8s %9s %9s\n", "shape", "T", "no query", "query", "change",
                    "questions", "ms/quest.");
        for (const Shape& shape : chosen) {
            for (int threads : {1, callThreads}) {
                compareStopQuery(shape, options, threads);
                if (callThreads == 1) break;
            }
        }
        return 0;
    }
    if (options.channels > 0) {
        std::printf("times in ms; 'bound' is channels (2 for complex) x the accumulation of one channel\n"
                    "(one channel's call less its twiddles) + the twiddles once\n");
        std::printf("%-11s %2s %8s %8s   %5s %8s %8s %5s   %7s %8s %8s %5s\n", "shape", "T", "1 ch", "twiddle",
                    "", "P ch", "bound", "ratio", "", "complex", "bound", "ratio");
        for (const Shape& shape : chosen) {
            for (int threads : {1, callThreads}) {
                compareChannels(shape, options, threads);
                if (callThreads == 1) break;
            }
        }
        return 0;
    }
    std::printf("%-11s %7s %5s %5s %-7s %2s %9s %8s %8s %7s%s  %s\n", "shape", "frames", "L", "K",
                "kernel", "T", "ms", "Gcell/s", "peak", "%peak", options.twiddles ? "  %accum" : "",
                "plan");
    for (const Shape& shape : chosen) runShape(shape, options, callThreads);
    summarise(callThreads);
    std::printf("\nload average at end: %s\n", loadAverage().c_str());
    return 0;
}
