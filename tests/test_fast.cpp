// The fast mode ('Tolerance'): its promise |C_fast - C_true| <= tol * S_j
// held against exact sums for every coefficient checked, over random and
// adversarial calls; the same bits for every instruction set and thread
// count; the kernel table and the kernel's exponential checked afresh; and
// the choice between the paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "core_runner.h"
#include "core_test_support.h"
#include "fast/fast.h"
#include "fast/generated/kernel_table.h"
#include "reference.h"

using spectrogrid::AnalysisInputs;
using spectrogrid::InstructionSet;
using spectrogrid::SampleType;

namespace {

enum class Signal { gaussian, sparse, impulse, loudQuietZero };
enum class Window { hann, rectangular, randomSign };
enum class Frequencies { uniform, logSpaced, farAbove, gridCell };

struct FastCase {
    const char* name;
    std::int32_t L, hop, frames, K;
    Signal signal;
    Window window;
    Frequencies frequencies;
    double tolerance;
    double sampleRate;
    bool complex;
    std::int32_t channels;
    int checkedFrequencies;  // how many of the K get exact sums (spread out)
    spectrogrid::fast::Preference path = spectrogrid::fast::Preference::nufft;
};

// Inputs of a case, owning their arrays; int16 samples for a complex case.
struct CaseInputs {
    std::vector<double> re, im, window, frequencies;
    std::vector<std::int16_t> re16, im16;
    AnalysisInputs in = {};
};

void buildInputs(const FastCase& c, std::uint64_t seed, CaseInputs* out) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const std::int64_t N = std::int64_t{c.frames - 1} * c.hop + c.L;
    const std::int64_t total = N * c.channels;
    out->re.assign(total, 0.0);
    out->im.assign(c.complex ? total : 0, 0.0);
    for (std::int64_t n = 0; n < total; ++n) {
        const std::int64_t frame = (n % N) / c.hop;
        switch (c.signal) {
            case Signal::gaussian: out->re[n] = normal(rng); break;
            case Signal::sparse: out->re[n] = rng() % 61 == 0 ? normal(rng) * 1e3 : 0.0; break;
            case Signal::impulse: out->re[n] = n % N == c.L - 1 ? 1.0 : 0.0; break;
            case Signal::loudQuietZero: {
                const double scale[] = {1e6, 1e-6, 0.0, 1.0};
                out->re[n] = normal(rng) * scale[frame % 4];
                break;
            }
        }
        if (c.complex) out->im[n] = normal(rng);
    }
    out->window.resize(c.L);
    for (std::int32_t n = 0; n < c.L; ++n) {
        switch (c.window) {
            case Window::hann: out->window[n] = 0.5 - 0.5 * std::cos(6.283185307179586 * n / c.L); break;
            case Window::rectangular: out->window[n] = 1.0; break;
            case Window::randomSign: out->window[n] = rng() % 2 ? 1.0 : -1.0; break;
        }
    }
    const double fs = c.sampleRate;
    out->frequencies.resize(c.K);
    for (std::int32_t k = 0; k < c.K; ++k) {
        switch (c.frequencies) {
            case Frequencies::uniform: out->frequencies[k] = (4.0 * unit(rng) - 2.0) * fs; break;
            case Frequencies::logSpaced:
                out->frequencies[k] = 20.0 * std::pow(fs / 40.0, double(k) / (c.K - 1));
                break;
            case Frequencies::farAbove: out->frequencies[k] = (1e7 + unit(rng)) * fs * (k % 2 ? 1 : -1); break;
            // Finely across (at least) one cell of the longest FFT grid.
            case Frequencies::gridCell: out->frequencies[k] = 0.1 * fs + fs / (2.0 * c.L) * k / (c.K - 1); break;
        }
    }
    AnalysisInputs& in = out->in;
    in.signalLength = static_cast<std::int32_t>(N);
    in.window = out->window.data();
    in.windowLength = c.L;
    in.overlap = c.L - c.hop;
    in.frequencies = out->frequencies.data();
    in.frequencyCount = c.K;
    in.sampleRate = fs;
    in.channelCount = c.channels;
    if (c.complex) {
        // Integer samples: the signal scaled into int16.
        out->re16.resize(total);
        out->im16.resize(total);
        for (std::int64_t n = 0; n < total; ++n) {
            out->re16[n] = static_cast<std::int16_t>(std::lround(out->re[n] * 3000.0));
            out->im16[n] = static_cast<std::int16_t>(std::lround(out->im[n] * 3000.0));
            out->re[n] = out->re16[n];
            out->im[n] = out->im16[n];
        }
        in.signal = out->re16.data();
        in.signalImag = out->im16.data();
        in.signalType = SampleType::int16;
    } else {
        in.signal = out->re.data();
    }
}

