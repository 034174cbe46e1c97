// Sine and cosine for the twiddle tables.
#ifndef SPECTROGRID_CORE_SINCOS_H
#define SPECTROGRID_CORE_SINCOS_H

#include <cstdint>

#include "cpu_features.h"

namespace spectrogrid {

// sine = sin(theta), cosine = cos(theta), both of the same argument.
void sinCos(double theta, double* sine, double* cosine);

// sine[i], cosine[i] of theta[i] for i < n, with the given instruction set
// (which must be supported here). Every instruction set gives the same bits.
void fillSinCos(InstructionSet set, const double* theta, double* sine, double* cosine,
                std::int64_t n);

}  // namespace spectrogrid

#endif
