// The fast mode against the exact mode: for each call, the best of R runs of
// each, interleaved, on the threads a call uses; the plan the fast mode took
// (FFT length N, sigma = N / L, kernel width, its bound per unit of S), and
// the FFT's own rate against the machine's fused multiply-add peak (one
// thread, frames in the lanes, 2.5 N log2 N flops per real frame). Prints figures,
// asserts nothing.
//
// With --check, also the worst |C_fast - C_true| / (tol S_j) over every
// frame at 8 of the frequencies, C_true the exact sums of tests/reference.h
// (where the build has MPFR and __float128).
//
//   build/release/bench/fast_mode [--rounds R] [--fft] [--check] [--only TEXT] [--fast-only]
//
// --only runs the calls whose name contains TEXT; --fast-only times the fast
// mode alone (for profiles of it).
#include <immintrin.h>
#include <omp.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "driver/kernel_sets.h"
#include "fast/fast.h"
#include "spectrogrid_core.h"
#if defined(SPECTROGRID_REFERENCE_MPFR)
#include "reference.h"
#endif

// GCC 12 warns about its own intrinsics (the undefined first operand).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

namespace {

using Clock = std::chrono::steady_clock;

struct Call {
    const char* name;
    std::int32_t N, L, overlap, K;
    double tolerance;
};

const Call calls[] = {
    {"W1 1e-12", 480000, 2048, 1536, 512, 1e-12},
    {"W1 1e-9", 480000, 2048, 1536, 512, 1e-9},
    {"W1 1e-6", 480000, 2048, 1536, 512, 1e-6},
    {"K3000 L8192", 480000, 8192, 6144, 3000, 1e-12},
    {"K4 L256", 480000, 256, 128, 4, 1e-12},
    // The shape sweep's few tones over long windows: at 1e-12 the exact
    // mode's own bound is above the tolerance, so the direct path runs.
    {"tones3", 2000000, 1024, 768, 3, 1e-12},
    {"band16", 2000000, 1024, 768, 16, 1e-12},
    {"bins4000", 300000, 4096, 3072, 4000, 1e-12},
    {"W4 output-heavy", 1000000, 64, 48, 200, 1e-12},
    {"cqt672", 960000, 8192, 6144, 672, 1e-12},
    {"long256", 2000000, 16384, 12288, 256, 1e-12},
    {"audio84", 480000, 1024, 768, 84, 1e-12},
    // Windows whose FFT length has factors 3 or 5.
    {"L2049 K512", 480000, 2049, 1537, 512, 1e-12},
    {"L3000 K1000", 480000, 3000, 2250, 1000, 1e-9},
    {"L600 K500", 480000, 600, 450, 500, 1e-12},
    {"L5000 K2000", 480000, 5000, 3750, 2000, 1e-12},
};

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// One call of each mode; returns the seconds of the fast (or exact) call.
struct Buffers {
    std::vector<double> signal, window, frequencies, steps, cosTable, sinTable, workspace, fastWorkspace,
        times, real, imag;
};

double runOnce(const spectrogrid::AnalysisInputs& in, const spectrogrid::FramePlan& plan, Buffers& b,
               double tolerance) {
    const spectrogrid::ScratchTables tables = {b.steps.data(), b.cosTable.data(), b.sinTable.data(),
                                               b.workspace.data()};
    const spectrogrid::CoefficientPlanes planes = {b.real.data(), b.imag.data()};
    const auto start = Clock::now();
    spectrogrid::computeCoefficientsWithin(in, plan, tables, planes, b.times.data(), tolerance,
                                           b.fastWorkspace.empty() ? nullptr : b.fastWorkspace.data());
    return seconds(start, Clock::now());
}

// Fused multiply-add peak of one thread, flops per second: 24 independent
// chains of AVX-512 (or 12 of AVX2) fused multiply-adds.
#if defined(__x86_64__)
__attribute__((target("avx512f"))) double fmaPeak512() {
    __m512d acc[24];
    for (int i = 0; i < 24; ++i) acc[i] = _mm512_set1_pd(1.0 + i * 1e-3);
    const __m512d a = _mm512_set1_pd(0.999999), c = _mm512_set1_pd(1e-7);
    const std::int64_t rounds = 20000000;
    const auto start = Clock::now();
    for (std::int64_t r = 0; r < rounds; ++r) {
        for (int i = 0; i < 24; ++i) acc[i] = _mm512_fmadd_pd(acc[i], a, c);
    }
    const double t = seconds(start, Clock::now());
    double sink = 0;
    for (int i = 0; i < 24; ++i) sink += _mm512_reduce_add_pd(acc[i]);
    if (sink == 42.0) std::printf(" ");
    return rounds * 24.0 * 16.0 / t;
}
#endif

double fftRate(std::int32_t N, spectrogrid::InstructionSet set) {
    using namespace spectrogrid::fast;
    std::vector<double> data(std::size_t(N) * elementDoubles), spare(data.size()), twiddles(2 * std::size_t(N));
    for (std::int32_t k = 0; k < N; ++k) {
        twiddles[k] = std::cos(6.283185307179586 * k / N);
        twiddles[N + k] = -std::sin(6.283185307179586 * k / N);
    }
    std::mt19937_64 rng(1);
    std::normal_distribution<double> normal;
    for (double& d : data) d = normal(rng);
    const FastKernels& kernels = fastKernelsFor(set);
    double best = 1e30;
    const int repeats = N >= 16384 ? 20 : 100;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto start = Clock::now();
        for (int r = 0; r < repeats; ++r) kernels.transform(data.data(), spare.data(), twiddles.data(), N, N / 2 + 1);
        const double t = seconds(start, Clock::now()) / repeats;
        if (t < best) best = t;
    }
    return 2.5 * N * std::log2(double(N)) * lanes / best;  // real input
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    bool fftOnly = false, check = false, fastOnly = false;
    const char* only = "";
    for (int a = 1; a < argc; ++a) {
        if (!std::strcmp(argv[a], "--rounds") && a + 1 < argc) rounds = std::atoi(argv[++a]);
        if (!std::strcmp(argv[a], "--fft")) fftOnly = true;
        if (!std::strcmp(argv[a], "--check")) check = true;
        if (!std::strcmp(argv[a], "--fast-only")) fastOnly = true;
        if (!std::strcmp(argv[a], "--only") && a + 1 < argc) only = argv[++a];
    }
    spectrogrid::setAnalysisThreads();
    const spectrogrid::InstructionSet set = spectrogrid::bestInstructionSet();
    std::printf("instruction set %s, %d threads\n", spectrogrid::instructionSetName(set), omp_get_max_threads());
#if defined(__x86_64__)
    if (set == spectrogrid::InstructionSet::avx512 && !fastOnly) {
        const double peak = fmaPeak512();
        std::printf("FMA peak (1 thread, AVX-512): %.1f GFlop/s\n", peak * 1e-9);
        for (std::int32_t N : {4096, 6144, 8192, 10240, 12288, 16384, 20480, 32768}) {
            const double rate = fftRate(N, set);
            std::printf("FFT N %6d: %.1f GFlop/s = %.0f %% of the FMA peak\n", N, rate * 1e-9, 100 * rate / peak);
        }
    }
#endif
    if (fftOnly) return 0;
    std::printf("%-18s %7s %9s %9s %8s %6s %3s %6s %9s\n", "call", "tol", "exact ms", "fast ms", "speed-up",
                "sigma", "w", "N", "bound/tol");
    for (const Call& call : calls) {
        if (!std::strstr(call.name, only)) continue;
        Buffers b;
        std::mt19937_64 rng(2);
        std::normal_distribution<double> normal;
        b.signal.resize(call.N);
        for (double& x : b.signal) x = normal(rng);
        b.window.resize(call.L);
        for (int n = 0; n < call.L; ++n) b.window[n] = 0.5 - 0.5 * std::cos(6.283185307179586 * n / call.L);
        b.frequencies.resize(call.K);
        for (int k = 0; k < call.K; ++k) {
            b.frequencies[k] = call.K > 1 ? 20.0 * std::pow(20000.0 / 20.0, double(k) / (call.K - 1)) : 440.0;
        }
        spectrogrid::AnalysisInputs in;
        in.signal = b.signal.data();
        in.signalLength = call.N;
        in.window = b.window.data();
        in.windowLength = call.L;
        in.overlap = call.overlap;
        in.frequencies = b.frequencies.data();
        in.frequencyCount = call.K;
        in.sampleRate = 44100.0;
        const spectrogrid::FramePlan plan = spectrogrid::planFrames(call.N, call.L, call.overlap);
        b.steps.resize(call.L);
        b.cosTable.resize(call.L);
        b.sinTable.resize(call.L);
        b.workspace.resize(spectrogrid::workspaceLength(call.L, call.K, plan.frameCount));
        b.fastWorkspace.resize(spectrogrid::toleranceWorkspaceLength(in, plan, call.tolerance));
        b.times.resize(plan.frameCount);
        b.real.resize(std::size_t(call.K) * plan.frameCount);
        b.imag.resize(b.real.size());
        const spectrogrid::fast::FastPlan fastPlan = spectrogrid::fast::planFastFor(in, plan, call.tolerance);
        double exact = 1e30, fast = 1e30;
        for (int r = 0; r < rounds; ++r) {
            if (!fastOnly) exact = std::fmin(exact, runOnce(in, plan, b, 0.0));
            fast = std::fmin(fast, runOnce(in, plan, b, call.tolerance));
        }
        std::printf("%-18s %7.0e %9.2f %9.2f %8.2f", call.name, call.tolerance, exact * 1e3, fast * 1e3, exact / fast);
        if (fastPlan.direct) {
            std::printf("  direct path %17.3f", fastPlan.bound / call.tolerance);
        } else if (fastPlan.fast) {
            std::printf(" %6.2f %3d %6d %9.3f   (model: fast/exact %.3f)", double(fastPlan.fftLength) / call.L,
                        fastPlan.width, fastPlan.fftLength, fastPlan.bound / call.tolerance,
                        fastPlan.fastCost / fastPlan.exactCost);
        } else {
            std::printf("  exact path (model: fast/exact %.3f)", fastPlan.fastCost / fastPlan.exactCost);
        }
#if defined(SPECTROGRID_REFERENCE_EXACT_SUMS)
        if (check) {
            runOnce(in, plan, b, call.tolerance);
            double worst = 0.0;
            for (int i = 0; i < 8; ++i) {
                const std::int32_t k = static_cast<std::int32_t>(std::int64_t{i} * (call.K - 1) / 7);
                const reference::ExactTwiddles t = reference::exactTwiddles(b.frequencies[k], in.sampleRate, call.L);
                for (std::int32_t j = 0; j < plan.frameCount; ++j) {
                    const double* x = b.signal.data() + std::int64_t{j} * plan.hop;
                    __float128 re, im;
                    reference::exactCoefficient(x, 1, b.window.data(), call.L, t, &re, &im);
                    double S = 0;
                    for (int n = 0; n < call.L; ++n) S += std::fabs(x[n] * b.window[n]);
                    const std::int64_t e = k + std::int64_t{j} * call.K;
                    const double dr = double(__float128(b.real[e]) - re), di = double(__float128(b.imag[e]) - im);
                    worst = std::fmax(worst, std::sqrt(dr * dr + di * di) / (call.tolerance * S * (1 - 1e-12)));
                }
            }
            std::printf("  worst |C - C_true|/(tol S) %.2e", worst);
        }
#else
        (void)check;
#endif
        std::printf("\n");
    }
    return 0;
}