const FastCase fastCases[] = {
    {"L1", 1, 1, 20, 50, Signal::gaussian, Window::rectangular, Frequencies::uniform, 1e-6, 1.0, false, 1, 50},
    {"prime7", 7, 3, 30, 64, Signal::sparse, Window::hann, Frequencies::uniform, 1e-12, 44100.0, false, 1, 64},
    {"pow2minus1_far", 255, 100, 12, 200, Signal::gaussian, Window::randomSign, Frequencies::farAbove, 1e-9, 48000.0, false, 1, 40},
    {"impulseEveryPosition", 257, 1, 257, 33, Signal::impulse, Window::rectangular, Frequencies::gridCell, 1e-12, 8000.0, false, 1, 33},
    {"K3000_log", 1024, 256, 20, 3000, Signal::gaussian, Window::hann, Frequencies::logSpaced, 1e-12, 44100.0, false, 1, 24},
    {"loudQuietZero", 4099, 2048, 12, 100, Signal::loudQuietZero, Window::hann, Frequencies::uniform, 1e-3, 1000.0, false, 1, 10},
    {"L16384", 16384, 4096, 4, 3000, Signal::gaussian, Window::hann, Frequencies::uniform, 1e-12, 44100.0, false, 1, 5},
    {"complexInt16Stereo", 513, 200, 9, 150, Signal::gaussian, Window::hann, Frequencies::uniform, 1e-10, 2.0, true, 2, 20},
    {"loose", 100, 37, 15, 80, Signal::sparse, Window::randomSign, Frequencies::uniform, 0.1, 7.3, false, 1, 80},
    {"pow2plus1", 2049, 1000, 6, 400, Signal::gaussian, Window::hann, Frequencies::gridCell, 1e-7, 1e-3, false, 1, 20},
    // The direct sums with exact phases (few frequencies, tight tolerance).
    {"directFarAbove", 1024, 300, 12, 5, Signal::gaussian, Window::hann, Frequencies::farAbove, 1e-12, 48000.0, false, 1, 5,
     spectrogrid::fast::Preference::direct},
    {"directComplexStereo", 513, 200, 9, 7, Signal::loudQuietZero, Window::randomSign, Frequencies::uniform, 1e-12, 2.0, true, 2, 7,
     spectrogrid::fast::Preference::direct},
    // FFT lengths with factors 3 and 5 (as several above take): N 1280 = 2^8 * 5 here.
    {"radix5", 600, 150, 13, 500, Signal::gaussian, Window::hann, Frequencies::uniform, 1e-12, 44100.0, false, 1, 25},
};

}  // namespace

