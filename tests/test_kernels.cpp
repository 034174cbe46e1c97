// Every kernel set the processor supports, called by name, in each
// orientation and with plans of every shape, against the plain reference
// bit for bit: sizes on both sides of every register block, vector width,
// tile and unit, data at addresses no vector load would choose, interleaved
// as well as separate output, and (in the parallel form) every thread count
// from 1 to 4.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "driver/accumulation_plan.h"
#include "driver/compute.h"
#include "driver/kernel_sets.h"
#include "core_test_support.h"
#include "random_inputs.h"
#include "reference.h"

using spectrogrid::AccumulationPlan;
using spectrogrid::KernelSet;

namespace {

const double unwritten = -123456.75;

// 1, 2, 3, W-1, W, W+1, 3W, 8W+2 for each factor W, without repeats.
std::vector<int> straddling(std::initializer_list<int> factors) {
    std::set<int> values;
    for (int w : factors) {
        for (int v : {1, 2, 3, w - 1, w, w + 1, 3 * w, 8 * w + 2}) {
            if (v >= 1) values.insert(v);
        }
    }
    return std::vector<int>(values.begin(), values.end());
}

// A copy that starts one double past an allocation: 8 bytes off every
// vector boundary, with a marker on each side.
struct Shifted {
    std::vector<double> storage;
    double* data() { return storage.data() + 1; }
};

Shifted shifted(const std::vector<double>& values, double fill = unwritten) {
    Shifted s;
    s.storage.assign(values.size() + 2, fill);
    std::copy(values.begin(), values.end(), s.storage.begin() + 1);
    return s;
}

// The coefficient planes of a call, separate or interleaved.
struct Planes {
    Shifted real, imag;
    spectrogrid::CoefficientPlanes view;

    void prepare(std::size_t cells, bool interleaved) {
        if (interleaved) {
            real = shifted(std::vector<double>(2 * cells, unwritten));
            imag = Shifted();
            view = {real.data(), real.data() + 1, 2};
        } else {
            real = shifted(std::vector<double>(cells, unwritten));
            imag = shifted(std::vector<double>(cells, unwritten));
            view = {real.data(), imag.data(), 1};
        }
    }

    // Bit for bit the expected planes, and nothing written outside them.
    bool hold(const std::vector<double>& re, const std::vector<double>& im) const {
        const std::size_t step = static_cast<std::size_t>(view.step);
        for (std::size_t e = 0; e < re.size(); ++e) {
            if (std::memcmp(&re[e], view.real + e * step, sizeof(double)) != 0 ||
                std::memcmp(&im[e], view.imag + e * step, sizeof(double)) != 0) {
                return false;
            }
        }
        for (const Shifted* s : {&real, &imag}) {
            if (!s->storage.empty() && (s->storage.front() != unwritten || s->storage.back() != unwritten)) {
                return false;
            }
        }
        return true;
    }
};

// Inputs of a case laid out as the host might: misaligned, with a marker
// in every output element.
struct Call {
    Shifted signal, window, frequencies, angularSteps, cosTable, sinTable, workspace, times;
    Planes planes;
    spectrogrid::AnalysisInputs inputs;
    spectrogrid::FramePlan framePlan;
    spectrogrid::ScratchTables tables;

