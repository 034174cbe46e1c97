// Thread-count policy of the parallel form, the threads a call uses, and
// which of them asks whether to stop.
#include "driver/threads.h"

#include "driver/stopping.h"

#include "spectrogrid_core.h"

#if defined(SPECTROGRID_OPENMP)
#include <omp.h>
#endif

namespace spectrogrid {

void setAnalysisThreads() {
#if defined(SPECTROGRID_OPENMP)
    const int processors = omp_get_num_procs();
    omp_set_num_threads(processors > maxAnalysisThreads ? maxAnalysisThreads : processors);
#endif
}

int workerLimit() {
#if defined(SPECTROGRID_OPENMP)
    return maxAnalysisThreads;
#else
    return 1;
#endif
}

int threadsOfACall() {
#if defined(SPECTROGRID_OPENMP)
    return omp_get_max_threads() < workerLimit() ? omp_get_max_threads() : workerLimit();
#else
    return 1;
#endif
}

bool stopRequested(CallStop* stop) {
    if (stop == nullptr) return false;
    if (stop->stopped.load(std::memory_order_relaxed)) return true;
#if defined(SPECTROGRID_OPENMP)
    // Thread 0 of a region is the thread that entered it: the caller's.
    if (omp_get_thread_num() != 0) return false;
#endif
    if (stop->query.requested == nullptr || !stop->query.requested(stop->query.context)) return false;
    stop->stopped.store(true, std::memory_order_relaxed);
    return true;
}

}  // namespace spectrogrid
