// Every accumulation kernel the processor supports, called by name, against
// the plain reference bit for bit: sizes on both sides of every register
// block, vector width and tile, data at addresses no vector load would
// choose, and (in the parallel form) every thread count from 1 to 4.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#if defined(SPECTROGRID_OPENMP)
#include <omp.h>
#endif

#include "kernels.h"
#include "random_inputs.h"
#include "reference.h"

using spectrogrid::InstructionSet;

namespace {

const double unwritten = -123456.75;

struct Blocking {
    int lanes, vectorsPerBlock, framesPerBlock;
};

Blocking blockingOf(InstructionSet set) {
    namespace sg = spectrogrid;
    switch (set) {
        case InstructionSet::avx512:
            return {sg::avx512::vectorLanes, sg::avx512::vectorsPerBlock, sg::avx512::framesPerBlock};
        case InstructionSet::avx2:
            return {sg::avx2::vectorLanes, sg::avx2::vectorsPerBlock, sg::avx2::framesPerBlock};
        default:
            return {sg::scalar::vectorLanes, sg::scalar::vectorsPerBlock, sg::scalar::framesPerBlock};
    }
}

void runKernelByName(InstructionSet set, const spectrogrid::KernelTask& task) {
    switch (set) {
        case InstructionSet::avx512: spectrogrid::avx512::accumulateShare(task); break;
        case InstructionSet::avx2: spectrogrid::avx2::accumulateShare(task); break;
        default: spectrogrid::scalar::accumulateShare(task); break;
    }
}

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
// vector boundary.
struct Shifted {
    std::vector<double> storage;
    double* data() { return storage.data() + 1; }
};

Shifted shifted(const std::vector<double>& values, double fill = 0.0) {
    Shifted s;
    s.storage.assign(values.size() + 2, fill);
    std::copy(values.begin(), values.end(), s.storage.begin() + 1);
    return s;
}

// Inputs of a case laid out as the host might: misaligned, with a marker
// in every output element.
struct Call {
    Shifted signal, window, frequencies, angularSteps, cosTable, sinTable, workspace, times, real,
        imag;
    spectrogrid::AnalysisInputs inputs;
    spectrogrid::FramePlan plan;
    spectrogrid::ScratchTables tables;
    spectrogrid::CoefficientPlanes planes;
};

void prepare(Call& call, const RandomCase& c) {
    const std::int32_t L = static_cast<std::int32_t>(c.window.size());
    const std::int32_t K = static_cast<std::int32_t>(c.frequencies.size());
    call.signal = shifted(c.signal);
    call.window = shifted(c.window);
    call.frequencies = shifted(c.frequencies);
    call.inputs = {call.signal.data(), static_cast<std::int32_t>(c.signal.size()), call.window.data(),
                   L, c.overlap, call.frequencies.data(), K, c.sampleRate};
    call.plan = spectrogrid::planFrames(call.inputs.signalLength, L, c.overlap);
    const std::size_t cells = static_cast<std::size_t>(K) * call.plan.frameCount;
    const auto markers = [](std::size_t n) { return shifted(std::vector<double>(n, unwritten), unwritten); };
    call.angularSteps = markers(L);
    call.cosTable = markers(L);
    call.sinTable = markers(L);
    call.workspace =
        markers(static_cast<std::size_t>(spectrogrid::workspaceLength(L, K, call.plan.frameCount)));
    call.times = markers(call.plan.frameCount);
    call.real = markers(cells);
    call.imag = markers(cells);
    call.tables = {call.angularSteps.data(), call.cosTable.data(), call.sinTable.data(),
                   call.workspace.data()};
    call.planes = {call.real.data(), call.imag.data()};
}

bool sameBits(const std::vector<double>& expected, const Shifted& actual) {
    return reference::sameBits(expected, actual.storage.data() + 1, actual.storage.size() - 2) &&
           actual.storage.front() == unwritten && actual.storage.back() == unwritten;
}

std::string describe(const RandomCase& c) {
    return testing::PrintToString(c.signal.size()) + " samples, L=" +
           testing::PrintToString(c.window.size()) + ", K=" +
           testing::PrintToString(c.frequencies.size()) + ", overlap=" + testing::PrintToString(c.overlap);
}

// A case with exactly `frames` frames of length L, hop L - overlap.
RandomCase caseWith(std::mt19937_64& rng, int K, int frames, int L, int overlap) {
    const int hop = L - overlap;
    RandomCase c = randomCase(rng, (frames - 1) * hop + L, L, K);
    c.overlap = overlap;
    return c;
}

class Kernel : public testing::TestWithParam<InstructionSet> {
protected:
    void SetUp() override {
        if (!spectrogrid::instructionSetSupported(GetParam())) {
            GTEST_SKIP() << spectrogrid::instructionSetName(GetParam()) << " is not supported here";
        }
    }

