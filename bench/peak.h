// The machine's peak rate of vector multiplications and additions without
// fusing: a loop of independent multiply chains and add chains, per
// instruction set, on every thread of one region at once.
#ifndef SPECTROGRID_BENCH_PEAK_H
#define SPECTROGRID_BENCH_PEAK_H

#include "cpu_features.h"

// Vector operations (each a multiplication or an addition of one vector)
// per second, summed over `threads` threads running together.
double peakVectorOperations(spectrogrid::InstructionSet set, int threads);

#endif
