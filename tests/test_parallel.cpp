// The parallel form: the static split, the thread policy, and results that
// are the same bits for every thread count.
#include <gtest/gtest.h>
#include <omp.h>

#include <random>

#include "core_runner.h"
#include "driver/threads.h"
#include "random_inputs.h"
#include "reference.h"

using spectrogrid::IndexRange;
using spectrogrid::staticBlock;

namespace {

void expectBlock(std::int64_t n, int threads, int t, std::int64_t begin, std::int64_t end) {
    const IndexRange r = staticBlock(n, threads, t);
    EXPECT_EQ(r.begin, begin) << "n=" << n << " T=" << threads << " t=" << t;
    EXPECT_EQ(r.end, end) << "n=" << n << " T=" << threads << " t=" << t;
}

}  // namespace

TEST(StaticSplit, DocumentedBlocks) {
    expectBlock(10, 4, 0, 0, 3);
    expectBlock(10, 4, 1, 3, 6);
    expectBlock(10, 4, 2, 6, 9);
    expectBlock(10, 4, 3, 9, 10);
    expectBlock(3, 4, 0, 0, 1);
    expectBlock(3, 4, 2, 2, 3);
    const IndexRange idle = staticBlock(3, 4, 3);
    EXPECT_GE(idle.begin, idle.end);
    for (int t = 0; t < 4; ++t) {
        const IndexRange none = staticBlock(0, 4, t);
        EXPECT_GE(none.begin, none.end);
    }
}

TEST(StaticSplit, BlocksCoverEveryIterationOnceInOrder) {
    for (std::int64_t n = 0; n < 60; ++n) {
        for (int threads = 1; threads <= 9; ++threads) {
            std::int64_t next = 0;
            for (int t = 0; t < threads; ++t) {
                const IndexRange r = staticBlock(n, threads, t);
                if (r.begin >= r.end) continue;
                ASSERT_EQ(r.begin, next) << n << " " << threads << " " << t;
                next = r.end;
            }
            ASSERT_EQ(next, n) << n << " " << threads;
        }
    }
}

TEST(ThreadPolicy, RequestsAtMostFourThreads) {
    omp_set_num_threads(7);
    spectrogrid::setAnalysisThreads();
    const int processors = omp_get_num_procs();
    EXPECT_EQ(omp_get_max_threads(), processors < 4 ? processors : 4);
}

TEST(ParallelForm, EveryThreadCountGivesTheReferenceBits) {
    std::mt19937_64 rng(31);
    struct Size { int N, L, K; };
    const Size sizes[] = {
        {700, 64, 9}, {1000, 33, 5},
        {9, 8, 3},      // one frame: more threads than frames
        {40, 3, 4},     // more threads than window samples
        {5, 1, 2},      // L = 1
        {4, 8, 2},      // no frame
        {200, 16, 0},   // no frequency
    };
    for (const Size& size : sizes) {
        for (int variant = 0; variant < 6; ++variant) {
            RandomCase c = randomCase(rng, size.N, size.L, size.K);
            if (size.N == 9) c.overlap = 0;
            const reference::Result ref =
                reference::analyse(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
            for (int threads = 1; threads <= 4; ++threads) {
                omp_set_num_threads(threads);
                const CoreOutput out = runCore(c.signal, c.window, c.overlap, c.frequencies, c.sampleRate);
                SCOPED_TRACE(testing::Message() << "threads=" << threads << " N=" << size.N
                                                << " L=" << size.L << " K=" << size.K);
                EXPECT_TRUE(reference::sameBits(ref.real, out.real.data(), out.real.size()));
                EXPECT_TRUE(reference::sameBits(ref.imag, out.imag.data(), out.imag.size()));
                EXPECT_TRUE(reference::sameBits(ref.times, out.times.data(), out.times.size()));
                EXPECT_TRUE(reference::sameBits(ref.angularSteps, out.angularSteps.data(), out.angularSteps.size()));
                if (size.K > 0) {
                    EXPECT_TRUE(reference::sameBits(ref.lastCos, out.cosTable.data(), out.cosTable.size()));
                    EXPECT_TRUE(reference::sameBits(ref.lastSin, out.sinTable.data(), out.sinTable.size()));
                }
            }
        }
    }
    spectrogrid::setAnalysisThreads();
}
