// Threads: the thread-count policy, how many threads a call's work may
// use, and how the core's simple loops are split over them. The serial
// form runs each loop on the calling thread; the parallel form (built with
// SPECTROGRID_OPENMP) runs each loop as one OpenMP region in which every
// thread takes one contiguous block of iterations, ending with the
// region's barrier. Every iteration writes only its own elements, so
// results do not depend on the split or on the number of threads.
#ifndef SPECTROGRID_CORE_DRIVER_THREADS_H
#define SPECTROGRID_CORE_DRIVER_THREADS_H

#include <cstdint>

#if defined(SPECTROGRID_OPENMP)
#include <omp.h>
#endif

namespace spectrogrid {

// The threads that can share one call's work: those of the region, at most
// maxAnalysisThreads, 1 in the serial form.
int workerLimit();

// The threads a call started now would use: the runtime's setting, at most
// workerLimit().
int threadsOfACall();

struct IndexRange {
    std::int64_t begin;
    std::int64_t end;  // one past the last; begin >= end means no iteration
};

// The block of n iterations that thread t of threadCount takes under the
// static split: chunk = ceil(n / threadCount), thread t runs
// [t * chunk, min((t + 1) * chunk, n)). Trailing threads may get nothing.
inline IndexRange staticBlock(std::int64_t n, std::int64_t threadCount, std::int64_t thread) {
    IndexRange range = {0, 0};
    if (n <= 0 || threadCount <= 0) return range;
    const std::int64_t quotient = n / threadCount;
    const std::int64_t chunk = quotient * threadCount != n ? quotient + 1 : quotient;
    range.begin = thread * chunk;
    range.end = range.begin + chunk < n ? range.begin + chunk : n;
    if (range.begin > n) range.begin = n;
    return range;
}

// Runs body(begin, end) over [0, n): on the calling thread in the serial
// form, as one parallel region with a static split in the parallel form.
template <typename Body>
void runParallelRange(std::int64_t n, const Body& body) {
#if defined(SPECTROGRID_OPENMP)
#pragma omp parallel
    {
        const IndexRange range = staticBlock(n, omp_get_num_threads(), omp_get_thread_num());
        if (range.begin < range.end) body(range.begin, range.end);
    }
#else
    if (n > 0) body(0, n);
#endif
}

}  // namespace spectrogrid

#endif
