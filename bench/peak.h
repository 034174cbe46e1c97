// The machine's peak rate of vector multiplications and additions without
// fusing: a loop of independent multiply chains and add chains, per
// instruction set, on every thread of one region at once.
#ifndef SPECTROGRID_BENCH_PEAK_H
#define SPECTROGRID_BENCH_PEAK_H

#include "driver/instruction_sets.h"

#include <cstdint>

// Vector operations (each a multiplication or an addition of one vector)
// per second, summed over `threads` threads running together: the best of
// `attempts` runs of `rounds` rounds of 12 (24 for AVX-512) operations.
double peakVectorOperations(spectrogrid::InstructionSet set, int threads,
                            std::int64_t rounds = 100000000, int attempts = 3);

#endif