    Call(const RandomCase& c, std::int64_t workspaceLength, bool interleaved) {
        const std::int32_t L = static_cast<std::int32_t>(c.window.size());
        const std::int32_t K = static_cast<std::int32_t>(c.frequencies.size());
        signal = shifted(c.signal, 0.0);
        window = shifted(c.window, 0.0);
        frequencies = shifted(c.frequencies, 0.0);
        inputs = {signal.data(), static_cast<std::int32_t>(c.signal.size()), window.data(), L,
                  c.overlap, frequencies.data(), K, c.sampleRate};
        framePlan = spectrogrid::planFrames(inputs.signalLength, L, c.overlap);
        const auto markers = [](std::int64_t n) { return shifted(std::vector<double>(static_cast<std::size_t>(n), unwritten)); };
        angularSteps = markers(L);
        cosTable = markers(L);
        sinTable = markers(L);
        workspace = markers(workspaceLength);
        times = markers(framePlan.frameCount);
        planes.prepare(static_cast<std::size_t>(K) * framePlan.frameCount, interleaved);
        tables = {angularSteps.data(), cosTable.data(), sinTable.data(), workspace.data()};
    }
};

std::string describe(const RandomCase& c) {
    return testing::PrintToString(c.signal.size()) + " samples, L=" +
           testing::PrintToString(c.window.size()) + ", K=" +
           testing::PrintToString(c.frequencies.size()) + ", overlap=" + testing::PrintToString(c.overlap);
}

std::string describe(const AccumulationPlan& p) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "plan: frame lanes from %d, frequency units %dx%d tiles %dx%d, frame units %dx%d tiles %dx%d",
                  p.frameLaneBegin, p.frequencyLanes.unitFrequencies, p.frequencyLanes.unitFrames,
                  p.frequencyLanes.tileFrames, p.frequencyLanes.tileLength, p.frameLanes.unitFrequencies,
                  p.frameLanes.unitFrames, p.frameLanes.tileFrames, p.frameLanes.tileLength);
    return text;
}

// A case with exactly `frames` frames of length L, hop L - overlap.
RandomCase caseWith(std::mt19937_64& rng, int K, int frames, int L, int overlap) {
    const int hop = L - overlap;
    RandomCase c = randomCase(rng, (frames - 1) * hop + L, L, K);
    c.overlap = overlap;
    return c;
}

// Which frequencies go to which orientation in a test plan.
enum class Split { planner, frequencyLanes, frameLanes, half };

class Kernel : public testing::TestWithParam<const KernelSet*> {
protected:
    void SetUp() override {
        if (!spectrogrid::instructionSetSupported(kernels().set)) {
            GTEST_SKIP() << kernels().name << " is not supported here";
        }
    }

    const KernelSet& kernels() const { return *GetParam(); }

    std::vector<Split> splits() const {
        if (kernels().frameFrequencies == 0) return {Split::frequencyLanes};
        return {Split::frequencyLanes, Split::frameLanes, Split::half};
    }

    // The planner's plan for the case, with its frequencies moved to the
    // orientation asked for.
    AccumulationPlan planFor(const RandomCase& c, Split split) const {
        const std::int32_t L = static_cast<std::int32_t>(c.window.size());
        const std::int32_t K = static_cast<std::int32_t>(c.frequencies.size());
        const spectrogrid::FramePlan f = spectrogrid::planFrames(static_cast<std::int32_t>(c.signal.size()), L, c.overlap);
        AccumulationPlan plan = spectrogrid::planAccumulation(kernels(), L > 0 ? L : 1, K > 0 ? K : 1,
                                                              f.frameCount > 0 ? f.frameCount : 1, f.hop, 1, 2);
        if (split == Split::frequencyLanes) plan.frameLaneBegin = K;
        if (split == Split::frameLanes) plan.frameLaneBegin = 0;
        if (split == Split::half) plan.frameLaneBegin = K / 2;
        plan.threadWorkspace = kernels().threadWorkspace(plan);
        return plan;
    }