// Every checked coefficient of every case within tol * S_j; the worst ratio
// |C_fast - C_true| / (tol * S_j) printed per case. A frame of zeros has S_j
// = 0: its coefficients must be +0 exactly.
TEST(FastMode, BoundHoldsForEveryCheckedCoefficient) {
#if !defined(SPECTROGRID_REFERENCE_EXACT_SUMS)
    GTEST_SKIP() << "no MPFR or __float128 here: the exact sums need both";
#else
    double worstOverall = 0.0;
    for (const FastCase& c : fastCases) {
        CaseInputs inputs;
        buildInputs(c, 19, &inputs);
        const FastOutput fast = runFast(inputs.in, c.tolerance, spectrogrid::bestInstructionSet(), c.path);
        ASSERT_TRUE(fast.plan.fast) << c.name;
        ASSERT_EQ(fast.frames.frameCount, c.frames) << c.name;
        const std::int64_t N = inputs.in.signalLength;
        double worst = 0.0;
        const int checked = c.checkedFrequencies;
        for (int i = 0; i < checked; ++i) {
            const std::int32_t k = static_cast<std::int32_t>(std::int64_t{i} * (c.K - 1) / (checked > 1 ? checked - 1 : 1));
            const reference::ExactTwiddles t = reference::exactTwiddles(inputs.frequencies[k], c.sampleRate, c.L);
            for (std::int32_t ch = 0; ch < c.channels; ++ch) {
                for (std::int32_t j = 0; j < c.frames; ++j) {
                    const std::int64_t at = ch * N + std::int64_t{j} * c.hop;
                    __float128 re, im, s = 0;
                    reference::exactCoefficient(&inputs.re[at], 1, inputs.window.data(), c.L, t, &re, &im);
                    if (c.complex) {  // C = A + iB
                        __float128 bRe, bIm;
                        reference::exactCoefficient(&inputs.im[at], 1, inputs.window.data(), c.L, t, &bRe, &bIm);
                        re -= bIm;
                        im += bRe;
                    }
                    for (std::int32_t n = 0; n < c.L; ++n) {
                        const double a = inputs.re[at + n] * inputs.window[n];
                        const double b = c.complex ? inputs.im[at + n] * inputs.window[n] : 0.0;
                        s += static_cast<__float128>(std::sqrt(a * a + b * b)) * (1 + 0x1p-50);
                    }
                    const std::int64_t e = k + (std::int64_t{ch} * c.frames + j) * c.K;
                    const double dRe = static_cast<double>(static_cast<__float128>(fast.real[e]) - re);
                    const double dIm = static_cast<double>(static_cast<__float128>(fast.imag[e]) - im);
                    const double error = std::sqrt(dRe * dRe + dIm * dIm);
                    const double allowed = c.tolerance * static_cast<double>(s);
                    if (allowed == 0.0) {
                        ASSERT_TRUE(std::signbit(fast.real[e]) == 0 && fast.real[e] == 0.0 &&
                                    std::signbit(fast.imag[e]) == 0 && fast.imag[e] == 0.0)
                            << c.name << " zero frame " << j << " k " << k;
                        continue;
                    }
                    ASSERT_LE(error, allowed) << c.name << " k " << k << " frame " << j << " channel " << ch;
                    if (error / allowed > worst) worst = error / allowed;
                }
            }
        }
        std::printf("  %-22s tol %.0e  N %6d  w %2d  bound/tol %.3f  worst |C_fast - C_true|/(tol S) %.3e\n",
                    c.name, c.tolerance, fast.plan.fftLength, fast.plan.width,
                    fast.plan.bound / c.tolerance, worst);
        if (worst > worstOverall) worstOverall = worst;
    }
    std::printf("  worst ratio over every case: %.3e\n", worstOverall);
#endif
}

// The same bits from every instruction set here and every thread count, on
// calls that use complex, multichannel and integer inputs and ragged batches.
TEST(FastMode, SameBitsForEverySetAndThreadCount) {
    const InstructionSet sets[] = {InstructionSet::scalar, InstructionSet::avx2, InstructionSet::avx512};
    // With FFT lengths 16, 512, 2048, 1152 (radix 3), 200 and 1280 (radix 5).
    for (const int index : {0, 2, 4, 7, 8, 11, 12}) {
        const FastCase& c = fastCases[index];
        CaseInputs inputs;
        buildInputs(c, 5, &inputs);
        useThreads(1);
        const FastOutput first = runFast(inputs.in, c.tolerance, InstructionSet::scalar, c.path);
        ASSERT_TRUE(first.plan.fast);
        for (const InstructionSet set : sets) {
            if (!spectrogrid::instructionSetSupported(set)) continue;
            for (int threads = 1; threads <= mostThreads; ++threads) {
                useThreads(threads);
                const FastOutput other = runFast(inputs.in, c.tolerance, set, c.path);
                EXPECT_TRUE(reference::sameBits(first.real, other.real.data(), other.real.size()) &&
                            reference::sameBits(first.imag, other.imag.data(), other.imag.size()))
                    << c.name << " set " << static_cast<int>(set) << " threads " << threads;
            }
        }
    }
    useThreads(mostThreads);
}