    // The whole call with this kernel, for 1 to 4 threads in the parallel
    // form, against the reference.
    void expectReferenceBits(const RandomCase& c) {
        const reference::Result ref =
            reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
#if defined(SPECTROGRID_OPENMP)
        const int mostThreads = 4;
#else
        const int mostThreads = 1;
#endif
        for (int threads = 1; threads <= mostThreads; ++threads) {
#if defined(SPECTROGRID_OPENMP)
            omp_set_num_threads(threads);
#endif
            Call call;
            prepare(call, c);
            ASSERT_EQ(call.plan.frameCount, ref.plan.frameCount);
            spectrogrid::computeCoefficientsWith(GetParam(), call.inputs, call.plan, call.tables,
                                                 call.planes, call.times.data());
            SCOPED_TRACE(describe(c) + ", threads=" + std::to_string(threads));
            EXPECT_TRUE(sameBits(ref.real, call.real));
            EXPECT_TRUE(sameBits(ref.imag, call.imag));
            EXPECT_TRUE(sameBits(ref.times, call.times));
            if (!c.frequencies.empty()) {
                EXPECT_TRUE(sameBits(ref.lastCos, call.cosTable));
                EXPECT_TRUE(sameBits(ref.lastSin, call.sinTable));
            }
            if (HasFailure()) break;
        }
#if defined(SPECTROGRID_OPENMP)
        spectrogrid::setAnalysisThreads();
#endif
    }

    Blocking blocking() const { return blockingOf(GetParam()); }
};

std::string nameOf(const testing::TestParamInfo<InstructionSet>& info) {
    return spectrogrid::instructionSetName(info.param);
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, Kernel,
                         testing::Values(InstructionSet::scalar, InstructionSet::avx2,
                                         InstructionSet::avx512),
                         nameOf);

}  // namespace

TEST_P(Kernel, FrequencyCountsAroundVectorsAndRegisterBlocks) {
    std::mt19937_64 rng(41);
    const Blocking b = blocking();
    for (int K : straddling({b.lanes, b.lanes * b.vectorsPerBlock})) {
        expectReferenceBits(caseWith(rng, K, b.framesPerBlock + 1, 37, 11));
        if (HasFailure()) return;
    }
}

TEST_P(Kernel, FrequencyCountsAroundTheTwiddleBlock) {
    // Windows of 512 samples hold the twiddles of 64 frequencies at once.
    std::mt19937_64 rng(42);
    const spectrogrid::TileGeometry g = spectrogrid::tileGeometry(512, 1000, 3);
    ASSERT_EQ(g.tileLength, 512);
    for (int K : straddling({g.blockFrequencies})) {
        expectReferenceBits(caseWith(rng, K, 3, 512, 100));
        if (HasFailure()) return;
    }
}

TEST_P(Kernel, FrameCountsAroundRegisterBlocksAndTiles) {
    std::mt19937_64 rng(43);
    const Blocking b = blocking();
    const int L = 29;
    const int tileFrames = spectrogrid::tileGeometry(L, 1, 1000).tileFrames;
    for (int frames : straddling({b.framesPerBlock, tileFrames})) {
        expectReferenceBits(caseWith(rng, b.lanes * b.vectorsPerBlock + 3, frames, L, 9));
        if (HasFailure()) return;
    }
}

TEST_P(Kernel, WindowLengthsAroundVectorsAndTiles) {
    std::mt19937_64 rng(44);
    const Blocking b = blocking();
    const int tile = spectrogrid::tileGeometry(100000, 1, 1).tileLength;
    std::vector<int> lengths = straddling({b.lanes});
    for (int L : {tile - 1, tile, tile + 1, 3 * tile, 8 * tile + 2}) lengths.push_back(L);
    for (int L : lengths) {
        expectReferenceBits(caseWith(rng, b.lanes + 1, b.framesPerBlock + 1, L, L / 3));
        if (HasFailure()) return;
    }
}

TEST_P(Kernel, RandomShapesOverlapsAndFrequencies) {
    std::mt19937_64 rng(45);
    std::uniform_int_distribution<int> length(0, 1500), window(1, 200), count(0, 40);
    for (int trial = 0; trial < 40; ++trial) {
        expectReferenceBits(randomCase(rng, length(rng), window(rng), count(rng)));
        if (HasFailure()) return;
    }
}