    // The whole call with this kernel set and plan, for 1 to 4 threads in
    // the parallel form, against the reference.
    void expectReferenceBits(const RandomCase& c, const AccumulationPlan& plan, bool interleaved = false) {
        const reference::Result ref =
            reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
        for (int threads = 1; threads <= mostThreads; ++threads) {
            useThreads(threads);
            Call call(c, mostThreads * plan.threadWorkspace, interleaved);
            ASSERT_EQ(call.framePlan.frameCount, ref.plan.frameCount);
            spectrogrid::computeCoefficientsWith(kernels(), plan, call.inputs, call.framePlan, call.tables,
                                                 call.planes.view, call.times.data());
            SCOPED_TRACE(describe(c) + ", threads=" + std::to_string(threads) + ", " + describe(plan));
            EXPECT_TRUE(call.planes.hold(ref.real, ref.imag));
            EXPECT_TRUE(reference::sameBits(ref.times, call.times.data(), ref.times.size()));
            if (!c.frequencies.empty()) {
                EXPECT_TRUE(reference::sameBits(ref.lastCos, call.cosTable.data(), ref.lastCos.size()));
                EXPECT_TRUE(reference::sameBits(ref.lastSin, call.sinTable.data(), ref.lastSin.size()));
            }
            if (HasFailure()) break;
        }
        useThreads(mostThreads);
    }

    void expectReferenceBits(const RandomCase& c, Split split) { expectReferenceBits(c, planFor(c, split)); }

    // The plan with units at least as large as `unit`, so that the unit
    // fits the workspace of one thread when it is run on its own.
    AccumulationPlan planCovering(AccumulationPlan plan, const spectrogrid::UnitRange& unit) const {
        plan.frequencyLanes.unitFrequencies = plan.frameLanes.unitFrequencies = unit.kEnd - unit.kBegin;
        plan.frequencyLanes.unitFrames = plan.frameLanes.unitFrames = unit.jEnd - unit.jBegin;
        plan.threadWorkspace = kernels().threadWorkspace(plan);
        return plan;
    }

    int frequencyBlock() const { return kernels().lanes * kernels().frequencyVectors; }
    int frameGroup() const { return kernels().lanes * kernels().frameVectors; }
};

std::string nameOf(const testing::TestParamInfo<const KernelSet*>& info) { return info.param->name; }

std::vector<const KernelSet*> everySet() {
    return {&spectrogrid::scalar::kernels, &spectrogrid::avx2::kernels, &spectrogrid::avx512::kernels,
            &spectrogrid::avx512::fullWidthKernels};
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, Kernel, testing::ValuesIn(everySet()), nameOf);

}  // namespace

TEST_P(Kernel, FrequencyCountsAroundVectorsAndRegisterBlocks) {
    std::mt19937_64 rng(41);
    for (Split split : splits()) {
        for (int K : straddling({kernels().lanes, frequencyBlock(), kernels().frameFrequencies + 1})) {
            expectReferenceBits(caseWith(rng, K, frameGroup() + kernels().frequencyFrames + 1, 37, 11), split);
            if (HasFailure()) return;
        }
    }
}

TEST_P(Kernel, FrameCountsAroundRegisterBlocksAndTiles) {
    std::mt19937_64 rng(43);
    const int L = 29;
    for (Split split : splits()) {
        const AccumulationPlan plan = planFor(caseWith(rng, 1, 1000, L, 9), split);
        for (int frames : straddling({kernels().frequencyFrames, frameGroup(), plan.frequencyLanes.tileFrames,
                                      plan.frameLanes.tileFrames})) {
            expectReferenceBits(caseWith(rng, frequencyBlock() + 3, frames, L, 9), split);
            if (HasFailure()) return;
        }
    }
}

TEST_P(Kernel, WindowLengthsAroundVectorsAndTiles) {
    std::mt19937_64 rng(44);
    const AccumulationPlan longest = planFor(caseWith(rng, 1, 1, 100000, 0), Split::frequencyLanes);
    std::vector<int> lengths = straddling({kernels().lanes});
    for (int tile : {longest.frequencyLanes.tileLength, longest.frameLanes.tileLength}) {
        for (int L : {tile - 1, tile, tile + 1, 3 * tile + 5}) lengths.push_back(L);
    }
    for (Split split : splits()) {
        for (int L : lengths) {
            expectReferenceBits(caseWith(rng, kernels().lanes + 1, frameGroup() + 1, L, L / 3), split);
            if (HasFailure()) return;
        }
    }
}