// The frame-batched FFT of every set against a direct DFT in long double,
// for lengths of every radix mix (and the first stage's zero padding):
// |Y - Y_dft| within 1e-14 times the sum of |y| of its lane (the rounding
// bound of fast_plan.cpp is about half that at these lengths; two lanes
// checked), the same bits from every set, and every element of the
// spectrum written (the unread zeros are NaN here).
TEST(FastMode, TransformMatchesDirectDft) {
    using spectrogrid::fast::elementDoubles;
    using spectrogrid::fast::lanes;
    std::mt19937_64 rng(23);
    std::normal_distribution<double> normal;
    for (const std::int32_t N : {16, 24, 40, 120, 200, 1152, 1280, 4096, 4608}) {
        const long double twoPi = 6.283185307179586476925L;
        std::vector<double> twiddles(2 * N), samples(std::size_t(N) * lanes, 0.0);
        std::vector<long double> cosines(N), sines(N);
        for (std::int32_t k = 0; k < N; ++k) {
            cosines[k] = std::cos(twoPi * k / N);
            sines[k] = std::sin(twoPi * k / N);
            twiddles[k] = static_cast<double>(cosines[k]);
            twiddles[N + k] = static_cast<double>(-sines[k]);
        }
        // Frame samples at indices [0, N/4) and [3N/4, N), zeros between.
        for (std::int32_t p = 0; p < N; ++p) {
            for (int lane = 0; lane < lanes; ++lane) {
                if (p < N / 4 || p >= 3 * N / 4) samples[std::size_t(p) * lanes + lane] = normal(rng);
            }
        }
        std::vector<double> first;
        for (const InstructionSet set : {InstructionSet::scalar, InstructionSet::avx2, InstructionSet::avx512}) {
            if (!spectrogrid::instructionSetSupported(set)) continue;
            std::vector<double> data(std::size_t(N) * elementDoubles, std::nan("")), spare(data);
            for (std::int32_t p = 0; p < N; ++p) {
                if (p >= N / 4 && p < 3 * N / 4) continue;  // never read: left NaN
                for (int lane = 0; lane < lanes; ++lane) {
                    data[std::size_t(p / 2) * elementDoubles + (p % 2) * lanes + lane] = samples[std::size_t(p) * lanes + lane];
                }
            }
            const double* Y = spectrogrid::fast::fastKernelsFor(set).transform(data.data(), spare.data(), twiddles.data(), N, N / 2 + 1);
            const std::vector<double> spectrum(Y, Y + std::size_t(N) * elementDoubles);
            if (first.empty()) {
                first = spectrum;
                for (const int lane : {0, lanes - 1}) {
                    long double mass = 0;
                    for (std::int32_t p = 0; p < N; ++p) mass += std::fabs(samples[std::size_t(p) * lanes + lane]);
                    for (std::int32_t l = 0; l < N; ++l) {
                        long double re = 0, im = 0;
                        for (std::int32_t p = 0; p < N; ++p) {
                            const long double y = samples[std::size_t(p) * lanes + lane];
                            const std::int64_t turn = (std::int64_t{l} * p) % N;
                            re += y * cosines[turn];
                            im -= y * sines[turn];
                        }
                        const double* at = Y + std::size_t(l) * elementDoubles + lane;
                        const double error = static_cast<double>(std::hypot(at[0] - re, at[lanes] - im));
                        ASSERT_LE(error, 1e-14 * static_cast<double>(mass)) << "N " << N << " l " << l << " lane " << lane;
                    }
                }
            } else {
                EXPECT_TRUE(reference::sameBits(first, spectrum.data(), spectrum.size())) << "N " << N << " set " << static_cast<int>(set);
            }
        }
    }
}