TEST_P(Kernel, NonFiniteValuesStayInTheirOwnCoefficients) {
    // NaN payloads may differ with operand order; every other bit may not.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::mt19937_64 rng(46);
    RandomCase c = caseWith(rng, 21, 9, 40, 20);
    c.signal[45] = nan;          // frames 1 and 2
    c.window[3] = inf;           // every frame
    c.frequencies[5] = inf;      // its twiddles are NaN past sample 0
    c.frequencies[6] = nan;
    const reference::Result ref =
        reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    Call call;
    prepare(call, c);
    spectrogrid::computeCoefficientsWith(GetParam(), call.inputs, call.plan, call.tables,
                                         call.planes, call.times.data());
    int nanCount = 0;
    for (std::size_t e = 0; e < ref.real.size(); ++e) {
        for (const auto& [expected, actual] : {std::make_pair(ref.real[e], call.real.data()[e]),
                                               std::make_pair(ref.imag[e], call.imag.data()[e])}) {
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

TEST_P(Kernel, WritesOnlyItsOwnRectangle) {
    // A share in the middle of the planes, run alone: every element outside
    // it keeps its marker, every element inside has the reference bits.
    std::mt19937_64 rng(47);
    const Blocking b = blocking();
    const int K = 5 * b.lanes * b.vectorsPerBlock + 3;
    const int frames = 4 * b.framesPerBlock + 1;
    const RandomCase c = caseWith(rng, K, frames, 600, 300);
    const reference::Result ref =
        reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    Call call;
    prepare(call, c);
    spectrogrid::fillAngularSteps(call.tables.angularSteps, call.inputs.windowLength, c.sampleRate);
    spectrogrid::KernelTask task;
    task.inputs = &call.inputs;
    task.hop = call.plan.hop;
    task.angularSteps = call.tables.angularSteps;
    task.planes = call.planes;
    task.geometry = spectrogrid::tileGeometry(600, K, frames);
    task.share = {b.lanes + 1, K - 2, 3, frames - 2};
    task.workspace = call.workspace.data();
    task.set = GetParam();
    runKernelByName(GetParam(), task);
    for (int j = 0; j < frames; ++j) {
        for (int k = 0; k < K; ++k) {
            const std::size_t e = static_cast<std::size_t>(k) + static_cast<std::size_t>(j) * K;
            const bool inside = k >= task.share.kBegin && k < task.share.kEnd &&
                                j >= task.share.jBegin && j < task.share.jEnd;
            const double re = inside ? ref.real[e] : unwritten;
            const double im = inside ? ref.imag[e] : unwritten;
            ASSERT_EQ(std::memcmp(&re, &call.real.data()[e], sizeof(double)), 0) << k << ", " << j;
            ASSERT_EQ(std::memcmp(&im, &call.imag.data()[e], sizeof(double)), 0) << k << ", " << j;
        }
    }
}

#if !defined(_WIN32)
TEST_P(Kernel, ElementIndicesUse64Bits) {
    // The last rows of a K x 40 result with K = 2^26 lie past element 2^31;
    // only the pages the share touches are ever backed by memory.
    const std::int64_t K = std::int64_t{1} << 26;
    const std::int32_t frames = 40;
    const std::size_t bytes = static_cast<std::size_t>(K) * frames * sizeof(double);
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    void* real = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    void* imag = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    const std::size_t frequencyBytes = static_cast<std::size_t>(K) * sizeof(double);
    void* frequencyPages = mmap(nullptr, frequencyBytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (real == MAP_FAILED || imag == MAP_FAILED || frequencyPages == MAP_FAILED) {
        GTEST_SKIP() << "cannot reserve address space";
    }
    double* frequencies = static_cast<double*>(frequencyPages);
    for (std::int64_t k = K - 19; k < K; ++k) frequencies[k] = 0.125 * static_cast<double>(k % 5);
    std::vector<double> signal(frames * 2, 1.0), window = {1.0, 2.0}, steps = {0.0, 1.5};
    const spectrogrid::AnalysisInputs in = {signal.data(), frames * 2, window.data(), 2, 0.0,
                                            frequencies, static_cast<std::int32_t>(K), 1.0};
    std::vector<double> workspace(static_cast<std::size_t>(spectrogrid::workspaceLength(2, in.frequencyCount, frames)));
    spectrogrid::KernelTask task;
    task.inputs = &in;
    task.hop = 2;
    task.angularSteps = steps.data();
    task.planes = {static_cast<double*>(real), static_cast<double*>(imag)};
    task.geometry = spectrogrid::tileGeometry(2, in.frequencyCount, frames);
    task.share = {in.frequencyCount - 19, in.frequencyCount, frames - 7, frames};
    task.workspace = workspace.data();
    task.set = GetParam();
    runKernelByName(GetParam(), task);
    // Every frame holds 1, 1; the window is 1, 2.
    for (std::int64_t k = K - 19; k < K; ++k) {
        const double theta = reference::roundedProduct(1.5, frequencies[k]);
        const double re = (0.0 + std::cos(0.0)) + reference::roundedProduct(2.0, std::cos(theta));
        const double im = (0.0 - std::sin(0.0)) - reference::roundedProduct(2.0, std::sin(theta));
        for (std::int64_t j = frames - 7; j < frames; ++j) {
            EXPECT_EQ(task.planes.real[k + j * K], re) << k << ", " << j;
            EXPECT_EQ(task.planes.imag[k + j * K], im) << k << ", " << j;
        }
    }
    munmap(frequencyPages, frequencyBytes);
    munmap(real, bytes);
    munmap(imag, bytes);
}
#endif

TEST(ThreadShares, CoverEveryCoefficientOnceInWholeVectors) {
    for (int lanes : {1, 4, 8}) {
        for (int K = 0; K <= 41; K += (K < 20 ? 1 : 7)) {
            for (int frames : {0, 1, 2, 3, 5, 17, 40}) {
                for (int threads = 1; threads <= 6; ++threads) {
                    std::vector<int> owners(static_cast<std::size_t>(K) * frames, 0);
                    for (int t = 0; t < threads; ++t) {
                        const spectrogrid::ThreadShare s =
                            spectrogrid::threadShare(K, frames, lanes, t, threads);
                        if (s.kBegin >= s.kEnd || s.jBegin >= s.jEnd) continue;
                        ASSERT_EQ(s.kBegin % lanes, 0);
                        ASSERT_TRUE(s.kEnd % lanes == 0 || s.kEnd == K);
                        ASSERT_TRUE(s.kBegin >= 0 && s.kEnd <= K && s.jBegin >= 0 && s.jEnd <= frames);
                        for (int j = s.jBegin; j < s.jEnd; ++j) {
                            for (int k = s.kBegin; k < s.kEnd; ++k) ++owners[static_cast<std::size_t>(k + j * K)];
                        }
                    }
                    for (int n : owners) ASSERT_EQ(n, 1) << lanes << " " << K << " " << frames << " " << threads;
                }
            }
        }
    }
}

TEST(ThreadShares, ManyFramesOrManyFrequenciesKeepEveryThreadBusy) {
    // Few frames, many frequencies: frequencies are split. Few frequencies,
    // many frames: frames are split.
    for (int t = 0; t < 2; ++t) {
        const spectrogrid::ThreadShare few = spectrogrid::threadShare(2000, 4, 8, t, 2);
        EXPECT_EQ(few.jEnd - few.jBegin, 4);
        EXPECT_EQ(few.kEnd - few.kBegin, 1000);
        const spectrogrid::ThreadShare many = spectrogrid::threadShare(8, 15000, 8, t, 2);
        EXPECT_EQ(many.kEnd - many.kBegin, 8);
        EXPECT_EQ(many.jEnd - many.jBegin, 7500);
    }
}

TEST(Workspace, NoneWithoutWorkAndAFewMiBAtMost) {
    EXPECT_EQ(spectrogrid::workspaceLength(0, 10, 10), 0);
    EXPECT_EQ(spectrogrid::workspaceLength(10, 0, 10), 0);
    EXPECT_EQ(spectrogrid::workspaceLength(10, 10, 0), 0);
    const std::int32_t huge = std::numeric_limits<std::int32_t>::max();
    const std::int64_t limit = 3 * 1024 * 1024 / sizeof(double);
    for (std::int32_t L : {1, 7, 512, 513, 100000, huge}) {
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
    std::mt19937_64 rng(48);
    const RandomCase c = caseWith(rng, 19, 13, 70, 30);
    const reference::Result ref =
        reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
    Call call;
    prepare(call, c);
    call.tables.workspace = nullptr;
    spectrogrid::computeCoefficients(call.inputs, call.plan, call.tables, call.planes,
                                     call.times.data());
    EXPECT_TRUE(sameBits(ref.real, call.real));
    EXPECT_TRUE(sameBits(ref.imag, call.imag));
    EXPECT_TRUE(sameBits(ref.lastCos, call.cosTable));
    EXPECT_TRUE(sameBits(ref.lastSin, call.sinTable));
}