TEST_P(Kernel, PlansOfEveryShapeGiveTheSameBits) {
    // Units, tiles and splits far from what the planner picks: one frame,
    // one sample, a frequency or two at a time, and everything between.
    std::mt19937_64 rng(45);
    std::uniform_int_distribution<int> length(0, 1500), window(1, 90), count(0, 40);
    for (int trial = 0; trial < 30; ++trial) {
        const RandomCase c = randomCase(rng, length(rng), window(rng), count(rng));
        const std::int32_t K = static_cast<std::int32_t>(c.frequencies.size());
        const std::int32_t L = static_cast<std::int32_t>(c.window.size());
        const auto upTo = [&](int n) { return std::uniform_int_distribution<int>(1, n)(rng); };
        AccumulationPlan plan = planFor(c, Split::planner);
        plan.frameLaneBegin = kernels().frameFrequencies > 0 ? upTo(K + 1) - 1 : K;
        plan.frequencyLanes = {upTo(2 * frequencyBlock() + 3), upTo(60), upTo(2 * kernels().frequencyFrames + 3),
                               upTo(L)};
        plan.frameLanes = {upTo(2 * kernels().frameFrequencies + 3), upTo(60), upTo(2 * frameGroup() + 3), upTo(L)};
        plan.threadWorkspace = kernels().threadWorkspace(plan);
        expectReferenceBits(c, plan, trial % 2 == 1);
        if (HasFailure()) return;
    }
}

TEST_P(Kernel, OneFrequencyInFrameLanesWithAndWithoutTheTable) {
    // A frame-lane unit of one frequency reads whole vectors of frames
    // straight from the signal, a few window samples at a time, when its
    // window tile is a whole number of those, and a tile's last, partial
    // vector from the table: tile lengths, hops, frame counts and tiles of
    // frames on both sides of those edges.
    if (kernels().frameFrequencies == 0) GTEST_SKIP() << "no frame-lane kernel";
    std::mt19937_64 rng(49);
    const int W = kernels().lanes, G = frameGroup();
    struct Shape {
        int L, hop, frames, tileLength, tileFrames;  // 0: the planner's
    };
    const Shape shapes[] = {
        {8 * W, 2 * W, G, 0, 0},          {8 * W, 2 * W, G - 1, 0, 0},     {8 * W, 2 * W, 3 * G + 1, 0, 0},
        {8 * W - 1, 2 * W, 2 * G, 0, 0},  {8 * W + 1, W + 1, 2 * G, 0, 0}, {4 * W, 1, 2 * G + W, 0, 0},
        {4 * W, 4 * W, G + 1, 0, 0},      {6 * W, 3, 5 * G, 2 * W + 4, G + W}, {6 * W, 5, 4 * G, 2 * W + 1, G - 1},
        {6 * W, 2 * W, 3 * G, 3 * W, 2 * G},
    };
    for (const Shape& s : shapes) {
        for (int K : {1, 2}) {
            const RandomCase c = caseWith(rng, K, s.frames, s.L, s.L - s.hop);
            AccumulationPlan plan = planFor(c, Split::frameLanes);
            if (s.tileLength > 0) plan.frameLanes.tileLength = s.tileLength;
            if (s.tileFrames > 0) plan.frameLanes.tileFrames = s.tileFrames;
            plan.threadWorkspace = kernels().threadWorkspace(plan);
            expectReferenceBits(c, plan, K == 2);
            if (HasFailure()) return;
        }
    }
}

TEST_P(Kernel, InterleavedOutputInEachOrientation) {
    std::mt19937_64 rng(46);
    for (Split split : splits()) {
        const RandomCase c = caseWith(rng, frequencyBlock() + 5, 2 * frameGroup() + 3, 300, 120);
        expectReferenceBits(c, planFor(c, split), true);
        if (HasFailure()) return;
    }
}

