// A window for each frequency: equal windows give the plain call's bits,
// and random windows the per-frequency model's, bit for bit, with every
// kernel set, 1 to 4 threads, typed, complex and multichannel signals,
// interleaved planes and no workspace; runs of distinct windows (the
// own-window kernel) in every order of lengths, with infinite samples that
// only some windows cover.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "driver/compute.h"
#include "driver/kernel_sets.h"
#include "core_runner.h"
#include "core_test_support.h"
#include "random_inputs.h"
#include "reference.h"

namespace {

using Windows = std::vector<std::vector<double>>;

// How a shape's windows are drawn.
enum class Draw { mixed, distinct, descending };

// K windows of up to `longest` samples. mixed: runs of equal ones, repeats
// that are not consecutive, odd and even lengths; distinct: every one its
// own, lengths in any order; descending: every one its own, each shorter
// than the last by 0 to 3 samples (constant-Q order).
Windows randomWindows(std::mt19937_64& rng, int K, int longest, Draw draw) {
    Windows windows(K);
    int length = longest;
    for (int k = 0; k < K; ++k) {
        if (draw != Draw::mixed) {
            length = draw == Draw::distinct ? 1 + static_cast<int>(rng() % longest)
                                            : std::max(1, length - static_cast<int>(rng() % 4));
            windows[k] = randomValues(rng, length, 0.5);
            continue;
        }
        const unsigned pick = rng() % 4;
        if (k > 0 && pick == 0) {
            windows[k] = windows[k - 1];
        } else if (k > 1 && pick == 1) {
            windows[k] = windows[rng() % k];
        } else {
            windows[k] = randomValues(rng, 1 + rng() % longest, 0.5);
        }
    }
    return windows;
}

struct Form {
    const spectrogrid::KernelSet* kernels;
    int channels;
    bool complexSignal;
    bool interleaved;
    bool workspace;
    bool int16Samples;
};

struct Output {
    spectrogrid::FramePlan plan;
    std::vector<double> times, real, imag, cosTable;
    spectrogrid::CallOutcome outcome;
};

// The call through computeCoefficientsWith, its channels' samples stored
// one after another (real parts, then imaginary parts).
Output run(const Form& form, const std::vector<double>& samples, const Windows& windows, double overlap,
           const std::vector<double>& frequencies, double sampleRate,
           const spectrogrid::StopQuery& stop = spectrogrid::StopQuery{}) {
    const std::int32_t K = static_cast<std::int32_t>(frequencies.size());
    const std::int32_t N = static_cast<std::int32_t>(samples.size()) / form.channels / (form.complexSignal ? 2 : 1);
    std::vector<std::int16_t> narrow(samples.begin(), samples.end());
    std::vector<const double*> pointers;
    std::vector<std::int32_t> lengths;
    std::int32_t L = 0;
    for (const std::vector<double>& w : windows) {
        pointers.push_back(w.data());
        lengths.push_back(static_cast<std::int32_t>(w.size()));
        L = std::max(L, lengths.back());
    }
    spectrogrid::AnalysisInputs in = {samples.data(), N, nullptr, L, overlap, frequencies.data(), K, sampleRate};
    if (form.int16Samples) {
        in.signal = narrow.data();
        in.signalType = spectrogrid::SampleType::int16;
    }
    in.channelCount = form.channels;
    if (form.complexSignal) {
        const std::size_t half = samples.size() / 2;
        in.signalImag = form.int16Samples ? static_cast<const void*>(narrow.data() + half) : samples.data() + half;
    }
    in.windows = pointers.data();
    in.windowLengths = lengths.data();

    Output out;
    out.plan = spectrogrid::planFrames(N, L, overlap);
    const std::size_t cells = static_cast<std::size_t>(K) * out.plan.frameCount * form.channels;
    std::vector<double> steps(L), cosTable(L), sinTable(L), planes(2 * cells, -1.0);
    std::vector<double> workspace(form.workspace ? spectrogrid::workspaceLength(in, out.plan.frameCount) : 0);
    std::vector<double> imaginary(spectrogrid::imaginaryPartLength(K, out.plan.frameCount, form.channels,
                                                                   form.complexSignal));
    const spectrogrid::ScratchTables tables = {steps.data(), cosTable.data(), sinTable.data(),
                                               workspace.empty() ? nullptr : workspace.data(),
                                               imaginary.empty() ? nullptr : imaginary.data()};
    const spectrogrid::CoefficientPlanes view =
        form.interleaved ? spectrogrid::CoefficientPlanes{planes.data(), planes.data() + 1, 2}
                         : spectrogrid::CoefficientPlanes{planes.data(), planes.data() + cells, 1};
    out.times.assign(out.plan.frameCount, -1.0);
    out.outcome = spectrogrid::computeCoefficientsWith(*form.kernels, in, out.plan, tables, view, out.times.data(), stop);
    for (std::size_t e = 0; e < cells; ++e) {
        out.real.push_back(view.real[e * view.step]);
        out.imag.push_back(view.imag[e * view.step]);
    }
    out.cosTable.assign(cosTable.begin(), cosTable.begin() + (K > 0 ? windows.back().size() : 0));
    return out;
}

// The model of the same call: each real channel alone, a complex signal's
// parts combined as documented, the channels' planes one after another.
reference::Result expected(const Form& form, const std::vector<double>& samples, const Windows& windows,
                           double overlap, const std::vector<double>& frequencies, double sampleRate) {
    const std::size_t N = samples.size() / form.channels / (form.complexSignal ? 2 : 1);
    const auto channel = [&](std::size_t c) {
        const std::vector<double> x(samples.begin() + c * N, samples.begin() + (c + 1) * N);
        return reference::analyseWindows(x, windows, overlap, frequencies, sampleRate);
    };
    reference::Result all = channel(0);
    all.real.clear();
    all.imag.clear();
    for (int c = 0; c < form.channels; ++c) {
        const reference::Result a = channel(c);
        reference::Result b = a;
        if (form.complexSignal) b = channel(c + form.channels);
        for (std::size_t e = 0; e < a.real.size(); ++e) {
            all.real.push_back(form.complexSignal ? a.real[e] - b.imag[e] : a.real[e]);
            all.imag.push_back(form.complexSignal ? a.imag[e] + b.real[e] : a.imag[e]);
        }
    }
    return all;
}

std::vector<Form> everyForm() {
    std::vector<Form> forms;
    for (int s = 0; s < spectrogrid::kernelSetCount; ++s) {
        const spectrogrid::KernelSet* kernels = spectrogrid::kernelSets[s];
        if (!spectrogrid::instructionSetSupported(kernels->set)) continue;
        forms.push_back({kernels, 1, false, false, true, false});
        forms.push_back({kernels, 2, true, true, true, false});
        forms.push_back({kernels, 3, false, true, true, true});
    }
    forms.push_back({&spectrogrid::bestKernelSet(), 2, true, false, false, true});  // per-frequency form
    return forms;
}

bool same(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// The same bits, but any NaN for a NaN (its payload may differ with the
// order of operands).
bool sameOrNaN(const std::vector<double>& expected, const std::vector<double>& actual) {
    if (expected.size() != actual.size()) return false;
    for (std::size_t e = 0; e < expected.size(); ++e) {
        if (std::isnan(expected[e]) ? !std::isnan(actual[e])
                                    : std::memcmp(&expected[e], &actual[e], sizeof(double)) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(Windows, EveryFormMatchesThePerFrequencyModel) {
    std::mt19937_64 rng(20);
    struct Shape { int N, longest, K; double overlap; Draw draw; int infinities; };
    const Shape shapes[] = {
        {900, 70, 9, 40, Draw::mixed, 0},     // lengths up to 70, runs and repeats
        {600, 300, 5, 1.5, Draw::mixed, 0},   // tiles of long windows, fractional overlap
        {400, 9, 24, -3, Draw::mixed, 0},     // many short windows, gaps between frames
        {300, 2, 6, 0, Draw::mixed, 0},       // lengths 1 and 2: d_k = 0 for both
        {50, 200, 4, 10, Draw::mixed, 0},     // the longest window is longer than the signal: no frames
        // Runs of distinct windows: whole register blocks and 1 to 3 more,
        // more than a unit walks at once, long windows over several tiles.
        {700, 60, 9, 50, Draw::distinct, 0},
        {500, 40, 18, 13.5, Draw::descending, 0},
        {2600, 1100, 7, 900, Draw::descending, 0},
        {400, 31, 11, 0, Draw::distinct, 0},
        {900, 80, 6, 70, Draw::descending, 0},
        {60000, 1500, 5, 0, Draw::descending, 0},  // several tiles of frames
        {40, 90, 6, 3, Draw::distinct, 0},    // longer than the signal
        {800, 120, 10, 100, Draw::descending, 12},  // infinite samples some windows cover
    };
    for (const Form& form : everyForm()) {
        for (const Shape& shape : shapes) {
            for (int variant = 0; variant < 2; ++variant) {
                const int parts = form.channels * (form.complexSignal ? 2 : 1);
                std::vector<double> samples = randomValues(rng, static_cast<std::size_t>(shape.N) * parts, 300.0);
                for (double& x : samples) x = std::round(x);  // the same values as int16
                for (int i = 0; i < (form.int16Samples ? 0 : shape.infinities); ++i) {
                    samples[rng() % samples.size()] = i % 2 ? -HUGE_VAL : HUGE_VAL;
                }
                const Windows windows = randomWindows(rng, shape.K, shape.longest, shape.draw);
                const RandomCase c = randomCase(rng, 1, 1, shape.K);
                const reference::Result ref =
                    expected(form, samples, windows, shape.overlap, c.frequencies, c.sampleRate);
                for (int threads = 1; threads <= mostThreads; ++threads) {
                    useThreads(threads);
                    const Output out = run(form, samples, windows, shape.overlap, c.frequencies, c.sampleRate);
                    SCOPED_TRACE(testing::Message() << form.kernels->name << " channels=" << form.channels
                                                    << " complex=" << form.complexSignal << " N=" << shape.N
                                                    << " K=" << shape.K << " threads=" << threads);
                    ASSERT_EQ(out.plan.frameCount, ref.plan.frameCount);
                    EXPECT_TRUE(sameOrNaN(ref.real, out.real));
                    EXPECT_TRUE(sameOrNaN(ref.imag, out.imag));
                    EXPECT_TRUE(same(out.times, ref.times));
                    EXPECT_TRUE(same(out.cosTable, ref.lastCos));
                    if (HasFailure()) return;
                }
            }
        }
    }
    useThreads(mostThreads);
}

TEST(Windows, EqualWindowsGiveThePlainCallBits) {
    std::mt19937_64 rng(21);
    const int lengths[] = {1, 31, 64, 257, 1500};
    for (const Form& form : everyForm()) {
        if (form.channels != 1) continue;
        for (int L : lengths) {
            const RandomCase c = randomCase(rng, 3 * L + 40, L, 13);
            const CoreOutput plain = runCore(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
            const Output cell = run(form, c.signal, Windows(13, c.window), c.overlap, c.frequencies, c.sampleRate);
            SCOPED_TRACE(testing::Message() << form.kernels->name << " L=" << L);
            EXPECT_TRUE(same(cell.real, plain.real));
            EXPECT_TRUE(same(cell.imag, plain.imag));
            EXPECT_TRUE(same(cell.times, plain.times));
        }
    }
}

namespace {

// Says stop at its stopAt-th question (never when 0), counting them.
struct StopAt {
    int stopAt, asked;
};

bool askStopAt(void* context) {
    StopAt& q = *static_cast<StopAt*>(context);
    return q.stopAt != 0 && ++q.asked >= q.stopAt;
}

}  // namespace

TEST(Windows, ARunOfDistinctWindowsStopsWhenAskedOrChangesNoBit) {
    std::mt19937_64 rng(22);
    const std::vector<double> samples = randomValues(rng, 60000, 1.0);
    const Windows windows = randomWindows(rng, 12, 700, Draw::descending);
    const RandomCase c = randomCase(rng, 1, 1, 12);
    const reference::Result ref = reference::analyseWindows(samples, windows, 600, c.frequencies, c.sampleRate);
    for (const Form& form : everyForm()) {
        if (form.channels != 1 || form.kernels->frameFrequencies < 1) continue;
        for (int stopAt : {0, 1, 3}) {
            const int threads = stopAt == 3 ? 1 : mostThreads;
            useThreads(threads);
            StopAt q = {stopAt, 0};
            const Output out = run(form, samples, windows, 600, c.frequencies, c.sampleRate, {askStopAt, &q});
            SCOPED_TRACE(testing::Message() << form.kernels->name << " stopAt=" << stopAt);
            // On one thread the third question comes mid-call; on several
            // the others may take every unit before the calling thread asks
            // a third time.
            const bool saidStop = stopAt != 0 && q.asked >= stopAt;
            EXPECT_EQ(out.outcome == spectrogrid::CallOutcome::stopped, saidStop);
            EXPECT_TRUE(saidStop || stopAt == 0);
            if (saidStop) {
                EXPECT_EQ(q.asked, stopAt);  // never asked again once it said stop
            }
            if (!saidStop) {
                EXPECT_TRUE(same(out.real, ref.real) && same(out.imag, ref.imag));
            }
        }
    }
    useThreads(mostThreads);
}
