// Thread-count policy of the parallel form, and the threads a call uses.
#include "driver/threads.h"

#include "spectrogrid.h"

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

}  // namespace spectrogrid