TEST_P(Kernel, NonFiniteValuesStayInTheirOwnCoefficients) {
    // NaN payloads may differ with operand order; every other bit may not.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::mt19937_64 rng(47);
    RandomCase c = caseWith(rng, 21, 9, 40, 20);
    c.signal[45] = nan;          // frames 1 and 2
    c.window[3] = inf;           // every frame
    c.frequencies[5] = inf;      // its twiddles are NaN past sample 0
    c.frequencies[6] = nan;
    const reference::Result ref =
        reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    for (Split split : splits()) {
        const AccumulationPlan plan = planFor(c, split);
        Call call(c, mostThreads * plan.threadWorkspace, false);
        spectrogrid::computeCoefficientsWith(kernels(), plan, call.inputs, call.framePlan, call.tables,
                                             call.planes.view, call.times.data());
        int nanCount = 0;
        for (std::size_t e = 0; e < ref.real.size(); ++e) {
            for (const auto& [expected, actual] : {std::make_pair(ref.real[e], call.planes.view.real[e]),
                                                   std::make_pair(ref.imag[e], call.planes.view.imag[e])}) {
                if (std::isnan(expected)) {
                    ++nanCount;
                    EXPECT_TRUE(std::isnan(actual)) << e;
                } else {
                    EXPECT_EQ(std::memcmp(&expected, &actual, sizeof(double)), 0) << e;
                }
            }
        }
        EXPECT_GT(nanCount, 0);
    }
}

TEST_P(Kernel, AUnitWritesOnlyItsOwnRectangle) {
    // One unit in the middle of the planes, run alone: every element outside
    // it keeps its marker, every element inside has the reference bits.
    std::mt19937_64 rng(48);
    const int K = 5 * frequencyBlock() + 3;
    const int frames = 4 * frameGroup() + 1;
    const RandomCase c = caseWith(rng, K, frames, 600, 300);
    const reference::Result ref =
        reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    for (Split split : splits()) {
        if (split == Split::half) continue;
        const spectrogrid::UnitRange unit = {kernels().lanes + 1, K - 2, 3, frames - 2};
        const AccumulationPlan plan = planCovering(planFor(c, split), unit);
        Call call(c, plan.threadWorkspace, split == Split::frameLanes);
        spectrogrid::fillAngularSteps(call.tables.angularSteps, call.inputs.windowLength, c.sampleRate);
        spectrogrid::KernelTask task = {&call.inputs, call.framePlan.hop, frames, call.tables.angularSteps,
                                        call.planes.view, plan, 1, {}, nullptr};
        const spectrogrid::UnitKernel run = split == Split::frameLanes ? kernels().accumulateFrameLaneUnit
                                                                       : kernels().accumulateFrequencyLaneUnit;
        run(task, unit, call.tables.workspace);
        const std::size_t step = static_cast<std::size_t>(call.planes.view.step);
        for (int j = 0; j < frames; ++j) {
            for (int k = 0; k < K; ++k) {
                const std::size_t e = static_cast<std::size_t>(k) + static_cast<std::size_t>(j) * K;
                const bool inside = k >= unit.kBegin && k < unit.kEnd && j >= unit.jBegin && j < unit.jEnd;
                const double re = inside ? ref.real[e] : unwritten;
                const double im = inside ? ref.imag[e] : unwritten;
                ASSERT_EQ(std::memcmp(&re, &call.planes.view.real[e * step], sizeof(double)), 0) << k << ", " << j;
                ASSERT_EQ(std::memcmp(&im, &call.planes.view.imag[e * step], sizeof(double)), 0) << k << ", " << j;
            }
        }
    }
}

