// The coefficient kernel against the worked example, its exact symmetries
// and, bit for bit, against the plain reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>

#include "core_runner.h"
#include "core_test_support.h"
#include "random_inputs.h"
#include "reference.h"

namespace {

void expectSameAsReference(const RandomCase& c, const char* what) {
    const CoreOutput out = runCore(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    const reference::Result ref =
        reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    SCOPED_TRACE(testing::Message() << what << ": N=" << c.signal.size() << " L=" << c.window.size()
                                    << " K=" << c.frequencies.size() << " overlap=" << c.overlap
                                    << " rate=" << c.sampleRate);
    ASSERT_EQ(out.plan.hop, ref.plan.hop);
    ASSERT_EQ(out.plan.frameCount, ref.plan.frameCount);
    EXPECT_TRUE(reference::sameBits(ref.angularSteps, out.angularSteps.data(), out.angularSteps.size()));
    EXPECT_TRUE(reference::sameBits(ref.times, out.times.data(), out.times.size()));
    EXPECT_TRUE(reference::sameBits(ref.real, out.real.data(), out.real.size()));
    EXPECT_TRUE(reference::sameBits(ref.imag, out.imag.data(), out.imag.size()));
    if (!c.frequencies.empty()) {
        EXPECT_TRUE(reference::sameBits(ref.lastCos, out.cosTable.data(), out.cosTable.size()));
        EXPECT_TRUE(reference::sameBits(ref.lastSin, out.sinTable.data(), out.sinTable.size()));
    }
}

}  // namespace

TEST(Coefficients, WorkedExample) {
    const CoreOutput out = runCore({1, 2, 3, 4}, {1, 1}, 0, {0, 1}, 2);
    ASSERT_EQ(out.plan.hop, 2);
    ASSERT_EQ(out.plan.frameCount, 2);
    const std::vector<double> real = {3, -1, 7, -1};
    EXPECT_EQ(out.real, real);
    EXPECT_EQ(out.imag[0], 0.0);
    EXPECT_FALSE(std::signbit(out.imag[0]));
    EXPECT_EQ(out.imag[2], 0.0);
    EXPECT_FALSE(std::signbit(out.imag[2]));
    EXPECT_EQ(out.imag[1], -2.4492935982947064e-16);
    EXPECT_EQ(out.imag[3], -4.898587196589413e-16);
    EXPECT_EQ(out.times, (std::vector<double>{0.5, 1.5}));
    EXPECT_EQ(out.angularSteps, (std::vector<double>{0.0, 3.141592653589793}));
}

TEST(Coefficients, ZeroFrequencySumsTheWindowedFrameWithPositiveZeroImaginary) {
    std::mt19937_64 rng(11);
    RandomCase c = randomCase(rng, 300, 17, 3);
    c.frequencies = {0.0, -0.0, 0.0};
    c.overlap = 5;
    const CoreOutput out = runCore(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    ASSERT_GT(out.plan.frameCount, 0);
    for (std::size_t e = 0; e < out.imag.size(); ++e) {
        EXPECT_EQ(out.imag[e], 0.0);
        EXPECT_FALSE(std::signbit(out.imag[e])) << e;
    }
    for (int j = 0; j < out.plan.frameCount; ++j) {
        double sum = 0.0;
        for (int i = 0; i < 17; ++i) sum = sum + reference::roundedProduct(c.signal[j * 12 + i], c.window[i]);
        EXPECT_EQ(out.real[3 * j], sum);
        EXPECT_EQ(out.real[3 * j + 1], sum);
    }
}

TEST(Coefficients, OppositeFrequenciesGiveExactConjugates) {
    std::mt19937_64 rng(12);
    RandomCase c = randomCase(rng, 2000, 129, 0);
    c.sampleRate = 48000;
    c.frequencies = {440.0, -440.0, 12345.678, -12345.678, 96001.5, -96001.5};
    const CoreOutput out = runCore(c.signal, c.window, 64, c.frequencies, c.sampleRate);
    ASSERT_GT(out.plan.frameCount, 0);
    for (std::size_t e = 0; e < out.real.size(); e += 2) {
        EXPECT_EQ(std::memcmp(&out.real[e], &out.real[e + 1], sizeof(double)), 0) << e;
        EXPECT_EQ(out.imag[e], -out.imag[e + 1]) << e;
    }
}

TEST(Coefficients, UnsortedAndRepeatedFrequenciesAreIndependentRows) {
    std::mt19937_64 rng(13);
    RandomCase c = randomCase(rng, 500, 32, 0);
    const std::vector<double> freqs = {0.3, 0.1, 0.3, 0.2, 0.1};
    const CoreOutput all = runCore(c.signal, c.window, 8, freqs, 1.0);
    const int frames = all.plan.frameCount;
    ASSERT_GT(frames, 0);
    for (std::size_t k = 0; k < freqs.size(); ++k) {
        const CoreOutput one = runCore(c.signal, c.window, 8, {freqs[k]}, 1.0);
        for (int j = 0; j < frames; ++j) {
            EXPECT_EQ(std::memcmp(&one.real[j], &all.real[k + j * freqs.size()], sizeof(double)), 0);
            EXPECT_EQ(std::memcmp(&one.imag[j], &all.imag[k + j * freqs.size()], sizeof(double)), 0);
        }
    }
}

TEST(Coefficients, ZeroWindowAndRepeatingSignal) {
    std::mt19937_64 rng(14);
    const std::vector<double> freqs = {0.0, 0.125, 0.4, -0.3};
    const CoreOutput zero = runCore(randomValues(rng, 100, 1.0), std::vector<double>(10, 0.0), 3, freqs, 1.0);
    for (double v : zero.real) EXPECT_EQ(v, 0.0);
    for (double v : zero.imag) EXPECT_EQ(v, 0.0);

    // Period 5 divides the hop of 10: every frame holds the same samples.
    const std::vector<double> period = randomValues(rng, 5, 1.0);
    std::vector<double> signal;
    for (int r = 0; r < 40; ++r) signal.insert(signal.end(), period.begin(), period.end());
    const CoreOutput same = runCore(signal, randomValues(rng, 16, 1.0), 6, freqs, 1.0);
    ASSERT_GT(same.plan.frameCount, 2);
    for (int j = 1; j < same.plan.frameCount; ++j) {
        EXPECT_EQ(std::memcmp(&same.real[0], &same.real[4 * j], 4 * sizeof(double)), 0);
        EXPECT_EQ(std::memcmp(&same.imag[0], &same.imag[4 * j], 4 * sizeof(double)), 0);
    }
}

TEST(Coefficients, NonFiniteValuesPropagate) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const CoreOutput out = runCore({1, 2, nan, 4, 5, 6}, {1, 1}, 0, {0.0, inf}, 2.0);
    ASSERT_EQ(out.plan.frameCount, 3);
    EXPECT_EQ(out.real[0], 3.0);            // frame 0 at f = 0
    EXPECT_TRUE(std::isnan(out.real[2]));   // frame 1 holds the NaN
    EXPECT_EQ(out.real[4], 11.0);
    EXPECT_TRUE(std::isnan(out.real[1]));   // Inf * 0 in theta -> NaN twiddles
}

TEST(Coefficients, DegenerateSizesMatchTheReference) {
    std::mt19937_64 rng(15);
    RandomCase c = randomCase(rng, 50, 1, 4);  // L = 1
    expectSameAsReference(c, "L=1");
    c = randomCase(rng, 50, 8, 0);             // K = 0
    expectSameAsReference(c, "K=0");
    c = randomCase(rng, 5, 8, 3);              // no frame
    expectSameAsReference(c, "frameCount=0");
    const CoreOutput none = runCore(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    EXPECT_TRUE(none.real.empty());
    c = randomCase(rng, 0, 8, 3);              // empty signal
    expectSameAsReference(c, "N=0");
}

TEST(Coefficients, RandomInputsMatchTheReferenceBitForBit) {
    std::mt19937_64 rng(16);
    std::uniform_int_distribution<int> length(0, 700), window(1, 90), count(0, 12);
    for (int trial = 0; trial < 300; ++trial) {
        const RandomCase c = randomCase(rng, length(rng), window(rng), count(rng));
        expectSameAsReference(c, "random");
        if (HasFailure()) break;
    }
}

#if !defined(_WIN32)
TEST(Coefficients, ElementIndicesUse64Bits) {
    // Row K-1 of a K x 40 result with K = 2^26 ends past element 2^31.
    HugePlanes huge(40);
    if (!huge.reserved) GTEST_SKIP() << "cannot reserve address space";
    const std::int64_t K = HugePlanes::K;
    huge.frequencies[K - 1] = 0.0;
    std::vector<double> signal(huge.frames * 2, 1.0), window = {1.0, 2.0};
    std::vector<double> steps(2), cosTable(2), sinTable(2);
    spectrogrid::AnalysisInputs in = {signal.data(), static_cast<std::int32_t>(signal.size()), window.data(), 2,
                                      0.0, huge.frequencies, static_cast<std::int32_t>(K), 1.0};
    const spectrogrid::FramePlan plan = spectrogrid::planFrames(in.signalLength, 2, 0.0);
    ASSERT_EQ(plan.frameCount, huge.frames);
    spectrogrid::ScratchTables tables = {steps.data(), cosTable.data(), sinTable.data(), nullptr};
    spectrogrid::CoefficientPlanes planes = {huge.real, huge.imag};
    spectrogrid::fillAngularSteps(steps.data(), 2, 1.0);
    spectrogrid::fillTwiddles(in, tables, static_cast<std::int32_t>(K - 1));
    spectrogrid::accumulateFrames(in, plan, tables, planes, static_cast<std::int32_t>(K - 1));
    for (std::int64_t j = 0; j < huge.frames; ++j) EXPECT_EQ(huge.real[(K - 1) + j * K], 3.0) << j;
}
#endif

namespace {

// A stop query that answers true from its `stopAt`-th question on (never
// when 0), and notes whether it was ever asked off the calling thread.
struct CountingQuery {
    int stopAt;
    int asked;
    std::thread::id caller;
    bool offCaller;
};

bool askCountingQuery(void* context) {
    CountingQuery& q = *static_cast<CountingQuery*>(context);
    if (std::this_thread::get_id() != q.caller) q.offCaller = true;
    ++q.asked;
    return q.stopAt != 0 && q.asked >= q.stopAt;
}

}  // namespace

TEST(Coefficients, StopQueryEndsTheCallOrChangesNoBit) {
    // Enough tiles of frames that a stop at the third question lands
    // mid-call; no workspace runs the per-frequency form.
    struct Case { int N, L, K, stopAt; bool workspace; bool stops; };
    const Case cases[] = {
        {40000, 64, 70, 0, true, false},  {40000, 64, 70, 1, true, true},
        {40000, 64, 70, 3, true, true},   {3000, 33, 9, 0, false, false},
        {3000, 33, 9, 2, false, true},    {3000, 33, 0, 1, true, false},  // no work: never asked
        {20, 33, 9, 1, true, false},      // no frame
    };
    std::mt19937_64 rng(53);
    for (const Case& t : cases) {
        RandomCase c = randomCase(rng, t.N, t.L, t.K);
        c.overlap = t.L / 2;
        const reference::Result ref =
            reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
        for (int threads = 1; threads <= mostThreads; ++threads) {
            useThreads(threads);
            SCOPED_TRACE(testing::Message() << "N=" << t.N << " K=" << t.K << " stopAt=" << t.stopAt
                                            << " workspace=" << t.workspace << " threads=" << threads);
            CountingQuery q = {t.stopAt, 0, std::this_thread::get_id(), false};
            const CoreOutput out = runCore(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate,
                                           {askCountingQuery, &q}, t.workspace);
            EXPECT_FALSE(q.offCaller);
            // On several threads the others may take every unit before the
            // calling thread asks a third time: then the call finishes.
            const bool saidStop = t.stopAt != 0 && q.asked >= t.stopAt;
            if (threads == 1 || t.stopAt == 1) {
                EXPECT_EQ(saidStop, t.stops);
            }
            EXPECT_EQ(out.outcome == spectrogrid::CallOutcome::stopped, saidStop);
            if (saidStop) {
                EXPECT_EQ(q.asked, t.stopAt);  // never asked again once it said stop
            } else {
                EXPECT_TRUE(reference::sameBits(ref.real, out.real.data(), out.real.size()));
                EXPECT_TRUE(reference::sameBits(ref.imag, out.imag.data(), out.imag.size()));
                EXPECT_TRUE(reference::sameBits(ref.times, out.times.data(), out.times.size()));
            }
            // A stopped call leaves nothing behind that the next one sees.
            const CoreOutput next = runCore(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
            EXPECT_EQ(next.outcome, spectrogrid::CallOutcome::finished);
            EXPECT_TRUE(reference::sameBits(ref.real, next.real.data(), next.real.size()));
        }
    }
    spectrogrid::setAnalysisThreads();
}
