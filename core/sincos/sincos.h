// Sine and cosine for the twiddle tables: correctly rounded (to nearest)
// for every double, computed with IEEE double +, -, * and exact integer
// operations only, so that every platform, compiler and instruction set
// gives the same bits.
#ifndef SPECTROGRID_CORE_SINCOS_H
#define SPECTROGRID_CORE_SINCOS_H

#include <cstdint>

#include "cpu_features.h"

namespace spectrogrid {

// sine = sin(theta), cosine = cos(theta), both of the same argument and
// both the double nearest the exact value. sin(+-0) = +-0; NaN and
// infinite arguments give the quiet NaN with all payload bits clear.
void sinCos(double theta, double* sine, double* cosine);

// sine[i], cosine[i] of theta[i] for i < n, with the given instruction set
// (which must be supported here): the same bits as sinCos for every set.
// theta may be the same array as sine or cosine.
void fillSinCos(InstructionSet set, const double* theta, double* sine, double* cosine,
                std::int64_t n);

}  // namespace spectrogrid

#endif