#if !defined(_WIN32)
TEST_P(Kernel, ElementIndicesUse64Bits) {
    // The last rows of a K x 40 result with K = 2^26 lie past element 2^31.
    HugePlanes huge(40);
    if (!huge.reserved) GTEST_SKIP() << "cannot reserve address space";
    const std::int64_t K = HugePlanes::K;
    const std::int32_t frames = huge.frames;
    for (std::int64_t k = K - 19; k < K; ++k) huge.frequencies[k] = 0.125 * static_cast<double>(k % 5);
    std::vector<double> signal(frames * 2, 1.0), window = {1.0, 2.0}, steps = {0.0, 1.5};
    const spectrogrid::AnalysisInputs in = {signal.data(), frames * 2, window.data(), 2, 0.0,
                                            huge.frequencies, static_cast<std::int32_t>(K), 1.0};
    for (Split split : splits()) {
        if (split == Split::half) continue;
        RandomCase shape = {signal, window, {1.0}, 0.0, 1.0};
        const spectrogrid::UnitRange unit = {in.frequencyCount - 19, in.frequencyCount, frames - 7, frames};
        const AccumulationPlan plan = planCovering(planFor(shape, split), unit);
        std::vector<double> workspace(static_cast<std::size_t>(plan.threadWorkspace));
        const spectrogrid::KernelTask task = {&in, 2, frames, steps.data(), {huge.real, huge.imag}, plan, 1, {}, nullptr};
        (split == Split::frameLanes ? kernels().accumulateFrameLaneUnit
                                    : kernels().accumulateFrequencyLaneUnit)(task, unit, workspace.data());
        // Every frame holds 1, 1; the window is 1, 2.
        for (std::int64_t k = K - 19; k < K; ++k) {
            const double theta = reference::roundedProduct(1.5, huge.frequencies[k]);
            const double re = (0.0 + std::cos(0.0)) + reference::roundedProduct(2.0, std::cos(theta));
            const double im = (0.0 - std::sin(0.0)) - reference::roundedProduct(2.0, std::sin(theta));
            for (std::int64_t j = frames - 7; j < frames; ++j) {
                EXPECT_EQ(huge.real[k + j * K], re) << k << ", " << j;
                EXPECT_EQ(huge.imag[k + j * K], im) << k << ", " << j;
            }
        }
    }
}
#endif

TEST(Planner, UnitsCoverEveryCoefficientOnce) {
    std::mt19937_64 rng(49);
    for (const KernelSet* kernels : everySet()) {
        for (int trial = 0; trial < 200; ++trial) {
            const int K = std::uniform_int_distribution<int>(1, 70)(rng);
            const int frames = std::uniform_int_distribution<int>(1, 300)(rng);
            const int L = std::uniform_int_distribution<int>(1, 3000)(rng);
            const int threads = std::uniform_int_distribution<int>(1, 4)(rng);
            const int hop = std::uniform_int_distribution<int>(1, 2 * L)(rng);
            AccumulationPlan plan = spectrogrid::planAccumulation(*kernels, L, K, frames, hop, 1, threads);
            ASSERT_LE(plan.threadWorkspace, spectrogrid::largestThreadWorkspace(*kernels, L, K));
            if (trial % 2 == 1) {
                plan.frameLaneBegin = std::uniform_int_distribution<int>(0, K)(rng);
                plan.frequencyLanes.unitFrequencies = std::uniform_int_distribution<int>(1, 20)(rng);
                plan.frameLanes.unitFrames = std::uniform_int_distribution<int>(1, 50)(rng);
            }
            std::vector<int> owners(static_cast<std::size_t>(K) * frames, 0);
            const std::int64_t units = spectrogrid::unitCount(plan, K, frames);
            for (std::int64_t u = 0; u < units; ++u) {
                spectrogrid::Orientation orientation;
                const spectrogrid::UnitRange r = spectrogrid::unitAt(plan, K, frames, u, &orientation);
                ASSERT_EQ(orientation == spectrogrid::Orientation::frameLanes, r.kBegin >= plan.frameLaneBegin);
                ASSERT_TRUE(r.kBegin < r.kEnd && r.jBegin < r.jEnd && r.kEnd <= K && r.jEnd <= frames);
                for (int j = r.jBegin; j < r.jEnd; ++j) {
                    for (int k = r.kBegin; k < r.kEnd; ++k) ++owners[static_cast<std::size_t>(k + j * K)];
                }
            }
            for (int n : owners) ASSERT_EQ(n, 1) << kernels->name << " K=" << K << " frames=" << frames;
        }
    }
}