// The table's error bound, a bound over every |t| <= tau and delta, checked
// with the run-time kernel values at random points and at the edges where
// the error is largest or the kernel least smooth (t = tau, delta next to
// 0, 1/2 and 1); each set's weights against kernelValue, bit for bit; and
// the kernel's exponential against MPFR-quality long double.
TEST(FastMode, KernelTableAndExponentialHold) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < spectrogrid::fast_tables::widthCount; ++i) {
        const auto& kernel = spectrogrid::fast_tables::kernels[i];
        const int h = kernel.width / 2;
        for (int q = 0; q < spectrogrid::fast_tables::tauCount; ++q) {
            const double edgeT[] = {1.0, 1.0, 1.0, 1.0, 0.0, 0.5}, edgeDelta[] = {0.0, 1e-9, 0.5, 1 - 1e-9, 1e-9, 0.0};
            for (int trial = 0; trial < 306; ++trial) {
                const bool edge = trial >= 300;
                const long double t = (edge ? edgeT[trial - 300] : unit(rng)) * spectrogrid::fast_tables::tauBounds[q];
                const double delta = edge ? edgeDelta[trial - 300] : unit(rng);
                long double d = kernel.atIntegers[0], re = 0, im = 0;
                for (int j = 1; j <= h; ++j) d += 2.0L * kernel.atIntegers[j] * std::cos(6.283185307179586476925L * t * j);
                for (int j = -h; j < h; ++j) {
                    const long double z = delta + j;
                    const long double phi = spectrogrid::fast::kernelValue(i, delta + j);
                    re += phi * std::cos(6.283185307179586476925L * t * z);
                    im += phi * std::sin(6.283185307179586476925L * t * z);
                }
                const long double e = std::hypot(1.0L - re / d, im / d);
                // Within the table's bound, less what the rounded kernel values may add.
                ASSERT_LE(static_cast<double>(e), kernel.error[q] + 1e-15)
                    << "width " << kernel.width << " tau " << q << " t " << static_cast<double>(t) << " delta " << delta;
            }
        }
    }
    // Each set's weights of a frequency: kernelValue's bits.
    for (const InstructionSet set : {InstructionSet::scalar, InstructionSet::avx2, InstructionSet::avx512}) {
        if (!spectrogrid::instructionSetSupported(set)) continue;
        for (int i = 0; i < spectrogrid::fast_tables::widthCount; ++i) {
            const auto& kernel = spectrogrid::fast_tables::kernels[i];
            for (const double delta : {0.0, 1e-300, 0.25, 0.5, unit(rng), 1.0 - 0x1p-53, 1.0}) {
                double weights[16], expected[16];
                spectrogrid::fast::fastKernelsFor(set).kernelTaps(kernel.beta, kernel.width, delta, weights);
                for (int m = 0; m < kernel.width; ++m) expected[m] = spectrogrid::fast::kernelValue(i, delta + (kernel.width / 2 - 1 - m));
                EXPECT_TRUE(reference::sameBits(std::vector<double>(expected, expected + kernel.width), weights, kernel.width))
                    << "set " << static_cast<int>(set) << " width " << kernel.width << " delta " << delta;
            }
        }
    }
    double worst = 0.0;
    for (int trial = 0; trial < 20000; ++trial) {
        const double a = -64.0 * unit(rng);
        const long double exact = std::exp(static_cast<long double>(a));
        const double relative = static_cast<double>(std::fabs(spectrogrid::fast::kernelExp(a) - exact) / exact);
        if (relative > worst) worst = relative;
    }
    EXPECT_LE(worst, 4.0 * 0x1p-53);
}

