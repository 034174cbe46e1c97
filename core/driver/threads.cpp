// Thread-count policy of the parallel form.
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

}  // namespace spectrogrid