// Whatever the hop, the widest units of either orientation fit in the
// workspace the driver reserves for a thread.
TEST(Planner, EveryHopFitsTheLargestWorkspace) {
    for (const KernelSet* kernels : everySet()) {
        for (const int L : {64, 1000, 1024, 3000}) {
            const std::int64_t largest = spectrogrid::largestThreadWorkspace(*kernels, L, 64);
            for (int hop = 1; hop <= L + 1; ++hop) {
                AccumulationPlan plan = spectrogrid::planAccumulation(*kernels, L, 64, 100000, hop, 1, 1);
                plan.frameLanes.unitFrequencies = spectrogrid::maxFrameLaneFrequencyBlocks * kernels->frameFrequencies;
                ASSERT_LE(kernels->threadWorkspace(plan), largest) << kernels->name << " L=" << L << " hop=" << hop;
            }
        }
    }
}

TEST(Planner, FewFrequenciesGoToFrameLanesAndTheThreadsGetUnits) {
    const KernelSet& avx2 = spectrogrid::avx2::kernels;
    const AccumulationPlan one = spectrogrid::planAccumulation(avx2, 256, 1, 15000, 128, 1, 2);
    EXPECT_EQ(one.frameLaneBegin, 0);
    EXPECT_GE(spectrogrid::unitCount(one, 1, 15000), 4);
    const AccumulationPlan many = spectrogrid::planAccumulation(avx2, 2048, 512, 900, 512, 1, 2);
    EXPECT_EQ(many.frameLaneBegin, 512);
    EXPECT_GE(spectrogrid::unitCount(many, 512, 900), 4);
}