// Tolerance 0 is the exact mode bit for bit; where the fast path would not
// pay, the exact one runs only if its own bound is within the tolerance.
TEST(FastMode, PathChoiceKeepsThePromise) {
    struct Choice {
        std::int32_t L, K, M;
        double maxRatio, tolerance;
        bool fast, direct;
    };
    const Choice choices[] = {
        {256, 4, 100, 0.5, 1e-6, false, false},      // few frequencies: exact pays, and is within 1e-6
        {256, 4, 100, 2.0, 1e-12, true, true},       // exact's own bound 1.2e-12 > tol: direct sums
        {1024, 3, 7809, 0.42, 1e-12, true, true},
        {2048, 512, 934, 0.5, 1e-12, true, false},   // W1: the FFT path pays
        {8192, 3000, 100, 0.5, 1e-12, true, false},
        {16384, 2, 50, 0.5, 1e-12, true, false},     // the direct sums' bound 2.6e-12 > tol: FFT
        {100, 50, 10, 0.4, 0.0, false, false},       // tolerance 0: exact
    };
    for (const Choice& c : choices) {
        const spectrogrid::fast::FastPlan plan =
            spectrogrid::fast::planFast(c.L, c.K, c.M, 1, false, c.maxRatio, c.tolerance, 1);
        EXPECT_EQ(plan.fast, c.fast) << c.L << " " << c.K << " " << c.tolerance;
        EXPECT_EQ(plan.direct, c.direct) << c.L << " " << c.K << " " << c.tolerance;
        if (!plan.fast && c.tolerance > 0) {
            EXPECT_LE(plan.exactBound, c.tolerance);
        }
        if (plan.fast) {
            EXPECT_LE(plan.bound, c.tolerance);
        }
    }
    // The FFT length: a power of two where that is cheapest, one with
    // factors 3 or 5 where that is (its own bound within the tolerance).
    const struct {
        std::int32_t L, N;
    } lengths[] = {{2048, 4096}, {2049, 4608}, {600, 1280}, {8192, 16384}};
    for (const auto& length : lengths) {
        const spectrogrid::fast::FastPlan plan = spectrogrid::fast::planFast(length.L, 512, 900, 1, false, 0.5, 1e-12, 1);
        EXPECT_EQ(plan.fftLength, length.N) << length.L;
        EXPECT_LE(plan.bound, 1e-12) << length.L;
    }
    // Through the public entry: tolerance 0 writes exactly the exact mode's bits.
    CaseInputs inputs;
    buildInputs(fastCases[8], 3, &inputs);
    const spectrogrid::FramePlan frames = spectrogrid::planFrames(inputs.in.signalLength, 100, inputs.in.overlap);
    EXPECT_EQ(spectrogrid::toleranceWorkspaceLength(inputs.in, frames, 0.0), 0);
    const CoreOutput exact = runCore(inputs.re, inputs.window, inputs.in.overlap, inputs.frequencies, inputs.in.sampleRate);
    std::vector<double> steps(100), cosTable(100), sinTable(100), times(frames.frameCount);
    std::vector<double> workspace(spectrogrid::workspaceLength(100, inputs.in.frequencyCount, frames.frameCount));
    std::vector<double> re(exact.real.size()), im(exact.imag.size());
    spectrogrid::computeCoefficientsWithin(inputs.in, frames, {steps.data(), cosTable.data(), sinTable.data(), workspace.data()},
                                           {re.data(), im.data()}, times.data(), 0.0, nullptr);
    EXPECT_TRUE(reference::sameBits(exact.real, re.data(), re.size()) && reference::sameBits(exact.imag, im.data(), im.size()));
}

// A stop query: the call ends once it answers true (asked before the work
// and between batches), and one that never does changes no bit.
TEST(FastMode, StopQueryEndsTheCallOrChangesNoBit) {
    struct Asked {
        int stopAt, count;
    };
    const auto ask = [](void* context) {
        Asked& a = *static_cast<Asked*>(context);
        return ++a.count >= a.stopAt && a.stopAt != 0;
    };
    for (const spectrogrid::fast::Preference path :
         {spectrogrid::fast::Preference::nufft, spectrogrid::fast::Preference::direct}) {
        const FastCase& c = fastCases[path == spectrogrid::fast::Preference::direct ? 11 : 3];
        CaseInputs inputs;
        buildInputs(c, 9, &inputs);
        useThreads(1);
        const FastOutput plain = runFast(inputs.in, c.tolerance, InstructionSet::scalar, path);
        for (const int stopAt : {0, 1, 3}) {
            Asked asked = {stopAt, 0};
            const FastOutput out = runFast(inputs.in, c.tolerance, InstructionSet::scalar, path, {ask, &asked});
            EXPECT_EQ(out.outcome == spectrogrid::CallOutcome::stopped, stopAt != 0) << c.name << " " << stopAt;
            if (stopAt == 0) {
                EXPECT_TRUE(reference::sameBits(plain.real, out.real.data(), out.real.size()) &&
                            reference::sameBits(plain.imag, out.imag.data(), out.imag.size()));
            } else {
                EXPECT_EQ(asked.count, stopAt);
            }
        }
    }
    useThreads(mostThreads);
}