TEST(KernelChoice, AVX512VariantFollowsTheProcessorFamily) {
    struct Case {
        const char* vendor;
        unsigned family, model;
        bool fullWidth;
    };
    const Case cases[] = {
        {"AuthenticAMD", 0x19, 0x11, false},  // Zen 4 server
        {"AuthenticAMD", 0x19, 0x61, false},  // Zen 4 desktop
        {"AuthenticAMD", 0x1a, 0x02, true},   // Zen 5 server
        {"AuthenticAMD", 0x1a, 0x11, true},   // Zen 5 dense server
        {"AuthenticAMD", 0x1a, 0x1f, true},
        {"AuthenticAMD", 0x1a, 0x20, false},  // Zen 5 mobile
        {"AuthenticAMD", 0x1a, 0x24, false},
        {"AuthenticAMD", 0x1a, 0x3f, false},
        {"AuthenticAMD", 0x1a, 0x40, true},   // Zen 5 desktop
        {"AuthenticAMD", 0x1a, 0x44, true},
        {"AuthenticAMD", 0x1a, 0x4f, true},
        {"AuthenticAMD", 0x1a, 0x50, false},
        {"AuthenticAMD", 0x1a, 0x70, false},  // Zen 5 mobile
        {"AuthenticAMD", 0x1b, 0x00, true},
        {"GenuineIntel", 0x06, 0x55, false},  // Skylake and Cascade Lake server
        {"GenuineIntel", 0x06, 0x8f, false},  // Sapphire Rapids
        {"HygonGenuine", 0x18, 0x00, false},
        {"", 0, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(spectrogrid::fullWidthVectorUnitsFor(c.vendor, c.family, c.model), c.fullWidth)
            << c.vendor << " family " << std::hex << c.family << " model " << c.model;
    }
    // The set a call runs is the variant for this processor; a build for
    // another processor has only the scalar set in its table.
    const KernelSet& chosen = spectrogrid::kernelSetFor(spectrogrid::InstructionSet::avx512);
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(&chosen, spectrogrid::fullWidthVectorUnits() ? &spectrogrid::avx512::fullWidthKernels
                                                           : &spectrogrid::avx512::kernels);
#else
    EXPECT_EQ(&chosen, &spectrogrid::scalar::kernels);
#endif
}

TEST(Workspace, NoneWithoutWorkAndAFewMiBAtMost) {
    EXPECT_EQ(spectrogrid::workspaceLength(0, 10, 10), 0);
    EXPECT_EQ(spectrogrid::workspaceLength(10, 0, 10), 0);
    EXPECT_EQ(spectrogrid::workspaceLength(10, 10, 0), 0);
    const std::int32_t huge = std::numeric_limits<std::int32_t>::max();
    const std::int64_t limit = 6 * 1024 * 1024 / sizeof(double);
    for (std::int32_t L : {1, 7, 256, 257, 100000, huge}) {
        for (std::int32_t K : {1, 64, 100000, huge}) {
            for (std::int32_t frames : {1, 100000, huge}) {
                const std::int64_t length = spectrogrid::workspaceLength(L, K, frames);
                EXPECT_GT(length, 0);
                EXPECT_LE(length, limit) << L << " " << K << " " << frames;
            }
        }
    }
}

TEST(Workspace, WithoutOneTheSameBitsComeFromThePerFrequencyForm) {
    std::mt19937_64 rng(50);
    const RandomCase c = caseWith(rng, 19, 13, 70, 30);
    const reference::Result ref =
        reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    for (bool interleaved : {false, true}) {
        Call call(c, 0, interleaved);
        call.tables.workspace = nullptr;
        spectrogrid::computeCoefficients(call.inputs, call.framePlan, call.tables, call.planes.view,
                                         call.times.data());
        EXPECT_TRUE(call.planes.hold(ref.real, ref.imag));
        EXPECT_TRUE(reference::sameBits(ref.lastCos, call.cosTable.data(), ref.lastCos.size()));
        EXPECT_TRUE(reference::sameBits(ref.lastSin, call.sinTable.data(), ref.lastSin.size()));
    }
}

// The same for the own-window units of a run of distinct windows, and
// their units cover the run's coefficients once.
TEST(Planner, OwnWindowPlansFitTheLargestWorkspace) {
    std::mt19937_64 rng(50);
    for (const KernelSet* kernels : everySet()) {
        if (kernels->frameFrequencies < 1) continue;
        for (const int L : {1, 64, 1000, 1024, 3000}) {
            const std::int64_t largest = spectrogrid::largestOwnWindowWorkspace(*kernels, L);
            for (int hop = 1; hop <= L + 1; hop += 1 + hop / 8) {
                const int K = std::uniform_int_distribution<int>(2, 40)(rng);
                const int frames = std::uniform_int_distribution<int>(1, 3000)(rng);
                std::vector<std::int32_t> lengths(K);
                for (std::int32_t& length : lengths) length = std::uniform_int_distribution<int>(1, L)(rng);
                const AccumulationPlan plan = spectrogrid::planOwnWindows(*kernels, lengths.data(), K, L, frames, hop,
                                                                          1, 1 + hop % 4);
                ASSERT_LE(plan.threadWorkspace, largest) << kernels->name << " L=" << L << " hop=" << hop;
                std::vector<int> owners(static_cast<std::size_t>(K) * frames, 0);
                for (std::int64_t u = 0; u < spectrogrid::unitCount(plan, K, frames); ++u) {
                    spectrogrid::Orientation orientation;
                    const spectrogrid::UnitRange r = spectrogrid::unitAt(plan, K, frames, u, &orientation);
                    for (int j = r.jBegin; j < r.jEnd; ++j) {
                        for (int k = r.kBegin; k < r.kEnd; ++k) ++owners[static_cast<std::size_t>(k + j * K)];
                    }
                }
                for (int n : owners) ASSERT_EQ(n, 1) << kernels->name << " K=" << K << " frames=" << frames;
            }
        }
    }
}
